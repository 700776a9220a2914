#include "state/data_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "analysis/spectrum.h"
#include "state/scope_state.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace kr40 {
namespace {

// A main frame of 300 positions on A1 and a reference of 100 on D1, each
// with its own levels, zero lines and name.
class ReferenceFrameTest : public ::testing::Test {
protected:
    ScopeState st;

    void SetUp() override
    {
        ScopeSettings& s = st.settings;
        s.Russian = false;
        s.FFT_View_A1 = s.FFT_View_A2 = false;
        s.Lev_A1 = 100;
        s.Lev_A2 = 110;
        s.A1_Zero = 120;
        s.A2_Zero = 130;
        s.bgLev_A1 = 10;
        s.bgLev_A2 = 11;
        s.bgA1_Zero = 12;
        s.bgA2_Zero = 13;
        s.bgD_Zero = 0;
        s.X_Pos = 250;
        Fill(*st.live, ChanA1, 300, 77);
        Fill(*st.ref, ChanD1, 100, 1);
        st.LiveExists = st.RefExists = true;
        st.LiveName = "main.krd";
        st.RefName = "old_BG.krd";
    }
    static void Fill(FrameSet& f, int ch, int n, int value)
    {
        f.rec.ValidLen = f.rec.FrameLen = n;
        f.rec.ChannelMask = 1 << ch;
        std::fill_n(f.buf.First(ch), n, value);
        std::fill_n(f.buf.Second(ch), n, value);
        f.buf.filled = std::max(f.buf.filled, n);
    }
};

TEST_F(ReferenceFrameTest, SwapTwiceGivesBackBothFrames)
{
    ASSERT_TRUE(Menu_BG_DoClick(st));
    const ScopeSettings& s = st.settings;
    EXPECT_EQ(st.live->rec.ValidLen, 100);
    EXPECT_EQ(st.live->buf.First(ChanD1)[99], 1);
    EXPECT_EQ(st.ref->buf.First(ChanA1)[299], 77);
    EXPECT_EQ(s.Lev_A1, 10);
    EXPECT_EQ(s.bgLev_A1, 100);
    EXPECT_EQ(s.A2_Zero, 13);
    EXPECT_EQ(s.bgA2_Zero, 130);
    EXPECT_EQ(st.LiveName, "old_BG.krd");
    EXPECT_EQ(s.bgD_Zero, 1);
    EXPECT_EQ(s.X_Pos, 100);  // within the new main frame
    EXPECT_TRUE(st.SpectrumRestart[RestartA1]);

    ASSERT_TRUE(Menu_BG_DoClick(st));
    EXPECT_EQ(st.live->rec.ValidLen, 300);
    EXPECT_EQ(st.live->buf.First(ChanA1)[0], 77);
    EXPECT_EQ(st.ref->buf.First(ChanD1)[0], 1);
    EXPECT_EQ(s.Lev_A1, 100);
    EXPECT_EQ(s.bgLev_A1, 10);
    EXPECT_EQ(s.A1_Zero, 120);
    EXPECT_EQ(st.LiveName, "main.krd");
    EXPECT_EQ(st.RefName, "old_BG.krd");
    EXPECT_EQ(s.bgD_Zero, 0);
}

TEST_F(ReferenceFrameTest, AMissingSideTakesTheOthersLevelsFirst)
{
    ScopeSettings& s = st.settings;
    // No reference: the main frame becomes it, with its own levels on both sides.
    st.RefExists = false;
    ASSERT_TRUE(Menu_BG_DoClick(st));
    EXPECT_TRUE(st.RefExists);
    EXPECT_FALSE(st.LiveExists);
    EXPECT_EQ(s.bgLev_A1, 100);
    EXPECT_EQ(s.Lev_A1, 100);
    EXPECT_EQ(s.bgA2_Zero, 130);
    EXPECT_EQ(st.RefName, "main.krd");

    // Neither: nothing happens.
    st.RefExists = false;
    const int dZero = s.bgD_Zero;
    EXPECT_FALSE(Menu_BG_DoClick(st));
    EXPECT_EQ(s.bgD_Zero, dZero);
}

TEST_F(ReferenceFrameTest, ClearEmptiesTheReference)
{
    st.settings.bgD_Zero = 1;
    Menu_BG_ClrClick(st);
    EXPECT_FALSE(st.RefExists);
    EXPECT_EQ(st.ref->rec.ValidLen, 0);
    EXPECT_EQ(st.ref->buf.First(ChanD1)[0], MissingSample);
    EXPECT_EQ(st.settings.bgD_Zero, 0);
    EXPECT_EQ(st.live->rec.ValidLen, 300);  // the main frame stays
}

// ---- Data files ------------------------------------------------------------

std::string ReadAll(const std::filesystem::path& p)
{
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

class DataFileCommandTest : public ReferenceFrameTest {
protected:
    test::ScriptedPrompts prompts;
    test::TempDir dir;

    std::filesystem::path Save(const char* name, bool bgView = false)
    {
        const auto file = dir.path() / name;
        prompts.files.push_back(file.string());
        EXPECT_TRUE(Menu_Save_AsClick(st, prompts, bgView));
        return file;
    }
};

TEST_F(DataFileCommandTest, SavedFrameOpensAgainWithItsSettings)
{
    st.RefExists = false;
    st.settings.A1_Zero = 99;
    const auto file = Save("run.krd");
    EXPECT_EQ(prompts.fileRequests[0].title, "Save");
    EXPECT_EQ(prompts.fileRequests[0].proposedName, "main.krd");
    EXPECT_EQ(ReadAll(file).size(), 10u + 164u + 300u);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "run.krs"));
    EXPECT_EQ(st.LiveName, "run.krd");
    EXPECT_TRUE(prompts.messages.empty());

    ScopeState other;
    other.settings.Russian = false;
    other.settings.Russian = false;
    EXPECT_EQ(OpenDataFile(other, prompts, file.string()), OpenOutcome::Opened);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(other.LiveExists);
    EXPECT_EQ(other.LiveName, "run.krd");
    EXPECT_EQ(other.live->rec.ValidLen, 300);
    EXPECT_EQ(other.live->buf.First(ChanA1)[299], 77);
    EXPECT_EQ(other.settings.A1_Zero, 99);  // from the companion file
    EXPECT_TRUE(other.SettingsLoaded);
    EXPECT_TRUE(other.SpectrumRestart[RestartA1]);
}

TEST_F(DataFileCommandTest, ReferenceGoesWithTheFileOnlyWhenShown)
{
    const auto without = Save("a.krd", false);
    const auto with = Save("b.krd", true);
    EXPECT_EQ(st.RefName, "b_BG.krd");
    ScopeState other;
    other.settings.Russian = false;
    EXPECT_EQ(OpenDataFile(other, prompts, without.string()), OpenOutcome::Opened);
    EXPECT_FALSE(other.RefExists);
    EXPECT_EQ(OpenDataFile(other, prompts, with.string()), OpenOutcome::OpenedWithReference);
    EXPECT_TRUE(other.RefExists);
    EXPECT_EQ(other.RefName, "b_BG.krd");
    EXPECT_EQ(other.ref->buf.First(ChanD1)[99], 1);
}

TEST_F(DataFileCommandTest, DecliningTheSettingsReplacementKeepsTheDataFile)
{
    std::ofstream(dir.path() / "r.krs") << "mine";
    prompts.answers.push_back(PromptAnswer::No);
    const auto file = Save("r.krd");
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(ReadAll(dir.path() / "r.krs"), "mine");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Save Settings File");
    EXPECT_EQ(prompts.messages[0].text,
              (dir.path() / "r.krs").string() + "\nThe file already exists. Replace existing file?");
}

TEST_F(DataFileCommandTest, FilesThatCannotBeOpenedAreToldAndLoseWhatTheySay)
{
    const auto good = Save("g.krd");
    std::string bytes = ReadAll(good);
    const auto write = [&](const char* name, const std::string& b) {
        const auto p = dir.path() / name;
        std::ofstream(p, std::ios::binary) << b;
        return p.string();
    };
    std::string crc = bytes;
    crc[10 + 40] ^= 1;  // a record byte
    const struct {
        std::string file;
        const char* text;
        bool mainKept;
    } cases[] = {
        {(dir.path() / "none.krd").string(), "File not found.", true},
        {write("old.krd", std::string("KRD:\0\0\0\0\0\0", 10) + bytes.substr(10)), "Use software version 1.xx to open.",
         true},
        {write("junk.krd", "hello"), "Invalid file format.", true},
        {write("crc.krd", crc), "Invalid file format. (CRC error)", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        SetUp();
        prompts.messages.clear();
        EXPECT_EQ(OpenDataFile(st, prompts, c.file), OpenOutcome::Failed);
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].caption, "Open");
        EXPECT_EQ(prompts.messages[0].text, c.file + "\n" + c.text);
        EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Error);
        EXPECT_EQ(st.live->rec.ValidLen, c.mainKept ? 300 : 0);
        EXPECT_EQ(st.LiveExists, c.mainKept);
    }

    // Without its settings file the frame opens with a warning.
    std::filesystem::remove(dir.path() / "g.krs");
    prompts.messages.clear();
    EXPECT_EQ(OpenDataFile(st, prompts, good.string()), OpenOutcome::Opened);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Open Settings");
    EXPECT_EQ(prompts.messages[0].text, "Settings file not found  " + (dir.path() / "g.krs").string());
    EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Warning);
}

TEST_F(DataFileCommandTest, AveragedSpectrumTravelsWithTheFrame)
{
    st.spectrum = std::make_unique<Spectrum>();
    ChannelSpectrum& a1 = st.spectrum->ch[0];
    a1.status = FftComputed;
    a1.log2n = 10;
    a1.frames = 5;
    for (int k = 0; k < 512; ++k) a1.sum[static_cast<std::size_t>(k)] = 1e-3 * (k + 1);
    const auto file = Save("s.krd");

    ScopeState other;
    other.settings.Russian = false;
    other.SpectrumRestart.fill(false);
    ASSERT_EQ(OpenDataFile(other, prompts, file.string()), OpenOutcome::Opened);
    ASSERT_NE(other.spectrum, nullptr);
    const ChannelSpectrum& back = other.spectrum->ch[0];
    EXPECT_EQ(back.frames, 5);
    EXPECT_EQ(back.Points(), 1024);
    EXPECT_FLOAT_EQ(static_cast<float>(back.sum[511]), 0.512f);
    EXPECT_FALSE(other.SpectrumRestart[RestartA1]);  // the stored average is kept
    EXPECT_TRUE(other.SpectrumRestart[RestartA2]);
}

}  // namespace
}  // namespace kr40
