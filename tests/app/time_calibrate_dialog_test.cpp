// Form_TimeCalibrate offscreen: the slider stores and applies every move,
// Cancel puts the value back, OK keeps it.

#include "analysis/time_calibrate_dialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "state/scope_state.h"

namespace kr40 {
namespace {

class TimeCalibrateDialogTest : public ::testing::Test {
protected:
    std::unique_ptr<ScopeState> st = std::make_unique<ScopeState>();
    std::vector<int> applied;  // Calibrate/Time at every apply
    TForm_TimeCalibrate dialog{*st, [this] { applied.push_back(st->settings.Time); }, nullptr};

    QSlider* Slider() { return dialog.findChild<QSlider*>("TrackBar_PPM"); }
    QString Label() { return dialog.findChild<QLabel*>("Label_PPM")->text(); }
    QPushButton* Button(const char* name) { return dialog.findChild<QPushButton*>(name); }

    // Runs the dialog with `inside` executed once it is shown; a dialog that
    // `inside` left open is cancelled.
    bool Run(const std::function<void()>& inside)
    {
        QTimer::singleShot(0, [&] {
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_TRUE(st->BusyEvent.IsSet());
            inside();
            if (dialog.isVisible()) dialog.reject();
        });
        return dialog.Run();
    }
};

TEST_F(TimeCalibrateDialogTest, EveryMoveIsStoredAndAppliedCancelRestores)
{
    st->settings.Time = 10;
    const bool ok = Run([&] {
        ASSERT_NE(Slider(), nullptr);
        EXPECT_EQ(Slider()->value(), 10);
        EXPECT_EQ(Label(), "PPM = 2.00");
        EXPECT_TRUE(applied.empty());  // opening is not a change

        QTest::keyClick(Slider(), Qt::Key_PageDown);  // page step 1
        EXPECT_EQ(st->settings.Time, 9);
        EXPECT_EQ(Label(), "PPM = 1.80");
        QTest::keyClick(Slider(), Qt::Key_Home);
        EXPECT_EQ(st->settings.Time, -250);
        EXPECT_EQ(Label(), "PPM = -50.00");
        Slider()->setValue(-37);
        EXPECT_EQ(Label(), "PPM = -7.40");
        EXPECT_EQ(applied, (std::vector<int>{9, -250, -37}));
        Button("Button_Cancel")->click();
    });
    EXPECT_FALSE(ok);  // the settings file is not written
    EXPECT_EQ(st->settings.Time, 10);
    EXPECT_EQ(applied.back(), 10);  // applied again with the restored value
    EXPECT_EQ(applied.size(), 4u);
    EXPECT_FALSE(st->BusyEvent.IsSet());
}

TEST_F(TimeCalibrateDialogTest, OkKeepsTheNewValue)
{
    st->settings.Time = -3;
    const bool ok = Run([&] {
        QTest::keyClick(Slider(), Qt::Key_End);
        EXPECT_EQ(Label(), "PPM = 50.00");
        Button("Button_OK")->click();
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(st->settings.Time, 250);
    EXPECT_EQ(applied, (std::vector<int>{250, 250}));
    EXPECT_FALSE(st->BusyEvent.IsSet());

    // Opened again, the slider shows the kept value; Escape cancels.
    applied.clear();
    EXPECT_FALSE(Run([&] {
        EXPECT_EQ(Slider()->value(), 250);
        QTest::keyClick(Slider(), Qt::Key_Left);
        QTest::keyClick(&dialog, Qt::Key_Escape);
    }));
    EXPECT_EQ(st->settings.Time, 250);
    EXPECT_EQ(applied, (std::vector<int>{249, 250}));
}

TEST_F(TimeCalibrateDialogTest, CaptionsAndSliderInBothLanguages)
{
    struct Case {
        bool russian;
        const char* caption;
        const char* cancel;
    };
    for (const Case& c :
         {Case{false, "Freq. Meter Calibrate", "Cancel"}, Case{true, "Калибровка частотомера", "Отмена"}}) {
        SCOPED_TRACE(c.caption);
        st->settings.Russian = c.russian;
        Run([&] {
            EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(c.caption));
            EXPECT_EQ(Button("Button_Cancel")->text(), QString::fromUtf8(c.cancel));
            EXPECT_EQ(Button("Button_OK")->text(), "OK");
            EXPECT_EQ(Slider()->minimum(), -250);
            EXPECT_EQ(Slider()->maximum(), 250);
            EXPECT_EQ(Slider()->tickInterval(), 50);
            EXPECT_EQ(Slider()->pageStep(), 1);
            dialog.reject();
        });
    }
}

}  // namespace
}  // namespace kr40
