#pragma once
// The program's state in one object, owned by the application's session and
// passed by reference: settings, the derived configuration, the part shared
// with the acquisition thread (LinkShared), the live and reference frames,
// the recorder and what the files and dialogs remember.

#include <array>
#include <memory>
#include <string>

#include "acquisition/acq_config.h"
#include "acquisition/frame.h"
#include "acquisition/scope_settings.h"
#include "analysis/screen_geometry.h"
#include "analysis/spectrum.h"
#include "core/version.h"
#include "decoders/uart_decoder.h"
#include "device/link_shared.h"
#include "generator/afg_session.h"
#include "generator/gen_panel.h"

namespace kr40 {

struct ScopeState : LinkShared {
    ScopeSettings settings;
    AcqConfig acq;
    WindowView view;
    // The generator's derived values and what its panel shows.
    GenValues gen;
    GenPanelView genView;
    // The loaded generator script: trigger marks, defaults, status line.
    AfgSession afg;

    // One-shot flags set by the volts/div controls and probe items, consumed
    // by ComposeAcqConfig to rescale the trigger level.
    bool RangeChangedA1 = false, RangeChangedA2 = false;
    // Settings changed since the screen last drew; restarts persistence.
    bool ScreenSettingsChanged = false;

    // Frames: the live one (written by the acquisition thread between
    // hand-offs), the stored reference, and the live frame's record as the
    // last hand-off left it (read by the window between hand-offs).
    std::unique_ptr<FrameSet> live = std::make_unique<FrameSet>();
    std::unique_ptr<FrameSet> ref = std::make_unique<FrameSet>();
    FrameRecord lastRec{};
    bool LiveExists = false;  // a frame was captured or opened
    bool RefExists = false;   // a reference frame is stored
    // Display names: the data file each frame came from (or was saved to).
    std::string LiveName, RefName;
    RecorderStream recorder;

    // Files.
    std::string LastFolder;  // folder last used by any file dialog
    bool SettingsLoaded = false;
    // Spectrum restart/recompute requests: averaging A1, averaging A2, A1, A2.
    SpectrumRequests SpectrumRestart{};
    // The spectra, made when a spectrum is first asked for and kept.
    std::unique_ptr<Spectrum> spectrum;
    // The serial decoder's tables of the last frame (made when first needed)
    // and the text of its window.
    std::unique_ptr<DecodedTables> decoded;
    DecoderTextHolder decoderText;
};

// The inputs of a screen pass over the state's own live and reference frames.
inline DisplayInputs InputsOf(ScopeState& st)
{
    return DisplayInputs{st.settings, st.acq, st, *st.live, *st.ref, st.RefExists};
}

}  // namespace kr40
