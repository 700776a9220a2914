// The spectrum settings dialog on its own state: loading the controls runs no
// handler, a click is stored and carried out once, Cancel rolls back.

#include "analysis/fft_set_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
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
        s.FFT_Size = 2;
        s.FFT_Win = 7;
        s.FFT_Zoom = 3;
        s.FFT_Ave_On = true;
        s.FFT_Dither = true;
    }

    ScopeState st;
    ScopeSettings& s = st.settings;
    std::vector<SettingsEffect> carried;
    TForm_FFTSet dialog{st, [this](const SettingsEffect& e) { carried.push_back(e); }, nullptr};

    QAbstractButton* Button(const char* name) { return dialog.findChild<QAbstractButton*>(name); }
    bool Checked(const char* name)
    {
        QAbstractButton* b = Button(name);
        EXPECT_NE(b, nullptr) << name;
        return b && b->isChecked();
    }
    void Click(const char* name)
    {
        QAbstractButton* b = Button(name);
        EXPECT_NE(b, nullptr) << name;
        if (b) b->click();
    }
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

TEST(FftSetDialog, LoadsQuietlyThenEveryClickIsStoredAndCarriedOnce)
{
    Fixture f;
    const bool ok = f.Run([&] {
        EXPECT_TRUE(f.st.BusyEvent.IsSet());
        EXPECT_TRUE(f.carried.empty());
        EXPECT_TRUE(f.Checked("RadioGroup_FFT_Size_2"));
        EXPECT_TRUE(f.Checked("RadioGroup_FFT_Win_7"));
        EXPECT_TRUE(f.Checked("RadioGroup_FFT_VScale_0"));
        EXPECT_TRUE(f.Checked("RadioGroup_FFT_Zoom_3"));
        EXPECT_TRUE(f.Checked("CheckBox_FFT_Ave_On"));
        EXPECT_TRUE(f.Checked("CheckBox_FFT_View_Sig"));
        EXPECT_FALSE(f.Checked("CheckBox_FFT_Calc_Both"));
        EXPECT_FALSE(f.Button("CheckBox_FFT_Dither")->isVisible());  // no TDC_Clbr
        EXPECT_EQ(f.dialog.windowTitle(), "FFT Settings");
        EXPECT_EQ(f.dialog.findChild<QGroupBox*>("RadioGroup_FFT_Zoom")->title(), "Zoom");
        EXPECT_EQ(f.Button("RadioGroup_FFT_Win_5")->text(), QString::fromUtf8("Blackman–Harris"));

        f.Click("RadioGroup_FFT_Win_1");
        EXPECT_EQ(f.s.FFT_Win, 1);
        ASSERT_EQ(f.carried.size(), 1u);
        EXPECT_EQ(f.carried[0].call, SettingsCall::Refresh);
        EXPECT_TRUE(f.carried[0].restartSpectrum);
        EXPECT_TRUE(f.Checked("RadioGroup_FFT_Win_1"));
        EXPECT_FALSE(f.Checked("RadioGroup_FFT_Win_7"));

        f.Click("RadioGroup_FFT_Win_1");  // already chosen: nothing changes
        EXPECT_EQ(f.carried.size(), 1u);

        f.Click("CheckBox_FFT_15dB_div");
        EXPECT_TRUE(f.s.FFT_15dB_div);
        ASSERT_EQ(f.carried.size(), 2u);
        EXPECT_EQ(f.carried[1].call, SettingsCall::Refresh);
        EXPECT_FALSE(f.carried[1].restartSpectrum);

        f.Click("Button_OK");
    });
    EXPECT_TRUE(ok);
    EXPECT_FALSE(f.st.BusyEvent.IsSet());
    EXPECT_EQ(f.carried.size(), 2u);  // OK carries nothing more
    EXPECT_EQ(f.s.FFT_Win, 1);
    EXPECT_TRUE(f.s.FFT_15dB_div);
}

TEST(FftSetDialog, CancelRestoresAndCarriesTheRollBack)
{
    Fixture f;
    f.s.Russian = true;
    f.s.TDC_Clbr = true;
    const bool ok = f.Run([&] {
        EXPECT_EQ(f.dialog.windowTitle(), QString::fromUtf8("Установки БПФ"));
        EXPECT_EQ(f.Button("Button_Cancel")->text(), QString::fromUtf8("Отмена"));
        EXPECT_EQ(f.Button("RadioGroup_FFT_Ave_6")->text(), QString::fromUtf8("Беск."));
        EXPECT_TRUE(f.Button("CheckBox_FFT_Dither")->isVisible());
        EXPECT_TRUE(f.Checked("CheckBox_FFT_Dither"));

        f.Click("RadioGroup_FFT_Size_0");
        f.Click("CheckBox_FFT_Dither");
        ASSERT_EQ(f.carried.size(), 2u);
        EXPECT_EQ(f.carried[1].call, SettingsCall::Apply);
        EXPECT_FALSE(f.s.FFT_Dither);
        EXPECT_EQ(f.s.FFT_Size, 0);

        f.Click("Button_Cancel");
    });
    EXPECT_FALSE(ok);
    EXPECT_FALSE(f.st.BusyEvent.IsSet());
    EXPECT_EQ(f.s.FFT_Size, 2);
    EXPECT_TRUE(f.s.FFT_Dither);
    ASSERT_EQ(f.carried.size(), 3u);
    EXPECT_EQ(f.carried[2].call, SettingsCall::Apply);
    EXPECT_TRUE(f.carried[2].restartSpectrum);
}

TEST(FftSetDialog, WithoutCarryTheStateTakesTheEffect)
{
    ScopeState st;
    st.settings.Russian = false;
    TForm_FFTSet dialog(st, nullptr, nullptr);
    QTimer::singleShot(0, &dialog, [&] {
        dialog.findChild<QAbstractButton*>("CheckBox_FFT_Ave_On")->click();
        dialog.reject();
    });
    EXPECT_FALSE(dialog.Run());
    EXPECT_FALSE(st.settings.FFT_Ave_On);  // rolled back
    EXPECT_EQ(st.SpectrumRestart, (std::array<bool, 4>{true, true, true, true}));
}

}  // namespace
}  // namespace kr40
