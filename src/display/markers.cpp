#include "display/markers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "acquisition/frame.h"
#include "state/scope_state.h"
#include "core/rounding.h"
#include "core/value_format.h"

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
int MarkerPixelX(const ScreenGeometry& g, int mx)
{
    return Round(mx * g.MarkerUnit);
}
int MarkerPixelY(const ScreenGeometry& g, int my)
{
    return Round(my * g.PixelsPerStep);
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

bool Sweeping(const ScopeSettings& s)
{
    return s.Sel(Group::GenMode) == GenSweepMode;
}

std::uint32_t Colour(const ScopeSettings& s, int index)
{
    return s.Colors[static_cast<std::size_t>(index)];
}

}  // namespace

MouseEffect MouseDown(DisplayState& d, ScopeState& st, bool refShown, MouseButton button, int X, int Y)
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

MouseEffect MouseMove(DisplayState& d, ScopeState& st, bool /*refShown*/, MouseButton button, int X, int Y)
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

MouseEffect MouseUp(DisplayState& d, ScopeState& /*st*/, bool /*refShown*/, MouseButton /*button*/, int /*X*/,
                    int /*Y*/)
{
    d.dragTarget = DragNone;
    MouseEffect e;
    e.refresh = true;
    return e;
}

MouseEffect DoubleClick(DisplayState& d)
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

double SweepRate(const FrameRecord& rec)
{
    const int post = rec.FrameLen - rec.PreLen;
    if (post == 0 || rec.F_Span == 0 || rec.Divider == 0) return std::numeric_limits<double>::quiet_NaN();
    return (0.1 * rec.F_Span / post) / (rec.Divider * 10.0);
}

double SweepFrequency(const FrameRecord& rec, double tNs)
{
    const double rate = SweepRate(rec);
    if (std::isnan(rate)) return rate;
    const double start = 0.1 * rec.F_Val;
    return tNs <= 0 ? start : tNs * rate + start;
}

std::vector<LabelText> MarkerReadouts(const DisplayInputs& in, const DisplayState& d)
{
    std::vector<LabelText> out;
    const ScopeSettings& s = in.st.settings;
    const bool single = s.Markers_1;
    if (!single && !s.Markers_2) return out;
    const std::uint32_t markers = Colour(s, ColorMarkers);

    if (!d.spectrumShown) {
        const FrameRecord& rec = in.live.rec;
        const double t0 = static_cast<double>(rec.Divider) * (s.X_Pos - rec.PreLen) * 10.0;
        const double timeDiv = static_cast<double>(in.st.acq.Time_Div_ns);
        const auto timeAt = [&](int mx) { return timeDiv * 0.02 * mx + t0; };
        const auto put = [&](int column, std::string text) { out.push_back({2, column, std::move(text), markers}); };

        if (Sweeping(s)) {
            const bool known = !std::isnan(SweepRate(rec));
            const auto freq = [&](const char* caption, double f, int digits) {
                return std::string(caption) + (known ? FormatValue(f, UnitKind::Frequency, digits) : "...");
            };
            if (single) {
                put(Col0, freq("F = ", SweepFrequency(rec, timeAt(s.Marker_x)), -5));
            } else {
                const double t1 = std::min(timeAt(s.Marker1_x), timeAt(s.Marker2_x));
                const double t2 = std::max(timeAt(s.Marker1_x), timeAt(s.Marker2_x));
                const double f1 = SweepFrequency(rec, t1), f2 = SweepFrequency(rec, t2);
                put(Col0, freq("F1 = ", f1, -5));
                put(Col2_8, freq("F2 = ", f2, -5));
                put(Col4_8, freq("dF = ", std::fabs(f2 - f1), -4));
            }
        } else if (single) {
            const double t = timeAt(s.Marker_x);
            put(Col0, "T = " + FormatValue(t, UnitKind::Time, -5));
            put(Col6_8, std::fabs(t) > 0.9 ? "1/T = " + FormatValue(1e9 / std::fabs(t), UnitKind::Frequency, -5)
                                           : std::string("1/T = ..."));
        } else {
            const double t1 = std::min(timeAt(s.Marker1_x), timeAt(s.Marker2_x));
            const double t2 = std::max(timeAt(s.Marker1_x), timeAt(s.Marker2_x));
            put(Col0, "T1 = " + FormatValue(t1, UnitKind::Time, -5));
            put(Col2_8, "T2 = " + FormatValue(t2, UnitKind::Time, -5));
            put(Col4_8, "dT = " + FormatValue(t2 - t1, UnitKind::Time, -4));
            put(Col6_8, s.Marker1_x == s.Marker2_x ? std::string("1/dT = ...")
                                                   : "1/dT = " + FormatValue(1e9 / (t2 - t1), UnitKind::Frequency, -4));
        }
    }

    // Voltages at the markers, against the current volts per division and zero.
    for (int ch = 0; ch < 2; ++ch) {
        const bool on = ch == 0 ? s.CH_A1 : s.CH_A2;
        const bool ownSpectrum = ch == 0 ? s.FFT_View_A1 : s.FFT_View_A2;
        if (!on || ownSpectrum || d.fftStatus[static_cast<std::size_t>(1 - ch)] == 1) continue;
        const double uvDiv = ch == 0 ? in.st.acq.uV_Div_A1 : in.st.acq.uV_Div_A2;
        const int zero = ch == 0 ? s.A1_Zero : s.A2_Zero;
        const int row = 3 + ch;
        if (single) {
            const double v = uvDiv * ((255 - s.Marker_y) - zero) * 0.03125;
            out.push_back({row, Col6_8, "V = " + FormatValue(v, UnitKind::Voltage, -4), markers});
            out.push_back({row, Col6_8, "V =", Colour(s, ColorA1 + ch)});
        } else {
            const double v = uvDiv * std::abs(s.Marker1_y - s.Marker2_y) * 0.03125;
            out.push_back({row, Col6_8, "dV = " + FormatValue(v, UnitKind::Voltage, -4), markers});
            out.push_back({row, Col6_8, "dV =", Colour(s, ColorA1 + ch)});
        }
    }
    return out;
}

std::vector<LabelText> SpectrumMarkerReadouts(const DisplayInputs& /*in*/, const DisplayState& /*d*/,
                                              const SpectrumMarkerScale& /*scale*/)
{
    return {};
}

std::vector<LabelText> Measurements(const DisplayInputs& in, const DisplayState& d)
{
    std::vector<LabelText> out;
    const ScopeSettings& s = in.st.settings;
    if (!s.Measure) return out;
    const FrameRecord& rec = in.live.rec;
    const int n = rec.ValidLen;

    for (int ch = 0; ch < 2; ++ch) {
        const bool on = ch == 0 ? s.CH_A1 : s.CH_A2;
        if (!on || d.fftStatus[static_cast<std::size_t>(ch)] == 1) continue;
        const int row = 3 + ch;
        const std::uint32_t colour = Colour(s, ColorA1 + ch);
        const double uvPerStep = (ch == 0 ? rec.uV_Div_A1 : rec.uV_Div_A2) * 8 * 0.00390625;
        const int p = ch == 0 ? rec.PeakToPeakA1 : rec.PeakToPeakA2;
        const double sum = ch == 0 ? rec.SumA1 : rec.SumA2;
        const double sumSq = ch == 0 ? rec.SumSqA1 : rec.SumSqA2;  // about the frame's zero
        const int zero = ch == 0 ? rec.A1_Zero : rec.A2_Zero;
        const bool valid = n >= 1 && p >= 0;

        out.push_back(
            {row, Col0, valid ? "Vpp = " + FormatValue(p * uvPerStep, UnitKind::Voltage, -4) : "Vpp = ...", colour});
        out.push_back(
            {row, Col2_8,
             valid ? "Vdc = " + FormatValue((sum / n - zero) * uvPerStep, UnitKind::Voltage, -4) : "Vdc = ...",
             colour});

        // A video-line frame triggered on this channel tells its standard and line instead.
        const int kind = rec.TrigState;
        if (rec.TrigSourceCode == ch + 1 && kind >= 1 && kind <= 3) {
            std::string text = kind == 2 ? "PAL/SECAM " : kind == 3 ? "NTSC " : "";
            if (rec.EventCount != 0) text += "N = " + std::to_string(rec.EventCount);
            if (!text.empty()) out.push_back({row, Col4_8, std::move(text), colour});
        } else {
            out.push_back({row, Col4_8,
                           valid && sumSq >= 0
                               ? "Vrms = " + FormatValue(std::sqrt(sumSq / n) * uvPerStep, UnitKind::Voltage, -4)
                               : "Vrms = ...",
                           colour});
        }
    }
    return out;
}

void DrawMarkers(QPainter& p, const DisplayState& d, const ScopeSettings& s)
{
    if (!s.Markers_1 && !s.Markers_2) return;
    const ScreenGeometry& g = d.g;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(ToQColor(Colour(s, ColorMarkers)), 0));
    // Each line covers GridHeight + 1 (GridWidth + 1) pixels, frame to frame.
    const auto cross = [&](int mx, int my) {
        const int x = g.GridLeft + MarkerPixelX(g, mx);
        const int y = g.GridTop + MarkerPixelY(g, my);
        p.drawLine(x, g.GridTop, x, g.GridTop + g.GridHeight);
        p.drawLine(g.GridLeft, y, g.GridLeft + g.GridWidth, y);
    };
    if (s.Markers_1) {
        cross(s.Marker_x, s.Marker_y);
    } else {
        cross(s.Marker1_x, s.Marker1_y);
        cross(s.Marker2_x, s.Marker2_y);
    }
    p.restore();
}

}  // namespace kr40
