#include "instruments/lc_meter_dialog.h"

#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "display/qt_text.h"
#include "state/calibration_commands.h"
#include "state/scope_state.h"

namespace kr40 {

TForm_LCMeter::TForm_LCMeter(ScopeState& st, QWidget* parent) : QDialog(parent), st_(st)
{
    setObjectName("Form_LCMeter");
    setModal(true);

    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("Memo_Info");
    memo_->setReadOnly(true);
    memo_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));  // the range table lines up
    memo_->setMinimumSize(380, 200);

    auto* panel = new QFrame(this);
    panel->setObjectName("Panel_LCM");
    panel->setFrameShape(QFrame::StyledPanel);
    labelZ_ = new QLabel(panel);
    labelZ_->setObjectName("Label_Z");
    labelZ_->setAlignment(Qt::AlignCenter);
    QFont big = labelZ_->font();
    big.setPointSizeF(big.pointSizeF() * 2);
    labelZ_->setFont(big);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->addWidget(labelZ_);

    progress_ = new QProgressBar(this);
    progress_->setObjectName("ProgressBar_LCMeter");
    progress_->setTextVisible(false);

    auto button = [this](const char* name, void (LcMeter::*press)()) {
        auto* b = new QPushButton(this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        if (press)
            connect(b, &QPushButton::clicked, this, [this, press] {
                (m_.*press)();
                ToWidgets();
            });
        return b;
    };
    calibrate_ = button("Button_Clbr", &LcMeter::Calibrate);
    start_ = button("Button_Start", &LcMeter::Start);
    stop_ = button("Button_Stop", &LcMeter::Stop);
    exit_ = button("Button_Exit", nullptr);
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
    // Exit, Escape and the close button: the measuring flag clears.
    connect(this, &QDialog::finished, this, [this] { m_.Close(); });

    auto* row = new QHBoxLayout;
    for (QPushButton* b : {calibrate_, start_, stop_}) row->addWidget(b);
    row->addStretch(1);
    row->addWidget(exit_);
    auto* all = new QVBoxLayout(this);
    all->addWidget(memo_);
    all->addWidget(panel);
    all->addWidget(progress_);
    all->addLayout(row);
}

void TForm_LCMeter::Run()
{
    FormShow();
    exec();
}

void TForm_LCMeter::FormShow()
{
    m_.Show(st_.settings, st_.acq);
    PublishCalConfig(st_);
    ToWidgets();
    exit_->setFocus();
}

void TForm_LCMeter::ToWidgets()
{
    const LcMeterView& v = m_.View();
    setWindowTitle(ToQString(v.caption));
    calibrate_->setText(ToQString(v.calibrate));
    start_->setText(ToQString(v.start));
    stop_->setText(ToQString(v.stop));
    exit_->setText(ToQString(v.exit));
    calibrate_->setEnabled(v.calibrateEnabled);
    start_->setEnabled(v.startEnabled);
    stop_->setEnabled(v.stopEnabled);
    QStringList lines;
    for (const std::string& line : v.memo) lines << ToQString(line);
    const QString text = lines.join('\n');
    if (memo_->toPlainText() != text) memo_->setPlainText(text);
    labelZ_->setText(ToQString(v.labelZ));
    progress_->setValue(v.progress);
}

}  // namespace kr40
