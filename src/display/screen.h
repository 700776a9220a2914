#pragma once
// The oscilloscope screen: geometry of the grid inside the paint box, the two
// off-screen bitmaps and what the screen keeps between frames. Everything in
// src/display draws with Qt Gui (QImage, QPainter) and nothing else of Qt.

#include <QImage>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kr40 {

struct ScopeState;
struct FrameSet;

struct ScreenGeometry {
    int Width = 0, Height = 0;  // paint box
    bool SmallScreen = false;
    int LabelLineHeight = 24;
    int GridWidth = 125, GridHeight = 64, GridLeft = 0, GridTop = 0;
    int DivWidth = 12, DivHeight = 8;
    double MarkerUnit = 0.25;     // pixels per marker unit (GridWidth × 0.002)
    double PixelsPerStep = 0.25;  // pixels per ADC step (GridHeight / 256)
};

// The grid geometry for a paint box of this size (pure).
ScreenGeometry ComputeGeometry(int width, int height);

// Label rows Y0..Y4 and the columns 0, 1/8, 2/8, 3/8, 4/8, 6/8.
struct LabelGrid {
    std::array<int, 5> row{};
    std::array<int, 6> column{};
};
enum LabelColumn { Col0 = 0, Col1_8, Col2_8, Col3_8, Col4_8, Col6_8 };
LabelGrid ComputeLabelGrid(const ScreenGeometry& g);

// One text of the label pass: drawn opaque on the Border colour, in order.
struct LabelText {
    int row;     // 0..4 = Y0..Y4
    int column;  // LabelColumn
    std::string text;
    std::uint32_t colour;  // 0x00BBGGRR
};

// Settings colours (0x00BBGGRR) as Qt pixel values (0xAARRGGBB, opaque).
inline QRgb ToRgb(std::uint32_t bgr)
{
    return qRgb(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}
inline QColor ToQColor(std::uint32_t bgr)
{
    return QColor(ToRgb(bgr));
}

inline constexpr std::uint32_t EmptyColour = 0x010101;  // the colour of the empty persistence tag

// Tags of the persistence layer: 0 empty (transparent); 16k + i + 1 channel
// k's palette step i (i = 0..14); kTagFresh + k a pixel channel k drew since
// the last tick, kTagFreshDim + k the same in the dimmed part of a roll frame;
// kTagDrawn + k and kTagDrawn + 4 + k the same two drawn by the frame being
// rendered (the overlay turns them into the fresh ones).
inline constexpr std::uint8_t kTagEmpty = 0;
inline constexpr std::uint8_t kTagFresh = 64;
inline constexpr std::uint8_t kTagFreshDim = 68;
inline constexpr std::uint8_t kTagDrawn = 72;

// What the screen keeps between frames (user-interface thread only).
struct DisplayState {
    ScreenGeometry g;
    QImage ScreenBitmap;                  // paint box size, Format_RGB32
    QImage GridBitmap;                    // GridWidth × GridHeight, Format_Grayscale8: persistence tags
    std::array<QRgb, 256> layerColour{};  // colour of each tag (RGB, top byte clear; any byte is safe)

    // Activity indicator counters.
    int spokeCounter = 0, handCounter = 0, servicesSinceFrame = 0;

    // Persistence.
    bool persistenceReset = false;  // set by every new frame and settings change
    bool settled = true;
    int countdown = 0;
    bool persistenceTick = false;  // set by the 50 ms timer
    std::array<QRgb, 64> palette{};

    // Mouse.
    int dragTarget = 0;  // 0 none, 1..12
    bool clickAboveGrid = false, clickBelowGrid = false, swallowNextClick = false;

    // Spectrum hooks (filled by the spectrum code when it arrives): status per
    // analog channel (0 not requested, 1 computed, ...), and whether a spectrum
    // view replaces the time-domain traces.
    std::array<int, 2> fftStatus{};
    bool spectrumShown = false;
};

// Resizes both bitmaps for a new paint box size and recomputes the geometry.
void RecomputeGeometry(DisplayState& d, int width, int height);

// Everything a render or compose pass reads.
struct DisplayInputs {
    ScopeState& st;
    const FrameSet& live;
    const FrameSet& ref;
    bool refExists = false;  // a reference frame is stored
};

}  // namespace kr40
