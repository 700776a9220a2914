#pragma once
// What the main window does around the calibration and LC meter dialogs:
// the instrument guard, saving and restoring what a run changes, committing
// its result, and feeding each new frame to a running calibration.

#include <array>
#include <cstdint>

#include "instruments/cal_run.h"

namespace kr40 {

struct FrameSet;
struct ScopeState;
class Prompts;

// The calibration menus need the instrument: without one, the box
// "Device not found." (caption "Calibrate Error") and false.
bool CalibrationDeviceGuard(const ScopeState& st, Prompts& prompts);

// Sends the configuration a run wrote into AcqConfig (running, not single)
// after clearing the frame-ready flag, so that the next frame seen is newer.
void PublishCalConfig(ScopeState& st);

// One look at the frame-ready flag. With a new frame, hands it (read under the
// live lock) to the run and publishes the configuration when the run changed
// it. Wait when no frame arrived or the run is not going.
CalStep PollCalRun(ScopeState& st, const FrameSet& live, CalRun& run);

// Menu_ZeroCalibrateClick around the dialog: saves the six record values, the
// zero levels and the A1/A2 channel items, and checks both items.
class ZeroCalMenuSession {
public:
    explicit ZeroCalMenuSession(ScopeState& st);
    // OK keeps the new record and returns true (the caller writes the
    // program's settings file); otherwise the saved record comes back. Either
    // way the live and reference buffers are emptied, the zero levels and
    // channel items restored and the settings applied.
    bool Finish(bool ok);

private:
    ScopeState& st_;
    std::array<int, 6> record_;
    int a1Zero_, a2Zero_;
    bool chA1_, chA2_;
};

// Menu_TDCCalibrateClick around the dialog: saves the D1/D2 channel items and
// checks both. OK queues the four values for the next settings packet.
class TdcCalMenuSession {
public:
    explicit TdcCalMenuSession(ScopeState& st);
    void Finish(bool ok, const std::array<std::uint8_t, 4>& values);

private:
    ScopeState& st_;
    bool chD1_, chD2_;
};

// Menu_LCMeterClick around the dialog: saves A1_Zero and the four channel
// items; afterwards empties the live buffers, restores them and applies.
class LcMeterMenuSession {
public:
    explicit LcMeterMenuSession(ScopeState& st);
    void Finish();

private:
    ScopeState& st_;
    int a1Zero_;
    std::array<bool, 4> channels_;
};

}  // namespace kr40
