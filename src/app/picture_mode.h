#pragma once
// The picture mode (--screenshot FILE --frames N): the window runs without a
// display and without anybody to answer, presses Run and the buttons named
// by --press, waits for N frames and writes its picture as PNG.

#include <QString>
#include <string>
#include <vector>

namespace kr40 {

class MainWindow;
class HeadlessPrompts;

struct PictureRun {
    QString file;                    // the PNG to write
    int frames = 1;                  // frames to wait for after Run
    std::vector<std::string> press;  // buttons clicked after Run, in order
    int silenceMs = 10000;           // fail when no new frame came for this long
};

// Starts the run on a shown window whose prompts are `prompts`. It ends the
// event loop with 0 once the picture is written, or with 1 and a message on
// stderr when an error message was shown, the instrument stayed silent for
// `silenceMs` or the file cannot be written.
void StartPictureRun(MainWindow& window, const HeadlessPrompts& prompts, PictureRun run);

}  // namespace kr40
