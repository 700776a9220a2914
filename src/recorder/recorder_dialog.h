#pragma once
// Form_Recorder: the binary recorder dialog, a view over RecorderSession.
// Minimising it minimises the whole program, so a recording goes on with
// the program out of the way.

#include <QDialog>
#include <memory>

#include "recorder/recorder.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace kr40 {

struct ScopeState;

class TForm_Recorder : public QDialog {
    Q_OBJECT
public:
    TForm_Recorder(ScopeState& st, Prompts& prompts, QWidget* parent);
    ~TForm_Recorder() override;

    RecorderSession& Session() { return *session_; }
    // Shows the dialog modally; returns when it is closed.
    void Run();

    // Exit, Escape and the close button: asks while recording; No keeps the dialog.
    void reject() override;

protected:
    void changeEvent(QEvent* e) override;

private:
    void ToWidgets();

    std::unique_ptr<RecorderSession> session_;
    QPlainTextEdit* info_ = nullptr;
    QLineEdit* file_ = nullptr;
    QLabel* size_ = nullptr;
    QPushButton *fileButton_ = nullptr, *start_ = nullptr, *stop_ = nullptr, *exit_ = nullptr;
    QTimer* timer_ = nullptr;
};

}  // namespace kr40
