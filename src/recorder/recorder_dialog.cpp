#include "recorder/recorder_dialog.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

#include "display/qt_text.h"
#include "state/scope_state.h"

namespace kr40 {

TForm_Recorder::TForm_Recorder(ScopeState& st, Prompts& prompts, QWidget* parent) : QDialog(parent)
{
    setObjectName("Form_Recorder");
    setModal(true);
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    RecorderEnv env{prompts,  st.LastFolder, st.recorder, [&st] { return st.lastRec; }, st.settings.Russian,
                    LocalNow, OpenRecordFile};
    session_ = std::make_unique<RecorderSession>(std::move(env));

    info_ = new QPlainTextEdit(this);
    info_->setObjectName("Memo_Info");
    info_->setReadOnly(true);
    info_->setMinimumSize(420, 180);
    file_ = new QLineEdit(this);
    file_->setObjectName("Edit_File");
    file_->setReadOnly(true);
    size_ = new QLabel(this);
    size_->setObjectName("Label_Size");
    const auto button = [&](const char* name) {
        auto* b = new QPushButton(this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    fileButton_ = button("Button_File");
    start_ = button("Button_Start");
    stop_ = button("Button_Stop");
    exit_ = button("Button_Exit");
    connect(fileButton_, &QPushButton::clicked, this, [this] {
        session_->ChooseFile();
        ToWidgets();
    });
    connect(start_, &QPushButton::clicked, this, [this] {
        session_->Start();
        ToWidgets();
    });
    connect(stop_, &QPushButton::clicked, this, [this] {
        session_->Stop();
        ToWidgets();
    });
    connect(exit_, &QPushButton::clicked, this, &TForm_Recorder::reject);

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(file_, 1);
    fileRow->addWidget(fileButton_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(start_);
    buttons->addWidget(stop_);
    buttons->addStretch(1);
    buttons->addWidget(exit_);
    auto* all = new QVBoxLayout(this);
    all->addWidget(info_, 1);
    all->addLayout(fileRow);
    all->addWidget(size_);
    all->addLayout(buttons);

    timer_ = new QTimer(this);
    timer_->setInterval(kRecorderTimerMs);
    connect(timer_, &QTimer::timeout, this, [this] {
        session_->Tick();
        ToWidgets();
    });
}

TForm_Recorder::~TForm_Recorder() = default;

void TForm_Recorder::Run()
{
    session_->Show();
    ToWidgets();
    exit_->setFocus();
    timer_->start();
    exec();
    timer_->stop();
}

void TForm_Recorder::reject()
{
    if (!session_->Close()) return;
    QDialog::reject();
}

// A minimised dialog minimises the program instead.
void TForm_Recorder::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        if (QWidget* main = parentWidget()) main->window()->showMinimized();
    }
    QDialog::changeEvent(e);
}

void TForm_Recorder::ToWidgets()
{
    const RecorderView& v = session_->View();
    setWindowTitle(ToQString(v.title));
    fileButton_->setText(ToQString(v.fileCaption));
    start_->setText(ToQString(v.startCaption));
    stop_->setText(ToQString(v.stopCaption));
    exit_->setText(ToQString(v.exitCaption));
    QString info;
    for (const std::string& line : v.info) info += ToQString(line) + '\n';
    if (info_->toPlainText() != info) info_->setPlainText(info);
    file_->setText(ToQString(v.file));
    size_->setText(ToQString(v.size));
    fileButton_->setEnabled(v.fileEnabled);
    start_->setEnabled(v.startEnabled);
    stop_->setEnabled(v.stopEnabled);
    exit_->setEnabled(v.exitEnabled);
}

}  // namespace kr40
