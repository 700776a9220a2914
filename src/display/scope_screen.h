#pragma once
// The two screen passes of a hand-off, with every part wired: a full redraw
// when a frame (or a settings change) is to be drawn, and the overlay alone
// after a service packet. Both draw the state's own live and reference frames.

namespace kr40 {

struct DisplayState;
struct ScopeState;

// RenderFrame (grid, traces, markers, flag, statistics), then ComposeScreen
// with the marker read-outs and measurements. Takes the state's
// ScreenSettingsChanged as a persistence reset and clears it. `bgView`: the
// reference-trace menu item is checked.
void DrawFrameScreen(DisplayState& d, ScopeState& st, bool bgView);
// ComposeScreen alone: the indicator and the texts follow without new data.
void DrawServiceScreen(DisplayState& d, ScopeState& st, bool bgView);

}  // namespace kr40
