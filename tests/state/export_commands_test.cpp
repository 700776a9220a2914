#include "state/export_commands.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "files/image_file.h"
#include "state/scope_state.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace kr40 {
namespace {

std::string Read(const std::filesystem::path& p)
{
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// A main frame of three A1 samples, 100 ns apart.
class ExportCommandTest : public ::testing::Test {
protected:
    ScopeState st;
    test::ScriptedPrompts prompts;
    test::TempDir dir;

    void SetUp() override
    {
        st.settings.Russian = false;
        FrameRecord& r = st.live->rec;
        r.ValidLen = r.FrameLen = 3;
        r.ChannelMask = 1;
        r.Divider = 10;
        r.uV_Div_A1 = 1'000'000;
        r.A1_Zero = 128;
        for (int i = 0; i < 3; ++i) st.live->buf.First(ChanA1)[i] = st.live->buf.Second(ChanA1)[i] = 100 + i;
        st.live->buf.filled = 3;
    }
};

TEST_F(ExportCommandTest, NoDataIsToldBeforeAnyDialog)
{
    st.live->rec.ValidLen = 0;
    Menu_TextClick(st, prompts);
    Menu_EBinClick(st, prompts, ChanA1);
    EXPECT_TRUE(prompts.fileRequests.empty());
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[0].caption, "Save Text");
    EXPECT_EQ(prompts.messages[0].text, "No data for writing.");
    EXPECT_EQ(prompts.messages[1].caption, "Save Row Binary (CH A1)");
    st.live->rec.ValidLen = 3;
    st.settings.Russian = true;
    Menu_EBinClick(st, prompts, ChanD2);  // D2 is not in the frame
    EXPECT_EQ(prompts.messages.back().caption, "Сохранение двоичного файла (канал D2)");
    EXPECT_EQ(prompts.messages.back().text, "Нет данных для записи.");
}

TEST_F(ExportCommandTest, TextGoesWhereTheUserSaysAndTheFolderIsKept)
{
    const auto file = dir.path() / "t.txt";
    prompts.files.push_back(file.string());
    Menu_TextClick(st, prompts);
    ASSERT_EQ(prompts.fileRequests.size(), 1u);
    EXPECT_EQ(prompts.fileRequests[0].proposedName, "*.txt");
    EXPECT_EQ(prompts.fileRequests[0].filter, "Text File (*.txt)|*.txt");
    EXPECT_EQ(st.LastFolder, dir.path().string());
    EXPECT_NE(Read(file).find("0\t100\r\n1\t101\r\n2\t102\r\n"), std::string::npos);
    EXPECT_TRUE(prompts.messages.empty());

    // A frame from a data file proposes that file's name; a folder that is
    // gone is told.
    st.LiveName = "run7.krd";
    prompts.files.push_back((dir.path() / "gone" / "t.txt").string());
    Menu_TextClick(st, prompts);
    EXPECT_EQ(prompts.fileRequests.back().proposedName, "run7.txt");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, (dir.path() / "gone" / "t.txt").string() + "\nCan't open file for writing.");
}

TEST_F(ExportCommandTest, RawKeepsItsBytesWhenTheCompanionIsNotReplaced)
{
    const auto bin = dir.path() / "a1.bin", txt = dir.path() / "a1.txt";
    std::ofstream(txt) << "mine";
    prompts.files.push_back(bin.string());
    prompts.answers.push_back(PromptAnswer::No);
    Menu_EBinClick(st, prompts, ChanA1);
    EXPECT_EQ(Read(bin), "def");  // 100, 101, 102
    EXPECT_EQ(Read(txt), "mine");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Save Text For Row Binary");
    EXPECT_EQ(prompts.messages[0].buttons, PromptButtons::YesNo);

    prompts.files.push_back(bin.string());
    prompts.answers.push_back(PromptAnswer::Yes);
    Menu_EBinClick(st, prompts, ChanA1);
    EXPECT_EQ(Read(txt).rfind("Oscilloscope binary file = a1.bin\r\n", 0), 0u);
}

TEST_F(ExportCommandTest, PictureByExtension)
{
    const std::uint32_t pixels[2] = {0xFF102030, 0xFF405060};
    const PixelView view{reinterpret_cast<const std::uint8_t*>(pixels), 2, 1, 8};
    prompts.files.push_back((dir.path() / "s.bmp").string());
    prompts.files.push_back((dir.path() / "s.png").string());
    Menu_ImageClick(st, prompts, view);
    Menu_ImageClick(st, prompts, view);
    EXPECT_EQ(Read(dir.path() / "s.bmp").substr(0, 2), "BM");
    EXPECT_EQ(Read(dir.path() / "s.png").substr(1, 3), "PNG");
    EXPECT_EQ(prompts.fileRequests[0].title, "Save Image");
    EXPECT_TRUE(prompts.messages.empty());
}

}  // namespace
}  // namespace kr40
