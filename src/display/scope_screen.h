#pragma once
// The two screen passes of a hand-off, with every part wired: a full redraw
// when a frame (or a settings change) is to be drawn, and the overlay alone
// after a service packet.

namespace kr40 {

struct DisplayState;
struct DisplayInputs;

// RenderFrame (grid, traces, markers, flag, statistics), then ComposeScreen
// with the marker read-outs and measurements. `bgView`: the reference-trace
// menu item is checked.
void DrawFrameScreen(DisplayState& d, const DisplayInputs& in, bool bgView);
// ComposeScreen alone: the indicator and the texts follow without new data.
void DrawServiceScreen(DisplayState& d, const DisplayInputs& in, bool bgView);

}  // namespace kr40
