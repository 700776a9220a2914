// The generator panel's words through the real acquisition path: composed
// from the settings, sent in the settings packet, played by the simulated
// instrument on A1 and measured on the frames and by the frequency meter.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "acquisition/scope_tables.h"
#include "analysis/freq_meter.h"
#include "analysis/readouts.h"
#include "support/sim_session.h"

namespace kr40 {
namespace {

using test::SimSession;

// Times (in samples) where the A1 trace rises through its zero level, with
// linear interpolation between samples. A crossing counts only after the
// trace was 3 steps below the zero, so the noise does not add crossings.
std::vector<double> RisingCrossings(const FrameSet& f, int zero)
{
    std::vector<double> t;
    bool armed = false;
    for (int i = 1; i < f.rec.ValidLen; ++i) {
        const int a = f.buf.A1_First[i - 1] - zero, b = f.buf.A1_First[i] - zero;
        if (b < -3) armed = true;
        if (armed && a < 0 && b >= 0) {
            t.push_back(i - 1 + static_cast<double>(-a) / (b - a));
            armed = false;
        }
    }
    return t;
}

double SampleSeconds(const FrameSet& f)
{
    return f.rec.Divider * 10e-9;
}

// The 2 kHz, 2 V generator on A1 reads 2 kHz on the frequency meter and on
// the trace, and about 2 V peak to peak in the measurements.
TEST(GeneratorEndToEnd, ContinuousWaveReadsItsFrequencyAndAmplitude)
{
    SimSession sim;
    ASSERT_EQ(sim.Open(), FT_OK);
    ScopeSettings& s = sim.st.settings;
    s.Run_Down = true;
    s.GenOn_Down = true;
    s.Russian = false;
    s.Sel(Group::GenRange) = Gen10K_1S;
    s.F_fast = 200, s.F_slow = 0;  // 2000.0 Hz
    s.Ampl = 1047;                 // half of full scale: 2 V
    s.Sel(Group::TimeBase) = TimeBaseIndex("05mS");
    s.Sel(Group::VoltsA1) = Volts1V;
    s.A1_Zero = 128;
    s.Measure = true;
    s.Sel(Group::FmMode) = FmFreq;
    s.Sel(Group::FmInput) = FmA1;
    s.Time = static_cast<int>(std::lround(sim.Instrument().Options().timeBasePpm / 0.2));
    ASSERT_TRUE(sim.Apply());
    EXPECT_EQ(sim.st.genView.labelF, "2.0000 KHz");
    EXPECT_EQ(sim.st.genView.labelV, "2.000 V");
    ASSERT_TRUE(sim.WaitFrames(2));
    const FrameSet frame = sim.LastFrame();

    const std::vector<double> up = RisingCrossings(frame, 128);
    // Ten periods in the 5 ms frame: nine or ten rising crossings, as the
    // frame's first sample falls.
    ASSERT_GE(up.size(), 9u) << "ValidLen " << frame.rec.ValidLen << " Divider " << frame.rec.Divider;
    const double period = (up.back() - up.front()) / static_cast<double>(up.size() - 1) * SampleSeconds(frame);
    EXPECT_NEAR(1 / period, 2000, 2);

    ScreenState d;
    d.g = ComputeGeometry(540, 400);
    FrameSet none;
    const DisplayInputs in{s, sim.st.acq, sim.st, frame, none, false};
    const std::vector<LabelText> m = Measurements(in, d);
    const auto vpp =
        std::find_if(m.begin(), m.end(), [](const LabelText& t) { return t.text.rfind("Vpp = ", 0) == 0; });
    ASSERT_NE(vpp, m.end());
    // 2 V peak to peak at 32 steps per volt, give or take the noise and a step.
    EXPECT_NEAR(std::stod(vpp->text.substr(6)), 2.0, 0.1) << vpp->text;

    ASSERT_TRUE(test::Eventually([&] {
        const FreqMeterReading r = sim.st.link.freqMeter.Get();
        return r.status == 0x31 && r.timeCal == s.Time;
    }));
    const std::optional<double> f = MeterFrequency(MeterValuesOf(sim.st.link.freqMeter.Get()));
    ASSERT_TRUE(f.has_value());
    EXPECT_NEAR(*f, 2000, 0.01);
    const std::string label = FreqMeterLabels(s, MeterValuesOf(sim.st.link.freqMeter.Get()))[0].text;
    ASSERT_EQ(label.rfind("F(A1) = ", 0), 0u) << label;
    EXPECT_NEAR(std::stod(label.substr(8)), 2.0, 1e-5) << label;
    EXPECT_NE(label.find(" KHz"), std::string::npos) << label;
}

// A sweep starts at the trigger position at its start frequency and reaches
// the stop frequency at the frame's end; the frame carries the sweep for the
// read-outs.
TEST(GeneratorEndToEnd, SweepRisesOverThePostTriggerPart)
{
    SimSession sim;
    ASSERT_EQ(sim.Open(), FT_OK);
    ScopeSettings& s = sim.st.settings;
    s.Run_Down = true;
    s.GenOn_Down = true;
    s.Sel(Group::GenRange) = Gen100K_100mS;
    s.Sel(Group::GenMode) = GenSweepMode;
    s.F_fast = 10, s.F_slow = 100;  // 1 kHz ... 10 kHz
    s.Ampl = 1047;
    s.Sel(Group::TimeBase) = TimeBaseIndex("1mS");
    s.Sel(Group::VoltsA1) = Volts1V;
    s.A1_Zero = 128;
    ASSERT_TRUE(sim.Apply());
    ASSERT_TRUE(sim.WaitFrames(2));
    const FrameSet frame = sim.LastFrame();
    EXPECT_EQ(frame.rec.F_Val, 10000u);
    EXPECT_EQ(frame.rec.F_Span, 90000u);

    // The sweep restarts rising through 0 V at the trigger position; over the
    // post-trigger part it runs through (1 + 10) / 2 kHz × 9 ms = 49.5 cycles;
    // its last period is that of 10 kHz.
    const std::vector<double> up = RisingCrossings(frame, 128);
    const double pre = frame.rec.PreLen, end = frame.rec.ValidLen, dt = SampleSeconds(frame);
    const int p = frame.rec.PreLen;
    EXPECT_NEAR(frame.buf.A1_First[p], 128, 3);
    EXPECT_GT(frame.buf.A1_First[p + 50], 128 + 10);  // rising into its first, slow cycle
    const auto first = std::lower_bound(up.begin(), up.end(), pre);
    EXPECT_NEAR(static_cast<double>(up.end() - first), 49.5, 1);
    ASSERT_GE(up.size(), 2u);
    EXPECT_NEAR(1 / ((up.back() - up[up.size() - 2]) * dt), 10000, 500);
    // The marker read-out's sweep frequency agrees at the end.
    EXPECT_NEAR(SweepFrequency(frame.rec, (end - pre) * frame.rec.Divider * 10.0), 10000, 1);
}

}  // namespace
}  // namespace kr40
