#include "instruments/tdc_calibration.h"

#include <algorithm>
#include <cstddef>

#include "acquisition/acq_config.h"
#include "acquisition/frame.h"
#include "acquisition/scope_settings.h"
#include "core/value_format.h"

namespace kr40 {

namespace {

constexpr struct {
    TextPair caption, instruction, rise, fall, start, ok, busy, done, failed;
} kTexts{
    {"TDC Calibrate", "Калибровка TDC"},
    {"Connect generator to D1, D2 chanels and press Start button.", "Подключите каналы D1, D2 к выходу генератора."},
    {"Rise = ", "Фронт = "},
    {"     Fall = ", "     Срез = "},
    {"Start", "Старт"},
    {"OK", "OK"},
    {"Calibration, please wait...", "Идет калибровка ..."},
    {"Calibration OK.", "Калибровка закончена."},
    {"Calibration failed.", "Ошибка калибровки."},
};

constexpr int kProgressMax = 250;
constexpr int kThresholdProgress = 50;
constexpr int kTdcFrames = 50;        // frames per TDC step
constexpr int kThresholdFrames = 25;  // frames per threshold measurement
constexpr int kSteps = 4;

// Phase 1: the generator's 9.8765432 MHz sine (PhaseInc(98 765 432)) on D1
// and D2, 1000 samples at 500 ns/div, triggered.
constexpr std::uint64_t kTdcGenWord = 27799997672018ull;
constexpr std::uint16_t kTdcGenAmpl = 4000;

// Phase 2: a 1 kHz ramp (PhaseInc(10 000)) of 2000 mV over 2000 samples,
// untriggered; every sample that reads 0 stands for a part of the ramp below
// the input's threshold.
constexpr std::uint64_t kRampGenWord = 2814749767ull;
constexpr std::uint16_t kRampGenAmpl = 2000;
constexpr int kRampSmplN = 2000;
// Volts per zero sample: 1/25 for the mean over the frames, times the ramp's
// volts per sample.
constexpr double kVoltsPerZero = 0.04 * (0.001 * kRampGenAmpl / kRampSmplN);

struct TdcStep {
    std::uint8_t acqFlags;
    std::uint8_t fmSrc;
};
// Into candidates rise 1, fall 1, rise 2, fall 2.
constexpr TdcStep kTdcSteps[kSteps] = {
    {AcqTrigDigital, 3},
    {AcqTrigDigital | AcqEdge, 3},
    {AcqTrigDigital | AcqTrigSecond, 4},
    {AcqTrigDigital | AcqTrigSecond | AcqEdge, 4},
};

struct Measurement {
    std::uint8_t genShape;  // 2 falling ramp, 1 rising ramp
    std::uint8_t acqFlags;
};
constexpr Measurement kMeasurements[kSteps] = {
    {2, 0},
    {1, 0},
    {2, AcqSchmittD1Off | AcqSchmittD2Off},
    {1, AcqSchmittD1Off | AcqSchmittD2Off},
};

std::string ValuesText(const std::string& rise, const std::string& fall, const std::array<std::string, 4>& v)
{
    std::string text;
    for (int ch = 0; ch < 2; ++ch) {
        text += rise + "10/" + v[2 * ch] + " nS" + fall + "10/" + v[2 * ch + 1] + " nS\r\n";
    }
    return text;
}

std::array<std::string, 4> Numbers(const TdcValues& v)
{
    return {std::to_string(v[0]), std::to_string(v[1]), std::to_string(v[2]), std::to_string(v[3])};
}

// Zero samples among the first n entries of a buffer, n bounded by what it holds.
long long CountZeros(const std::vector<std::int32_t>& buffer, int smplN)
{
    const std::size_t n = std::min(static_cast<std::size_t>(std::clamp(smplN, 0, FrameCapacity)), buffer.size());
    return std::count(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n), 0);
}

}  // namespace

std::string TdcValuesText(const TdcValues& v, bool russian)
{
    return ValuesText(Tr(kTexts.rise, russian), Tr(kTexts.fall, russian), Numbers(v));
}

void TdcCalibration::Show(const ScopeSettings& s, int firmware, bool tdcFresh, const TdcValues& instrument)
{
    const bool ru = s.Russian;
    thresholdMeasure_ = firmware >= TdcThresholdFirmware;  // -1 (not reported yet) measures nothing
    running_ = false;
    succeeded_ = false;
    stage_ = Stage::Idle;
    risePrefix_ = Tr(kTexts.rise, ru);
    fallPrefix_ = Tr(kTexts.fall, ru);

    view_ = TdcCalView{};
    view_.caption = Tr(kTexts.caption, ru);
    view_.instruction = Tr(kTexts.instruction, ru);
    view_.start = Tr(kTexts.start, ru);
    view_.ok = Tr(kTexts.ok, ru);
    view_.cancel = Tr(kCancelText, ru);
    view_.startEnabled = true;
    view_.okEnabled = false;
    view_.focus = TdcCalView::Focus::Start;
    view_.progress = 0;
    view_.progressMax = kProgressMax + (thresholdMeasure_ ? kThresholdProgress : 0);
    // Until the instrument reports its values (again) there is nothing to show.
    view_.result = tdcFresh ? TdcValuesText(instrument, ru) : "...";
}

// The caller switches acquisition to running and single off; everything else
// the run needs is written here.
CalStep TdcCalibration::Start(ScopeSettings& s, AcqConfig& acq)
{
    candidates_ = {};
    thresholds_ = {};
    running_ = true;
    succeeded_ = false;
    view_.startEnabled = false;
    view_.okEnabled = false;
    view_.status = Tr(kTexts.busy, s.Russian);
    view_.progress = 0;

    acq.Gen_Word_A = kTdcGenWord;
    acq.Gen_Shape = 0;  // sine
    acq.Gen_Mode = 0;
    acq.Gen_Ampl = kTdcGenAmpl;
    acq.Range_A1 &= static_cast<std::uint8_t>(~0x08);  // generator output on
    acq.Smpl_N = 1000;
    acq.Time_Div_ns = 500;
    acq.Decim = 0;
    acq.Pre_N = 0;
    acq.Post_N = 1000;
    acq.Mode_Flags = 0x80;  // trigger on, no time or advanced mode
    acq.TPlus_Flags = 0;
    acq.Ch_Mask = 0x8C;  // running, D1 and D2
    acq.Roll_Flags = 0;
    acq.Roll = false;
    acq.Scroll = false;

    stage_ = Stage::Tdc;
    index_ = 0;
    BeginTdcStep(acq);
    return CalStep::Publish;
}

void TdcCalibration::BeginTdcStep(AcqConfig& acq)
{
    acq.Acq_Flags = kTdcSteps[index_].acqFlags;
    acq.FM_Src = kTdcSteps[index_].fmSrc;
    frames_ = 0;
    candidates_[index_] = 0;
    ++view_.progress;
    ShowCandidates();
}

void TdcCalibration::BeginMeasurement(AcqConfig& acq)
{
    if (index_ == 0) {
        acq.Gen_Word_A = kRampGenWord;
        acq.Gen_Ampl = kRampGenAmpl;
        acq.Smpl_N = kRampSmplN;
        acq.Time_Div_ns = 100000;
        acq.Decim = 49;
        acq.Post_N = kRampSmplN;
        acq.Mode_Flags = 0;  // trigger off
        acq.Ch_Mask = 0x8C;
    }
    acq.Gen_Shape = kMeasurements[index_].genShape;
    acq.Acq_Flags = kMeasurements[index_].acqFlags;
    frames_ = 0;
    zerosD1_ = 0;
    zerosD2_ = 0;
    ++view_.progress;
}

void TdcCalibration::ShowCandidates()
{
    std::array<std::string, 4> v = Numbers(candidates_);
    for (int i = index_ + 1; i < kSteps; ++i) v[i] = "...";
    view_.result = ValuesText(risePrefix_, fallPrefix_, v);
}

CalStep TdcCalibration::OnFrame(const CalFrame& frame, ScopeSettings& s, AcqConfig& acq)
{
    if (!running_) return CalStep::Done;
    ++frames_;

    if (stage_ == Stage::Tdc) {
        if (frame.tdcReading > TdcReadingMax) return Fail(s);
        std::uint8_t& c = candidates_[index_];
        c = static_cast<std::uint8_t>(std::max<int>(c, frame.tdcReading));
        if (frames_ < kTdcFrames) {
            ++view_.progress;
            ShowCandidates();
            return CalStep::Wait;
        }
        if (c < TdcCandidateMin) return Fail(s);
        if (++index_ < kSteps) {
            BeginTdcStep(acq);
            return CalStep::Publish;
        }
        view_.result = TdcValuesText(candidates_, s.Russian);
        if (!thresholdMeasure_) return Succeed(s);
        stage_ = Stage::Threshold;
        index_ = 0;
        BeginMeasurement(acq);
        return CalStep::Publish;
    }

    zerosD1_ += CountZeros(frame.buf.D1_First, acq.Smpl_N);
    zerosD2_ += CountZeros(frame.buf.D2_First, acq.Smpl_N);
    if (frames_ < kThresholdFrames) {
        ++view_.progress;
        return CalStep::Wait;
    }
    const double d1 = static_cast<double>(zerosD1_) * kVoltsPerZero;
    const double d2 = static_cast<double>(zerosD2_) * kVoltsPerZero;
    thresholds_[2 * index_] = d1;
    thresholds_[2 * index_ + 1] = d2;
    view_.result += "Uh = " + FixedText(d1, 2) + "  " + FixedText(d2, 2) + "\r\n";
    if (++index_ < kSteps) {
        BeginMeasurement(acq);
        return CalStep::Publish;
    }
    return Succeed(s);
}

CalStep TdcCalibration::Fail(const ScopeSettings& s)
{
    running_ = false;
    stage_ = Stage::Idle;
    view_.status = Tr(kTexts.failed, s.Russian);
    view_.result = "...";
    view_.progress = 0;
    view_.startEnabled = true;
    return CalStep::Done;
}

CalStep TdcCalibration::Succeed(const ScopeSettings& s)
{
    running_ = false;
    succeeded_ = true;
    stage_ = Stage::Idle;
    view_.progress = view_.progressMax;
    view_.status = Tr(kTexts.done, s.Russian);
    view_.okEnabled = true;
    view_.startEnabled = true;
    view_.focus = TdcCalView::Focus::Ok;
    return CalStep::Done;
}

void TdcCalibration::Cancel()
{
    running_ = false;
    stage_ = Stage::Idle;
}

bool TdcCalibration::Running() const
{
    return running_;
}

bool TdcCalibration::Succeeded() const
{
    return succeeded_;
}

const TdcValues& TdcCalibration::Candidates() const
{
    return candidates_;
}

const std::array<double, 8>& TdcCalibration::Thresholds() const
{
    return thresholds_;
}

const TdcCalView& TdcCalibration::View() const
{
    return view_;
}

}  // namespace kr40
