// The calibration and LC meter dialogs in the window, on the simulated
// instrument wired as each one asks: the runs go on while the event loop
// runs, OK and Cancel do what the menu handlers promise.

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <sstream>

#include "app/main_window_fixture.h"
#include "instruments/lc_meter_dialog.h"
#include "instruments/tdc_calibrate_dialog.h"
#include "instruments/zero_calibrate_dialog.h"
#include "simulator/instrument_truth.h"

namespace kr40 {
namespace {

constexpr int kRunMs = 90000;

void SavePicture(QWidget* w, const char* name)
{
    if (const QByteArray dir = qgetenv("KR40_DIALOG_PICTURES"); !dir.isEmpty())
        w->grab().save(QString::fromLocal8Bit(dir) + "/" + name);
}

// Ends the modal dialog a check left open when it failed, so that the test
// fails instead of waiting in the dialog's loop.
struct ModalCloser {
    ~ModalCloser()
    {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    }
};

QPushButton* ButtonOf(QWidget* dialog, const char* name)
{
    return dialog->findChild<QPushButton*>(name);
}

void OpenInputs(sim::SimProviderOptions& o)
{
    sim::WireOpenInputs(o.instrument);
    o.instrument.truth.zero = {{{3391, 690, -37}, {3318, 751, 22}}};
}

std::string FileText(const std::filesystem::path& p)
{
    std::ifstream in(p);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

using CalibrationDialogTest = MainWindowTest;

TEST_F(CalibrationDialogTest, CalibrationsWithoutAnInstrumentSayDeviceNotFound)
{
    prompts.answers = {PromptAnswer::Yes};
    Start(false, "[System]\nDebug_kr=1\n[Common]\nRussian=0\n");
    for (const char* item : {"Menu_ZeroCalibrate", "Menu_TDCCalibrate"}) {
        SCOPED_TRACE(item);
        const std::size_t told = prompts.messages.size();
        window->Action(item)->trigger();
        ASSERT_EQ(prompts.messages.size(), told + 1);
        EXPECT_EQ(prompts.messages.back().caption, "Calibrate Error");
        EXPECT_EQ(prompts.messages.back().text, "Device not found.");
        EXPECT_EQ(window->findChild<QDialog*>(), nullptr);
        EXPECT_FALSE(St().BusyEvent.IsSet());
    }
}

TEST_F(CalibrationDialogTest, ZeroCalibrationRunsWhileTheWindowStaysLiveAndOkKeepsTheRecord)
{
    prompts.answers = {PromptAnswer::Yes};
    Start(true, "[System]\nDebug_kr=1\n[Common]\nRussian=0\nFPS_NO_LIM=1\n", OpenInputs);
    ScopeState& st = St();
    const int a1Zero = st.settings.A1_Zero;
    bool busyInside = false;
    int progressSeen = 0;
    QTimer::singleShot(0, [&] {
        const ModalCloser closer;
        auto* dialog = window->findChild<TForm_ZeroCalibrate*>("Form_ZeroCalibrate");
        ASSERT_NE(dialog, nullptr);
        busyInside = st.BusyEvent.IsSet();
        EXPECT_FALSE(ButtonOf(dialog, "Button_OK")->isEnabled());
        ButtonOf(dialog, "Button_Start")->click();
        EXPECT_FALSE(ButtonOf(dialog, "Button_Start")->isEnabled());
        // The run advances through the event loop: the progress bar moves.
        auto* progress = dialog->findChild<QProgressBar*>("ProgressBar");
        EXPECT_TRUE(QTest::qWaitFor([&] { return progress->value() > 10; }, kRunMs));
        progressSeen = progress->value();
        // The main window resized meanwhile redraws without taking the
        // acquisition back from the run.
        window->resize(window->width() + 40, window->height() + 30);
        QCoreApplication::processEvents();
        EXPECT_TRUE(QTest::qWaitFor([&] { return Instrument().Registers().ChMask() == 0x83; }, 5000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return ButtonOf(dialog, "Button_OK")->isEnabled(); }, kRunMs))
            << dialog->findChild<QLabel*>("Label_Status")->text().toStdString();
        EXPECT_EQ(dialog->findChild<QLabel*>("Label_Status")->text(), "Calibration OK.");
        EXPECT_TRUE(dialog->findChild<QLabel*>("Label_Result")->isVisible());  // debug mode
        SavePicture(dialog, "zero_calibrate_en.png");
        ButtonOf(dialog, "Button_OK")->click();
    });
    window->Action("Menu_ZeroCalibrate")->trigger();
    EXPECT_TRUE(busyInside);
    EXPECT_GT(progressSeen, 10);
    EXPECT_FALSE(st.BusyEvent.IsSet());
    EXPECT_NEAR(st.settings.Z_A1P1, 3391, 2);
    EXPECT_NEAR(st.settings.Z_A2P2, 751, 2);
    EXPECT_NEAR(st.settings.Z_A2SH, 22, 2);
    EXPECT_EQ(st.settings.A1_Zero, a1Zero);
    // OK wrote the program's settings file.
    const std::string ini = FileText(settingsFile);
    EXPECT_NE(ini.find("Z_A1P1=" + std::to_string(st.settings.Z_A1P1)), std::string::npos) << ini;
    EXPECT_NE(ini.find("Z_A2SH=" + std::to_string(st.settings.Z_A2SH)), std::string::npos) << ini;
}

TEST_F(CalibrationDialogTest, CancelEndsAZeroCalibrationAtOnceWithNothingKept)
{
    Start(true, "[Common]\nRussian=0\n", OpenInputs);
    ScopeState& st = St();
    const ScopeSettings before = st.settings;
    QTimer::singleShot(0, [&] {
        const ModalCloser closer;
        auto* dialog = window->findChild<TForm_ZeroCalibrate*>("Form_ZeroCalibrate");
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(dialog->findChild<QLabel*>("Label_Result")->isVisible());  // no debug mode
        ButtonOf(dialog, "Button_Start")->click();
        auto* progress = dialog->findChild<QProgressBar*>("ProgressBar");
        EXPECT_TRUE(QTest::qWaitFor([&] { return progress->value() > 20; }, kRunMs));
        ButtonOf(dialog, "Button_Cancel")->click();
        EXPECT_FALSE(dialog->Calibration().Running());
    });
    window->Action("Menu_ZeroCalibrate")->trigger();
    EXPECT_EQ(st.settings.Z_A1P1, before.Z_A1P1);
    EXPECT_EQ(st.settings.Z_A1SH, before.Z_A1SH);
    EXPECT_EQ(st.settings.A1_Zero, before.A1_Zero);
    EXPECT_EQ(st.settings.A2_Zero, before.A2_Zero);
    EXPECT_EQ(st.settings.CH_A2, before.CH_A2);
    EXPECT_EQ(FileText(settingsFile).find("Z_A1P1"), std::string::npos);  // nothing written
    // The window's own configuration goes back to the instrument.
    EXPECT_TRUE(QTest::qWaitFor([&] { return Instrument().Registers().ZeroCalA1() == st.acq.Zero_Cal_A1; }, 5000));
}

TEST_F(CalibrationDialogTest, TdcCalibrationOkSendsTheFoundValuesToTheInstrument)
{
    prompts.answers = {PromptAnswer::Yes};
    Start(true, "[System]\nDebug_kr=1\n[Common]\nRussian=0\nFPS_NO_LIM=1\n",
          [](sim::SimProviderOptions& o) { sim::WireGeneratorToDigital(o.instrument); });
    ScopeState& st = St();
    ASSERT_TRUE(window->Action("Menu_TDCCalibrate")->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return st.link.identity.Get().TdcFresh; }, 5000));
    const sim::InstrumentTruth truth = Instrument().Options().truth;
    QTimer::singleShot(0, [&] {
        const ModalCloser closer;
        auto* dialog = window->findChild<TForm_TDCCalibrate*>("Form_TDCCalibrate");
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->findChild<QLabel*>("Label_Result")->text(),
                  "Rise = 10/20 nS     Fall = 10/20 nS\r\nRise = 10/20 nS     Fall = 10/20 nS\r\n");
        ButtonOf(dialog, "Button_Start")->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return ButtonOf(dialog, "Button_OK")->isEnabled(); }, kRunMs))
            << dialog->findChild<QLabel*>("Label_Status")->text().toStdString();
        SavePicture(dialog, "tdc_calibrate_en.png");
        ButtonOf(dialog, "Button_OK")->click();
    });
    window->Action("Menu_TDCCalibrate")->trigger();
    EXPECT_FALSE(st.BusyEvent.IsSet());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const DeviceIdentity id = st.link.identity.Get();
            return id.TdcFresh && id.Tdc == truth.tdcCounts;
        },
        5000));
}

TEST_F(CalibrationDialogTest, LcMeterConfiguresTheInstrumentAndLeavesTheWindowsSettingsAsTheyWere)
{
    Start(true, "[Common]\nRussian=0\n[Scope]\nA1_Zero=90\n");
    ScopeState& st = St();
    // D1 on, which the meter's configuration switches off.
    if (!st.settings.CH_D1) window->Action("Menu_CH_D1")->trigger();
    const ScopeSettings before = st.settings;
    ASSERT_TRUE(before.CH_D1);
    QTimer::singleShot(0, [&] {
        const ModalCloser closer;
        auto* dialog = window->findChild<TForm_LCMeter*>("Form_LCMeter");
        ASSERT_NE(dialog, nullptr);
        // The measuring configuration reaches the instrument: A1 alone, the
        // 10 Hz test sine at amplitude 1000.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                const sim::SimRegisters r = Instrument().Registers();
                return r.ChMask() == 0x81 && r.GenAmpl() == 1000 && r.GenWordA() == 28147498 && r.RangeA1() == 0x14;
            },
            5000));
        EXPECT_TRUE(ButtonOf(dialog, "Button_Exit")->hasFocus());
        EXPECT_FALSE(ButtonOf(dialog, "Button_Start")->isEnabled());
        EXPECT_TRUE(dialog->findChild<QPlainTextEdit*>("Memo_Info")->toPlainText().startsWith("LC METER\n\nC RANGE"));
        SavePicture(dialog, "lc_meter_en.png");
        ButtonOf(dialog, "Button_Exit")->click();
    });
    window->Action("Menu_LCMeter")->trigger();
    EXPECT_EQ(st.settings.A1_Zero, 90);
    EXPECT_EQ(st.settings.CH_A1, before.CH_A1);
    EXPECT_EQ(st.settings.CH_A2, before.CH_A2);
    EXPECT_EQ(st.settings.CH_D1, before.CH_D1);
    EXPECT_EQ(st.settings.CH_D2, before.CH_D2);
    EXPECT_TRUE(window->Action("Menu_CH_D1")->isChecked());
    EXPECT_FALSE(st.BusyEvent.IsSet());
    EXPECT_TRUE(QTest::qWaitFor([&] { return Instrument().Registers().ChMask() == st.acq.Ch_Mask; }, 5000));
}

}  // namespace
}  // namespace kr40
