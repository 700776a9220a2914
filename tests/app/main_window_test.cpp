// The main window on the offscreen platform, driven like a user would: the
// real acquisition thread on the simulated instrument, scripted prompts.

#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <fstream>
#include <thread>

#include "acquisition/scope_settings.h"
#include "acquisition/scope_tables.h"
#include "analysis/spectrum.h"
#include "app/main_window_fixture.h"
#include "app/single_instance.h"
#include "display/screen.h"
#include "files/data_file.h"
#include "recorder/recorder_dialog.h"
#include "simulator/sim_provider.h"
#include "state/scope_state.h"
#include "support/eventually.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"
#include "ui/captions.h"
#include "ui/color_set_dialog.h"

namespace kr40 {
namespace {

using sim::Fault;

TEST_F(MainWindowTest, WithoutInstrumentStartIsSilentAndRunReportsDeviceNotFound)
{
    Start(false);
    // The worker's first hand-off has run.
    ASSERT_TRUE(QTest::qWaitFor([&] { return St().link.counters.redraws > 0; }, 5000));
    EXPECT_TRUE(prompts.messages.empty());
    Btn("SpeedButton_Run")->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "USB Error - 2");
    EXPECT_EQ(prompts.messages[0].text, "Device not found.");
    EXPECT_FALSE(Btn("SpeedButton_Run")->isChecked());
    EXPECT_FALSE(St().settings.Run_Down);
}

TEST_F(MainWindowTest, RunBringsFramesAndTurnsTheIndicator)
{
    Start();
    const int spokes = window->Display().spokeCounter, hand = window->Display().handCounter;
    Btn("SpeedButton_Run")->click();
    EXPECT_TRUE(Btn("SpeedButton_Run")->isChecked());
    ASSERT_TRUE(WaitFrames(3));
    EXPECT_TRUE(Btn("SpeedButton_Run")->isChecked());
    EXPECT_NE(window->Display().handCounter, hand);
    EXPECT_NE(window->Display().spokeCounter, spokes);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(MainWindowTest, SingleStopsAfterOneCompleteFrame)
{
    Start();
    Btn("SpeedButton_Sngl")->click();
    ASSERT_TRUE(WaitFrames(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Btn("SpeedButton_Sngl")->isChecked(); }, 5000));
    EXPECT_FALSE(St().settings.Sngl_Down);
    const int frames = window->FramesDrawn();
    // The instrument stops and stays stopped for three service periods; all
    // it sent has been read and drawn.
    ASSERT_TRUE(QTest::qWaitFor([&] { return (Instrument().Registers().ChMask() & 0x80) == 0; }, 5000));
    ASSERT_TRUE(WaitServicePeriods(3));
    ASSERT_TRUE(WaitCaughtUp());
    EXPECT_EQ(window->FramesDrawn(), frames);
}

TEST_F(MainWindowTest, UnpluggedCableOffersRecoveryAndNoLeavesButtonsUp)
{
    Start();
    Btn("SpeedButton_Run")->click();
    ASSERT_TRUE(WaitFrames(1));
    prompts.answers.push_back(PromptAnswer::No);
    provider->Instrument().SetFault(Fault::Unplugged, true);
    ASSERT_TRUE(WaitMessage(1, 3000));
    EXPECT_EQ(prompts.messages[0].caption, "Warning");
    EXPECT_EQ(prompts.messages[0].text, "Recover after USB connection lost.\r\nError code 1");
    EXPECT_EQ(prompts.messages[0].buttons, PromptButtons::YesNo);
    for (const char* b : {"SpeedButton_Run", "SpeedButton_Sngl", "SpeedButton_GenOn"})
        EXPECT_FALSE(Btn(b)->isChecked()) << b;
    // The settings were saved before the box.
    EXPECT_TRUE(std::filesystem::exists(settingsFile));
}

TEST_F(MainWindowTest, SilentInstrumentGivesThePowerFailureBox)
{
    Start();
    Btn("SpeedButton_Run")->click();
    ASSERT_TRUE(WaitFrames(1));
    prompts.answers.push_back(PromptAnswer::No);
    provider->Instrument().SetFault(Fault::ServiceStopped, true);
    // Service packets already on their way reset the count when they arrive.
    ASSERT_TRUE(WaitCaughtUp());
    // Six silent seconds: the window timer's ticks, run here without waiting.
    for (int i = 0; i < 8 && prompts.messages.empty(); ++i) window->Timer1Timer();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Recover after Power failure.\r\nError code 3");
}

TEST_F(MainWindowTest, SecondStartHandsItsFileToTheFirst)
{
    Start();
    const auto krs = dir.path() / "hand over.krs";
    std::ofstream(krs) << "[Common]\nCH_D1=1\n[Scope]\n2mS=1\n";
    SingleInstance first(QString("kr40_test_%1_%2").arg(QCoreApplication::applicationPid()).arg(__LINE__));
    ASSERT_TRUE(first.Claim());
    QObject::connect(&first, &SingleInstance::HandedOver, window.get(),
                     [&](int count, const QString& arg) { window->HandOver(count, arg); });
    bool delivered = false;
    std::thread second(
        [&] { delivered = SingleInstance::HandOver(first.Name(), 1, QString::fromStdString(krs.string()), 5000); });
    const bool switched =
        QTest::qWaitFor([&] { return St().settings.Sel(Group::TimeBase) == TimeBaseIndex("2mS"); }, 5000);
    second.join();
    EXPECT_TRUE(delivered);
    EXPECT_TRUE(switched) << (prompts.messages.empty() ? "" : prompts.messages[0].text);
    EXPECT_TRUE(Btn("SpeedButton_2mS")->isChecked());
}

// A data file handed over (or named on the command line, or dropped) opens
// as the main frame, its reference behind it.
TEST_F(MainWindowTest, HandedOverDataFileOpensWithItsReference)
{
    Start();
    auto main = std::make_unique<FrameSet>(), ref = std::make_unique<FrameSet>();
    main->rec.ValidLen = main->rec.FrameLen = 200;
    main->rec.ChannelMask = 1;
    ref->rec.ValidLen = ref->rec.FrameLen = 100;
    ref->rec.ChannelMask = 2;
    const auto file = dir.path() / "handed.krd";
    std::ofstream(file, std::ios::binary) << EncodeDataFile(*main, DataFileSpectra{}, ref.get());
    std::ofstream(dir.path() / "handed.krs") << "[Common]\nCH_D1=1\n";

    window->HandOver(1, QString::fromStdString(file.string()));
    EXPECT_TRUE(prompts.messages.empty()) << prompts.messages[0].text;
    EXPECT_EQ(St().LiveName, "handed.krd");
    EXPECT_EQ(St().live->rec.ValidLen, 200);
    EXPECT_TRUE(St().RefExists);
    EXPECT_EQ(St().RefName, "handed_BG.krd");
    EXPECT_TRUE(window->Action("Menu_BG_View")->isChecked());
    EXPECT_EQ(St().LastFolder, dir.path().string());
}

TEST_F(MainWindowTest, KeyboardEdgeCases)
{
    Start();
    ScopeSettings& s = St().settings;
    // Right at 50 nS changes nothing (and still applies).
    Btn("SpeedButton_50nS")->click();
    QTest::keyClick(window.get(), Qt::Key_Right);
    EXPECT_EQ(s.Sel(Group::TimeBase), TimeBaseIndex("50nS"));
    QTest::keyClick(window.get(), Qt::Key_Left);
    EXPECT_EQ(s.Sel(Group::TimeBase), TimeBaseIndex("01uS"));
    EXPECT_TRUE(Btn("SpeedButton_01uS")->isChecked());
    // Up at 2 V changes nothing; Down steps to 1 V.
    Btn("SpeedButton_2V_A1")->click();
    QTest::keyClick(window.get(), Qt::Key_Up);
    EXPECT_EQ(s.Sel(Group::VoltsA1), VoltsIndex("2V"));
    QTest::keyClick(window.get(), Qt::Key_Down);
    EXPECT_EQ(s.Sel(Group::VoltsA1), VoltsIndex("1V"));
    // Ctrl+A with averaging off does nothing, also with a spectrum shown.
    s.FFT_View_A1 = true;
    s.FFT_Ave_On = false;
    const int ave = s.FFT_Ave;
    QTest::keyClick(window.get(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(s.FFT_Ave, ave);
    EXPECT_FALSE(s.FFT_Ave_On);
    // Space presses Run.
    s.FFT_View_A1 = false;
    QTest::keyClick(window.get(), Qt::Key_Space);
    EXPECT_TRUE(Btn("SpeedButton_Run")->isChecked());
}

TEST_F(MainWindowTest, TriggerButtonsReArmTheTriggerOrNot)
{
    Start(false);
    const struct {
        const char* button;
        bool rearms;
    } cases[] = {{"SpeedButton_TrigA2", true}, {"SpeedButton_TrigD1", true},   {"SpeedButton_TrigEdge", true},
                 {"SpeedButton_TPLUS", true},  {"SpeedButton_Trig_On", false}, {"SpeedButton_Auto", false}};
    for (const auto& c : cases) {
        St().requests.TrigChanged = false;
        St().requests.SettingsRequest = false;
        Btn(c.button)->click();
        EXPECT_EQ(St().requests.TrigChanged.load(), c.rearms) << c.button;
        EXPECT_TRUE(St().requests.SettingsRequest.load()) << c.button << " applies the settings";
    }
    // A settings file re-arms the trigger too.
    const auto krs = dir.path() / "trigger.krs";
    std::ofstream(krs) << "[Common]\nCH_D1=1\n[Trigger]\nAuto=1\n";
    St().requests.TrigChanged = false;
    window->OpenByExtension(krs.string());
    EXPECT_TRUE(St().settings.Auto);
    EXPECT_TRUE(St().requests.TrigChanged.load());
}

TEST_F(MainWindowTest, HeaderButtonReturnsProbeX100ToX1)
{
    Start();
    window->Action("Menu_A1_x100")->trigger();
    EXPECT_EQ(St().settings.Sel(Group::ProbeA1), ProbeX100);
    EXPECT_TRUE(window->Action("Menu_A1_x100")->isChecked());
    Btn("SpeedButton_VoltsDiv_A1")->click();
    EXPECT_EQ(St().settings.Sel(Group::ProbeA1), ProbeX1);
    EXPECT_TRUE(window->Action("Menu_A1_x1")->isChecked());
    EXPECT_FALSE(window->Action("Menu_A1_x100")->isChecked());
    Btn("SpeedButton_VoltsDiv_A1")->click();
    EXPECT_EQ(St().settings.Sel(Group::ProbeA1), ProbeX10);
}

TEST_F(MainWindowTest, MenusFollowTheFirmwareVersion)
{
    Start(false);
    const auto open = [&](const char* menu) { emit window->Menu(menu)->aboutToShow(); };
    const struct {
        int firmware;
        bool transferRate, schmitt;
    } cases[] = {{-1, true, true}, {211, false, false}, {212, false, true}, {213, true, true}};
    for (const auto& c : cases) {
        St().link.identity.Update([&](DeviceIdentity& id) { id.FirmVer = c.firmware; });
        open("Menu_File");
        open("Menu_Options");
        EXPECT_EQ(window->Action("Menu_Transfer_Rate")->isVisible(), c.transferRate) << c.firmware;
        EXPECT_EQ(window->Action("Menu_SchmittT_D1")->isVisible(), c.schmitt) << c.firmware;
        EXPECT_EQ(window->Action("Menu_SchmittT_D2")->isVisible(), c.schmitt) << c.firmware;
        EXPECT_EQ(window->Action("Sep_SchmittT")->isVisible(), c.schmitt) << c.firmware;
    }
}

TEST_F(MainWindowTest, RussianAndBackGivesTheDesignedEnglishCaptions)
{
    Start(false);
    const auto text = [&](const std::string& name) -> QString {
        if (QAction* a = window->Action(name)) return a->text();
        if (QAbstractButton* b = window->Button(name)) return b->text();
        return {};
    };
    std::map<std::string, QString> designed;
    for (const CaptionRow& r : MainCaptions()) designed[r.control] = text(r.control);

    window->Action("Menu_Russian")->trigger();
    EXPECT_TRUE(St().settings.Russian);
    EXPECT_EQ(text("Menu_File"), QString::fromUtf8("Файл"));
    EXPECT_EQ(text("SpeedButton_Run"), QString::fromUtf8("Пуск"));
    EXPECT_EQ(text("Menu_Language"), "Language");
    EXPECT_TRUE(window->Action("Menu_Russian")->isChecked());
    EXPECT_FALSE(window->Action("Menu_English")->isChecked());

    window->Action("Menu_English")->trigger();
    EXPECT_FALSE(St().settings.Russian);
    for (const auto& [name, caption] : designed) {
        if (caption.isEmpty()) continue;  // a control of a later panel
        EXPECT_EQ(text(name), caption) << name;
    }
    EXPECT_EQ(text("Menu_CH_A1"), "CH A1");
    EXPECT_EQ(text("Menu_Transfer_Rate"), "Transfer Rate (Mbps)");
    EXPECT_EQ(text("Menu_Recorder"), "Binary Recorder (CH A1)...");
}

TEST_F(MainWindowTest, ColourDialogCancelRestoresAllTwelveColours)
{
    Start(false);
    ScopeSettings& s = St().settings;
    for (int i = 0; i < ColorCount; ++i) s.Colors[static_cast<std::size_t>(i)] = 0x010203u * (i + 1);
    const auto before = s.Colors;
    prompts.colours.push_back(0x123456u);
    std::array<std::uint32_t, ColorCount> shownLive{};
    QTimer::singleShot(0, [&] {
        auto* dialog = window->findChild<TForm_ColorSet*>("Form_ColorSet");
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QPushButton*>("Button_cl_A2")->click();
        EXPECT_EQ(s.Colors[ColorA2], 0x123456u);
        dialog->findChild<QPushButton*>("Button_clDefault")->click();
        shownLive = s.Colors;
        dialog->findChild<QPushButton*>("Button_Cancel")->click();
    });
    window->Menu_ColorsClick();
    EXPECT_NE(shownLive, before);
    EXPECT_EQ(s.Colors, before);
    EXPECT_FALSE(St().BusyEvent.IsSet());
}

TEST_F(MainWindowTest, ClosingWhileFramesStreamStopsTheThread)
{
    Start();
    Btn("SpeedButton_Run")->click();
    ASSERT_TRUE(WaitFrames(2));
    // Let the worker block in a hand-off that this (user-interface) thread
    // does not serve, then close: the join must not wait for it. With events
    // not served, a due redraw stays due: the worker is in or entering it.
    ASSERT_TRUE(test::Eventually([&] { return St().requests.RedrawRequest || St().link.ServiceRedrawRequest; }));
    window->close();
    EXPECT_FALSE(window->isVisible());
    window.reset();
    // The settings file was written on close.
    std::ifstream in(settingsFile);
    std::string all((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(all.find("[Scope]"), std::string::npos);
}

// Every setting a button or menu item of the window holds has that control.
TEST_F(MainWindowTest, EveryKeysButtonOrMenuItemExists)
{
    Start(false);
    int found = 0;
    for (const SettingKey& k : SettingKeys()) {
        const bool windowControl = k.heldBy.rfind("Menu_", 0) == 0 || k.heldBy.rfind("SpeedButton_", 0) == 0 ||
                                   k.heldBy.rfind("ScrollBar_", 0) == 0;
        if (!windowControl) continue;
        EXPECT_TRUE(window->Control(k.heldBy) || window->Action(k.heldBy)) << k.heldBy << " of " << k.name;
        ++found;
    }
    EXPECT_GT(found, 100);
}

TEST_F(MainWindowTest, NoiseButtonHoldsItsRangeInBothLanguages)
{
    Start(false);
    Btn("SpeedButton__10uS_Noise")->click();
    EXPECT_EQ(St().settings.Sel(Group::GenRange), GenNoise_10uS);
    for (const char* other : {"SpeedButton_10K_1S", "SpeedButton_100K_100mS", "SpeedButton_50M_100uS"})
        EXPECT_FALSE(Btn(other)->isChecked()) << other;
    EXPECT_TRUE(Btn("SpeedButton__10uS_Noise")->isChecked());
    window->Action("Menu_Russian")->trigger();
    EXPECT_EQ(Btn("SpeedButton__10uS_Noise")->text(), QString::fromUtf8("Шум"));
    window->Action("Menu_English")->trigger();
    EXPECT_EQ(Btn("SpeedButton__10uS_Noise")->text(), "Noise");
}

// The generator panel: the bars stay coupled in pulse mode, the read-outs and
// captions follow the mode, and a double click on Label_Mod opens the
// modulation dialog.
TEST_F(MainWindowTest, GeneratorPanelFollowsItsModes)
{
    Start(false);
    ScopeSettings& s = St().settings;
    auto* fast = qobject_cast<QScrollBar*>(window->Control("ScrollBar_F_fast"));
    auto* slow = qobject_cast<QScrollBar*>(window->Control("ScrollBar_F_slow"));
    auto* labelF = qobject_cast<QLabel*>(window->Control("Label_F"));
    Btn("SpeedButton_10K_1S")->click();
    fast->setValue(10);
    slow->setValue(5);
    EXPECT_EQ(labelF->text(), "100.50 Hz");
    EXPECT_EQ(St().acq.Gen_Word_A, 282882352u);

    Btn("SpeedButton_10M_1mS")->click();
    Btn("SpeedButton_Pulse")->click();
    EXPECT_EQ(Btn("SpeedButton_10M_1mS")->text(), "1 mS");
    EXPECT_FALSE(Btn("SpeedButton_Sin")->isVisible());
    fast->setValue(250);
    EXPECT_EQ(slow->value(), 250);  // pushed up with fast
    slow->setValue(1000);
    EXPECT_EQ(labelF->text(), "250 uS  /  1.00 mS");
    EXPECT_TRUE(window->Control("Label_Pulse")->isVisible());
    slow->setValue(100);
    EXPECT_EQ(s.F_fast, 100);  // pulled down with slow

    Btn("SpeedButton_Mod")->click();
    EXPECT_FALSE(Btn("SpeedButton_Pulse")->isChecked());
    EXPECT_TRUE(window->Control("Label_Mod")->isVisible());
    EXPECT_EQ(Btn("SpeedButton_10M_1mS")->text(), "10 M");
    bool opened = false;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = window->findChild<QWidget*>("Form_GeneratorSet");
        opened = dialog && dialog->isVisible();
        if (dialog) dialog->findChild<QAbstractButton*>("Button_Cancel")->click();
    });
    QTest::mouseDClick(window->Control("Label_Mod"), Qt::LeftButton);
    EXPECT_TRUE(opened);
    EXPECT_FALSE(St().BusyEvent.IsSet());
}

// A generator script handed to the window is compiled silently, uploaded to
// the instrument, listed beside the settings, and compiled again when saved
// again while loaded.
TEST_F(MainWindowTest, GeneratorScriptUploadsAndFollowsItsFile)
{
    Start();
    const std::string script = (dir / "ramp.krg").string();
    test::TempDir::Write(script, "#AUTOR 0\ntop: OUT 100\nmid: DIFF 50\nJMP top\n");
    window->OpenByExtension(script);
    ScopeState& st = St();
    EXPECT_TRUE(prompts.messages.empty());  // silent
    EXPECT_EQ(st.settings.Sel(Group::GenMode), GenAfgMode);
    ASSERT_TRUE(QTest::qWaitFor([&] { return st.link.WaveTableLoaded.load(); }, 5000));
    EXPECT_EQ(Instrument().Registers().wave[1], 0x1000 + 50);
    EXPECT_TRUE(std::filesystem::exists(dir / "krg.lst"));
    auto* marks = qobject_cast<QComboBox*>(window->Control("ComboBox_AFG"));
    ASSERT_EQ(marks->count(), 4);
    EXPECT_EQ(marks->itemText(2), "mid");
    EXPECT_TRUE(window->Control("SpeedButton_GenRun")->isVisible() == st.settings.GenOn_Down);

    // Saved again in an editor: compiled again by the once-a-second watch.
    const auto saved = std::filesystem::last_write_time(script);
    test::TempDir::Write(script, "#AUTOR 0\nOUT 7\nJMP 0\n");
    std::filesystem::last_write_time(script, saved + std::chrono::seconds(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return st.link.WaveTable.Get()[0] == 7; }, 3000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Instrument().Registers().wave[0] == 7; }, 5000));
    EXPECT_EQ(marks->count(), 2);
    ASSERT_FALSE(prompts.messages.empty());  // a reload on disk is not silent
    EXPECT_EQ(prompts.messages.back().caption, "Open AFG File");
}

// The serial decoder on the simulated D1: the lane over the traces and the
// dialog's text window read the demo line; Cancel restores the settings.
TEST_F(MainWindowTest, SerialDecoderReadsTheDemoLine)
{
    Start(true,
          "[Common]\nRussian=0\nCH_A2=0\nCH_D2=0\n[Scope]\n1mS=0\n5mS=1\n"
          "[Decoders]\nType=1\nBaud_Rate=9600\nRXD=2\nTXD=0\nDisplay=2\n");
    Btn("SpeedButton_Run")->click();
    ASSERT_TRUE(WaitFrames(3));
    ScopeState& st = St();
    ASSERT_TRUE(QTest::qWaitFor([&] { return st.decoderText.Text().find("KR40") != std::string::npos; }, 5000))
        << st.decoderText.Text();
    // The picture at 2 mS/div, where the characters have room for their
    // text: a frame that holds the start of the line.
    if (const QByteArray dir = qgetenv("KR40_DIALOG_PICTURES"); !dir.isEmpty()) {
        Btn("SpeedButton_2mS")->click();
        ASSERT_TRUE(WaitFrames(1));
        if (QTest::qWaitFor([&] { return st.decoderText.Text().find("KR40 demo") != std::string::npos; }, 10000))
            window->grab().save(QString::fromLocal8Bit(dir) + "/decoder_lane.png");
        Btn("SpeedButton_5mS")->click();
    }

    QString shown;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = window->findChild<QWidget*>("Form_S_Decoders");
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                shown = dialog->findChild<QPlainTextEdit*>("Memo_Decoders")->toPlainText();
                return shown.contains("KR40");
            },
            5000));
        auto* display = dialog->findChild<QComboBox*>("ComboBox_Display");
        EXPECT_EQ(display->currentIndex(), 2);
        if (const QByteArray dir = qgetenv("KR40_DIALOG_PICTURES"); !dir.isEmpty())
            dialog->grab().save(QString::fromLocal8Bit(dir) + "/decoder_dialog_en.png");
        auto* baud = dialog->findChild<QLineEdit*>("Edit_Baud_Rate");
        baud->setText("");
        QTest::keyClicks(baud, "1");
        EXPECT_EQ(st.settings.Dec_Baud_Rate, 9600);  // below 2: refused, kept
        EXPECT_EQ(baud->palette().color(QPalette::Base), QColor(255, 0, 255));
        baud->setText("");
        QTest::keyClicks(baud, "4800");
        EXPECT_EQ(st.settings.Dec_Baud_Rate, 4800);
        dialog->findChild<QAbstractButton*>("Button_Cancel")->click();
    });
    window->Action("Menu_SerialDecoders")->trigger();
    EXPECT_TRUE(shown.startsWith("RXD (Data - ")) << shown.toStdString();
    EXPECT_EQ(st.settings.Dec_Baud_Rate, 9600);
    EXPECT_FALSE(st.BusyEvent.IsSet());
}

// The recorder opens only on a running roll-mode acquisition; it records
// A1 through the window's hand-off until Stop.
TEST_F(MainWindowTest, RecorderRecordsThroughTheHandoff)
{
    prompts.answers = {PromptAnswer::Yes};  // service mode asks before opening the device found
    Start(true, "[System]\nDebug_kr=1\n[Common]\nRussian=0\n[Scope]\n1mS=1\n");
    const std::size_t told = prompts.messages.size();
    window->Action("Menu_Recorder")->trigger();
    ASSERT_EQ(prompts.messages.size(), told + 1);  // not running, not in roll mode
    EXPECT_EQ(prompts.messages.back().text, "Run 0.1 .. 20 S/Div. Disable Trigger.");

    ScopeState& st = St();
    st.LastFolder = dir.path().string();
    ASSERT_FALSE(st.settings.Trig_On);
    Btn("SpeedButton_100mS")->click();
    Btn("SpeedButton_Run")->click();
    ASSERT_TRUE(st.acq.Roll);
    ASSERT_TRUE(QTest::qWaitFor([&] { return st.lastRec.Divider != 0 && st.lastRec.RollFlag != 0; }, 10000));
    std::uint64_t total = 0;
    prompts.answers = {PromptAnswer::Yes};  // Stop recording?
    QTimer::singleShot(0, [&] {
        auto* dialog = window->findChild<TForm_Recorder*>("Form_Recorder");
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QPushButton*>("Button_Start")->click();
        EXPECT_TRUE(dialog->Session().Recording());
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->Session().Total() > 0; }, 10000));
        if (const QByteArray pictures = qgetenv("KR40_DIALOG_PICTURES"); !pictures.isEmpty())
            dialog->grab().save(QString::fromLocal8Bit(pictures) + "/recorder_dialog_en.png");
        dialog->findChild<QPushButton*>("Button_Stop")->click();
        total = dialog->Session().Total();
        dialog->findChild<QPushButton*>("Button_Exit")->click();
    });
    window->Action("Menu_Recorder")->trigger();
    EXPECT_GT(total, 0u);
    EXPECT_EQ(std::filesystem::file_size(dir / "recorder.bin"), total);
    EXPECT_TRUE(std::filesystem::exists(dir / "recorder.txt"));
    EXPECT_FALSE(st.recorder.active);
    EXPECT_FALSE(st.BusyEvent.IsSet());
}

// A radio menu's checked item clicked again stays checked, and the menu shows radio marks.
// Help › Contents hands the manual of the window's language to the desktop.
TEST_F(MainWindowTest, HelpContentsOpensTheManualInTheWindowsLanguage)
{
    executable = dir / "bin" / "kr40";
    for (const char* lang : {"en", "ru"}) {
        std::filesystem::create_directories(dir / "bin" / "help" / lang);
        std::ofstream(dir / "bin" / "help" / lang / "index.html") << "<!DOCTYPE html>";
    }
    Start(false);
    ASSERT_TRUE(window->Action("Menu_Help_Contents")->isEnabled());
    window->Action("Menu_Help_Contents")->trigger();
    window->Action("Menu_Russian")->trigger();
    window->Action("Menu_Help_Contents")->trigger();
    EXPECT_EQ(prompts.documents, (std::vector<std::string>{(dir / "bin" / "help" / "en" / "index.html").string(),
                                                           (dir / "bin" / "help" / "ru" / "index.html").string()}));
}

TEST_F(MainWindowTest, RadioMenuItemsStayCheckedWhenClickedAgain)
{
    Start(false);
    int radios = 0;
    for (const SettingKey& k : SettingKeys()) {
        if (k.type != KeyType::GroupItem || GroupOf(k.group).kind != GroupKind::MenuRadio) continue;
        QAction* a = window->Action(k.heldBy);
        ASSERT_NE(a, nullptr) << k.heldBy;
        if (!a->isEnabled()) continue;
        SCOPED_TRACE(k.heldBy);
        ++radios;
        a->trigger();
        a->trigger();
        EXPECT_TRUE(a->isChecked());
        EXPECT_EQ(St().settings.Sel(k.group), k.item);
        ASSERT_NE(a->actionGroup(), nullptr);
        EXPECT_EQ(a->actionGroup()->exclusionPolicy(), QActionGroup::ExclusionPolicy::Exclusive);
    }
    EXPECT_GT(radios, 20);
}

TEST_F(MainWindowTest, CounterResetReachesTheInstrumentOnce)
{
    Start();
    window->Action("Menu_FM_Period")->trigger();
    ASSERT_TRUE(window->Action("Menu_FM_RST")->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return St().link.SettingsAcked.load(); }, 5000));
    window->Action("Menu_FM_RST")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Instrument().CounterResets() == 1; }, 5000));
    // The next settings packet no longer asks for it.
    window->Action("Menu_FM_Freq")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return (Instrument().Registers().FmSrc() & 0x10) == 0; }, 5000));
    EXPECT_EQ(Instrument().CounterResets(), 1u);
}

// The two spectrum views exclude each other; the scroll bar walks the bins
// of the shown spectrum and returns to the samples in the time view.
TEST_F(MainWindowTest, SpectrumViewsAndTheScrollBar)
{
    Start();
    QScrollBar* x = window->findChild<QScrollBar*>("ScrollBar_X_POS");
    ASSERT_NE(x, nullptr);
    St().settings.FFT_Size = 6;  // Auto
    Btn("SpeedButton_Run")->click();
    window->Action("Menu_FFT_A1")->trigger();
    window->Action("Menu_FFT_A2")->trigger();
    EXPECT_TRUE(window->Action("Menu_FFT_A2")->isChecked());
    EXPECT_FALSE(window->Action("Menu_FFT_A1")->isChecked());
    ASSERT_TRUE(WaitFrames(2));
    ASSERT_NE(St().spectrum, nullptr);
    const int validLen = St().live->rec.ValidLen;
    const int bins = St().spectrum->ch[1].Bins();
    EXPECT_EQ(St().spectrum->ch[1].status, FftComputed);
    EXPECT_GE(2 * bins, validLen);
    EXPECT_EQ(x->maximum(), bins);

    window->Action("Menu_FFT_A2")->trigger();
    EXPECT_FALSE(window->Action("Menu_FFT_A2")->isChecked());
    ASSERT_TRUE(WaitFrames(1));
    EXPECT_EQ(x->maximum(), St().live->rec.ValidLen);
}

// A captured frame goes behind the live one and is shown; clearing it
// leaves only the live frame.
TEST_F(MainWindowTest, CapturedFrameBecomesTheReference)
{
    Start();
    window->Action("Menu_BG_Do")->trigger();  // nothing yet: only the view is checked
    EXPECT_TRUE(window->Action("Menu_BG_View")->isChecked());
    EXPECT_FALSE(St().RefExists);
    Btn("SpeedButton_Sngl")->click();
    ASSERT_TRUE(WaitFrames(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Btn("SpeedButton_Sngl")->isChecked(); }, 5000));
    const int validLen = St().live->rec.ValidLen;
    window->Action("Menu_BG_Do")->trigger();
    EXPECT_TRUE(St().RefExists);
    EXPECT_FALSE(St().LiveExists);
    EXPECT_EQ(St().ref->rec.ValidLen, validLen);
    EXPECT_EQ(St().settings.bgD_Zero, 1);
    window->Action("Menu_BG_Clr")->trigger();
    EXPECT_FALSE(St().RefExists);
    EXPECT_EQ(St().settings.bgD_Zero, 0);
}

TEST_F(MainWindowTest, HighResolutionWheelStepsOncePerNotch)
{
    Start(false);
    QWidget* screen = window->Control("Image_M");
    const QPointF at(screen->width() / 2.0, screen->height() / 2.0);
    const auto wheel = [&](int delta) {
        QWheelEvent e(at, screen->mapToGlobal(at), {}, QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(screen, &e);
    };
    const int before = St().settings.Sel(Group::TimeBase);
    for (int i = 0; i < 7; ++i) wheel(15);
    EXPECT_EQ(St().settings.Sel(Group::TimeBase), before);
    wheel(15);
    const int after = St().settings.Sel(Group::TimeBase);
    EXPECT_EQ(std::abs(after - before), 1);
    wheel(-120);
    EXPECT_EQ(St().settings.Sel(Group::TimeBase), before);
}

// Qt sends no second press after a double click: the click after a double
// click on a label area is a click of its own.
TEST_F(MainWindowTest, ClickAfterADoubleClickOnTheLabelsIsNotSwallowed)
{
    Start(false);
    St().settings.Markers_1 = true;
    St().settings.Markers_2 = false;
    QWidget* screen = window->Control("Image_M");
    const auto send = [&](QEvent::Type type, QPoint p) {
        QMouseEvent e(type, QPointF(p), screen->mapToGlobal(QPointF(p)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(screen, &e);
    };
    const bool genView = St().settings.Gen_View;
    const ScreenGeometry& g = window->Display().g;
    const QPoint below(g.GridLeft + g.GridWidth / 2, g.GridTop + g.GridHeight + 5);
    send(QEvent::MouseButtonPress, below);
    send(QEvent::MouseButtonRelease, below);
    send(QEvent::MouseButtonDblClick, below);
    send(QEvent::MouseButtonRelease, below);
    EXPECT_NE(St().settings.Gen_View, genView);

    const ScreenGeometry& h = window->Display().g;
    const QPoint inGrid(h.GridLeft + h.GridWidth / 4, h.GridTop + h.GridHeight / 2);
    St().settings.Marker_x = MarkerXMax;
    St().settings.Marker_y = 0;
    send(QEvent::MouseButtonPress, inGrid);
    send(QEvent::MouseButtonRelease, inGrid);
    // The press picked up the nearer marker line and moved it to the click.
    EXPECT_TRUE(St().settings.Marker_x != MarkerXMax || St().settings.Marker_y != 0);
}

TEST_F(MainWindowTest, CancelledOpenSettingsChangesNothingAndStartsInTheProgramsFolder)
{
    Start(false);
    St().requests.TrigChanged = false;
    St().requests.SettingsRequest = false;
    window->Action("Menu_Open_Settings")->trigger();  // no file chosen
    ASSERT_EQ(prompts.fileRequests.size(), 1u);
    EXPECT_EQ(prompts.fileRequests[0].folder, QCoreApplication::applicationDirPath().toStdString());
    EXPECT_FALSE(St().requests.TrigChanged);
    EXPECT_FALSE(St().requests.SettingsRequest);
}

// The controls' glyphs are set when their state changes, not on every tick.
TEST_F(MainWindowTest, GlyphsAreNotRebuiltEverySecond)
{
    Start(false);
    QAbstractButton* acdc = Btn("SpeedButton_ACDC_A1");
    const qint64 dc = acdc->icon().cacheKey();
    for (int i = 0; i < 3; ++i) window->Timer1Timer();
    EXPECT_EQ(acdc->icon().cacheKey(), dc);
    acdc->click();
    EXPECT_NE(acdc->icon().cacheKey(), dc);
    acdc->click();
    EXPECT_EQ(acdc->icon().cacheKey(), dc);
}

}  // namespace
}  // namespace kr40
