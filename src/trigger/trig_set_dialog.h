#pragma once
// Form_TrigSet: the trigger dialog, a view over TrigDialogModel. Every change
// is applied at once; Cancel rolls the trigger fields back.

#include <QDialog>
#include <array>
#include <functional>

#include "trigger/trig_dialog_model.h"

class QAbstractButton;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace kr40 {

struct ScopeState;

class TForm_TrigSet : public QDialog {
    Q_OBJECT
public:
    // `applied` runs after every change the dialog applied (the main window
    // follows the edge button).
    TForm_TrigSet(ScopeState& st, std::function<void()> applied, QWidget* parent);

    // Menu_TriggerClick: BusyEvent, save, modal show, Cancel roll-back.
    // Returns whether the dialog ended with OK.
    bool Run();

    const TrigDialogModel& Model() const { return m_; }

private:
    void FormShow();
    void ToWidgets();
    void Changed(TrigChange what);

    ScopeState& st_;
    std::function<void()> applied_;
    TrigDialogModel m_;
    bool updating_ = false;

    QGroupBox *preBox_, *nrBox_, *tplusBox_;
    std::array<QRadioButton*, 10> pre_{}, nr_{};
    QCheckBox* tMode_;
    QScrollBar *tmin_, *tmax_, *extraN_;
    std::array<QAbstractButton*, 6> ranges_{};
    std::array<QCheckBox*, 4> en_{};
    std::array<QAbstractButton*, TrigModeButtonCount> modes_{};
    QLabel *modeLabel_, *levLabel_, *extraLabel_;
    QPushButton *ok_, *cancel_;
};

}  // namespace kr40
