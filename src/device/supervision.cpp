#include "device/supervision.h"

#include <array>

#include "acquisition/scope_settings.h"
#include "core/texts.h"
#include "device/link_shared.h"

namespace kr40 {

namespace {

constexpr TextPair kWarningCaption{"Warning", "Предупреждение"};

// One recovery question per fault, in LinkFault order.
constexpr std::array<TextPair, 5> kRecoveryTexts{{
    {"Recover after USB connection lost.\r\nError code 1",
     "Восстановление после потери связи с устройством.\r\nКод ошибки 1"},
    {"Recover after Power failure.\r\nError code 3", "Восстановление после сбоя питания устройства.\r\nКод ошибки 3"},
    {"Recover after FPGA configuration lost.\r\nError code 4",
     "Восстановление после потери конфигурации FPGA.\r\nКод ошибки 4"},
    {"Recover after ATMEGA failure.\r\nError code 6", "Восстановление после сбоя ATMEGA.\r\nКод ошибки 6"},
    {"Recover after FPGA configuration failure.\r\nError code 2",
     "Восстановление после сбоя инициализации FPGA.\r\nКод ошибки 2"},
}};

// Whole seconds without a service packet from a ready instrument that are
// taken as a power failure.
constexpr int kSilentSecondsLimit = 6;

bool& ButtonDown(ScopeSettings& s, LinkButton b)
{
    switch (b) {
        case LinkButton::Run:
            return s.Run_Down;
        case LinkButton::Single:
            return s.Sngl_Down;
        case LinkButton::GenOn:
            return s.GenOn_Down;
    }
    return s.GenOn_Down;  // not reached
}

void ReleaseButtons(ScopeSettings& s)
{
    s.Run_Down = s.Sngl_Down = s.GenOn_Down = false;
}

// A queue-status call on the open handle; its status lands in LinkStatus.
void ProbeLink(LinkShared& st)
{
    FT_DWORD waiting = 0;
    TransportLink(st.transport).GetQueueStatus(&waiting);
}

// Reopens the instrument and, on success, asks the acquisition thread for the
// FPGA load. The ready flag is cleared first: it stops the thread's reads and
// writes on the handle that the open is about to close.
FT_STATUS Reconnect(LinkShared& st, DeviceProvider& provider, Prompts& prompts, const OpenOptions& options)
{
    st.link.DeviceReady = false;
    const FT_STATUS status = OpenScopeDevice(st.transport, provider, prompts, options);
    st.transport.LinkStatus = status;
    if (status == FT_OK) {
        st.link.FpgaLoadRequest = true;
        st.RxEvent.Set();
    }
    return status;
}

// Closes the device when the link is usable and leaves LinkStatus at 1, so no
// further I/O is attempted. The thread's traffic stops with the ready flag.
void CloseLink(LinkShared& st)
{
    st.link.DeviceReady = false;
    if (st.transport.LinkStatus == FT_OK) CloseScopeDevice(st.transport);
    st.transport.LinkStatus = FT_INVALID_HANDLE;
}

LinkFault PickFault(LinkShared& st, bool wasReady)
{
    LinkState& ls = st.link;
    if (st.transport.LinkStatus != FT_OK && wasReady) return LinkFault::UsbLost;
    if (ls.ErrorState || ls.NoServiceSeconds >= kSilentSecondsLimit) {
        ls.NoServiceSeconds = 0;
        return LinkFault::PowerFailure;
    }
    if (ls.FpgaFailure) return LinkFault::FpgaLost;
    if (ls.NoAnswer) return LinkFault::NoAnswer;
    if (ls.DeviceFailure) return LinkFault::FpgaInitFailure;
    return LinkFault::None;
}

// What the instrument told about itself and the link's progress are forgotten:
// whatever the answer, the next connection starts from scratch.
void ForgetInstrument(LinkShared& st, const SupervisionHooks& hooks)
{
    LinkState& ls = st.link;
    ls.SettingsAcked = false;
    ls.ServiceSeen = false;
    if (ls.WaveTableLoaded.exchange(false) && hooks.genFileReload) hooks.genFileReload(true);
    if (hooks.clearAfgList) hooks.clearAfgList();
    ls.identity.Update([](DeviceIdentity& id) {
        id.SerialValid = false;
        id.FpgaVerValid = false;
        id.TdcFresh = false;
        id.FirmVer = -1;
        id.FpgaVer = -1;
        id.Vcc = -1;
    });
    st.transport.DeviceOpened = false;
    st.transport.TransferMode = 0;
    ls.NoAnswer = false;
    ls.DeviceFailure = false;
    ls.ErrorState = false;
    ls.FpgaFailure = false;
}

void Run(const std::function<void()>& hook)
{
    if (hook) hook();
}

}  // namespace

void LinkButtonClick(LinkShared& st, ScopeSettings& s, DeviceProvider& provider, Prompts& prompts,
                     const OpenOptions& options, LinkButton button, const SupervisionHooks& hooks)
{
    EventSetter busy(st.BusyEvent);
    if (button == LinkButton::Run) st.requests.SingleShot = false;

    bool& down = ButtonDown(s, button);
    if (down) {
        if (st.transport.LinkStatus == FT_OK) ProbeLink(st);
        if (st.transport.LinkStatus != FT_OK) {
            const bool wasReady = st.link.DeviceReady;
            const FT_STATUS status = Reconnect(st, provider, prompts, options);
            if (status != FT_OK) {
                const bool generator = button == LinkButton::GenOn;
                if (generator) Run(hooks.refresh);
                ShowUsbError(prompts, status, s.Russian);
                if (generator) Run(hooks.refresh);
                down = false;
                if (generator) Run(hooks.refresh);
                // A Run click that released a running Single must not leave the
                // acquisition flagged as running with both buttons up.
                st.requests.Running = s.Run_Down || s.Sngl_Down;
                st.requests.SingleShot = s.Sngl_Down;
                // The link of a ready instrument is still lost: the ready flag
                // comes back so that the next tick offers the recovery (the
                // thread's calls fail harmlessly on the closed handle).
                if (wasReady) st.link.DeviceReady = true;
                return;
            }
        }
    }
    Run(hooks.apply);
}

void MenuExit(LinkShared& st)
{
    CloseLink(st);
}

LinkFault Timer1Tick(LinkShared& st, ScopeSettings& s, DeviceProvider& provider, Prompts& prompts,
                     const OpenOptions& options, const SupervisionHooks& hooks)
{
    LinkState& ls = st.link;
    TakeSecondStatistics(ls.counters);
    if (ls.DeviceReady)
        ++ls.NoServiceSeconds;
    else
        ls.NoServiceSeconds = 0;
    st.requests.RedrawRequest = true;
    st.RxEvent.Set();

    // A modal action is running (possibly the box of an earlier tick).
    if (st.BusyEvent.IsSet()) return LinkFault::None;

    if (hooks.genFileWatch) hooks.genFileWatch();
    if (st.transport.LinkStatus == FT_OK) ProbeLink(st);

    const LinkFault fault = PickFault(st, ls.DeviceReady);
    if (fault == LinkFault::None) return fault;

    EventSetter busy(st.BusyEvent);
    ls.DeviceReady = false;
    const bool russian = s.Russian;
    const PromptAnswer answer =
        prompts.Message(Tr(kWarningCaption, russian), Tr(kRecoveryTexts[static_cast<std::size_t>(fault)], russian),
                        PromptIcon::Warning, PromptButtons::YesNo);

    if (hooks.saveSettings) hooks.saveSettings();
    ForgetInstrument(st, hooks);

    if (answer == PromptAnswer::Yes) {
        if (const FT_STATUS status = Reconnect(st, provider, prompts, options); status != FT_OK) {
            ShowUsbError(prompts, status, russian);
            ReleaseButtons(s);
        }
    } else {
        CloseLink(st);
        ReleaseButtons(s);
        if (hooks.genFileReload) hooks.genFileReload(false);
    }
    Run(hooks.apply);
    return fault;
}

}  // namespace kr40
