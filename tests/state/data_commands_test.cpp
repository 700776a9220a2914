#include "state/data_commands.h"

#include <gtest/gtest.h>

#include "state/scope_state.h"

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

}  // namespace
}  // namespace kr40
