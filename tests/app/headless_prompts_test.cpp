#include "app/headless_prompts.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kr40 {
namespace {

// Every message is written, none waits: a question takes its default answer
// and only error messages count as errors.
TEST(HeadlessPrompts, WritesEveryMessageAndAnswersWithTheDefault)
{
    const struct {
        const char* caption;
        const char* text;
        PromptIcon icon;
        PromptButtons buttons;
        PromptAnswer answer;
        const char* written;
        int errors;
    } cases[] = {
        {"USB Error - 100", "Can't load ftd2xx.dll or lin_ftd2xx.dll.so", PromptIcon::Error, PromptButtons::Ok,
         PromptAnswer::Ok, "kr40: error: USB Error - 100\n  Can't load ftd2xx.dll or lin_ftd2xx.dll.so\n", 1},
        {"Open Settings", "/x/a.krs\nFile not found.", PromptIcon::Error, PromptButtons::Ok, PromptAnswer::Ok,
         "kr40: error: Open Settings\n  /x/a.krs\n  File not found.\n", 1},
        {"Warning", "Recover after USB connection lost.\r\nError code 1", PromptIcon::Warning, PromptButtons::YesNo,
         PromptAnswer::No,
         "kr40: question: Warning\n  Recover after USB connection lost.\n  Error code 1\n  answered No (nobody to "
         "ask)\n",
         0},
        {"kr40", "True device found.\r\n\r\nOpen ?", PromptIcon::Question, PromptButtons::YesNo, PromptAnswer::No,
         "kr40: question: kr40\n  True device found.\n  Open ?\n  answered No (nobody to ask)\n", 0},
        {"kr40", "2 devices found", PromptIcon::Warning, PromptButtons::Ok, PromptAnswer::Ok,
         "kr40: warning: kr40\n  2 devices found\n", 0},
        {"About", "", PromptIcon::Information, PromptButtons::Ok, PromptAnswer::Ok, "kr40: message: About\n", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::ostringstream out;
        HeadlessPrompts prompts(out, "kr40");
        EXPECT_EQ(prompts.Message(c.caption, c.text, c.icon, c.buttons), c.answer);
        EXPECT_EQ(out.str(), c.written);
        EXPECT_EQ(prompts.Errors(), c.errors);
    }
}

TEST(HeadlessPrompts, CancelsChoosersAndCountsErrorsAcrossMessages)
{
    std::ostringstream out;
    HeadlessPrompts prompts(out, "kr40");
    FileDialogRequest request;
    request.title = "Open Settings";
    EXPECT_EQ(prompts.OpenFile(request), std::nullopt);
    EXPECT_EQ(prompts.SaveFile(request), std::nullopt);
    EXPECT_EQ(prompts.ChooseColor(0x0000FF), std::nullopt);
    EXPECT_NE(out.str().find("Open Settings"), std::string::npos) << out.str();
    EXPECT_EQ(prompts.Errors(), 0);

    prompts.Message("a", "b", PromptIcon::Error, PromptButtons::Ok);
    prompts.Message("c", "d", PromptIcon::Warning, PromptButtons::YesNo);
    prompts.Message("e", "f", PromptIcon::Error, PromptButtons::Ok);
    EXPECT_EQ(prompts.Errors(), 2);
}

}  // namespace
}  // namespace kr40
