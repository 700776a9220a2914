#include "files/program_files.h"

#include <system_error>

#include "core/prompts.h"
#include "core/texts.h"

namespace kr40 {

namespace {

constexpr TextPair kHelpCaption = {"Help", "Справка"};
constexpr TextPair kHelpMissing = {"The help files were not found. Looked in:",
                                   "Файлы справки не найдены. Поиск выполнялся в:"};
constexpr TextPair kHelpNotShown = {"No program could show the help file:", "Не удалось открыть файл справки:"};

bool IsFile(const std::filesystem::path& p)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec);
}

}  // namespace

bool InstalledProgram(const std::filesystem::path& executable)
{
    std::error_code ec;
    return std::filesystem::is_directory(executable.parent_path().parent_path() / "share" / "kr40", ec);
}

std::vector<std::filesystem::path> HelpFolders(const std::filesystem::path& executable)
{
    const std::filesystem::path dir = executable.parent_path();
    return {dir / "help", dir.parent_path() / "share" / "kr40" / "help"};
}

std::optional<std::filesystem::path> FindHelpIndex(const std::filesystem::path& executable, bool russian)
{
    const char* first = russian ? "ru" : "en";
    const char* second = russian ? "en" : "ru";
    for (const char* lang : {first, second})
        for (const std::filesystem::path& folder : HelpFolders(executable))
            if (const std::filesystem::path page = folder / lang / "index.html"; IsFile(page)) return page;
    return std::nullopt;
}

bool OpenHelpContents(const std::filesystem::path& executable, bool russian, Prompts& prompts)
{
    const std::string caption = Tr(kHelpCaption, russian);
    const std::optional<std::filesystem::path> page = FindHelpIndex(executable, russian);
    if (!page) {
        std::string text = Tr(kHelpMissing, russian);
        for (const std::filesystem::path& folder : HelpFolders(executable))
            text += "\r\n" + folder.lexically_normal().string();
        prompts.Message(caption, text, PromptIcon::Error, PromptButtons::Ok);
        return false;
    }
    const std::string path = page->lexically_normal().string();
    if (prompts.OpenDocument(path)) return true;
    prompts.Message(caption, Tr(kHelpNotShown, russian) + "\r\n" + path, PromptIcon::Error, PromptButtons::Ok);
    return false;
}

}  // namespace kr40
