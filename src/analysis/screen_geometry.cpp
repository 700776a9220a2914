#include "analysis/screen_geometry.h"

#include <algorithm>

#include "acquisition/acq_config.h"
#include "acquisition/frame.h"
#include "core/rounding.h"

namespace kr40 {

namespace {

int Round(double v)
{
    return static_cast<int>(RoundHalfAway(v));
}

}  // namespace

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

int MarkerPixelX(const ScreenGeometry& g, int mx)
{
    return Round(mx * g.MarkerUnit);
}

int MarkerPixelY(const ScreenGeometry& g, int my)
{
    return Round(my * g.PixelsPerStep);
}

int LevelY(const ScreenGeometry& g, int level)
{
    return g.GridTop + Round((255 - level) * g.PixelsPerStep);
}

std::optional<int> TriggerSampleX(const ScreenGeometry& g, const FrameRecord& r, const AcqConfig& a, int firstSample)
{
    if (a.Time_Div_ns == 0) return std::nullopt;
    const double d = static_cast<double>(r.PreLen) - firstSample;
    return g.GridLeft + Round(d * g.DivWidth * r.Divider / (static_cast<double>(a.Time_Div_ns) * 0.1));
}

}  // namespace kr40
