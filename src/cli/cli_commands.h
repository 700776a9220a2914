#pragma once
// The subcommands of kr40-cli. Each returns the process's exit code: 0 done,
// 1 failed (told on `err`).

#include <iosfwd>

namespace kr40 {

struct CliCommand;

// Connects, applies the settings, runs, keeps the last of N complete frames
// and saves it as the window's Save does (with its companion .krs). A
// progress line goes to `err`.
int RunCapture(const CliCommand& c, std::ostream& out, std::ostream& err);

// What a data file holds, its measurements as the screen shows them and,
// with --spectrum, the spectrum read-outs of that channel.
int RunInfo(const CliCommand& c, std::ostream& out, std::ostream& err);

// Writes one export of a data file exactly as the window's export writes it;
// a picture is drawn as the screen would show the file with its companion
// settings.
int RunExport(const CliCommand& c, std::ostream& out, std::ostream& err);

// Compiles a generator script as the window does: the summary on `out` and
// exit 0, or "Error in line N" and the error on `err` and exit 1; the
// listing goes to --listing when given.
int RunAfg(const CliCommand& c, std::ostream& out, std::ostream& err);

// The binary recorder without the window: roll mode (0.1 S/div, trigger
// off, unless --settings says otherwise; settings without roll mode are
// refused with the window's message), A1 to OUT.bin for S seconds, then the
// companion OUT.txt. A progress line goes to `err`.
int RunRecord(const CliCommand& c, std::ostream& out, std::ostream& err);

// Decodes the serial lines of a data file's frame as the decoder dialog
// does and prints exactly the text its window would show.
int RunDecode(const CliCommand& c, std::ostream& out, std::ostream& err);

}  // namespace kr40
