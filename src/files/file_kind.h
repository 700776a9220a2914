#pragma once
// What a file named on the command line, handed over by a second start or
// dropped on the window is, by its extension.

#include <string_view>

namespace kr40 {

enum class FileKind {
    Settings,   // ".krs": user settings
    Data,       // ".krd": waveform data
    Generator,  // ".krg": generator script
    Other,
};

// Case-insensitive; only the last extension counts ("a.krs.bak" is Other).
FileKind FileKindOf(std::string_view path);

}  // namespace kr40
