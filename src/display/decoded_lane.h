#pragma once
// The decoded serial characters as a bus lane over the traces: an elongated
// hexagon per character with its value inside, idle lines between them, the
// errors in red.

#include <cstdint>
#include <span>
#include <string>

class QPainter;

namespace kr40 {

struct DecodedChar;
struct ScreenGeometry;

// The value as the lane shows it: HEX (display 0) as two or more upper-case
// digits, DECIMAL (1), ASCII (2) the character for codes 32..127 else "-";
// " PE" for a parity error and " FE" for a stop-bit error appended.
std::string DecodedLaneText(const DecodedChar& c, int display);

// Where the lane lies and how samples map to columns.
struct LanePlacement {
    int baseCode = 226;        // lane bottom in ADC steps above the grid bottom (top: + 12)
    double pxPerSample = 1;    // pixels per sample
    int firstSample = 0;       // sample at the grid's left edge
    int lastValidSample = 0;   // the idle line runs to this sample
    std::uint32_t colour = 0;  // 0x00BBGGRR, the channel's trace colour
    int display = 0;           // Dec_Display
};

// Draws the lane of `chars` (in time order) on the grid, clipped to it.
void DrawDecodedLane(QPainter& p, const ScreenGeometry& g, std::span<const DecodedChar> chars,
                     const LanePlacement& lane);

}  // namespace kr40
