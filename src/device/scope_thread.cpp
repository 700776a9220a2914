#include "device/scope_thread.h"

#include <chrono>

#include "acquisition/frame.h"
#include "acquisition/scope_settings.h"
#include "device/device_link.h"
#include "device/link_shared.h"

namespace kr40 {

ScopeThread::ScopeThread(LinkShared& st, DeviceLink& link, RunOnUi runOnUiAndWait, std::function<void()> frameHandoff)
    : st_(st), link_(link), runOnUi_(std::move(runOnUiAndWait)), handoff_(std::move(frameHandoff))
{
}

ScopeThread::~ScopeThread()
{
    Stop();
}

void ScopeThread::Start()
{
    if (thread_.joinable()) return;
    terminate_ = false;
    thread_ = std::thread([this] { Execute(); });
}

void ScopeThread::Stop()
{
    terminate_ = true;
    st_.RxEvent.Set();
    if (thread_.joinable()) thread_.join();
}

void ScopeThread::Execute()
{
    while (!terminate_) Pass();
}

void ScopeThread::Pass()
{
    LinkState& ls = st_.link;
    if (!st_.requests.RedrawRequest && !ls.ServiceRedrawRequest && !ls.FpgaLoadRequest) {
        st_.RxEvent.WaitFor(std::chrono::milliseconds(WaitMs));
        st_.RxEvent.Reset();
    }
    if (terminate_) return;
    if (st_.requests.RedrawRequest || ls.ServiceRedrawRequest) {
        runOnUi_(handoff_);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (ls.FpgaLoadRequest.exchange(false)) {
        link_.LoadFpga();
        return;
    }
    // Nothing is read or sent while the instrument is not ready.
    if (!ls.DeviceReady) return;
    if (ls.WaveTableRequest.exchange(false))
        link_.SendWaveformTable();
    else if (st_.requests.SettingsRequest.exchange(false))
        link_.SendSettingsPacket();
    else
        link_.ReceiveBytes();
}

void FrameHandoff(LinkShared& st, ScopeSettings& s, AcqConfig& acq, RecorderStream& recorder, const HandoffHooks& hooks)
{
    LinkState& ls = st.link;
    if (ls.SingleShotEnded.exchange(false)) {
        // The worker ended a single shot: the Single button comes up.
        s.Sngl_Down = false;
        acq.Ch_Mask &= 0x7F;
    }
    if (st.requests.RedrawRequest.exchange(false)) {
        ls.ServiceRedrawRequest = false;
        if (hooks.drawFrame) hooks.drawFrame();
        ++ls.counters.redraws;
        if (ls.NewFrameCount.exchange(false)) ++ls.counters.current[StatDisplayedFrames];
        if (recorder.active && !recorder.buffer.empty() && hooks.writeRecorder) hooks.writeRecorder(recorder.buffer);
        recorder.buffer.clear();
    }
    if (ls.ServiceRedrawRequest.exchange(false) && hooks.drawService) hooks.drawService();
}

}  // namespace kr40
