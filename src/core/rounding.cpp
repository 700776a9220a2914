#include "core/rounding.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace kr40 {

namespace {

constexpr double kTwoPow52 = 4503599627370496.0;  // from here on every double is an integer
constexpr double kTwoPow63 = 9223372036854775808.0;

// Handles NaN and out-of-range input; returns true when `out` holds the result.
bool RoundSpecialCase(double x, std::int64_t& out)
{
    if (std::isnan(x)) {
        out = 0;
        return true;
    }
    if (x >= kTwoPow63) {
        out = std::numeric_limits<std::int64_t>::max();
        return true;
    }
    if (x < -kTwoPow63) {
        out = std::numeric_limits<std::int64_t>::min();
        return true;
    }
    if (std::fabs(x) >= kTwoPow52) {
        out = static_cast<std::int64_t>(x);
        return true;
    }
    return false;
}

}  // namespace

std::int64_t RoundHalfAway(double x)
{
    std::int64_t result = 0;
    if (RoundSpecialCase(x, result)) {
        return result;
    }
    // Literally trunc(x +/- 0.5) in double arithmetic, as the instrument's
    // stored values and codes have always been rounded.
    return static_cast<std::int64_t>(x >= 0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5));
}

std::int64_t RoundNearestEven(double x)
{
    std::int64_t result = 0;
    if (RoundSpecialCase(x, result)) {
        return result;
    }
    // floor() and the exact subtraction ignore the current rounding mode.
    const double below = std::floor(x);
    const double fraction = x - below;
    result = static_cast<std::int64_t>(below);
    if (fraction > 0.5 || (fraction == 0.5 && (result & 1) != 0)) {
        ++result;
    }
    return result;
}

std::uint32_t BlendColor(std::uint32_t colour, std::uint32_t background, double k)
{
    std::uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int fore = static_cast<int>((colour >> shift) & 0xFFu);
        const int back = static_cast<int>((background >> shift) & 0xFFu);
        const double mixed = std::trunc(back + (fore - back) / k);
        int byte = back;
        if (mixed >= 255.0) {
            byte = 255;
        } else if (mixed <= 0.0) {
            byte = 0;
        } else if (!std::isnan(mixed)) {
            byte = static_cast<int>(mixed);
        }
        result |= static_cast<std::uint32_t>(byte) << shift;
    }
    return result;
}

}  // namespace kr40
