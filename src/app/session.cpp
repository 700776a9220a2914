#include "app/session.h"

#include <chrono>
#include <thread>

#include "app/provider_select.h"
#include "app/ui_call_gate.h"
#include "device/device_link.h"
#include "device/scope_thread.h"
#include "display/screen.h"
#include "state/scope_state.h"

namespace kr40 {

namespace {

// A provider that loads nothing: the driver asked for is not built in.
class NoProvider : public DeviceProvider {
public:
    bool Load(std::string_view) override { return false; }
    void Unload(std::string_view) override {}
    void* Resolve(std::string_view, std::string_view) override { return nullptr; }
};

}  // namespace

Session::Session(QObject* uiContext, DeviceProvider* provider, const std::string& providerName,
                 const std::string& simInputs, std::function<void()> handoff)
    : st_(std::make_unique<ScopeState>()), d_(std::make_unique<DisplayState>()), provider_(provider)
{
    if (!provider_) {
        ownProvider_ = MakeProvider(providerName, simInputs);
        if (!ownProvider_) ownProvider_ = std::make_unique<NoProvider>();
        provider_ = ownProvider_.get();
    }
    link_ = std::make_unique<TransportLink>(st_->transport);
    device_ = std::make_unique<DeviceLink>(*link_, *st_, *st_->live, st_->recorder,
                                           [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
    gate_ = std::make_shared<UiCallGate>(uiContext);
    thread_ = std::make_unique<ScopeThread>(
        *st_, *device_, [gate = gate_](const std::function<void()>& fn) { gate->Run(fn); }, std::move(handoff));
}

Session::~Session()
{
    StopThread();
    CloseScopeDevice(st_->transport);
}

void Session::StartThread()
{
    thread_->Start();
}

void Session::StopThread()
{
    gate_->Close();
    thread_->Stop();
}

OpenOptions Session::LinkOptions(const std::string& caption) const
{
    const ScopeSettings& s = st_->settings;
    OpenOptions o;
    o.debug = s.Debug_kr;
    o.noExcuse = s.No_Excuse;
    o.flowCtrlOff = s.FLOW_CTRL_OFF;
    o.russian = s.Russian;
    o.caption = caption;
    o.rxEvent = &st_->RxEvent;
    return o;
}

FT_STATUS Session::OpenDevice(Prompts& prompts, const std::string& caption)
{
    const FT_STATUS status = OpenScopeDevice(st_->transport, *provider_, prompts, LinkOptions(caption));
    st_->transport.LinkStatus = status;
    if (status == FT_OK) st_->link.FpgaLoadRequest = true;
    return status;
}

}  // namespace kr40
