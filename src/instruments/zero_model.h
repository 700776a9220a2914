#pragma once

#include <cstdint>

namespace kr40 {

struct ScopeSettings;

// The offset DAC code that puts 0 V of channel 1 (A1) or 2 (A2) on its zero
// level at a range given in µV/div before the probe factor, from the channel's
// zero calibration record. 2048 when the record is unusable or the channel
// unknown.
std::uint32_t OffsetDacCode(const ScopeSettings& s, int channel, std::int32_t rangeUv);

inline constexpr std::uint32_t OffsetDacUncalibrated = 2048;
inline constexpr std::uint32_t OffsetDacMax = 4095;  // 12-bit DAC

}  // namespace kr40
