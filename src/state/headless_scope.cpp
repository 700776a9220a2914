#include "state/headless_scope.h"

#include <thread>

#include "core/prompts.h"
#include "device/device_link.h"
#include "device/scope_thread.h"
#include "state/scope_state.h"

namespace kr40 {

namespace {

using Clock = std::chrono::steady_clock;

// Polls `done` until it holds or the time is up.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto end = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

HeadlessScope::HeadlessScope(ScopeState& st, DeviceProvider& provider)
    : st_(st),
      provider_(provider),
      link_(std::make_unique<TransportLink>(st.transport)),
      device_(std::make_unique<DeviceLink>(*link_, st, *st.live, st.recorder,
                                           [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); })),
      // Nothing waits for a window: the hand-off runs on the acquisition thread.
      thread_(std::make_unique<ScopeThread>(
          st, *device_, [](const std::function<void()>& fn) { fn(); }, [this] { Handoff(); }))
{
}

HeadlessScope::~HeadlessScope()
{
    thread_->Stop();
    CloseScopeDevice(st_.transport);
}

FT_STATUS HeadlessScope::Open(Prompts& prompts, std::chrono::milliseconds timeout)
{
    OpenOptions o;
    o.rxEvent = &st_.RxEvent;
    o.russian = st_.settings.Russian;
    o.caption = "kr40-cli";
    const FT_STATUS status = OpenScopeDevice(st_.transport, provider_, prompts, o);
    st_.transport.LinkStatus = status;
    if (status != FT_OK) return status;
    st_.link.FpgaLoadRequest = true;
    thread_->Start();
    return WaitFor([&] { return st_.link.DeviceReady.load(); }, timeout) ? FT_OK : FT_OTHER_ERROR;
}

void HeadlessScope::Handoff()
{
    HandoffHooks hooks;
    hooks.drawFrame = [this] {
        if (!st_.link.NewFrameProcess.exchange(false)) return;
        const FrameSet& live = *st_.live;
        {
            std::lock_guard lock(mutex_);
            lastRecord_ = live.rec;
        }
        if (live.rec.FrameLen == 0 || live.rec.ValidLen != live.rec.FrameLen) return;
        std::lock_guard lock(mutex_);
        last_.rec = live.rec;
        last_.buf = live.buf;
        ++complete_;
    };
    if (sink_) hooks.writeRecorder = sink_;
    FrameHandoff(st_, st_.settings, st_.acq, st_.recorder, hooks);
}

FrameRecord HeadlessScope::LastRecord()
{
    std::lock_guard lock(mutex_);
    return lastRecord_;
}

bool HeadlessScope::WaitCompleteFrames(int count, std::chrono::milliseconds perFrame,
                                       const std::function<void(int)>& progress)
{
    const auto taken = [&] {
        std::lock_guard lock(mutex_);
        return complete_;
    };
    const int start = taken();
    for (int n = 1; n <= count; ++n) {
        if (!WaitFor([&] { return taken() >= start + n; }, perFrame)) return false;
        if (progress) progress(n);
    }
    return true;
}

FrameSet HeadlessScope::LastComplete()
{
    std::lock_guard lock(mutex_);
    return last_;
}

}  // namespace kr40
