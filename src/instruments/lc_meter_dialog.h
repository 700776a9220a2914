#pragma once
// Form_LCMeter: the LC meter dialog over LcMeter. Showing it puts the
// instrument into the measuring configuration; the menu handler restores the
// window's configuration afterwards.

#include <QDialog>

#include "instruments/lc_meter.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace kr40 {

struct ScopeState;

class TForm_LCMeter : public QDialog {
    Q_OBJECT
public:
    TForm_LCMeter(ScopeState& st, QWidget* parent);
    // Shows the dialog modally until Exit or the window's close button.
    void Run();
    const LcMeter& Model() const { return m_; }

private:
    void FormShow();
    void ToWidgets();

    ScopeState& st_;
    LcMeter m_;
    QPlainTextEdit* memo_;
    QLabel* labelZ_;
    QProgressBar* progress_;
    QPushButton *calibrate_, *start_, *stop_, *exit_;
};

}  // namespace kr40
