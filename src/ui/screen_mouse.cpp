#include "ui/screen_mouse.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "acquisition/frame.h"
#include "acquisition/time_base_step.h"
#include "core/rounding.h"
#include "state/scope_state.h"

namespace kr40 {
namespace {

constexpr int FarAway = 10000;  // distance of a pointer whose channel is off

int Round(double v)
{
    return static_cast<int>(RoundHalfAway(v));
}

// Snaps a grid coordinate to half divisions (right button).
int SnapHalfDivision(int v, int division)
{
    const int half = division / 2;
    return (division / 4 + v) / half * half;
}

// Distance from grid row y to a pointer at `level` (ADC steps from the bottom).
int PointerDistance(const ScreenGeometry& g, int y, int level)
{
    return std::abs(g.GridHeight - 1 - y - Round(level * g.PixelsPerStep));
}

// Level under grid row y: 255 above the grid, 0 below it.
int LevelAt(const ScreenGeometry& g, int y)
{
    if (y > g.GridHeight - 1) return 0;
    if (y < 0) return 255;
    return Round((g.GridHeight - y) / g.PixelsPerStep) - 1;
}

int MarkerXAt(const ScreenGeometry& g, int x)
{
    return Round(x / g.MarkerUnit);
}
int MarkerYAt(const ScreenGeometry& g, int y)
{
    return Round(y / g.PixelsPerStep);
}

// Moves a zero pointer to grid row y; its trigger level follows by the same amount.
void MoveZero(const ScreenGeometry& g, int y, int& zero, double& level)
{
    const int now = LevelAt(g, y);
    level += now - zero;
    zero = now;
}

// Sets what the drag target stands for from grid coordinates x, y.
MouseEffect ApplyTarget(const ScreenGeometry& g, ScopeSettings& s, int target, int x, int y)
{
    MouseEffect e;
    switch (target) {
        case DragMarkerX:
            s.Marker_x = MarkerXAt(g, x);
            break;
        case DragMarkerY:
            s.Marker_y = MarkerYAt(g, y);
            break;
        case DragMarker1X:
            s.Marker1_x = MarkerXAt(g, x);
            break;
        case DragMarker1Y:
            s.Marker1_y = MarkerYAt(g, y);
            break;
        case DragMarker2X:
            s.Marker2_x = MarkerXAt(g, x);
            break;
        case DragMarker2Y:
            s.Marker2_y = MarkerYAt(g, y);
            break;
        case DragLevelA1:
            s.Lev_A1 = LevelAt(g, y);
            break;
        case DragLevelA2:
            s.Lev_A2 = LevelAt(g, y);
            break;
        case DragZeroA1:
            MoveZero(g, y, s.A1_Zero, s.Lev_A1);
            break;
        case DragZeroA2:
            MoveZero(g, y, s.A2_Zero, s.Lev_A2);
            break;
        case DragRefZeroA1:
            MoveZero(g, y, s.bgA1_Zero, s.bgLev_A1);
            break;
        case DragRefZeroA2:
            MoveZero(g, y, s.bgA2_Zero, s.bgLev_A2);
            break;
        default:
            return e;
    }
    if (target >= DragLevelA1 && target <= DragZeroA2)
        e.apply = true;
    else
        e.refresh = true;
    return e;
}

// Picks the nearest of the four zero pointers (ties: A1, A2, reference A1, reference A2).
int PickZero(const ScreenGeometry& g, const ScopeSettings& s, bool refShown, int y)
{
    const int dA1 = s.CH_A1 ? PointerDistance(g, y, s.A1_Zero) : FarAway;
    const int dA2 = s.CH_A2 ? PointerDistance(g, y, s.A2_Zero) : FarAway;
    const int none = std::numeric_limits<int>::max();
    const int dRefA1 = !refShown ? none : s.CH_A1 ? PointerDistance(g, y, s.bgA1_Zero) : FarAway;
    const int dRefA2 = !refShown ? none : s.CH_A2 ? PointerDistance(g, y, s.bgA2_Zero) : FarAway;
    const int dist[4] = {dA1, dA2, dRefA1, dRefA2};
    const int target[4] = {DragZeroA1, DragZeroA2, DragRefZeroA1, DragRefZeroA2};
    int best = 0;
    for (int i = 1; i < 4; ++i)
        if (dist[i] < dist[best]) best = i;
    return target[best];
}

int TriggerLevelCode(double level)
{
    return std::clamp(Round(level), 0, 255);
}

// Picks the nearer trigger-level pointer; A2 only when strictly nearer.
int PickLevel(const ScreenGeometry& g, const ScopeSettings& s, int y)
{
    const int dA1 = s.CH_A1 ? PointerDistance(g, y, TriggerLevelCode(s.Lev_A1)) : FarAway;
    const int dA2 = s.CH_A2 ? PointerDistance(g, y, TriggerLevelCode(s.Lev_A2)) : FarAway;
    return dA2 < dA1 ? DragLevelA2 : DragLevelA1;
}

// Picks the marker coordinate nearest to the click at X, Y (paint box).
int PickMarker(const ScreenGeometry& g, const ScopeSettings& s, int X, int Y)
{
    const auto dx = [&](int mx) { return std::abs(X - g.GridLeft - MarkerPixelX(g, mx)); };
    const auto dy = [&](int my) { return std::abs(Y - g.GridTop - MarkerPixelY(g, my)); };
    if (s.Markers_1) return dx(s.Marker_x) > dy(s.Marker_y) ? DragMarkerY : DragMarkerX;
    const int dist[4] = {dx(s.Marker1_x), dy(s.Marker1_y), dx(s.Marker2_x), dy(s.Marker2_y)};
    int best = 0;
    for (int i = 1; i < 4; ++i)
        if (dist[i] < dist[best]) best = i;
    return DragMarker1X + best;
}

}  // namespace

MouseEffect MouseDown(ScreenState& d, ScopeState& st, bool refShown, MouseButton button, int X, int Y)
{
    if (button == MouseButton::Other) return {};
    const ScreenGeometry& g = d.g;
    ScopeSettings& s = st.settings;
    int x = X - g.GridLeft, y = Y - g.GridTop;

    d.dragTarget = DragNone;
    if (button == MouseButton::Right) {
        x = SnapHalfDivision(x, g.DivWidth);
        y = SnapHalfDivision(y, g.DivHeight);
    }
    if (d.swallowNextClick) {
        d.swallowNextClick = false;
        return {};
    }
    const bool overGrid = X > g.GridLeft && X < g.GridLeft + g.GridWidth;
    d.clickAboveGrid = Y < g.GridTop && overGrid;
    d.clickBelowGrid = Y > g.GridTop + g.GridHeight && overGrid;

    const bool analogOn = s.CH_A1 || s.CH_A2;
    if (X < g.GridLeft && analogOn) {
        d.dragTarget = PickZero(g, s, refShown, y);
    } else if (X > g.GridLeft + g.GridWidth && analogOn) {
        d.dragTarget = PickLevel(g, s, y);
    } else if ((s.Markers_1 || s.Markers_2) && Y >= g.GridTop && Y <= g.GridTop + g.GridHeight) {
        d.dragTarget = PickMarker(g, s, X, Y);
    } else {
        return {};
    }
    return ApplyTarget(g, s, d.dragTarget, x, y);
}

MouseEffect MouseMove(ScreenState& d, ScopeState& st, bool /*refShown*/, MouseButton button, int X, int Y)
{
    if (button == MouseButton::Other || d.dragTarget == DragNone) return {};
    const ScreenGeometry& g = d.g;
    int x = X - g.GridLeft, y = Y - g.GridTop;
    if (button == MouseButton::Right) {
        x = SnapHalfDivision(x, g.DivWidth);
        y = SnapHalfDivision(y, g.DivHeight);
    }
    x = std::clamp(x, 0, g.GridWidth);
    y = std::clamp(y, 0, g.GridHeight);
    return ApplyTarget(g, st.settings, d.dragTarget, x, y);
}

MouseEffect MouseUp(ScreenState& d, ScopeState& /*st*/, bool /*refShown*/, MouseButton /*button*/, int /*X*/, int /*Y*/)
{
    d.dragTarget = DragNone;
    MouseEffect e;
    e.refresh = true;
    return e;
}

MouseEffect DoubleClick(ScreenState& d)
{
    MouseEffect e;
    e.toggleCompact = d.clickAboveGrid;
    e.toggleGenView = d.clickBelowGrid;
    if (d.clickAboveGrid || d.clickBelowGrid) d.swallowNextClick = true;
    e.refresh = true;
    return e;
}

void SetMarkerMode(ScopeSettings& s, int which)
{
    bool& mine = which == 1 ? s.Markers_1 : s.Markers_2;
    bool& other = which == 1 ? s.Markers_2 : s.Markers_1;
    mine = !mine;
    if (mine) other = false;
}

WheelResult WheelTimeBase(ScopeSettings& s, const ScreenGeometry& g, const FrameRecord& live, int cursorX, bool wheelUp,
                          bool running, std::uint64_t timeDivNs)
{
    WheelResult result{false, s.X_Pos};
    if (cursorX < 0 || cursorX >= g.Width) return result;
    result.handled = true;

    const double q = TimeBaseStep(s, wheelUp);
    if (q == 1.0) return result;  // already at the end: nothing moves

    // Pixels per sample and frame length in divisions, before the step.
    const double x = std::clamp(cursorX - g.GridLeft, 0, g.GridWidth);
    const double ticks = timeDivNs > 0 ? static_cast<double>(live.Divider) * 10 / static_cast<double>(timeDivNs) : 0;
    const double p = ticks * g.DivWidth;
    const double len = ticks * live.ValidLen;
    const int validLen = std::max(0, live.ValidLen);

    std::int64_t start = s.X_Pos;
    if (wheelUp) {
        if (p > 0) start += RoundHalfAway((1 - 1 / q) * x / p);
        start = RoundHalfAway(len) < 10 ? 0 : std::clamp<std::int64_t>(start, 0, validLen);
    } else {
        if (p > 0) start -= RoundHalfAway(x / p * (q - 1));
        start = RoundHalfAway(len / q) < 11 ? 0 : std::clamp<std::int64_t>(start, 0, validLen);
    }
    result.newStart = static_cast<int>(start);
    if (!running) s.X_Pos = result.newStart;
    return result;
}

int TakeWheelNotches(int& pending, int angleDelta)
{
    // A turn against the pending direction starts afresh rather than paying
    // off what the other direction had gathered.
    if ((pending > 0 && angleDelta < 0) || (pending < 0 && angleDelta > 0)) pending = 0;
    pending += angleDelta;
    const int notches = pending / WheelNotch;
    pending -= notches * WheelNotch;
    return notches;
}

}  // namespace kr40
