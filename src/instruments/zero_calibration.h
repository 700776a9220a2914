#pragma once
// Form_ZeroCalibrate's model: the run that measures, with nothing connected,
// how the mean ADC code of A1 and A2 moves with the offset DAC code at the
// 2 V/div and 50 mV/div ranges, and turns that into each channel's record
// (Z_A1P1 … Z_A2SH).

#include <array>
#include <cstdint>
#include <string>

#include "core/texts.h"
#include "instruments/cal_run.h"

namespace kr40 {

// What the dialog shows.
struct ZeroCalView {
    std::string caption, instruction, status, detail;
    std::string start, ok, cancel;  // button captions
    bool startEnabled = true, okEnabled = false;
    bool detailVisible = false;  // the detail panel, debug mode only
    int progress = 0, progressMax = 72;
    enum class Focus { Start, Ok } focus = Focus::Start;
};

// The stored records in the detail panel's form:
// "A1P1 = 3357    A1P2 = 725    A1SH = 0" and the same for A2 appended.
std::string ZeroCalDetailText(const ScopeSettings& s);

class ZeroCalibration : public CalRun {
public:
    // FormShow: texts in the settings' language, progress 0 of 72, Start
    // enabled and focused, OK disabled; the detail panel only with `debug`.
    // Checking the A1 and A2 channel items (CH_A1, CH_A2) is the caller's job.
    void Show(const ScopeSettings& s, bool debug);
    // Button_StartClick: writes the run's acquisition configuration into
    // `acq` (offset DAC codes at the first test code) and starts measuring.
    // Returns Publish. The caller turns the running flag on and the single
    // flag off before it publishes. A Start during a run begins a new run.
    CalStep Start(ScopeSettings& s, AcqConfig& acq);
    CalStep OnFrame(const CalFrame& frame, ScopeSettings& s, AcqConfig& acq) override;
    // Button_CancelClick: a run ends at once, silently.
    void Cancel();
    bool Running() const override;
    // The last run ended with the records stored.
    bool Succeeded() const;
    const ZeroCalView& View() const;

    static constexpr int Measurements = 9;   // DAC codes per run
    static constexpr int FramesPerCode = 8;  // frames awaited at each code
    static constexpr int SettleFrames = 3;   // first frames at a code, discarded

private:
    void BeginMeasurement(AcqConfig& acq);
    void Take(int ch, std::int32_t peakToPeak, std::int32_t sum, std::int32_t validLen, int& zeroLevel);
    CalStep Fail(const ScopeSettings& s);
    CalStep Finish(ScopeSettings& s);

    ZeroCalView view_;
    bool debug_ = false;
    bool running_ = false;
    bool succeeded_ = false;
    int measurement_ = 0;  // index of the DAC code being measured
    int frame_ = 0;        // frames received at that code
    // At the current code, per channel (A1, A2): lowest peak-to-peak value
    // so far, whether one was accepted and the mean code that came with it.
    std::array<int, 2> best_{};
    std::array<bool, 2> done_{};
    std::array<double, 2> mean_{};
    // Sum of the three accepted means of each phase (low, high, 50 mV/div), per channel.
    std::array<std::array<double, 3>, 2> phaseSum_{};
};

}  // namespace kr40
