#include "app/control_panel.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <optional>

#include "acquisition/acq_config.h"
#include "acquisition/scope_settings.h"
#include "acquisition/scope_tables.h"
#include "app/menu_table.h"
#include "app/screen_widget.h"
#include "display/glyphs.h"
#include "display/qt_text.h"
#include "display/screen.h"
#include "generator/afg_session.h"
#include "generator/gen_panel.h"
#include "ui/captions.h"

namespace kr40 {

namespace {

constexpr int kButtonHeight = 19;

// A read-out label that reports double clicks.
class ReadoutLabel : public QLabel {
public:
    ReadoutLabel(QWidget* parent, std::function<void()> onDoubleClick)
        : QLabel(parent), onDoubleClick_(std::move(onDoubleClick))
    {
    }

protected:
    void mouseDoubleClickEvent(QMouseEvent*) override { onDoubleClick_(); }

private:
    std::function<void()> onDoubleClick_;
};

bool KeyValue(const ScopeSettings& s, const SettingKey& k)
{
    if (k.type == KeyType::Bool) return s.*k.boolField;
    if (k.type == KeyType::GroupItem) return s.Sel(k.group) == k.item;
    return false;
}

}  // namespace

ControlPanel::ControlPanel(QMainWindow* window, const QImage& screenBitmap, Routes routes)
    : window_(window), bitmap_(screenBitmap), routes_(std::move(routes))
{
    auto* central = new QWidget(window_);
    window_->setCentralWidget(central);
    auto* grid = new QGridLayout(central);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);

    BuildScreenPanel(central);
    scopeBox_ = new QGroupBox(central);
    Bind("GroupBox1", scopeBox_);
    scopeBox_->setFixedWidth(166);
    genBox_ = new QGroupBox(central);
    Bind("GroupBox2", genBox_);
    genBox_->setFixedHeight(114);
    BuildScopeGroup();
    BuildGeneratorGroup();
    scopeBox_->setStyleSheet(SpeedButtonStyle());
    genBox_->setStyleSheet(SpeedButtonStyle());

    grid->addWidget(panelSignal_, 0, 0);
    grid->addWidget(genBox_, 1, 0);
    grid->addWidget(scopeBox_, 0, 1, 2, 1);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(0, 1);

    BuildMenus();
}

// ---------------------------------------------------------------------------
// The registry

void ControlPanel::Bind(const std::string& name, QObject* control)
{
    control->setObjectName(ToQString(name));
    controls_[name] = control;
    for (const SettingKey& k : SettingKeys())
        if (k.heldBy == name) bound_[name] = &k;
}

const SettingKey* ControlPanel::KeyOf(const std::string& name) const
{
    auto it = bound_.find(name);
    return it == bound_.end() ? nullptr : it->second;
}

QAbstractButton* ControlPanel::Button(const std::string& name) const
{
    return qobject_cast<QAbstractButton*>(Control(name));
}

QAction* ControlPanel::Action(const std::string& name) const
{
    auto it = controls_.find(name);
    if (it == controls_.end()) return nullptr;
    if (auto* a = qobject_cast<QAction*>(it->second)) return a;
    if (auto* m = qobject_cast<QMenu*>(it->second)) return m->menuAction();
    return nullptr;
}

QMenu* ControlPanel::Menu(const std::string& name) const
{
    auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : qobject_cast<QMenu*>(it->second);
}

QWidget* ControlPanel::Control(const std::string& name) const
{
    auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : qobject_cast<QWidget*>(it->second);
}

// ---------------------------------------------------------------------------
// Building

QToolButton* ControlPanel::AddButton(const std::string& name, const QString& caption, QWidget* parent)
{
    auto* b = new QToolButton(parent);
    b->setText(caption);
    b->setCheckable(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    b->setFixedHeight(kButtonHeight);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    Bind(name, b);
    QObject::connect(b, &QToolButton::clicked, window_, [this, name](bool checked) {
        if (!syncing_) routes_.clicked(name, checked);
    });
    return b;
}

QScrollBar* ControlPanel::AddBar(const std::string& name, int orientation, int lo, int hi, QWidget* parent)
{
    auto* sb = new QScrollBar(static_cast<Qt::Orientation>(orientation), parent);
    Bind(name, sb);
    sb->setRange(lo, hi);
    sb->setFocusPolicy(Qt::NoFocus);
    QObject::connect(sb, &QScrollBar::valueChanged, window_, [this, name](int value) {
        if (!syncing_) routes_.barMoved(name, value);
    });
    return sb;
}

// Panel_Signal: the screen and the horizontal position below it.
void ControlPanel::BuildScreenPanel(QWidget* parent)
{
    panelSignal_ = new QWidget(parent);
    Bind("Panel_Signal", panelSignal_);
    auto* layout = new QVBoxLayout(panelSignal_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    screen_ = new ScreenWidget(bitmap_, panelSignal_);
    Bind("Image_M", screen_);
    xPos_ = AddBar("ScrollBar_X_POS", Qt::Horizontal, 0, 3000, panelSignal_);
    xPos_->setPageStep(50);
    layout->addWidget(screen_, 1);
    layout->addWidget(xPos_);
}

void ControlPanel::BuildScopeGroup()
{
    auto* v = new QVBoxLayout(scopeBox_);
    v->setContentsMargins(4, 2, 4, 4);
    v->setSpacing(2);
    const auto row = [&](std::initializer_list<QWidget*> widgets) {
        auto* h = new QHBoxLayout;
        h->setSpacing(1);
        for (QWidget* w : widgets) h->addWidget(w);
        v->addLayout(h);
    };
    const auto swatch = [&](const std::string& name) {
        auto* p = new QLabel(scopeBox_);
        Bind(name, p);
        p->setFixedSize(14, 14);
        p->setFrameShape(QFrame::Panel);
        p->setFrameShadow(QFrame::Sunken);
        p->setAutoFillBackground(true);
        return p;
    };

    auto* run = AddButton("SpeedButton_Run", "RUN", scopeBox_);
    auto* single = AddButton("SpeedButton_Sngl", "SINGLE", scopeBox_);
    run->setFixedHeight(24);
    single->setFixedHeight(24);
    row({run, single});

    auto* timeDiv = new QLabel(scopeBox_);
    Bind("StaticText_TimeDiv", timeDiv);
    timeDiv->setText("Time/Div");
    row({timeDiv, swatch("Panel_Color_TD")});
    auto* tb = new QGridLayout;
    tb->setSpacing(1);
    for (int i = 0; i < TimeBaseCount; ++i)
        tb->addWidget(AddButton(std::string("SpeedButton_") + TimeBases[i].key, TimeBases[i].caption, scopeBox_), i / 3,
                      i % 3);
    v->addLayout(tb);

    for (const char* ch : {"A1", "A2"}) {
        v->addSpacing(3);
        auto* header = AddButton(std::string("SpeedButton_VoltsDiv_") + ch, QString(ch) + " Volts/Div", scopeBox_);
        header->setCheckable(false);
        auto* acdc = AddButton(std::string("SpeedButton_ACDC_") + ch, "", scopeBox_);
        acdc->setToolButtonStyle(Qt::ToolButtonIconOnly);
        acdc->setFixedWidth(26);
        acdc->setIcon(CouplingIcon(false));
        row({header, swatch(std::string("Panel_Color_") + ch), acdc});
        auto* g = new QGridLayout;
        g->setSpacing(1);
        for (int i = 0; i < VoltsCount; ++i)
            g->addWidget(AddButton(std::string("SpeedButton_") + VoltsPerDiv[i].suffix + "_" + ch,
                                   VoltsPerDiv[i].caption[0], scopeBox_),
                         i / 3, i % 3);
        v->addLayout(g);
    }

    v->addSpacing(3);
    auto* trig = AddButton("SpeedButton_Trig", "Trigger", scopeBox_);
    trig->setCheckable(false);
    row({trig, swatch("Panel_Color_Trig")});
    auto* edge = AddButton("SpeedButton_TrigEdge", "", scopeBox_);
    edge->setToolButtonStyle(Qt::ToolButtonIconOnly);
    edge->setIcon(EdgeIcon(false));
    row({AddButton("SpeedButton_Trig_On", "ON", scopeBox_), edge, AddButton("SpeedButton_TrigA1", "A1", scopeBox_),
         AddButton("SpeedButton_TrigA2", "A2", scopeBox_)});
    row({AddButton("SpeedButton_Auto", "Auto", scopeBox_), AddButton("SpeedButton_TPLUS", "T+", scopeBox_),
         AddButton("SpeedButton_TrigD1", "D1", scopeBox_), AddButton("SpeedButton_TrigD2", "D2", scopeBox_)});
    v->addStretch(1);
}

void ControlPanel::BuildGeneratorGroup()
{
    auto* h = new QHBoxLayout(genBox_);
    h->setContentsMargins(4, 2, 4, 4);
    h->setSpacing(4);

    auto* left = new QVBoxLayout;
    left->setSpacing(1);
    auto* on = AddButton("SpeedButton_GenOn", "ON", genBox_);
    auto* genRun = AddButton("SpeedButton_GenRun", "RUN", genBox_);
    genRun->setCheckable(false);
    // The AFG status lamp beside RUN.
    auto* runLamp = new QFrame(genBox_);
    Bind("Panel_AFG_Run", runLamp);
    runLamp->setFixedSize(8, kButtonHeight);
    runLamp->setFrameShape(QFrame::Panel);
    runLamp->setAutoFillBackground(true);
    auto* runRow = new QHBoxLayout;
    runRow->setSpacing(1);
    runRow->addWidget(genRun);
    runRow->addWidget(runLamp);
    left->addWidget(on);
    left->addLayout(runRow);
    afgList_ = new QComboBox(genBox_);
    Bind("ComboBox_AFG", afgList_);
    afgList_->setFixedWidth(64);
    QObject::connect(afgList_, &QComboBox::activated, window_, [this](int index) {
        if (!syncing_ && routes_.afgMarkChosen) routes_.afgMarkChosen(index);
    });
    left->addWidget(afgList_);
    left->addStretch(1);
    h->addLayout(left);

    auto* buttons = new QGridLayout;
    buttons->setSpacing(1);
    for (int i = 0; i < GenRangeCount; ++i)
        buttons->addWidget(AddButton(GenRanges[i].control, GenRanges[i].freqCaption.en, genBox_), 0, i);
    for (int i = 0; i < GenShapeCount; ++i) {
        auto* b = AddButton(GenShapeControls[i], "", genBox_);
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        b->setIcon(ShapeIcon(i));
        buttons->addWidget(b, 1, i);
    }
    const std::array<std::pair<const char*, const char*>, 4> modes = {{{"SpeedButton_Sweep", "Swp."},
                                                                       {"SpeedButton_Pulse", "Pulse"},
                                                                       {"SpeedButton_Mod", "Mod."},
                                                                       {"SpeedButton_Form", "AFG"}}};
    for (int i = 0; i < 4; ++i) buttons->addWidget(AddButton(modes[i].first, modes[i].second, genBox_), 2, i);

    const auto bar = [&](const char* name, Qt::Orientation o, int lo, int hi) {
        return AddBar(name, o, lo, hi, genBox_);
    };
    buttons->addWidget(bar("ScrollBar_F_fast", Qt::Horizontal, 0, 1000), 3, 0, 1, 6);
    buttons->addWidget(bar("ScrollBar_F_slow", Qt::Horizontal, 0, 1000), 4, 0, 1, 6);
    h->addLayout(buttons, 1);

    auto* amplitude = bar("ScrollBar_Amplitude", Qt::Vertical, 47, 1997);
    amplitude->setInvertedAppearance(true);
    h->addWidget(amplitude);

    auto* panel = new QFrame(genBox_);
    Bind("Panel_Gen", panel);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFixedWidth(230);
    panel->setAutoFillBackground(true);
    auto* labels = new QVBoxLayout(panel);
    labels->setContentsMargins(4, 2, 4, 2);
    labels->setSpacing(0);
    for (const char* name : {"Label_F", "Label_V", "Label_Mod", "Label_Pulse"}) {
        const std::string n = name;
        auto* l = new ReadoutLabel(panel, [this, n] {
            if (routes_.doubleClicked) routes_.doubleClicked(n);
        });
        Bind(name, l);
        l->setAutoFillBackground(true);
        l->setWordWrap(false);
        labels->addWidget(l);
    }
    labels->addStretch(1);
    h->addWidget(panel);
}

void ControlPanel::BuildMenus()
{
    std::vector<QMenu*> stack;
    QActionGroup* radio = nullptr;
    Group radioGroup = Group::Count;
    const std::vector<MenuRow>& rows = MainMenuRows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const MenuRow& r = rows[i];
        stack.resize(static_cast<std::size_t>(r.depth));
        QWidget* parent = stack.empty() ? static_cast<QWidget*>(window_->menuBar()) : stack.back();
        const QString caption = ToQString(r.caption.empty() ? MainCaption(r.name, false) : r.caption);
        if (r.kind == MenuKind::Separator) {
            QAction* sep = stack.back()->addSeparator();
            // The separator before the Schmitt items is shown and hidden with them.
            if (i + 1 < rows.size() && rows[i + 1].name == "Menu_SchmittT_D1") Bind("Sep_SchmittT", sep);
            continue;
        }
        if (r.kind == MenuKind::Menu) {
            QMenu* m = stack.empty() ? window_->menuBar()->addMenu(caption) : stack.back()->addMenu(caption);
            Bind(r.name, m);
            const std::string name = r.name;
            if (stack.empty())
                QObject::connect(m, &QMenu::aboutToShow, window_, [this, name] { routes_.menuOpening(name); });
            stack.push_back(m);
            continue;
        }
        QAction* a = stack.back()->addAction(caption);
        Bind(r.name, a);
        if (!r.shortcut.empty()) {
            a->setShortcut(QKeySequence(ToQString(r.shortcut)));
            a->setShortcutContext(Qt::WindowShortcut);
        }
        const SettingKey* k = KeyOf(r.name);
        // Items holding a setting, and the three whose state the window keeps.
        if (k || r.name == "Menu_English" || r.name == "Menu_BG_View" || r.name == "Menu_Compact")
            a->setCheckable(true);
        // Radio items share an action group for their look; the settings
        // group decides what is checked.
        if (k && k->type == KeyType::GroupItem) {
            if (!radio || radioGroup != k->group) {
                radio = new QActionGroup(parent);
                // Radio menus show radio marks, and their checked item stays
                // checked when clicked again; other groups may be all off.
                radio->setExclusionPolicy(GroupOf(k->group).kind == GroupKind::MenuRadio
                                              ? QActionGroup::ExclusionPolicy::Exclusive
                                              : QActionGroup::ExclusionPolicy::None);
                radioGroup = k->group;
            }
            radio->addAction(a);
        }
        const std::string name = r.name;
        QObject::connect(a, &QAction::triggered, window_, [this, name](bool checked) {
            if (!syncing_) routes_.clicked(name, checked);
        });
    }
}

// ---------------------------------------------------------------------------
// Showing the settings

void ControlPanel::Sync(const ScopeSettings& s, bool bgView, bool compact)
{
    syncing_ = true;
    for (const auto& [name, key] : bound_) {
        QObject* c = controls_.at(name);
        if (auto* b = qobject_cast<QAbstractButton*>(c)) {
            b->setChecked(KeyValue(s, *key));
        } else if (auto* a = qobject_cast<QAction*>(c)) {
            a->setChecked(KeyValue(s, *key));
        } else if (auto* sb = qobject_cast<QScrollBar*>(c)) {
            if (key->type == KeyType::Int) sb->setValue(s.*key->intField);
        }
    }
    Button("SpeedButton_Run")->setChecked(s.Run_Down);
    Button("SpeedButton_Sngl")->setChecked(s.Sngl_Down);
    Button("SpeedButton_GenOn")->setChecked(s.GenOn_Down);
    Action("Menu_English")->setChecked(!s.Russian);
    Action("Menu_BG_View")->setChecked(bgView);
    Action("Menu_Compact")->setChecked(compact);
    // Icons change only with their state (this runs every second).
    const std::array<bool, 3> glyph = {s.A1_ACDC, s.A2_ACDC, s.Edge};
    for (std::size_t i = 0; i < glyph.size(); ++i) {
        if (glyphShown_[i] == int(glyph[i])) continue;
        glyphShown_[i] = glyph[i];
        static const char* const names[3] = {"SpeedButton_ACDC_A1", "SpeedButton_ACDC_A2", "SpeedButton_TrigEdge"};
        Button(names[i])->setIcon(i < 2 ? CouplingIcon(glyph[i]) : EdgeIcon(glyph[i]));
    }
    syncing_ = false;
}

void ControlPanel::ShowView(const WindowView& v, const ScopeSettings& s, bool spectrumShown)
{
    syncing_ = true;
    for (int ch = 0; ch < 2; ++ch) {
        const std::string name = ch == 0 ? "A1" : "A2";
        if (!v.voltsHeader[ch].empty()) Button("SpeedButton_VoltsDiv_" + name)->setText(ToQString(v.voltsHeader[ch]));
        for (int i = 0; i < VoltsCount; ++i) {
            if (!v.voltsCaptions[ch][i].empty())
                Button(std::string("SpeedButton_") + VoltsPerDiv[i].suffix + "_" + name)
                    ->setText(ToQString(v.voltsCaptions[ch][i]));
        }
    }
    const auto paint = [&](const char* name, const std::optional<std::uint32_t>& colour) {
        auto* w = Control(name);
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, colour ? ToQColor(*colour) : window_->palette().color(QPalette::Button));
        w->setPalette(pal);
    };
    paint("Panel_Color_A1", v.swatchA1);
    paint("Panel_Color_A2", v.swatchA2);
    paint("Panel_Color_Trig", v.swatchTrig);
    Action("Menu_FM_D1_HF")->setEnabled(v.fmD1HfEnabled);
    Action("Menu_FM_D2_HF")->setEnabled(v.fmD2HfEnabled);
    Action("Menu_FM_RST")->setEnabled(v.fmResetEnabled);
    if (!spectrumShown && xPos_->value() != s.X_Pos) xPos_->setValue(s.X_Pos);
    syncing_ = false;
}

void ControlPanel::ShowGenPanel(const GenPanelView& v)
{
    syncing_ = true;
    for (int i = 0; i < GenRangeCount; ++i) {
        QAbstractButton* b = Button(GenRanges[i].control);
        b->setVisible(v.rangeVisible[i]);
        if (!v.rangeCaption[i].empty()) b->setText(ToQString(v.rangeCaption[i]));
    }
    for (int i = 0; i < GenShapeCount; ++i) {
        QAbstractButton* b = Button(GenShapeControls[i]);
        b->setVisible(v.shapesVisible);
        b->setEnabled(v.shapeEnabled[i]);
    }
    Control("ScrollBar_F_fast")->setEnabled(v.barsEnabled);
    Control("ScrollBar_F_slow")->setEnabled(v.barsEnabled);
    if (auto* amplitude = qobject_cast<QScrollBar*>(Control("ScrollBar_Amplitude")))
        amplitude->setMaximum(v.amplitudeMax);
    Control("SpeedButton_GenRun")->setVisible(v.runVisible);
    Control("Panel_AFG_Run")->setVisible(v.runVisible);
    afgList_->setVisible(v.afgListVisible);

    QPalette pal = Control("Panel_Gen")->palette();
    pal.setColor(QPalette::Window, ToQColor(v.background));
    pal.setColor(QPalette::WindowText, ToQColor(v.textColour));
    Control("Panel_Gen")->setPalette(pal);
    const std::array<std::pair<const char*, const std::string*>, 4> labels = {
        {{"Label_F", &v.labelF}, {"Label_V", &v.labelV}, {"Label_Mod", &v.labelMod}, {"Label_Pulse", &v.labelPulse}}};
    for (const auto& [name, text] : labels) {
        auto* l = qobject_cast<QLabel*>(Control(name));
        l->setPalette(pal);
        l->setText(ToQString(*text));
    }
    Control("Label_Mod")->setVisible(v.labelModVisible);
    Control("Label_Pulse")->setVisible(v.labelPulseVisible);
    syncing_ = false;
}

void ControlPanel::ShowAfg(const AfgSession& a, std::optional<std::uint32_t> lamp)
{
    syncing_ = true;
    std::vector<std::string> items;
    for (const AfgMark& m : a.marks) items.push_back(m.text);
    if (items != afgItems_) {
        afgItems_ = items;
        afgList_->clear();
        for (const std::string& t : items) afgList_->addItem(ToQString(t));
    }
    if (afgList_->currentIndex() != a.markIndex) afgList_->setCurrentIndex(a.markIndex);
    QWidget* run = Control("Panel_AFG_Run");
    QPalette pal = run->palette();
    pal.setColor(QPalette::Window, lamp ? ToQColor(*lamp) : window_->palette().color(QPalette::Button));
    run->setPalette(pal);
    syncing_ = false;
}

void ControlPanel::SetCaptions(bool russian)
{
    SetLanguage(russian, [this](std::string_view control, const std::string& caption) {
        auto it = controls_.find(std::string(control));
        if (it == controls_.end()) return;
        const QString text = ToQString(caption);
        if (auto* b = qobject_cast<QAbstractButton*>(it->second))
            b->setText(text);
        else if (auto* g = qobject_cast<QGroupBox*>(it->second))
            g->setTitle(text);
        else if (auto* l = qobject_cast<QLabel*>(it->second))
            l->setText(text);
        else if (auto* a = qobject_cast<QAction*>(it->second))
            a->setText(text);
        else if (auto* m = qobject_cast<QMenu*>(it->second))
            m->setTitle(text);
    });
}

}  // namespace kr40
