#include "decoders/decoder_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/manual_reset_event.h"
#include "display/qt_text.h"
#include "state/compose.h"
#include "state/scope_state.h"
#include "ui/ok_cancel_dialog.h"

namespace kr40 {

namespace {

// The four channel rows: list and inversion check box.
constexpr std::array<std::pair<DecControl, DecControl>, 4> kRows = {
    {{DecRxd, DecRxdInv}, {DecTxd, DecTxdInv}, {DecClk, DecClkInv}, {DecCs, DecCsInv}}};

// How often the text window looks for a new decoded frame.
constexpr int kTextPollMs = 200;

}  // namespace

TForm_S_Decoders::TForm_S_Decoders(ScopeState& st, std::function<void(const SettingsEffect&)> carry, QWidget* parent)
    : QDialog(parent), st_(st), carry_(std::move(carry))
{
    setObjectName("Form_S_Decoders");
    setModal(true);
    const DecoderDialogTexts& t = DecoderDialogTextTable();

    const auto list = [&](DecControl c) {
        auto* box = new QComboBox(this);
        box->setObjectName(t.controls[c].name);
        lists_[c] = box;
        connect(box, &QComboBox::activated, this, [this, c](int i) { Changed(c, i); });
        auto* label = new QLabel(this);
        labels_[c] = label;
        return box;
    };
    const auto check = [&](DecControl c) {
        auto* box = new QCheckBox(this);
        box->setObjectName(t.controls[c].name);
        checks_[c] = box;
        connect(box, &QCheckBox::clicked, this, [this, c](bool on) { Changed(c, on ? 1 : 0); });
        return box;
    };

    auto* grid = new QGridLayout;
    int row = 0;
    list(DecType);
    grid->addWidget(labels_[DecType], row, 0);
    grid->addWidget(lists_[DecType], row++, 1);
    for (const auto& [channel, inv] : kRows) {
        list(channel);
        grid->addWidget(labels_[channel], row, 0);
        grid->addWidget(lists_[channel], row, 1);
        grid->addWidget(check(inv), row++, 2);
    }
    for (int e = 0; e < DecEditCount; ++e) {
        auto* label = new QLabel(this);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(t.edits[static_cast<std::size_t>(e)].name);
        edit->setAutoFillBackground(true);
        const auto which = static_cast<DecEdit>(e);
        connect(edit, &QLineEdit::textEdited, this, [this, which](const QString& s) { Edited(which, s); });
        editLabels_[static_cast<std::size_t>(e)] = label;
        edits_[static_cast<std::size_t>(e)] = edit;
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row++, 1);
    }
    list(DecPrty);
    grid->addWidget(labels_[DecPrty], row, 0);
    grid->addWidget(lists_[DecPrty], row++, 1);
    orderTitle_ = new QLabel(this);
    orderTitle_->setObjectName(t.controls[DecMsbFirst].name);
    auto* order = new QHBoxLayout;
    for (int i = 0; i < 2; ++i) {
        auto* rb = new QRadioButton(this);
        rb->setObjectName(QString("%1_%2").arg(t.controls[DecMsbFirst].name).arg(i));
        connect(rb, &QRadioButton::clicked, this, [this, i] { Changed(DecMsbFirst, i); });
        order_[static_cast<std::size_t>(i)] = rb;
        order->addWidget(rb);
    }
    grid->addWidget(orderTitle_, row, 0);
    grid->addLayout(order, row++, 1);
    list(DecDisplay);
    grid->addWidget(labels_[DecDisplay], row, 0);
    grid->addWidget(lists_[DecDisplay], row++, 1);

    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("Memo_Decoders");
    memo_->setReadOnly(true);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    memo_->setMinimumSize(520, 260);

    auto* top = new QHBoxLayout;
    top->addLayout(grid);
    top->addWidget(memo_, 1);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top, 1);
    all->addLayout(OkCancelRow(*this, ok_, cancel_));

    textTimer_ = new QTimer(this);
    textTimer_->setInterval(kTextPollMs);
    connect(textTimer_, &QTimer::timeout, this, [this] { ShowText(); });
}

bool TForm_S_Decoders::Run()
{
    EventSetter busy(st_.BusyEvent);
    FormShow();
    textTimer_->start();
    const bool ok = exec() == QDialog::Accepted;
    textTimer_->stop();
    if (!ok) Carry(m_.Cancel(st_.settings));
    return ok;
}

void TForm_S_Decoders::FormShow()
{
    Carry(m_.Show(st_.settings));
    setWindowTitle(ToQString(m_.caption));
    ok_->setText(ToQString(m_.ok));
    cancel_->setText(ToQString(m_.cancel));
    syncing_ = true;
    for (int c = 0; c < DecControlCount; ++c) {
        const auto i = static_cast<std::size_t>(c);
        if (lists_[i]) {
            lists_[i]->clear();
            for (const std::string& item : m_.items[i]) lists_[i]->addItem(ToQString(item));
        }
        if (checks_[i]) checks_[i]->setText(ToQString(m_.label[i]));
    }
    orderTitle_->setText(ToQString(m_.label[DecMsbFirst]));
    for (std::size_t i = 0; i < order_.size(); ++i) order_[i]->setText(ToQString(m_.items[DecMsbFirst][i]));
    for (std::size_t e = 0; e < edits_.size(); ++e) {
        editLabels_[e]->setText(ToQString(m_.editLabel[e]));
        edits_[e]->setText(ToQString(m_.editText[e]));
    }
    syncing_ = false;
    ToWidgets();
    ShowText();
    cancel_->setFocus();
}

// Copies the model into the widgets; their signals are not changes meanwhile.
void TForm_S_Decoders::ToWidgets()
{
    syncing_ = true;
    for (int c = 0; c < DecControlCount; ++c) {
        const auto i = static_cast<std::size_t>(c);
        QWidget* w = lists_[i] ? static_cast<QWidget*>(lists_[i]) : checks_[i];
        if (lists_[i]) {
            lists_[i]->setCurrentIndex(m_.value[i]);
            labels_[i]->setText(ToQString(m_.label[i]));
            labels_[i]->setVisible(m_.visible[i]);
        }
        if (checks_[i]) checks_[i]->setChecked(m_.value[i] != 0);
        if (w) {
            w->setEnabled(m_.enabled[i]);
            w->setVisible(m_.visible[i]);
        }
    }
    for (std::size_t i = 0; i < order_.size(); ++i) order_[i]->setChecked(m_.value[DecMsbFirst] == static_cast<int>(i));
    for (std::size_t e = 0; e < edits_.size(); ++e) {
        edits_[e]->setEnabled(m_.editEnabled[e]);
        QPalette pal = edits_[e]->palette();
        pal.setColor(QPalette::Base, m_.magenta[e] ? ToQColor(kRefusedEditColour) : palette().color(QPalette::Base));
        edits_[e]->setPalette(pal);
    }
    syncing_ = false;
}

void TForm_S_Decoders::Changed(DecControl control, int value)
{
    if (syncing_) return;
    const SettingsEffect e = m_.Change(st_.settings, control, value);
    if (m_.clearText) st_.decoderText.Clear();
    if (e.call != SettingsCall::None) Carry(e);
    ToWidgets();
    ShowText();
}

void TForm_S_Decoders::Edited(DecEdit edit, const QString& text)
{
    if (syncing_) return;
    const SettingsEffect e = m_.EditChange(st_.settings, edit, text.toStdString());
    if (e.call != SettingsCall::None) Carry(e);
    ToWidgets();
}

// The window takes the decoded text only when it changed (no flicker).
void TForm_S_Decoders::ShowText()
{
    const std::string& text = st_.decoderText.Text();
    if (text == shownText_) return;
    shownText_ = text;
    QString q = ToQString(text);
    q.remove(QLatin1Char('\r'));
    memo_->setPlainText(q);
}

void TForm_S_Decoders::Carry(const SettingsEffect& e)
{
    if (carry_)
        carry_(e);
    else
        CarrySettingsEffect(st_, e);
}

}  // namespace kr40
