#pragma once
// Cross-hair markers and the automatic measurements: the mouse on the screen
// (markers, zero pointers, trigger-level pointers, double clicks on the
// label areas), the marker lines, and the read-out texts of the label pass.
//
// Marker positions live in the settings: x in marker units (0..500 across
// the grid, 50 per division), y in ADC steps from the grid top (0..256; the
// level of a marker is 255 - y).

#include <QPainter>
#include <vector>

#include "display/screen.h"

namespace kr40 {

struct ScopeSettings;
struct FrameRecord;

// Drag targets chosen at mouse-down and kept until mouse-up.
enum DragTarget : int {
    DragNone = 0,
    DragMarkerX = 1,
    DragMarkerY = 2,
    DragMarker1X = 3,
    DragMarker1Y = 4,
    DragMarker2X = 5,
    DragMarker2Y = 6,
    DragLevelA1 = 7,
    DragLevelA2 = 8,
    DragZeroA1 = 9,
    DragZeroA2 = 10,
    DragRefZeroA1 = 11,
    DragRefZeroA2 = 12,
};

enum class MouseButton { Left, Right, Other };

// What the window does after a mouse event: apply = ApplySettings (send to
// the instrument), refresh = RefreshSettings (redraw only). The two toggles
// flip Menu_Compact / Menu_Gen_View; the window then re-lays itself out and
// recomputes the screen geometry.
struct MouseEffect {
    bool apply = false;
    bool refresh = false;
    bool toggleCompact = false;
    bool toggleGenView = false;
};

// X, Y are paint-box coordinates. refShown: a reference frame is stored and
// Menu_BG_View is checked (its zero pointers can be picked up).
MouseEffect MouseDown(DisplayState& d, ScopeState& st, bool refShown, MouseButton button, int X, int Y);
// `button` is the button held during the move (Other when none).
MouseEffect MouseMove(DisplayState& d, ScopeState& st, bool refShown, MouseButton button, int X, int Y);
MouseEffect MouseUp(DisplayState& d, ScopeState& st, bool refShown, MouseButton button, int X, int Y);
MouseEffect DoubleClick(DisplayState& d);

// Menu_Markers_1 (which = 1) and Menu_Markers_2 (which = 2): toggles the item;
// checking one unchecks the other, and both may be off. The caller redraws.
void SetMarkerMode(ScopeSettings& s, int which);

// Generator sweep rate recorded with the frame, in Hz per ns, or NaN when it
// cannot be computed (no post-trigger positions, no span, or no divider).
double SweepRate(const FrameRecord& rec);
// Generator frequency (Hz) at time t (ns from the trigger sample) during a
// sweep; NaN when the rate is unknown.
double SweepFrequency(const FrameRecord& rec, double tNs);

// Marker read-outs of the time view: row Y2 (times, or frequencies during a
// generator sweep) and the voltage items at column 6/8 of rows Y3 (A1) and
// Y4 (A2), each voltage followed by its caption redrawn in the channel colour.
// In the spectrum view (DisplayState::spectrumShown) row Y2 belongs to
// SpectrumMarkerReadouts.
std::vector<LabelText> MarkerReadouts(const DisplayInputs& in, const DisplayState& d);

// What the spectrum view tells the marker read-outs.
struct SpectrumMarkerScale {
    int channel = 0;        // 0 A1, 1 A2: the channel whose spectrum is shown
    double zoom = 1;        // horizontal zoom
    double nyquistHz = 0;   // half the sampling frequency
    double leftEdgeHz = 0;  // frequency at the left grid edge
    double topLevel = 0;    // level of the grid top, dBV or dBm
    bool fifteenDbPerDiv = false;
};
// Marker read-outs of the spectrum view (row Y2 and the level item of the
// spectrum channel's row). Filled in together with the spectrum; empty until then.
std::vector<LabelText> SpectrumMarkerReadouts(const DisplayInputs& in, const DisplayState& d,
                                              const SpectrumMarkerScale& scale);

// Automatic measurements of the live frame (Menu_Measure): rows Y3 (A1) and
// Y4 (A2), columns 0 (Vpp), 2/8 (Vdc) and 4/8 (Vrms or the video line), in
// the channel colour. Channels with a computed spectrum are left to the
// spectrum read-outs.
std::vector<LabelText> Measurements(const DisplayInputs& in, const DisplayState& d);

// The marker lines in the Markers colour, on whatever target `p` paints.
void DrawMarkers(QPainter& p, const DisplayState& d, const ScopeSettings& s);

}  // namespace kr40
