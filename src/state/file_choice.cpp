#include "state/file_choice.h"

#include <filesystem>

#include "core/prompts.h"
#include "core/texts.h"
#include "state/scope_state.h"

namespace kr40 {

std::optional<std::string> AskFile(ScopeState& st, Prompts& prompts, FileDialogKind kind, const std::string& title,
                                   const TextPair& filter, const char* ext)
{
    namespace fs = std::filesystem;
    FileDialogRequest req;
    req.title = title;
    req.folder = st.LastFolder;
    req.defaultExt = ext;
    req.filter = Tr(filter, st.settings.Russian);
    if (kind == FileDialogKind::Save)
        req.proposedName = st.LiveName.empty() ? std::string("*.") + ext
                                               : fs::path(st.LiveName).filename().replace_extension(ext).string();
    std::optional<std::string> chosen = kind == FileDialogKind::Save ? prompts.SaveFile(req) : prompts.OpenFile(req);
    if (chosen) st.LastFolder = fs::path(*chosen).parent_path().string();
    return chosen;
}

}  // namespace kr40
