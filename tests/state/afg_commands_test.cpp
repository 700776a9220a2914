// Loading generator scripts into the state: the result boxes and status
// line, what a success changes (bars, marks, mode, upload, run) and that a
// failure changes nothing; the trigger marks, RUN and the defaults.

#include "state/afg_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "generator/afg_compiler.h"
#include "state/scope_state.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace kr40 {
namespace {

constexpr const char* kScript =
    "#CLOCK 1234\r\n"
    "#AMP 50\r\n"
    "start: OUT 100 // first\r\n"
    "zeta: DIFF 10; DIFF -10\r\n"
    "alpha: JMP start\r\n";

class AfgCommandsTest : public ::testing::Test {
protected:
    AfgCommandsTest()
    {
        s.Russian = false;
        s.GenOn_Down = true;
    }
    std::string File(const char* name, const std::string& text)
    {
        const std::string path = (dir / name).string();
        test::TempDir::Write(path, text);
        return path;
    }
    std::string Listing()
    {
        std::ifstream in(listing, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    test::TempDir dir;
    std::filesystem::path listing = dir / "krg.lst";
    ScopeState st;
    ScopeSettings& s = st.settings;
    test::ScriptedPrompts prompts;
};

TEST_F(AfgCommandsTest, MissingFileChangesNothing)
{
    const std::string path = (dir / "none.krg").string();
    EXPECT_FALSE(LoadAfgFile(st, prompts, path, false, listing));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Open AFG file");
    EXPECT_EQ(prompts.messages[0].text, path + "\r\nFile not found.");
    EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Error);
    EXPECT_NE(s.Sel(Group::GenMode), GenAfgMode);
    EXPECT_FALSE(st.link.WaveTableRequest);
    EXPECT_FALSE(std::filesystem::exists(listing));
}

TEST_F(AfgCommandsTest, SuccessSetsBarsMarksModeAndAsksForUploadAndRun)
{
    const std::string path = File("wave.krg", kScript);
    ASSERT_TRUE(LoadAfgFile(st, prompts, path, false, listing));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Open AFG File");
    EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Information);
    EXPECT_EQ(prompts.messages[0].text.rfind("wave.krg\r\n\r\nLines = 5\r\nCommands = 4 (", 0), 0u)
        << prompts.messages[0].text;

    EXPECT_EQ(s.F_fast, 1);
    EXPECT_EQ(s.F_slow, 234);
    EXPECT_EQ(s.Ampl, 2047 - 1000);
    EXPECT_EQ(s.Sel(Group::GenMode), GenAfgMode);
    EXPECT_EQ(s.AFG_File, path);
    EXPECT_TRUE(st.link.WaveTableRequest);
    EXPECT_TRUE(st.link.GenRunRequest);
    EXPECT_EQ(st.link.WaveTable.Get()[0], 100);
    EXPECT_EQ(st.link.WaveTable.Get()[3], 0x9000);
    EXPECT_EQ(st.acq.Gen_Mode, 6);
    EXPECT_EQ(st.acq.Gen_Word_B, 1233u);
    EXPECT_EQ(st.acq.Gen_Ampl, 2048);  // 50 % of 4094, plus one
    EXPECT_NE(Listing().find("0x000:  OUT"), std::string::npos);

    // The marks: off, address 0, then the labels in sorted order.
    ASSERT_EQ(st.afg.marks.size(), 5u);
    EXPECT_EQ(st.afg.marks[0].text, " D1 trigger mark OFF");
    EXPECT_EQ(st.afg.marks[1].text, "Addr 0");
    EXPECT_EQ(st.afg.marks[2].text, "alpha");
    EXPECT_EQ(st.afg.marks[2].address, 3);
    EXPECT_EQ(st.afg.marks[4].text, "zeta");
    EXPECT_EQ(st.afg.markIndex, 0);
    EXPECT_EQ(st.acq.Gen_Word_A, 2048u);
    ComboBox_AFGChange(st, 4);
    EXPECT_EQ(st.acq.Gen_Word_A, 1u);

    // The same file again keeps its label; another file starts at item 0.
    ASSERT_TRUE(LoadAfgFile(st, prompts, path, true, listing));
    EXPECT_EQ(st.afg.marks[st.afg.markIndex].text, "zeta");
    ASSERT_TRUE(LoadAfgFile(st, prompts, File("other.krg", kScript), true, listing));
    EXPECT_EQ(st.afg.markIndex, 0);
    EXPECT_EQ(prompts.messages.size(), 1u);  // silent loads show no box
}

TEST_F(AfgCommandsTest, ErrorChangesNothingAndReportsItsLine)
{
    ASSERT_TRUE(LoadAfgFile(st, prompts, File("good.krg", kScript), true, listing));
    st.link.WaveTableRequest = st.link.GenRunRequest = false;
    const ScopeSettings before = s;
    const auto table = st.link.WaveTable.Get();

    EXPECT_FALSE(LoadAfgFile(st, prompts, File("bad.krg", "OUT 1\nJMP nowhere\n"), true, listing));
    ASSERT_EQ(prompts.messages.size(), 1u);  // errors are shown even on silent loads
    EXPECT_EQ(prompts.messages[0].text, "Error in line 2\r\nnowhere is undefined");
    EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Error);
    EXPECT_EQ(s.AFG_File, before.AFG_File);
    EXPECT_EQ(s.F_fast, before.F_fast);
    EXPECT_FALSE(st.link.WaveTableRequest);
    EXPECT_FALSE(st.link.GenRunRequest);
    EXPECT_EQ(st.link.WaveTable.Get(), table);
    EXPECT_NE(Listing().find("bad.krg"), std::string::npos);  // the listing of the failed compile

    // "#NOMSG 2": no box, the status line shows the two lines in turn.
    EXPECT_FALSE(LoadAfgFile(st, prompts, File("quiet.krg", "#NOMSG 2\nDIFF 4096\n"), false, listing));
    EXPECT_EQ(prompts.messages.size(), 1u);
    s.Sel(Group::GenMode) = GenAfgMode;
    const auto label = [&] { return AfgModLabel(st.afg, s.AFG_File, false, false); };
    EXPECT_EQ(label(), "Error in line 2");
    TickAfgStatus(st.afg);
    EXPECT_EQ(label(), "Error in line 2");
    TickAfgStatus(st.afg);
    EXPECT_EQ(label(), "4096 is out of range");
    TickAfgStatus(st.afg);
    EXPECT_TRUE(TickAfgStatus(st.afg));
    EXPECT_FALSE(TickAfgStatus(st.afg));
    EXPECT_EQ(label(), "File not loaded");
    EXPECT_EQ(AfgModLabel(st.afg, "/x/wave.krg", true, false), "wave");
}

TEST_F(AfgCommandsTest, RunAndDefaultsNeedALoadedTable)
{
    EXPECT_FALSE(SpeedButton_GenRunClick(st));
    EXPECT_FALSE(st.link.GenRunRequest);
    ASSERT_TRUE(LoadAfgFile(st, prompts, File("wave.krg", kScript), true, listing));
    st.link.GenRunRequest = false;
    EXPECT_FALSE(Label_FDblClick(st, prompts));  // not uploaded yet: nothing asked
    EXPECT_TRUE(prompts.messages.empty());

    st.link.WaveTableLoaded = true;
    EXPECT_TRUE(SpeedButton_GenRunClick(st));
    EXPECT_TRUE(st.link.GenRunRequest);

    s.F_fast = 7, s.F_slow = 8, s.Ampl = 300;
    prompts.answers = {PromptAnswer::No, PromptAnswer::Yes, PromptAnswer::Yes};
    EXPECT_FALSE(Label_FDblClick(st, prompts));
    EXPECT_EQ(s.F_fast, 7);
    EXPECT_TRUE(Label_FDblClick(st, prompts));
    EXPECT_EQ(s.F_fast, 1);
    EXPECT_EQ(s.F_slow, 234);
    EXPECT_EQ(prompts.messages[0].caption, "AFG ");
    EXPECT_EQ(prompts.messages[0].text, "Restore default value?");
    EXPECT_TRUE(Label_VDblClick(st, prompts));
    EXPECT_EQ(s.Ampl, 1047);

    // A script without the directives has no defaults.
    ASSERT_TRUE(LoadAfgFile(st, prompts, File("plain.krg", "OUT 1\n"), true, listing));
    s.Russian = true;
    EXPECT_FALSE(Label_VDblClick(st, prompts));
    EXPECT_EQ(prompts.messages.back().text, "Отсутствует исходное значение амплитуды");
    EXPECT_EQ(prompts.messages.back().icon, PromptIcon::Warning);
}

TEST_F(AfgCommandsTest, SavedAgainOnDiskIsCompiledAgain)
{
    const std::string path = File("wave.krg", kScript);
    ASSERT_TRUE(LoadAfgFile(st, prompts, path, true, listing));
    st.link.WaveTableLoaded = true;
    EXPECT_FALSE(AfgFileWatch(st, prompts, listing));  // unchanged
    // Saved again at once: the watch started from the file as compiled.
    test::TempDir::Write(path, "OUT 7\n");
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(5));
    EXPECT_TRUE(AfgFileWatch(st, prompts, listing));
    EXPECT_EQ(st.link.WaveTable.Get()[0], 7);
    EXPECT_EQ(prompts.messages.size(), 1u);  // not silent: the success box
    EXPECT_FALSE(st.BusyEvent.IsSet());
}

TEST_F(AfgCommandsTest, OpenDialogStartsInTheScriptsFolder)
{
    s.AFG_File = (dir / "old.krg").string();
    prompts.files.push_back(std::nullopt);
    EXPECT_FALSE(Menu_Open_Gen_FormClick(st, prompts, listing));
    ASSERT_EQ(prompts.fileRequests.size(), 1u);
    EXPECT_EQ(prompts.fileRequests[0].title, "Open AFG file");
    EXPECT_EQ(prompts.fileRequests[0].folder, dir.path().string());
    EXPECT_EQ(prompts.fileRequests[0].defaultExt, "krg");
    EXPECT_EQ(prompts.fileRequests[0].filter, "KR40 AFG File (*.krg)|*.krg|All Files (*.*)|*.*");
}

}  // namespace
}  // namespace kr40
