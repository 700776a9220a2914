#pragma once
// Trace rendering: sample buffers to pixels (min-max bars per column, vectors,
// sin(x)/x between sparse samples, roll-mode dimming), the ageing persistence
// layer and the render pass of one frame.

#include <QImage>
#include <cstdint>
#include <functional>

#include "display/screen.h"

class QPainter;

namespace kr40 {

struct FrameRecord;
struct ScopeSettings;

// One trace for DrawTrace. Value v maps to the level
// ((v - offset) * gain + zero) * PixelsPerStep pixels above the grid bottom.
struct TraceParams {
    int drawMode = 0;                          // 0 dots, 1 vectors, 2 sin(x)/x
    int x0 = 0, y0 = 0;                        // grid origin in the target: (GridLeft, GridTop) or (0, 0)
    const std::int32_t* samples = nullptr;     // minima (or the samples)
    const std::int32_t* samplesMax = nullptr;  // maxima (or the same samples); null = samples
    int count = 0;
    QRgb colour = 0;  // written as is, top byte included
    double gain = 1.0;
    int offset = 0;
    int zero = 0;
    double pxPerSample = 1.0;
    int start = 0;                       // sample at the left edge, may be negative
    double fineShift = 0.0;              // sub-sample shift of the trigger point, in samples
    bool dimRoll = false;                // dim the part of a roll frame's ring about to be overwritten
    const FrameRecord* frame = nullptr;  // Divider, roll flag, ring position; null = none
    std::uint64_t timeDivNs = 0;         // time per division, for the dimmed length
    QRgb background = 0;                 // for the dimmed colour
    std::uint8_t tag = 0, dimTag = 0;    // written instead of colours into an 8-bit target (the persistence layer)
};

// Draws one trace straight into a 32-bit image (Format_RGB32 or ARGB32) in
// its colour, or into the 8-bit persistence layer as its tags; clipped to the
// image. Emits at most one bar and one joining line per column; the column
// work arrays are fixed-size and reused (one pair per thread).
void DrawTrace(QImage& target, const ScreenGeometry& g, const TraceParams& p);

// ---------------------------------------------------------------------------
// Persistence. GridBitmap holds one tag per pixel (kTag... in screen.h): a
// live trace writes its channel's fresh tag, every tick moves a tag one
// palette step on, and the layer is laid over the screen in the tags'
// colours (DisplayState::layerColour).

// palette[16k + i], i = 0..14: channel k's colour blended towards Background
// by 1 + 0.05 (i^2 + 1), tagged 16k + i + 1; palette[16k + 15]: the empty
// colour with tag 0. The colours of the tags 16k + i + 1 follow it.
void BuildPersistencePalette(DisplayState& d, const ScopeSettings& s);

// Takes a pending reset (when persistence is on and no spectrum is computed:
// not settled, countdown 17), then, on a timer tick, counts down (or settles
// when the countdown is over) and ages every non-empty pixel of GridBitmap by
// one palette step. A pixel drawn once is dimmed over 15 ticks and is the
// empty colour on the 16th.
void AgePersistence(DisplayState& d, const ScopeSettings& s);

// The colour the persistence layer shows at (x, y) of GridBitmap; the empty
// colour where it is transparent.
QRgb LayerColour(const DisplayState& d, int x, int y);

// Every new data frame and every settings change restarts the countdown.
void RequestPersistenceReset(DisplayState& d);

// The 50 ms persistence timer: sets the tick flag while the picture has not
// settled and returns true when a render should follow.
bool PersistenceTimerTick(DisplayState& d);

// ---------------------------------------------------------------------------
// The render pass.

// Drawing owned by other parts of the screen, called at their step on a
// QPainter over ScreenBitmap. Each may be empty. RenderFrame checks the menu
// conditions it knows (Grid, TrigPosL, Trig_T, USB_VIEW, time view); the
// others are called on every pass and decide for themselves.
struct RenderHooks {
    std::function<void(QPainter&)> grid;            // while Grid is checked
    std::function<void(QPainter&)> trigPosLine;     // while TrigPosL is checked, time view
    std::function<void(QPainter&)> decoderOverlay;  // every pass
    std::function<void(QPainter&)> triggerFlag;     // while Trig_T is checked, time view
    std::function<void(QImage&)> spectrum;          // every pass, straight into ScreenBitmap
    std::function<void(QPainter&)> markers;         // every pass
    std::function<void(QPainter&)> spectrumBanner;  // every pass
    std::function<void(QPainter&)> linkStats;       // every pass; the overlay checks its own flags
};

// Draws one frame's picture into d.ScreenBitmap (and d.GridBitmap while
// persistence is on): background, grid, reference traces, live traces D2, D1,
// A2, A1, the persistence overlay and the hooks, in that order (while
// persistence is on the live traces go into the layer first, before the
// screen is touched). Clamps the scroll position in.s.X_Pos to 0..ValidLen of
// the live frame in the time view.
// `bgView`: the reference-trace menu item is checked.
void RenderFrame(DisplayState& d, const DisplayInputs& in, const RenderHooks& hooks, bool bgView);

}  // namespace kr40
