#pragma once
// The main window's controls: the screen panel, the scope group (Run/Single,
// time bases, volts/div blocks, trigger buttons), the generator group and the
// menu bar, built from the tables, and kept by name. It shows the settings
// on the controls and passes every click and bar movement on by name; what a
// click does is decided elsewhere.

#include <QObject>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class QAbstractButton;
class QAction;
class QComboBox;
class QGroupBox;
class QImage;
class QMainWindow;
class QMenu;
class QScrollBar;
class QToolButton;
class QWidget;

namespace kr40 {

struct ScopeSettings;
struct SettingKey;
struct WindowView;
struct GenPanelView;
struct AfgSession;
class ScreenWidget;

class ControlPanel {
public:
    struct Routes {
        std::function<void(const std::string& name, bool checked)> clicked;  // a button or menu item
        std::function<void(const std::string& name, int value)> barMoved;    // a scroll bar
        std::function<void(const std::string& name)> menuOpening;            // a menu of the menu bar opens
        std::function<void(const std::string& name)> doubleClicked;          // a read-out label of Panel_Gen
        std::function<void(int index)> afgMarkChosen;                        // an item of ComboBox_AFG
    };

    ControlPanel(QMainWindow* window, const QImage& screenBitmap, Routes routes);

    // Controls by name (nullptr when there is none).
    QAbstractButton* Button(const std::string& name) const;
    QAction* Action(const std::string& name) const;
    QMenu* Menu(const std::string& name) const;
    QWidget* Control(const std::string& name) const;
    // The setting a control holds, or nullptr.
    const SettingKey* KeyOf(const std::string& name) const;

    ScreenWidget* Screen() const { return screen_; }
    QScrollBar* XPos() const { return xPos_; }
    QComboBox* AfgList() const { return afgList_; }
    QGroupBox* ScopeBox() const { return scopeBox_; }
    QGroupBox* GenBox() const { return genBox_; }

    // Every control that holds a setting shows it; so do the window's own
    // check items (B.G. view, compact) and the coupling and edge glyphs.
    void Sync(const ScopeSettings& s, bool bgView, bool compact);
    // What ComposeAcqConfig decided for the controls: volts/div captions,
    // colour swatches, frequency-meter items, the horizontal position.
    void ShowView(const WindowView& v, const ScopeSettings& s, bool spectrumShown);
    // The generator panel: range captions, what is shown and enabled, the read-outs.
    void ShowGenPanel(const GenPanelView& v);
    // The script's trigger-mark list and the run lamp (nothing: the button face).
    void ShowAfg(const AfgSession& a, std::optional<std::uint32_t> lamp);
    // Every caption in the language.
    void SetCaptions(bool russian);

private:
    void BuildScreenPanel(QWidget* parent);
    void BuildScopeGroup();
    void BuildGeneratorGroup();
    void BuildMenus();
    QToolButton* AddButton(const std::string& name, const QString& caption, QWidget* parent);
    QScrollBar* AddBar(const std::string& name, int orientation, int lo, int hi, QWidget* parent);
    void Bind(const std::string& name, QObject* control);

    QMainWindow* window_;
    const QImage& bitmap_;
    Routes routes_;
    std::map<std::string, QObject*> controls_;        // every named control
    std::map<std::string, const SettingKey*> bound_;  // controls holding a setting
    ScreenWidget* screen_ = nullptr;
    QScrollBar* xPos_ = nullptr;
    QWidget* panelSignal_ = nullptr;
    QGroupBox* scopeBox_ = nullptr;
    QGroupBox* genBox_ = nullptr;
    QComboBox* afgList_ = nullptr;
    std::vector<std::string> afgItems_;          // the trigger-mark texts as shown
    std::array<int, 3> glyphShown_{-1, -1, -1};  // coupling A1, A2 and edge glyphs as shown
    bool syncing_ = false;                       // controls being set from the settings: their signals are not clicks
};

}  // namespace kr40
