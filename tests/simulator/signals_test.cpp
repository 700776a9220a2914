#include "simulator/signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "acquisition/acq_config.h"
#include "analysis/freq_meter.h"
#include "core/rounding.h"
#include "device/packets.h"
#include "simulator/sim_registers.h"
#include "state/compose.h"
#include "state/scope_state.h"
#include "support/received_frame.h"

namespace kr40::sim {
namespace {

using test::PhaseIncHz;
using test::RegistersOf;

// A generator running (Range_A1 bit 3 clear) at full scale.
AcqConfig GeneratorOn(std::uint8_t mode, std::uint8_t shape, std::uint64_t wordA)
{
    AcqConfig a;
    a.Range_A1 = 0x07;
    a.Gen_Mode = mode;
    a.Gen_Shape = shape;
    a.Gen_Word_A = wordA;
    a.Gen_Ampl = 4001;  // a = 1: 4 V peak-to-peak
    return a;
}

SignalModel Quiet(const AcqConfig& a)
{
    SignalModel m(SignalOptions{.noiseVpp = 0});
    m.Configure(RegistersOf(a));
    return m;
}

// Ticks where the signal rises through 0 V within [from, to).
std::vector<std::uint64_t> RisingZeros(const SignalModel& m, std::uint64_t from, std::uint64_t to)
{
    std::vector<std::uint64_t> at;
    double prev = m.Volts(0, from);
    for (std::uint64_t t = from + 1; t < to; ++t) {
        const double v = m.Volts(0, t);
        if (prev < 0 && v >= 0) at.push_back(t);
        prev = v;
    }
    return at;
}

double MeanSpacing(const std::vector<std::uint64_t>& at)
{
    return at.size() < 2 ? 0 : static_cast<double>(at.back() - at.front()) / (at.size() - 1);
}

// ---------------------------------------------------------------------------

TEST(SignalModelTest, NoiseIsBoundedAndRepeatsForTheSameTick)
{
    const SimRegisters regs;
    SignalModel a(SignalOptions{.a1 = Source::Ground, .noiseVpp = 0.02, .seed = 7});
    SignalModel b(SignalOptions{.a1 = Source::Ground, .noiseVpp = 0.02, .seed = 7});
    SignalModel other(SignalOptions{.a1 = Source::Ground, .noiseVpp = 0.02, .seed = 8});
    a.Configure(regs);
    b.Configure(regs);
    other.Configure(regs);
    double lo = 1, hi = -1;
    int differs = 0;
    for (std::uint64_t t = 0; t < 100000; t += 37) {
        const double v = a.Volts(0, t);
        ASSERT_EQ(v, b.Volts(0, t));
        ASSERT_EQ(v, a.Volts(0, t));
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        differs += v != other.Volts(0, t);
    }
    EXPECT_GE(lo, -0.01);
    EXPECT_LE(hi, 0.01);
    EXPECT_GT(hi - lo, 0.018);  // uses the whole range
    EXPECT_GT(differs, 2000);
}

TEST(SignalModelTest, GeneratorShapesAndAmplitude)
{
    // Gen_Word_A = 2^38: one cycle every 1024 ticks. Values at 0, 1/4, 1/2, 3/4.
    struct Case {
        const char* name;
        std::uint8_t shape;
        std::uint16_t ampl;
        double v[4];
    };
    const Case cases[] = {
        {"sine", 0, 4001, {0, 2, 0, -2}},         {"sine at half scale", 0, 2001, {0, 1, 0, -1}},
        {"rising ramp", 1, 4001, {-2, -1, 0, 1}}, {"falling ramp", 2, 4001, {2, 1, 0, -1}},
        {"square", 3, 4001, {2, 2, -2, -2}},      {"triangle", 4, 4001, {-2, 0, 2, 0}},
        {"constant", 5, 4001, {0, 0, 0, 0}},      {"minimum code", 0, 1, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AcqConfig a = GeneratorOn(0, c.shape, std::uint64_t{1} << 38);
        a.Gen_Ampl = c.ampl;
        const SignalModel m = Quiet(a);
        for (int q = 0; q < 4; ++q) {
            const std::uint64_t t = 5 * 1024 + q * 256;
            EXPECT_NEAR(m.Volts(0, t), c.v[q], 1e-5) << "quarter " << q;
        }
    }

    AcqConfig noise = GeneratorOn(0, 7, 0);
    const SignalModel m = Quiet(noise);
    double lo = 0, hi = 0;
    for (std::uint64_t t = 0; t < 10000; ++t) {
        lo = std::min(lo, m.Volts(0, t));
        hi = std::max(hi, m.Volts(0, t));
    }
    EXPECT_LT(lo, -1.9);
    EXPECT_GT(hi, 1.9);
    EXPECT_GE(lo, -2.0);
    EXPECT_LE(hi, 2.0);
}

TEST(SignalModelTest, GeneratorOffShowsTheStandInSine)
{
    AcqConfig a = GeneratorOn(0, 3, PhaseIncHz(5000));
    a.Range_A1 |= 0x08;  // generator off
    const SignalModel m = Quiet(a);
    EXPECT_NEAR(m.Volts(0, 25000), 1.5, 1e-5);
    EXPECT_NEAR(m.Volts(0, 75000), -1.5, 1e-5);
    EXPECT_NEAR(MeanSpacing(RisingZeros(m, 0, 1'000'000)), 100000, 1);
}

TEST(SignalModelTest, PhaseIncrementSetsTheFrequency)
{
    const SignalModel m = Quiet(GeneratorOn(0, 0, PhaseIncHz(12345)));
    const double period = MeanSpacing(RisingZeros(m, 0, 2'000'000));
    EXPECT_NEAR(1e8 / period, 12345, 12345 * 1e-4);
}

TEST(SignalModelTest, PulseHasItsPeriodAndWidth)
{
    AcqConfig a = GeneratorOn(7, 5, 1000 - 1);
    a.Gen_Word_B = 250;
    const SignalModel m = Quiet(a);
    int high = 0;
    for (std::uint64_t t = 3000; t < 4000; ++t) high += m.Volts(0, t) > 0;
    EXPECT_EQ(high, 250);
    EXPECT_GT(m.Volts(0, 7000), 0);
    EXPECT_LT(m.Volts(0, 7250), 0);
    EXPECT_NEAR(m.MeanVolts(0), 2 * (0.25 - 0.75), 1e-9);
}

TEST(SignalModelTest, SweepRisesFromStartToStopOverThePostTriggerPart)
{
    // 100 kHz rising by 100 kHz over Post_N = 1000 sample clocks of 1000 ticks.
    AcqConfig a = GeneratorOn(1, 0, PhaseIncHz(100000));
    a.Decim = 999;
    a.Post_N = 1000;
    a.Gen_Word_B = static_cast<std::uint64_t>(1e6 * 281474.976710656 / 1000 + 0.5);
    // Sweeps are counted from the origin, before it as well as after it.
    for (const std::uint64_t origin : {std::uint64_t{0}, std::uint64_t{1'234'567}, std::uint64_t{987'654'321'001}}) {
        SCOPED_TRACE(origin);
        SignalModel m = Quiet(a);
        m.SetSweepStart(origin);
        EXPECT_NEAR(m.Volts(0, origin), 0, 1e-9);  // the sine starts at 0 V, rising
        EXPECT_GT(m.Volts(0, origin + 100), 0.5);
        EXPECT_NEAR(MeanSpacing(RisingZeros(m, origin, origin + 20000)), 1e8 / 101000, 10);
        EXPECT_NEAR(MeanSpacing(RisingZeros(m, origin + 980000, origin + 1000000)), 1e8 / 199000, 5);
        // Then it starts again.
        EXPECT_NEAR(MeanSpacing(RisingZeros(m, origin + 1000000, origin + 1020000)), 1e8 / 101000, 10);
        if (origin > 0) {
            EXPECT_NEAR(MeanSpacing(RisingZeros(m, origin - 20000, origin)), 1e8 / 199000, 5);
        }
    }
}

TEST(SignalModelTest, ModulationWords)
{
    // Carrier 100 kHz, modulating sine 1 kHz.
    AcqConfig am = GeneratorOn(2, 0x00, PhaseIncHz(100000));
    am.Gen_Mod_Inc = PhaseIncHz(1000);
    am.Gen_Word_B = static_cast<std::uint64_t>(500 * 32.76775 * 4001 / 4096 + 0.5);  // depth 50 %
    {
        SCOPED_TRACE("AM");
        const SignalModel m = Quiet(am);
        auto peak = [&](std::uint64_t around) {
            double p = 0;
            for (std::uint64_t t = around - 500; t < around + 500; ++t) p = std::max(p, m.Volts(0, t));
            return p;
        };
        // Half amplitude (1 V) times 1 +- 0.5 at the crest and the trough of the modulation.
        EXPECT_NEAR(peak(25000), 1.5, 0.01);
        EXPECT_NEAR(peak(75000), 0.5, 0.01);
    }

    AcqConfig fm = GeneratorOn(3, 0x00, PhaseIncHz(100000));
    fm.Gen_Mod_Inc = PhaseIncHz(1000);
    fm.Gen_Word_B = static_cast<std::uint64_t>(5000 * 6.714164800781632 + 0.5);  // 50 kHz deviation
    {
        SCOPED_TRACE("FM");
        const SignalModel m = Quiet(fm);
        EXPECT_NEAR(MeanSpacing(RisingZeros(m, 24000, 26000)), 1e8 / 150000, 15);
        EXPECT_NEAR(MeanSpacing(RisingZeros(m, 72000, 78000)), 1e8 / 50500, 40);
    }

    AcqConfig sum = GeneratorOn(4, 0x06, 0);  // constant carrier: the modulating signal alone
    sum.Gen_Mod_Inc = PhaseIncHz(1000);
    sum.Gen_Word_B = static_cast<std::uint64_t>(1000 * 32.76775 + 0.5);  // level 100 %
    {
        SCOPED_TRACE("SUM");
        const SignalModel m = Quiet(sum);
        EXPECT_NEAR(m.Volts(0, 25000), 1.0, 1e-4);
        EXPECT_NEAR(m.Volts(0, 75000), -1.0, 1e-4);
    }
}

// Modulation from an input. The generator's output (a 2 V carrier, 1 V in AM
// and SUM) is measured in the first and the second half of the modulating
// source's period, some thousand periods on: A2 carries the 1 kHz 0..2 V
// square, D2 the 10 kHz clock, A1 the generator itself unless a case says
// otherwise.
TEST(SignalModelTest, ModulationFromAnInput)
{
    enum Measure { Peak, Hz, Value };
    struct Case {
        const char* name;
        std::uint8_t mode;   // Gen_Mode
        std::uint8_t shape;  // Gen_Shape
        double carrierHz;
        std::uint8_t range;  // of A1 and A2
        std::uint64_t wordB;
        Measure what;
        double first, second;  // expected in each half of the source's period
        EdgeTrain::Kind edges;
        double mean = 0;  // of the generator's output
        Source a1 = Source::Generator;
    };
    auto amWord = [](double modParam) {  // 0.025 %/div per step
        return static_cast<std::uint64_t>(modParam * 32.76775 * 4001 / 4096 * 4 + 0.5);
    };
    const std::uint64_t am50 = static_cast<std::uint64_t>(500 * 32.76775 * 4001 / 4096 + 0.5);
    const std::uint64_t fm200k = static_cast<std::uint64_t>(20000 * 6.714164800781632 + 0.5);
    const std::uint64_t fm31k25 = static_cast<std::uint64_t>(15625 * 10.73741824 + 0.5);  // per division
    const std::uint64_t sum25 = static_cast<std::uint64_t>(1000 * 32.76775 * 4 + 0.5);    // 25 %/div
    using K = EdgeTrain::Kind;
    const Case cases[] = {
        // 17.5 %/div: the square's 2 divisions give 35 %.
        {"AM from A2 at 1 V/div", 0x22, 0x00, 1e5, 7, amWord(700), Peak, 1.35, 1.0, K::Dds},
        {"AM from A2, inverted", 0xA2, 0x00, 1e5, 7, amWord(700), Peak, 0.65, 1.0, K::Dds},
        {"AM from A2 at 2 V/div", 0x22, 0x00, 1e5, 3, amWord(700), Peak, 1.175, 1.0, K::Dds},
        {"AM from A2 at 0.2 V/div overmodulates", 0x22, 0x00, 1e5, 4, amWord(700), Peak, 2.75, 1.0, K::Sampled},
        {"AM from D2 as +-1", 0x42, 0x00, 1e5, 7, am50, Peak, 1.5, 0.5, K::Dds},
        {"FM from D2 as +-1", 0x43, 0x00, 1e6, 7, fm200k, Hz, 1.2e6, 0.8e6, K::Sampled},
        {"FM from D2, inverted", 0xC3, 0x00, 1e6, 7, fm200k, Hz, 0.8e6, 1.2e6, K::Sampled},
        // 31.25 kHz/div: each period of the square adds a whole number of
        // carrier cycles and a quarter.
        {"FM from A2 at 1 V/div", 0x23, 0x00, 1e5, 7, fm31k25, Hz, 1.625e5, 1e5, K::Sampled},
        {"SUM from A2 at 1 V/div", 0x24, 0x06, 0, 7, sum25, Value, 0.5, 0, K::Sampled, 0.25},
        {"SUM from A1 sine at 0.5 V/div, inverted", 0x94, 0x06, 0, 6, sum25, Value, -0.75, 0.75, K::Sampled, 0,
         Source::Sine1k3Vpp},
        {"AM from A1 carrying the generator", 0x12, 0x00, 1e5, 7, amWord(700), Peak, 1.0, 1.0, K::Dds},
        {"FM from A1 carrying the generator", 0x13, 0x00, 1e5, 7, fm31k25, Hz, 1e5, 1e5, K::Sampled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AcqConfig a = GeneratorOn(c.mode, c.shape, PhaseIncHz(c.carrierHz));
        a.Range_A1 = a.Range_A2 = c.range;
        a.Gen_Word_B = c.wordB;
        SignalModel m(SignalOptions{.a1 = c.a1, .noiseVpp = 0});
        m.Configure(RegistersOf(a));
        const int src = (c.mode >> 4) & 0x07;
        const std::uint64_t period = src == 4 ? 10'000 : 100'000;
        const std::uint64_t base = 1233 * period;
        auto gen = [&](std::uint64_t t) { return m.SourceVolts(Source::Generator, t); };

        for (int half = 0; half < 2; ++half) {
            SCOPED_TRACE(half);
            const std::uint64_t from = base + half * period / 2 + period / 10, to = from + period * 3 / 10;
            const double expected = half == 0 ? c.first : c.second;
            switch (c.what) {
                case Peak: {
                    double peak = 0;
                    for (std::uint64_t t = from; t < to; ++t) peak = std::max(peak, gen(t));
                    EXPECT_NEAR(peak, expected, 0.01);
                    break;
                }
                case Hz: {
                    std::vector<std::uint64_t> up;
                    for (std::uint64_t t = from; t < to; ++t)
                        if (gen(t - 1) < 0 && gen(t) >= 0) up.push_back(t);
                    EXPECT_NEAR(1e8 / MeanSpacing(up), expected, expected * 0.01);
                    break;
                }
                case Value:
                    EXPECT_NEAR(gen(base + half * period / 2 + period / 4), expected, 1e-3);
                    break;
            }
        }
        if (c.what == Hz) {
            // The phase runs on without a jump where the source's period starts again.
            double step = 0;
            for (std::uint64_t t = base - 2000; t < base + 2000; ++t)
                step = std::max(step, std::abs(gen(t + 1) - gen(t)));
            // A 2 V sine changes by at most 4 pi f / 10^8 volts per tick.
            EXPECT_LT(step, 1.1 * 4 * 3.14159265 * std::max(c.first, c.second) / 1e8);
        }
        EXPECT_EQ(m.Edges(Source::Generator).kind, c.edges);
        EXPECT_NEAR(m.SourceMean(Source::Generator), c.mean, 1e-6);
    }
}

// ---------------------------------------------------------------------------
// Gen_Mode 6: the arbitrary-waveform program.

// Program words: opcode * 4096 + parameter.
constexpr std::uint16_t kOut0 = 0x0000, kOutTop = 0x0FFF, kOut3072 = 0x0C00, kStop = 0x2000, kLoop = 0x3000;
constexpr std::uint16_t Delay(int n)
{
    return static_cast<std::uint16_t>(0x4000 + n);
}
constexpr std::uint16_t Jmp(int a)
{
    return static_cast<std::uint16_t>(0x9000 + a);
}

// The generator on in AFG mode at a fraction `a` of full scale, one step
// every `step` ticks, Gen_Word_A = `mark`.
SimRegisters AfgRegisters(const std::vector<std::uint16_t>& words, std::uint64_t step, std::uint64_t mark, double a)
{
    AcqConfig c = GeneratorOn(6, 0, mark);
    c.Gen_Word_B = step - 1;
    c.Gen_Ampl = static_cast<std::uint16_t>(RoundHalfAway(a * 4094 + 1));
    SimRegisters r = RegistersOf(c);
    std::copy(words.begin(), words.end(), r.wave.begin());
    return r;
}

TEST(SignalModelTest, AfgProgramPlaysOnA1FromItsRun)
{
    const std::vector<std::uint16_t> words = {kOutTop, kOut0, kOut3072, kStop};
    struct Case {
        double a;
        double v[4];  // in steps 0..3
    };
    const Case cases[] = {
        {1.0, {2 * 2047 / 2048.0, -2, 1, 1}},
        {0.5, {2047 / 2048.0, -1, 0.5, 0.5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a);
        const SimRegisters regs = AfgRegisters(words, 100, 2048, c.a);
        SignalModel m(SignalOptions{.noiseVpp = 0});
        m.Configure(regs);
        EXPECT_EQ(m.Volts(0, 1050), 0);  // not started: mid-scale
        m.SetAfgRun({1000, {}});
        m.Configure(regs);  // keeps the run
        EXPECT_EQ(m.Volts(0, 999), 0);
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(m.Volts(0, 1000 + 100 * k + 99), c.v[k], 1e-12) << k;
        EXPECT_NEAR(m.Volts(0, 1'000'000'000), c.v[3], 1e-12);
        EXPECT_EQ(m.Edges(Source::Generator).kind, EdgeTrain::Kind::Sampled);
        EXPECT_EQ(m.MeanVolts(0), 0);
    }

    SimRegisters off = AfgRegisters(words, 100, 2048, 1.0);
    off.page[0x46] |= 0x08;  // Range_A1: generator off
    SignalModel m(SignalOptions{.noiseVpp = 0});
    m.SetAfgRun({0, {}});
    m.Configure(off);
    EXPECT_NEAR(m.Volts(0, 25000), 1.5, 1e-5);  // the stand-in sine
    m.Configure(RegistersOf(GeneratorOn(0, 0, 0)));
    EXPECT_FALSE(m.Afg(0).has_value());
}

// D1 carries the mark (high in the steps of word 1 here: the odd ones) while
// Gen_Word_A is below 2048 and the generator is on; otherwise its source.
TEST(SignalModelTest, AfgMarkReplacesD1)
{
    const std::vector<std::uint16_t> words = {kOutTop, kOut0, Jmp(0)};
    struct Case {
        const char* name;
        std::uint64_t mark;
        bool on;
        bool carriesMark;
    };
    const Case cases[] = {
        {"mark at word 1", 1, true, true},
        {"no mark", 2048, true, false},
        {"generator off", 1, false, false},
    };
    const SignalModel serial = Quiet(GeneratorOn(0, 0, 0));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimRegisters regs = AfgRegisters(words, 50, c.mark, 1.0);
        if (!c.on) regs.page[0x46] |= 0x08;
        SignalModel m(SignalOptions{.noiseVpp = 0});
        m.SetAfgRun({0, {}});
        m.Configure(regs);
        EXPECT_EQ(m.MarkOnD1(), c.carriesMark);
        for (std::uint64_t t = 25; t < 100'000; t += 50) {
            const int expected = c.carriesMark ? static_cast<int>(t / 50 % 2) : serial.Bit(0, t);
            ASSERT_EQ(m.Bit(0, t), expected) << t;
            ASSERT_EQ(m.Bit(1, t), serial.Bit(1, t)) << t;
        }
    }
}

// The frequency meter samples an AFG output, and D1 carrying its mark: a
// square of 100 steps of 1000 ticks (1 kHz) with the mark at its first word.
TEST(SignalModelTest, AfgOutputAndMarkOnTheFrequencyMeter)
{
    SimRegisters regs = AfgRegisters({kOutTop, Delay(49), kOut0, Delay(49), kLoop}, 1000, 0, 1.0);
    SignalModel m(SignalOptions{.noiseVpp = 0});
    m.SetAfgRun({1234, {}});
    m.Configure(regs);
    constexpr std::uint64_t kNow = 350'000'123;
    for (const std::uint8_t src : {0x01, 0x03}) {  // A1, D1; frequency mode
        SCOPED_TRACE(static_cast<int>(src));
        regs.page[0x30] = src;
        const FreqMeterResult r = MeasureFrequency(regs, m, kNow);
        EXPECT_EQ(r.status, src | 0x30);
        EXPECT_NEAR(r.count, 10, 1);
        ASSERT_GT(r.time, 0u);
        EXPECT_NEAR((r.count - 1.0) * 1e8 / r.time, 1000, 1);
    }
    regs.page[0x30] = 0x11;  // A1, period mode
    EXPECT_NEAR(MeasureFrequency(regs, m, kNow).time, 100'000, 800);
}

// ---------------------------------------------------------------------------

// Registers with the meter set up as the program composes it, the generator
// running a 1 kHz sine on A1.
SimRegisters MeterRegisters(int mode, int input, int trigSource = ChA1)
{
    auto st = std::make_unique<ScopeState>();
    st->settings.GenOn_Down = true;
    st->settings.Sel(Group::FmMode) = mode;
    st->settings.Sel(Group::FmInput) = input;
    st->settings.Sel(Group::TrigSource) = trigSource;
    ComposeAcqConfig(*st);
    st->acq.Gen_Mode = 0;
    st->acq.Gen_Shape = 0x50;
    st->acq.Gen_Word_A = PhaseIncHz(1000);
    st->acq.Gen_Ampl = 2001;
    return RegistersOf(st->acq);
}

SignalModel Inputs(const SignalOptions& o, const SimRegisters& regs)
{
    SignalModel m(o);
    m.Configure(regs);
    return m;
}

constexpr std::uint64_t kNow = 350'000'123;  // 3.5 s

struct MeterCase {
    const char* name;
    SignalOptions inputs;
    int mode;   // FmFreq or FmPeriod
    int input;  // FmA1 .. FmTrig
    int trigSource;
    double hz;  // expected frequency
};

TEST(FrequencyMeterTest, CountsAndPeriods)
{
    const MeterCase cases[] = {
        {"A1 1 kHz sine", {.a1 = Source::Sine1k3Vpp}, FmFreq, FmA1, ChA1, 1000},
        {"A1 1 kHz sine, period", {.a1 = Source::Sine1k3Vpp}, FmPeriod, FmA1, ChA1, 1000},
        {"A1 generator at 1 kHz", {.a1 = Source::Generator}, FmFreq, FmA1, ChA1, 1000},
        {"A2 1 kHz square, period", {.a2 = Source::Square1k2Vpp}, FmPeriod, FmA2, ChA1, 1000},
        {"D2 10 kHz clock", {.d2 = Source::Clock10k}, FmFreq, FmD2, ChA1, 10000},
        {"D2 10 kHz clock, period", {.d2 = Source::Clock10k}, FmPeriod, FmD2, ChA1, 10000},
        {"D1 HF prescaler", {.d1 = Source::Clock10k}, FmFreq, FmD1_HF, ChA1, 10000},
        {"trigger source D2", {.d2 = Source::Clock10k}, FmFreq, FmTrig, ChD2, 10000},
    };
    const std::uint64_t countFrom = 50'000'000;
    for (const MeterCase& c : cases) {
        SCOPED_TRACE(c.name);
        const SimRegisters regs = MeterRegisters(c.mode, c.input, c.trigSource);
        const FreqMeterResult r = MeasureFrequency(regs, Inputs(c.inputs, regs), kNow, countFrom);
        const int code = regs.FmSrc() & 0x0F;
        if (c.mode == FmFreq) {
            EXPECT_EQ(r.status, code | 0x30);
            const double prescale = (code == 5 || code == 6) ? 8 : 1;
            // Edges in the 10 ms gate.
            EXPECT_NEAR(r.count, c.hz * 0.01 / prescale, 1.0);
            ASSERT_GT(r.time, 0u);
            EXPECT_LE(r.time, FreqMeterGate);
            EXPECT_NEAR((r.count - 1.0) * 1e8 / r.time * prescale, c.hz, c.hz * 2e-6);
        } else {
            EXPECT_EQ(r.status, code | 0x20);
            EXPECT_NEAR(r.time, 1e8 / c.hz, 1.0);
            EXPECT_NEAR(r.count, c.hz * 3.0, 1.0);  // events in the 3 s since countFrom
        }
    }
}

TEST(FrequencyMeterTest, TenMillisecondGate)
{
    // The 10 kHz clock rises at every multiple of 10000 ticks; the gate is
    // (kNow - 10^6, kNow].
    struct Case {
        const char* name;
        int input;
        std::uint32_t count, time;
    };
    const Case cases[] = {
        {"D2: 100 edges, 99 periods", FmD2, 100, 990'000},
        {"D2 HF: every eighth edge (multiples of 8 from 34904 to 35000)", FmD2_HF, 13, 960'000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SimRegisters regs = MeterRegisters(FmFreq, c.input);
        const FreqMeterResult r = MeasureFrequency(regs, Inputs({.d2 = Source::Clock10k}, regs), kNow);
        EXPECT_EQ(r.count, c.count);
        EXPECT_EQ(r.time, c.time);
    }
}

TEST(FrequencyMeterTest, TimeBaseErrorAndItsCalibration)
{
    const SimRegisters freq = MeterRegisters(FmFreq, FmD2);
    const SimRegisters period = MeterRegisters(FmPeriod, FmA1);
    const SignalModel m = Inputs({.a1 = Source::Sine1k3Vpp, .d2 = Source::Clock10k}, freq);
    // A 10 ms gate resolves about 1 ppm.
    constexpr double kResolution = 1.2e-6;
    for (const double ppm : {40.0, -40.0, 3.0}) {
        SCOPED_TRACE(ppm);
        const int cal = static_cast<int>(std::lround(ppm / 0.2));
        for (const std::uint64_t now : {kNow, kNow + 123'457, kNow + 9'876'543}) {
            const FreqMeterResult f = MeasureFrequency(freq, m, now, 0, ppm);
            const FreqMeterValues v{f.status, f.count, f.time, 0};
            ASSERT_TRUE(MeterFrequency(v).has_value());
            // The meter's clock runs fast by ppm: the frequency reads low by as much...
            EXPECT_NEAR(*MeterFrequency(v) / 10000, 1 - ppm * 1e-6, kResolution);
            // ... and the program's calibration puts it right.
            const FreqMeterValues trimmed{f.status, f.count, f.time, cal};
            EXPECT_NEAR(*MeterFrequency(trimmed) / 10000, 1, kResolution);

            // A period of 1 ms lasts 100000 * (1 + ppm) of its ticks.
            EXPECT_NEAR(MeasureFrequency(period, m, now, 0, ppm).time, 100'000 * (1 + ppm * 1e-6), 1.0);
        }
    }
}

TEST(FrequencyMeterTest, CounterCountsFromItsLastReset)
{
    const SimRegisters regs = MeterRegisters(FmPeriod, FmD2);
    const SignalModel m = Inputs({.d2 = Source::Clock10k}, regs);
    EXPECT_EQ(MeasureFrequency(regs, m, kNow, kNow - 2'500'000).count, 250u);  // 25 ms of 10 kHz
    EXPECT_EQ(MeasureFrequency(regs, m, kNow, kNow).count, 0u);                // reset just now
    // 27 bits: the counter stops at 0x7FFFFFF (after 3.7 hours of 10 kHz).
    EXPECT_EQ(MeasureFrequency(regs, m, 2'000'000'000'000, 0).count, 0x7FFFFFFu);
    // The reset bit in the source register does not change the measurement.
    SimRegisters withReset = regs;
    withReset.page[0x30] |= 0x80;
    const FreqMeterResult a = MeasureFrequency(regs, m, kNow, 0), b = MeasureFrequency(withReset, m, kNow, 0);
    EXPECT_EQ(b.status, a.status);
    EXPECT_EQ(b.count, a.count);
    EXPECT_EQ(b.time, a.time);
}

TEST(FrequencyMeterTest, OffAndSilentInputs)
{
    auto st = std::make_unique<ScopeState>();
    st->settings.Sel(Group::FmMode) = FmOff;
    ComposeAcqConfig(*st);
    SignalModel m;
    SimRegisters regs = RegistersOf(st->acq);
    m.Configure(regs);
    EXPECT_EQ(MeasureFrequency(regs, m, 500'000'000).status, 0);

    // A grounded input: a valid reading without edges.
    SignalModel ground(SignalOptions{.a2 = Source::Ground});
    regs.page[0x30] = 2;
    EXPECT_EQ(MeasureFrequency(regs, ground, 500'000'000).count, 0u);
    regs.page[0x30] = 0x12;
    const FreqMeterResult period = MeasureFrequency(regs, ground, 500'000'000);
    EXPECT_EQ(period.status, 0x22);
    EXPECT_EQ(period.time, 0xFFFFFFFFu);
}

}  // namespace
}  // namespace kr40::sim
