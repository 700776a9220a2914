#pragma once

#include <cstdint>

namespace kr40 {

// Rounds to the nearest integer, halves away from zero:
// x >= 0 -> trunc(x + 0.5), x < 0 -> trunc(x - 0.5), in double arithmetic
// (so 0.49999999999999994, whose sum with 0.5 rounds to 1.0, gives 1).
// NaN gives 0; values beyond the int64 range saturate.
std::int64_t RoundHalfAway(double x);

// Rounds to the nearest integer, halves to the even neighbour. Does not depend
// on the floating-point rounding mode. NaN gives 0; values beyond the int64
// range saturate.
std::int64_t RoundNearestEven(double x);

// Dims or mixes a colour towards a background. Colours are 0x00BBGGRR; each of
// the R, G, B bytes becomes trunc(background + (colour - background) / k),
// clamped to 0..255. The top byte of the result is 0. A non-finite quotient
// (k == 0 or NaN) saturates towards its sign, or keeps the background byte
// when it is NaN.
std::uint32_t BlendColor(std::uint32_t colour, std::uint32_t background, double k);

}  // namespace kr40
