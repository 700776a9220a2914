// The frequency meter through the real acquisition path: the menu choice is
// composed into FM_Src, sent in the settings packet, measured by the
// simulated instrument and read back from its service packets.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>

#include "analysis/freq_meter.h"
#include "support/sim_session.h"

namespace kr40 {
namespace {

using test::SimSession;

// The first reading with this status taken after the settings in force were
// acknowledged.
FreqMeterReading NextReading(SimSession& sim, std::uint8_t status)
{
    const std::uint32_t after = sim.st.link.freqMeter.Get().serial;
    FreqMeterReading r;
    EXPECT_TRUE(test::Eventually([&] {
        r = sim.st.link.freqMeter.Get();
        return r.serial > after && r.status == status;
    })) << "last status "
        << int(r.status);
    return r;
}

double Frequency(const FreqMeterReading& r)
{
    const std::optional<double> f = MeterFrequency(MeterValuesOf(r));
    EXPECT_TRUE(f.has_value());
    return f.value_or(0);
}

TEST(FreqMeterEndToEndTest, FrequencyPeriodAndCounter)
{
    SimSession sim;
    ASSERT_EQ(sim.Open(), FT_OK);
    ScopeSettings& s = sim.st.settings;
    s.Run_Down = true;  // readings are taken while the acquisition runs
    const double ppm = sim.Instrument().Options().timeBasePpm;
    constexpr double kResolution = 1.2e-6;  // of the 10 ms gate

    // A1, the generator off: the 1 kHz stand-in sine, read low by the
    // instrument's time-base error.
    s.Sel(Group::FmMode) = FmFreq;
    s.Sel(Group::FmInput) = FmA1;
    ASSERT_TRUE(sim.Apply());
    EXPECT_EQ(sim.st.acq.FM_Src, 1);
    FreqMeterReading r = NextReading(sim, 0x31);
    EXPECT_EQ(r.timeCal, 0);
    EXPECT_NEAR(Frequency(r) / 1000, 1 - ppm * 1e-6, kResolution);
    EXPECT_EQ(FreqMeterLabels(s, MeterValuesOf(r))[0].text.rfind("F(A1) = ", 0), 0u);

    // The calibration travels with the reading and trims the error out.
    s.Time = static_cast<int>(std::lround(ppm / 0.2));
    ASSERT_TRUE(sim.Apply());
    ASSERT_TRUE(test::Eventually([&] { return sim.st.link.freqMeter.Get().timeCal == s.Time; }));
    r = NextReading(sim, 0x31);
    EXPECT_EQ(r.timeCal, s.Time);
    EXPECT_NEAR(Frequency(r) / 1000, 1, kResolution);

    // D2: the 10 kHz clock.
    s.Sel(Group::FmInput) = FmD2;
    ASSERT_TRUE(sim.Apply());
    EXPECT_NEAR(Frequency(NextReading(sim, 0x34)) / 10000, 1, kResolution);

    // D2 in period mode: 100 us, 10000 ticks give or take the last one.
    s.Sel(Group::FmMode) = FmPeriod;
    ASSERT_TRUE(sim.Apply());
    EXPECT_EQ(sim.st.acq.FM_Src, 4 | 16);
    r = NextReading(sim, 0x24);
    EXPECT_NEAR(r.time, 10000, 1);
    EXPECT_EQ(FreqMeterLabels(s, MeterValuesOf(r))[0].text.rfind("T(D2) = 100.0", 0), 0u);

    // The counter runs on; Counter Reset starts it again from zero.
    ASSERT_TRUE(test::Eventually([&] { return sim.st.link.freqMeter.Get().count >= 10000; }));
    const std::uint32_t before = sim.st.link.freqMeter.Get().count;
    sim.st.link.FmResetRequest = true;
    ASSERT_TRUE(sim.Apply());
    ASSERT_TRUE(test::Eventually([&] { return sim.Instrument().CounterResets() == 1; }));
    ASSERT_TRUE(test::Eventually([&] { return sim.st.link.freqMeter.Get().count < before; }));
}

}  // namespace
}  // namespace kr40
