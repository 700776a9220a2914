#pragma once
// The one door to message boxes, file dialogs and the colour chooser. The Qt
// window implements it with real dialogs; tests script the answers and check
// the exact captions and texts.

#include <cstdint>
#include <optional>
#include <string>

namespace kr40 {

enum class PromptIcon { None, Information, Question, Warning, Error };
enum class PromptButtons { Ok, YesNo };
enum class PromptAnswer { Ok, Yes, No, Cancel };

struct FileDialogRequest {
    std::string title;
    std::string folder;        // starting folder
    std::string defaultExt;    // without the dot, e.g. "krs"
    std::string filter;        // "Description (*.ext)|*.ext|..." pairs
    std::string proposedName;  // may be empty or a wildcard such as "*.krs"
};

class Prompts {
public:
    virtual ~Prompts() = default;
    virtual PromptAnswer Message(const std::string& caption, const std::string& text, PromptIcon icon,
                                 PromptButtons buttons) = 0;
    // The chosen path, or nothing when the user cancels.
    virtual std::optional<std::string> OpenFile(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> SaveFile(const FileDialogRequest& request) = 0;
    // Colours are 0x00BBGGRR; nothing when the user cancels.
    virtual std::optional<std::uint32_t> ChooseColor(std::uint32_t initial) = 0;
    // Shows a local file (the manual) in the desktop's program for it; false
    // when nothing could.
    virtual bool OpenDocument(const std::string& path) = 0;
};

}  // namespace kr40
