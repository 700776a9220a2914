#include "app/picture_mode.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <cstdio>

#include "app/headless_prompts.h"
#include "app/main_window.h"

namespace kr40 {

void StartPictureRun(MainWindow& w, const HeadlessPrompts& prompts, PictureRun run)
{
    auto* poll = new QTimer(&w);
    QDeadlineTimer silence(run.silenceMs);
    bool pressed = false;
    int seen = 0;
    const auto finish = [poll](int code) {
        poll->stop();
        QApplication::exit(code);
    };
    QObject::connect(poll, &QTimer::timeout, &w, [=, &w, &prompts]() mutable {
        if (w.Initialised() && !pressed) {
            pressed = true;
            w.Button("SpeedButton_Run")->click();
            for (const std::string& name : run.press) {
                QAbstractButton* b = w.Button(name);
                if (!b) {
                    std::fprintf(stderr, "kr40: no picture written: there is no button %s\n", name.c_str());
                    finish(1);
                    return;
                }
                b->click();
            }
            silence.setRemainingTime(run.silenceMs);
        }
        // An error box would have stopped a watched run; this one fails.
        // The prompts have written the message already.
        if (prompts.Errors() > 0) {
            std::fprintf(stderr, "kr40: no picture written: an error was reported\n");
            finish(1);
            return;
        }
        if (pressed && w.FramesDrawn() >= run.frames) {
            if (!w.grab().save(run.file, "PNG")) {
                std::fprintf(stderr, "kr40: cannot write %s\n", run.file.toLocal8Bit().constData());
                finish(1);
            } else {
                finish(0);
            }
            return;
        }
        // The limit is on silence, not on the whole run: a slow link still
        // delivers any number of frames.
        if (w.FramesDrawn() > seen) {
            seen = w.FramesDrawn();
            silence.setRemainingTime(run.silenceMs);
        } else if (silence.hasExpired()) {
            std::fprintf(stderr, "kr40: no new frame from the instrument for %d s (%d of %d drawn)\n",
                         run.silenceMs / 1000, seen, run.frames);
            finish(1);
        }
    });
    poll->start(20);
}

}  // namespace kr40
