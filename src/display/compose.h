#pragma once
// The overlay pass of the screen: border, grid frame, grid and tick marks,
// the small pointers at the grid edges, the activity indicator, the label
// rows above and below the grid, and ComposeScreen, which puts them together
// on ScreenBitmap after the trace pass. Qt Gui only.
//
// Points are given in paint-box coordinates. Lines drawn from one point to
// another leave out their end point (the pen stops one pixel before it).

#include <QFont>
#include <QPainter>
#include <cstdint>
#include <vector>

#include "display/screen.h"

namespace kr40 {

struct ScopeSettings;

// "Arial" 10 px on a small screen, else "Tahoma" 13 px: labels and the
// trigger-condition flag.
QFont LabelFont(const ScreenGeometry& g);
// "Arial" 10 px: level numbers and the link statistics.
QFont SmallFont();

// The rectangle one pixel outside the grid area, in the Grid_Frame colour.
void DrawGridFrame(QPainter& p, const DisplayState& d, const ScopeSettings& s);

// Division lines and minor ticks. (x0, y0) is where the grid's top-left
// corner (GridLeft, GridTop) lands: (GridLeft, GridTop) on ScreenBitmap,
// (0, 0) on an image of the grid's size.
void DrawGrid(QPainter& p, const ScreenGeometry& g, QRgb colour, int x0, int y0);
// The grid on ScreenBitmap while it is switched on (Menu_Grid).
void DrawGrid(QPainter& p, const DisplayState& d, const ScopeSettings& s);

// The vertical line at the trigger sample (Menu_TrigPosL, time view only).
void DrawTrigPosLine(QPainter& p, const DisplayInputs& in, const DisplayState& d);

// One zero pointer at the left edge; showLevel prints the level number.
void DrawZeroPointer(QPainter& p, const ScreenGeometry& g, int zeroLevel, std::uint32_t colour,
                     std::uint32_t background, bool showLevel);
// Reference zero pointers (when the reference frame is shown), then the live
// ones of A2 and A1, for the channels that are switched on.
void DrawZeroPointers(QPainter& p, const DisplayInputs& in, const DisplayState& d, bool bgView);

// Trigger level pointers at the right edge, A2 then A1, for the channels that
// are switched on; while one is dragged (DragLevelA1, DragLevelA2) its level
// and noise-reject band are drawn across the grid.
void DrawTriggerLevelPointers(QPainter& p, const DisplayInputs& in, const DisplayState& d);

// The small triangle at the right edge; levels outside 0..255 point out of
// the grid from above or below it.
void DrawCapturedTriggerPointer(QPainter& p, const ScreenGeometry& g, int level, std::uint32_t colour);
// Captured trigger pointers of the reference frame (when shown) and the live frame.
void DrawCapturedTriggerPointers(QPainter& p, const DisplayInputs& in, const DisplayState& d, bool bgView);

// The flag at the trigger point naming the time condition that captured the
// frame (LiveTriggerFlag). Drawn by the trace pass.
void DrawTriggerConditionFlag(QPainter& p, const DisplayInputs& in, const DisplayState& d);

// The indicator above the grid's right end (Grid_Frame colour): a turning
// wheel while acquisition runs, a plain circle while stopped.
void DrawActivityIndicator(QPainter& p, DisplayState& d, const ScopeSettings& s, bool running);

// The link statistics (LinkStatisticsTexts) in the Extra_Info colour.
void DrawLinkStatistics(QPainter& p, const DisplayInputs& in, const DisplayState& d);

// Draws label texts on the label grid, opaque on the Border colour, in order.
void DrawLabels(QPainter& p, const DisplayState& d, const ScopeSettings& s, const std::vector<LabelText>& labels);

// The overlay pass on ScreenBitmap, after the trace pass: border strips, grid
// frame and activity indicator, labels (TimeLabels, then `more`: markers,
// measurements, frequency meter, spectrum), trigger pointers, zero pointers.
// bgView: the View menu's "B.G. Oscillogram" item is checked.
void ComposeScreen(DisplayState& d, const DisplayInputs& in, const std::vector<LabelText>& more, bool bgView);

}  // namespace kr40
