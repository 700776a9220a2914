#pragma once
// Form_TimeCalibrate: the frequency meter's time-base trim on a slider, a
// view over TimeCalibrateSession. Every move is stored and applied at once;
// Cancel puts the value back.

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;
class QSlider;

namespace kr40 {

struct ScopeState;

class TForm_TimeCalibrate : public QDialog {
    Q_OBJECT
public:
    // `apply` is the main window's apply-and-redraw entry.
    TForm_TimeCalibrate(ScopeState& st, std::function<void()> apply, QWidget* parent);

    // Menu_FM_CalibrateClick: BusyEvent while open, the value saved, modal
    // show, Cancel restores; the settings are applied again either way.
    // Returns true on OK: the caller then writes the settings file.
    bool Run();

private:
    void FormShow();
    void Moved(int position);

    ScopeState& st_;
    std::function<void()> apply_;
    bool loading_ = false;

    QLabel* label_;
    QSlider* slider_;
    QPushButton *ok_, *cancel_;
};

}  // namespace kr40
