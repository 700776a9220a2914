#include "display/decoded_lane.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "analysis/screen_geometry.h"
#include "decoders/uart_decoder.h"
#include "display/qt_text.h"

namespace kr40 {
namespace {

TEST(DecodedLaneTest, TextByFormatWithTheErrors)
{
    const struct {
        DecodedChar c;
        int display;
        const char* text;
    } cases[] = {
        {{0, 0x41, 0, 0}, 0, "41"},
        {{0, 0x1FF, 0, 0}, 0, "1FF"},
        {{0, 7, 0, 0}, 0, "07"},
        {{0, 65, 0, 0}, 1, "65"},
        {{0, 0x41, 0, 0}, 2, "A"},
        {{0, 0x0D, 0, 0}, 2, "-"},
        {{0, 200, 0, 0}, 2, "-"},
        {{DecodedParityError, 0x41, 0, 0}, 2, "A PE"},
        {{DecodedStopError, 0x41, 0, 0}, 0, "41 FE"},
        {{DecodedParityError | DecodedStopError, 3, 0, 0}, 1, "3 PE FE"},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodedLaneText(c.c, c.display), c.text) << c.text;
}

// 540 x 400: grid from x 31 (480 wide), y 27 (288 high); 1.125 pixels per
// step, so the lane at code 226 has its top at 27 + 288 - 268 = 47 (code
// 238), middle 54 (232), bottom 61 (226).
TEST(DecodedLaneTest, HexagonsIdleLinesAndTheRedEndMark)
{
    const ScreenGeometry g = ComputeGeometry(540, 400);
    QImage img(g.Width, g.Height, QImage::Format_RGB32);
    img.fill(qRgb(0, 0, 0));
    const std::uint32_t green = 0x0000FF00u;
    const DecodedChar chars[] = {
        {0, 0x41, 100, 200},                 // wide: a hexagon with its text
        {DecodedStopError, 0x42, 300, 304},  // too narrow for its text: the red end mark
    };
    LanePlacement lane;
    lane.baseCode = 226;
    lane.pxPerSample = 1;  // sample i at x 31 + i
    lane.firstSample = 0;
    lane.lastValidSample = 400;
    lane.colour = green;
    lane.display = 0;
    {
        QPainter p(&img);
        DrawDecodedLane(p, g, chars, lane);
    }
    const int top = 47, middle = 54, bottom = 61;
    const QRgb pen = ToRgb(green), red = ToRgb(0x000000FFu);
    EXPECT_EQ(img.pixel(31 + 50, middle), pen);   // idle before the first character
    EXPECT_EQ(img.pixel(31 + 150, top), pen);     // its top edge
    EXPECT_EQ(img.pixel(31 + 150, bottom), pen);  // and bottom edge
    int lit = 0;                                  // the text "41" in the middle
    for (int x = 31 + 130; x < 31 + 170; ++x)
        for (int y = top + 2; y < bottom - 1; ++y) lit += img.pixel(x, y) != qRgb(0, 0, 0);
    EXPECT_GT(lit, 10);
    EXPECT_EQ(img.pixel(31 + 250, middle), pen);  // idle between
    EXPECT_EQ(img.pixel(31 + 303 - 2, (top + bottom) / 2), red);
    EXPECT_EQ(img.pixel(31 + 350, middle), pen);  // idle up to the last valid sample
    EXPECT_EQ(img.pixel(31 + 420, middle), qRgb(0, 0, 0));
}

}  // namespace
}  // namespace kr40
