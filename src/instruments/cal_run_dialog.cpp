#include "instruments/cal_run_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "display/qt_text.h"
#include "state/calibration_commands.h"
#include "state/scope_state.h"
#include "ui/ok_cancel_dialog.h"

namespace kr40 {

CalRunDialog::CalRunDialog(ScopeState& st, const FrameSet& live, int resultLines, QWidget* parent)
    : QDialog(parent), st_(st), live_(live)
{
    setModal(true);
    instruction_ = new QLabel(this);
    instruction_->setObjectName("Label_Info");
    instruction_->setWordWrap(true);
    result_ = new QLabel(this);
    result_->setObjectName("Label_Result");
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    result_->setMinimumHeight(resultLines * fontMetrics().lineSpacing() + 2 * result_->frameWidth() + 4);
    result_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    result_->setFrameShape(QFrame::StyledPanel);
    progress_ = new QProgressBar(this);
    progress_->setObjectName("ProgressBar");
    progress_->setTextVisible(false);
    status_ = new QLabel(this);
    status_->setObjectName("Label_Status");

    start_ = new QPushButton(this);
    start_->setObjectName("Button_Start");
    start_->setAutoDefault(false);
    connect(start_, &QPushButton::clicked, this, &CalRunDialog::StartClicked);
    QHBoxLayout* buttons = OkCancelRow(*this, ok_, cancel_);
    buttons->insertWidget(0, start_);

    auto* all = new QVBoxLayout(this);
    all->addWidget(instruction_);
    all->addWidget(result_);
    all->addWidget(progress_);
    all->addWidget(status_);
    all->addLayout(buttons);
    setMinimumWidth(420);

    timer_ = new QTimer(this);
    timer_->setInterval(PollMs);
    connect(timer_, &QTimer::timeout, this, &CalRunDialog::Poll);
    // Cancel, Escape and the window's close button all end a run at once.
    connect(this, &QDialog::rejected, this, [this] {
        timer_->stop();
        CancelRun();
    });
}

bool CalRunDialog::Run()
{
    FormShow();
    ToWidgets();
    const bool ok = exec() == QDialog::Accepted;
    timer_->stop();
    return ok;
}

void CalRunDialog::StartClicked()
{
    if (Model().Running()) return;
    const CalStep step = StartRun();
    if (step == CalStep::Publish) PublishCalConfig(st_);
    ToWidgets();
    if (step != CalStep::Done) timer_->start();
}

void CalRunDialog::Poll()
{
    if (PollCalRun(st_, live_, Model()) == CalStep::Done || !Model().Running()) timer_->stop();
    ToWidgets();
}

void CalRunDialog::ToWidgets()
{
    const CalDialogView v = View();
    setWindowTitle(ToQString(v.caption));
    instruction_->setText(ToQString(v.instruction));
    result_->setText(ToQString(v.result));
    result_->setVisible(v.resultVisible);
    status_->setText(ToQString(v.status));
    progress_->setRange(0, v.progressMax);
    progress_->setValue(v.progress);
    start_->setText(ToQString(v.start));
    ok_->setText(ToQString(v.ok));
    cancel_->setText(ToQString(v.cancel));
    start_->setEnabled(v.startEnabled);
    ok_->setEnabled(v.okEnabled);
    QPushButton* focus = v.focusOk ? ok_ : start_;
    if (focus->isEnabled() && !focus->hasFocus()) focus->setFocus();
}

}  // namespace kr40
