// The simulated instrument's device list and its faults, seen through the
// program's own transport and link code.

#include <gtest/gtest.h>

#include "device/supervision.h"
#include "support/sim_session.h"

namespace kr40 {
namespace {

using sim::Fault;
using sim::SimDevice;
using sim::SimProviderOptions;
using test::SimSession;

TEST(SimProviderTest, DeviceListsOpenAsTheRealOnes)
{
    struct Case {
        std::vector<SimDevice> devices;
        FT_STATUS status;
        std::size_t boxes;
    } cases[] = {
        {{{"Digital Oscilloscope KR40", 1, true}}, FT_OK, 0},
        {{{"Digital Oscilloscope", 1, false}}, FT_DEVICE_NOT_FOUND, 1},  // the older instrument
        {{{"USB Serial Cable", 7, false}, {"Digital Oscilloscope KR40", 8, true}}, FT_OK, 0},
        {{}, FT_DEVICE_NOT_FOUND, 0},
    };
    for (const Case& c : cases) {
        SimProviderOptions o;
        o.devices = c.devices;
        SimSession sim(o);
        EXPECT_EQ(sim.Open(), c.status);
        EXPECT_EQ(sim.prompts.messages.size(), c.boxes);
        if (c.status == FT_OK) {
            EXPECT_EQ(sim.st.transport.TransferMode, 2);  // CTS is set
        }
    }
}

TEST(SimProviderTest, ClosedDeviceNotifiesNobody)
{
    // The event belongs to the program's state, which may be gone after the
    // close; the instrument must not signal it any more.
    SimSession sim;
    ASSERT_EQ(sim.Open(), FT_OK);
    sim.thread.Stop();
    ASSERT_EQ(CloseScopeDevice(sim.st.transport), FT_OK);
    sim.st.RxEvent.Reset();
    // The instrument keeps queueing service packets; three of them pass.
    ASSERT_TRUE(sim.WaitServicePeriods(3));
    EXPECT_FALSE(sim.st.RxEvent.IsSet());
}

class SimFaultTest : public ::testing::Test {
protected:
    SimSession sim;
    void SetUp() override
    {
        ASSERT_EQ(sim.Open(), FT_OK);
        sim.st.settings.Run_Down = true;
        sim.st.settings.Sel(Group::Fps) = 4;
        ASSERT_TRUE(sim.Apply());
        ASSERT_TRUE(sim.WaitFrames(1));
    }
    std::uint32_t Total(StatCounter c)
    {
        // Per-second counters are not reset here (no Timer1), so they add up.
        return sim.st.link.counters.current[c];
    }
};

TEST_F(SimFaultTest, UnpluggedCableFailsQueueStatusAndWrites)
{
    sim.Instrument().SetFault(Fault::Unplugged, true);
    FT_DWORD n = 0;
    EXPECT_NE(sim.link.GetQueueStatus(&n), FT_OK);
    EXPECT_NE(sim.st.transport.LinkStatus.load(), FT_OK);
}

TEST_F(SimFaultTest, ServicePacketsStop)
{
    sim.Instrument().SetFault(Fault::ServiceStopped, true);
    ASSERT_TRUE(sim.WaitLinkCaughtUp());  // packets queued before the fault are counted
    const std::uint32_t before = Total(StatServicePackets);
    ASSERT_TRUE(sim.WaitServicePeriods(3));
    ASSERT_TRUE(sim.WaitLinkCaughtUp());
    EXPECT_EQ(Total(StatServicePackets), before);
}

TEST_F(SimFaultTest, ErrorStateAndLostConfigurationRaiseTheirFlags)
{
    sim.Instrument().SetFault(Fault::ErrorState, true);
    EXPECT_TRUE(test::Eventually([&] { return sim.st.link.ErrorState.load(); }));
    sim.Instrument().SetFault(Fault::FpgaLost, true);
    EXPECT_TRUE(test::Eventually([&] { return sim.st.link.FpgaFailure.load(); }));
}

TEST_F(SimFaultTest, MissingAcknowledgementIsACountedFailure)
{
    sim.Instrument().SetFault(Fault::NoAcknowledge, true);
    const std::uint32_t before = sim.st.link.counters.configFailures;
    sim.st.requests.SettingsRequest = true;
    sim.st.RxEvent.Set();
    EXPECT_TRUE(test::Eventually([&] { return sim.st.link.counters.configFailures > before; }));
}

TEST_F(SimFaultTest, CorruptionAndStrayBytesAreCounted)
{
    sim.Instrument().SetFault(Fault::CorruptChecksums, true);
    EXPECT_TRUE(test::Eventually([&] { return Total(StatChecksumFailures) > 0; }));
    sim.Instrument().SetFault(Fault::CorruptChecksums, false);
    const std::uint32_t leak = Total(StatLeakageBytes);
    sim.Instrument().SetFault(Fault::StrayBytes, true);
    EXPECT_TRUE(test::Eventually([&] { return Total(StatLeakageBytes) > leak; }));
    // Frames keep coming through the noise.
    EXPECT_TRUE(sim.WaitFrames(2));
}

// Writes that time out (nothing written, no error) during the FPGA load are a
// configuration failure: the next tick offers the recovery, and "Yes", with
// the link writing again, loads the FPGA and brings the frames back.
TEST_F(SimFaultTest, StalledWritesDuringTheFpgaLoadAreRecovered)
{
    sim.Instrument().SetFault(Fault::WriteStalls, true);
    sim.st.link.FpgaLoadRequest = true;
    sim.st.RxEvent.Set();
    ASSERT_TRUE(test::Eventually([&] { return sim.st.link.DeviceFailure.load(); }));
    EXPECT_FALSE(sim.st.link.DeviceReady);

    sim.st.BusyEvent.Reset();
    sim.st.settings.Russian = false;
    OpenOptions options;
    options.caption = "kr40";
    options.rxEvent = &sim.st.RxEvent;
    SupervisionHooks hooks;
    hooks.apply = [&] { ApplySettings(sim.st); };
    sim.prompts.answers = {PromptAnswer::Yes};
    sim.prompts.onPrompt = [&] { sim.Instrument().SetFault(Fault::WriteStalls, false); };
    EXPECT_EQ(Timer1Tick(sim.st, sim.st.settings, sim.provider, sim.prompts, options, hooks),
              LinkFault::FpgaInitFailure);
    ASSERT_EQ(sim.prompts.messages.size(), 1u);
    EXPECT_EQ(sim.prompts.messages[0].text, "Recover after FPGA configuration failure.\r\nError code 2");
    EXPECT_TRUE(test::Eventually([&] { return sim.st.link.DeviceReady.load(); }));
    EXPECT_TRUE(sim.WaitFrames(1));
}

}  // namespace
}  // namespace kr40
