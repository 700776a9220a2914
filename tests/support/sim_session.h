#pragma once
// The program's real acquisition path on the simulated instrument, for
// end-to-end tests: provider, transport, device link and Scope_Thread, with a
// hand-off that copies each drawn frame for the test to look at.

#include <chrono>
#include <mutex>
#include <span>
#include <thread>

#include "acquisition/frame.h"
#include "device/device_link.h"
#include "device/ftdi_transport.h"
#include "device/scope_thread.h"
#include "simulator/sim_provider.h"
#include "state/compose.h"
#include "state/scope_state.h"
#include "support/eventually.h"
#include "support/scripted_prompts.h"

namespace kr40::test {

class SimSession {
public:
    explicit SimSession(sim::SimProviderOptions options = {})
        : provider(std::move(options)),
          link(st.transport),
          device(link, st, live, recorder, [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }),
          thread(
              st, device,
              [this](const std::function<void()>& f) {
                  std::lock_guard lock(ui);
                  f();
              },
              [this] { Handoff(); })
    {
    }
    ~SimSession() { thread.Stop(); }

    // Opens the instrument, loads the FPGA and waits until it is ready.
    FT_STATUS Open()
    {
        OpenOptions o;
        o.rxEvent = &st.RxEvent;
        o.caption = "kr40";
        const FT_STATUS s = OpenScopeDevice(st.transport, provider, prompts, o);
        st.transport.LinkStatus = s;
        if (s != FT_OK) return s;
        st.link.FpgaLoadRequest = true;
        thread.Start();
        return Eventually([&] { return st.link.DeviceReady.load(); }) ? FT_OK : FT_OTHER_ERROR;
    }

    // Applies the settings (optionally with generator words set by hand over
    // the composed ones) and waits for the instrument's acknowledgement.
    bool Apply(const std::function<void(AcqConfig&)>& generator = {})
    {
        {
            std::lock_guard lock(ui);
            ApplySettings(st);
        }
        if (generator) {
            st.published.Update([&](PublishedConfig& p) { generator(p.acq); });
            st.requests.SettingsRequest = true;
            st.RxEvent.Set();
        }
        return Eventually([&] { return !st.requests.SettingsRequest && st.link.SettingsAcked.load(); });
    }

    // Waits for `n` more frames drawn after the last settings packet.
    bool WaitFrames(int n)
    {
        const int target = Frames() + n;
        return Eventually([&] { return Frames() >= target; });
    }
    // Waits until the link has read and parsed every byte the instrument had
    // queued for the host when called, and a hand-off has drawn what it held:
    // the hand-off starts a pass that follows the read.
    bool WaitLinkCaughtUp()
    {
        sim::VirtualInstrument& vi = Instrument();
        const std::uint64_t queued = vi.BytesQueued();
        if (!Eventually([&] { return vi.BytesTaken() >= queued; })) return false;
        const std::uint32_t redraws = st.link.counters.redraws;
        st.requests.RedrawRequest = true;
        st.RxEvent.Set();
        return Eventually([&] { return st.link.counters.redraws > redraws; });
    }
    // Waits until the instrument has gone through `n` more service periods.
    bool WaitServicePeriods(int n)
    {
        const std::uint64_t target = Instrument().ServicePeriods() + static_cast<std::uint64_t>(n);
        return Eventually([&] { return Instrument().ServicePeriods() >= target; });
    }
    int Frames()
    {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    FrameSet LastFrame()
    {
        std::lock_guard lock(mutex_);
        return last_;
    }

    sim::VirtualInstrument& Instrument() { return provider.Instrument(); }

    ScriptedPrompts prompts;
    // Stands for the user-interface thread: the hand-off runs under it.
    std::mutex ui;
    // Optional, set before Open; both run in the hand-off, under `ui`.
    std::function<void(std::span<const std::uint8_t>)> writeRecorder;
    std::function<void()> afterHandoff;
    ScopeState st;
    sim::SimProvider provider;
    TransportLink link;
    FrameSet live;
    RecorderStream recorder;
    DeviceLink device;
    ScopeThread thread;

private:
    void Handoff()
    {
        HandoffHooks hooks;
        hooks.drawFrame = [this] {
            // Frames of the settings in force only: the hand-off also runs for
            // other redraw requests.
            if (!st.link.NewFrameProcess.exchange(false)) return;
            st.lastRec = live.rec;
            std::lock_guard lock(mutex_);
            last_.rec = live.rec;
            last_.buf = live.buf;
            ++frames_;
        };
        hooks.writeRecorder = writeRecorder;
        FrameHandoff(st, st.settings, st.acq, recorder, hooks);
        if (afterHandoff) afterHandoff();
    }

    std::mutex mutex_;
    FrameSet last_;
    int frames_ = 0;
};

}  // namespace kr40::test
