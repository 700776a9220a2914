// Finding and opening the manual: beside the executable in a build tree,
// under PREFIX/share/kr40 when installed, in the program's language first.

#include "files/program_files.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace kr40 {
namespace {

using test::ScriptedPrompts;
using test::TempDir;

void Page(const std::filesystem::path& p)
{
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p) << "<!DOCTYPE html>";
}

TEST(HelpTest, FoundInTheBuildTreeOrTheInstalledLayoutInTheLanguageFirst)
{
    TempDir dir;
    const std::filesystem::path buildExe = dir / "build" / "src" / "kr40";
    const std::filesystem::path installedExe = dir / "usr" / "bin" / "kr40";
    EXPECT_EQ(FindHelpIndex(buildExe, false), std::nullopt);

    Page(dir / "build" / "src" / "help" / "en" / "index.html");
    EXPECT_EQ(FindHelpIndex(buildExe, false), dir / "build" / "src" / "help" / "en" / "index.html");
    // No Russian manual: the English one rather than none.
    EXPECT_EQ(FindHelpIndex(buildExe, true), dir / "build" / "src" / "help" / "en" / "index.html");
    Page(dir / "build" / "src" / "help" / "ru" / "index.html");
    EXPECT_EQ(FindHelpIndex(buildExe, true), dir / "build" / "src" / "help" / "ru" / "index.html");

    EXPECT_FALSE(InstalledProgram(installedExe));
    Page(dir / "usr" / "share" / "kr40" / "help" / "ru" / "index.html");
    EXPECT_TRUE(InstalledProgram(installedExe));
    EXPECT_FALSE(InstalledProgram(buildExe));
    const auto installed = FindHelpIndex(installedExe, true);
    ASSERT_TRUE(installed.has_value());
    EXPECT_EQ(installed->lexically_normal(), (dir / "usr" / "share" / "kr40" / "help" / "ru" / "index.html"));
}

TEST(HelpTest, ContentsOpensThePageOrSaysWhatWentWrong)
{
    TempDir dir;
    const std::filesystem::path exe = dir / "bin" / "kr40";
    ScriptedPrompts prompts;

    // Missing: a box naming both places looked in, nothing opened.
    EXPECT_FALSE(OpenHelpContents(exe, true, prompts));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Справка");
    EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Error);
    EXPECT_NE(prompts.messages[0].text.find("Файлы справки не найдены."), std::string::npos);
    EXPECT_NE(prompts.messages[0].text.find((dir / "bin" / "help").string()), std::string::npos);
    EXPECT_NE(prompts.messages[0].text.find((dir / "share" / "kr40" / "help").string()), std::string::npos);
    EXPECT_TRUE(prompts.documents.empty());

    Page(dir / "bin" / "help" / "en" / "index.html");
    Page(dir / "bin" / "help" / "ru" / "index.html");
    EXPECT_TRUE(OpenHelpContents(exe, false, prompts));
    EXPECT_TRUE(OpenHelpContents(exe, true, prompts));
    EXPECT_EQ(prompts.documents, (std::vector<std::string>{(dir / "bin" / "help" / "en" / "index.html").string(),
                                                           (dir / "bin" / "help" / "ru" / "index.html").string()}));
    EXPECT_EQ(prompts.messages.size(), 1u);

    // Nothing on the desktop could show it: said, with the page's path.
    prompts.documentsOpen = false;
    EXPECT_FALSE(OpenHelpContents(exe, false, prompts));
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].caption, "Help");
    EXPECT_EQ(prompts.messages[1].text,
              "No program could show the help file:\r\n" + (dir / "bin" / "help" / "en" / "index.html").string());
}

}  // namespace
}  // namespace kr40
