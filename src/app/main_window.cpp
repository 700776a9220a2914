#include "app/main_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

#include "analysis/fft_set_dialog.h"
#include "analysis/spectrum_texts.h"
#include "analysis/time_calibrate_dialog.h"
#include "app/control_panel.h"
#include "app/qt_prompts.h"
#include "app/screen_widget.h"
#include "app/session.h"
#include "app/single_instance.h"
#include "decoders/decoder_dialog.h"
#include "device/scope_thread.h"
#include "device/supervision.h"
#include "display/qt_text.h"
#include "display/scope_screen.h"
#include "display/screen.h"
#include "display/trace.h"
#include "files/file_kind.h"
#include "files/image_file.h"
#include "files/program_files.h"
#include "files/settings_file.h"
#include "generator/gen_mod_dialog.h"
#include "generator/gen_panel.h"
#include "instruments/lc_meter_dialog.h"
#include "instruments/tdc_calibrate_dialog.h"
#include "instruments/zero_calibrate_dialog.h"
#include "recorder/recorder_dialog.h"
#include "state/afg_commands.h"
#include "state/calibration_commands.h"
#include "state/compose.h"
#include "state/data_commands.h"
#include "state/export_commands.h"
#include "state/scope_state.h"
#include "state/settings_commands.h"
#include "trigger/trig_set_dialog.h"
#include "ui/about_dialog.h"
#include "ui/color_set_dialog.h"
#include "ui/control_rules.h"
#include "ui/keyboard.h"
#include "ui/menu_rules.h"
#include "ui/screen_mouse.h"

namespace kr40 {

MainWindow::MainWindow(MainWindowOptions options)
    : options_(std::move(options)),
      session_(std::make_unique<Session>(this, options_.provider, options_.providerName, options_.simInputs,
                                         [this] { Handoff(); })),
      st_(session_->State()),
      d_(session_->Display())
{
    setObjectName("TKR4003MFrm");
    setWindowTitle(ToQString(options_.caption));
    if (options_.executable.empty())
        options_.executable = QCoreApplication::applicationFilePath().toLocal8Bit().toStdString();
    QFont font("Tahoma");
    font.setPixelSize(11);
    setFont(font);
    setAcceptDrops(true);
    qtPrompts_ = std::make_unique<QtPrompts>(this);
    // The first file dialog starts in the program's folder.
    st_.LastFolder = QCoreApplication::applicationDirPath().toStdString();

    ControlPanel::Routes routes;
    routes.clicked = [this](const std::string& name, bool checked) { ControlClicked(name, checked); };
    routes.barMoved = [this](const std::string& name, int value) { BarMoved(name, value); };
    routes.menuOpening = [this](const std::string& name) { MenuOpening(name); };
    routes.doubleClicked = [this](const std::string& name) { LabelDoubleClicked(name); };
    routes.afgMarkChosen = [this](int index) {
        ComboBox_AFGChange(st_, index);
        AfterAfgCommand();
    };
    panel_ = std::make_unique<ControlPanel>(this, d_.ScreenBitmap, std::move(routes));
    WireScreen();

    // Defaults, then the program's settings file; the first settings packet
    // re-arms the trigger.
    if (!options_.settingsFile.empty()) ReadSettings(st_.settings, Ask(), options_.settingsFile, true);
    if (options_.russian) st_.settings.Russian = *options_.russian;
    st_.requests.TrigChanged = true;

    const StartupVisibility vis = StartupVisibilityOf(st_.settings);
    Action("Menu_TDCCalibrate")->setVisible(vis.tdcCalibrate);
    Action("Menu_TDCCalibrate")->setEnabled(vis.tdcCalibrate);
    Action("Menu_Recorder")->setVisible(vis.recorder);
    if (auto* amp = qobject_cast<QScrollBar*>(Control("ScrollBar_Amplitude")))
        amp->setRange(vis.amplitudeMin, vis.amplitudeMax);

    timer1_ = new QTimer(this);
    timer1_->setInterval(1000);
    connect(timer1_, &QTimer::timeout, this, &MainWindow::Timer1Timer);
    timer2_ = new QTimer(this);
    timer2_->setInterval(50);
    connect(timer2_, &QTimer::timeout, this, &MainWindow::Timer2Timer);

    // The design's client area, which is also the smallest window (its
    // minimum of 739 x 545 is this client area with the frame and caption).
    const QSize client(731, 499 + menuBar()->sizeHint().height());
    resize(client);
    setMinimumSize(client);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    SyncControls();
    Relayout();
}

MainWindow::~MainWindow()
{
    StopThread();
}

Prompts& MainWindow::Ask()
{
    return options_.prompts ? *options_.prompts : *qtPrompts_;
}

QAbstractButton* MainWindow::Button(const std::string& name) const
{
    return panel_->Button(name);
}

QAction* MainWindow::Action(const std::string& name) const
{
    return panel_->Action(name);
}

QMenu* MainWindow::Menu(const std::string& name) const
{
    return panel_->Menu(name);
}

QWidget* MainWindow::Control(const std::string& name) const
{
    return panel_->Control(name);
}

// ---------------------------------------------------------------------------
// Routing

// The mouse on the screen: the rules decide, the window carries out.
void MainWindow::WireScreen()
{
    ScreenWidget* screen = panel_->Screen();
    screen->onResize = [this](int w, int h) { ScreenResized(w, h); };
    const auto button = [](Qt::MouseButtons b) {
        return b & Qt::LeftButton ? MouseButton::Left : b & Qt::RightButton ? MouseButton::Right : MouseButton::Other;
    };
    const auto effect = [this](const MouseEffect& e) {
        if (e.toggleCompact) Menu_CompactClick();
        if (e.toggleGenView) Menu_Gen_ViewClick();
        if (e.apply)
            Apply();
        else if (e.refresh)
            Refresh();
    };
    screen->onMousePress = [=, this](QMouseEvent* e) {
        const QPoint p = e->position().toPoint();
        effect(MouseDown(d_, st_, bgView_, button(e->button()), p.x(), p.y()));
    };
    screen->onMouseMove = [=, this](QMouseEvent* e) {
        const QPoint p = e->position().toPoint();
        effect(MouseMove(d_, st_, bgView_, button(e->buttons()), p.x(), p.y()));
    };
    screen->onMouseRelease = [=, this](QMouseEvent* e) {
        const QPoint p = e->position().toPoint();
        effect(MouseUp(d_, st_, bgView_, button(e->button()), p.x(), p.y()));
    };
    // Qt delivers the second press of a double click as the double click
    // itself; the rules expect that press after the double click (which a
    // double click on a label area makes them ignore).
    screen->onDoubleClick = [=, this](QMouseEvent* e) {
        effect(DoubleClick(d_));
        const QPoint p = e->position().toPoint();
        effect(MouseDown(d_, st_, bgView_, button(e->button()), p.x(), p.y()));
    };
    screen->onWheel = [this](QWheelEvent* e) {
        if (SpectrumShown(st_.settings)) return;
        const int notches = TakeWheelNotches(wheelPending_, e->angleDelta().y());
        for (int i = 0; i < std::abs(notches); ++i) {
            const WheelResult r =
                WheelTimeBase(st_.settings, d_.g, st_.lastRec, e->position().toPoint().x(), notches > 0,
                              st_.settings.Run_Down || st_.settings.Sngl_Down, st_.acq.Time_Div_ns);
            if (r.handled) Apply();
        }
    };
}

// A click on a button or menu item: the rules store the setting the control
// holds and say what follows, or name the window's own handler.
void MainWindow::ControlClicked(const std::string& name, bool checked)
{
    const ClickOutcome out = ClickControl(st_.settings, name, checked);
    if (out.command) return RunCommand(*out.command, checked);
    Carry(out.effect);
}

void MainWindow::RunCommand(WindowCommand command, bool checked)
{
    switch (command) {
        case WindowCommand::Run:
            return SpeedButton_RunClick();
        case WindowCommand::Single:
            return SpeedButton_SnglClick();
        case WindowCommand::GenOn:
            return SpeedButton_GenOnClick();
        case WindowCommand::Exit:
            return Menu_ExitClick();
        case WindowCommand::Russian:
            return Menu_RussianClick();
        case WindowCommand::English:
            return Menu_EnglishClick();
        case WindowCommand::Compact:
            return Menu_CompactClick();
        case WindowCommand::GenView:
            return Menu_Gen_ViewClick();
        case WindowCommand::Colors:
            return Menu_ColorsClick();
        case WindowCommand::About:
            return Menu_AboutClick();
        case WindowCommand::Trigger:
            return Menu_TriggerClick();
        case WindowCommand::OpenSettings:
            return Menu_Open_SettingsClick();
        case WindowCommand::SaveSettingsAs:
            return Menu_Save_Settings_AsClick();
        case WindowCommand::FftSet:
            return Menu_FFTSetClick();
        case WindowCommand::FmCalibrate:
            return Menu_FM_CalibrateClick();
        case WindowCommand::GeneratorSet:
            return Menu_GeneratorSetClick();
        case WindowCommand::OpenGenForm:
            Menu_Open_Gen_FormClick(st_, Ask(), AfgListingPath());
            return AfterAfgCommand();
        case WindowCommand::SerialDecoders:
            return Menu_SerialDecodersClick();
        case WindowCommand::Recorder:
            return Menu_RecorderClick();
        case WindowCommand::ZeroCalibrate:
            return Menu_ZeroCalibrateClick();
        case WindowCommand::TdcCalibrate:
            return Menu_TDCCalibrateClick();
        case WindowCommand::LcMeter:
            return Menu_LCMeterClick();
        case WindowCommand::HelpContents:
            OpenHelpContents(options_.executable, st_.settings.Russian, Ask());
            return;
        case WindowCommand::GenRun:
            if (!SpeedButton_GenRunClick(st_)) return;
            AfterAfgCommand();
            // Running until the instrument's status says otherwise.
            return panel_->ShowAfg(st_.afg, st_.settings.Colors[ColorGridFrame]);
        case WindowCommand::BgSwap:
            // The reference is shown whether or not there was anything to swap.
            bgView_ = true;
            Menu_BG_DoClick(st_);
            SyncControls();
            return ApplyView();
        case WindowCommand::BgClear:
            Menu_BG_ClrClick(st_);
            SyncControls();
            return ApplyView();
        case WindowCommand::SaveData:
            Menu_Save_AsClick(st_, Ask(), bgView_);
            return SyncControls();
        case WindowCommand::OpenData:
            return DataFileOpened(Menu_OpenClick(st_, Ask()));
        case WindowCommand::ExportText:
            return Menu_TextClick(st_, Ask());
        case WindowCommand::ExportBinA1:
        case WindowCommand::ExportBinA2:
        case WindowCommand::ExportBinD1:
        case WindowCommand::ExportBinD2:
            return Menu_EBinClick(st_, Ask(),
                                  ChanA1 + static_cast<int>(command) - static_cast<int>(WindowCommand::ExportBinA1));
        case WindowCommand::ExportImage: {
            const QImage& screen = d_.ScreenBitmap;
            return Menu_ImageClick(
                st_, Ask(), PixelView{screen.constBits(), screen.width(), screen.height(), screen.bytesPerLine()});
        }
        case WindowCommand::MarkersOne:
        case WindowCommand::MarkersTwo:
            SetMarkerMode(st_.settings, command == WindowCommand::MarkersOne ? 1 : 2);
            return Refresh();
        case WindowCommand::BgView:
            bgView_ = checked;
            return Refresh();
    }
}

// A scroll bar stores the setting it holds: the horizontal position redraws,
// the generator's bars reach the instrument.
void MainWindow::BarMoved(const std::string& name, int value)
{
    if (name == "ScrollBar_X_POS") {
        st_.settings.X_Pos = value;
        return Refresh();
    }
    if (name == "ScrollBar_F_fast" || name == "ScrollBar_F_slow")
        MoveGenBar(st_.settings, name == "ScrollBar_F_fast" ? GenBar::Fast : GenBar::Slow, value);
    else if (const SettingKey* key = panel_->KeyOf(name); key && key->type == KeyType::Int)
        st_.settings.*key->intField = value;
    Apply();
}

void MainWindow::Carry(const SettingsEffect& e)
{
    CarrySettingsEffect(st_, e);
    if (e.call == SettingsCall::None) return;
    SyncControls();
    if (e.call != SettingsCall::Sync) ApplyView();
}

void MainWindow::SyncControls()
{
    panel_->Sync(st_.settings, bgView_, compact_.On());
}

// What ComposeAcqConfig decided for the window.
void MainWindow::ApplyView()
{
    panel_->ShowView(st_.view, st_.settings, SpectrumShown(st_.settings));
    panel_->ShowGenPanel(st_.genView);
    panel_->ShowAfg(st_.afg, AfgRunColour(st_.link.GenStatus, st_.settings.Colors[ColorGridFrame]));
    if (st_.view.stayOnTop != bool(windowFlags() & Qt::WindowStaysOnTopHint)) {
        const bool shown = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, st_.view.stayOnTop);
        if (shown) show();
    }
}

void MainWindow::Apply()
{
    ApplySettings(st_);
    SyncControls();
    ApplyView();
}

void MainWindow::Refresh()
{
    RefreshSettings(st_);
    SyncControls();
    ApplyView();
}

// ---------------------------------------------------------------------------
// Start-up, link, timers

void MainWindow::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    if (!initialised_) QTimer::singleShot(0, this, [this] { FirstPaint(); });
}

void MainWindow::FirstPaint()
{
    if (initialised_) return;
    initialised_ = true;
    compact_.RememberStart(*this);

    // Screen layout and language before the first composition.
    ScreenResized(panel_->Screen()->width(), panel_->Screen()->height());
    SetLanguage(st_.settings.Russian);
    st_.requests.RedrawRequest = true;
    ComposeAcqConfig(st_);
    ApplyView();

    session_->StartThread();
    if (session_->OpenDevice(Ask(), options_.caption) == FT_OK) Apply();
    // The script of the last session comes back, unless one is named.
    if (!st_.settings.AFG_File.empty() && FileKindOf(options_.fileArgument) != FileKind::Generator)
        LoadAfgFile(st_, Ask(), st_.settings.AFG_File, true, AfgListingPath());
    if (!options_.fileArgument.empty()) OpenByExtension(options_.fileArgument);
    timer1_->start();
    timer2_->start();
    st_.BusyEvent.Reset();
}

void MainWindow::StopThread()
{
    timer1_->stop();
    timer2_->stop();
    session_->StopThread();
}

void MainWindow::LinkButtonPressed(int which)
{
    SupervisionHooks hooks;
    hooks.apply = [this] { ApplySettings(st_); };
    hooks.refresh = [this] { RefreshSettings(st_); };
    LinkButtonClick(st_, st_.settings, session_->Provider(), Ask(), session_->LinkOptions(options_.caption),
                    static_cast<LinkButton>(which), hooks);
    SyncControls();
    ApplyView();
}

void MainWindow::SpeedButton_RunClick()
{
    ScopeSettings& s = st_.settings;
    s.Run_Down = Button("SpeedButton_Run")->isChecked();
    if (s.Run_Down) s.Sngl_Down = false;
    LinkButtonPressed(static_cast<int>(LinkButton::Run));
}

void MainWindow::SpeedButton_SnglClick()
{
    ScopeSettings& s = st_.settings;
    s.Sngl_Down = Button("SpeedButton_Sngl")->isChecked();
    if (s.Sngl_Down) s.Run_Down = false;
    LinkButtonPressed(static_cast<int>(LinkButton::Single));
}

void MainWindow::SpeedButton_GenOnClick()
{
    st_.settings.GenOn_Down = Button("SpeedButton_GenOn")->isChecked();
    LinkButtonPressed(static_cast<int>(LinkButton::GenOn));
}

void MainWindow::Menu_ExitClick()
{
    MenuExit(st_);
    close();
}

void MainWindow::closeEvent(QCloseEvent* e)
{
    // The thread ends first, so nothing draws into a closing window, then
    // the settings are written.
    StopThread();
    SaveProgramSettings();
    QMainWindow::closeEvent(e);
}

void MainWindow::SaveProgramSettings()
{
    // A run without a settings file (the picture mode) keeps nothing.
    if (!options_.settingsFile.empty())
        WriteProgramSettings(st_.settings, st_, Ask(), options_.settingsFile, settingsReadOnlyTold_);
}

void MainWindow::Timer1Timer()
{
    SupervisionHooks hooks;
    hooks.apply = [this] { ApplySettings(st_); };
    hooks.saveSettings = [this] { SaveProgramSettings(); };
    hooks.clearAfgList = [this] {
        st_.afg.marks.clear();
        st_.afg.markIndex = -1;
    };
    hooks.genFileWatch = [this] {
        if (AfgFileWatch(st_, Ask(), AfgListingPath())) AfterAfgCommand();
    };
    hooks.genFileReload = [this](bool reload) { st_.afg.reloadPending = reload; };
    Timer1Tick(st_, st_.settings, session_->Provider(), Ask(), session_->LinkOptions(options_.caption), hooks);
    // The instrument was re-initialised with a script loaded: send it again.
    if (st_.afg.reloadPending && !st_.BusyEvent.IsSet() && !st_.settings.AFG_File.empty()) {
        st_.afg.reloadPending = false;
        EventSetter busy(st_.BusyEvent);
        LoadAfgFile(st_, Ask(), st_.settings.AFG_File, true, AfgListingPath());
    }
    TickAfgStatus(st_.afg);
    UpdateGenPanelTexts(st_);
    SyncControls();
    ApplyView();
}

// Where the compiler's listing goes: krg.lst beside the program's settings.
std::filesystem::path MainWindow::AfgListingPath() const
{
    if (options_.settingsFile.empty()) return {};
    return std::filesystem::path(options_.settingsFile).parent_path() / "krg.lst";
}

void MainWindow::AfterAfgCommand()
{
    SyncControls();
    ApplyView();
}

void MainWindow::Timer2Timer()
{
    if (PersistenceTimerTick(d_)) {
        st_.requests.RedrawRequest = true;
        st_.RxEvent.Set();
    }
}

// ---------------------------------------------------------------------------
// Screen

void MainWindow::ScreenResized(int width, int height)
{
    RecomputeGeometry(d_, std::max(width, 1), std::max(height, 1));
    st_.ScreenSettingsChanged = true;
    if (!initialised_) return;
    // Inside a modal action (a calibration may be driving the acquisition
    // with a configuration of its own) only the picture is redrawn.
    if (!st_.BusyEvent.IsSet()) return Refresh();
    st_.requests.RedrawRequest = true;
    st_.RxEvent.Set();
}

void MainWindow::Handoff()
{
    HandoffHooks hooks;
    hooks.drawFrame = [this] { DrawFrame(); };
    hooks.drawService = [this] { DrawService(); };
    hooks.writeRecorder = [this](std::span<const std::uint8_t> bytes) {
        if (recorder_) recorder_->Write(bytes);
    };
    FrameHandoff(st_, st_.settings, st_.acq, st_.recorder, hooks);
    // A single shot that ended released its button.
    if (Button("SpeedButton_Sngl")->isChecked() != st_.settings.Sngl_Down) SyncControls();
}

void MainWindow::DrawFrame()
{
    if (st_.link.NewFrameProcess.exchange(false)) {
        st_.LiveExists = true;
        RequestPersistenceReset(d_);
        NoteDataFrame(d_);
        ++framesDrawn_;
    }
    st_.lastRec = st_.live->rec;
    DrawFrameScreen(d_, st_, bgView_);
    // The scroll bar follows the frame: 0..ValidLen in the time view, the
    // bins 0..B in the spectrum view.
    const bool spectrum = SpectrumShown(st_.settings) && st_.spectrum;
    if (spectrum || st_.live->rec.FrameLen != 0) {
        QScrollBar* x = panel_->XPos();
        const QSignalBlocker quiet(x);
        x->setRange(0, spectrum ? ShownSpectrumBins(st_.settings, *st_.spectrum, st_.live->rec)
                                : std::max(0, st_.live->rec.ValidLen));
        x->setValue(st_.settings.X_Pos);
    }
    panel_->Screen()->update();
}

void MainWindow::DrawService()
{
    NoteServicePacket(d_);
    DrawServiceScreen(d_, st_, bgView_);
    panel_->Screen()->update();
}

// ---------------------------------------------------------------------------
// Menus, language, layout

void MainWindow::MenuOpening(const std::string& name)
{
    const int firmware = st_.link.identity.Get().FirmVer;
    if (name == "Menu_File") {
        Action("Menu_Transfer_Rate")->setVisible(TransferRateVisible(firmware));
    } else if (name == "Menu_Options") {
        const bool schmitt = SchmittItemsVisible(firmware);
        for (const char* item : {"Menu_SchmittT_D1", "Menu_SchmittT_D2", "Sep_SchmittT"})
            if (QAction* a = Action(item)) a->setVisible(schmitt);
    } else if (name == "Menu_View") {
        const ViewMenuState v = ViewMenuOnOpen(st_.lastRec.FrameLen != 0, false);
        Action("Menu_BG_View")->setEnabled(v.bgViewEnabled);
        Action("Menu_BG_Clr")->setEnabled(v.bgClrEnabled);
        Action("Menu_BG_Do")->setEnabled(v.bgDoEnabled);
    }
}

void MainWindow::SetLanguage(bool russian)
{
    panel_->SetCaptions(russian);
}

void MainWindow::Menu_RussianClick()
{
    st_.settings.Russian = true;
    SetLanguage(true);
    Refresh();
}

void MainWindow::Menu_EnglishClick()
{
    st_.settings.Russian = false;
    SetLanguage(false);
    Refresh();
}

void MainWindow::Menu_Gen_ViewClick()
{
    st_.settings.Gen_View = !st_.settings.Gen_View;
    Relayout();
    Refresh();
}

void MainWindow::Menu_CompactClick()
{
    QGroupBox* gen = panel_->GenBox();
    compact_.Toggle(*this, panel_->ScopeBox()->width(), gen->isVisible() ? gen->height() : 0);
    Relayout();
    Refresh();
}

void MainWindow::Relayout()
{
    panel_->ScopeBox()->setVisible(!compact_.On());
    panel_->GenBox()->setVisible(!compact_.On() && st_.settings.Gen_View);
}

// ---------------------------------------------------------------------------
// Keyboard, files

void MainWindow::keyPressEvent(QKeyEvent* e)
{
    static constexpr std::pair<int, Key> kKeys[] = {
        {Qt::Key_F, Key::F},         {Qt::Key_A, Key::A},          {Qt::Key_D, Key::D},
        {Qt::Key_W, Key::W},         {Qt::Key_V, Key::V},          {Qt::Key_Left, Key::Left},
        {Qt::Key_Right, Key::Right}, {Qt::Key_Up, Key::Up},        {Qt::Key_Down, Key::Down},
        {Qt::Key_Space, Key::Space}, {Qt::Key_Return, Key::Enter}, {Qt::Key_Enter, Key::Enter}};
    const auto* hit =
        std::find_if(std::begin(kKeys), std::end(kKeys), [&](const auto& k) { return k.first == e->key(); });
    if (hit == std::end(kKeys)) return QMainWindow::keyPressEvent(e);
    KeyContext ctx;
    ctx.fftA1Enabled = Action("Menu_FFT_A1")->isEnabled();
    ctx.fftA2Enabled = Action("Menu_FFT_A2")->isEnabled();
    ctx.xPosMax = panel_->XPos()->maximum();
    const KeyOutcome out = FormKeyDown(st_.settings, hit->second, e->modifiers() & Qt::ControlModifier,
                                       e->modifiers() & Qt::ShiftModifier, ctx);
    for (KeyAction a : out.actions) {
        switch (a) {
            case KeyAction::ToggleRun:
                Button("SpeedButton_Run")->click();
                break;
            case KeyAction::ToggleSingle:
                Button("SpeedButton_Sngl")->click();
                break;
            case KeyAction::FftA1Click:
                Action("Menu_FFT_A1")->trigger();
                break;
            case KeyAction::FftA2Click:
                Action("Menu_FFT_A2")->trigger();
                break;
        }
    }
    Carry(out);
    e->accept();
}

void MainWindow::OpenByExtension(const std::string& path)
{
    st_.LastFolder = QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
    switch (FileKindOf(path)) {
        case FileKind::Settings:
            if (ReadSettings(st_.settings, Ask(), path, false)) {
                st_.requests.TrigChanged = true;
                Apply();
            }
            return;
        case FileKind::Generator:
            LoadAfgFile(st_, Ask(), path, true, AfgListingPath());
            return AfterAfgCommand();
        case FileKind::Data:
        case FileKind::Other:
            return DataFileOpened(OpenDataFile(st_, Ask(), path));
    }
}

// After a data file was opened: its reference is shown, the controls follow
// the companion settings.
void MainWindow::DataFileOpened(OpenOutcome outcome)
{
    if (outcome == OpenOutcome::OpenedWithReference) bgView_ = true;
    SyncControls();
    ApplyView();
}

void MainWindow::HandOver(int argumentCount, const QString& lastArgument)
{
    const HandOverAction action = DecideHandOver(argumentCount, lastArgument, st_.BusyEvent.IsSet());
    if (action == HandOverAction::Ignore) return;
    showNormal();
    raise();
    activateWindow();
    if (action == HandOverAction::Raise) return;
    EventSetter busy(st_.BusyEvent);
    OpenByExtension(lastArgument.toStdString());
    st_.LastFolder = QFileInfo(lastArgument).absolutePath().toStdString();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e)
{
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* e)
{
    const QList<QUrl> urls = e->mimeData()->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile() || st_.BusyEvent.IsSet()) return;
    const QString file = urls.front().toLocalFile();
    EventSetter busy(st_.BusyEvent);
    OpenByExtension(file.toStdString());  // the file's folder becomes the last used
    e->acceptProposedAction();
}

// ---------------------------------------------------------------------------
// Dialogs and file commands

void MainWindow::Menu_Open_SettingsClick()
{
    kr40::Menu_Open_SettingsClick(st_, Ask());
    SyncControls();
    ApplyView();
}

void MainWindow::Menu_Save_Settings_AsClick()
{
    kr40::Menu_Save_Settings_AsClick(st_, Ask());
}

void MainWindow::Menu_ColorsClick()
{
    EventSetter busy(st_.BusyEvent);
    TForm_ColorSet dialog(
        st_, Ask(), [this] { Refresh(); }, this);
    if (dialog.Run()) SaveProgramSettings();
    Refresh();
}

void MainWindow::Menu_TriggerClick()
{
    TForm_TrigSet dialog(
        st_,
        [this] {
            SyncControls();
            ApplyView();
        },
        this);
    dialog.Run();
    SyncControls();
    ApplyView();
}

void MainWindow::Menu_FFTSetClick()
{
    TForm_FFTSet dialog(
        st_, [this](const SettingsEffect& e) { Carry(e); }, this);
    dialog.Run();
}

// The meter's calibration follows the track bar live; OK keeps it in the
// program's settings file.
void MainWindow::Menu_FM_CalibrateClick()
{
    TForm_TimeCalibrate dialog(
        st_, [this] { Apply(); }, this);
    if (dialog.Run()) SaveProgramSettings();
}

// The recorder opens only on a running roll-mode acquisition; meanwhile the
// window gives up its stay-on-top so the dialog can come to the front.
void MainWindow::Menu_RecorderClick()
{
    if (!RecorderMayOpen(st_, st_.settings.Run_Down, st_.acq.Roll)) {
        ShowRecorderRefusal(Ask(), st_.settings.Russian);
        return;
    }
    EventSetter busy(st_.BusyEvent);
    if (windowFlags() & Qt::WindowStaysOnTopHint) {
        setWindowFlag(Qt::WindowStaysOnTopHint, false);
        show();
    }
    TForm_Recorder dialog(st_, Ask(), this);
    recorder_ = &dialog.Session();
    dialog.Run();
    recorder_ = nullptr;
    Refresh();
}

// The calibrations drive the acquisition themselves while their dialog is
// open; afterwards the window's configuration comes back.
void MainWindow::Menu_ZeroCalibrateClick()
{
    EventSetter busy(st_.BusyEvent);
    if (!CalibrationDeviceGuard(st_, Ask())) return;
    ZeroCalMenuSession session(st_);
    SyncControls();
    TForm_ZeroCalibrate dialog(st_, *st_.live, this);
    if (session.Finish(dialog.Run())) SaveProgramSettings();
    SyncControls();
    ApplyView();
}

void MainWindow::Menu_TDCCalibrateClick()
{
    EventSetter busy(st_.BusyEvent);
    if (!CalibrationDeviceGuard(st_, Ask())) return;
    TdcCalMenuSession session(st_);
    SyncControls();
    TForm_TDCCalibrate dialog(st_, *st_.live, this);
    const bool ok = dialog.Run();
    session.Finish(ok, dialog.Calibration().Candidates());
    SyncControls();
    ApplyView();
}

void MainWindow::Menu_LCMeterClick()
{
    EventSetter busy(st_.BusyEvent);
    LcMeterMenuSession session(st_);
    TForm_LCMeter dialog(st_, this);
    dialog.Run();
    session.Finish();
    SyncControls();
    ApplyView();
}

void MainWindow::Menu_SerialDecodersClick()
{
    TForm_S_Decoders dialog(
        st_, [this](const SettingsEffect& e) { Carry(e); }, this);
    dialog.Run();
}

void MainWindow::Menu_GeneratorSetClick()
{
    TForm_GeneratorSet dialog(
        st_, [this](const SettingsEffect& e) { Carry(e); }, this);
    dialog.Run();
}

// Label_ModDblClick opens the script (AFG mode) or the modulation dialog;
// Label_F and Label_V restore a script's period and amplitude.
void MainWindow::LabelDoubleClicked(const std::string& name)
{
    const bool afg = st_.settings.Sel(Group::GenMode) == GenAfgMode;
    if (name == "Label_Mod" && !afg) return Menu_GeneratorSetClick();
    if (name == "Label_Mod") Menu_Open_Gen_FormClick(st_, Ask(), AfgListingPath());
    if (name == "Label_F") Label_FDblClick(st_, Ask());
    if (name == "Label_V") Label_VDblClick(st_, Ask());
    AfterAfgCommand();
}

void MainWindow::Menu_AboutClick()
{
    TAboutBox box(st_, this);
    box.exec();
}

}  // namespace kr40
