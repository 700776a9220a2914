#include "analysis/time_calibrate_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "analysis/time_calibrate.h"
#include "core/manual_reset_event.h"
#include "display/qt_text.h"
#include "state/scope_state.h"
#include "ui/ok_cancel_dialog.h"

namespace kr40 {

TForm_TimeCalibrate::TForm_TimeCalibrate(ScopeState& st, std::function<void()> apply, QWidget* parent)
    : QDialog(parent), st_(st), apply_(std::move(apply))
{
    setObjectName("Form_TimeCalibrate");
    setModal(true);

    label_ = new QLabel(this);
    label_->setObjectName("Label_PPM");
    label_->setAlignment(Qt::AlignCenter);

    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setObjectName("TrackBar_PPM");
    slider_->setRange(TimeCalMin, TimeCalMax);
    slider_->setTickPosition(QSlider::TicksBothSides);
    slider_->setTickInterval(TimeCalTickStep);
    slider_->setSingleStep(1);
    slider_->setPageStep(1);
    slider_->setMinimumWidth(320);
    connect(slider_, &QSlider::valueChanged, this, &TForm_TimeCalibrate::Moved);

    auto* buttons = OkCancelRow(*this, ok_, cancel_);
    auto* all = new QVBoxLayout(this);
    all->addWidget(label_);
    all->addWidget(slider_);
    all->addLayout(buttons);
}

bool TForm_TimeCalibrate::Run()
{
    EventSetter busy(st_.BusyEvent);
    const TimeCalibrateSession session(st_.settings);
    FormShow();
    const bool ok = session.Finish(st_.settings, exec() == QDialog::Accepted);
    if (apply_) apply_();
    return ok;
}

void TForm_TimeCalibrate::FormShow()
{
    const bool ru = st_.settings.Russian;
    const TimeCalibrateTexts& t = TimeCalibrateCaptions();
    setWindowTitle(ToQString(Tr(t.caption, ru)));
    cancel_->setText(ToQString(Tr(t.cancel, ru)));
    // Loading the slider is not a change: nothing is stored or applied.
    loading_ = true;
    slider_->setValue(TimeCalibrateSession::Position(st_.settings));
    loading_ = false;
    label_->setText(ToQString(PpmLabel(slider_->value())));
    slider_->setFocus();  // the arrow keys trim at once
}

void TForm_TimeCalibrate::Moved(int position)
{
    if (loading_) return;
    TimeCalibrateSession::Change(st_.settings, position);
    label_->setText(ToQString(PpmLabel(position)));
    if (apply_) apply_();
}

}  // namespace kr40
