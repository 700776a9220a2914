// The zero and TDC calibrations on the simulated instrument: the program's
// real acquisition path, the runs fed frame by frame as the dialogs feed
// them, and an instrument whose truth differs from the program's defaults.

#include <gtest/gtest.h>

#include <cmath>

#include "acquisition/scope_tables.h"
#include "instruments/tdc_calibration.h"
#include "instruments/zero_calibration.h"
#include "simulator/instrument_truth.h"
#include "state/calibration_commands.h"
#include "support/sim_session.h"

namespace kr40 {
namespace {

using test::Eventually;
using test::SimSession;

constexpr auto kRunLimit = std::chrono::seconds(90);

// A1 {3391, 690, -37}, A2 {3318, 751, 22}: 0 V at 50 mV/div lands more than a
// code away from where the default record puts it.
sim::SimProviderOptions OpenInputs()
{
    sim::SimProviderOptions o;
    sim::WireOpenInputs(o.instrument);
    o.instrument.truth.zero = {{{3391, 690, -37}, {3318, 751, 22}}};
    return o;
}

void Prepare(SimSession& sim)
{
    ScopeSettings& s = sim.st.settings;
    s.Russian = false;
    s.Run_Down = true;
    s.Sel(Group::Fps) = static_cast<int>(FrameRateChoices.size()) - 1;  // no limit
    ASSERT_TRUE(sim.Apply());
}

// Starts a run as the dialog's Start button does and feeds it frames until it
// ends, or until `stop` says so.
template <class Run>
bool Drive(SimSession& sim, Run& run, const std::function<bool()>& stop = {})
{
    {
        std::lock_guard lock(sim.ui);
        if (run.Start(sim.st.settings, sim.st.acq) == CalStep::Publish) PublishCalConfig(sim.st);
    }
    return Eventually(
        [&] {
            std::lock_guard lock(sim.ui);
            PollCalRun(sim.st, sim.live, run);
            return !run.Running() || (stop && stop());
        },
        kRunLimit);
}

// The mean code of each analog channel over the next frames of the settings
// in force.
std::array<double, 2> MeanCodes(SimSession& sim)
{
    EXPECT_TRUE(sim.Apply());
    EXPECT_TRUE(sim.WaitFrames(3));
    const FrameSet f = sim.LastFrame();
    EXPECT_GT(f.rec.ValidLen, 0);
    return {static_cast<double>(f.rec.SumA1) / f.rec.ValidLen, static_cast<double>(f.rec.SumA2) / f.rec.ValidLen};
}

TEST(CalibrationEndToEnd, ZeroCalibrationFindsTheInstrumentsRecordAndPutsZeroOnItsLevel)
{
    SimSession sim(OpenInputs());
    ASSERT_EQ(sim.Open(), FT_OK);
    Prepare(sim);
    ScopeSettings& s = sim.st.settings;
    s.A1_Zero = 100;
    s.A2_Zero = 160;

    // Before: the default record misses 0 V at 50 mV/div.
    s.Sel(Group::VoltsA1) = s.Sel(Group::VoltsA2) = VoltsCount - 1;
    const std::array<double, 2> before = MeanCodes(sim);
    EXPECT_GT(std::abs(before[0] - 100), 1.5);

    ZeroCalibration run;
    ZeroCalMenuSession session(sim.st);
    run.Show(s, false);
    ASSERT_TRUE(Drive(sim, run));
    ASSERT_TRUE(run.Succeeded()) << run.View().status;
    EXPECT_EQ(run.View().status, "Calibration OK.");
    EXPECT_EQ(run.View().progress, 72);
    {
        std::lock_guard lock(sim.ui);
        EXPECT_TRUE(session.Finish(true));
    }
    // The record within 2 units (1/8 of a code) of the truth.
    const auto& truth = sim.Instrument().Options().truth.zero;
    EXPECT_NEAR(s.Z_A1P1, truth[0].p1, 2);
    EXPECT_NEAR(s.Z_A1P2, truth[0].p2, 2);
    EXPECT_NEAR(s.Z_A1SH, truth[0].sh, 2);
    EXPECT_NEAR(s.Z_A2P1, truth[1].p1, 2);
    EXPECT_NEAR(s.Z_A2P2, truth[1].p2, 2);
    EXPECT_NEAR(s.Z_A2SH, truth[1].sh, 2);
    EXPECT_EQ(s.A1_Zero, 100);
    EXPECT_EQ(s.A2_Zero, 160);

    // Afterwards 0 V lands on the zero level at every range.
    for (int v = 0; v < VoltsCount; ++v) {
        SCOPED_TRACE(VoltsPerDiv[static_cast<std::size_t>(v)].suffix);
        s.Sel(Group::VoltsA1) = s.Sel(Group::VoltsA2) = v;
        const std::array<double, 2> mean = MeanCodes(sim);
        EXPECT_NEAR(mean[0], 100, 0.5);
        EXPECT_NEAR(mean[1], 160, 0.5);
    }
}

TEST(CalibrationEndToEnd, CancelledZeroCalibrationChangesNothing)
{
    SimSession sim(OpenInputs());
    ASSERT_EQ(sim.Open(), FT_OK);
    Prepare(sim);
    ScopeSettings& s = sim.st.settings;
    const ScopeSettings saved = s;

    ZeroCalibration run;
    ZeroCalMenuSession session(sim.st);
    run.Show(s, false);
    ASSERT_TRUE(Drive(sim, run, [&] { return run.View().progress >= 30; }));
    ASSERT_TRUE(run.Running());
    {
        std::lock_guard lock(sim.ui);
        run.Cancel();
        EXPECT_FALSE(session.Finish(false));
    }
    EXPECT_FALSE(run.Running());
    EXPECT_FALSE(run.Succeeded());
    EXPECT_EQ(s.Z_A1P1, saved.Z_A1P1);
    EXPECT_EQ(s.Z_A1P2, saved.Z_A1P2);
    EXPECT_EQ(s.Z_A2SH, saved.Z_A2SH);
    EXPECT_EQ(s.A1_Zero, saved.A1_Zero);
    EXPECT_EQ(s.A2_Zero, saved.A2_Zero);
    EXPECT_EQ(s.CH_A1, saved.CH_A1);
    EXPECT_EQ(s.CH_A2, saved.CH_A2);
    // The window's configuration is back on the instrument.
    EXPECT_TRUE(Eventually([&] {
        const sim::SimRegisters r = sim.Instrument().Registers();
        return r.ZeroCalA1() == sim.st.acq.Zero_Cal_A1 && r.ChMask() == sim.st.acq.Ch_Mask;
    }));
}

sim::SimProviderOptions GeneratorOnDigitalInputs()
{
    sim::SimProviderOptions o;
    sim::WireGeneratorToDigital(o.instrument);
    return o;
}

TEST(CalibrationEndToEnd, TdcCalibrationFindsTheCountsAndThresholdsAndStoresThem)
{
    SimSession sim(GeneratorOnDigitalInputs());
    ASSERT_EQ(sim.Open(), FT_OK);
    Prepare(sim);
    ASSERT_TRUE(Eventually([&] { return sim.st.link.identity.Get().TdcFresh; }));
    const DeviceIdentity id = sim.st.link.identity.Get();
    ASSERT_GE(id.FirmVer, TdcThresholdFirmware);

    TdcCalibration run;
    TdcCalMenuSession session(sim.st);
    run.Show(sim.st.settings, id.FirmVer, id.TdcFresh, id.Tdc);
    EXPECT_EQ(run.View().result, TdcValuesText({20, 20, 20, 20}, false));
    ASSERT_TRUE(Drive(sim, run));
    ASSERT_TRUE(run.Succeeded()) << run.View().status;
    EXPECT_EQ(run.View().progress, 300);

    const sim::InstrumentTruth& truth = sim.Instrument().Options().truth;
    EXPECT_EQ(run.Candidates(), truth.tdcCounts);
    // The ramps start 1 V below 0 V, and the measurement counts from there:
    // falling ramp (falling thresholds), rising ramp (rising thresholds),
    // then both with the Schmitt trigger off (single thresholds).
    const std::array<double, 8> expected = {
        truth.thresholds[0].fall,   truth.thresholds[1].fall,   truth.thresholds[0].rise,   truth.thresholds[1].rise,
        truth.thresholds[0].single, truth.thresholds[1].single, truth.thresholds[0].single, truth.thresholds[1].single,
    };
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(run.Thresholds()[i] - 1.0, expected[i], 0.01) << "measurement " << i;

    // OK: the values go to the instrument with the next settings packet and
    // come back in its service packets.
    {
        std::lock_guard lock(sim.ui);
        session.Finish(true, run.Candidates());
    }
    ASSERT_TRUE(Eventually([&] {
        const DeviceIdentity now = sim.st.link.identity.Get();
        return now.TdcFresh && now.Tdc == truth.tdcCounts;
    }));
}

TEST(CalibrationEndToEnd, CancelledTdcCalibrationWritesNothing)
{
    SimSession sim(GeneratorOnDigitalInputs());
    ASSERT_EQ(sim.Open(), FT_OK);
    Prepare(sim);
    const bool d1 = sim.st.settings.CH_D1, d2 = sim.st.settings.CH_D2;

    TdcCalibration run;
    TdcCalMenuSession session(sim.st);
    run.Show(sim.st.settings, sim.st.link.identity.Get().FirmVer, false, {});
    ASSERT_TRUE(Drive(sim, run, [&] { return run.View().progress >= 120; }));
    {
        std::lock_guard lock(sim.ui);
        run.Cancel();
        session.Finish(false, run.Candidates());
    }
    EXPECT_FALSE(run.Running());
    EXPECT_FALSE(sim.st.link.TdcWriteRequest);
    EXPECT_EQ(sim.st.settings.CH_D1, d1);
    EXPECT_EQ(sim.st.settings.CH_D2, d2);
    EXPECT_TRUE(Eventually([&] { return sim.Instrument().Registers().AcqFlags() == sim.st.acq.Acq_Flags; }));
    // The instrument still reports the cells it had.
    ASSERT_TRUE(sim.WaitServicePeriods(3));
    EXPECT_EQ(sim.st.link.identity.Get().Tdc, (std::array<std::uint8_t, 4>{20, 20, 20, 20}));
}

}  // namespace
}  // namespace kr40
