// Process entry: one running copy per executable name, the main window, and
// the headless picture mode used for documentation and tests.
//
//   kr40 [--simulate | --driver=d2xx|ftdi|sim] [--lang=en|ru]
//        [--screenshot FILE --frames N] [FILE]

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "state/scope_state.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "app/command_line.h"
#include "files/settings_file.h"

namespace {

// Presses Run once the window is up, waits for `frames` frames and writes the
// window's picture. Exits 0, or 1 with a message when no picture came.
void RunScreenshot(kr40::MainWindow& w, const QString& file, int frames)
{
    auto* poll = new QTimer(&w);
    auto deadline = std::make_shared<QDeadlineTimer>(10000);
    auto pressed = std::make_shared<bool>(false);
    QObject::connect(poll, &QTimer::timeout, &w, [&w, poll, deadline, pressed, file, frames] {
        if (w.Initialised() && !*pressed) {
            *pressed = true;
            w.Button("SpeedButton_Run")->click();
            *deadline = QDeadlineTimer(10000);
        }
        if (*pressed && w.FramesDrawn() >= frames) {
            poll->stop();
            if (!w.grab().save(file, "PNG")) {
                std::fprintf(stderr, "kr40: cannot write %s\n", file.toLocal8Bit().constData());
                QApplication::exit(1);
            } else {
                QApplication::exit(0);
            }
            return;
        }
        if (deadline->hasExpired()) {
            poll->stop();
            std::fprintf(stderr, "kr40: no frame from the instrument within 10 s (%d of %d drawn)\n", w.FramesDrawn(),
                         frames);
            QApplication::exit(1);
        }
    });
    poll->start(20);
}

}  // namespace

int main(int argc, char** argv)
{
    const char* driverEnv = std::getenv("KR40_DRIVER");
    const kr40::CommandLine cmd =
        kr40::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), driverEnv ? driverEnv : "");
    if (!cmd.error.empty()) {
        std::fprintf(stderr, "kr40: %s\n%s\n", cmd.error.c_str(), kr40::CommandLineUsage());
        return 2;
    }
    const bool screenshot = !cmd.screenshot.empty();
    if (screenshot && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString exe = QCoreApplication::applicationFilePath();
    const std::string caption = QFileInfo(exe).completeBaseName().toStdString();
    QApplication::setApplicationName(QString::fromStdString(caption));

    // A picture run is a tool: it neither meets a running copy nor touches the
    // program's settings file.
    std::unique_ptr<kr40::SingleInstance> instance;
    const QString last = cmd.files.empty() ? QString() : QString::fromLocal8Bit(cmd.files.back().c_str());
    if (!screenshot) {
        instance = std::make_unique<kr40::SingleInstance>(kr40::InstanceName(exe));
        // Another copy runs: it takes the file. Should it have gone in the
        // meantime, this one starts after all.
        if (!instance->Claim() &&
            (kr40::SingleInstance::HandOver(instance->Name(), static_cast<int>(cmd.files.size()), last, 3000) ||
             !instance->Claim()))
            return 0;
    }

    kr40::MainWindowOptions o;
    o.providerName = cmd.providerName;
    o.caption = caption;
    o.russian = cmd.russian;
    if (!screenshot) o.settingsFile = kr40::ProgramFilePath(exe.toStdString());
    if (!cmd.files.empty()) o.fileArgument = cmd.files.back();
    kr40::MainWindow w(std::move(o));
    if (instance)
        QObject::connect(instance.get(), &kr40::SingleInstance::HandedOver, &w,
                         [&w](int count, const QString& arg) { w.HandOver(count, arg); });
    w.show();
    if (screenshot) RunScreenshot(w, QString::fromLocal8Bit(cmd.screenshot.c_str()), cmd.frames);
    return app.exec();
}
