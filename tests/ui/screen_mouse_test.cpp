#include "ui/screen_mouse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "acquisition/frame.h"
#include "acquisition/scope_tables.h"
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

    ScopeState st;
    ScreenState d;
    bool refShown = false;
};

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

// ---------------------------------------------------------------------------
// Mouse wheel over the screen: 731 x 499 gives GridLeft 36, GridWidth 660,
// DivWidth 66. Divider 1.

TEST(WheelTimeBaseTest, KeepsTheSampleUnderTheCursor)
{
    const ScreenGeometry g = ComputeGeometry(731, 499);
    ASSERT_EQ(g.GridLeft, 36);
    ASSERT_EQ(g.DivWidth, 66);
    struct Case {
        const char* name;
        const char* timeBase;
        bool up, running;
        int validLen, xPos, cursorX;
        const char* newTimeBase;
        int newStart;
    } cases[] = {
        // 1 uS -> 0.5 uS (q 2): p = 0.66 px/sample, x = 330: + 0.5 * 500.
        {"up by 2", "1uS", true, false, 10000, 1000, 366, "05uS", 1250},
        // 5 uS -> 2 uS (q 2.5): p = 0.132: + 0.6 * 2500.
        {"up by 2.5", "5uS", true, false, 10000, 1000, 366, "2uS", 2500},
        {"down by 2", "1uS", false, false, 10000, 1000, 366, "2uS", 500},
        // 2 uS -> 5 uS: p = 0.33: - 1000 * 1.5.
        {"down by 2.5", "2uS", false, false, 10000, 2000, 366, "5uS", 500},
        {"cursor right of the grid", "1uS", true, false, 10000, 1000, 720, "05uS", 1500},
        {"cursor left of the grid", "1uS", true, false, 10000, 1000, 3, "05uS", 1000},
        {"clamped to the frame", "1uS", true, false, 10000, 9900, 366, "05uS", 10000},
        {"clamped to zero", "1uS", false, false, 10000, 100, 366, "2uS", 0},
        // Frame length 9.49 divisions: shown whole from the start.
        {"short frame", "1uS", true, false, 949, 500, 366, "05uS", 0},
        {"9.5 divisions", "1uS", true, false, 950, 500, 366, "05uS", 750},
        // 20 divisions at 1 uS are 10 at 2 uS: shown whole.
        {"short after zooming out", "1uS", false, false, 2000, 1500, 366, "2uS", 0},
        {"10.5 divisions after zooming out", "1uS", false, false, 2100, 1500, 366, "2uS", 1000},
        {"fastest end", "50nS", true, false, 10000, 1000, 366, "50nS", 1000},
        {"slowest end", "20S", false, false, 10000, 1000, 366, "20S", 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopeSettings s;
        s.Sel(Group::TimeBase) = TimeBaseIndex(c.timeBase);
        s.X_Pos = c.xPos;
        FrameRecord live{};
        live.Divider = 1;
        live.ValidLen = c.validLen;
        const std::uint64_t ns = TimeBases[TimeBaseIndex(c.timeBase)].ns;
        const WheelResult r = WheelTimeBase(s, g, live, c.cursorX, c.up, c.running, ns);
        EXPECT_TRUE(r.handled);
        EXPECT_EQ(s.Sel(Group::TimeBase), TimeBaseIndex(c.newTimeBase));
        EXPECT_EQ(r.newStart, c.newStart);
        EXPECT_EQ(s.X_Pos, c.newStart);
    }
}

TEST(WheelTimeBaseTest, StartMovesOnlyWhileStopped)
{
    const ScreenGeometry g = ComputeGeometry(731, 499);
    ScopeSettings s;
    s.Sel(Group::TimeBase) = TimeBaseIndex("1uS");
    s.X_Pos = 1000;
    FrameRecord live{};
    live.Divider = 1;
    live.ValidLen = 10000;
    const WheelResult r = WheelTimeBase(s, g, live, 366, true, true, 1000);
    EXPECT_TRUE(r.handled);
    EXPECT_EQ(r.newStart, 1250);
    EXPECT_EQ(s.X_Pos, 1000);
    EXPECT_EQ(s.Sel(Group::TimeBase), TimeBaseIndex("05uS"));

    EXPECT_FALSE(WheelTimeBase(s, g, live, 731, true, false, 500).handled);  // outside the paint box
    EXPECT_EQ(s.Sel(Group::TimeBase), TimeBaseIndex("05uS"));
}

TEST(WheelNotches, SmallStepsAddUpToOneStepPerNotch)
{
    struct Case {
        std::vector<int> deltas;
        std::vector<int> notches;  // returned after each delta
        int pending;               // left at the end
    };
    const Case cases[] = {
        {{120, -120, 240}, {1, -1, 2}, 0},  // a plain wheel: one step per notch
        {{15, 15, 15, 15, 15, 15, 15, 15}, {0, 0, 0, 0, 0, 0, 0, 1}, 0},
        {{100, 100, 100}, {0, 1, 1}, 60},
        {{-40, -40, -40, -1}, {0, 0, -1, 0}, -1},
        {{90, -30, -100}, {0, 0, -1}, -10},  // turning back drops the other way's remainder
        {{0, 359}, {0, 2}, 119},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.deltas));
        int pending = 0;
        std::vector<int> got;
        for (int d : c.deltas) got.push_back(TakeWheelNotches(pending, d));
        EXPECT_EQ(got, c.notches);
        EXPECT_EQ(pending, c.pending);
    }
}

}  // namespace
}  // namespace kr40
