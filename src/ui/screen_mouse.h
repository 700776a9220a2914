#pragma once
// The mouse over the oscilloscope screen: markers, zero pointers and
// trigger-level pointers picked up and dragged, double clicks on the label
// areas, and the wheel stepping the time base. Plain rules on the settings
// and the screen's state; the window routes its mouse events here and does
// what the returned effect says.

#include <cstdint>

#include "analysis/screen_geometry.h"

namespace kr40 {

struct ScopeState;
struct ScopeSettings;
struct FrameRecord;

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
// Menu_BG_View is checked (its zero pointers can be picked up). The drag
// target goes to d.dragTarget (DragTarget).
MouseEffect MouseDown(ScreenState& d, ScopeState& st, bool refShown, MouseButton button, int X, int Y);
// `button` is the button held during the move (Other when none).
MouseEffect MouseMove(ScreenState& d, ScopeState& st, bool refShown, MouseButton button, int X, int Y);
MouseEffect MouseUp(ScreenState& d, ScopeState& st, bool refShown, MouseButton button, int X, int Y);
MouseEffect DoubleClick(ScreenState& d);

// Menu_Markers_1 (which = 1) and Menu_Markers_2 (which = 2): toggles the item;
// checking one unchecks the other, and both may be off. The caller redraws.
void SetMarkerMode(ScopeSettings& s, int which);

// Mouse wheel over the screen in the time view (the caller ignores it while a
// spectrum is shown): wheel up selects the next faster time base, wheel down
// the next slower one, keeping the sample under the cursor in place. The new
// first displayed sample is written to s.X_Pos only while acquisition is
// stopped; the caller then applies the settings.
struct WheelResult {
    bool handled = false;
    int newStart = 0;
};
// `timeDivNs`: the time per division before the step. A cursor outside the
// paint box is not handled.
WheelResult WheelTimeBase(ScopeSettings& s, const ScreenGeometry& g, const FrameRecord& live, int cursorX, bool wheelUp,
                          bool running, std::uint64_t timeDivNs);

// High-resolution wheels and touchpads report fractions of a notch: the
// angles add up in `pending`, and every whole notch (120 units) is one step.
// Returns the signed number of whole notches taken out of `pending`.
inline constexpr int WheelNotch = 120;
int TakeWheelNotches(int& pending, int angleDelta);

}  // namespace kr40
