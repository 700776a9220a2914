#include "device/supervision.h"

#include <gtest/gtest.h>

#include <vector>

#include "simulator/sim_provider.h"
#include "state/compose.h"
#include "state/scope_state.h"
#include "support/scripted_prompts.h"
#include "support/sim_session.h"

namespace kr40 {
namespace {

using test::ScriptedPrompts;

// The window around the supervision: state, the simulated provider, scripted
// boxes and hooks that count what the window was asked to do.
struct Window {
    explicit Window(sim::SimProviderOptions o = {}) : provider(std::move(o))
    {
        st.BusyEvent.Reset();  // the first paint is over
        st.settings.Russian = false;
        options.caption = "kr40";
        options.rxEvent = &st.RxEvent;
        hooks.apply = [this] { ApplySettings(st); };
        hooks.refresh = [this] { RefreshSettings(st); };
        hooks.saveSettings = [this] { ++saves; };
        hooks.genFileWatch = [this] { ++watches; };
        hooks.clearAfgList = [this] { ++listClears; };
        hooks.genFileReload = [this](bool send) { reloads.push_back(send); };
    }
    void Open()
    {
        st.transport.LinkStatus = OpenScopeDevice(st.transport, provider, prompts, options);
        ASSERT_EQ(st.transport.LinkStatus, FT_OK);
    }
    void Click(LinkButton b) { LinkButtonClick(st, st.settings, provider, prompts, options, b, hooks); }
    LinkFault Tick() { return Timer1Tick(st, st.settings, provider, prompts, options, hooks); }

    ScopeState st;
    sim::SimProvider provider;
    ScriptedPrompts prompts;
    OpenOptions options;
    SupervisionHooks hooks;
    int saves = 0, watches = 0, listClears = 0;
    std::vector<bool> reloads;
};

sim::SimProviderOptions NoDevices()
{
    sim::SimProviderOptions o;
    o.devices.clear();
    return o;
}

void ExpectBox(const test::ShownMessage& m, const std::string& caption, const std::string& text, PromptIcon icon,
               PromptButtons buttons)
{
    EXPECT_EQ(m.caption, caption);
    EXPECT_EQ(m.text, text);
    EXPECT_EQ(m.icon, icon);
    EXPECT_EQ(m.buttons, buttons);
}

TEST(SupervisionButtons, RunWithoutInstrumentShowsUsbErrorAndComesBackUp)
{
    Window w(NoDevices());
    // Single was running when Run was pressed; the group released Single.
    w.st.requests.Running = true;
    w.st.requests.SingleShot = true;
    w.st.settings.Run_Down = true;
    bool busyDuringBox = false;
    w.prompts.onPrompt = [&] { busyDuringBox = w.st.BusyEvent.IsSet(); };

    w.Click(LinkButton::Run);

    ASSERT_EQ(w.prompts.messages.size(), 1u);
    ExpectBox(w.prompts.messages[0], "USB Error - 2", "Device not found.", PromptIcon::Error, PromptButtons::Ok);
    EXPECT_TRUE(busyDuringBox);
    EXPECT_FALSE(w.st.BusyEvent.IsSet());
    EXPECT_FALSE(w.st.settings.Run_Down);
    EXPECT_EQ(w.st.transport.LinkStatus, FT_DEVICE_NOT_FOUND);
    EXPECT_FALSE(w.st.link.FpgaLoadRequest);
    EXPECT_FALSE(w.st.requests.Running);  // both buttons are up
    EXPECT_FALSE(w.st.requests.SingleShot);

    // Releasing a button never touches the link.
    w.Click(LinkButton::Single);
    EXPECT_EQ(w.prompts.messages.size(), 1u);
}

// The cable of a running instrument was pulled and the generator is switched
// on before the next tick noticed.
TEST(SupervisionButtons, GeneratorOnFailureRefreshesAroundTheBoxAndLeavesTheRecovery)
{
    Window w(NoDevices());
    w.st.transport.LinkStatus = FT_IO_ERROR;
    w.st.link.DeviceReady = true;
    w.st.settings.Run_Down = true;
    ApplySettings(w.st);  // as last applied, with the generator off
    w.st.settings.GenOn_Down = true;
    constexpr std::uint8_t kGeneratorOff = 0x08;  // A1 range bit
    int rangeDuringBox = -1;
    w.prompts.onPrompt = [&] { rangeDuringBox = w.st.published.Get().acq.Range_A1; };

    w.Click(LinkButton::GenOn);

    ASSERT_EQ(w.prompts.messages.size(), 1u);
    EXPECT_EQ(rangeDuringBox & kGeneratorOff, 0);  // refreshed with the generator still on
    EXPECT_FALSE(w.st.settings.GenOn_Down);
    EXPECT_EQ(w.st.published.Get().acq.Range_A1 & kGeneratorOff, kGeneratorOff);  // refreshed after the release
    EXPECT_FALSE(w.st.BusyEvent.IsSet());
    EXPECT_TRUE(w.st.settings.Run_Down);

    w.prompts.onPrompt = nullptr;
    w.prompts.answers = {PromptAnswer::No};
    EXPECT_EQ(w.Tick(), LinkFault::UsbLost);
    EXPECT_FALSE(w.st.settings.Run_Down);
}

TEST(SupervisionButtons, ProbeDecidesWhetherAUsableLinkIsReopened)
{
    Window w;
    w.Open();
    w.st.settings.Run_Down = true;
    w.Click(LinkButton::Run);
    EXPECT_EQ(w.st.transport.LinkStatus, FT_OK);
    EXPECT_FALSE(w.st.link.FpgaLoadRequest);  // healthy link: no reconnect

    w.provider.Instrument().SetFault(sim::Fault::Unplugged, true);
    w.st.settings.Run_Down = false;
    w.Click(LinkButton::Run);
    EXPECT_EQ(w.st.transport.LinkStatus, FT_OK);  // no probe when the button goes up

    w.st.settings.Run_Down = true;
    w.Click(LinkButton::Run);
    // The probe failed, so the device was reopened and the FPGA is reloaded.
    EXPECT_EQ(w.st.transport.LinkStatus, FT_OK);
    EXPECT_TRUE(w.st.link.FpgaLoadRequest);
    EXPECT_TRUE(w.st.requests.Running);
    EXPECT_TRUE(w.prompts.messages.empty());
}

// Row k raises the conditions k..4 at once: the first in order wins, one box
// per tick, and the clean-up leaves nothing for the next tick.
TEST(SupervisionTick, ShowsTheFirstFaultOnly)
{
    struct Row {
        LinkFault fault;
        const char* en;
        const char* ru;
    };
    const Row rows[] = {
        {LinkFault::UsbLost, "Recover after USB connection lost.\r\nError code 1",
         "Восстановление после потери связи с устройством.\r\nКод ошибки 1"},
        {LinkFault::PowerFailure, "Recover after Power failure.\r\nError code 3",
         "Восстановление после сбоя питания устройства.\r\nКод ошибки 3"},
        {LinkFault::FpgaLost, "Recover after FPGA configuration lost.\r\nError code 4",
         "Восстановление после потери конфигурации FPGA.\r\nКод ошибки 4"},
        {LinkFault::NoAnswer, "Recover after ATMEGA failure.\r\nError code 6",
         "Восстановление после сбоя ATMEGA.\r\nКод ошибки 6"},
        {LinkFault::FpgaInitFailure, "Recover after FPGA configuration failure.\r\nError code 2",
         "Восстановление после сбоя инициализации FPGA.\r\nКод ошибки 2"},
    };
    for (const Row& row : rows) {
        for (const bool russian : {false, true}) {
            SCOPED_TRACE(row.en);
            SCOPED_TRACE(russian ? "ru" : "en");
            Window w;
            w.st.settings.Russian = russian;
            LinkState& ls = w.st.link;
            const int k = static_cast<int>(row.fault);
            if (k <= 0) {
                w.st.transport.LinkStatus = FT_IO_ERROR;
                ls.DeviceReady = true;
            }
            if (k <= 1) ls.ErrorState = true;
            if (k <= 2) ls.FpgaFailure = true;
            if (k <= 3) ls.NoAnswer = true;
            ls.DeviceFailure = true;
            w.prompts.answers = {PromptAnswer::No};

            EXPECT_EQ(w.Tick(), row.fault);
            ASSERT_EQ(w.prompts.messages.size(), 1u);
            ExpectBox(w.prompts.messages[0], russian ? "Предупреждение" : "Warning", russian ? row.ru : row.en,
                      PromptIcon::Warning, PromptButtons::YesNo);

            EXPECT_EQ(w.Tick(), LinkFault::None);
            EXPECT_EQ(w.prompts.messages.size(), 1u);
        }
    }
}

TEST(SupervisionTick, SixSilentSecondsWhileReadyArePowerFailure)
{
    Window w;
    w.Open();
    w.st.link.DeviceReady = true;
    for (int second = 1; second <= 5; ++second) EXPECT_EQ(w.Tick(), LinkFault::None);
    EXPECT_EQ(w.st.link.NoServiceSeconds, 5);
    EXPECT_EQ(w.st.transport.LinkStatus, FT_OK);  // probed every tick, still usable

    w.prompts.answers = {PromptAnswer::No};
    EXPECT_EQ(w.Tick(), LinkFault::PowerFailure);
    ASSERT_EQ(w.prompts.messages.size(), 1u);
    EXPECT_EQ(w.prompts.messages[0].text, "Recover after Power failure.\r\nError code 3");
    // "No" on a usable link closes the device.
    EXPECT_FALSE(w.st.transport.DeviceHandleOpen);
    EXPECT_EQ(w.st.transport.LinkStatus, FT_INVALID_HANDLE);
    EXPECT_EQ(w.Tick(), LinkFault::None);
    EXPECT_EQ(w.st.link.NoServiceSeconds, 0);  // not ready any more
}

TEST(SupervisionTick, BusyTickKeepsOnlyStatisticsAndRedraw)
{
    Window w;  // nothing opened: a probe would fail
    w.st.transport.LinkStatus = FT_OK;
    w.st.link.DeviceReady = true;
    w.st.link.FpgaFailure = true;
    w.st.link.counters.current[StatMainPackets] = 25;
    w.st.BusyEvent.Set();

    EXPECT_EQ(w.Tick(), LinkFault::None);
    EXPECT_TRUE(w.prompts.messages.empty());
    EXPECT_EQ(w.watches, 0);
    EXPECT_EQ(w.st.transport.LinkStatus, FT_OK);  // not probed
    EXPECT_EQ(w.st.link.counters.lastSecond[StatMainPackets], 25u);
    EXPECT_EQ(w.st.link.counters.current[StatMainPackets], 0u);
    EXPECT_TRUE(w.st.requests.RedrawRequest);
    EXPECT_EQ(w.st.link.NoServiceSeconds, 1);
    EXPECT_TRUE(w.st.link.DeviceReady);

    w.st.BusyEvent.Reset();
    w.prompts.answers = {PromptAnswer::No};
    EXPECT_EQ(w.Tick(), LinkFault::UsbLost);  // the probe fails on the closed link
    EXPECT_EQ(w.watches, 1);
}

TEST(SupervisionTick, NoForgetsTheInstrumentAndReleasesTheButtons)
{
    Window w;
    LinkState& ls = w.st.link;
    ls.DeviceReady = true;
    ls.FpgaFailure = true;
    ls.NoAnswer = true;
    ls.SettingsAcked = true;
    ls.ServiceSeen = true;
    ls.WaveTableLoaded = true;
    ls.identity.Update([](DeviceIdentity& id) {
        id.FirmVer = 213, id.FpgaVer = 34, id.Vcc = 500;
        id.FpgaVerValid = id.SerialValid = id.TdcFresh = true;
    });
    w.Open();
    w.st.settings.Run_Down = w.st.settings.GenOn_Down = true;
    w.st.requests.Running = true;
    bool busyDuringBox = false, readyDuringBox = true;
    int savesDuringBox = -1;
    w.prompts.onPrompt = [&] {
        busyDuringBox = w.st.BusyEvent.IsSet();
        readyDuringBox = ls.DeviceReady;
        savesDuringBox = w.saves;
    };
    w.prompts.answers = {PromptAnswer::No};

    EXPECT_EQ(w.Tick(), LinkFault::FpgaLost);

    EXPECT_TRUE(busyDuringBox);
    EXPECT_FALSE(readyDuringBox);
    EXPECT_EQ(savesDuringBox, 0);
    EXPECT_EQ(w.saves, 1);
    EXPECT_EQ(w.listClears, 1);
    EXPECT_EQ(w.reloads, (std::vector<bool>{true, false}));  // requested, then cancelled by "No"
    EXPECT_FALSE(ls.SettingsAcked || ls.ServiceSeen || ls.WaveTableLoaded);
    EXPECT_FALSE(ls.NoAnswer || ls.DeviceFailure || ls.ErrorState || ls.FpgaFailure);
    const DeviceIdentity id = ls.identity.Get();
    EXPECT_EQ(id.FirmVer, -1);
    EXPECT_EQ(id.FpgaVer, -1);
    EXPECT_EQ(id.Vcc, -1);
    EXPECT_FALSE(id.FpgaVerValid || id.SerialValid || id.TdcFresh);
    EXPECT_FALSE(w.st.transport.DeviceOpened);
    EXPECT_EQ(w.st.transport.TransferMode, 0);
    EXPECT_EQ(w.st.transport.LinkStatus, FT_INVALID_HANDLE);
    EXPECT_FALSE(w.st.settings.Run_Down || w.st.settings.Sngl_Down || w.st.settings.GenOn_Down);
    EXPECT_FALSE(w.st.requests.Running);
    EXPECT_FALSE(w.st.BusyEvent.IsSet());
}

TEST(SupervisionTick, YesReconnectsOrReportsTheUsbError)
{
    struct Row {
        const char* name;
        bool deviceAttached;
    };
    for (const Row row : {Row{"attached", true}, Row{"gone", false}}) {
        SCOPED_TRACE(row.name);
        Window w(row.deviceAttached ? sim::SimProviderOptions{} : NoDevices());
        w.st.transport.LinkStatus = FT_IO_ERROR;
        w.st.link.DeviceReady = true;
        w.st.link.WaveTableLoaded = true;
        w.st.settings.Run_Down = true;
        w.prompts.answers = {PromptAnswer::Yes};

        EXPECT_EQ(w.Tick(), LinkFault::UsbLost);

        EXPECT_EQ(w.reloads, std::vector<bool>{true});  // the table is sent again after the reconnect
        EXPECT_FALSE(w.st.BusyEvent.IsSet());
        if (row.deviceAttached) {
            EXPECT_EQ(w.prompts.messages.size(), 1u);
            EXPECT_EQ(w.st.transport.LinkStatus, FT_OK);
            EXPECT_TRUE(w.st.link.FpgaLoadRequest);
            EXPECT_TRUE(w.st.settings.Run_Down);
            EXPECT_TRUE(w.st.requests.Running);
        } else {
            ASSERT_EQ(w.prompts.messages.size(), 2u);
            ExpectBox(w.prompts.messages[1], "USB Error - 2", "Device not found.", PromptIcon::Error,
                      PromptButtons::Ok);
            EXPECT_FALSE(w.st.link.FpgaLoadRequest);
            EXPECT_FALSE(w.st.settings.Run_Down);
            EXPECT_FALSE(w.st.requests.Running);
        }
    }
}

TEST(SupervisionExit, ClosesAUsableLink)
{
    Window w;
    w.Open();
    w.st.link.DeviceReady = true;
    MenuExit(w.st);
    EXPECT_FALSE(w.st.transport.DeviceHandleOpen);
    EXPECT_EQ(w.st.transport.LinkStatus, FT_INVALID_HANDLE);
    EXPECT_FALSE(w.st.link.DeviceReady);  // the acquisition thread stops its traffic
}

// The real acquisition thread on the simulated instrument: Run connects, a
// pulled cable is noticed by the next tick, "Yes" (with the cable back)
// resumes the frames and "No" leaves every acquisition button up.
TEST(SupervisionEndToEnd, RunUnplugRecoverAndGiveUp)
{
    test::SimSession s;
    s.st.BusyEvent.Reset();
    s.st.settings.Russian = false;
    OpenOptions options;
    options.caption = "kr40";
    options.rxEvent = &s.st.RxEvent;
    int saves = 0;
    SupervisionHooks hooks;
    hooks.apply = [&] { ApplySettings(s.st); };
    hooks.saveSettings = [&] { ++saves; };
    auto tick = [&] { return Timer1Tick(s.st, s.st.settings, s.provider, s.prompts, options, hooks); };

    s.st.settings.Run_Down = true;
    LinkButtonClick(s.st, s.st.settings, s.provider, s.prompts, options, LinkButton::Run, hooks);
    EXPECT_EQ(s.st.transport.LinkStatus, FT_OK);
    EXPECT_TRUE(s.st.link.FpgaLoadRequest);
    EXPECT_TRUE(s.st.requests.Running);
    s.thread.Start();
    ASSERT_TRUE(test::Eventually([&] { return s.st.link.DeviceReady.load(); }));
    ASSERT_TRUE(s.WaitFrames(1));

    s.Instrument().SetFault(sim::Fault::Unplugged, true);
    s.prompts.answers = {PromptAnswer::Yes};
    s.prompts.onPrompt = [&] { s.Instrument().SetFault(sim::Fault::Unplugged, false); };
    EXPECT_EQ(tick(), LinkFault::UsbLost);
    ASSERT_EQ(s.prompts.messages.size(), 1u);
    ExpectBox(s.prompts.messages[0], "Warning", "Recover after USB connection lost.\r\nError code 1",
              PromptIcon::Warning, PromptButtons::YesNo);
    ASSERT_TRUE(test::Eventually([&] { return s.st.link.DeviceReady.load(); }));
    ASSERT_TRUE(s.WaitFrames(1));

    s.prompts.onPrompt = nullptr;
    s.Instrument().SetFault(sim::Fault::Unplugged, true);
    s.prompts.answers = {PromptAnswer::No};
    EXPECT_EQ(tick(), LinkFault::UsbLost);
    ASSERT_EQ(s.prompts.messages.size(), 2u);
    EXPECT_EQ(s.prompts.messages[1].text, "Recover after USB connection lost.\r\nError code 1");
    EXPECT_FALSE(s.st.settings.Run_Down || s.st.settings.Sngl_Down || s.st.settings.GenOn_Down);
    EXPECT_EQ(s.st.transport.LinkStatus, FT_INVALID_HANDLE);
    EXPECT_FALSE(s.st.requests.Running);
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(tick(), LinkFault::None);
}

}  // namespace
}  // namespace kr40
