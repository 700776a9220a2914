// Frames per second through the whole acquisition path (transport, device
// link, Scope_Thread, receiver, decoder) on the simulated instrument, with
// the link unthrottled and paced like the 2 Mbaud cable, and the time the
// FPGA load takes (its image crosses the link too).

#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "acquisition/frame.h"
#include "core/prompts.h"
#include "device/device_link.h"
#include "device/ftdi_transport.h"
#include "device/scope_thread.h"
#include "simulator/sim_provider.h"
#include "state/compose.h"
#include "state/scope_state.h"

namespace {

struct NoPrompts : kr40::Prompts {
    kr40::PromptAnswer Message(const std::string&, const std::string&, kr40::PromptIcon, kr40::PromptButtons) override
    {
        return kr40::PromptAnswer::Ok;
    }
    std::optional<std::string> OpenFile(const kr40::FileDialogRequest&) override { return {}; }
    std::optional<std::string> SaveFile(const kr40::FileDialogRequest&) override { return {}; }
    std::optional<std::uint32_t> ChooseColor(std::uint32_t) override { return {}; }
    bool OpenDocument(const std::string&) override { return false; }
};

void BM_SimulatedFrameRate(benchmark::State& state)
{
    using namespace kr40;
    const double bytesPerSecond = static_cast<double>(state.range(0));
    const int smplN = static_cast<int>(state.range(1));
    for (auto _ : state) {
        sim::SimProviderOptions o;
        o.instrument.bytesPerSecond = bytesPerSecond;
        sim::SimProvider provider(o);
        ScopeState st;
        NoPrompts prompts;
        OpenOptions oo;
        oo.rxEvent = &st.RxEvent;
        st.transport.LinkStatus = OpenScopeDevice(st.transport, provider, prompts, oo);
        TransportLink link(st.transport);
        FrameSet live;
        RecorderStream rec;
        DeviceLink dev(link, st, live, rec, [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
        std::atomic<int> frames{0};
        ScopeThread thread(
            st, dev, [](const std::function<void()>& f) { f(); },
            [&] {
                HandoffHooks h;
                FrameHandoff(st, st.settings, st.acq, rec, h);
                if (st.link.NewFrameProcess.exchange(false)) ++frames;
            });
        st.link.FpgaLoadRequest = true;
        const auto load = std::chrono::steady_clock::now();
        thread.Start();
        while (!st.link.DeviceReady) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        state.counters["fpga_load_s"] = std::chrono::duration<double>(std::chrono::steady_clock::now() - load).count();
        st.settings.Sel(Group::TimeBase) = 20;  // 5 uS: frames are short in time
        st.settings.Sel(Group::Fps) = 4;        // no limit: 10 ms
        st.settings.Sel(Group::SmplN) = smplN == 2000 ? Smpl2000 : Smpl10000;
        st.settings.Run_Down = true;
        ApplySettings(st);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const int start = frames;
        const auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.counters["frames_per_s"] = (frames - start) / secs;
        thread.Stop();
    }
}
BENCHMARK(BM_SimulatedFrameRate)
    ->Args({0, 10000})
    ->Args({200000, 2000})
    ->Args({200000, 10000})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace
