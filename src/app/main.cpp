// Process entry: one running copy per executable name, the main window, and
// the headless picture mode used for documentation and tests.
//
//   kr40 [--simulate | --driver=d2xx|ftdi|sim] [--sim-inputs=demo|open|generator]
//        [--lang=en|ru] [--screenshot FILE --frames N [--press BUTTON]...] [FILE]

#include <QApplication>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/headless_prompts.h"
#include "app/main_window.h"
#include "app/picture_mode.h"
#include "app/single_instance.h"
#include "files/settings_file.h"

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
    // The desktop entry the window belongs to (its icon on Wayland).
    QGuiApplication::setDesktopFileName("org.kr40scope.KR40Scope");

    // A picture run is a tool: it neither meets a running copy nor touches the
    // program's settings file.
    std::unique_ptr<kr40::SingleInstance> instance;
    const QString last = cmd.files.empty() ? QString() : QString::fromLocal8Bit(cmd.files.back().c_str());
    if (!screenshot) {
        instance = std::make_unique<kr40::SingleInstance>(kr40::InstanceName(exe));
        // Another copy runs: it takes the file. Should it have gone in the
        // meantime, this one starts after all.
        bool run = instance->Claim();
        if (!run && instance->BlockedReason().isEmpty()) {
            if (kr40::SingleInstance::HandOver(instance->Name(), static_cast<int>(cmd.files.size()), last, 3000))
                return 0;
            run = instance->Claim();
        }
        if (!run) {
            if (instance->BlockedReason().isEmpty()) return 0;  // a copy answered after all
            // The name cannot be held: a later start would not find this copy
            // and run beside it.
            std::fprintf(stderr, "kr40: %s\n", instance->BlockedReason().toLocal8Bit().constData());
            return 1;
        }
    }

    // Nobody answers a box in a picture run: messages go to stderr, an error
    // fails the run.
    kr40::HeadlessPrompts headless(std::cerr, "kr40");

    kr40::MainWindowOptions o;
    o.providerName = cmd.providerName;
    o.simInputs = cmd.simInputs;
    o.caption = caption;
    o.russian = cmd.russian;
    if (screenshot) o.prompts = &headless;
    if (!screenshot) o.settingsFile = kr40::ProgramFilePath(exe.toStdString());
    if (!cmd.files.empty()) o.fileArgument = cmd.files.back();
    kr40::MainWindow w(std::move(o));
    if (instance)
        QObject::connect(instance.get(), &kr40::SingleInstance::HandedOver, &w,
                         [&w](int count, const QString& arg) { w.HandOver(count, arg); });
    w.show();
    if (screenshot)
        kr40::StartPictureRun(w, headless, {QString::fromLocal8Bit(cmd.screenshot.c_str()), cmd.frames, cmd.press});
    return app.exec();
}
