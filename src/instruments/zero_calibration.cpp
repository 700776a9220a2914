#include "instruments/zero_calibration.h"

#include <algorithm>

#include "acquisition/acq_config.h"
#include "acquisition/frame.h"
#include "acquisition/scope_settings.h"
#include "core/rounding.h"

namespace kr40 {

namespace {

enum Text { TxCaption, TxInstruction, TxStart, TxOk, TxCancel, TxBusy, TxSucceeded, TxFailed, TxCount };

constexpr TextPair kTexts[TxCount] = {
    {"Zero Calibrate", "Калибровка уровня нуля"},
    {"Disconnect anything from BNC's and press Start button.", "Отключите всё от разъемов устройства."},
    {"Start", "Старт"},
    {"OK", "OK"},
    kCancelText,
    {"Calibration, please wait...", "Идет калибровка ..."},
    {"Calibration OK.", "Калибровка закончена."},
    {"Calibration failed.", "Ошибка калибровки."},
};

std::string T(Text id, const ScopeSettings& s)
{
    return Tr(kTexts[id], s.Russian);
}

// Phases of a run: around the low and the high DAC calibration code at
// 2 V/div, then mid-scale at 50 mV/div for the range shift.
enum Phase { Low, High, Shift, PhaseCount };

struct Measurement {
    std::uint32_t code;
    Phase phase;
};

// Each phase measures at its centre code and 19 codes either side, so the
// average of its three readings is the reading at the centre.
constexpr Measurement kMeasurements[ZeroCalibration::Measurements] = {
    {1360, Low},  {1341, Low},   {1379, Low},   {3040, High},  {3021, High},
    {3059, High}, {2200, Shift}, {2181, Shift}, {2219, Shift},
};

// A reading is taken only with less noise than this (peak-to-peak, codes).
constexpr int kThreshold[PhaseCount] = {12, 12, 16};

constexpr std::int32_t kWideUv = 2'000'000;  // 2 V/div
constexpr std::int32_t kNarrowUv = 50'000;   // 50 mV/div
// Range code 3 (2 V/div) or 0 (50 mV/div) with bits 0x08, 0x10 and 0x20 set.
constexpr std::uint8_t kWideRange = 0x3B;
constexpr std::uint8_t kNarrowRange = 0x38;

constexpr double kSixteenThirds = 5.333333333333333;  // 16 x the average of three means
constexpr long double kK = 0.02564102564102564L;      // 1/39

void SetRange(AcqConfig& acq, std::int32_t uv, std::uint8_t range)
{
    acq.uV_Div_A1 = acq.uV_Div_A2 = uv;
    acq.uV_Div_x1_A1 = acq.uV_Div_x1_A2 = uv;
    acq.Range_A1 = acq.Range_A2 = range;
}

std::int32_t Round(long double x)
{
    return static_cast<std::int32_t>(RoundHalfAway(static_cast<double>(x)));
}

}  // namespace

std::string ZeroCalDetailText(const ScopeSettings& s)
{
    auto channel = [](const char* name, int p1, int p2, int sh) {
        const std::string n = name;
        return n + "P1 = " + std::to_string(p1) + "    " + n + "P2 = " + std::to_string(p2) + "    " + n +
               "SH = " + std::to_string(sh);
    };
    return channel("A1", s.Z_A1P1, s.Z_A1P2, s.Z_A1SH) + "\r\n" + channel("A2", s.Z_A2P1, s.Z_A2P2, s.Z_A2SH);
}

void ZeroCalibration::Show(const ScopeSettings& s, bool debug)
{
    running_ = false;
    succeeded_ = false;
    debug_ = debug;
    view_ = ZeroCalView{};
    view_.caption = T(TxCaption, s);
    view_.instruction = T(TxInstruction, s);
    view_.start = T(TxStart, s);
    view_.ok = T(TxOk, s);
    view_.cancel = T(TxCancel, s);
    view_.startEnabled = true;
    view_.okEnabled = false;
    view_.focus = ZeroCalView::Focus::Start;
    view_.progress = 0;
    view_.progressMax = Measurements * FramesPerCode;
    view_.detailVisible = debug;
    if (debug) view_.detail = ZeroCalDetailText(s);
}

CalStep ZeroCalibration::Start(ScopeSettings& s, AcqConfig& acq)
{
    // Everything of a previous (or still going) run is dropped here.
    view_.startEnabled = false;
    view_.okEnabled = false;
    view_.status = T(TxBusy, s);
    view_.progress = 0;
    if (debug_) view_.detail.clear();

    // A1 and A2 free-running at 2 V/div, 5000 samples at 2 ms/div, no
    // trigger, no roll. The running flag itself is the caller's.
    acq.Ch_Mask = 0x83;
    acq.Smpl_N = 5000;
    acq.Time_Div_ns = 2'000'000;
    acq.Decim = 2'000'000 / 5000 - 1;
    acq.Pre_N = 0;
    acq.Post_N = 5000;
    acq.Acq_Flags = 0;
    acq.Mode_Flags = 0;
    acq.TPlus_Flags = 0;
    acq.Trig_Lev_Bits = 0;
    acq.Roll_Flags = 0;
    acq.Roll = false;
    acq.Scroll = false;
    acq.Pair_Mode = false;
    SetRange(acq, kWideUv, kWideRange);

    running_ = true;
    succeeded_ = false;
    measurement_ = 0;
    phaseSum_ = {};
    BeginMeasurement(acq);
    return CalStep::Publish;
}

void ZeroCalibration::BeginMeasurement(AcqConfig& acq)
{
    const Measurement& m = kMeasurements[measurement_];
    if (m.phase == Shift && kMeasurements[measurement_ - 1].phase != Shift) SetRange(acq, kNarrowUv, kNarrowRange);
    acq.Zero_Cal_A1 = acq.Zero_Cal_A2 = m.code;
    frame_ = 0;
    best_.fill(kThreshold[m.phase]);
    done_.fill(false);
    mean_.fill(0);
    ++view_.progress;  // the first frame at this code is awaited
}

void ZeroCalibration::Take(int ch, std::int32_t peakToPeak, std::int32_t sum, std::int32_t validLen, int& zeroLevel)
{
    if (peakToPeak < 0 || peakToPeak >= best_[ch]) return;
    best_[ch] = peakToPeak;
    mean_[ch] = static_cast<double>(sum) / validLen;
    done_[ch] = true;
    // The zero level follows the measured mean while calibrating.
    zeroLevel = static_cast<int>(std::clamp<std::int64_t>(RoundHalfAway(mean_[ch]), 0, 255));
}

CalStep ZeroCalibration::OnFrame(const CalFrame& frame, ScopeSettings& s, AcqConfig& acq)
{
    if (!running_) return CalStep::Done;
    const FrameRecord& r = frame.rec;
    // Frames right after a code change may still show the old code. A frame
    // without samples has no mean.
    if (frame_ >= SettleFrames && r.ValidLen > 0) {
        Take(0, r.PeakToPeakA1, r.SumA1, r.ValidLen, s.A1_Zero);
        Take(1, r.PeakToPeakA2, r.SumA2, r.ValidLen, s.A2_Zero);
    }
    if (++frame_ < FramesPerCode) {
        ++view_.progress;
        return CalStep::Wait;
    }
    if (!done_[0] || !done_[1]) return Fail(s);
    const Phase phase = kMeasurements[measurement_].phase;
    for (int ch = 0; ch < 2; ++ch) phaseSum_[ch][phase] += mean_[ch];
    if (++measurement_ == Measurements) return Finish(s);
    BeginMeasurement(acq);
    return CalStep::Publish;
}

CalStep ZeroCalibration::Fail(const ScopeSettings& s)
{
    running_ = false;
    view_.status = T(TxFailed, s);
    view_.progress = 0;
    view_.startEnabled = true;
    view_.focus = ZeroCalView::Focus::Start;
    return CalStep::Done;
}

CalStep ZeroCalibration::Finish(ScopeSettings& s)
{
    int* const records[2][3] = {{&s.Z_A1P1, &s.Z_A1P2, &s.Z_A1SH}, {&s.Z_A2P1, &s.Z_A2P2, &s.Z_A2SH}};
    for (int ch = 0; ch < 2; ++ch) {
        // 16 x the average mean code of each phase.
        const double l = phaseSum_[ch][Low] * kSixteenThirds;
        const double h = phaseSum_[ch][High] * kSixteenThirds;
        const double m = phaseSum_[ch][Shift] * kSixteenThirds;
        // The range shift SH is scaled by 50 mV/div over the range, so the
        // 2 V/div readings hold SH/40 of it and the 50 mV/div one all of it:
        // D = SH - SH/40, SH = 40 D / 39, and K D = SH/40 comes off P1 and P2.
        const double d = m - (l + h) * 0.5;
        *records[ch][0] = Round(l - kK * d);
        *records[ch][1] = Round(h - kK * d);
        *records[ch][2] = Round(40 * d * kK);
    }
    running_ = false;
    succeeded_ = true;
    if (debug_) view_.detail = ZeroCalDetailText(s);
    view_.progress = view_.progressMax;
    view_.status = T(TxSucceeded, s);
    view_.okEnabled = true;
    view_.startEnabled = true;
    view_.focus = ZeroCalView::Focus::Ok;
    return CalStep::Done;
}

void ZeroCalibration::Cancel()
{
    running_ = false;
}

bool ZeroCalibration::Running() const
{
    return running_;
}

bool ZeroCalibration::Succeeded() const
{
    return succeeded_;
}

const ZeroCalView& ZeroCalibration::View() const
{
    return view_;
}

}  // namespace kr40
