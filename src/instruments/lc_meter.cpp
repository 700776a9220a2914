#include "instruments/lc_meter.h"

#include <iterator>

#include "acquisition/acq_config.h"
#include "acquisition/scope_settings.h"
#include "generator/gen_panel.h"
#include "instruments/zero_model.h"

namespace kr40 {

namespace {

enum Text { Caption, CalibrateButton, StartButton, StopButton, ExitButton, NotAvailable, TextCount };

constexpr TextPair kTexts[TextCount] = {
    {"LC Meter", "Измеритель LC"},
    {"Calibrate", "Калибровка"},
    {"Start", "Старт"},
    {"Stop", "Стоп"},
    {"Exit", "Выход"},
    {"Measurement is not available in this version.", "Измерение в этой версии недоступно."},
};

// The measuring ranges the meter announces; the same in both languages.
constexpr const char* kRangeLines[] = {
    "LC METER",
    "",
    "C RANGE     100 pF  .. 30000 uF",
    "ESR C RANGE 0.5 uF  .. 30000 uF",
    "ESR RANGE   50 mOhm .. 1 KOhm",
    "L RANGE     10 nH   .. 3 H",
};

constexpr int kSamples = 10000;
constexpr std::uint64_t kTimeDivNs = 10'000'000;  // 10 ms/div
constexpr std::int32_t kRangeUv = 200'000;        // 200 mV/div
constexpr int kZeroLevel = 127;
// Range code 4 with AC coupling; the generator-off bit 0x08 stays clear so
// that the generator drives the part under test.
constexpr std::uint8_t kRange = 0x14;
constexpr std::uint8_t kDitherBit = 0x20;
// The first test frequency: index 10, in the generator's 0.1 Hz unit (10 Hz).
constexpr int kFirstFrequencyIndex = 10;
constexpr std::uint16_t kTestAmplitude = 1000;

}  // namespace

LcComplex& LcComplex::operator*=(const LcComplex& o)
{
    const double r = re * o.re - im * o.im;
    im = re * o.im + im * o.re;
    re = r;
    return *this;
}

LcComplex& LcComplex::operator-=(const LcComplex& o)
{
    re -= o.re;
    im -= o.im;
    return *this;
}

void LcMeter::ResetTable()
{
    offsets_.fill(LcComplex{0, 0});
    factors_.fill(LcComplex{1, 0});
}

void LcMeter::Show(ScopeSettings& s, AcqConfig& acq)
{
    view_ = LcMeterView{};
    view_.stopEnabled = false;
    view_.startEnabled = false;
    view_.calibrateEnabled = true;
    view_.progress = 0;
    measuring_ = false;
    restart_ = true;
    calibrate_ = false;

    view_.caption = Tr(kTexts[Caption], s.Russian);
    view_.calibrate = Tr(kTexts[CalibrateButton], s.Russian);
    view_.start = Tr(kTexts[StartButton], s.Russian);
    view_.stop = Tr(kTexts[StopButton], s.Russian);
    view_.exit = Tr(kTexts[ExitButton], s.Russian);

    view_.memo.assign(std::begin(kRangeLines), std::end(kRangeLines));
    view_.memo.emplace_back();
    view_.memo.push_back(Tr(kTexts[NotAvailable], s.Russian));
    view_.labelZ = "...";

    ResetTable();

    s.CH_A1 = true;
    s.CH_A2 = s.CH_D1 = s.CH_D2 = false;

    // A1 alone, free-running, 10000 samples at 10 ms/div, no trigger, no roll.
    acq.Smpl_N = kSamples;
    acq.Time_Div_ns = kTimeDivNs;
    acq.Pre_N = 0;
    acq.Post_N = kSamples;
    acq.Acq_Flags = 0;
    acq.Mode_Flags = 0;
    acq.TPlus_Flags = 0;
    acq.Trig_Lev_Bits = 0;
    acq.Ch_Mask = 0x81;
    acq.Roll_Flags = 0;
    acq.Roll = false;
    acq.Scroll = false;
    acq.Pair_Mode = false;
    s.A1_Zero = kZeroLevel;
    acq.uV_Div_A1 = acq.uV_Div_x1_A1 = kRangeUv;
    acq.Zero_Cal_A1 = OffsetDacCode(s, 1, kRangeUv);  // for the zero level just set
    acq.Range_A1 = kRange;
    if (s.FFT_Dither && s.Debug_kr) acq.Range_A1 |= kDitherBit;

    // The generator's sine is the test signal.
    acq.Gen_Word_A = PhaseInc(kFirstFrequencyIndex * 10);
    acq.Gen_Shape = 0;
    acq.Gen_Mode = 0;
    acq.Gen_Ampl = kTestAmplitude;
    acq.Decim = static_cast<std::uint64_t>(acq.Smpl_N) > acq.Time_Div_ns
                    ? 0
                    : static_cast<std::uint32_t>(acq.Time_Div_ns / static_cast<std::uint64_t>(acq.Smpl_N) - 1);
}

void LcMeter::Calibrate()
{
    view_.calibrateEnabled = false;
    view_.stopEnabled = true;
    view_.startEnabled = false;
    ResetTable();
    calibrate_ = restart_ = measuring_ = true;
}

void LcMeter::Start()
{
    view_.stopEnabled = true;
    view_.startEnabled = false;
    view_.calibrateEnabled = false;
    restart_ = measuring_ = true;
}

void LcMeter::Stop()
{
    view_.stopEnabled = false;
    // Start comes back only if Calibrate was not pressed since the dialog opened.
    view_.startEnabled = !calibrate_;
    view_.calibrateEnabled = true;
    view_.progress = 0;
    measuring_ = false;
    restart_ = true;
}

void LcMeter::Close()
{
    measuring_ = false;
}

bool LcMeter::Measuring() const
{
    return measuring_;
}

bool LcMeter::RestartPending() const
{
    return restart_;
}

bool LcMeter::CalibrateRequested() const
{
    return calibrate_;
}

const std::array<LcComplex, 6>& LcMeter::Offsets() const
{
    return offsets_;
}

const std::array<LcComplex, 6>& LcMeter::Factors() const
{
    return factors_;
}

const LcMeterView& LcMeter::View() const
{
    return view_;
}

}  // namespace kr40
