#pragma once
// A main window on the simulated instrument (or on an empty device list) with
// scripted prompts and its own settings file, for the window tests.

#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "simulator/sim_provider.h"
#include "state/scope_state.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

class QAbstractButton;

namespace kr40 {

class MainWindowTest : public ::testing::Test {
protected:
    // A window on the simulated instrument (or on an empty device list).
    void Start(bool instrument = true, const std::string& iniText = "",
               const std::function<void(sim::SimProviderOptions&)>& wiring = {})
    {
        sim::SimProviderOptions o;
        if (!instrument) o.devices.clear();
        if (wiring) wiring(o);
        provider = std::make_unique<sim::SimProvider>(o);
        settingsFile = dir.path() / "kr40.ini";
        std::ofstream(settingsFile) << (iniText.empty() ? "[Common]\nRussian=0\n" : iniText);
        MainWindowOptions w;
        w.settingsFile = settingsFile;
        w.prompts = &prompts;
        w.provider = provider.get();
        w.executable = executable;
        window = std::make_unique<MainWindow>(std::move(w));
        window->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->Initialised(); }, 5000));
    }
    void TearDown() override
    {
        if (window) window->close();
        window.reset();
    }

    ScopeState& St() { return window->State(); }
    QAbstractButton* Btn(const char* name) { return window->Button(name); }
    bool WaitFrames(int n)
    {
        const int target = window->FramesDrawn() + n;
        return QTest::qWaitFor([&] { return window->FramesDrawn() >= target; }, 10000);
    }
    bool WaitMessage(std::size_t count, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return prompts.messages.size() >= count; }, ms);
    }
    sim::VirtualInstrument& Instrument() { return provider->Instrument(); }
    // Waits until the window has read and parsed every byte the instrument had
    // queued when called, and a hand-off has drawn what it held: the hand-off
    // starts a pass that follows the read.
    bool WaitCaughtUp()
    {
        const std::uint64_t queued = Instrument().BytesQueued();
        if (!QTest::qWaitFor([&] { return Instrument().BytesTaken() >= queued; }, 5000)) return false;
        const std::uint32_t redraws = St().link.counters.redraws;
        St().requests.RedrawRequest = true;
        St().RxEvent.Set();
        return QTest::qWaitFor([&] { return St().link.counters.redraws > redraws; }, 5000);
    }
    bool WaitServicePeriods(int n)
    {
        const std::uint64_t target = Instrument().ServicePeriods() + static_cast<std::uint64_t>(n);
        return QTest::qWaitFor([&] { return Instrument().ServicePeriods() >= target; }, 5000);
    }

    test::TempDir dir;
    std::filesystem::path settingsFile;
    std::filesystem::path executable;  // where the window looks for its help; empty: the test program
    test::ScriptedPrompts prompts;
    std::unique_ptr<sim::SimProvider> provider;
    std::unique_ptr<MainWindow> window;
};

}  // namespace kr40
