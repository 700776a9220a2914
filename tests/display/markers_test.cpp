#include "display/markers.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "acquisition/scope_settings.h"

namespace kr40 {
namespace {

// 540 x 400 paint box: GridLeft 31, GridTop 27, GridWidth 480, GridHeight 288;
// 0.96 pixels per marker unit, 1.125 per ADC step.
class MarkerFixture : public ::testing::Test {
protected:
    MarkerFixture()
    {
        d.g = ComputeGeometry(540, 400);
        s().Markers_1 = true;
        s().Markers_2 = false;
    }

    ScopeSettings& s() { return settings; }

    ScopeSettings settings;
    DisplayState d;
};

// ---- Drawing -----------------------------------------------------------------

using MarkerDrawTest = MarkerFixture;

TEST_F(MarkerDrawTest, LinesAtMarkerPositions)
{
    const QRgb background = qRgb(0, 0, 0);
    const QRgb colour = ToRgb(s().Colors[ColorMarkers]);
    ASSERT_NE(colour, background);
    const ScreenGeometry& g = d.g;
    const auto draw = [&] {
        QImage img(g.Width, g.Height, QImage::Format_RGB32);
        img.fill(background);
        QPainter p(&img);
        DrawMarkers(p, d, s());
        return img;
    };

    // Marker (101, 63): x 31 + R(96.96) = 128, y 27 + R(70.875) = 98.
    s().Marker_x = 101;
    s().Marker_y = 63;
    QImage img = draw();
    for (int y : {g.GridTop, 98, g.GridTop + g.GridHeight}) EXPECT_EQ(img.pixel(128, y), colour) << y;
    for (int x : {g.GridLeft, 128, g.GridLeft + g.GridWidth}) EXPECT_EQ(img.pixel(x, 98), colour) << x;
    EXPECT_EQ(img.pixel(128, g.GridTop - 1), background);
    EXPECT_EQ(img.pixel(128, g.GridTop + g.GridHeight + 1), background);
    EXPECT_EQ(img.pixel(g.GridLeft - 1, 98), background);
    EXPECT_EQ(img.pixel(g.GridLeft + g.GridWidth + 1, 98), background);
    EXPECT_EQ(img.pixel(127, 97), background);

    // A pair: both crosses.
    s().Markers_1 = false;
    s().Markers_2 = true;
    s().Marker1_x = 0;
    s().Marker1_y = 0;
    s().Marker2_x = 500;
    s().Marker2_y = 256;
    img = draw();
    EXPECT_EQ(img.pixel(g.GridLeft, g.GridTop + 100), colour);
    EXPECT_EQ(img.pixel(g.GridLeft + g.GridWidth, g.GridTop + 100), colour);
    EXPECT_EQ(img.pixel(g.GridLeft + 100, g.GridTop), colour);
    EXPECT_EQ(img.pixel(g.GridLeft + 100, g.GridTop + g.GridHeight), colour);
    EXPECT_EQ(img.pixel(128, 98), background);

    s().Markers_2 = false;
    img = draw();
    EXPECT_EQ(img.pixel(g.GridLeft, g.GridTop + 100), background);
}

}  // namespace
}  // namespace kr40
