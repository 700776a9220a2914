#include "analysis/screen_geometry.h"

#include <gtest/gtest.h>

namespace kr40 {
namespace {

TEST(ScreenGeometryTest, SizesAndMinimums)
{
    struct Case {
        int w, h;
        bool small;
        int gw, gh, left, top, dw, dh;
    } cases[] = {
        {540, 400, false, 480, 288, 31, 27, 48, 36}, {731, 499, false, 660, 384, 36, 28, 66, 48},
        {180, 100, true, 125, 64, 28, 0, 12, 8},  // narrow and low: the minimums hold
        {499, 300, true, 420, 224, 40, 0, 42, 28},   {500, 300, false, 440, 192, 31, 0, 44, 24},
    };
    for (const Case& c : cases) {
        const ScreenGeometry g = ComputeGeometry(c.w, c.h);
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        EXPECT_EQ(g.SmallScreen, c.small);
        EXPECT_EQ(g.LabelLineHeight, c.small ? 18 : 24);
        EXPECT_EQ(g.GridWidth, c.gw);
        EXPECT_EQ(g.GridHeight, c.gh);
        EXPECT_EQ(g.GridLeft, c.left);
        if (c.top) {
            EXPECT_EQ(g.GridTop, c.top);
        }
        EXPECT_EQ(g.DivWidth, c.dw);
        EXPECT_EQ(g.DivHeight, c.dh);
    }
}

}  // namespace
}  // namespace kr40
