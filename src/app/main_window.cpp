#include "app/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "state/compose.h"
#include "acquisition/frame.h"
#include "state/scope_state.h"
#include "acquisition/scope_tables.h"
#include "display/glyphs.h"
#include "app/menu_table.h"
#include "app/qt_prompts.h"
#include "app/screen_widget.h"
#include "app/single_instance.h"
#include "device/device_link.h"
#include "app/provider_select.h"
#include "device/scope_thread.h"
#include "device/supervision.h"
#include "display/compose.h"
#include "display/markers.h"
#include "display/scope_screen.h"
#include "display/screen.h"
#include "display/trace.h"
#include "files/settings_file.h"
#include "state/settings_commands.h"
#include "trigger/trig_set_dialog.h"
#include "ui/about_dialog.h"
#include "ui/captions.h"
#include "ui/color_set_dialog.h"
#include "ui/keyboard.h"
#include "ui/menu_rules.h"

namespace kr40 {

// The worker's synchronous call onto the user-interface thread. Unlike a
// blocking queued connection it can be closed: a call waiting when the window
// stops the thread is released without running, so joining the thread never
// waits for a user-interface thread that is itself waiting for the join.
class UiCallGate {
public:
    explicit UiCallGate(QObject* context) : context_(context) {}

    // Worker thread: runs fn on the user-interface thread and returns when it
    // has run, or at once when the gate is (or gets) closed.
    void Run(const std::function<void()>& fn)
    {
        auto call = std::make_shared<Call>();
        {
            std::lock_guard lock(mutex_);
            if (closed_) return;
            pending_ = call;
        }
        const std::function<void()>* job = &fn;
        QMetaObject::invokeMethod(
            context_,
            [this, call, job] {
                {
                    std::lock_guard lock(mutex_);
                    if (call->released) return;  // the worker has gone on without it
                }
                (*job)();
                std::lock_guard lock(mutex_);
                call->released = true;
                done_.notify_all();
            },
            Qt::QueuedConnection);
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return call->released; });
        pending_.reset();
    }

    // User-interface thread: refuses further calls and releases a waiting one.
    void Close()
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        if (pending_) pending_->released = true;
        done_.notify_all();
    }

private:
    struct Call {
        bool released = false;
    };
    QObject* context_;
    std::mutex mutex_;
    std::condition_variable done_;
    std::shared_ptr<Call> pending_;
    bool closed_ = false;
};

namespace {

// A provider that loads nothing: the driver asked for is not built in.
class NoProvider : public DeviceProvider {
public:
    bool Load(std::string_view) override { return false; }
    void Unload(std::string_view) override {}
    void* Resolve(std::string_view, std::string_view) override { return nullptr; }
};

QString Q(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The setting a control holds, from the key table's "held by" column.
const SettingKey* KeyHeldBy(const std::string& control)
{
    for (const SettingKey& k : SettingKeys())
        if (k.heldBy == control) return &k;
    return nullptr;
}

bool KeyValue(const ScopeSettings& s, const SettingKey& k)
{
    if (k.type == KeyType::Bool) return s.*k.boolField;
    if (k.type == KeyType::GroupItem) return s.Sel(k.group) == k.item;
    return false;
}

constexpr int kButtonHeight = 19;

// Commands whose features are still being built: shown, but disabled.
constexpr std::array<const char*, 24> kPendingControls = {
    "Menu_Open",    "Menu_Open_Gen_Form", "Menu_Save_As",       "Menu_Image",         "Menu_Text",
    "Menu_EBin_A1", "Menu_EBin_A2",       "Menu_EBin_D1",       "Menu_EBin_D2",       "Menu_Recorder",
    "Menu_FFTSet",  "Menu_GeneratorSet",  "Menu_FM_Calibrate",  "Menu_ZeroCalibrate", "Menu_TDCCalibrate",
    "Menu_BG_Do",   "Menu_BG_Clr",        "Menu_FFT_A1",        "Menu_FFT_A2",        "Menu_SerialDecoders",
    "Menu_LCMeter", "Menu_Help_Contents", "SpeedButton_GenRun", "ComboBox_AFG"};

bool Pending(const std::string& name)
{
    return std::find(kPendingControls.begin(), kPendingControls.end(), name) != kPendingControls.end();
}

}  // namespace

MainWindow::MainWindow(MainWindowOptions options)
    : options_(std::move(options)),
      st_(std::make_unique<ScopeState>()),
      live_(std::make_unique<FrameSet>()),
      ref_(std::make_unique<FrameSet>()),
      lastRec_(std::make_unique<FrameRecord>()),
      d_(std::make_unique<DisplayState>()),
      recorder_(std::make_unique<RecorderStream>())
{
    setObjectName("TKR4003MFrm");
    setWindowTitle(Q(options_.caption));
    QFont font("Tahoma");
    font.setPixelSize(11);
    setFont(font);
    setAcceptDrops(true);

    provider_ = options_.provider;
    if (!provider_) {
        ownProvider_ = MakeProvider(options_.providerName);
        if (!ownProvider_) ownProvider_ = std::make_unique<NoProvider>();
        provider_ = ownProvider_.get();
    }
    qtPrompts_ = std::make_unique<QtPrompts>(this);
    link_ = std::make_unique<TransportLink>(st_->transport);
    device_ = std::make_unique<DeviceLink>(*link_, *st_, *live_, *recorder_,
                                           [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
    gate_ = std::make_shared<UiCallGate>(this);
    thread_ = std::make_unique<ScopeThread>(
        *st_, *device_, [gate = gate_](const std::function<void()>& fn) { gate->Run(fn); }, [this] { Handoff(); });

    BuildControls();
    BuildMenus();

    // Defaults, then the program's settings file; the first settings packet
    // re-arms the trigger.
    if (!options_.settingsFile.empty()) ReadSettings(st_->settings, Ask(), options_.settingsFile, true);
    if (options_.russian) st_->settings.Russian = *options_.russian;
    st_->requests.TrigChanged = true;

    const StartupVisibility vis = StartupVisibilityOf(st_->settings);
    Action("Menu_TDCCalibrate")->setVisible(vis.tdcCalibrate);
    Action("Menu_TDCCalibrate")->setEnabled(vis.tdcCalibrate);
    Action("Menu_Recorder")->setVisible(vis.recorder);
    if (auto* amp = qobject_cast<QScrollBar*>(Control("ScrollBar_Amplitude")))
        amp->setRange(vis.amplitudeMin, vis.amplitudeMax);

    for (const char* name : kPendingControls) {
        if (QAction* a = Action(name)) a->setEnabled(false);
        if (QWidget* w = Control(name)) w->setEnabled(false);
    }

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
    // The thread first, then the device: nothing may signal or read this
    // window's state once it is gone.
    StopThread();
    CloseScopeDevice(st_->transport);
}

Prompts& MainWindow::Ask()
{
    return options_.prompts ? *options_.prompts : *qtPrompts_;
}

// ---------------------------------------------------------------------------
// Controls

QToolButton* MainWindow::AddButton(const std::string& name, const QString& caption, QWidget* parent)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(Q(name));
    b->setText(caption);
    b->setCheckable(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    b->setFixedHeight(kButtonHeight);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    Bind(name, b);
    connect(b, &QToolButton::clicked, this, [this, name](bool checked) { ControlClicked(name, checked); });
    return b;
}

void MainWindow::Bind(const std::string& name, QObject* control)
{
    control->setObjectName(Q(name));
    controls_[name] = control;
    if (const SettingKey* k = KeyHeldBy(name)) bound_[name] = k;
}

QAbstractButton* MainWindow::Button(const std::string& name) const
{
    return qobject_cast<QAbstractButton*>(Control(name));
}

QAction* MainWindow::Action(const std::string& name) const
{
    auto it = controls_.find(name);
    if (it == controls_.end()) return nullptr;
    if (auto* a = qobject_cast<QAction*>(it->second)) return a;
    if (auto* m = qobject_cast<QMenu*>(it->second)) return m->menuAction();
    return nullptr;
}

QMenu* MainWindow::Menu(const std::string& name) const
{
    auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : qobject_cast<QMenu*>(it->second);
}

QWidget* MainWindow::Control(const std::string& name) const
{
    auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : qobject_cast<QWidget*>(it->second);
}

void MainWindow::BuildControls()
{
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* grid = new QGridLayout(central);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);

    // Panel_Signal: the screen and the horizontal position below it.
    panelSignal_ = new QWidget(central);
    Bind("Panel_Signal", panelSignal_);
    auto* signalLayout = new QVBoxLayout(panelSignal_);
    signalLayout->setContentsMargins(0, 0, 0, 0);
    signalLayout->setSpacing(0);
    screen_ = new ScreenWidget(d_->ScreenBitmap, panelSignal_);
    Bind("Image_M", screen_);
    xPos_ = new QScrollBar(Qt::Horizontal, panelSignal_);
    Bind("ScrollBar_X_POS", xPos_);
    xPos_->setRange(0, 3000);
    xPos_->setPageStep(50);
    xPos_->setFocusPolicy(Qt::NoFocus);
    signalLayout->addWidget(screen_, 1);
    signalLayout->addWidget(xPos_);
    connect(xPos_, &QScrollBar::valueChanged, this, [this](int v) {
        if (syncing_) return;
        st_->settings.X_Pos = v;
        Refresh();
    });

    screen_->onResize = [this](int w, int h) { ScreenResized(w, h); };
    const auto mouseButton = [](Qt::MouseButton b) {
        return b == Qt::LeftButton ? MouseButton::Left : b == Qt::RightButton ? MouseButton::Right : MouseButton::Other;
    };
    const auto effect = [this](const MouseEffect& e) {
        if (e.toggleCompact) Menu_CompactClick();
        if (e.toggleGenView) Menu_Gen_ViewClick();
        if (e.apply)
            Apply();
        else if (e.refresh)
            Refresh();
    };
    screen_->onMousePress = [=, this](QMouseEvent* e) {
        effect(MouseDown(*d_, *st_, bgView_, mouseButton(e->button()), e->position().toPoint().x(),
                         e->position().toPoint().y()));
    };
    screen_->onMouseMove = [=, this](QMouseEvent* e) {
        const Qt::MouseButtons held = e->buttons();
        const MouseButton b = held & Qt::LeftButton    ? MouseButton::Left
                              : held & Qt::RightButton ? MouseButton::Right
                                                       : MouseButton::Other;
        effect(MouseMove(*d_, *st_, bgView_, b, e->position().toPoint().x(), e->position().toPoint().y()));
    };
    screen_->onMouseRelease = [=, this](QMouseEvent* e) {
        effect(MouseUp(*d_, *st_, bgView_, mouseButton(e->button()), e->position().toPoint().x(),
                       e->position().toPoint().y()));
    };
    screen_->onDoubleClick = [=, this](QMouseEvent*) { effect(DoubleClick(*d_)); };
    screen_->onWheel = [this](QWheelEvent* e) {
        if (SpectrumShown(st_->settings) || e->angleDelta().y() == 0) return;
        const WheelResult r =
            WheelTimeBase(st_->settings, d_->g, *lastRec_, e->position().toPoint().x(), e->angleDelta().y() > 0,
                          st_->settings.Run_Down || st_->settings.Sngl_Down, st_->acq.Time_Div_ns);
        if (r.handled) {
            SyncControls();
            Apply();
        }
    };

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
}

void MainWindow::BuildScopeGroup()
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

void MainWindow::BuildGeneratorGroup()
{
    auto* h = new QHBoxLayout(genBox_);
    h->setContentsMargins(4, 2, 4, 4);
    h->setSpacing(4);

    auto* left = new QVBoxLayout;
    left->setSpacing(1);
    auto* on = AddButton("SpeedButton_GenOn", "ON", genBox_);
    auto* genRun = AddButton("SpeedButton_GenRun", "RUN", genBox_);
    genRun->setCheckable(false);
    left->addWidget(on);
    left->addWidget(genRun);
    afgList_ = new QComboBox(genBox_);
    Bind("ComboBox_AFG", afgList_);
    afgList_->setFixedWidth(64);
    left->addWidget(afgList_);
    left->addStretch(1);
    h->addLayout(left);

    auto* buttons = new QGridLayout;
    buttons->setSpacing(1);
    const std::array<std::pair<const char*, const char*>, 6> ranges = {{{"SpeedButton_10K_1S", "10 K"},
                                                                        {"SpeedButton_100K_100mS", "100 K"},
                                                                        {"SpeedButton_1M_10mS", "1 M"},
                                                                        {"SpeedButton_10M_1mS", "10 M"},
                                                                        {"SpeedButton_50M_100uS", "50 M"},
                                                                        {"SpeedButton__10uS_Noise", "Noise"}}};
    for (int i = 0; i < 6; ++i) buttons->addWidget(AddButton(ranges[i].first, ranges[i].second, genBox_), 0, i);
    const std::array<const char*, 5> shapes = {"SpeedButton_Sin", "SpeedButton_Rect", "SpeedButton_Trian",
                                               "SpeedButton_Up_Trian", "SpeedButton_Dn_Trian"};
    for (int i = 0; i < 5; ++i) {
        auto* b = AddButton(shapes[i], "", genBox_);
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
        auto* sb = new QScrollBar(o, genBox_);
        Bind(name, sb);
        sb->setRange(lo, hi);
        sb->setFocusPolicy(Qt::NoFocus);
        const SettingKey* key = bound_.count(name) ? bound_[name] : nullptr;
        connect(sb, &QScrollBar::valueChanged, this, [this, key](int value) {
            if (syncing_) return;
            if (key) st_->settings.*key->intField = value;
            Apply();
        });
        return sb;
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
    panel->setFixedWidth(150);
    auto* labels = new QVBoxLayout(panel);
    labels->setContentsMargins(4, 2, 4, 2);
    for (const char* name : {"Label_F", "Label_V", "Label_Mod", "Label_Pulse"}) {
        auto* l = new QLabel(panel);
        Bind(name, l);
        labels->addWidget(l);
    }
    h->addWidget(panel);
}

void MainWindow::BuildMenus()
{
    std::vector<QMenu*> stack;
    QActionGroup* radio = nullptr;
    Group radioGroup = Group::Count;
    const std::vector<MenuRow>& rows = MainMenuRows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const MenuRow& r = rows[i];
        stack.resize(static_cast<std::size_t>(r.depth));
        QWidget* parent = stack.empty() ? static_cast<QWidget*>(menuBar()) : stack.back();
        const QString caption = Q(r.caption.empty() ? MainCaption(r.name, false) : r.caption);
        if (r.kind == MenuKind::Separator) {
            QAction* sep = stack.back()->addSeparator();
            // The separator before the Schmitt items is shown and hidden with them.
            if (i + 1 < rows.size() && rows[i + 1].name == "Menu_SchmittT_D1") Bind("Sep_SchmittT", sep);
            continue;
        }
        if (r.kind == MenuKind::Menu) {
            QMenu* m = stack.empty() ? menuBar()->addMenu(caption) : stack.back()->addMenu(caption);
            Bind(r.name, m);
            const std::string name = r.name;
            if (stack.empty()) connect(m, &QMenu::aboutToShow, this, [this, name] { MenuOpening(name); });
            stack.push_back(m);
            continue;
        }
        QAction* a = stack.back()->addAction(caption);
        Bind(r.name, a);
        if (!r.shortcut.empty()) {
            a->setShortcut(QKeySequence(Q(r.shortcut)));
            a->setShortcutContext(Qt::WindowShortcut);
        }
        const SettingKey* k = KeyHeldBy(r.name);
        // Items holding a setting, and the three whose state the window keeps.
        if (k || r.name == "Menu_English" || r.name == "Menu_BG_View" || r.name == "Menu_Compact")
            a->setCheckable(true);
        // Radio items share an action group for their look; the settings
        // group decides what is checked.
        if (k && k->type == KeyType::GroupItem) {
            if (!radio || radioGroup != k->group) {
                radio = new QActionGroup(parent);
                radio->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
                radioGroup = k->group;
            }
            radio->addAction(a);
        }
        const std::string name = r.name;
        connect(a, &QAction::triggered, this, [this, name](bool checked) { ControlClicked(name, checked); });
    }
}

// ---------------------------------------------------------------------------
// Settings <-> controls

void MainWindow::SyncControls()
{
    syncing_ = true;
    const ScopeSettings& s = st_->settings;
    for (const auto& [name, key] : bound_) {
        const bool on = KeyValue(s, *key);
        QObject* c = controls_[name];
        if (auto* b = qobject_cast<QAbstractButton*>(c)) {
            b->setChecked(on);
        } else if (auto* a = qobject_cast<QAction*>(c)) {
            a->setChecked(on);
        } else if (auto* sb = qobject_cast<QScrollBar*>(c)) {
            if (key->type == KeyType::Int) sb->setValue(s.*key->intField);
        }
    }
    Button("SpeedButton_Run")->setChecked(s.Run_Down);
    Button("SpeedButton_Sngl")->setChecked(s.Sngl_Down);
    Button("SpeedButton_GenOn")->setChecked(s.GenOn_Down);
    Action("Menu_English")->setChecked(!s.Russian);
    Action("Menu_BG_View")->setChecked(bgView_);
    Action("Menu_Compact")->setChecked(compact_);
    Button("SpeedButton_ACDC_A1")->setIcon(CouplingIcon(s.A1_ACDC));
    Button("SpeedButton_ACDC_A2")->setIcon(CouplingIcon(s.A2_ACDC));
    Button("SpeedButton_TrigEdge")->setIcon(EdgeIcon(s.Edge));
    syncing_ = false;
}

// What ComposeAcqConfig decided for the window: captions of the volts/div
// blocks, colour swatches, stay-on-top, frequency-meter items.
void MainWindow::ApplyView()
{
    const WindowView& v = st_->view;
    syncing_ = true;
    for (int ch = 0; ch < 2; ++ch) {
        const std::string name = ch == 0 ? "A1" : "A2";
        if (!v.voltsHeader[ch].empty()) Button("SpeedButton_VoltsDiv_" + name)->setText(Q(v.voltsHeader[ch]));
        for (int i = 0; i < VoltsCount; ++i) {
            if (!v.voltsCaptions[ch][i].empty())
                Button(std::string("SpeedButton_") + VoltsPerDiv[i].suffix + "_" + name)
                    ->setText(Q(v.voltsCaptions[ch][i]));
        }
    }
    const auto paint = [&](const char* name, const std::optional<std::uint32_t>& colour) {
        auto* w = Control(name);
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, colour ? ToQColor(*colour) : palette().color(QPalette::Button));
        w->setPalette(pal);
    };
    paint("Panel_Color_A1", v.swatchA1);
    paint("Panel_Color_A2", v.swatchA2);
    paint("Panel_Color_Trig", v.swatchTrig);
    Action("Menu_FM_D1_HF")->setEnabled(v.fmD1HfEnabled);
    Action("Menu_FM_D2_HF")->setEnabled(v.fmD2HfEnabled);
    Action("Menu_FM_RST")->setEnabled(v.fmResetEnabled);
    if (v.stayOnTop != bool(windowFlags() & Qt::WindowStaysOnTopHint)) {
        const bool shown = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, v.stayOnTop);
        if (shown) show();
    }
    if (!SpectrumShown(st_->settings) && xPos_->value() != st_->settings.X_Pos) xPos_->setValue(st_->settings.X_Pos);
    syncing_ = false;
}

void MainWindow::Apply()
{
    ApplySettings(*st_);
    SyncControls();
    ApplyView();
}

void MainWindow::Refresh()
{
    RefreshSettings(*st_);
    SyncControls();
    ApplyView();
}

// A click on a button or menu item. Controls that hold a setting store it
// first; then the control's handler runs.
void MainWindow::ControlClicked(const std::string& name, bool checked)
{
    if (syncing_) return;
    ScopeState& st = *st_;
    ScopeSettings& s = st.settings;
    const auto starts = [&](const char* prefix) { return name.rfind(prefix, 0) == 0; };
    const auto ends = [&](const char* suffix) {
        const std::string_view n(name), x(suffix);
        return n.size() >= x.size() && n.substr(n.size() - x.size()) == x;
    };

    // Handlers that set their own state.
    if (name == "SpeedButton_Run") return SpeedButton_RunClick();
    if (name == "SpeedButton_Sngl") return SpeedButton_SnglClick();
    if (name == "SpeedButton_GenOn") return SpeedButton_GenOnClick();
    if (name == "Menu_Exit") return Menu_ExitClick();
    if (name == "Menu_Russian") return Menu_RussianClick();
    if (name == "Menu_English") return Menu_EnglishClick();
    if (name == "Menu_Compact") return Menu_CompactClick();
    if (name == "Menu_Gen_View") return Menu_Gen_ViewClick();
    if (name == "Menu_Colors") return Menu_ColorsClick();
    if (name == "Menu_About") return Menu_AboutClick();
    if (name == "Menu_Trigger" || name == "SpeedButton_Trig") return Menu_TriggerClick();
    if (name == "Menu_Markers_1" || name == "Menu_Markers_2") {
        SetMarkerMode(s, name == "Menu_Markers_1" ? 1 : 2);
        return Refresh();
    }
    if (name == "Menu_BG_View") {
        bgView_ = checked;
        return Refresh();
    }
    if (name == "Menu_Open_Settings") {
        EventSetter busy(st.BusyEvent);
        Menu_Open_SettingsClick(st, Ask());
        st.requests.TrigChanged = true;
        return Apply();
    }
    if (name == "Menu_Save_Settings_As") {
        EventSetter busy(st.BusyEvent);
        Menu_Save_Settings_AsClick(st, Ask());
        return;
    }

    auto it = bound_.find(name);
    if (it != bound_.end()) {
        const SettingKey& k = *it->second;
        if (k.type == KeyType::Bool)
            s.*k.boolField = checked;
        else if (k.type == KeyType::GroupItem)
            SetGroupItem(s, k.group, k.item, checked);
    }
    if (starts("SpeedButton_VoltsDiv_")) {
        const bool a1 = ends("A1");
        int& probe = s.Sel(a1 ? Group::ProbeA1 : Group::ProbeA2);
        probe = probe == ProbeX1 ? ProbeX10 : ProbeX1;
        (a1 ? st.RangeChangedA1 : st.RangeChangedA2) = true;
        return Apply();
    }
    if (it != bound_.end()) {
        const SettingKey& k = *it->second;
        // The source, edge and T+ buttons change the trigger condition: the
        // instrument re-arms once; ON and Auto do not.
        if (k.group == Group::TrigSource || name == "SpeedButton_TrigEdge" || name == "SpeedButton_TPLUS")
            st.requests.TrigChanged = true;
        if (k.group == Group::VoltsA1 || k.group == Group::ProbeA1) st.RangeChangedA1 = true;
        if (k.group == Group::VoltsA2 || k.group == Group::ProbeA2) st.RangeChangedA2 = true;
        // Display options redraw; Persistence only changes its state (the
        // next frame picks it up); the rest reach the instrument.
        if (name == "Menu_Persistence") return SyncControls();
        static const std::array<const char*, 9> redrawOnly = {"Menu_Measure",    "Menu_Grid",   "Menu_TrigPosL",
                                                              "Menu_Extra_Info", "Menu_Trig_T", "Menu_Dots",
                                                              "Menu_Vectors",    "Menu_Sinxx",  "Menu_On_Top"};
        if (std::find(redrawOnly.begin(), redrawOnly.end(), name) != redrawOnly.end()) return Refresh();
        if (starts("Menu_FFT_A")) return Refresh();
        return Apply();
    }
}

// ---------------------------------------------------------------------------
// Start-up, link, timers

OpenOptions MainWindow::LinkOptions() const
{
    const ScopeSettings& s = st_->settings;
    OpenOptions o;
    o.debug = s.Debug_kr;
    o.noExcuse = s.No_Excuse;
    o.flowCtrlOff = s.FLOW_CTRL_OFF;
    o.russian = s.Russian;
    o.caption = options_.caption;
    o.rxEvent = &st_->RxEvent;
    return o;
}

void MainWindow::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    if (!initialised_) QTimer::singleShot(0, this, [this] { FirstPaint(); });
}

void MainWindow::FirstPaint()
{
    if (initialised_) return;
    initialised_ = true;
    ScopeState& st = *st_;
    startClientSize_ = size();
    startPosition_ = pos();
    startMinimumSize_ = minimumSize();

    // Screen layout and language before the first composition.
    ScreenResized(screen_->width(), screen_->height());
    SetLanguage(st.settings.Russian);
    st.requests.RedrawRequest = true;
    ComposeAcqConfig(st);
    ApplyView();

    thread_->Start();
    const FT_STATUS status = OpenScopeDevice(st.transport, *provider_, Ask(), LinkOptions());
    st.transport.LinkStatus = status;
    if (status == FT_OK) {
        st.link.FpgaLoadRequest = true;
        Apply();
    }
    if (!options_.fileArgument.empty()) OpenByExtension(options_.fileArgument);
    timer1_->start();
    timer2_->start();
    st.BusyEvent.Reset();
}

void MainWindow::StopThread()
{
    if (timer1_) timer1_->stop();
    if (timer2_) timer2_->stop();
    gate_->Close();
    thread_->Stop();
}

void MainWindow::LinkButtonPressed(int which)
{
    SupervisionHooks hooks;
    hooks.apply = [this] { ApplySettings(*st_); };
    hooks.refresh = [this] { RefreshSettings(*st_); };
    LinkButtonClick(*st_, st_->settings, *provider_, Ask(), LinkOptions(), static_cast<LinkButton>(which), hooks);
    SyncControls();
    ApplyView();
}

void MainWindow::SpeedButton_RunClick()
{
    ScopeSettings& s = st_->settings;
    s.Run_Down = Button("SpeedButton_Run")->isChecked();
    if (s.Run_Down) s.Sngl_Down = false;
    LinkButtonPressed(static_cast<int>(LinkButton::Run));
}

void MainWindow::SpeedButton_SnglClick()
{
    ScopeSettings& s = st_->settings;
    s.Sngl_Down = Button("SpeedButton_Sngl")->isChecked();
    if (s.Sngl_Down) s.Run_Down = false;
    LinkButtonPressed(static_cast<int>(LinkButton::Single));
}

void MainWindow::SpeedButton_GenOnClick()
{
    st_->settings.GenOn_Down = Button("SpeedButton_GenOn")->isChecked();
    LinkButtonPressed(static_cast<int>(LinkButton::GenOn));
}

void MainWindow::Menu_ExitClick()
{
    MenuExit(*st_);
    close();
}

void MainWindow::closeEvent(QCloseEvent* e)
{
    // FormClose: the thread ends first, so nothing draws into a closing
    // window, then the settings are written.
    StopThread();
    SaveProgramSettings();
    QMainWindow::closeEvent(e);
}

void MainWindow::SaveProgramSettings()
{
    // A run without a settings file (the picture mode) keeps nothing.
    if (!options_.settingsFile.empty()) WriteSettings(st_->settings, *st_, options_.settingsFile, true);
}

void MainWindow::Timer1Timer()
{
    SupervisionHooks hooks;
    hooks.saveSettings = [this] { SaveProgramSettings(); };
    hooks.clearAfgList = [this] { afgList_->clear(); };
    hooks.apply = [this] { ApplySettings(*st_); };
    Timer1Tick(*st_, st_->settings, *provider_, Ask(), LinkOptions(), hooks);
    SyncControls();
}

void MainWindow::Timer2Timer()
{
    if (PersistenceTimerTick(*d_)) {
        st_->requests.RedrawRequest = true;
        st_->RxEvent.Set();
    }
}

// ---------------------------------------------------------------------------
// Screen

void MainWindow::ScreenResized(int width, int height)
{
    RecomputeGeometry(*d_, std::max(width, 1), std::max(height, 1));
    st_->ScreenSettingsChanged = true;
    if (initialised_) Refresh();
}

void MainWindow::Handoff()
{
    HandoffHooks hooks;
    hooks.drawFrame = [this] { DrawFrame(); };
    hooks.drawService = [this] { DrawService(); };
    FrameHandoff(*st_, st_->settings, st_->acq, *recorder_, hooks);
    // A single shot that ended released its button.
    if (Button("SpeedButton_Sngl")->isChecked() != st_->settings.Sngl_Down) SyncControls();
}

void MainWindow::DrawFrame()
{
    if (st_->link.NewFrameProcess.exchange(false)) {
        RequestPersistenceReset(*d_);
        NoteDataFrame(*d_);
        ++framesDrawn_;
    }
    *lastRec_ = live_->rec;
    const DisplayInputs in{*st_, *live_, *ref_, false};
    DrawFrameScreen(*d_, in, bgView_);
    // The scroll bar follows the frame: 0..ValidLen in the time view.
    syncing_ = true;
    if (!SpectrumShown(st_->settings) && live_->rec.FrameLen != 0) {
        xPos_->setRange(0, std::max(0, live_->rec.ValidLen));
        xPos_->setValue(st_->settings.X_Pos);
    }
    syncing_ = false;
    screen_->update();
}

void MainWindow::DrawService()
{
    NoteServicePacket(*d_);
    const DisplayInputs in{*st_, *live_, *ref_, false};
    DrawServiceScreen(*d_, in, bgView_);
    screen_->update();
}

// ---------------------------------------------------------------------------
// Menus, language, layout

void MainWindow::MenuOpening(const std::string& name)
{
    const int firmware = st_->link.identity.Get().FirmVer;
    if (name == "Menu_File") {
        Action("Menu_Transfer_Rate")->setVisible(TransferRateVisible(firmware));
    } else if (name == "Menu_Options") {
        const bool schmitt = SchmittItemsVisible(firmware);
        Action("Menu_SchmittT_D1")->setVisible(schmitt);
        Action("Menu_SchmittT_D2")->setVisible(schmitt);
        if (QAction* sep = Action("Sep_SchmittT")) sep->setVisible(schmitt);
    } else if (name == "Menu_View") {
        const ViewMenuState v = ViewMenuOnOpen(lastRec_->FrameLen != 0, false);
        Action("Menu_BG_View")->setEnabled(v.bgViewEnabled);
        Action("Menu_BG_Clr")->setEnabled(v.bgClrEnabled && !Pending("Menu_BG_Clr"));
        Action("Menu_BG_Do")->setEnabled(v.bgDoEnabled && !Pending("Menu_BG_Do"));
    }
}

void MainWindow::SetLanguage(bool russian)
{
    kr40::SetLanguage(russian, [this](std::string_view control, const std::string& caption) {
        auto it = controls_.find(std::string(control));
        if (it == controls_.end()) return;
        const QString text = Q(caption);
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

void MainWindow::Menu_RussianClick()
{
    st_->settings.Russian = true;
    SetLanguage(true);
    Refresh();
}

void MainWindow::Menu_EnglishClick()
{
    st_->settings.Russian = false;
    SetLanguage(false);
    Refresh();
}

void MainWindow::Menu_Gen_ViewClick()
{
    st_->settings.Gen_View = !st_->settings.Gen_View;
    Relayout();
    Refresh();
}

void MainWindow::Menu_CompactClick()
{
    compact_ = !compact_;
    if (compact_) {
        if (!compactEntered_) {
            compactEntered_ = true;
            const int w = width() - scopeBox_->width();
            const int h = height() - (genBox_->isVisible() ? genBox_->height() : 0);
            setWindowState(Qt::WindowNoState);
            setMinimumSize(430, 250);
            resize(std::max(w, 430), std::max(h, 250));
        } else {
            setMinimumSize(430, 250);
            setWindowState(compactState_);
            if (!(compactState_ & Qt::WindowMaximized)) setGeometry(compactGeometry_);
        }
    } else {
        compactState_ = windowState();
        compactGeometry_ = geometry();
        setWindowState(Qt::WindowNoState);
        setMinimumSize(startMinimumSize_);
        resize(startClientSize_);
        move(startPosition_);
    }
    Relayout();
    Refresh();
}

void MainWindow::Relayout()
{
    scopeBox_->setVisible(!compact_);
    genBox_->setVisible(!compact_ && st_->settings.Gen_View);
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
    const Key key = hit->second;
    KeyContext ctx;
    ctx.fftA1Enabled = Action("Menu_FFT_A1")->isEnabled();
    ctx.fftA2Enabled = Action("Menu_FFT_A2")->isEnabled();
    ctx.xPosMax = xPos_->maximum();
    const KeyOutcome out =
        FormKeyDown(st_->settings, key, e->modifiers() & Qt::ControlModifier, e->modifiers() & Qt::ShiftModifier, ctx);
    if (out.rangeChangedA1) st_->RangeChangedA1 = true;
    if (out.rangeChangedA2) st_->RangeChangedA2 = true;
    if (out.restartSpectrum) st_->SpectrumRestart.fill(true);
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
    if (out.call == SettingsCall::Apply)
        Apply();
    else if (out.call == SettingsCall::Refresh)
        Refresh();
    e->accept();
}

void MainWindow::OpenByExtension(const std::string& path)
{
    const QString ext = QFileInfo(Q(path)).suffix().toUpper();
    if (ext == "KRS") {
        if (ReadSettings(st_->settings, Ask(), path, false)) {
            st_->requests.TrigChanged = true;
            Apply();
        }
    }
    // Generator scripts and waveform data files open once their readers exist.
}

void MainWindow::HandOver(int argumentCount, const QString& lastArgument)
{
    const HandOverAction action = DecideHandOver(argumentCount, lastArgument, st_->BusyEvent.IsSet());
    if (action == HandOverAction::Ignore) return;
    showNormal();
    raise();
    activateWindow();
    if (action == HandOverAction::Raise) return;
    EventSetter busy(st_->BusyEvent);
    OpenByExtension(lastArgument.toStdString());
    st_->LastFolder = QFileInfo(lastArgument).absolutePath().toStdString();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e)
{
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* e)
{
    const QList<QUrl> urls = e->mimeData()->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile() || st_->BusyEvent.IsSet()) return;
    const QString file = urls.front().toLocalFile();
    EventSetter busy(st_->BusyEvent);
    OpenByExtension(file.toStdString());
    st_->LastFolder = QFileInfo(file).absolutePath().toStdString();
    e->acceptProposedAction();
}

// ---------------------------------------------------------------------------
// Dialogs

void MainWindow::Menu_ColorsClick()
{
    EventSetter busy(st_->BusyEvent);
    TForm_ColorSet dialog(
        *st_, Ask(), [this] { Refresh(); }, this);
    if (dialog.Run()) SaveProgramSettings();
    Refresh();
}

void MainWindow::Menu_TriggerClick()
{
    TForm_TrigSet dialog(
        *st_,
        [this] {
            SyncControls();
            ApplyView();
        },
        this);
    dialog.Run();
    SyncControls();
    ApplyView();
}

void MainWindow::Menu_AboutClick()
{
    TAboutBox box(*st_, this);
    box.exec();
}

}  // namespace kr40
