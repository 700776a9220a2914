#pragma once
// The oscilloscope screen's pictures: the two off-screen bitmaps and what the
// screen keeps between frames besides the plain ScreenState (geometry, mouse,
// spectrum hooks). Everything in src/display draws with Qt Gui (QImage,
// QPainter) and nothing else of Qt; the numbers and texts it draws come from
// src/analysis.

#include <QImage>
#include <array>
#include <cstdint>

#include "analysis/screen_geometry.h"
#include "display/qt_text.h"
#include "state/scope_state.h"

namespace kr40 {

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
struct DisplayState : ScreenState {
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
};

// Resizes both bitmaps for a new paint box size and recomputes the geometry.
void RecomputeGeometry(DisplayState& d, int width, int height);

// Activity counters: every service packet turns the spokes, every data frame
// the hand (DrawActivityIndicator shows them).
void NoteServicePacket(DisplayState& d);
void NoteDataFrame(DisplayState& d);

}  // namespace kr40
