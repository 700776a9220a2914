// The spectrum of a frame that came the whole way from the simulated
// instrument: its 1 kHz, 3 V peak-to-peak sine on A1.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "acquisition/scope_tables.h"
#include "analysis/spectrum.h"
#include "support/sim_session.h"

namespace kr40 {
namespace {

using test::SimSession;

TEST(SpectrumEndToEnd, SimulatedSineGivesItsPeakAtOneKilohertz)
{
    SimSession sim;
    ASSERT_EQ(sim.Open(), FT_OK);
    ScopeSettings& s = sim.st.settings;
    s.Sel(Group::TimeBase) = TimeBaseIndex("5mS");  // 50 ms per frame: 50 periods
    s.Sel(Group::VoltsA1) = Volts1V;
    s.A1_Zero = 128;
    s.Run_Down = true;
    s.FFT_View_A1 = true;
    s.FFT_Size = 6;  // Auto
    s.FFT_Ave_On = false;
    ASSERT_TRUE(sim.Apply());
    ASSERT_TRUE(sim.WaitFrames(2));
    const FrameSet frame = sim.LastFrame();
    ASSERT_GT(frame.rec.Divider, 0);
    ASSERT_GE(frame.rec.ValidLen, 1000);
    const double fs = 100e6 / frame.rec.Divider;

    // Flat top reads the level of a sine between bins; Hann and the
    // rectangular window within a few tenths of a dB.
    const struct {
        int window;
        double tolerance;
    } windows[] = {{WinFlatTop, 0.1}, {WinHann, 0.5}, {WinBlackmanHarris, 0.3}};
    auto sp = std::make_unique<Spectrum>();
    SpectrumRequests requests{};
    for (const auto& w : windows) {
        SCOPED_TRACE(w.window);
        s.FFT_Win = w.window;
        requests.fill(true);
        SpectrumPass(*sp, s, frame, {1e6, 1e6}, requests);
        const ChannelSpectrum& a1 = sp->ch[0];
        ASSERT_EQ(a1.status, FftComputed);
        ASSERT_TRUE(a1.peak.valid);
        const double binHz = fs / a1.Points();
        EXPECT_NEAR(a1.peak.position * fs / 2, 1000.0, binHz);
        // 1.5 V peak: 1.0607 V rms, 0.51 dBV.
        EXPECT_NEAR(a1.peak.levelDb, 20 * std::log10(1.5 / std::sqrt(2.0)), w.tolerance);
        EXPECT_EQ(a1.peak.topDb, 10);  // L = 9.03 dBV at 1 V/div
    }
}

}  // namespace
}  // namespace kr40
