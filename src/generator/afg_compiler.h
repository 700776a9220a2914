#pragma once
// The generator script compiler: a .krg text in the generator's line-oriented
// assembly language becomes the 2048-word program table of the arbitrary
// waveform player, with a listing, the trigger-mark labels, the settings its
// directives give and the result text the user is shown. Plain C++: the
// window, the auto reload and kr40-cli all compile through here.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kr40 {

inline constexpr int AfgProgramWords = 2048;

// Instruction opcodes: a word is opcode × 4096 + a 12-bit parameter
// (negative parameters stored as parameter + 4096).
enum AfgOpcode : int {
    AfgOut = 0,
    AfgDiff = 1,
    AfgStop = 2,
    AfgLoop = 3,
    AfgDelay = 4,
    AfgRepeat = 5,
    AfgEndRep = 6,
    AfgRet = 7,
    AfgCall = 8,
    AfgJmp = 9,
    AfgWait = 10,
    AfgLoadN = 11,
    AfgOutN = 12,
    AfgDiffN = 13,
};

struct AfgLabel {
    std::string name;  // as written in the source
    int address = 0;   // words compiled before it
};

struct AfgResult {
    bool ok = false;
    int errorLine = 0;      // 1-based line of the first error; 0 on success
    std::string errorText;  // the error alone, e.g. "4096 is out of range"

    std::array<std::int32_t, AfgProgramWords> words{};  // cleared, then the program
    int wordCount = 0;                                  // words compiled
    int lineCount = 0;                                  // lines of the source
    std::vector<AfgLabel> labels;                       // sorted by name, case-insensitively
    std::vector<std::string> listing;                   // the lines of krg.lst

    // What the directives set (their values at the end of the source).
    std::optional<int> period;     // step period in 10 ns ticks: "#BAUD" when given, else "#CLOCK"
    std::optional<int> amplitude;  // "#AMP", percent of full scale
    std::optional<int> baud;       // "#BAUD"
    int noMsg = 0;                 // "#NOMSG"
    bool autoRun = true;           // "#AUTOR"

    // The text for the user: on success the summary (file name, lines,
    // commands with their share of the memory, the baud rate and its error);
    // on failure "Error in line N\r\n" + errorText. `shortText` is the
    // success line for the status line ("Lines = 12  Commands = 30").
    std::string message;
    std::string shortText;
};

// Compiles the lines of the file at `path` (the path appears in the listing,
// its file name in the summary); texts in Russian or English.
AfgResult CompileAfg(const std::vector<std::string>& lines, const std::string& path, bool russian);

// The listing as the text of krg.lst, lines ended by "\r\n".
std::string AfgListingText(const AfgResult& r);

}  // namespace kr40
