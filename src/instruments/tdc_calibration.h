#pragma once
// Form_TDCCalibrate's model: with the instrument's generator wired to D1 and
// D2, finds the TDC counts per 10 ns of both digital trigger paths and both
// edges, and on firmware 212 or later measures the digital inputs' switching
// thresholds.

#include <array>
#include <cstdint>
#include <string>

#include "core/texts.h"
#include "instruments/cal_run.h"

namespace kr40 {

inline constexpr int TdcReadingMax = 27;    // a reading above fails the run
inline constexpr int TdcCandidateMin = 12;  // a count below after 50 frames fails it
inline constexpr int TdcThresholdFirmware = 212;

struct TdcCalView {
    std::string caption, instruction, status, result;
    std::string start, ok, cancel;
    bool startEnabled = true, okEnabled = false;
    int progress = 0, progressMax = 250;
    enum class Focus { Start, Ok } focus = Focus::Start;
};

// rise A1, fall A1, rise A2, fall A2 (the D1 and D2 trigger paths)
using TdcValues = std::array<std::uint8_t, 4>;

// "Rise = 10/23 nS     Fall = 10/21 nS\r\n" for channel 1, then channel 2.
std::string TdcValuesText(const TdcValues& v, bool russian);

class TdcCalibration : public CalRun {
public:
    // FormShow: texts in the language, the threshold measurement with
    // firmware >= 212 (progress maximum 300, else 250); the instrument's
    // values in the result label when they are fresh.
    void Show(const ScopeSettings& s, int firmware, bool tdcFresh, const TdcValues& instrument);
    // Button_StartClick: phase 1's configuration into `acq` (and FM_Src),
    // the first step. Returns Publish.
    CalStep Start(ScopeSettings& s, AcqConfig& acq);
    CalStep OnFrame(const CalFrame& frame, ScopeSettings& s, AcqConfig& acq) override;
    void Cancel();
    bool Running() const override;
    bool Succeeded() const;
    const TdcValues& Candidates() const;
    // Thresholds of the last run (volts), in measuring order: falling ramp
    // D1, D2; rising ramp D1, D2; then the same with the Schmitt trigger off.
    const std::array<double, 8>& Thresholds() const;
    const TdcCalView& View() const;

private:
    enum class Stage { Idle, Tdc, Threshold };

    void BeginTdcStep(AcqConfig& acq);
    void BeginMeasurement(AcqConfig& acq);
    void ShowCandidates();  // the result label while phase 1 runs
    CalStep Fail(const ScopeSettings& s);
    CalStep Succeed(const ScopeSettings& s);

    TdcCalView view_;
    std::string risePrefix_, fallPrefix_;
    bool thresholdMeasure_ = false;
    bool running_ = false, succeeded_ = false;
    TdcValues candidates_{};
    std::array<double, 8> thresholds_{};
    Stage stage_ = Stage::Idle;
    int index_ = 0;                        // TDC step (0..3) or threshold measurement (0..3)
    int frames_ = 0;                       // frames taken in it so far
    long long zerosD1_ = 0, zerosD2_ = 0;  // zero samples counted in the measurement
};

}  // namespace kr40
