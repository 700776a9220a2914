#pragma once
// The frame of the two calibration dialogs: an instruction, a result panel,
// a progress bar, a status line and Start, OK and Cancel. A run goes on while
// the event loop keeps running: a timer looks at the frame-ready flag and
// hands each new frame to the run. Cancel ends a run at once.

#include <QDialog>
#include <string>

#include "instruments/cal_run.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace kr40 {

struct FrameSet;
struct ScopeState;

// What the frame shows; each dialog fills it from its model's view.
struct CalDialogView {
    std::string caption, instruction, status, result;
    std::string start, ok, cancel;
    bool startEnabled = true, okEnabled = false, resultVisible = true;
    int progress = 0, progressMax = 1;
    bool focusOk = false;
};

class CalRunDialog : public QDialog {
    Q_OBJECT
public:
    // `live` is the frame set the acquisition thread decodes into; the result
    // panel has room for `resultLines` lines.
    CalRunDialog(ScopeState& st, const FrameSet& live, int resultLines, QWidget* parent);

    // Shows the dialog modally; true when it ended with OK.
    bool Run();

    // Milliseconds between two looks at the frame-ready flag.
    static constexpr int PollMs = 5;

protected:
    // FormShow of the dialog: the model's texts and state.
    virtual void FormShow() = 0;
    // Start pressed: the model writes its first configuration.
    virtual CalStep StartRun() = 0;
    virtual void CancelRun() = 0;
    virtual CalRun& Model() = 0;
    virtual CalDialogView View() const = 0;

    void ToWidgets();
    ScopeState& st_;

private:
    void StartClicked();
    void Poll();

    const FrameSet& live_;
    QLabel *instruction_, *result_, *status_;
    QProgressBar* progress_;
    QPushButton *start_, *ok_, *cancel_;
    QTimer* timer_;
};

}  // namespace kr40
