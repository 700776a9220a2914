#include "simulator/frame_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/frame.h"
#include "acquisition/scope_tables.h"
#include "core/rounding.h"
#include "core/sample.h"
#include "device/link_state.h"
#include "device/packets.h"
#include "device/receiver.h"
#include "simulator/sim_registers.h"
#include "state/compose.h"
#include "state/scope_state.h"
#include "support/received_frame.h"
#include "support/table_rows.h"

namespace kr40::sim {
namespace {

using test::PhaseIncHz;
using test::RegistersOf;

using test::Decoded;
using test::DivItem;
using test::Receive;
using test::Tb;
using test::Volts;

// A scope set up through its settings; the simulated instrument reads the
// registers the settings packet writes.
class Bench {
public:
    explicit Bench(SignalOptions options = {}) : builder(options)
    {
        ScopeSettings& s = settings();
        s.Run_Down = true;
        s.GenOn_Down = true;
        s.A1_Zero = 128;
        s.A2_Zero = 60;
        s.Sel(Group::VoltsA1) = Volts("05V");
        s.Sel(Group::VoltsA2) = Volts("1V");
        Timing("1mS", Smpl5000, 10);
    }

    ScopeSettings& settings() { return st->settings; }
    const AcqConfig& acq() const { return st->acq; }

    void Timing(std::string_view timeBase, int smplItem, int divisions)
    {
        settings().Sel(Group::TimeBase) = Tb(timeBase);
        settings().Sel(Group::SmplN) = smplItem;
        settings().Sel(Group::SigDiv) = DivItem(divisions);
    }

    SimRegisters Registers()
    {
        ComposeAcqConfig(*st);
        AcqConfig& a = st->acq;
        a.Gen_Mode = pulsePeriod > 0 ? 7 : sweepStopHz > 0 ? 1 : 0;
        a.Gen_Shape = 0x50;  // sine, constant modulator
        a.Gen_Word_A = pulsePeriod > 0 ? pulsePeriod - 1 : PhaseIncHz(genHz);
        a.Gen_Word_B = pulseHigh;
        if (sweepStopHz > 0) a.Gen_Word_B = (PhaseIncHz(sweepStopHz) - PhaseIncHz(genHz)) / a.Post_N;
        a.Gen_Ampl = static_cast<std::uint16_t>(RoundHalfAway(genFraction * 4000 + 1));
        SettingsPacketExtras extras;
        extras.seq = 42;
        SimRegisters r;
        ApplyBlocks(r, SettingsBlocks(a, extras));
        return r;
    }

    // Builds one frame; false when none was due. Decodes it into `out`.
    bool Acquire(std::uint64_t& tick, std::uint64_t start = 0)
    {
        const SimRegisters regs = Registers();
        const std::vector<std::uint8_t> wire = builder.Acquire(regs, tick, start);
        if (wire.empty()) return false;
        DecodeContext ctx;
        ctx.acq = &st->acq;
        ctx.A1_Zero = settings().A1_Zero;
        ctx.A2_Zero = settings().A2_Zero;
        ctx.Lev_A1 = settings().Lev_A1;
        ctx.Lev_A2 = settings().Lev_A2;
        Receive(wire, ctx, acq().Pair_Mode, out);
        EXPECT_EQ(out.result, DecodeResult::Ok);
        EXPECT_EQ(out.got.type, 0x80 | (acq().Ch_Mask & 0x0F));
        EXPECT_EQ(out.got.status[0x45], 42);
        return true;
    }

    const FrameRecord& rec() const { return out.frame->rec; }
    const std::int32_t* first(int ch) const { return out.frame->buf.First(ch); }
    const std::int32_t* second(int ch) const { return out.frame->buf.Second(ch); }
    std::uint32_t StatusU16(int k) const { return out.got.status[k] | (out.got.status[k + 1] << 8); }

    double MeanCode(int ch) const
    {
        return static_cast<double>(ch == ChanA1 ? rec().SumA1 : rec().SumA2) / rec().ValidLen;
    }

    double genHz = 1000, genFraction = 0.5;  // 1 kHz, 2 V peak-to-peak
    // Generator pulse mode when set: period and high time in ticks.
    std::uint64_t pulsePeriod = 0, pulseHigh = 0;
    // Generator sweep from genHz to this over the post-trigger part, when set.
    double sweepStopHz = 0;
    std::unique_ptr<ScopeState> st = std::make_unique<ScopeState>();
    FrameBuilder builder;
    Decoded out;
};

// Indices where a rising signal passes `level`, armed only after it was at
// or below `low` (noise does not count twice).
std::vector<int> RisingCrossings(const std::int32_t* v, int n, int low, int level)
{
    std::vector<int> at;
    bool armed = false;
    for (int i = 0; i < n; ++i) {
        if (v[i] <= low) armed = true;
        if (armed && v[i] >= level) {
            at.push_back(i);
            armed = false;
        }
    }
    return at;
}

// Fractional indices from `from` on where a rising signal passes `level`,
// interpolated between samples; armed as in RisingCrossings.
std::vector<double> RisingTimes(const std::int32_t* v, int from, int n, int low, int level)
{
    std::vector<double> at;
    bool armed = false;
    for (int i = from; i < n; ++i) {
        if (v[i] <= low) armed = true;
        if (armed && i > from && v[i] >= level) {
            at.push_back(i - 1 + static_cast<double>(level - v[i - 1]) / (v[i] - v[i - 1]));
            armed = false;
        }
    }
    return at;
}

// ---------------------------------------------------------------------------

TEST(FrameBuilderTest, GeneratorSineHasItsPeriodAndAmplitude)
{
    Bench b;  // 1 ms/div, 5000 samples over 10 divisions: 2 us per sample
    std::uint64_t tick = 12345;
    ASSERT_TRUE(b.Acquire(tick));
    const FrameRecord& r = b.rec();
    ASSERT_EQ(r.FrameLen, 5000);
    ASSERT_EQ(r.ValidLen, 5000);
    EXPECT_EQ(r.Divider, 200);
    EXPECT_EQ(tick, 12345u + 5000u * 200u);

    const std::vector<int> up = RisingCrossings(b.first(ChanA1), r.ValidLen, 118, 128);
    ASSERT_GE(up.size(), 9u);
    const double period = static_cast<double>(up.back() - up.front()) / (up.size() - 1);
    EXPECT_NEAR(period, 500.0, 5.0);  // 1 ms in 2 us samples

    // 2 V peak-to-peak at 0.5 V/div is 128 codes.
    EXPECT_NEAR(r.PeakToPeakA1, 128, 128 * 0.05);
    EXPECT_NEAR(b.MeanCode(ChanA1), 128, 1.0);

    // The generator switched off: a 3 V peak-to-peak sine stands in for it.
    b.settings().GenOn_Down = false;
    b.settings().Sel(Group::VoltsA1) = Volts("1V");
    ASSERT_TRUE(b.Acquire(tick));
    EXPECT_NEAR(b.rec().PeakToPeakA1, 96, 96 * 0.05);
}

struct TriggerCase {
    const char* name;
    int source;  // ChA1 .. ChD2
    bool falling;
    double level;  // analog sources
};

TEST(FrameBuilderTest, TriggerCrossingFollowsPreLen)
{
    const TriggerCase cases[] = {
        {"A1 rising", ChA1, false, 148},        {"A1 falling", ChA1, true, 100},
        {"A2 square rising", ChA2, false, 90},  // 0..2 V at 1 V/div on zero 60: codes 60..124
        {"D1 serial start bit", ChD1, true, 0}, {"D2 clock rising", ChD2, false, 0},
    };
    for (const TriggerCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        ScopeSettings& s = b.settings();
        s.Trig_On = true;
        s.Sel(Group::TrigSource) = c.source;
        s.Edge = c.falling;
        s.Pre = 3;
        s.Lev_A1 = s.Lev_A2 = c.level;
        std::uint64_t tick = 777;
        std::vector<std::uint32_t> rotations;
        for (int frame = 0; frame < 3; ++frame) {
            const std::uint64_t before = tick;
            ASSERT_TRUE(b.Acquire(tick));
            const FrameRecord& r = b.rec();
            const AcqConfig& a = b.acq();
            EXPECT_GE(tick, before + 5000u * 200u);
            EXPECT_EQ(r.TrigSource, c.source + 1);
            ASSERT_EQ(r.PreLen, 1500);
            const int p = r.PreLen;
            const std::int32_t* v = b.first(c.source);
            if (c.source <= ChA2) {
                const int hi = c.source == ChA1 ? a.Trig_Hi_A1 : a.Trig_Hi_A2;
                const int lo = c.source == ChA1 ? a.Trig_Lo_A1 : a.Trig_Lo_A2;
                // The sample at PreLen is the last before the crossing.
                if (c.falling) {
                    EXPECT_GT(v[p], lo);
                    EXPECT_LE(v[p + 1], lo);
                } else {
                    EXPECT_LT(v[p], hi);
                    EXPECT_GE(v[p + 1], hi);
                }
                // The crossing lies within the position after PreLen.
                EXPECT_GE(r.TrigFine10, 0);
                EXPECT_LE(r.TrigFine10, 10);
            } else {
                EXPECT_EQ(v[p], c.falling ? 1 : 0);
                EXPECT_EQ(v[p + 1], c.falling ? 0 : 1);
                EXPECT_GE(r.TrigFine10, 5);
                EXPECT_LE(r.TrigFine10, 15);
            }
            rotations.push_back(b.StatusU16(0x2A));
        }
        // The frames came from different places in the circular memory.
        std::sort(rotations.begin(), rotations.end());
        EXPECT_NE(rotations.front(), rotations.back());
    }
}

// The comparators see every input, whichever channels are transferred: a
// trigger on a channel left out of the frame fires where it fires with every
// channel on, and the channels that are sent carry the same samples.
TEST(FrameBuilderTest, TriggerSourceNeedNotBeTransferred)
{
    struct Case {
        const char* name;
        int source;
        bool channels[4];  // A1, A2, D1, D2 acquired
    };
    const Case cases[] = {
        {"A1, with A2 and D1 (pair mode)", ChA1, {false, true, true, false}},
        {"A1, with D1 and D2", ChA1, {false, false, true, true}},
        {"A2, with A1 and D2 (pair mode)", ChA2, {true, false, false, true}},
        {"D1, with A1 and A2", ChD1, {true, true, false, false}},
        {"D2, with A2 and D1 (pair mode)", ChD2, {false, true, true, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto setUp = [&](Bench& b, bool all) {
            ScopeSettings& s = b.settings();
            s.Trig_On = true;
            s.Sel(Group::TrigSource) = c.source;
            s.Pre = 3;
            s.Lev_A1 = 148;  // the 2 V peak-to-peak sine on zero 128
            s.Lev_A2 = 90;   // the square, codes 60..124
            s.CH_A1 = all || c.channels[0];
            s.CH_A2 = all || c.channels[1];
            s.CH_D1 = all || c.channels[2];
            s.CH_D2 = all || c.channels[3];
        };
        Bench every, some;
        setUp(every, true);
        setUp(some, false);
        for (int frame = 0; frame < 2; ++frame) {
            std::uint64_t everyTick = 777 + 123457u * frame, someTick = everyTick;
            ASSERT_TRUE(every.Acquire(everyTick));
            ASSERT_TRUE(some.Acquire(someTick));
            EXPECT_EQ(someTick, everyTick);
            const FrameRecord& r = some.rec();
            EXPECT_EQ(r.TrigSource, c.source + 1);
            EXPECT_EQ(r.PreLen, every.rec().PreLen);
            EXPECT_EQ(r.TrigFine10, every.rec().TrigFine10);
            ASSERT_EQ(r.ValidLen, every.rec().ValidLen);
            for (int ch = 0; ch < 4; ++ch) {
                if (!c.channels[ch]) continue;
                for (int i = 0; i < r.ValidLen; ++i) ASSERT_EQ(some.first(ch)[i], every.first(ch)[i]) << ch << " " << i;
            }
        }
    }
}

TEST(FrameBuilderTest, MissingTriggerWaitsUnlessAuto)
{
    Bench b;
    ScopeSettings& s = b.settings();
    s.Trig_On = true;
    s.Lev_A1 = 250;  // above the 2 V peak-to-peak sine
    std::uint64_t tick = 0;
    EXPECT_FALSE(b.Acquire(tick));
    EXPECT_GE(tick, 10u * 5000u * 200u);  // the search window has passed

    s.Auto = true;
    const std::uint64_t before = tick;
    ASSERT_TRUE(b.Acquire(tick));
    EXPECT_GT(tick, before);
    EXPECT_EQ(b.rec().TrigSource, 0);  // trigger fields not filled
    EXPECT_EQ(b.rec().ValidLen, 5000);
}

// Pulse-width trigger on the generator's pulses on A1 (100 us period, high
// for 30 us: +-1 V at 0.5 V/div on zero 128, codes 64..192) and on the D2
// clock (10 kHz, high for 50 us). A positive pulse (Edge up) fires at its
// falling end, a negative one at its rising end; the frame reports the width.
TEST(FrameBuilderTest, PulseWidthTriggerQualifiesByWidthAndPolarity)
{
    struct Case {
        const char* name;
        int source;
        bool falling;    // Edge down: negative pulse
        int tMode;       // 1 inside, 2 outside
        int tmin, tmax;  // in 100 ns steps (Tmult 10)
        int width;       // ticks of the pulse that fires; 0: no frame
    };
    const Case cases[] = {
        {"positive 30 us inside 25..35", ChA1, false, 1, 250, 350, 3000},
        {"positive 30 us not inside 40..60", ChA1, false, 1, 400, 600, 0},
        {"positive 30 us outside 40..60", ChA1, false, 2, 400, 600, 3000},
        {"positive 30 us not outside 25..35", ChA1, false, 2, 250, 350, 0},
        {"negative 70 us inside 65..75", ChA1, true, 1, 650, 750, 7000},
        {"negative pulses are not 30 us", ChA1, true, 1, 250, 350, 0},
        {"digital positive 50 us inside 45..55", ChD2, false, 1, 450, 550, 5000},
        {"digital negative 50 us outside 10..40", ChD2, true, 2, 100, 400, 5000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        b.pulsePeriod = 10000;
        b.pulseHigh = 3000;
        b.Timing("01mS", Smpl5000, 10);  // D = 20 ticks: pulses are 150 and 350 positions
        ScopeSettings& s = b.settings();
        s.Trig_On = true;
        s.Sel(Group::TrigSource) = c.source;
        s.Edge = c.falling;
        s.Pre = 5;
        s.Lev_A1 = 128;
        s.Hyst = 2;
        s.TPLUS = true;
        s.Mode = 1;
        s.T_Mode = c.tMode;
        s.Tmult = 10;
        s.Tmin = c.tmin;
        s.Tmax = c.tmax;

        std::uint64_t tick = 5555;
        if (c.width == 0) {
            EXPECT_FALSE(b.Acquire(tick));
            s.Auto = true;  // free-running instead, without a measured width
            ASSERT_TRUE(b.Acquire(tick));
            EXPECT_EQ(b.rec().TrigSource, 0);
            EXPECT_EQ(b.rec().TrigTimeLimit, 0);
            continue;
        }
        for (int frame = 0; frame < 2; ++frame) {
            ASSERT_TRUE(b.Acquire(tick));
            const FrameRecord& r = b.rec();
            EXPECT_EQ(r.TrigSource, c.source + 1);
            EXPECT_EQ(r.AdvTrigKind, 1);
            EXPECT_NEAR(r.TrigTimeLimit, c.width, 2);

            // PreLen is the last position of the pulse, the next one is past
            // its end edge, and the pulse fills the positions before.
            const int p = r.PreLen;
            const std::int32_t* v = b.first(c.source);
            auto atPulseLevel = [&](std::int32_t x) {
                if (c.source >= ChD1) return x == (c.falling ? 0 : 1);
                return c.falling ? x <= b.acq().Trig_Lo_A1 : x >= b.acq().Trig_Hi_A1;
            };
            const int positions = c.width / r.Divider;
            EXPECT_FALSE(atPulseLevel(v[p + 1]));
            for (int k = 0; k < positions - 1; ++k) ASSERT_TRUE(atPulseLevel(v[p - k])) << k;
            EXPECT_FALSE(atPulseLevel(v[p - positions - 1]));
        }
    }
}

// The pulse-width trigger on the A2 square (1 kHz: 500 us pulses) with the
// 1 ms range: the frame carries the width the screen's flag shows.
TEST(FrameBuilderTest, PulseWidthTriggerOnTheSquareWave)
{
    Bench b;  // 1 ms/div
    ScopeSettings& s = b.settings();
    s.Trig_On = true;
    s.Sel(Group::TrigSource) = ChA2;
    s.Lev_A2 = 90;
    s.Hyst = 2;
    s.TPLUS = true;
    s.Mode = 1;
    s.T_Mode = 1;
    s.Tmult = 100;
    s.Tmin = 400;
    s.Tmax = 600;
    std::uint64_t tick = 0;
    ASSERT_TRUE(b.Acquire(tick));
    EXPECT_EQ(b.rec().TrigSource, 2);
    EXPECT_EQ(b.rec().AdvTrigKind, 1);
    EXPECT_NEAR(b.rec().TrigTimeLimit, 50000, 2);

    // Without the T+ conditions the same settings are an edge trigger, and
    // the word echoes T_Lo again.
    s.TPLUS = false;
    s.Mode = 1;
    ASSERT_TRUE(b.Acquire(tick));
    EXPECT_EQ(b.rec().TrigTimeLimit, static_cast<std::int32_t>(b.acq().T_Lo));
}

// The generator sweeps from 10 kHz to 20 kHz. Its sweep restarts at the
// trigger position, wherever the frame falls: the sine leaves 0 V rising
// there with a 100 us period (50 samples of 2 us) and ends the frame with a
// 50 us one, and every frame shows the same post-trigger part.
TEST(FrameBuilderTest, SweepStartsAtTheTriggerPosition)
{
    Bench b;  // A1: 2 V peak-to-peak at 0.5 V/div on zero 128, codes 64..192
    b.genHz = 10000;
    b.sweepStopHz = 20000;
    ScopeSettings& s = b.settings();
    s.Trig_On = true;
    s.Sel(Group::TrigSource) = ChD2;  // the 10 kHz clock, unrelated to the sweep
    s.Pre = 3;
    std::vector<std::int32_t> earlier;
    for (std::uint64_t tick : {std::uint64_t{777}, std::uint64_t{123'456'789}}) {
        SCOPED_TRACE(tick);
        ASSERT_TRUE(b.Acquire(tick));
        const FrameRecord& r = b.rec();
        ASSERT_EQ(r.PreLen, 1500);
        ASSERT_EQ(r.ValidLen, 5000);
        const int p = r.PreLen;
        const std::int32_t* v = b.first(ChanA1);
        EXPECT_NEAR(v[p], 128, 2);
        EXPECT_GT(v[p + 3], 140);

        const std::vector<double> up = RisingTimes(v, p, r.ValidLen, 118, 128);
        ASSERT_GT(up.size(), 100u);
        EXPECT_NEAR(up[0] - p, 50, 1);  // the first period after the trigger position
        EXPECT_NEAR(up[up.size() - 1] - up[up.size() - 2], 25, 0.5);
        EXPECT_GT(up.back(), r.ValidLen - 26);

        const std::vector<std::int32_t> post(v + p, v + r.ValidLen);
        if (!earlier.empty()) {
            for (std::size_t i = 0; i < post.size(); ++i) ASSERT_NEAR(post[i], earlier[i], 3) << i;
        }
        earlier = post;
    }
}

// Decodes 8N1 characters from a logic buffer, starting at the first falling
// edge after at least `idleBits` of idle line.
std::string DecodeSerial(const std::int32_t* v, int n, double samplesPerBit, int idleBits)
{
    int i = 0, run = 0;
    while (i < n && !(run >= idleBits * samplesPerBit && v[i] == 0)) {
        run = v[i] == 1 ? run + 1 : 0;
        ++i;
    }
    std::string text;
    while (i < n) {
        const double start = i;
        if (start + 10 * samplesPerBit >= n) break;
        int ch = 0;
        for (int bit = 0; bit < 8; ++bit) ch |= v[static_cast<int>(start + (1.5 + bit) * samplesPerBit)] << bit;
        if (v[static_cast<int>(start + 9.5 * samplesPerBit)] != 1) break;  // stop bit
        text += static_cast<char>(ch);
        i = static_cast<int>(start + 9.5 * samplesPerBit);
        while (i < n && v[i] == 1) ++i;  // next start bit
    }
    return text;
}

TEST(FrameBuilderTest, LogicInputsCarryTheSerialTextAndTheClock)
{
    Bench b;
    b.Timing("5mS", Smpl10000, 10);  // 5 us per sample, 50 ms per frame: two text lines
    std::uint64_t tick = 4'000'000;
    ASSERT_TRUE(b.Acquire(tick));
    const FrameRecord& r = b.rec();
    ASSERT_EQ(r.Divider, 500);

    const double samplesPerBit = 1e8 / 9600 / 500;
    const std::string text = DecodeSerial(b.first(ChanD1), r.ValidLen, samplesPerBit, 12);
    EXPECT_EQ(text.substr(0, 22), "KR40 demo 0123456789\r\n");

    // 10 kHz is 20 samples per period, exactly.
    const std::vector<int> up = RisingCrossings(b.first(ChanD2), r.ValidLen, 0, 1);
    ASSERT_GT(up.size(), 100u);
    for (std::size_t k = 1; k < up.size(); ++k) ASSERT_EQ(up[k] - up[k - 1], 20) << k;
}

TEST(FrameBuilderTest, PairModeCarriesOneAnalogAndOneLogicChannel)
{
    Bench b;
    ScopeSettings& s = b.settings();
    s.CH_A1 = false;
    s.CH_D2 = false;
    b.Timing("1mS", SmplMax, 10);  // 20000 samples in pair mode
    std::uint64_t tick = 0;
    ASSERT_TRUE(b.Acquire(tick));
    ASSERT_TRUE(b.acq().Pair_Mode);
    const FrameRecord& r = b.rec();
    ASSERT_EQ(r.FrameLen, 20000);
    EXPECT_EQ(b.out.got.type, 0x8F);
    int low = 0, high = 0;
    for (int i = 0; i < r.FrameLen; ++i) {
        ASSERT_EQ(b.first(ChanA1)[i], MissingSample) << i;
        ASSERT_EQ(b.first(ChanD2)[i], MissingSample) << i;
        ASSERT_NE(b.first(ChanD1)[i], MissingSample) << i;
        const std::int32_t a2 = b.first(ChanA2)[i];
        // The 0..2 V square at 1 V/div on zero 60.
        if (std::abs(a2 - 60) <= 1) ++low;
        if (std::abs(a2 - 124) <= 1) ++high;
    }
    EXPECT_GT(low, 9000);
    EXPECT_GT(high, 9000);
}

TEST(FrameBuilderTest, PeakDetectSendsMinimumAndMaximumPerPosition)
{
    Bench b;
    b.settings().SmplPeakDet = true;
    std::uint64_t tick = 123;  // the square's edges fall inside positions, not on their boundaries
    ASSERT_TRUE(b.Acquire(tick));
    const FrameRecord& r = b.rec();
    ASSERT_EQ(r.PairFlag, 1);
    ASSERT_EQ(r.FrameLen, b.acq().Smpl_N / 2);
    EXPECT_EQ(tick, 123u + static_cast<std::uint64_t>(r.FrameLen) * r.Divider);
    for (int ch = 0; ch < 4; ++ch) {
        SCOPED_TRACE(ch);
        int spread = 0;
        for (int i = 0; i < r.ValidLen; ++i) {
            ASSERT_LE(b.first(ch)[i], b.second(ch)[i]) << i;
            spread += b.second(ch)[i] > b.first(ch)[i];
        }
        EXPECT_GT(spread, 0);  // edges and slopes inside a position show up as both values
    }
    // The envelope of the 2 V peak-to-peak sine: 128 codes.
    EXPECT_NEAR(r.PeakToPeakA1, 128, 128 * 0.05);
}

TEST(FrameBuilderTest, RollModeFillsTheRingThenWraps)
{
    Bench b;
    b.Timing("100mS", Smpl5000, 10);  // roll with the trigger off; 200 us per sample
    const std::uint64_t start = 1000;
    const std::uint64_t D = 20000;

    struct Step {
        std::uint64_t positions;  // since the start
        int validLen, ringEnd;
    };
    const Step steps[] = {{0, 0, 0}, {1500, 1500, 1500}, {4999, 4999, 4999}, {5000, 5000, 5000}, {8500, 5000, 3500}};
    for (const Step& st : steps) {
        SCOPED_TRACE(st.positions);
        std::uint64_t tick = start + st.positions * D + D / 2;
        ASSERT_TRUE(b.Acquire(tick, start));
        EXPECT_EQ(tick, start + st.positions * D + D / 2);  // roll leaves the clock to the caller
        EXPECT_EQ(b.rec().RollFlag, 1);
        EXPECT_EQ(b.rec().FrameLen, 5000);
        EXPECT_EQ(b.rec().ValidLen, st.validLen);
        EXPECT_EQ(b.rec().RingEnd, st.ringEnd);
    }

    // A sample keeps its ring place until it is overwritten a lap later.
    std::vector<std::int32_t> earlier(b.first(ChanA2), b.first(ChanA2) + 5000);
    std::uint64_t tick = start + 8750 * D;
    ASSERT_TRUE(b.Acquire(tick, start));
    EXPECT_EQ(b.rec().RingEnd, 3750);
    for (int i = 0; i < 5000; ++i) {
        if (i >= 3500 && i < 3750) continue;
        ASSERT_EQ(b.first(ChanA2)[i], earlier[i]) << i;
    }
}

TEST(FrameBuilderTest, AcCouplingCentresOnTheZeroLevel)
{
    // A2: the 0..2 V square at 1 V/div on zero 60.
    for (bool ac : {false, true}) {
        SCOPED_TRACE(ac);
        Bench b;
        b.settings().A2_ACDC = ac;
        std::uint64_t tick = 0;
        ASSERT_TRUE(b.Acquire(tick));
        EXPECT_NEAR(b.MeanCode(ChanA2), ac ? 60 : 92, 1.0);
    }
}

TEST(FrameBuilderTest, ZeroVoltsLandsOnTheHostsZeroLevel)
{
    struct Case {
        int zero;
        const char* volts;
    };
    for (const Case c : {Case{100, "1V"}, Case{191, "50mV"}, Case{30, "2V"}, Case{250, "02V"}}) {
        SCOPED_TRACE(std::to_string(c.zero) + " " + c.volts);
        Bench b(SignalOptions{.a1 = Source::Ground});
        b.settings().A1_Zero = c.zero;
        b.settings().Sel(Group::VoltsA1) = Volts(c.volts);
        std::uint64_t tick = 0;
        ASSERT_TRUE(b.Acquire(tick));
        EXPECT_NEAR(b.MeanCode(ChanA1), c.zero, 1.0);
    }
}

// Every channel mask in both modes: the payload is as long as the host's
// receiver expects, and the decoder finds exactly the channels it was sent.
TEST(FrameBuilderTest, PayloadLengthMatchesTheReceiverForEveryMask)
{
    FrameBuilder builder;
    Decoded d;
    AcqConfig acq;
    acq.Smpl_N = 400;
    acq.Pre_N = 40;
    acq.Post_N = 360;
    for (int peak = 0; peak < 2; ++peak) {
        for (int mode = 0; mode < 8; ++mode) {  // pair mode, A2 of the pair, D2 of the pair
            for (int mask = 0; mask < 16; ++mask) {
                SCOPED_TRACE("peak " + std::to_string(peak) + " mode " + std::to_string(mode) + " mask " +
                             std::to_string(mask));
                SimRegisters regs;
                regs.page[0x01] = static_cast<std::uint8_t>(peak);
                regs.page[0x02] = static_cast<std::uint8_t>(mode);
                regs.page[0x04] = 9;  // D = 10
                regs.page[0x08] = 40;
                regs.page[0x0A] = 360 & 0xFF;
                regs.page[0x0B] = 360 >> 8;
                regs.page[0x1C] = static_cast<std::uint8_t>(0x80 | mask);
                std::uint64_t tick = 0;
                const std::vector<std::uint8_t> wire = builder.Acquire(regs, tick, 0);
                DecodeContext ctx;
                ctx.acq = &acq;
                Receive(wire, ctx, mode & 1, d);
                ASSERT_EQ(d.result, DecodeResult::Ok);

                unsigned sent = static_cast<unsigned>(mask);
                if (mode & 1) {
                    sent &= (mode & 2) ? ~1u : ~2u;
                    sent &= (mode & 4) ? ~4u : ~8u;
                }
                for (int ch = 0; ch < 4; ++ch) {
                    const bool has = d.frame->buf.First(ch)[0] != MissingSample;
                    EXPECT_EQ(has, ((sent >> ch) & 1u) != 0) << "channel " << ch;
                }
            }
        }
    }
}

}  // namespace
}  // namespace kr40::sim
