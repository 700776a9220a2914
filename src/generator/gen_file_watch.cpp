#include "generator/gen_file_watch.h"

namespace kr40 {

bool GenFileChangedOnDisk(GenFileWatch& watch, const std::string& afgFile, bool tableLoaded)
{
    if (!tableLoaded) {
        watch = {};
        return false;
    }
    std::error_code ec;
    std::optional<std::filesystem::file_time_type> now;
    if (!afgFile.empty()) {
        const auto t = std::filesystem::last_write_time(afgFile, ec);
        if (!ec) now = t;
    }
    const bool changed = watch.name == afgFile && watch.time && now && *watch.time != *now;
    watch.name = afgFile;
    watch.time = now;
    return changed;
}

}  // namespace kr40
