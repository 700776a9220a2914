#include "app/headless_prompts.h"

#include <ostream>
#include <string_view>

namespace kr40 {

namespace {

std::string_view KindOf(PromptIcon icon, PromptButtons buttons)
{
    if (buttons == PromptButtons::YesNo) return "question";
    switch (icon) {
        case PromptIcon::Error:
            return "error";
        case PromptIcon::Warning:
            return "warning";
        case PromptIcon::Information:
        case PromptIcon::Question:
        case PromptIcon::None:
            break;
    }
    return "message";
}

}  // namespace

HeadlessPrompts::HeadlessPrompts(std::ostream& out, std::string program) : out_(out), program_(std::move(program)) {}

void HeadlessPrompts::Write(const std::string& headline, const std::string& text)
{
    // The headline on the program's line, then the text indented a line at a
    // time; "\r\n" and "\n" both end a line, empty lines are left out.
    out_ << program_ << ": " << headline << '\n';
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) out_ << "  " << line << '\n';
        start = end + 1;
    }
    out_.flush();
}

PromptAnswer HeadlessPrompts::Message(const std::string& caption, const std::string& text, PromptIcon icon,
                                      PromptButtons buttons)
{
    const std::string_view kind = KindOf(icon, buttons);
    if (icon == PromptIcon::Error) ++errors_;
    if (buttons == PromptButtons::YesNo) {
        Write(std::string(kind) + ": " + caption, text + "\nanswered No (nobody to ask)");
        return PromptAnswer::No;
    }
    Write(std::string(kind) + ": " + caption, text);
    return PromptAnswer::Ok;
}

std::optional<std::string> HeadlessPrompts::OpenFile(const FileDialogRequest& request)
{
    Write("file dialog: " + request.title, "cancelled (nobody to ask)");
    return std::nullopt;
}

std::optional<std::string> HeadlessPrompts::SaveFile(const FileDialogRequest& request)
{
    Write("file dialog: " + request.title, "cancelled (nobody to ask)");
    return std::nullopt;
}

std::optional<std::uint32_t> HeadlessPrompts::ChooseColor(std::uint32_t)
{
    Write("colour chooser", "cancelled (nobody to ask)");
    return std::nullopt;
}

bool HeadlessPrompts::OpenDocument(const std::string& path)
{
    Write("help", "not shown (no display): " + path);
    return false;
}

int HeadlessPrompts::Errors() const
{
    return errors_;
}

}  // namespace kr40
