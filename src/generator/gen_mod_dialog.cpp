#include "generator/gen_mod_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/manual_reset_event.h"
#include "display/glyphs.h"
#include "display/qt_text.h"
#include "state/compose.h"
#include "state/scope_state.h"
#include "ui/ok_cancel_dialog.h"

namespace kr40 {

namespace {

constexpr std::array<const char*, 3> kTypeButtons = {"SpeedButton_AM", "SpeedButton_FM", "SpeedButton_Sum"};
constexpr std::array<const char*, 5> kSourceButtons = {
    "SpeedButton_Int_Src", "SpeedButton_ESrc_A1", "SpeedButton_ESrc_A2", "SpeedButton_ESrc_D1", "SpeedButton_ESrc_D2"};
constexpr std::array<const char*, 2> kDeviationButtons = {"SpeedButton_Dev_10K", "SpeedButton_Dev_100K"};

}  // namespace

TForm_GeneratorSet::TForm_GeneratorSet(ScopeState& st, std::function<void(const SettingsEffect&)> carry,
                                       QWidget* parent)
    : QDialog(parent), st_(st), carry_(std::move(carry))
{
    setObjectName("Form_GeneratorSet");
    setModal(true);
    setStyleSheet(SpeedButtonStyle());

    const auto button = [&](const char* name, ModControl control, int value) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setCheckable(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setMinimumWidth(44);
        buttons_[name] = b;
        connect(b, &QToolButton::clicked, this, [this, control, value] { Changed(control, value); });
        return b;
    };
    const auto bar = [&](const char* name, ModControl control) {
        auto* sb = new QScrollBar(Qt::Horizontal, this);
        sb->setObjectName(name);
        sb->setRange(0, 1000);
        sb->setMinimumWidth(320);
        connect(sb, &QScrollBar::valueChanged, this, [this, control](int v) { Changed(control, v); });
        return sb;
    };
    const auto label = [&](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        return l;
    };

    auto* all = new QVBoxLayout(this);

    typeLabel_ = label("Label_Mod_Type");
    all->addWidget(typeLabel_);
    auto* types = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) types->addWidget(button(kTypeButtons[i], ModControl::Type, i));
    types->addStretch(1);
    all->addLayout(types);

    sourceLabel_ = label("Label_Mod_Src");
    all->addWidget(sourceLabel_);
    auto* sources = new QHBoxLayout;
    for (int i = 0; i < 5; ++i) sources->addWidget(button(kSourceButtons[i], ModControl::Source, i));
    sources->addSpacing(12);
    inv_ = new QCheckBox(this);
    inv_->setObjectName("CheckBox_Inv");
    connect(inv_, &QCheckBox::clicked, this, [this](bool on) { Changed(ModControl::Inv, on ? 1 : 0); });
    sources->addWidget(inv_);
    sources->addStretch(1);
    all->addLayout(sources);

    freqLabel_ = label("Label_ModFreq");
    all->addWidget(freqLabel_);
    auto* ranges = new QHBoxLayout;
    for (int i = 0; i < ModRangeCount; ++i) {
        QAbstractButton* b = button(ModRanges[i].control, ModControl::Range, i);
        b->setText(ModRanges[i].caption);
        ranges->addWidget(b);
    }
    ranges->addWidget(button("SpeedButton_MF_Noise", ModControl::Noise, 1));
    ranges->addSpacing(12);
    for (int i = 0; i < ModShapeCount; ++i) {
        QAbstractButton* b = button(ModShapes[i].control, ModControl::Shape, i);
        b->setMinimumWidth(28);
        b->setIcon(ShapeIcon(i));
        ranges->addWidget(b);
    }
    ranges->addStretch(1);
    all->addLayout(ranges);
    fast_ = bar("ScrollBar_MF_Fast", ModControl::FreqFast);
    slow_ = bar("ScrollBar_MF_Slow", ModControl::FreqSlow);
    all->addWidget(fast_);
    all->addWidget(slow_);

    paramLabel_ = label("Label_Mod_Param");
    all->addWidget(paramLabel_);
    auto* param = new QHBoxLayout;
    param_ = bar("ScrollBar_Mod_Param", ModControl::Param);
    param->addWidget(param_, 1);
    for (int i = 0; i < 2; ++i) param->addWidget(button(kDeviationButtons[i], ModControl::Deviation, i));
    all->addLayout(param);

    all->addLayout(OkCancelRow(*this, ok_, cancel_));
    all->setSizeConstraint(QLayout::SetFixedSize);
}

QAbstractButton* TForm_GeneratorSet::Button(const std::string& name) const
{
    return buttons_.at(name);
}

bool TForm_GeneratorSet::Run()
{
    EventSetter busy(st_.BusyEvent);
    FormShow();
    const bool ok = exec() == QDialog::Accepted;
    if (!ok) Carry(m_.Cancel(st_.settings));
    return ok;
}

void TForm_GeneratorSet::FormShow()
{
    const bool ru = st_.settings.Russian;
    setWindowTitle(ToQString(Tr(kModDialogTitle, ru)));
    for (const ModCaption& c : ModDialogCaptions()) {
        const QString text = ToQString(Tr(c.text, ru));
        if (QObject* o = findChild<QObject*>(c.control)) {
            if (auto* b = qobject_cast<QAbstractButton*>(o))
                b->setText(text);
            else if (auto* l = qobject_cast<QLabel*>(o))
                l->setText(text);
        }
    }
    Carry(m_.Show(st_.settings));
    ToWidgets();
    cancel_->setFocus();
}

// Copies the model into the widgets; their signals are not changes meanwhile.
void TForm_GeneratorSet::ToWidgets()
{
    syncing_ = true;
    for (int i = 0; i < 3; ++i) Button(kTypeButtons[i])->setChecked(m_.type == i);
    for (int i = 0; i < 5; ++i) Button(kSourceButtons[i])->setChecked(m_.source == i);
    inv_->setChecked(m_.inv);
    for (int i = 0; i < ModRangeCount; ++i) {
        QAbstractButton* b = Button(ModRanges[i].control);
        b->setChecked(!m_.noise && m_.range == i);
        b->setEnabled(m_.internalControlsEnabled);
    }
    Button(ModRanges[ModRangeCount - 1].control)->setVisible(m_.range50MVisible);
    Button("SpeedButton_MF_Noise")->setChecked(m_.noise);
    Button("SpeedButton_MF_Noise")->setEnabled(m_.internalControlsEnabled);
    for (int i = 0; i < ModShapeCount; ++i) {
        QAbstractButton* b = Button(ModShapes[i].control);
        b->setChecked(m_.shape == i);
        b->setEnabled(m_.shapeEnabled[i]);
    }
    for (int i = 0; i < 2; ++i) {
        QAbstractButton* b = Button(kDeviationButtons[i]);
        b->setChecked(m_.deviation == i);
        b->setEnabled(m_.deviationEnabled);
        b->setText(ToQString(m_.deviationCaption[i]));
    }
    fast_->setValue(m_.freqFast);
    slow_->setValue(m_.freqSlow);
    param_->setValue(m_.param);
    fast_->setEnabled(m_.internalControlsEnabled);
    slow_->setEnabled(m_.internalControlsEnabled);
    freqLabel_->setEnabled(m_.internalControlsEnabled);
    freqLabel_->setText(ToQString(m_.labelModFreq));
    paramLabel_->setText(ToQString(m_.labelModParam));
    syncing_ = false;
}

void TForm_GeneratorSet::Changed(ModControl control, int value)
{
    if (syncing_) return;
    const SettingsEffect e = m_.Change(st_.settings, control, value);
    if (e.call != SettingsCall::None) Carry(e);
    ToWidgets();
}

void TForm_GeneratorSet::Carry(const SettingsEffect& e)
{
    if (carry_)
        carry_(e);
    else
        CarrySettingsEffect(st_, e);
}

}  // namespace kr40
