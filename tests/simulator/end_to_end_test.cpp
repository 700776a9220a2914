// The real acquisition path (transport, device link, Scope_Thread, receiver,
// frame decoder) against the simulated instrument over an unthrottled link.

#include <gtest/gtest.h>

#include <cmath>

#include "core/rounding.h"
#include "support/sim_session.h"

namespace kr40 {
namespace {

using test::SimSession;

constexpr double kTwo48 = 281474976710656.0;
std::uint64_t PhaseInc(double tenthsOfHz)
{
    return static_cast<std::uint64_t>(tenthsOfHz * kTwo48 / 1e9 + 0.5);
}

// Run on the simulator: 0.5 ms/div, 5000 samples over 10 divisions (1 MHz),
// frames as fast as the instrument may send them.
void Scope(ScopeSettings& s)
{
    s.Sel(Group::TimeBase) = 14;  // 0,5 mS
    s.Sel(Group::Fps) = 4;        // no limit: 10 ms
    s.A1_Zero = 128;
    s.Run_Down = true;
}

TEST(EndToEndTest, GeneratorSineArrivesAsSetAndTriggersAtPreLen)
{
    SimSession sim;
    ASSERT_EQ(sim.Open(), FT_OK);
    ScopeSettings& s = sim.st.settings;
    Scope(s);
    s.GenOn_Down = true;
    s.Trig_On = true;
    s.Sel(Group::TrigSource) = ChA1;
    s.Lev_A1 = 128;  // 0 V
    s.Hyst = 1;
    s.Pre = 2;
    const double amplitude = 0.5;  // of the 4 V full scale: 2 V peak-to-peak
    ASSERT_TRUE(sim.Apply([&](AcqConfig& a) {
        a.Gen_Mode = 0;
        a.Gen_Shape = 0;                 // sine
        a.Gen_Word_A = PhaseInc(10000);  // 1 kHz in 0.1 Hz
        a.Gen_Ampl = static_cast<std::uint16_t>(RoundHalfAway(amplitude * 4000 + 1));
    }));
    ASSERT_TRUE(sim.WaitFrames(3));
    const FrameSet f = sim.LastFrame();
    const FrameRecord& r = f.rec;
    ASSERT_EQ(r.ValidLen, 5000);
    ASSERT_EQ(r.Divider, 100);  // 1 MHz

    // Period from the rising zero crossings (1000 samples per period).
    const std::int32_t* a1 = f.buf.A1_First.data();
    // (Armed below 120, so that noise at the crossing is not counted twice.)
    std::vector<double> crossings;
    bool armed = false;
    for (int i = 0; i < r.ValidLen; ++i) {
        if (a1[i] < 120) armed = true;
        if (armed && a1[i] >= 128) {
            crossings.push_back(i);
            armed = false;
        }
    }
    ASSERT_GE(crossings.size(), 4u);
    const double period = (crossings.back() - crossings.front()) / double(crossings.size() - 1);
    EXPECT_NEAR(period, 1000.0, 10.0);

    // 2 V peak-to-peak at 1 V/div is 64 codes.
    ASSERT_GT(r.PeakToPeakA1, 0);
    EXPECT_NEAR(r.PeakToPeakA1, 64.0, 64.0 * 0.05);

    // The trigger sits at PreLen: the level is crossed upwards right after it.
    ASSERT_EQ(r.PreLen, 2 * 500);
    EXPECT_LT(a1[r.PreLen], sim.st.acq.Trig_Hi_A1);
    EXPECT_GE(a1[r.PreLen + 1], sim.st.acq.Trig_Hi_A1);
    EXPECT_EQ(r.TrigSource, 1);
}

TEST(EndToEndTest, RollModeGrowsThenWraps)
{
    SimSession sim;
    ASSERT_EQ(sim.Open(), FT_OK);
    ScopeSettings& s = sim.st.settings;
    s.Sel(Group::TimeBase) = 7;  // 0,1 S: rolls while the trigger is off
    s.Sel(Group::SmplN) = Smpl2000;
    s.Run_Down = true;
    ASSERT_TRUE(sim.Apply());
    ASSERT_TRUE(sim.st.acq.Roll);
    ASSERT_TRUE(sim.WaitFrames(1));
    const int first = sim.LastFrame().rec.ValidLen;
    ASSERT_TRUE(test::Eventually([&] { return sim.LastFrame().rec.ValidLen > first; }));
    EXPECT_EQ(sim.LastFrame().rec.RollFlag, 1);
    // 2000 samples at 100 us: the ring is full after 0.2 s... at 0.1 s/div and
    // 10 divisions one frame spans 1 s.
    ASSERT_TRUE(test::Eventually([&] { return sim.LastFrame().rec.ValidLen == sim.LastFrame().rec.FrameLen; },
                                 std::chrono::seconds(5)));
}

TEST(EndToEndTest, PairModePeakDetectAndSingleShot)
{
    SimSession sim;
    ASSERT_EQ(sim.Open(), FT_OK);
    ScopeSettings& s = sim.st.settings;
    Scope(s);
    s.CH_A1 = false;  // A2 and D1 only: pair mode
    s.CH_D2 = false;
    s.SmplPeakDet = true;
    ASSERT_TRUE(sim.Apply());
    ASSERT_TRUE(sim.st.acq.Pair_Mode);
    ASSERT_TRUE(sim.WaitFrames(2));
    FrameSet f = sim.LastFrame();
    EXPECT_EQ(f.rec.PairFlag, 1);
    EXPECT_EQ(f.buf.A1_First[0], MissingSample);
    EXPECT_EQ(f.buf.D2_First[0], MissingSample);
    ASSERT_GT(f.rec.ValidLen, 0);
    for (int i = 0; i < f.rec.ValidLen; ++i) ASSERT_GE(f.buf.A2_Second[i], f.buf.A2_First[i]) << i;
    EXPECT_NE(f.buf.D1_First[0], MissingSample);

    // Single: one complete frame, then the acquisition stops by itself.
    s.Run_Down = false;
    s.Sngl_Down = true;
    const int before = sim.Frames();
    ASSERT_TRUE(sim.Apply());
    ASSERT_TRUE(test::Eventually([&] { return !sim.st.requests.Running.load(); }));
    ASSERT_TRUE(test::Eventually([&] { return (sim.Instrument().Registers().ChMask() & 0x80) == 0; }));
    const int after = sim.Frames();
    EXPECT_GE(after, before + 1);
    // Nothing more arrives: the instrument stays stopped for three service
    // periods and all it sent has been read and handed over.
    ASSERT_TRUE(sim.WaitServicePeriods(3));
    ASSERT_TRUE(sim.WaitLinkCaughtUp());
    EXPECT_EQ(sim.Frames(), after);
    EXPECT_EQ(sim.Instrument().Registers().ChMask() & 0x80, 0);
}

}  // namespace
}  // namespace kr40
