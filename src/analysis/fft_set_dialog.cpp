#include "analysis/fft_set_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/manual_reset_event.h"
#include "display/qt_text.h"
#include "state/compose.h"
#include "state/scope_state.h"
#include "ui/ok_cancel_dialog.h"

namespace kr40 {

namespace {

// Where each control stands: three columns of about equal height. The
// averaging check box heads the averaging group instead.
struct Place {
    FftControl control;
    int column;
};
constexpr std::array<Place, FftControlCount - 1> kPlaces = {{
    {FftSize, 0},
    {FftZoom, 0},
    {FftWin, 1},
    {FftScale, 1},
    {FftAve, 2},
    {Fft15dBDiv, 2},
    {FftDbvV, 2},
    {FftViewSig, 2},
    {FftCalcBoth, 2},
    {FftDither, 2},
}};

}  // namespace

TForm_FFTSet::TForm_FFTSet(ScopeState& st, std::function<void(const SettingsEffect&)> carry, QWidget* parent)
    : QDialog(parent), st_(st), carry_(std::move(carry))
{
    setObjectName("Form_FFTSet");
    setModal(true);
    const FftSetTexts& t = FftSetDialogTexts();

    const auto checkBox = [&](FftControl c, QWidget* owner) {
        auto* box = new QCheckBox(owner);
        box->setObjectName(t.controls[static_cast<std::size_t>(c)].name);
        connect(box, &QCheckBox::clicked, this, [this, c](bool checked) { Clicked(c, checked ? 1 : 0); });
        buttons_[static_cast<std::size_t>(c)] = {box};
        return box;
    };

    std::array<QVBoxLayout*, 3> columns{};
    auto* top = new QHBoxLayout;
    for (QVBoxLayout*& col : columns) {
        col = new QVBoxLayout;
        top->addLayout(col);
    }
    for (const Place& p : kPlaces) {
        const auto i = static_cast<std::size_t>(p.control);
        QVBoxLayout* col = columns[static_cast<std::size_t>(p.column)];
        if (IsFftCheckBox(p.control)) {
            col->addWidget(checkBox(p.control, this));
            continue;
        }
        auto* box = new QGroupBox(this);
        box->setObjectName(t.controls[i].name);
        groups_[i] = box;
        auto* v = new QVBoxLayout(box);
        v->setSpacing(2);
        if (p.control == FftAve) v->addWidget(checkBox(FftAveOn, box));
        for (std::size_t item = 0; item < t.controls[i].items.size(); ++item) {
            auto* rb = new QRadioButton(box);
            rb->setObjectName(QString("%1_%2").arg(t.controls[i].name).arg(item));
            v->addWidget(rb);
            buttons_[i].push_back(rb);
            const FftControl c = p.control;
            const int value = static_cast<int>(item);
            connect(rb, &QRadioButton::clicked, this, [this, c, value] { Clicked(c, value); });
        }
        col->addWidget(box);
    }
    for (QVBoxLayout* col : columns) col->addStretch(1);

    auto* buttons = OkCancelRow(*this, ok_, cancel_);

    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(buttons);
    all->setSizeConstraint(QLayout::SetFixedSize);  // follows the language and the Dither box
}

bool TForm_FFTSet::Run()
{
    EventSetter busy(st_.BusyEvent);
    FormShow();
    const bool ok = exec() == QDialog::Accepted;
    if (!ok) Carry(m_.Cancel(st_.settings));
    return ok;
}

void TForm_FFTSet::FormShow()
{
    m_.Show(st_.settings);
    const bool ru = st_.settings.Russian;
    const FftSetTexts& t = FftSetDialogTexts();
    setWindowTitle(ToQString(Tr(t.caption, ru)));
    ok_->setText(ToQString(Tr(t.ok, ru)));
    cancel_->setText(ToQString(Tr(t.cancel, ru)));
    for (std::size_t c = 0; c < buttons_.size(); ++c) {
        const FftControlText& ct = t.controls[c];
        if (groups_[c]) groups_[c]->setTitle(ToQString(Tr(ct.caption, ru)));
        if (IsFftCheckBox(static_cast<int>(c)))
            buttons_[c][0]->setText(ToQString(Tr(ct.caption, ru)));
        else
            for (std::size_t item = 0; item < buttons_[c].size(); ++item)
                buttons_[c][item]->setText(ToQString(Tr(ct.items[item], ru)));
    }
    ToWidgets();
    cancel_->setFocus();
}

// Copies the model into the widgets; the loading guard keeps the handlers out.
void TForm_FFTSet::ToWidgets()
{
    m_.loading = true;
    for (std::size_t c = 0; c < buttons_.size(); ++c) {
        const int value = m_.value[c];
        if (IsFftCheckBox(static_cast<int>(c))) {
            buttons_[c][0]->setChecked(value != 0);
            buttons_[c][0]->setVisible(m_.visible[c]);
        } else {
            for (std::size_t item = 0; item < buttons_[c].size(); ++item)
                buttons_[c][item]->setChecked(static_cast<int>(item) == value);
        }
    }
    m_.loading = false;
}

void TForm_FFTSet::Clicked(FftControl control, int value)
{
    const SettingsEffect e = m_.Change(st_.settings, control, value);
    if (e.call != SettingsCall::None) Carry(e);
    ToWidgets();
}

void TForm_FFTSet::Carry(const SettingsEffect& e)
{
    if (carry_)
        carry_(e);
    else
        CarrySettingsEffect(st_, e);
}

}  // namespace kr40
