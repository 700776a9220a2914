#include "display/markers.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "acquisition/frame.h"
#include "state/scope_state.h"

namespace kr40 {
namespace {

// 540 x 400 paint box: GridLeft 31, GridTop 27, GridWidth 480, GridHeight 288,
// DivWidth 48, DivHeight 36; 0.96 pixels per marker unit, 1.125 per ADC step.
class MarkerFixture : public ::testing::Test {
protected:
    MarkerFixture()
    {
        d.g = ComputeGeometry(540, 400);
        s().Markers_1 = true;
        s().Markers_2 = false;
        s().CH_A1 = s().CH_A2 = true;
    }

    ScopeSettings& s() { return st.settings; }

    // Mouse events in grid coordinates (0, 0 = grid top-left).
    MouseEffect Down(int x, int y, MouseButton b = MouseButton::Left)
    {
        return MouseDown(d, st, refShown, b, d.g.GridLeft + x, d.g.GridTop + y);
    }
    MouseEffect Move(int x, int y, MouseButton b = MouseButton::Left)
    {
        return MouseMove(d, st, refShown, b, d.g.GridLeft + x, d.g.GridTop + y);
    }

    std::vector<LabelText> Readouts()
    {
        const DisplayInputs in{st, live, ref, false};
        return MarkerReadouts(in, d);
    }
    std::vector<LabelText> Measure()
    {
        const DisplayInputs in{st, live, ref, false};
        return Measurements(in, d);
    }

    ScopeState st;
    DisplayState d;
    FrameSet live, ref;
    bool refShown = false;
};

// Text at (row, column), or "<none>"; several texts there are joined with '|'.
std::string TextAt(const std::vector<LabelText>& items, int row, int column)
{
    std::string out;
    for (const LabelText& t : items) {
        if (t.row != row || t.column != column) continue;
        if (!out.empty()) out += '|';
        out += t.text;
    }
    return out.empty() ? "<none>" : out;
}

// ---- Mouse: markers ---------------------------------------------------------

using MouseMarkerTest = MarkerFixture;

TEST_F(MouseMarkerTest, SingleMarkerNearerLineMovesAndTiesMoveX)
{
    // The marker cross sits at pixels (96, 72); the click is 10 pixels right of
    // the vertical line and 10, 9 or 11 pixels below the horizontal one.
    struct Case {
        int dy;
        int target, x, y;
    } cases[] = {
        {10, DragMarkerX, 110, 64},  // tie: x moves, R(106 / 0.96)
        {9, DragMarkerY, 100, 72},   // the horizontal line is nearer: R(81 / 1.125)
        {11, DragMarkerX, 110, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dy);
        s().Marker_x = 100;
        s().Marker_y = 64;
        const MouseEffect e = Down(96 + 10, 72 + c.dy);
        EXPECT_EQ(d.dragTarget, c.target);
        EXPECT_EQ(s().Marker_x, c.x);
        EXPECT_EQ(s().Marker_y, c.y);
        EXPECT_TRUE(e.refresh);
        EXPECT_FALSE(e.apply);
    }
}

TEST_F(MouseMarkerTest, PairNearestCoordinateWinsTiesInOrder)
{
    // Click at pixel (144, 144). Marker x 75/225 and y 64/192 lie 72 pixels
    // away, x 0 and y 0 lie 144 pixels away. The winner is set from the click:
    // x R(144 / 0.96) = 150, y R(144 / 1.125) = 128.
    s().Markers_1 = false;
    s().Markers_2 = true;
    struct Case {
        std::array<int, 4> m;  // Marker1_x, Marker1_y, Marker2_x, Marker2_y
        int target;
    } cases[] = {
        {{75, 64, 225, 192}, DragMarker1X},
        {{0, 64, 225, 192}, DragMarker1Y},
        {{0, 0, 225, 192}, DragMarker2X},
        {{0, 0, 0, 192}, DragMarker2Y},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        s().Marker1_x = c.m[0];
        s().Marker1_y = c.m[1];
        s().Marker2_x = c.m[2];
        s().Marker2_y = c.m[3];
        Down(144, 144);
        EXPECT_EQ(d.dragTarget, c.target);
        std::array<int, 4> want = c.m;
        want[c.target - DragMarker1X] = (c.target == DragMarker1X || c.target == DragMarker2X) ? 150 : 128;
        EXPECT_EQ((std::array<int, 4>{s().Marker1_x, s().Marker1_y, s().Marker2_x, s().Marker2_y}), want);
    }
}

TEST_F(MouseMarkerTest, RightButtonSnapsToHalfDivisions)
{
    struct Case {
        MouseButton b;
        int x, y;
        int markerX, markerY;  // x is taken with the marker far above, y with it far left
    } cases[] = {
        {MouseButton::Right, 12, 9, 25, 16},  // DivWidth div 4 -> 24, DivHeight div 4 -> 18
        {MouseButton::Right, 11, 8, 0, 0},    // just short of the quarter: back to 0
        {MouseButton::Right, 250, 290, 250, 256},
        {MouseButton::Left, 12, 9, 13, 8},  // no snapping: R(12 / 0.96), R(9 / 1.125)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        // Vertical line far away: the horizontal line is nearer, y moves.
        s().Marker_x = 500;
        s().Marker_y = 128;
        Down(c.x, std::min(c.y, 288), c.b);
        ASSERT_EQ(d.dragTarget, DragMarkerY);
        // Moving uses the same snapping and sets the full y.
        Move(c.x, c.y, c.b);
        EXPECT_EQ(s().Marker_y, c.markerY);

        s().Marker_x = 250;
        s().Marker_y = 256;
        Down(c.x, 0, c.b);
        ASSERT_EQ(d.dragTarget, DragMarkerX);
        EXPECT_EQ(s().Marker_x, c.markerX);
    }
}

TEST_F(MouseMarkerTest, ClicksThatPickNothing)
{
    s().Marker_x = 100;
    s().Marker_y = 64;
    struct Case {
        const char* name;
        bool markers;
        int x, y;
        MouseButton b;
    } cases[] = {
        {"markers off", false, 96, 72, MouseButton::Left},
        {"below the grid", true, 96, 289, MouseButton::Left},
        {"above the grid", true, 96, -1, MouseButton::Left},
        {"middle button", true, 96, 72, MouseButton::Other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s().Markers_1 = c.markers;
        d.dragTarget = DragMarkerY;  // left over: a real mouse-down clears it
        const MouseEffect e = Down(c.x, c.y, c.b);
        if (c.b != MouseButton::Other) {
            EXPECT_EQ(d.dragTarget, DragNone);
        }
        EXPECT_FALSE(e.apply || e.refresh);
        EXPECT_EQ(s().Marker_x, 100);
        EXPECT_EQ(s().Marker_y, 64);
    }
}

// ---- Mouse: zero and trigger-level pointers ----------------------------------

using MouseZeroTest = MarkerFixture;

// Grid row of a pointer at level v: GridHeight - 1 - R(v * 1.125).
int RowOf(int v)
{
    return 287 - static_cast<int>(std::lround(v * 1.125));
}

TEST_F(MouseZeroTest, NearestZeroPointerWins)
{
    struct Case {
        const char* name;
        bool a1On, a2On, refShown;
        int a1, a2, bgA1, bgA2;  // zeros
        int clickLevel;          // click on the row of this level
        int target;
    } cases[] = {
        {"A1 nearest", true, true, false, 128, 50, 200, 220, 120, DragZeroA1},
        {"A2 nearest", true, true, false, 128, 50, 200, 220, 60, DragZeroA2},
        {"A1 and A2 tie: A1", true, true, false, 100, 100, 200, 220, 100, DragZeroA1},
        {"reference hidden is ignored", true, true, false, 128, 50, 200, 220, 205, DragZeroA1},
        {"reference shown", true, true, true, 128, 50, 200, 220, 205, DragRefZeroA1},
        {"reference A2", true, true, true, 128, 50, 200, 220, 225, DragRefZeroA2},
        {"live before reference on a tie", true, true, true, 128, 50, 128, 220, 128, DragZeroA1},
        {"A1 off: its pointers are 10000 away", false, true, true, 128, 10, 128, 220, 128, DragRefZeroA2},
        {"A1 off, far A2 still wins", false, true, false, 128, 0, 128, 128, 255, DragZeroA2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s().CH_A1 = c.a1On;
        s().CH_A2 = c.a2On;
        refShown = c.refShown;
        s().A1_Zero = c.a1;
        s().A2_Zero = c.a2;
        s().bgA1_Zero = c.bgA1;
        s().bgA2_Zero = c.bgA2;
        const MouseEffect e = Down(-5, RowOf(c.clickLevel));
        EXPECT_EQ(d.dragTarget, c.target);
        // Live zeros go to the instrument, reference zeros only redraw.
        const bool live = c.target == DragZeroA1 || c.target == DragZeroA2;
        EXPECT_EQ(e.apply, live);
        EXPECT_EQ(e.refresh, !live);
    }
}

TEST_F(MouseZeroTest, ZeroOutsideGridGoesToTheEndAndLevelFollows)
{
    // Above the grid A1 (row 143) is nearer, below it A2 (row 231).
    struct Case {
        int y;
        int a1Zero, a2Zero;
        double levA1, levA2;
    } cases[] = {
        {-5, 255, 50, 140.0 + 127, 70.0},
        {291, 128, 0, 140.0, 70.0 - 50},
        {RowOf(128), 128, 50, 140.0, 70.0},  // on the pointer: unchanged
        {RowOf(128) - 9, 136, 50, 148.0, 70.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.y);
        s().A1_Zero = 128;
        s().A2_Zero = 50;
        s().Lev_A1 = 140.0;
        s().Lev_A2 = 70.0;
        Down(-5, c.y);
        EXPECT_EQ(s().A1_Zero, c.a1Zero);
        EXPECT_EQ(s().A2_Zero, c.a2Zero);
        EXPECT_DOUBLE_EQ(s().Lev_A1, c.levA1);
        EXPECT_DOUBLE_EQ(s().Lev_A2, c.levA2);
    }
}

TEST_F(MouseZeroTest, DraggingReferenceZeroMovesReferenceLevel)
{
    refShown = true;
    s().A1_Zero = 20;
    s().A2_Zero = 30;
    s().bgA1_Zero = 100;
    s().bgLev_A1 = 110.5;
    s().Lev_A1 = 5;
    Down(-5, RowOf(100));
    ASSERT_EQ(d.dragTarget, DragRefZeroA1);

    // The drag clamps to the grid: the top row is 255, the bottom row 0.
    MouseEffect e = Move(-40, -30);
    EXPECT_EQ(s().bgA1_Zero, 255);
    EXPECT_DOUBLE_EQ(s().bgLev_A1, 265.5);
    EXPECT_TRUE(e.refresh);
    EXPECT_FALSE(e.apply);
    e = Move(-40, 500);
    EXPECT_EQ(s().bgA1_Zero, 0);
    EXPECT_DOUBLE_EQ(s().bgLev_A1, 10.5);
    EXPECT_EQ(s().A1_Zero, 20);
    EXPECT_DOUBLE_EQ(s().Lev_A1, 5);
}

TEST_F(MouseZeroTest, TriggerLevelRightOfGrid)
{
    struct Case {
        const char* name;
        bool a1On, a2On;
        double levA1, levA2;
        int y;
        int target;
        double level;  // new value of the chosen level
    } cases[] = {
        // Lev_A1 100.4 counts as 100 (row 174); the level comes from the row.
        {"A1 on its pointer", true, true, 100.4, 200, 174, DragLevelA1, 100.0},
        {"tie: A1", true, true, 100, 100, 174, DragLevelA1, 100.0},
        {"A2 strictly nearer", true, true, 100, 110, 165, DragLevelA2, 108.0},
        {"A1 off", false, true, 100, 250, 174, DragLevelA2, 100.0},
        {"levels clamp to 0..255 before measuring", true, true, 300, 250, 0, DragLevelA1, 255.0},
        {"above the grid", true, true, 100, 200, -3, DragLevelA2, 255.0},
        {"below the grid", true, true, 100, 200, 288, DragLevelA1, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s().CH_A1 = c.a1On;
        s().CH_A2 = c.a2On;
        s().Lev_A1 = c.levA1;
        s().Lev_A2 = c.levA2;
        const MouseEffect e = Down(485, c.y);
        EXPECT_EQ(d.dragTarget, c.target);
        EXPECT_DOUBLE_EQ(c.target == DragLevelA1 ? s().Lev_A1 : s().Lev_A2, c.level);
        EXPECT_DOUBLE_EQ(c.target == DragLevelA1 ? s().Lev_A2 : s().Lev_A1,
                         c.target == DragLevelA1 ? c.levA2 : c.levA1);
        EXPECT_TRUE(e.apply);
    }
}

TEST_F(MouseZeroTest, BesideGridWithAnalogOffFallsToMarkers)
{
    s().CH_A1 = s().CH_A2 = false;
    s().A1_Zero = 128;
    s().Marker_x = 250;
    s().Marker_y = 128;
    Down(-5, 144);
    EXPECT_EQ(d.dragTarget, DragMarkerY);
    EXPECT_EQ(s().A1_Zero, 128);
}

// ---- Mouse: move, up, double click --------------------------------------------

using MouseMoveTest = MarkerFixture;

TEST_F(MouseMoveTest, DragClampsToGridAndEndsOnMouseUp)
{
    s().Marker_x = 100;
    s().Marker_y = 200;
    Down(96, 100);  // nearer to the vertical line
    ASSERT_EQ(d.dragTarget, DragMarkerX);
    EXPECT_TRUE(Move(900, 100).refresh);
    EXPECT_EQ(s().Marker_x, 500);
    Move(-60, 100);
    EXPECT_EQ(s().Marker_x, 0);
    Move(240, -50);
    EXPECT_EQ(s().Marker_x, 250);
    EXPECT_EQ(s().Marker_y, 200);  // only the picked coordinate moves

    // No button held: nothing moves.
    EXPECT_FALSE(Move(120, 100, MouseButton::Other).refresh);
    EXPECT_EQ(s().Marker_x, 250);

    const MouseEffect up = MouseUp(d, st, refShown, MouseButton::Left, 0, 0);
    EXPECT_TRUE(up.refresh);
    EXPECT_EQ(d.dragTarget, DragNone);
    EXPECT_FALSE(Move(0, 0).refresh);
    EXPECT_EQ(s().Marker_x, 250);

    // The y drag clamps to 0..GridHeight: R(288 / 1.125) = 256.
    Down(0, 225);
    ASSERT_EQ(d.dragTarget, DragMarkerY);
    Move(100, 1000);
    EXPECT_EQ(s().Marker_y, 256);
    Move(100, -1000);
    EXPECT_EQ(s().Marker_y, 0);
}

TEST_F(MouseMoveTest, DoubleClickOnLabelAreasTogglesPanelsAndSwallowsNextClick)
{
    struct Case {
        const char* name;
        int y;
        bool compact, gen;
    } cases[] = {
        {"above", -10, true, false},
        {"below", 300, false, true},
        {"inside", 100, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s().Marker_x = 100;
        s().Marker_y = 64;
        Down(240, c.y);
        const MouseEffect e = DoubleClick(d);
        EXPECT_EQ(e.toggleCompact, c.compact);
        EXPECT_EQ(e.toggleGenView, c.gen);
        EXPECT_TRUE(e.refresh);
        MouseUp(d, st, refShown, MouseButton::Left, 0, 0);

        // The next mouse-down, a tie next to the marker, is swallowed once.
        const bool swallowed = c.compact || c.gen;
        Down(106, 82);
        EXPECT_EQ(s().Marker_x, swallowed ? 100 : 110) << "first click";
        EXPECT_EQ(d.dragTarget, swallowed ? DragNone : DragMarkerX);
        EXPECT_FALSE(d.swallowNextClick);
        Down(106, 82);
        EXPECT_EQ(s().Marker_x, 110) << "second click";
    }
}

TEST(MarkerModeTest, MenuItemsExcludeEachOther)
{
    ScopeSettings s;
    s.Markers_1 = s.Markers_2 = false;
    SetMarkerMode(s, 1);
    EXPECT_TRUE(s.Markers_1);
    EXPECT_FALSE(s.Markers_2);
    SetMarkerMode(s, 2);
    EXPECT_FALSE(s.Markers_1);
    EXPECT_TRUE(s.Markers_2);
    SetMarkerMode(s, 2);  // unchecking leaves both off
    EXPECT_FALSE(s.Markers_1);
    EXPECT_FALSE(s.Markers_2);
}

// ---- Read-outs ---------------------------------------------------------------

class ReadoutTest : public MarkerFixture {
protected:
    ReadoutTest()
    {
        st.acq.Time_Div_ns = 1000;  // 20 ns per marker unit
        live.rec.Divider = 1;
        live.rec.FrameLen = 1000;
        live.rec.PreLen = 0;
        s().X_Pos = 0;
        s().Sel(Group::GenMode) = -1;
        s().FFT_View_A1 = s().FFT_View_A2 = false;
    }
};

TEST_F(ReadoutTest, SingleMarkerTime)
{
    struct Case {
        std::uint64_t timeDiv;
        int preLen, markerX;
        const char* t;
        const char* f;
    } cases[] = {
        {1000, 0, 50, "T = 1.0000 uS", "1/T = 1.0000 MHz"},
        {1000, 100, 45, "T = -100.00 nS", "1/T = 10.000 MHz"},  // left edge at -1000 ns
        {1000, 100, 50, "T = 0.0000 nS", "1/T = ..."},
        {45, 0, 1, "T = 0.9000 nS", "1/T = ..."},  // within 0.9 ns of the trigger
        {50, 0, 1, "T = 1.0000 nS", "1/T = 1.0000 GHz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t);
        st.acq.Time_Div_ns = c.timeDiv;
        live.rec.PreLen = c.preLen;
        s().Marker_x = c.markerX;
        const auto r = Readouts();
        EXPECT_EQ(TextAt(r, 2, Col0), c.t);
        EXPECT_EQ(TextAt(r, 2, Col6_8), c.f);
        for (const LabelText& t : r) {
            if (t.row == 2) {
                EXPECT_EQ(t.colour, s().Colors[ColorMarkers]);
            }
        }
    }
}

TEST_F(ReadoutTest, MarkerPairTimesSorted)
{
    s().Markers_1 = false;
    s().Markers_2 = true;
    s().Marker1_x = 100;  // 2 us
    s().Marker2_x = 50;   // 1 us
    auto r = Readouts();
    EXPECT_EQ(TextAt(r, 2, Col0), "T1 = 1.0000 uS");
    EXPECT_EQ(TextAt(r, 2, Col2_8), "T2 = 2.0000 uS");
    EXPECT_EQ(TextAt(r, 2, Col4_8), "dT = 1.000 uS");
    EXPECT_EQ(TextAt(r, 2, Col6_8), "1/dT = 1.000 MHz");

    s().Marker1_x = 50;
    r = Readouts();
    EXPECT_EQ(TextAt(r, 2, Col4_8), "dT = 0.000 nS");
    EXPECT_EQ(TextAt(r, 2, Col6_8), "1/dT = ...");
}

TEST(ReadoutSweepRateTest, RateAndUnknownCases)
{
    struct Case {
        int frameLen, preLen, divider;
        std::uint32_t span;
        double rate;  // NaN: unknown
    } cases[] = {
        {1000, 0, 1, 10000, 0.1},     // 1000 Hz over 1000 positions of 10 ns
        {1000, 500, 4, 10000, 0.05},  // only the post-trigger part sweeps
        {1000, 1000, 1, 10000, NAN}, {1000, 0, 1, 0, NAN}, {1000, 0, 0, 10000, NAN},
    };
    for (const Case& c : cases) {
        FrameRecord rec{};
        rec.FrameLen = c.frameLen;
        rec.PreLen = c.preLen;
        rec.Divider = c.divider;
        rec.F_Span = c.span;
        rec.F_Val = 10000;
        if (std::isnan(c.rate)) {
            EXPECT_TRUE(std::isnan(SweepRate(rec))) << c.frameLen << " " << c.preLen;
            EXPECT_TRUE(std::isnan(SweepFrequency(rec, 0)));
        } else {
            EXPECT_DOUBLE_EQ(SweepRate(rec), c.rate);
            EXPECT_DOUBLE_EQ(SweepFrequency(rec, -5), 1000.0);
            EXPECT_DOUBLE_EQ(SweepFrequency(rec, 100), 1000.0 + 100 * c.rate);
        }
    }
}

TEST_F(ReadoutTest, SweepShowsFrequencies)
{
    s().Sel(Group::GenMode) = GenSweepMode;
    live.rec.F_Span = 10000;  // 1 kHz from 1 kHz over 1000 positions: 0.1 Hz per ns
    live.rec.F_Val = 10000;

    s().Marker_x = 50;  // 1000 ns
    auto r = Readouts();
    EXPECT_EQ(TextAt(r, 2, Col0), "F = 1.1000 KHz");
    EXPECT_EQ(TextAt(r, 2, Col6_8), "<none>");

    live.rec.PreLen = 500;  // marker before the trigger: the start frequency
    EXPECT_EQ(TextAt(Readouts(), 2, Col0), "F = 1.0000 KHz");
    live.rec.PreLen = 0;

    s().Markers_1 = false;
    s().Markers_2 = true;
    s().Marker1_x = 50;
    s().Marker2_x = 0;
    r = Readouts();
    EXPECT_EQ(TextAt(r, 2, Col0), "F1 = 1.0000 KHz");
    EXPECT_EQ(TextAt(r, 2, Col2_8), "F2 = 1.1000 KHz");
    EXPECT_EQ(TextAt(r, 2, Col4_8), "dF = 100.0 Hz");
    EXPECT_EQ(TextAt(r, 2, Col6_8), "<none>");

    // Unknown rate: every item shows its "..." form.
    live.rec.F_Span = 0;
    r = Readouts();
    EXPECT_EQ(TextAt(r, 2, Col0), "F1 = ...");
    EXPECT_EQ(TextAt(r, 2, Col2_8), "F2 = ...");
    EXPECT_EQ(TextAt(r, 2, Col4_8), "dF = ...");
    s().Markers_1 = true;
    s().Markers_2 = false;
    EXPECT_EQ(TextAt(Readouts(), 2, Col0), "F = ...");
}

TEST_F(ReadoutTest, MarkerVoltages)
{
    st.acq.uV_Div_A1 = 1000000;  // 1 V/div, 31.25 mV per step
    st.acq.uV_Div_A2 = 10000;    // 10 mV/div
    s().A1_Zero = 127;
    s().A2_Zero = 100;
    s().Marker_y = 64;  // level 191
    auto r = Readouts();
    // The value in the Markers colour, then the caption in the channel colour.
    ASSERT_EQ(TextAt(r, 3, Col6_8), "V = 2.000 V|V =");
    EXPECT_EQ(TextAt(r, 4, Col6_8), "V = 28.44 mV|V =");
    std::vector<std::uint32_t> colours;
    for (const LabelText& t : r)
        if (t.row >= 3) colours.push_back(t.colour);
    EXPECT_EQ(colours, (std::vector<std::uint32_t>{s().Colors[ColorMarkers], s().Colors[ColorA1],
                                                   s().Colors[ColorMarkers], s().Colors[ColorA2]}));

    s().Markers_1 = false;
    s().Markers_2 = true;
    s().Marker1_y = 40;
    s().Marker2_y = 8;
    r = Readouts();
    EXPECT_EQ(TextAt(r, 3, Col6_8), "dV = 1.000 V|dV =");
    EXPECT_EQ(TextAt(r, 4, Col6_8), "dV = 10.00 mV|dV =");
}

TEST_F(ReadoutTest, VoltageItemsLeftOutForSpectraAndOffChannels)
{
    st.acq.uV_Div_A1 = st.acq.uV_Div_A2 = 1000000;
    struct Case {
        const char* name;
        bool a2On, fftViewA1;
        std::array<int, 2> status;
        bool a1, a2;
    } cases[] = {
        {"both shown", true, false, {0, 0}, true, true},
        {"A2 off", false, false, {0, 0}, true, false},
        {"A1 spectrum shown", true, true, {1, 0}, false, false},
        {"A1 spectrum shown but not computed", true, true, {2, 0}, false, true},
        {"A2 spectrum computed", true, false, {0, 1}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s().CH_A2 = c.a2On;
        s().FFT_View_A1 = c.fftViewA1;
        d.fftStatus = c.status;
        const auto r = Readouts();
        EXPECT_EQ(TextAt(r, 3, Col6_8) != "<none>", c.a1);
        EXPECT_EQ(TextAt(r, 4, Col6_8) != "<none>", c.a2);
    }

    // The spectrum view owns row Y2; without a marker mode nothing is shown.
    d.fftStatus = {0, 0};
    d.spectrumShown = true;
    EXPECT_EQ(TextAt(Readouts(), 2, Col0), "<none>");
    d.spectrumShown = false;
    s().Markers_1 = s().Markers_2 = false;
    EXPECT_TRUE(Readouts().empty());
}

// ---- Measurements ------------------------------------------------------------

class MeasureTest : public MarkerFixture {
protected:
    MeasureTest()
    {
        s().Measure = true;
        acq.uV_Div_A1 = 1000000;  // 31250 uV per step
        acq.uV_Div_A2 = 1000000;
        ctx.acq = &acq;
        ctx.A1_Zero = 120;
        ctx.A2_Zero = 128;
    }

    // Decodes a normal frame (pair = false) or a peak-detect frame of n
    // payload samples with the given analog channels.
    void Decode(unsigned mask, int n, bool pair, int (*a1)(int), int (*a2)(int), std::uint8_t state = 0,
                unsigned eventCount = 0)
    {
        acq.Smpl_N = n;
        std::array<std::uint8_t, 128> status{};
        status[0x00] = state;
        status[0x01] = pair ? 0x01 : 0x00;
        status[0x1C] = static_cast<std::uint8_t>(mask);
        status[0x0A] = static_cast<std::uint8_t>(n);
        status[0x0B] = static_cast<std::uint8_t>(n >> 8);
        status[0x10] = static_cast<std::uint8_t>(eventCount);
        status[0x11] = static_cast<std::uint8_t>(eventCount >> 8);
        std::vector<std::uint8_t> payload;
        for (int i = 0; i < n; ++i) {
            if (mask & 1u) payload.push_back(static_cast<std::uint8_t>(a1(i)));
            if (mask & 2u) payload.push_back(static_cast<std::uint8_t>(a2(i)));
        }
        RecorderStream rec;
        ASSERT_EQ(DecodeFrame(static_cast<std::uint8_t>(0x80 | mask), payload,
                              std::span<const std::uint8_t, 128>(status), ctx, live, rec),
                  DecodeResult::Ok);
    }

    AcqConfig acq;
    DecodeContext ctx;
};

// Square wave between codes 100 and 160: 20 steps below and 40 above the zero 120.
int Square(int i)
{
    return (i / 10) % 2 ? 160 : 100;
}
int Flat(int)
{
    return 128;
}
int Clipped(int i)
{
    return i == 7 ? 254 : 128;
}

TEST_F(MeasureTest, SquareWaveInNormalAndPeakDetectFrames)
{
    // Vpp 60 steps; mean 10 steps above the zero; RMS about the zero sqrt(1000) steps.
    Decode(0x03, 200, false, Square, Flat);
    auto r = Measure();
    EXPECT_EQ(TextAt(r, 3, Col0), "Vpp = 1.875 V");
    EXPECT_EQ(TextAt(r, 3, Col2_8), "Vdc = 312.5 mV");
    EXPECT_EQ(TextAt(r, 3, Col4_8), "Vrms = 988.2 mV");
    EXPECT_EQ(TextAt(r, 4, Col0), "Vpp = 0.000 mV");
    EXPECT_EQ(TextAt(r, 4, Col2_8), "Vdc = 0.000 mV");
    EXPECT_EQ(TextAt(r, 4, Col4_8), "Vrms = 0.000 mV");
    for (const LabelText& t : r) EXPECT_EQ(t.colour, s().Colors[t.row == 3 ? ColorA1 : ColorA2]);

    // Peak detect: every position holds the pair (100, 160); the same values
    // come out of the averaged sums, over half as many positions.
    Decode(
        0x01, 200, true, [](int i) { return i % 2 ? 160 : 100; }, Flat);
    ASSERT_EQ(live.rec.ValidLen, 100);
    r = Measure();
    EXPECT_EQ(TextAt(r, 3, Col0), "Vpp = 1.875 V");
    EXPECT_EQ(TextAt(r, 3, Col2_8), "Vdc = 312.5 mV");
    EXPECT_EQ(TextAt(r, 3, Col4_8), "Vrms = 988.2 mV");
}

TEST_F(MeasureTest, ClippedOrEmptyFrameShowsDots)
{
    Decode(0x03, 200, false, Square, Clipped);
    auto r = Measure();
    EXPECT_EQ(TextAt(r, 3, Col4_8), "Vrms = 988.2 mV");
    EXPECT_EQ(TextAt(r, 4, Col0), "Vpp = ...");
    EXPECT_EQ(TextAt(r, 4, Col2_8), "Vdc = ...");
    EXPECT_EQ(TextAt(r, 4, Col4_8), "Vrms = ...");

    live.rec = FrameRecord{};  // no frame yet
    live.rec.TrigSourceCode = 1;
    r = Measure();
    EXPECT_EQ(TextAt(r, 3, Col0), "Vpp = ...");
    EXPECT_EQ(TextAt(r, 3, Col2_8), "Vdc = ...");
    EXPECT_EQ(TextAt(r, 3, Col4_8), "Vrms = ...");
}

TEST_F(MeasureTest, VideoLineFrame)
{
    struct Case {
        const char* name;
        std::uint8_t state;  // instrument state byte: bits 3 and 4
        unsigned line;
        const char* a1;
    } cases[] = {
        {"PAL/SECAM", 0x10, 300, "PAL/SECAM N = 300"},       {"unknown standard", 0x08, 300, "N = 300"},
        {"PAL/SECAM, no line", 0x10, 0, "PAL/SECAM "},       {"unknown standard, no line", 0x08, 0, "<none>"},
        {"not a video frame", 0x00, 300, "Vrms = 988.2 mV"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Decode(0x03, 200, false, Square, Flat, c.state, c.line);
        const auto r = Measure();
        EXPECT_EQ(TextAt(r, 3, Col4_8), c.a1);
        EXPECT_EQ(TextAt(r, 3, Col0), "Vpp = 1.875 V");
        // The frame was triggered by A1: A2 keeps its RMS.
        EXPECT_EQ(TextAt(r, 4, Col4_8), "Vrms = 0.000 mV");
    }

    // NTSC on an A2-triggered frame.
    Decode(0x03, 200, false, Square, Flat);
    live.rec.TrigSourceCode = 2;
    live.rec.TrigState = 3;
    live.rec.EventCount = 17;
    const auto r = Measure();
    EXPECT_EQ(TextAt(r, 4, Col4_8), "NTSC N = 17");
    EXPECT_EQ(TextAt(r, 3, Col4_8), "Vrms = 988.2 mV");
}

TEST_F(MeasureTest, RowsShownOnlyForChannelsWithoutSpectrum)
{
    Decode(0x03, 200, false, Square, Flat);
    struct Case {
        const char* name;
        bool measure, a1On;
        std::array<int, 2> status;
        std::size_t items;
        int firstRow;
    } cases[] = {
        {"both", true, true, {0, 0}, 6, 3},
        {"Measure off", false, true, {0, 0}, 0, 0},
        {"A1 off", true, false, {0, 0}, 3, 4},
        {"A1 spectrum computed", true, true, {1, 0}, 3, 4},
        {"A1 spectrum failed", true, true, {3, 1}, 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s().Measure = c.measure;
        s().CH_A1 = c.a1On;
        d.fftStatus = c.status;
        const auto r = Measure();
        ASSERT_EQ(r.size(), c.items);
        if (!r.empty()) {
            EXPECT_EQ(r.front().row, c.firstRow);
        }
    }
}

// ---- Drawing -----------------------------------------------------------------

using MarkerDrawTest = MarkerFixture;

TEST_F(MarkerDrawTest, LinesAtMarkerPositions)
{
    const QRgb background = qRgb(0, 0, 0);
    const QRgb colour = ToRgb(s().Colors[ColorMarkers]);
    ASSERT_NE(colour, background);
    const ScreenGeometry& g = d.g;
    const auto draw = [&] {
        QImage img(g.Width, g.Height, QImage::Format_RGB32);
        img.fill(background);
        QPainter p(&img);
        DrawMarkers(p, d, s());
        return img;
    };

    // Marker (101, 63): x 31 + R(96.96) = 128, y 27 + R(70.875) = 98.
    s().Marker_x = 101;
    s().Marker_y = 63;
    QImage img = draw();
    for (int y : {g.GridTop, 98, g.GridTop + g.GridHeight}) EXPECT_EQ(img.pixel(128, y), colour) << y;
    for (int x : {g.GridLeft, 128, g.GridLeft + g.GridWidth}) EXPECT_EQ(img.pixel(x, 98), colour) << x;
    EXPECT_EQ(img.pixel(128, g.GridTop - 1), background);
    EXPECT_EQ(img.pixel(128, g.GridTop + g.GridHeight + 1), background);
    EXPECT_EQ(img.pixel(g.GridLeft - 1, 98), background);
    EXPECT_EQ(img.pixel(g.GridLeft + g.GridWidth + 1, 98), background);
    EXPECT_EQ(img.pixel(127, 97), background);

    // A pair: both crosses.
    s().Markers_1 = false;
    s().Markers_2 = true;
    s().Marker1_x = 0;
    s().Marker1_y = 0;
    s().Marker2_x = 500;
    s().Marker2_y = 256;
    img = draw();
    EXPECT_EQ(img.pixel(g.GridLeft, g.GridTop + 100), colour);
    EXPECT_EQ(img.pixel(g.GridLeft + g.GridWidth, g.GridTop + 100), colour);
    EXPECT_EQ(img.pixel(g.GridLeft + 100, g.GridTop), colour);
    EXPECT_EQ(img.pixel(g.GridLeft + 100, g.GridTop + g.GridHeight), colour);
    EXPECT_EQ(img.pixel(128, 98), background);

    s().Markers_2 = false;
    img = draw();
    EXPECT_EQ(img.pixel(g.GridLeft, g.GridTop + 100), background);
}

}  // namespace
}  // namespace kr40
