#pragma once
// One frame from the simulated instrument without the link: the settings as
// the host would send them, acquired and decoded as the program would. Used
// for pictures of the screen and for rendering tests.

#include <cstdint>

#include "simulator/signals.h"

namespace kr40 {
struct ScopeState;
struct FrameSet;
}  // namespace kr40

namespace kr40::sim {

// Acquires one frame with the state's composed configuration (generator
// words as they stand in st.acq) and decodes it into `frame`. False when the
// instrument had no frame to give (no trigger) or the frame did not decode.
bool CaptureFrame(ScopeState& st, FrameSet& frame, SignalOptions sources = {}, std::uint64_t tick = 1000);

}  // namespace kr40::sim
