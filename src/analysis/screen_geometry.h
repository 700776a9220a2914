#pragma once
// Where things stand on the oscilloscope screen, without drawing anything:
// the grid inside the paint box, the label rows and columns, the texts the
// screen shows, the part of the screen's state that the mouse and the
// read-outs depend on, and the inputs of one screen pass.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kr40 {

struct ScopeSettings;
struct AcqConfig;
struct LinkShared;
struct FrameSet;
struct FrameRecord;

struct ScreenGeometry {
    int Width = 0, Height = 0;  // paint box
    bool SmallScreen = false;
    int LabelLineHeight = 24;
    int GridWidth = 125, GridHeight = 64, GridLeft = 0, GridTop = 0;
    int DivWidth = 12, DivHeight = 8;
    double MarkerUnit = 0.25;     // pixels per marker unit (GridWidth × 0.002)
    double PixelsPerStep = 0.25;  // pixels per ADC step (GridHeight / 256)
};

// The grid geometry for a paint box of this size.
ScreenGeometry ComputeGeometry(int width, int height);

// Label rows Y0..Y4 and the columns 0, 1/8, 2/8, 3/8, 4/8, 6/8.
struct LabelGrid {
    std::array<int, 5> row{};
    std::array<int, 6> column{};
};
enum LabelColumn { Col0 = 0, Col1_8, Col2_8, Col3_8, Col4_8, Col6_8 };
LabelGrid ComputeLabelGrid(const ScreenGeometry& g);

// One text of the label rows: drawn opaque on the Border colour, in order.
struct LabelText {
    int row;     // 0..4 = Y0..Y4
    int column;  // LabelColumn
    std::string text;
    std::uint32_t colour;  // 0x00BBGGRR
};

// A text at a fixed paint-box position (top of the text at y).
struct PlacedText {
    int x = 0, y = 0;
    std::string text;
};

// Marker positions live in the settings: x in marker units (0..500 across
// the grid, 50 per division), y in ADC steps from the grid top (0..256; the
// level of a marker is 255 - y). These give their pixel offsets from the
// grid's top-left corner.
int MarkerPixelX(const ScreenGeometry& g, int mx);
int MarkerPixelY(const ScreenGeometry& g, int my);

// Screen row of an ADC level on the grid (255 at the top edge).
int LevelY(const ScreenGeometry& g, int level);

// Screen column of the frame's trigger sample when `firstSample` is at the
// left grid edge; nothing without a time base.
std::optional<int> TriggerSampleX(const ScreenGeometry& g, const FrameRecord& r, const AcqConfig& a, int firstSample);

// What the mouse has picked up at mouse-down, kept until mouse-up.
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

// What the screen keeps between events apart from its pictures: the
// geometry, the mouse's drag and clicks, and the spectrum hooks.
struct ScreenState {
    ScreenGeometry g;

    // Mouse.
    int dragTarget = DragNone;
    bool clickAboveGrid = false, clickBelowGrid = false, swallowNextClick = false;

    // Spectrum hooks (filled by the spectrum code when it arrives): status per
    // analog channel (0 not requested, 1 computed, ...), and whether a spectrum
    // view replaces the time-domain traces.
    std::array<int, 2> fftStatus{};
    bool spectrumShown = false;
};

// Everything a screen pass reads. The settings are writable because the
// trace pass keeps the scroll position X_Pos within the live frame.
struct DisplayInputs {
    ScopeSettings& s;
    const AcqConfig& acq;
    const LinkShared& io;  // link counters, identity, transport, run flag
    const FrameSet& live;
    const FrameSet& ref;
    bool refExists = false;  // a reference frame is stored
};

}  // namespace kr40
