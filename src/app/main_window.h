#pragma once
// TKR4003MFrm: the main window. It owns the program's state, the device
// provider, the acquisition thread and the screen; its handlers are named
// after their controls and end in ApplySettings or RefreshSettings.

#include <QMainWindow>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

class QAbstractButton;
class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QScrollBar;
class QTimer;
class QToolButton;
class QComboBox;

namespace kr40 {

struct ScopeState;
struct FrameSet;
struct FrameRecord;
struct DisplayState;
struct RecorderStream;
struct SettingKey;
struct OpenOptions;
class DeviceProvider;
class DeviceLink;
class ScopeThread;
class TransportLink;
class Prompts;
class ScreenWidget;
class UiCallGate;

struct MainWindowOptions {
    std::string providerName = "sim";    // "d2xx", "ftdi" or "sim"
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

    ScopeState& State() { return *st_; }
    DisplayState& Display() { return *d_; }
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
    // Stops the acquisition thread (idempotent); used by close.
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
    void Menu_ColorsClick();
    void Menu_AboutClick();
    void Menu_TriggerClick();
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
    void BuildControls();
    void BuildScopeGroup();
    void BuildGeneratorGroup();
    void BuildMenus();
    QToolButton* AddButton(const std::string& name, const QString& caption, QWidget* parent);
    void Bind(const std::string& name, QObject* control);
    void ControlClicked(const std::string& name, bool checked);
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
    void MenuOpening(const std::string& name);
    void LinkButtonPressed(int which);
    OpenOptions LinkOptions() const;
    Prompts& Ask();

    MainWindowOptions options_;
    std::unique_ptr<ScopeState> st_;
    std::unique_ptr<FrameSet> live_, ref_;
    std::unique_ptr<FrameRecord> lastRec_;  // the live frame record of the last hand-off
    std::unique_ptr<DisplayState> d_;
    std::unique_ptr<RecorderStream> recorder_;
    std::unique_ptr<DeviceProvider> ownProvider_;
    DeviceProvider* provider_ = nullptr;
    std::unique_ptr<TransportLink> link_;
    std::unique_ptr<DeviceLink> device_;
    std::shared_ptr<UiCallGate> gate_;
    std::unique_ptr<ScopeThread> thread_;
    std::unique_ptr<Prompts> qtPrompts_;

    std::map<std::string, QObject*> controls_;        // every named control
    std::map<std::string, const SettingKey*> bound_;  // controls holding a setting
    ScreenWidget* screen_ = nullptr;
    QScrollBar* xPos_ = nullptr;
    QWidget* panelSignal_ = nullptr;
    QGroupBox* scopeBox_ = nullptr;
    QGroupBox* genBox_ = nullptr;
    QComboBox* afgList_ = nullptr;
    QTimer* timer1_ = nullptr;
    QTimer* timer2_ = nullptr;

    bool initialised_ = false;
    bool syncing_ = false;
    bool bgView_ = false;
    bool compact_ = false;
    bool compactEntered_ = false;
    QRect compactGeometry_;
    Qt::WindowStates compactState_ = Qt::WindowNoState;
    QSize startClientSize_;
    QPoint startPosition_;
    QSize startMinimumSize_;
    int framesDrawn_ = 0;
};

}  // namespace kr40
