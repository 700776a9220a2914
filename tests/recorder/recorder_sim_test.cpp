// A roll-mode recording through the program's real path: the simulated
// instrument, transport, device link, Scope_Thread and DecodeFrame collect the
// A1 bytes; the screen hand-off writes them through the recorder dialog's
// session. A1 is fed from the simulator's staircase, one ADC code up per
// sample, so the file shows any lost or repeated sample.
//
// The simulated instrument runs on the real clock: the recording lasts as
// long in real time as it covers. KR40_RECORDER_SIM_SECONDS sets its length
// (5 s when unset).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "acquisition/scope_tables.h"
#include "recorder/recorder.h"
#include "state/compose.h"
#include "state/scope_state.h"
#include "support/eventually.h"
#include "support/sim_session.h"
#include "support/temp_dir.h"

namespace kr40 {
namespace {

using namespace std::chrono;
using test::Eventually;
using test::TempDir;

// The program's acquisition path (SimSession) with the hand-off writing
// through the recorder session, as the window's does. `ui` stands for the
// user-interface thread: the hand-off runs under it, and so does everything
// the test does to the settings and the recorder.
class RecorderRig {
public:
    explicit RecorderRig(sim::SimProviderOptions options)
        : sim(std::move(options)), ui(sim.ui), st(sim.st), prompts(sim.prompts), recorder(sim.recorder)
    {
        sim.writeRecorder = [this](std::span<const std::uint8_t> bytes) {
            largestBuffer = std::max(largestBuffer, bytes.size());
            if (session) session->Write(bytes);
        };
        sim.afterHandoff = [this] {
            largestCapacity = std::max(largestCapacity, recorder.buffer.capacity());
            ++handoffs;
            handoffDone.notify_all();
        };
    }

    FT_STATUS Open() { return sim.Open(); }
    bool Apply() { return sim.Apply(); }
    int Frames() { return sim.Frames(); }

    // Waits, with `lock` on `ui`, for the next hand-off.
    bool NextHandoff(std::unique_lock<std::mutex>& lock, steady_clock::time_point deadline)
    {
        const std::uint64_t seen = handoffs;
        return handoffDone.wait_until(lock, deadline, [&] { return handoffs > seen; });
    }

    test::SimSession sim;
    std::mutex& ui;
    ScopeState& st;
    test::ScriptedPrompts& prompts;
    RecorderStream& recorder;  // what the acquisition thread collects into

    std::condition_variable handoffDone;
    // Under `ui`:
    std::unique_ptr<RecorderSession> session;
    std::uint64_t handoffs = 0;
    std::size_t largestBuffer = 0, largestCapacity = 0;
};

int RecordingSeconds()
{
    const char* v = std::getenv("KR40_RECORDER_SIM_SECONDS");
    const int s = v ? std::atoi(v) : 0;
    return s > 0 ? s : 5;
}

TEST(RecorderSimTest, LongRollRecordingHoldsEverySampleOnceInOrder)
{
    const int seconds = RecordingSeconds();
    constexpr std::uint64_t kRate = sim::TicksPerSecond / sim::StaircaseStepTicks;  // samples a second

    sim::SimProviderOptions options;
    options.instrument.sources.a1 = sim::Source::Staircase;
    options.instrument.sources.noiseVpp = 0;
    RecorderRig rig(options);
    ASSERT_EQ(rig.Open(), FT_OK);

    // 0.1 s/div, trigger off: roll mode. A1 alone at 1 V/div, DC, 10000
    // samples over 10 divisions: 100 us a sample, one staircase step each.
    ScopeSettings& s = rig.st.settings;
    s.Sel(Group::TimeBase) = TimeBase100ms;
    s.Sel(Group::SmplN) = Smpl10000;
    s.Sel(Group::VoltsA1) = Volts1V;
    s.Sel(Group::ProbeA1) = ProbeX1;
    s.CH_A1 = true;
    s.CH_A2 = s.CH_D1 = s.CH_D2 = false;
    s.A1_ACDC = false;
    s.SmplPeakDet = false;
    s.Trig_On = false;
    s.A1_Zero = 128;
    s.Run_Down = true;
    ASSERT_TRUE(rig.Apply());
    ASSERT_TRUE(rig.st.acq.Roll);
    ASSERT_EQ(rig.st.acq.Decim + 1, sim::StaircaseStepTicks);
    const int n = rig.st.acq.Smpl_N;
    ASSERT_EQ(n, 10000);
    ASSERT_TRUE(Eventually([&] { return rig.Frames() >= 2; }));

    // The menu lets the dialog open now, and not with Run up.
    EXPECT_TRUE(RecorderMayOpen(rig.st, s.Run_Down, rig.st.acq.Roll));
    EXPECT_FALSE(RecorderMayOpen(rig.st, false, rig.st.acq.Roll));

    TempDir dir;
    rig.st.LastFolder = dir.path().string();
    const local_seconds t0 = local_days{year{2025} / 1 / 2} + hours{8};
    local_seconds clock = t0;

    std::unique_lock ui(rig.ui);
    rig.session = std::make_unique<RecorderSession>(RecorderEnv{.prompts = rig.prompts,
                                                                .lastFolder = rig.st.LastFolder,
                                                                .stream = rig.recorder,
                                                                .frameRecord = [&] { return rig.st.lastRec; },
                                                                .russian = false,
                                                                .now = [&] { return clock; }});
    RecorderSession& session = *rig.session;
    session.Show();
    session.Start();
    ASSERT_TRUE(session.Recording());

    // Record until the file covers the time asked for; the timer runs at
    // every hand-off, the clock follows the samples.
    const std::uint64_t target = static_cast<std::uint64_t>(seconds) * kRate;
    const auto deadline = steady_clock::now() + std::chrono::seconds(3 * seconds + 60);
    while (session.Total() < target && rig.NextHandoff(ui, deadline)) {
        clock = t0 + std::chrono::seconds(session.Total() / kRate);
        session.Tick();
    }
    ASSERT_GE(session.Total(), target);
    clock = t0 + std::chrono::seconds(session.Total() / kRate);
    rig.prompts.answers = {PromptAnswer::Yes};
    session.Stop();
    ASSERT_FALSE(session.Recording());
    const std::uint64_t total = session.Total();
    session.Tick();
    const std::string duration = RecorderDurationText(std::chrono::seconds(total / kRate));
    EXPECT_EQ(session.View().size, "Size = " + RecorderSizeText(total) + " Bytes    Time = " + duration);
    ui.unlock();

    // The file: exactly the bytes counted, one code up per sample, round the
    // 191 codes of the staircase without a gap or a repeat.
    const std::string text = TempDir::Read(dir / "recorder.bin");
    const std::vector<std::uint8_t> bin(text.begin(), text.end());
    ASSERT_EQ(bin.size(), total);
    const auto [lo, hi] = std::minmax_element(bin.begin(), bin.end());
    const int c0 = *lo;
    ASSERT_EQ(*hi - c0, sim::StaircaseSteps - 1);
    std::size_t breaks = 0, firstBreak = 0;
    for (std::size_t i = 1; i < bin.size(); ++i) {
        if (bin[i] - c0 != (bin[i - 1] - c0 + 1) % sim::StaircaseSteps && breaks++ == 0) firstBreak = i;
    }
    EXPECT_EQ(breaks, 0u) << "first at byte " << firstBreak << " of " << bin.size();

    // The companion text.
    EXPECT_EQ(TempDir::Read(dir / "recorder.txt"),
              "Oscilloscope recorder file = recorder.bin\r\n"
              "\r\n"
              "Sampling rate = 10.0 KHz\r\n"
              "Peak detector off, bytes per sample = 1\r\n"
              "Write speed = 34.332275 MBytes/hour\r\n"
              "\r\n"
              "Time step = 100.0 uS\r\n"
              "Voltage step = 31.25 mV\r\n"
              "Zero level = 128\r\n"
              "Start recording = 2025-01-02 08:00:00\r\n"
              "Stop recording = " +
                  RecorderDateTimeText(t0 + std::chrono::seconds(total / kRate)) +
                  "\r\n"
                  "Size = " +
                  std::to_string(total) +
                  " Bytes\r\n"
                  "Time = " +
                  duration + "\r\n");
    EXPECT_EQ(rig.prompts.messages.size(), 1u);  // the stop question only

    // Memory stayed flat: the collected bytes never outgrew one frame.
    std::lock_guard lock(rig.ui);
    EXPECT_GT(rig.largestBuffer, 0u);
    EXPECT_LE(rig.largestBuffer, static_cast<std::size_t>(n));
    EXPECT_LE(rig.largestCapacity, static_cast<std::size_t>(n));
    EXPECT_FALSE(rig.recorder.active);
}

}  // namespace
}  // namespace kr40
