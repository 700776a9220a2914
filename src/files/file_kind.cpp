#include "files/file_kind.h"

#include <array>
#include <cctype>
#include <utility>

namespace kr40 {

FileKind FileKindOf(std::string_view path)
{
    static constexpr std::array<std::pair<std::string_view, FileKind>, 3> kKinds = {
        {{"krs", FileKind::Settings}, {"krd", FileKind::Data}, {"krg", FileKind::Generator}}};
    const std::size_t slash = path.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return FileKind::Other;
    const std::string_view ext = name.substr(dot + 1);
    for (const auto& [e, kind] : kKinds) {
        if (ext.size() != e.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < e.size(); ++i)
            same = same && std::tolower(static_cast<unsigned char>(ext[i])) == e[i];
        if (same) return kind;
    }
    return FileKind::Other;
}

}  // namespace kr40
