#include "core/sinc_interp.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/sample.h"

namespace kr40 {
namespace {

TEST(SincTableTest, ShapeMirrorAndColumnSums)
{
    for (int c = 0; c < 10; ++c) {
        EXPECT_EQ(SincTable[0][c], 0) << c;
        EXPECT_EQ(SincTable[17][c], 0) << c;
    }
    // Column 0 picks the right-hand sample (row 9) unchanged.
    for (int p = 0; p < 18; ++p) {
        EXPECT_EQ(SincTable[p][0], p == 9 ? 6554 : 0) << p;
    }
    for (int p = 0; p < 18; ++p) {
        for (int c = 1; c <= 9; ++c) {
            EXPECT_EQ(SincTable[p][c], SincTable[17 - p][10 - c]) << p << "," << c;
        }
    }
    // Each column sums to about 65536 / 10, so that a constant comes back.
    for (int c = 0; c < 10; ++c) {
        int sum = 0;
        for (int p = 0; p < 18; ++p) sum += SincTable[p][c];
        EXPECT_GE(sum, 6552) << c;
        EXPECT_LE(sum, 6554) << c;
    }
    // Spot checks of the literal weights (rows 8 and 9 carry most of the weight).
    EXPECT_EQ(SincTable[8][1], 676);
    EXPECT_EQ(SincTable[8][9], 6442);
    EXPECT_EQ(SincTable[7][6], -1233);
    EXPECT_EQ(SincTable[16][1], -1);
}

TEST(InterpolateSampleTest, BoundsAndPhaseZero)
{
    const std::vector<std::int32_t> s = {5, 7, MissingSample, 9};
    const int n = static_cast<int>(s.size());
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(InterpolateSample(s.data(), i, 0, n), s[i]) << i;
    }
    EXPECT_EQ(InterpolateSample(s.data(), -1, 0, n), MissingSample);
    EXPECT_EQ(InterpolateSample(s.data(), n, 0, n), MissingSample);
    EXPECT_EQ(InterpolateSample(s.data(), 0, 3, 0), MissingSample);
    for (int phase = 1; phase <= 9; ++phase) {
        EXPECT_EQ(InterpolateSample(s.data(), n - 1, phase, n), MissingSample) << phase;
    }
    EXPECT_EQ(InterpolateSample(s.data(), 1, 10, n), MissingSample);
    EXPECT_EQ(InterpolateSample(s.data(), 1, -1, n), MissingSample);
}

TEST(InterpolateSampleTest, ConstantStaysConstantEverywhere)
{
    constexpr int kCount = 30;
    for (std::int32_t value : {0, 1, 127, 254, 2000}) {
        const std::vector<std::int32_t> s(kCount, value);
        for (int index = 0; index < kCount - 1; ++index) {
            for (int phase = 1; phase <= 9; ++phase) {
                ASSERT_EQ(InterpolateSample(s.data(), index, phase, kCount), value)
                    << "value " << value << " index " << index << " phase " << phase;
            }
        }
    }
}

// A step from 100 to 200 between samples 20 and 21: the value at 20 + phase/10
// rises through 150 at the half-way point. Pins the column order (phase 1
// uses column 9) and the rounding.
TEST(InterpolateSampleTest, StepResponse)
{
    std::vector<std::int32_t> s(40, 100);
    for (int i = 21; i < 40; ++i) s[i] = 200;
    const std::int32_t expected[10] = {100, 108, 117, 127, 138, 150, 162, 173, 183, 192};
    for (int phase = 0; phase <= 9; ++phase) {
        EXPECT_EQ(InterpolateSample(s.data(), 20, phase, 40), expected[phase]) << phase;
    }
}

// Taps beyond either end, and missing taps, continue the real samples with
// their second difference; on a straight line that is exact, so the result
// matches the same line interpolated well inside a longer buffer. A walk that
// started on the outside would begin from zero and bend the line.
TEST(InterpolateSampleTest, ExtrapolatedTapsContinueALine)
{
    constexpr int kCount = 40;
    constexpr int kShift = 20;
    auto line = [](int i) { return static_cast<std::int32_t>(3 * i + 10); };
    std::vector<std::int32_t> s(kCount);
    std::vector<std::int32_t> inner(kCount + 2 * kShift);
    for (int i = 0; i < kCount; ++i) s[i] = line(i);
    for (int i = 0; i < kCount + 2 * kShift; ++i) inner[i] = line(i - kShift);

    // Holes are bridged exactly once the walk has seen three real taps, i.e.
    // unless one of its first three taps is a hole.
    std::vector<std::int32_t> holes = s;
    for (int i : {4, 20, 21, 36}) holes[i] = MissingSample;
    auto walkStartsReal = [&](int index) {
        for (int k = 0; k < 3; ++k) {
            const int pos = index >= 8 ? index - 8 + k : index + 9 - k;
            if (holes[pos] == MissingSample) return false;
        }
        return true;
    };

    for (int index = 0; index < kCount - 1; ++index) {
        for (int phase = 1; phase <= 9; ++phase) {
            const std::int32_t reference =
                InterpolateSample(inner.data(), index + kShift, phase, static_cast<int>(inner.size()));
            ASSERT_EQ(InterpolateSample(s.data(), index, phase, kCount), reference)
                << "index " << index << " phase " << phase;
            if (walkStartsReal(index)) {
                ASSERT_EQ(InterpolateSample(holes.data(), index, phase, kCount), reference)
                    << "with holes, index " << index << " phase " << phase;
            }
        }
    }
    // Near the middle the line interpolates to itself within a code.
    EXPECT_NEAR(InterpolateSample(s.data(), 20, 5, kCount), 3 * 20.5 + 10, 1.0);
}

TEST(InterpolateSampleTest, GarbageInputStaysDefined)
{
    std::vector<std::int32_t> s(20, 0);
    for (int i = 0; i < 20; i += 2) s[i] = 2'000'000'000;
    s[9] = MissingSample;
    s[10] = -2'000'000'000;
    for (int index = 0; index < 19; ++index) {
        for (int phase = 1; phase <= 9; ++phase) {
            EXPECT_NE(InterpolateSample(s.data(), index, phase, 20), MissingSample);
        }
    }
}

}  // namespace
}  // namespace kr40
