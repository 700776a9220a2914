#pragma once
// sin(x)/x interpolation between samples with a fixed 18-tap table.

#include <array>
#include <cstdint>

namespace kr40 {

// Interpolation weights: row p (0..17) weights the sample at offset p - 8 from
// the left sample, column c (0..9) serves the point (10 - c) / 10 of a position
// past the left sample. Each column sums to about 65536 / 10.
extern const std::array<std::array<std::int16_t, 10>, 18> SincTable;

// Value at index + phase / 10 (phase 0..9) of `samples[0..count-1]`.
// - index outside 0..count-1, or phase outside 0..9: MissingSample;
// - phase 0: samples[index] unchanged;
// - index = count - 1 with phase != 0: MissingSample (nothing to the right).
// Taps outside the buffer or holding MissingSample are extrapolated from the
// real taps next to them (see the .cpp).
std::int32_t InterpolateSample(const std::int32_t* samples, int index, int phase, int count);

}  // namespace kr40
