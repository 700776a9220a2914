#pragma once
// The binary recorder: while a roll-mode acquisition runs, the A1 codes the
// acquisition thread collects (RecorderStream) go to a raw file at every
// screen hand-off, one byte per code; when the recording ends a companion
// text file tells how to read them. RecorderSession is the recorder dialog's
// state over Prompts, so the window stays a thin view and tests script the
// answers. Everything here runs on the user-interface thread; of the stream
// it only sets and clears `active`.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "acquisition/frame.h"
#include "core/prompts.h"
#include "core/texts.h"

namespace kr40 {

struct LinkShared;

inline constexpr TextPair kRecorderTitle = {"Binary Recorder", "Двоичный самописец"};
inline constexpr int kRecorderTimerMs = 93;

// ---- The menu item -------------------------------------------------------

// Whether the recorder dialog may open: the acquisition runs (`running`, the
// Run button down) in roll mode (`roll`), the instrument is ready and the
// link is usable. A broken link status is asked again first (a queue-status
// call, which stores the fresh status).
bool RecorderMayOpen(LinkShared& io, bool running, bool roll);
// The error box shown instead of the dialog.
void ShowRecorderRefusal(Prompts& prompts, bool russian);

// ---- Texts ---------------------------------------------------------------

// The information lines for a frame record: "Not ready." alone while the
// record holds no divider, else sampling rate, peak detector, write speed, an
// empty line, time step, voltage step and zero level.
std::vector<std::string> RecorderInfoLines(const FrameRecord& rec, bool russian);
// Recording needs a divider in the frame record.
bool RecorderReady(const FrameRecord& rec);
// The total with blanks before the last three and then the last six digits:
// 999 -> " 999", 1000 -> "1 000", 123456 -> " 123 456", 1234567 -> "1 234 567".
// Only these two blanks: 1234567890 -> "1234 567 890".
std::string RecorderSizeText(std::uint64_t total);
// Whole days, two blanks and the rest as a time of day "H:MM:SS":
// 90061 s -> "1  1:01:01". A negative duration reads as 0.
std::string RecorderDurationText(std::chrono::seconds d);
// "YYYY-MM-DD HH:MM:SS".
std::string RecorderDateTimeText(std::chrono::local_seconds t);
// The companion file's name: the recording's with the extension ".txt".
std::string RecorderCompanionPath(const std::string& binPath);
// The companion file's content, every line ended by CR LF: the recording's
// name without folder, an empty line, the information lines, size and time.
std::string RecorderCompanionText(const std::string& binPath, const std::vector<std::string>& info, std::uint64_t total,
                                  std::chrono::seconds duration, bool russian);

// ---- The recording file --------------------------------------------------

// The open recording. Write puts all of `bytes` into the file in one call and
// returns how many got there (fewer means the write failed).
class RecordFile {
public:
    virtual ~RecordFile() = default;
    virtual std::size_t Write(std::span<const std::uint8_t> bytes) = 0;
    // False when closing reports an error.
    virtual bool Close() = 0;
};
// Creates (or empties) the file for binary writing; nothing when it cannot.
using RecordFileOpener = std::function<std::unique_ptr<RecordFile>(const std::string& path)>;
// The real file, unbuffered so that each Write is one write to the system
// and its failure shows at once. Refuses anything but a regular file.
std::unique_ptr<RecordFile> OpenRecordFile(const std::string& path);

// The local date and time now.
std::chrono::local_seconds LocalNow();

// ---- The dialog ----------------------------------------------------------

struct RecorderEnv {
    Prompts& prompts;
    std::string& lastFolder;  // the folder last used by any file dialog
    RecorderStream& stream;
    std::function<FrameRecord()> frameRecord;  // the current frame record
    bool russian = false;
    std::function<std::chrono::local_seconds()> now = LocalNow;
    RecordFileOpener open = OpenRecordFile;
};

// What the dialog shows.
struct RecorderView {
    std::string title, fileCaption, startCaption, stopCaption, exitCaption;
    std::vector<std::string> info;  // Memo_Info
    std::string file;               // Edit_File
    std::string size;               // Label_Size
    bool fileEnabled = true, startEnabled = true, stopEnabled = false, exitEnabled = true;
};

class RecorderSession {
public:
    explicit RecorderSession(RecorderEnv env);
    // A recording still running is ended without questions (file closed,
    // collecting stopped); no companion file.
    ~RecorderSession();
    RecorderSession(const RecorderSession&) = delete;
    RecorderSession& operator=(const RecorderSession&) = delete;

    // The dialog opens: defaults, "recorder.bin" in the last folder.
    void Show();
    // Button_File: the save dialog.
    void ChooseFile();
    // Button_Start: replace question, the file, recording on.
    void Start();
    // Button_Stop: asks; Yes ends the recording and writes the companion file.
    void Stop();
    // The dialog is about to close. While recording it asks as Stop does;
    // false (No) keeps the dialog open.
    bool Close();
    // Timer1, every kRecorderTimerMs: Label_Size. It also reports a write
    // failure, which the hand-off cannot show.
    void Tick();
    // The screen hand-off's write of the collected bytes (ignored while not
    // recording). A failed write ends the recording at once, keeping what the
    // file got; the next Tick (or button) shows the error and writes the
    // companion file.
    void Write(std::span<const std::uint8_t> bytes);

    const RecorderView& View() const { return view_; }
    bool Recording() const { return recording_; }
    std::uint64_t Total() const { return total_; }

private:
    void UpdateInfo();
    void SetButtons();
    void EndRecording(bool buttons);
    void SettleWriteFailure();
    void WriteCompanion();
    std::chrono::seconds Elapsed() const;

    RecorderEnv env_;
    RecorderView view_;
    std::unique_ptr<RecordFile> file_;
    bool recording_ = false;
    bool ready_ = false;
    bool display_ = false;      // Label_Size shows size and time
    bool writeFailed_ = false;  // a failed write waits to be reported
    std::uint64_t total_ = 0;
    std::chrono::local_seconds start_{}, lastTick_{};
};

}  // namespace kr40
