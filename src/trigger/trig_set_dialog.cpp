#include "trigger/trig_set_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/manual_reset_event.h"
#include "display/glyphs.h"
#include "display/qt_text.h"
#include "state/compose.h"
#include "state/scope_state.h"
#include "trigger/trigger_tables.h"
#include "ui/ok_cancel_dialog.h"

namespace kr40 {

namespace {

// A check box that steps unchecked -> checked -> grayed, as the En boxes and
// the T-mode box of this dialog do.
class TriStateBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override
    {
        switch (checkState()) {
            case Qt::Unchecked:
                setCheckState(Qt::Checked);
                break;
            case Qt::Checked:
                setCheckState(Qt::PartiallyChecked);
                break;
            default:
                setCheckState(Qt::Unchecked);
                break;
        }
    }
};

Qt::CheckState ToQt(Check c)
{
    return c == Check::Checked ? Qt::Checked : c == Check::Grayed ? Qt::PartiallyChecked : Qt::Unchecked;
}

Check FromQt(Qt::CheckState c)
{
    return c == Qt::Checked ? Check::Checked : c == Qt::PartiallyChecked ? Check::Grayed : Check::Unchecked;
}

QToolButton* ToolButton(QWidget* parent, const char* name)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setCheckable(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return b;
}

QScrollBar* Bar(QWidget* parent, const char* name, int lo, int hi)
{
    auto* sb = new QScrollBar(Qt::Horizontal, parent);
    sb->setObjectName(name);
    sb->setRange(lo, hi);
    sb->setMinimumWidth(240);
    return sb;
}

}  // namespace

TForm_TrigSet::TForm_TrigSet(ScopeState& st, std::function<void()> applied, QWidget* parent)
    : QDialog(parent), st_(st), applied_(std::move(applied))
{
    setObjectName("Form_TrigSet");
    setModal(true);
    auto* top = new QHBoxLayout;
    auto* left = new QVBoxLayout;

    const auto radioGroup = [&](QGroupBox*& box, const char* name, std::array<QRadioButton*, 10>& items,
                                int TrigDialogModel::*item, TrigChange what) {
        box = new QGroupBox(this);
        box->setObjectName(name);
        auto* g = new QGridLayout(box);
        for (int i = 0; i < 10; ++i) {
            items[static_cast<std::size_t>(i)] = new QRadioButton(box);
            items[static_cast<std::size_t>(i)]->setObjectName(QString("%1_%2").arg(name).arg(i));
            g->addWidget(items[static_cast<std::size_t>(i)], i % 5, i / 5);
            connect(items[static_cast<std::size_t>(i)], &QRadioButton::clicked, this, [this, item, what, i] {
                m_.*item = i;
                Changed(what);
            });
        }
        left->addWidget(box);
    };
    radioGroup(preBox_, "RadioGroup_PreTrig", pre_, &TrigDialogModel::preTrig, TrigChange::PreTrig);
    radioGroup(nrBox_, "RadioGroup_NR", nr_, &TrigDialogModel::noiseReject, TrigChange::NoiseReject);
    left->addStretch(1);
    top->addLayout(left);

    tplusBox_ = new QGroupBox(this);
    tplusBox_->setObjectName("GroupBox_TPlus");
    tplusBox_->setStyleSheet(SpeedButtonStyle());
    auto* v = new QVBoxLayout(tplusBox_);
    auto* modeGrid = new QGridLayout;
    modeGrid->setSpacing(1);
    for (int b = 0; b < TrigModeButtonCount; ++b) {
        QToolButton* mb = ToolButton(tplusBox_, TrigModeButtonNames()[static_cast<std::size_t>(b)]);
        mb->setIcon(TrigModeIcon(b));
        mb->setIconSize(QSize(22, 14));
        modes_[static_cast<std::size_t>(b)] = mb;
        modeGrid->addWidget(mb, b % 2, b / 2);
        connect(mb, &QToolButton::clicked, this, [this, b] {
            // The group keeps one button down: clicking it again leaves it down.
            m_.modeDown = b;
            Changed(TrigChange::Mode);
        });
    }
    v->addLayout(modeGrid);
    modeLabel_ = new QLabel(tplusBox_);
    modeLabel_->setObjectName("Label_Trig_Mode");
    v->addWidget(modeLabel_);

    tMode_ = new TriStateBox(tplusBox_);
    tMode_->setObjectName("CheckBox_Trig_T_Mode");
    tMode_->setTristate(true);
    connect(tMode_, &QCheckBox::clicked, this, [this] {
        m_.tMode = FromQt(tMode_->checkState());
        Changed(TrigChange::TMode);
    });
    v->addWidget(tMode_);
    auto* rangeRow = new QHBoxLayout;
    rangeRow->setSpacing(1);
    for (int i = 0; i < 6; ++i) {
        QToolButton* rb = ToolButton(tplusBox_, TimeRanges[static_cast<std::size_t>(i)].control);
        rb->setText(TimeRanges[static_cast<std::size_t>(i)].caption);
        ranges_[static_cast<std::size_t>(i)] = rb;
        rangeRow->addWidget(rb);
        connect(rb, &QToolButton::clicked, this, [this, i] {
            m_.rangeDown = {};
            m_.rangeDown[static_cast<std::size_t>(i)] = true;
            Changed(TrigChange::Range);
        });
    }
    v->addLayout(rangeRow);
    tmin_ = Bar(tplusBox_, "ScrollBar_Trig_Tmin", 0, 999);
    tmax_ = Bar(tplusBox_, "ScrollBar_Trig_Tmax", 1, 1000);
    v->addWidget(tmin_);
    v->addWidget(tmax_);
    connect(tmin_, &QScrollBar::valueChanged, this, [this](int value) {
        m_.tmin = value;
        Changed(TrigChange::Tmin);
    });
    connect(tmax_, &QScrollBar::valueChanged, this, [this](int value) {
        m_.tmax = value;
        Changed(TrigChange::Tmax);
    });

    auto* enRow = new QHBoxLayout;
    for (int i = 0; i < 4; ++i) {
        auto* box = new TriStateBox(tplusBox_);
        box->setObjectName(EnCheckBoxNames[static_cast<std::size_t>(i)]);
        box->setTristate(true);
        en_[static_cast<std::size_t>(i)] = box;
        enRow->addWidget(box);
        connect(box, &QCheckBox::clicked, this, [this, i, box] {
            m_.en[static_cast<std::size_t>(i)] = FromQt(box->checkState());
            Changed(TrigChange::En);
        });
    }
    v->addLayout(enRow);
    levLabel_ = new QLabel(tplusBox_);
    levLabel_->setObjectName("Label_Lev");
    v->addWidget(levLabel_);
    extraN_ = Bar(tplusBox_, "ScrollBar_Trig_Extra_N", 1, 1000);
    v->addWidget(extraN_);
    connect(extraN_, &QScrollBar::valueChanged, this, [this](int value) {
        m_.extraN = value;
        Changed(TrigChange::ExtraN);
    });
    extraLabel_ = new QLabel(tplusBox_);
    extraLabel_->setObjectName("Label_Trig_Extra_N");
    v->addWidget(extraLabel_);
    v->addStretch(1);
    top->addWidget(tplusBox_, 1);

    auto* buttons = OkCancelRow(*this, ok_, cancel_);

    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(buttons);
}

bool TForm_TrigSet::Run()
{
    EventSetter busy(st_.BusyEvent);
    const TrigDialogSession session(st_.settings);
    FormShow();
    const bool ok = exec() == QDialog::Accepted;
    if (!ok) {
        const SettingsEffect e = session.Cancel(st_.settings);
        CarrySettingsEffect(st_, e);
        if (e.call != SettingsCall::None && applied_) applied_();
    }
    return ok;
}

void TForm_TrigSet::FormShow()
{
    TrigFormShow(m_, st_.settings, st_.settings.Russian);
    ToWidgets();
    cancel_->setFocus();
}

// Copies the model into the widgets without running their handlers.
void TForm_TrigSet::ToWidgets()
{
    updating_ = true;
    setWindowTitle(ToQString(m_.caption));
    preBox_->setTitle(ToQString(m_.preCaption));
    nrBox_->setTitle(ToQString(m_.nrCaption));
    tplusBox_->setTitle(ToQString(m_.tplusCaption));
    cancel_->setText(ToQString(m_.cancelCaption));
    for (std::size_t i = 0; i < 10; ++i) {
        pre_[i]->setText(ToQString(m_.preItems[i]));
        pre_[i]->setChecked(static_cast<int>(i) == m_.preTrig);
        nr_[i]->setText(ToQString(m_.nrItems[i]));
        nr_[i]->setChecked(static_cast<int>(i) == m_.noiseReject);
    }
    tMode_->setCheckState(ToQt(m_.tMode));
    tMode_->setEnabled(m_.tModeEnabled);
    tMode_->setText(ToQString(m_.tModeCaption));
    tmin_->setValue(m_.tmin);
    tmax_->setValue(m_.tmax);
    tmin_->setEnabled(m_.timeEnabled);
    tmax_->setEnabled(m_.timeEnabled);
    for (std::size_t i = 0; i < ranges_.size(); ++i) {
        ranges_[i]->setChecked(m_.rangeDown[i]);
        ranges_[i]->setEnabled(m_.timeEnabled);
    }
    for (std::size_t i = 0; i < en_.size(); ++i) {
        en_[i]->setCheckState(ToQt(m_.en[i]));
        en_[i]->setEnabled(m_.enEnabled[i]);
        en_[i]->setText(ToQString(m_.enCaption[i]));
    }
    levLabel_->setText(ToQString(m_.levLabel));
    for (std::size_t b = 0; b < modes_.size(); ++b) {
        modes_[b]->setChecked(static_cast<int>(b) == m_.modeDown);
        modes_[b]->setEnabled(m_.modeEnabled[b]);
    }
    modeLabel_->setText(ToQString(m_.modeLabel));
    modeLabel_->setEnabled(m_.modeLabelEnabled);
    extraN_->setRange(m_.extraMin, m_.extraMax);
    extraN_->setValue(m_.extraN);
    extraN_->setEnabled(m_.extraEnabled);
    extraLabel_->setText(ToQString(m_.extraLabel));
    extraLabel_->setEnabled(m_.extraEnabled);
    updating_ = false;
}

void TForm_TrigSet::Changed(TrigChange what)
{
    if (updating_) return;
    const SettingsEffect e = TrigDialogChanged(m_, st_.settings, what);
    CarrySettingsEffect(st_, e);
    if (e.call != SettingsCall::None && applied_) applied_();
    ToWidgets();
}

}  // namespace kr40
