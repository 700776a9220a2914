#include "display/screen.h"

#include <algorithm>

#include "core/rounding.h"

namespace kr40 {

ScreenGeometry ComputeGeometry(int width, int height)
{
    ScreenGeometry g;
    g.Width = width;
    g.Height = height;
    g.SmallScreen = width < 500;
    g.LabelLineHeight = g.SmallScreen ? 18 : 24;
    g.GridWidth = std::max(125, ((width - 60) / 20) * 20);
    const int labels = static_cast<int>(RoundNearestEven(g.LabelLineHeight * 4.25));
    g.GridHeight = std::max(64, ((height - labels) / 16) * 16);
    g.GridLeft = (width - g.GridWidth) / 2 + 1;
    g.GridTop = static_cast<int>(RoundNearestEven((height - g.GridHeight) * (4.0 / 17.0) + 1.0));
    g.DivWidth = g.GridWidth / 10;
    g.DivHeight = g.GridHeight / 8;
    g.MarkerUnit = g.GridWidth * 0.002;
    g.PixelsPerStep = g.GridHeight * 0.00390625;
    return g;
}

LabelGrid ComputeLabelGrid(const ScreenGeometry& g)
{
    LabelGrid l;
    l.row[0] = (g.GridTop - 14) / 2;
    l.row[1] = g.GridTop + g.GridHeight + l.row[0] + 1;
    for (int i = 2; i < 5; ++i) l.row[i] = l.row[i - 1] + l.row[0] + 11;
    const int w8 = g.GridWidth / 8, w4 = g.GridWidth / 4;
    l.column = {g.GridLeft,           g.GridLeft + w8,     g.GridLeft + w4,
                g.GridLeft + w4 + w8, g.GridLeft + 2 * w4, g.GridLeft + 3 * w4};
    return l;
}

void RecomputeGeometry(DisplayState& d, int width, int height)
{
    d.g = ComputeGeometry(width, height);
    d.ScreenBitmap = QImage(std::max(1, width), std::max(1, height), QImage::Format_RGB32);
    d.GridBitmap = QImage(d.g.GridWidth, d.g.GridHeight, QImage::Format_Grayscale8);
    d.GridBitmap.fill(kTagEmpty);
}

}  // namespace kr40
