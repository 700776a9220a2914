#include "device/scope_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "acquisition/frame.h"
#include "device/device_link.h"
#include "state/compose.h"
#include "state/scope_state.h"
#include "support/device_stub.h"
#include "support/eventually.h"

namespace kr40 {
namespace {

using test::Eventually;

TEST(ScopeThreadTest, ConnectsSendsSettingsAndHandsFramesOver)
{
    ScopeState st;
    test::DeviceStub dev;
    FrameSet live;
    RecorderStream recorder;
    DeviceLink link(dev, st, live, recorder,
                    [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
    std::atomic<int> frames{0}, services{0};
    HandoffHooks hooks;
    hooks.drawFrame = [&] { ++frames; };
    hooks.drawService = [&] { ++services; };
    ScopeThread thread(
        st, link, [](const std::function<void()>& f) { f(); },
        [&] { FrameHandoff(st, st.settings, st.acq, recorder, hooks); });

    st.link.FpgaLoadRequest = true;
    thread.Start();
    ASSERT_TRUE(Eventually([&] { return st.link.DeviceReady.load(); }));

    st.settings.Run_Down = true;
    ApplySettings(st);
    ASSERT_TRUE(Eventually([&] { return st.link.SettingsAcked.load(); }));

    const int n = st.acq.Smpl_N;
    std::array<std::uint8_t, StatusLength> status{};
    status[0x0A] = n & 0xFF, status[0x0B] = static_cast<std::uint8_t>(n >> 8);
    status[0x1C] = 0x01;
    status[0x45] = st.link.SettingsSeq;
    dev.Queue(EncodeMainPacket(0x81, std::vector<std::uint8_t>(static_cast<std::size_t>(n), 50), status));
    st.RxEvent.Set();  // as the driver does when bytes arrive
    ASSERT_TRUE(Eventually([&] { return st.link.counters.current[StatDisplayedFrames].load() == 1; }));
    EXPECT_GE(frames, 1);

    thread.Stop();
    EXPECT_TRUE(thread.Terminated());
}

TEST(ScopeThreadTest, HandoffClearsRedrawsAndFlushesTheRecorder)
{
    ScopeState st;
    RecorderStream recorder;
    recorder.active = true;
    recorder.buffer = {1, 2, 3};
    std::vector<std::uint8_t> written;
    int frames = 0, services = 0;
    HandoffHooks hooks{[&] { ++frames; }, [&] { ++services; },
                       [&](std::span<const std::uint8_t> b) { written.assign(b.begin(), b.end()); }};

    st.requests.RedrawRequest = true;
    st.link.ServiceRedrawRequest = true;
    st.link.NewFrameCount = true;
    FrameHandoff(st, st.settings, st.acq, recorder, hooks);
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(services, 0);  // the full redraw covers the service redraw
    EXPECT_EQ(st.link.counters.current[StatDisplayedFrames], 1u);
    EXPECT_EQ(st.link.counters.redraws, 1u);
    EXPECT_EQ(written, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_TRUE(recorder.buffer.empty());

    st.link.ServiceRedrawRequest = true;
    st.link.SingleShotEnded = true;
    st.settings.Sngl_Down = true;
    FrameHandoff(st, st.settings, st.acq, recorder, hooks);
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(services, 1);
    EXPECT_EQ(st.link.counters.current[StatDisplayedFrames], 1u);  // no new frame
    EXPECT_FALSE(st.settings.Sngl_Down);
}

TEST(ScopeThreadTest, SecondStatisticsCopyAndZero)
{
    LinkCounters c;
    c.current[StatMainPackets] = 25;
    c.current[StatPeakQueue] = 4000;
    c.configFailures = 2;
    TakeSecondStatistics(c);
    EXPECT_EQ(c.lastSecond[StatMainPackets], 25u);
    EXPECT_EQ(c.lastSecond[StatPeakQueue], 4000u);
    EXPECT_EQ(c.current[StatMainPackets], 0u);
    EXPECT_EQ(c.configFailures, 2u);  // not a per-second count
}

}  // namespace
}  // namespace kr40
