#include "core/sinc_interp.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "core/rounding.h"
#include "core/sample.h"

namespace kr40 {

namespace {

using SincRows = std::array<std::array<std::int16_t, 10>, 18>;

// Columns 1..9 of rows 1..16: the windowed sin(x)/x weights for the points
// 0.9, 0.8, ..., 0.1 of a position past the left sample (left sample = row 8).
constexpr std::int16_t kWeights[16][9] = {
    {0, -1, -1, -2, -2, -2, -2, -2, -1},
    {2, 4, 6, 8, 10, 11, 11, 9, 5},
    {-7, -15, -23, -30, -36, -38, -36, -29, -17},
    {21, 44, 67, 87, 101, 105, 98, 78, 45},
    {-54, -111, -167, -213, -243, -251, -231, -182, -104},
    {121, 249, 370, 469, 532, 547, 502, 394, 224},
    {-262, -541, -808, -1034, -1185, -1233, -1152, -923, -538},
    {676, 1465, 2329, 3224, 4099, 4904, 5590, 6114, 6442},
    {6442, 6114, 5590, 4904, 4099, 3224, 2329, 1465, 676},
    {-538, -923, -1152, -1233, -1185, -1034, -808, -541, -262},
    {224, 394, 502, 547, 532, 469, 370, 249, 121},
    {-104, -182, -231, -251, -243, -213, -167, -111, -54},
    {45, 78, 98, 105, 101, 87, 67, 44, 21},
    {-17, -29, -36, -38, -36, -30, -23, -15, -7},
    {5, 9, 11, 11, 10, 8, 6, 4, 2},
    {-1, -2, -2, -2, -2, -2, -1, -1, 0},
};

// Rows 0 and 17 stay zero (the outermost taps carry no weight). Column 0 is
// the point a whole position past the left sample, i.e. the right sample
// itself (row 9), so it is the identity: 6554 there and zero elsewhere. Its
// mirror partner would be column 10 (phase 0), which InterpolateSample answers
// without the table.
constexpr SincRows BuildSincTable()
{
    SincRows t{};
    for (int p = 1; p <= 16; ++p) {
        for (int c = 1; c <= 9; ++c) {
            t[p][c] = kWeights[p - 1][c - 1];
        }
    }
    t[9][0] = 6554;
    return t;
}

// The point x past the left sample and the point x before the right sample
// are mirror images around the middle of the two, which swaps row p with row
// 17 - p and column c with column 10 - c.
constexpr bool IsMirrored(const SincRows& t)
{
    for (int p = 0; p < 18; ++p) {
        for (int c = 1; c <= 9; ++c) {
            if (t[p][c] != t[17 - p][10 - c]) {
                return false;
            }
        }
    }
    return true;
}

constexpr SincRows kSincTable = BuildSincTable();
static_assert(IsMirrored(kSincTable), "sin(x)/x weights must be mirror-symmetric");

// Extrapolated taps grow with the differences they continue. Real samples are
// small codes; this bound only keeps garbage input from overflowing.
constexpr std::int64_t kTapLimit = std::int64_t{1} << 40;

std::int64_t Saturate(std::int64_t x)
{
    return std::clamp(x, -kTapLimit, kTapLimit);
}

}  // namespace

const SincRows SincTable = kSincTable;

std::int32_t InterpolateSample(const std::int32_t* samples, int index, int phase, int count)
{
    if (samples == nullptr || index < 0 || index >= count) {
        return MissingSample;
    }
    if (phase == 0) {
        return samples[index];
    }
    if (phase < 0 || phase > 9 || index == count - 1) {
        return MissingSample;
    }

    // Taps cover positions index - 8 .. index + 9. The walk starts on the side
    // that lies inside the buffer, so extrapolation runs outwards from real
    // samples: upwards from p = 0 when index >= 8, downwards from p = 17 else.
    // A real tap updates the running value v, its first difference d1, the
    // last real first difference e and the second difference d2; a tap outside
    // the buffer or missing continues v with constant d2.
    std::int64_t taps[18];
    std::int64_t v = 0, d1 = 0, e = 0, d2 = 0;
    const bool upwards = index >= 8;
    for (int n = 0; n < 18; ++n) {
        const int p = upwards ? n : 17 - n;
        const int pos = index - 8 + p;
        const std::int32_t s = (pos >= 0 && pos < count) ? samples[pos] : MissingSample;
        if (s != MissingSample) {
            d1 = s - v;
            d2 = d1 - e;
            e = d1;
            v = s;
        } else {
            d1 = Saturate(d1 + d2);
            v = Saturate(v + d1);
        }
        taps[p] = v;
    }

    const int column = 10 - phase;
    std::int64_t acc = 0;
    for (int p = 0; p < 18; ++p) {
        acc += taps[p] * kSincTable[p][column];
    }
    const std::int64_t result = RoundHalfAway(static_cast<double>(acc * 10) * 1.5258789e-5);
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(result, std::numeric_limits<std::int32_t>::min(), MissingSample - 1));
}

}  // namespace kr40
