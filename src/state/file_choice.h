#pragma once
// The file dialog of a data or export command: it starts in the folder last
// used and remembers the folder of the file chosen.

#include <optional>
#include <string>

namespace kr40 {

struct ScopeState;
struct TextPair;
class Prompts;

enum class FileDialogKind { Open, Save };

// `ext` without the dot. A save dialog proposes the main frame's data file
// name with `ext` when the frame came from (or went to) a data file, else
// "*.ext"; an open dialog proposes nothing.
std::optional<std::string> AskFile(ScopeState& st, Prompts& prompts, FileDialogKind kind, const std::string& title,
                                   const TextPair& filter, const char* ext);

}  // namespace kr40
