// The trigger dialog over the real window and the simulated instrument: a
// click in the dialog reaches the instrument's trigger registers at once.

#include "trigger/trig_set_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/main_window.h"
#include "simulator/sim_provider.h"
#include "state/scope_state.h"
#include "support/scripted_prompts.h"

namespace kr40 {
namespace {

TEST(TrigSetDialog, ClicksReachTheInstrumentsTriggerRegisters)
{
    test::ScriptedPrompts prompts;
    sim::SimProvider provider;
    MainWindowOptions o;
    o.prompts = &prompts;
    o.provider = &provider;
    o.russian = false;
    MainWindow w(std::move(o));
    w.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Initialised(); }, 5000));
    ScopeSettings& s = w.State().settings;
    w.Button("SpeedButton_TPLUS")->click();
    ASSERT_TRUE(s.TPLUS);
    ASSERT_TRUE(w.State().requests.TrigChanged);
    const auto registers = [&] { return provider.Instrument().Registers(); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.State().link.SettingsAcked.load(); }, 5000));
    const sim::SimRegisters before = registers();
    EXPECT_EQ(before.ModeFlags() & 0x18, 0);

    QTimer::singleShot(0, [&] {
        auto* dialog = w.findChild<TForm_TrigSet*>("Form_TrigSet");
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QAbstractButton*>("SpeedButton_Rise_Pul")->click();
        dialog->findChild<QAbstractButton*>("SpeedButton_T1mS")->click();
        // T inside the window: the T-mode box steps from unchecked to checked.
        dialog->findChild<QAbstractButton*>("CheckBox_Trig_T_Mode")->click();
        dialog->findChild<QPushButton*>("Button_OK")->click();
    });
    ASSERT_TRUE(w.Button("SpeedButton_Trig")->isEnabled());
    w.Button("SpeedButton_Trig")->click();
    EXPECT_EQ(s.Mode, 1);
    EXPECT_EQ(s.Tmult, 100);
    EXPECT_EQ(s.T_Mode, 1);
    EXPECT_FALSE(s.Edge);
    EXPECT_FALSE(w.State().BusyEvent.IsSet());

    // Pulse mode with T inside: Mode_Flags bits 3 and 4, the limits in 10 ns ticks.
    const std::uint32_t lo = static_cast<std::uint32_t>(s.Tmin) * 100, hi = static_cast<std::uint32_t>(s.Tmax) * 100;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const sim::SimRegisters r = registers();
            return (r.ModeFlags() & 0x18) == 0x18 && r.TLo() == lo && r.THi() == hi;
        },
        5000))
        << "Mode_Flags " << int(registers().ModeFlags()) << " T_Lo " << registers().TLo();
    w.close();
}

}  // namespace
}  // namespace kr40
