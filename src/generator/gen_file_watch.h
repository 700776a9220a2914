#pragma once
// The once-a-second watch on the loaded generator script: when the file's
// modification time changes on disk, the script is reloaded.

#include <filesystem>
#include <optional>
#include <string>

namespace kr40 {

struct GenFileWatch {
    std::string name;
    std::optional<std::filesystem::file_time_type> time;
};

// True when the same file as at the previous tick now has another (valid)
// modification time. Only watches while the waveform table is loaded.
bool GenFileChangedOnDisk(GenFileWatch& watch, const std::string& afgFile, bool tableLoaded);

}  // namespace kr40
