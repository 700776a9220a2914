#include "core/rounding.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kr40 {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

struct RoundCase {
    double x;
    std::int64_t halfAway;
    std::int64_t nearestEven;
};

constexpr RoundCase kRoundCases[] = {
    {0.5, 1, 0},
    {1.5, 2, 2},
    {2.5, 3, 2},
    {-0.5, -1, 0},
    {-1.5, -2, -2},
    {-2.5, -3, -2},
    {0.0, 0, 0},
    {-0.0, 0, 0},
    {2.4999, 2, 2},
    {2.5001, 3, 3},
    {-2.5001, -3, -3},
    // The largest double below one half: x + 0.5 rounds to 1.0 in double
    // arithmetic, and the half-away rounding is defined on that sum.
    {0.49999999999999994, 1, 0},
    {-0.49999999999999994, -1, 0},
    // Odd integers above 2^52, where x + 0.5 is no longer representable.
    {4503599627370497.0, 4503599627370497, 4503599627370497},
    {-4503599627370497.0, -4503599627370497, -4503599627370497},
    {4503599627370495.5, 4503599627370496, 4503599627370496},
    {1e300, kMax, kMax},
    {-1e300, kMin, kMin},
    {-9223372036854775808.0, kMin, kMin},
    {std::numeric_limits<double>::infinity(), kMax, kMax},
    {-std::numeric_limits<double>::infinity(), kMin, kMin},
    {std::numeric_limits<double>::quiet_NaN(), 0, 0},
};

TEST(RoundingTest, HalfAwayAndNearestEvenDifferOnlyOnTies)
{
    for (const RoundCase& c : kRoundCases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(RoundHalfAway(c.x), c.halfAway);
        EXPECT_EQ(RoundNearestEven(c.x), c.nearestEven);
    }
}

TEST(RoundingTest, NearestEvenIgnoresFloatingPointRoundingMode)
{
    const int savedMode = std::fegetround();
    for (const int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        for (const RoundCase& c : kRoundCases) {
            SCOPED_TRACE(c.x);
            EXPECT_EQ(RoundNearestEven(c.x), c.nearestEven);
        }
    }
    std::fesetround(savedMode);
}

struct BlendCase {
    std::uint32_t colour;
    std::uint32_t background;
    double k;
    std::uint32_t expected;
};

// Background bytes differ per channel (R 0x80, G 0x60, B 0x40) so that a
// mixed-up byte order shows.
constexpr BlendCase kBlendCases[] = {
    // Darker colour: the whole sum is truncated, 128 + (48 - 128) / 3 = 101.33
    // -> R 0x65 (truncating the step alone would give 0x66).
    {0x00102030, 0x00406080, 2.0, 0x00284058},
    {0x00102030, 0x00406080, 3.0, 0x00304A65},
    // Lighter colour.
    {0x00F0E0D0, 0x00406080, 2.0, 0x0098A0A8},
    {0x00F0E0D0, 0x00406080, 3.0, 0x007A8A9A},
    {0x00F0E0D0, 0x00406080, 1.0, 0x00F0E0D0},
    // k below 1 overshoots and is clamped to the byte range.
    {0x00102030, 0x00406080, 0.5, 0x00000000},
    {0x00F0E0D0, 0x00406080, 0.5, 0x00FFFFFF},
    // The top bytes of the inputs never reach the result.
    {0xFF102030, 0xAA406080, 2.0, 0x00284058},
    // k = 0 saturates each byte towards the colour; equal bytes stay.
    {0x00F06010, 0x00406080, 0.0, 0x00FF6000},
};

TEST(BlendColorTest, MixesEachByteTowardsTheBackground)
{
    for (const BlendCase& c : kBlendCases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.colour << " k=" << c.k);
        EXPECT_EQ(BlendColor(c.colour, c.background, c.k), c.expected);
    }
}

}  // namespace
}  // namespace kr40
