// The simulated instrument's truth: what the service calibrations have to
// find (zero response, ADC noise, TDC counts, digital input thresholds).

#include "simulator/instrument_truth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "acquisition/acq_config.h"
#include "acquisition/frame.h"
#include "acquisition/scope_tables.h"
#include "device/link_state.h"
#include "device/packets.h"
#include "device/receiver.h"
#include "simulator/frame_builder.h"
#include "simulator/signals.h"
#include "simulator/sim_registers.h"
#include "simulator/virtual_instrument.h"
#include "support/received_frame.h"
#include "support/sim_session.h"
#include "support/table_rows.h"

namespace kr40::sim {
namespace {

using test::PhaseIncHz;
using test::RegistersOf;

const std::uint8_t kRange2V = VoltsPerDiv.front().rangeCode;
const std::uint8_t kRange50mV = VoltsPerDiv.back().rangeCode;

// An untriggered frame of `n` samples, D = decim + 1 ticks apart.
AcqConfig FreeRunning(int n, std::uint32_t decim, std::uint8_t channels)
{
    AcqConfig a;
    a.Smpl_N = n;
    a.Pre_N = 0;
    a.Post_N = static_cast<std::uint32_t>(n);
    a.Decim = decim;
    a.Ch_Mask = static_cast<std::uint8_t>(0x80 | channels);
    return a;
}

// One frame of the builder for `acq`, through the host's receiver and decoder.
struct Frame {
    test::Decoded got;

    std::vector<std::int32_t> Samples(int ch) const
    {
        const std::int32_t* v = got.frame->buf.First(ch);
        return {v, v + got.frame->rec.ValidLen};
    }
};

void Acquire(FrameBuilder& builder, const AcqConfig& acq, std::uint64_t& tick, Frame& out)
{
    const std::vector<std::uint8_t> wire = builder.Acquire(RegistersOf(acq), tick, 0);
    ASSERT_FALSE(wire.empty());
    DecodeContext ctx;
    ctx.acq = &acq;
    ASSERT_NO_FATAL_FAILURE(test::Receive(wire, ctx, false, out.got));
    ASSERT_EQ(out.got.result, DecodeResult::Ok);
    ASSERT_EQ(out.got.frame->rec.ValidLen, acq.Smpl_N);
}

double Mean(const std::vector<std::int32_t>& v)
{
    double sum = 0;
    for (const std::int32_t x : v) sum += x;
    return sum / static_cast<double>(v.size());
}

int PeakToPeak(const std::vector<std::int32_t>& v)
{
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    return *hi - *lo;
}

// ---------------------------------------------------------------------------

// A1 {3391, 690, -37} and A2 {3300, 760, 20}; the zero codes worked out by
// hand from the zero response. Without noise every sample is the code 0 V
// rounds to; the default truth gives the codes of the program's default record.
TEST(InstrumentTruthTest, ZeroCodeFollowsTheOffsetDacAndTheRange)
{
    struct Case {
        const char* name;
        bool defaultTruth;
        std::uint32_t dac;
        std::uint8_t range;
        double a1, a2;  // where 0 V lands
    };
    const Case cases[] = {
        {"DAC 1360 at 2 V/div", false, 1360, kRange2V, 211.8796875, 206.28125},
        {"DAC 3040 at 2 V/div", false, 3040, kRange2V, 43.0671875, 47.53125},
        {"DAC 2200 at 50 mV/div: the shift counts in full", false, 2200, kRange50mV, 125.21875, 128.125},
        {"default, DAC 1360 at 2 V/div", true, 1360, kRange2V, 209.8125, 209.8125},
        {"default, DAC 3040 at 2 V/div", true, 3040, kRange2V, 45.3125, 45.3125},
        {"default, DAC 2200 at 50 mV/div", true, 2200, kRange50mV, 127.5625, 127.5625},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstrumentTruth truth;
        if (!c.defaultTruth) {
            truth.zero[0] = {3391, 690, -37};
            truth.zero[1] = {3300, 760, 20};
        }
        FrameBuilder builder(SignalOptions{.a1 = Source::Ground, .a2 = Source::Ground, .noiseVpp = 0}, truth);
        AcqConfig acq = FreeRunning(1000, 9, 0x03);
        acq.Range_A1 = acq.Range_A2 = c.range;
        acq.Zero_Cal_A1 = acq.Zero_Cal_A2 = c.dac;
        std::uint64_t tick = 1234;
        Frame f;
        ASSERT_NO_FATAL_FAILURE(Acquire(builder, acq, tick, f));
        for (const int ch : {ChanA1, ChanA2}) {
            SCOPED_TRACE(ch);
            const double zero = ch == ChanA1 ? c.a1 : c.a2;
            EXPECT_NEAR(truth.zero[static_cast<std::size_t>(ch)].ZeroCode(c.dac, VoltsPerDivision(c.range)), zero,
                        1e-9);
            const std::vector<std::int32_t> v = f.Samples(ch);
            EXPECT_EQ(PeakToPeak(v), 0);
            EXPECT_EQ(v.front(), std::lround(zero));
        }
    }
}

// With the ADC noise of the open-input wiring (one code), the mean of a
// grounded input is where 0 V lands, fractions included, and the noise stays
// within what the zero calibration tolerates.
TEST(InstrumentTruthTest, AdcNoiseDithersTheMeanToTheTrueZero)
{
    struct Case {
        const char* name;
        double noiseVpp;  // analog noise in front of the ADC
        std::uint32_t dac;
        std::uint8_t range;
        double zero, tolerance;
        int maxPeakToPeak;
    };
    const Case cases[] = {
        {"ADC noise alone", 0, 1360, kRange2V, 211.8796875, 0.01, 2},
        {"2 V/div, default analog noise", 0.02, 1360, kRange2V, 211.8796875, 0.02, 3},
        {"2 V/div, other end of the DAC", 0.02, 3040, kRange2V, 43.0671875, 0.02, 3},
        // 0.02 V is 12.8 codes here: its own spread limits the mean's precision.
        {"50 mV/div, default analog noise", 0.02, 2200, kRange50mV, 125.21875, 0.06, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstrumentOptions o;
        WireOpenInputs(o);
        o.sources.noiseVpp = c.noiseVpp;
        o.truth.zero[0] = {3391, 690, -37};
        FrameBuilder builder(o.sources, o.truth);
        AcqConfig acq = FreeRunning(20000, 0, 0x01);
        acq.Range_A1 = c.range;
        acq.Zero_Cal_A1 = c.dac;
        std::uint64_t tick = 777;
        std::vector<std::int32_t> all;
        for (int frame = 0; frame < 5; ++frame) {
            Frame f;
            ASSERT_NO_FATAL_FAILURE(Acquire(builder, acq, tick, f));
            const std::vector<std::int32_t> v = f.Samples(ChanA1);
            all.insert(all.end(), v.begin(), v.end());
        }
        EXPECT_NEAR(Mean(all), c.zero, c.tolerance);
        EXPECT_LE(PeakToPeak(all), c.maxPeakToPeak);
        EXPECT_GE(PeakToPeak(all), 2);  // the noise is there
    }
}

// The generator's 9.8765432 MHz sine (4 V peak-to-peak) on D1 and D2,
// triggered at full rate on each path and edge: the TDC reads up to the
// path's count of taps, reaching it in about one frame in four.
TEST(InstrumentTruthTest, TdcReadingSaturatesAtThePathsCount)
{
    struct Case {
        const char* name;
        std::uint8_t acqFlags;
        int index;  // into tdcCounts
    };
    const Case cases[] = {
        {"D1 rising", 0x02, 0},
        {"D1 falling", 0x12, 1},
        {"D2 rising", 0x06, 2},
        {"D2 falling", 0x16, 3},
    };
    for (const std::array<std::uint8_t, 4> counts :
         {InstrumentTruth{}.tdcCounts, std::array<std::uint8_t, 4>{12, 27, 16, 26}}) {
        InstrumentOptions o;
        WireGeneratorToDigital(o);
        o.truth.tdcCounts = counts;
        for (const Case& c : cases) {
            const int count = counts[static_cast<std::size_t>(c.index)];
            SCOPED_TRACE(std::string(c.name) + ", count " + std::to_string(count));
            FrameBuilder builder(o.sources, o.truth);
            AcqConfig acq;
            acq.Smpl_N = 1000;
            acq.Pre_N = 100;
            acq.Post_N = 900;
            acq.Decim = 0;
            acq.Ch_Mask = 0x8C;
            acq.Mode_Flags = 0x80;
            acq.Acq_Flags = c.acqFlags;
            acq.Range_A1 = kRange2V;  // bit 3 clear: the generator runs
            acq.Gen_Shape = 0x50;
            acq.Gen_Word_A = 27799997672018;
            acq.Gen_Ampl = 4000;
            const SimRegisters regs = RegistersOf(acq);
            std::uint64_t tick = 4321;
            int highest = 0, full = 0, lowest = 31;
            for (int frame = 0; frame < 60; ++frame) {
                const std::vector<std::uint8_t> wire = builder.Acquire(regs, tick, 0);
                ASSERT_FALSE(wire.empty()) << frame;
                PacketReceiver rx;
                rx.SetFrameShape(acq.Smpl_N, false);
                LinkCounters counters;
                test::Captured got;
                rx.Feed(wire.data(), wire.size(), got, counters);
                ASSERT_EQ(got.mains, 1);
                ASSERT_EQ(got.status[0x00] & 0x04, 0) << "triggered";
                const int reading = got.status[0x2E];
                highest = std::max(highest, reading);
                lowest = std::min(lowest, reading);
                full += reading == count;
            }
            EXPECT_EQ(highest, count);
            EXPECT_GE(full, 6);  // a quarter of 60 is 15
            EXPECT_LE(full, 26);
            EXPECT_LT(lowest, count / 2);
        }
    }
}

// An analog trigger leaves the TDC reading at 0.
TEST(InstrumentTruthTest, AnalogTriggerReadsNoTdc)
{
    FrameBuilder builder(SignalOptions{.a1 = Source::Sine1k3Vpp}, InstrumentTruth{});
    AcqConfig acq = FreeRunning(1000, 99, 0x01);
    acq.Pre_N = 100;
    acq.Post_N = 900;
    acq.Mode_Flags = 0x80;
    acq.Range_A1 = VoltsPerDiv[test::Volts("1V")].rangeCode;
    acq.Zero_Cal_A1 = 2196;  // about code 128 for the default truth
    acq.Trig_Lo_A1 = 120;
    acq.Trig_Hi_A1 = 130;
    std::uint64_t tick = 0;
    for (int frame = 0; frame < 8; ++frame) {
        Frame f;
        ASSERT_NO_FATAL_FAILURE(Acquire(builder, acq, tick, f));
        ASSERT_EQ(f.got.got.status[0x00] & 0x04, 0) << "triggered";
        EXPECT_EQ(f.got.got.status[0x2E], 0);
    }
}

// The generator's 1 kHz ramps (Gen_Ampl 2000: +-0.9995 V) on D1 and D2 over
// one period of 2000 samples, 1 mV apart: the samples that read 0 reach from
// the bottom of the ramp up to the threshold the ramp switches the input at.
TEST(InstrumentTruthTest, DigitalInputsSwitchAtTheirThresholds)
{
    enum Kind { Rise, Fall, Single };
    struct Case {
        const char* name;
        int shape;  // 1 rising ramp, 2 falling ramp
        std::uint8_t acqFlags;
        Kind d1, d2;
    };
    const Case cases[] = {
        {"falling ramp, Schmitt triggers on", 2, 0x00, Fall, Fall},
        {"rising ramp, Schmitt triggers on", 1, 0x00, Rise, Rise},
        {"falling ramp, Schmitt triggers off", 2, 0xC0, Single, Single},
        {"rising ramp, Schmitt triggers off", 1, 0xC0, Single, Single},
        {"rising ramp, D1's Schmitt trigger off", 1, 0x40, Single, Rise},
        {"falling ramp, D2's Schmitt trigger off", 2, 0x80, Fall, Single},
    };
    const double half = 1999.0 / 4000 * 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstrumentOptions o;
        WireGeneratorToDigital(o);
        AcqConfig acq = FreeRunning(2000, 49, 0x0C);
        acq.Acq_Flags = c.acqFlags;
        acq.Range_A1 = kRange2V;
        acq.Gen_Shape = static_cast<std::uint8_t>(0x50 | c.shape);
        acq.Gen_Word_A = PhaseIncHz(1000);
        acq.Gen_Ampl = 2000;
        FrameBuilder builder(o.sources, o.truth);
        // Frames starting anywhere in the period, inside the band included.
        for (const std::uint64_t start : {std::uint64_t{0}, std::uint64_t{18'000}, std::uint64_t{123'456'789}}) {
            SCOPED_TRACE(start);
            std::uint64_t tick = start;
            Frame f;
            ASSERT_NO_FATAL_FAILURE(Acquire(builder, acq, tick, f));
            for (const int ch : {ChanD1, ChanD2}) {
                const InputThresholds& th = o.truth.thresholds[static_cast<std::size_t>(ch - ChanD1)];
                const Kind kind = ch == ChanD1 ? c.d1 : c.d2;
                const double threshold = kind == Rise ? th.rise : kind == Fall ? th.fall : th.single;
                const std::vector<std::int32_t> v = f.Samples(ch);
                const auto zeros = std::count(v.begin(), v.end(), 0);
                EXPECT_NEAR(static_cast<double>(zeros), (threshold + half) / (2 * half) * 2000, 2) << "channel " << ch;
            }
        }
    }
}

// Inside the band between its thresholds a Schmitt input keeps the level it
// had when the signal left the other side; with the trigger off only the
// single threshold counts. D1: rise 0.62 V, fall 0.31 V, single 0.47 V.
TEST(InstrumentTruthTest, SchmittInputKeepsItsLevelInsideTheBand)
{
    enum InBand { Low, High, FromWhereItCame };
    struct Case {
        const char* name;
        std::uint8_t mode, shape;
        std::uint16_t ampl;
        std::uint64_t wordB;
        InBand inBand;
    };
    const Case cases[] = {
        {"1 kHz sine +-1 V: through the band both ways", 0, 0x50, 2001, 0, FromWhereItCame},
        {"1 kHz sine +-0.5 V: into the band from below only", 0, 0x50, 1001, 0, Low},
        {"1 V with 60 % AM at 1 kHz (0.4..1.6 V): into the band from above only", 2, 0x05, 4001, 19205, High},
    };
    const InstrumentTruth truth;
    const InputThresholds& th = truth.thresholds[0];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AcqConfig acq;
        acq.Range_A1 = kRange2V;
        acq.Gen_Mode = c.mode;
        acq.Gen_Shape = c.shape;
        acq.Gen_Word_A = PhaseIncHz(1000);
        acq.Gen_Word_B = c.wordB;
        acq.Gen_Mod_Inc = PhaseIncHz(1000);
        acq.Gen_Ampl = c.ampl;
        SignalModel schmitt(SignalOptions{.d1 = Source::Generator, .noiseVpp = 0}, truth);
        schmitt.Configure(RegistersOf(acq));
        acq.Acq_Flags = 0x40;  // D1's Schmitt trigger off
        SignalModel single(SignalOptions{.d1 = Source::Generator, .noiseVpp = 0}, truth);
        single.Configure(RegistersOf(acq));

        auto volts = [&](std::uint64_t t) { return schmitt.SourceVolts(Source::Generator, t); };
        int inBand = 0;
        const std::uint64_t from = 1'000'000'007;
        for (std::uint64_t t = from; t < from + 100'000; t += 37) {
            const double v = volts(t);
            ASSERT_EQ(single.Bit(0, t), v > th.single ? 1 : 0) << t;
            int expected = v > th.rise ? 1 : 0;
            if (v <= th.rise && v >= th.fall) {
                ++inBand;
                // Falling through the band: it came from above the rising threshold.
                expected = c.inBand == FromWhereItCame ? (volts(t + 1) < v ? 1 : 0) : c.inBand == High ? 1 : 0;
            }
            ASSERT_EQ(schmitt.Bit(0, t), expected) << t << " at " << v << " V";
        }
        EXPECT_GT(inBand, 100);
    }
}

// End to end: the program, with its default zero record, sets the offset
// DAC for A1_Zero 128; the instrument's own zero response decides where 0 V
// lands, and the open-input wiring lets the mean show it to a fraction.
TEST(InstrumentTruthTest, TruthReachesTheFramesOfTheVirtualInstrument)
{
    SimProviderOptions options;
    WireOpenInputs(options.instrument);
    options.instrument.truth.zero[0] = {3391, 690, -37};
    test::SimSession sim(options);
    ASSERT_EQ(sim.Open(), FT_OK);
    ScopeSettings& s = sim.st.settings;
    s.Sel(Group::TimeBase) = test::Tb("05mS");
    s.Sel(Group::Fps) = 4;
    s.Sel(Group::VoltsA1) = test::Volts("2V");
    s.A1_Zero = 128;
    s.Run_Down = true;
    ASSERT_TRUE(sim.Apply());
    ASSERT_TRUE(sim.WaitFrames(2));
    const FrameSet f = sim.LastFrame();
    ASSERT_GT(f.rec.ValidLen, 1000);
    std::vector<std::int32_t> a1(f.buf.First(ChanA1), f.buf.First(ChanA1) + f.rec.ValidLen);

    const std::uint32_t dac = sim.Instrument().Registers().ZeroCalA1();
    const double zero = options.instrument.truth.zero[0].ZeroCode(dac, 2.0);
    EXPECT_NEAR(zero, 127.875, 0.01);  // the default record expects 128 there
    EXPECT_NEAR(Mean(a1), zero, 0.03);
    EXPECT_LE(PeakToPeak(a1), 3);
}

}  // namespace
}  // namespace kr40::sim
