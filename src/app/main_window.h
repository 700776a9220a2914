#pragma once
// TKR4003MFrm: the main window, a thin view. The session owns the state, the
// device and the acquisition thread; the control panel builds the controls;
// the control rules decide what a click does. The window routes events to
// them and runs the handlers that open dialogs or change the window itself.

#include <QMainWindow>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/compact_view.h"
#include "state/data_commands.h"

class QAbstractButton;
class QAction;
class QMenu;
class QTimer;

namespace kr40 {

struct ScopeState;
struct DisplayState;
struct SettingsEffect;
class ControlPanel;
class DeviceProvider;
class Prompts;
class Session;
class RecorderSession;
enum class WindowCommand;

struct MainWindowOptions {
    std::string providerName = "sim";    // "d2xx", "ftdi" or "sim"
    std::string simInputs;               // the simulated instrument's wiring (MakeProvider)
    std::filesystem::path executable;    // where the help is looked for; empty: this program's path
    std::filesystem::path settingsFile;  // the program's settings file; empty = none
    std::string caption = "kr40";        // executable name without path and extension
    std::optional<bool> russian;         // --lang: overrides the settings file
    std::string fileArgument;            // opened at the first paint when not empty
    Prompts* prompts = nullptr;          // null: real dialogs
    DeviceProvider* provider = nullptr;  // null: made from providerName; else owned by the caller
};

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(MainWindowOptions options);
    ~MainWindow() override;

    ScopeState& State() { return st_; }
    DisplayState& Display() { return d_; }
    // Controls by name (nullptr when there is none).
    QAbstractButton* Button(const std::string& name) const;
    QAction* Action(const std::string& name) const;
    QMenu* Menu(const std::string& name) const;
    QWidget* Control(const std::string& name) const;
    // Frames drawn that brought new data.
    int FramesDrawn() const { return framesDrawn_; }
    bool Initialised() const { return initialised_; }

    // One-time initialisation of the first paint: language, thread, device,
    // command-line file.
    void FirstPaint();
    // A second start handed over its arguments.
    void HandOver(int argumentCount, const QString& lastArgument);
    // Opens a file by its extension (settings, data or generator file).
    void OpenByExtension(const std::string& path);
    // Stops the timers and the acquisition thread (idempotent); used by close.
    void StopThread();

    // Handlers.
    void SpeedButton_RunClick();
    void SpeedButton_SnglClick();
    void SpeedButton_GenOnClick();
    void Menu_ExitClick();
    void Menu_RussianClick();
    void Menu_EnglishClick();
    void Menu_CompactClick();
    void Menu_Gen_ViewClick();
    void Menu_GeneratorSetClick();
    void Menu_SerialDecodersClick();
    void Menu_ZeroCalibrateClick();
    void Menu_TDCCalibrateClick();
    void Menu_LCMeterClick();
    void Menu_RecorderClick();
    void LabelDoubleClicked(const std::string& name);
    std::filesystem::path AfgListingPath() const;
    void AfterAfgCommand();  // a script command may have moved bars, marks and mode
    void Menu_ColorsClick();
    void Menu_AboutClick();
    void Menu_FFTSetClick();
    void DataFileOpened(OpenOutcome outcome);
    void Menu_FM_CalibrateClick();
    void Menu_TriggerClick();
    void Menu_Open_SettingsClick();
    void Menu_Save_Settings_AsClick();
    void Timer1Timer();
    void Timer2Timer();
    void SetLanguage(bool russian);

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void WireScreen();
    void ControlClicked(const std::string& name, bool checked);
    void RunCommand(WindowCommand command, bool checked);
    void BarMoved(const std::string& name, int value);
    void MenuOpening(const std::string& name);
    void Carry(const SettingsEffect& e);
    void SyncControls();
    void ApplyView();
    void Apply();
    void Refresh();
    void Relayout();
    void SaveProgramSettings();
    void Handoff();
    void DrawFrame();
    void DrawService();
    void ScreenResized(int width, int height);
    void LinkButtonPressed(int which);
    Prompts& Ask();

    MainWindowOptions options_;
    std::unique_ptr<Session> session_;
    ScopeState& st_;
    DisplayState& d_;
    std::unique_ptr<ControlPanel> panel_;
    std::unique_ptr<Prompts> qtPrompts_;
    QTimer* timer1_ = nullptr;
    QTimer* timer2_ = nullptr;
    CompactView compact_;
    bool initialised_ = false;
    bool bgView_ = false;
    // The settings file was found read-only and the user told so (once a run).
    bool settingsReadOnlyTold_ = false;
    int wheelPending_ = 0;  // wheel angle short of a whole notch
    int framesDrawn_ = 0;
    RecorderSession* recorder_ = nullptr;  // the open recorder dialog's session
};

}  // namespace kr40
