#pragma once
// What the calibration runs have in common. A run is a state machine fed one
// acquired frame at a time: the dialog polls the frame-ready flag from a timer
// while the event loop keeps running, and hands each new frame to the run.
// A run writes the acquisition configuration it needs straight into AcqConfig
// and says when that configuration has to reach the instrument.

#include <cstdint>

namespace kr40 {

struct AcqConfig;
struct FrameBuffers;
struct FrameRecord;
struct ScopeSettings;

// One acquired frame as a run reads it.
struct CalFrame {
    const FrameRecord& rec;
    const FrameBuffers& buf;
    int tdcReading = 0;  // low 5 bits of status register 0x2E
};

// What the caller does next.
enum class CalStep {
    Wait,     // wait for the next frame
    Publish,  // send the changed AcqConfig to the instrument, then wait for the next frame
    Done,     // the run ended (success or failure); no more frames wanted
};

class CalRun {
public:
    virtual ~CalRun() = default;
    // A new frame arrived while the run is going.
    virtual CalStep OnFrame(const CalFrame& frame, ScopeSettings& s, AcqConfig& acq) = 0;
    virtual bool Running() const = 0;
};

}  // namespace kr40
