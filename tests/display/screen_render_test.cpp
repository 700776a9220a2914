// A known frame (a sine on A1, a square on A2, a bit pattern on D1) drawn
// through both screen passes into a 540 × 400 bitmap; the pixels that matter
// are checked, not a whole golden image.

#include <gtest/gtest.h>

#include <cmath>

#include "acquisition/frame.h"
#include "core/rounding.h"
#include "display/scope_screen.h"
#include "display/screen.h"
#include "state/compose.h"
#include "state/scope_state.h"

namespace kr40 {
namespace {

constexpr int kN = 5000;
int SineCode(int i)
{
    return static_cast<int>(std::lround(128 + 40 * std::sin(2 * M_PI * i / 1000.0)));
}
int SquareCode(int i)
{
    return (i / 500) % 2 ? 96 : 64;
}
int PatternBit(int i)
{
    return (i / 250) % 2;
}

class ScreenRenderTest : public ::testing::Test {
protected:
    ScopeState st;
    FrameSet& live = *st.live;  // the screen draws the state's own frames
    DisplayState d;

    void SetUp() override
    {
        ScopeSettings& s = st.settings;
        s.A1_Zero = 128;
        s.A2_Zero = 64;
        s.CH_D2 = false;
        s.Sel(Group::DrawMode) = DrawVectors;
        s.Markers_2 = false;
        ComposeAcqConfig(st);  // 1 mS/div, 1 V/div: Divider 200, 0.096 px per sample

        FrameRecord& r = live.rec;
        r.Divider = 200;
        r.FrameLen = r.ValidLen = r.RingEnd = kN;
        r.PreLen = 500;
        r.uV_Div_A1 = r.uV_Div_A2 = 1'000'000;
        r.A1_Zero = 128;
        r.A2_Zero = 64;
        r.ChannelMask = 0x07;
        for (int i = 0; i < kN; ++i) {
            live.buf.A1_First[i] = live.buf.A1_Second[i] = SineCode(i);
            live.buf.A2_First[i] = live.buf.A2_Second[i] = SquareCode(i);
            live.buf.D1_First[i] = live.buf.D1_Second[i] = PatternBit(i);
        }
        live.buf.filled = kN;
        RecomputeGeometry(d, 540, 400);
        DrawFrameScreen(d, st, true);
    }
    QRgb At(int x, int y) const { return d.ScreenBitmap.pixel(x, y); }
    QRgb Colour(int index) const { return ToRgb(st.settings.Colors[index]); }
    // Screen row of an analog code on a channel whose zero is `zero`.
    int Row(int code, int zero) const
    {
        const ScreenGeometry& g = d.g;
        const std::int64_t level = RoundHalfAway((code - zero + zero + 1) * g.PixelsPerStep);
        return g.GridTop + g.GridHeight - static_cast<int>(level);
    }
    bool ColourNear(int x, int row, QRgb colour, int rows = 2) const
    {
        for (int y = row - rows; y <= row + rows; ++y)
            if (At(x, y) == colour) return true;
        return false;
    }
};

TEST_F(ScreenRenderTest, TracesLandWhereTheirSamplesSay)
{
    const ScreenGeometry& g = d.g;
    ASSERT_EQ(g.GridLeft, 31);
    ASSERT_EQ(g.GridTop, 27);
    const double pxPerSample = 200.0 * g.DivWidth * 10 / 1e6;
    int checked = 0;
    for (int c = 10; c < g.GridWidth - 10; c += 23) {
        const int i = static_cast<int>(c / pxPerSample);
        EXPECT_TRUE(ColourNear(g.GridLeft + c, Row(SineCode(i), 128), Colour(ColorA1), 3)) << "A1 at column " << c;
        if (i % 500 > 20 && i % 500 < 480) {  // away from the square's edges
            EXPECT_TRUE(ColourNear(g.GridLeft + c, Row(SquareCode(i), 64), Colour(ColorA2))) << "A2 at column " << c;
        }
        ++checked;
    }
    EXPECT_GT(checked, 15);
    // D1 sits at the bottom: its high and low levels both appear.
    bool high = false, low = false;
    for (int y = g.GridTop + g.GridHeight - 40; y <= g.GridTop + g.GridHeight; ++y) {
        for (int c = 0; c < g.GridWidth; c += 7) {
            if (At(g.GridLeft + c, y) != Colour(ColorD1)) continue;
            (y < g.GridTop + g.GridHeight - 15 ? high : low) = true;
        }
    }
    EXPECT_TRUE(high);
    EXPECT_TRUE(low);
}

TEST_F(ScreenRenderTest, GridFrameAndBorder)
{
    const ScreenGeometry& g = d.g;
    // A vertical grid line above the traces, the frame, the border outside.
    EXPECT_EQ(At(g.GridLeft + 3 * g.DivWidth, g.GridTop + 5), Colour(ColorGrid));
    EXPECT_EQ(At(g.GridLeft - 1, g.GridTop + g.GridHeight / 2), Colour(ColorGridFrame));
    EXPECT_EQ(At(2, 2), Colour(ColorBorder));
    EXPECT_EQ(At(g.Width - 3, g.Height - 3), Colour(ColorBorder));
    // Inside a division, away from traces and ticks: the background.
    EXPECT_EQ(At(g.GridLeft + g.DivWidth / 2 + 5, g.GridTop + g.DivHeight / 2), Colour(ColorBackground));
    // No trace colour leaks above the grid.
    for (int x = g.GridLeft; x < g.GridLeft + g.GridWidth; ++x) EXPECT_NE(At(x, g.GridTop - 3), Colour(ColorA1));
}

}  // namespace
}  // namespace kr40
