// The modulation dialog on its own state: the controls show the settings,
// every change is applied at once, the enabling rules reach the widgets and
// Cancel rolls the nine settings back.

#include "generator/gen_mod_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QScrollBar>
#include <QTimer>
#include <functional>
#include <vector>

#include "state/scope_state.h"

namespace kr40 {
namespace {

struct Fixture {
    Fixture()
    {
        s.Russian = false;
        s.Mod_Type = ModAm;
        s.Mod_Freq_Fast = 10;
        s.Mod_Param = 700;
        s.Inv = 1;
    }

    ScopeState st;
    ScopeSettings& s = st.settings;
    std::vector<SettingsEffect> carried;
    TForm_GeneratorSet dialog{st, [this](const SettingsEffect& e) { carried.push_back(e); }, nullptr};

    QAbstractButton* Button(const char* name) { return dialog.findChild<QAbstractButton*>(name); }
    QString Text(const char* label) { return dialog.findChild<QLabel*>(label)->text(); }
    // Runs the dialog; `inside` runs in its event loop and must end it.
    bool Run(std::function<void()> inside)
    {
        QTimer::singleShot(0, &dialog, [this, inside] {
            inside();
            if (dialog.isVisible()) dialog.reject();  // a failed check must not hang the test
        });
        return dialog.Run();
    }
};

TEST(GenModDialog, ShowsTheSettingsAppliesChangesAndCancelRestores)
{
    Fixture f;
    const bool ok = f.Run([&] {
        EXPECT_TRUE(f.st.BusyEvent.IsSet());
        ASSERT_EQ(f.carried.size(), 1u);  // the update on showing
        EXPECT_EQ(f.dialog.windowTitle(), "Generator Modulation Settings");
        EXPECT_TRUE(f.Button("SpeedButton_AM")->isChecked());
        EXPECT_TRUE(f.Button("SpeedButton_Int_Src")->isChecked());
        EXPECT_TRUE(f.Button("CheckBox_Inv")->isChecked());
        EXPECT_TRUE(f.Button("SpeedButton_MF_10K")->isChecked());
        EXPECT_FALSE(f.Button("SpeedButton_MF_50M")->isVisible());
        EXPECT_EQ(f.Text("Label_ModFreq"), "Mod. Sig. Freq. = 100.00 Hz");
        EXPECT_EQ(f.Text("Label_Mod_Param"), "K AM = 70.0%");
        EXPECT_FALSE(f.Button("SpeedButton_Dev_10K")->isEnabled());

        f.Button("CheckBox_Inv")->click();
        EXPECT_EQ(f.s.Inv, 0);
        f.Button("SpeedButton_MF_10M")->click();
        EXPECT_TRUE(f.Button("SpeedButton_MF_Sin")->isChecked());
        EXPECT_FALSE(f.Button("SpeedButton_MF_Rect")->isEnabled());
        f.Button("SpeedButton_FM")->click();
        f.Button("SpeedButton_ESrc_A2")->click();
        EXPECT_TRUE(f.Button("SpeedButton_Dev_10K")->isEnabled());
        EXPECT_EQ(f.Button("SpeedButton_Dev_100K")->text(), "20K");
        EXPECT_FALSE(f.dialog.findChild<QScrollBar*>("ScrollBar_MF_Fast")->isEnabled());
        EXPECT_FALSE(f.Button("SpeedButton_MF_Sin")->isEnabled());
        EXPECT_EQ(f.Text("Label_Mod_Param"), "Dev. FM = 1.400 KHz / Div");
        f.dialog.findChild<QScrollBar*>("ScrollBar_Mod_Param")->setValue(100);
        EXPECT_EQ(f.s.Mod_Param, 100);
        EXPECT_EQ(f.carried.back().call, SettingsCall::Apply);
        EXPECT_EQ(f.carried.size(), 6u);  // one per change

        if (const QByteArray dir = qgetenv("KR40_DIALOG_PICTURES"); !dir.isEmpty())
            f.dialog.grab().save(QString::fromLocal8Bit(dir) + "/gen_modulation_en.png");
        f.Button("Button_Cancel")->click();
    });
    EXPECT_FALSE(ok);
    EXPECT_FALSE(f.st.BusyEvent.IsSet());
    EXPECT_EQ(f.s.Inv, 1);
    EXPECT_EQ(f.s.Mod_Type, ModAm);
    EXPECT_EQ(f.s.Mod_Src, ModInternal);
    EXPECT_EQ(f.s.MF_Mult, 1);
    EXPECT_EQ(f.s.Mod_Param, 700);
    EXPECT_EQ(f.carried.back().call, SettingsCall::Apply);
}

TEST(GenModDialog, RussianCaptions)
{
    Fixture f;
    f.s.Russian = true;
    f.Run([&] {
        EXPECT_EQ(f.dialog.windowTitle(), QString::fromUtf8("Установки модуляции генератора"));
        EXPECT_EQ(f.Button("SpeedButton_FM")->text(), QString::fromUtf8("ЧМ"));
        EXPECT_EQ(f.Button("CheckBox_Inv")->text(), QString::fromUtf8("Инверсия"));
        EXPECT_EQ(f.Button("Button_Cancel")->text(), QString::fromUtf8("Отмена"));
        EXPECT_EQ(f.Text("Label_Mod_Param"), QString::fromUtf8("Коэффициент АМ = 70.0%"));
        if (const QByteArray dir = qgetenv("KR40_DIALOG_PICTURES"); !dir.isEmpty())
            f.dialog.grab().save(QString::fromLocal8Bit(dir) + "/gen_modulation_ru.png");
    });
}

}  // namespace
}  // namespace kr40
