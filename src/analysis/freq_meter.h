#pragma once
// The frequency meter's read-out: the texts of label row Y1 built from the
// meter mode and one result of the instrument's meter. The screen hands in
// the newest reading of the link, a file viewer the values stored with the
// frame.

#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/screen_geometry.h"

namespace kr40 {

struct FreqMeterReading;

// One result of the meter.
struct FreqMeterValues {
    std::uint8_t status = 0;       // source code 1..10 | 0x10 frequency result | 0x20 valid
    std::uint32_t count = 0;       // edges in the gate, or events since the last counter reset
    std::uint32_t time = 0;        // gate or period time, 10 ns ticks; 0xFFFFFFFF overflow
    std::int32_t calibration = 0;  // Calibrate/Time in force, 0.2 ppm steps
};

inline constexpr std::uint8_t FmStatusFrequency = 0x10;
inline constexpr std::uint8_t FmStatusValid = 0x20;
inline constexpr std::uint32_t FmTimeOverflow = 0xFFFFFFFFu;
inline constexpr std::uint32_t FmCountOverflow = 0x7FFFFFFu;  // the counter has 27 bits

FreqMeterValues MeterValuesOf(const FreqMeterReading& r);
FreqMeterValues MeterValuesOf(const FrameRecord& r);

// The calibrated frequency of a valid frequency result in Hz, eight times the
// counted rate for the HF inputs (codes 5 and 6). Nothing unless the result
// is a valid frequency over a non-zero time with at least one full period
// (two edges) counted.
std::optional<double> MeterFrequency(const FreqMeterValues& v);

// Row Y1 while the meter is on: frequency mode puts "F(src) = " at column
// 6/8; period-and-counter mode puts "T(src) = " at 2/8 and "N(src) = " at
// 6/8. Each in the colour of the source channel; "..." where the result
// does not hold the quantity. Empty while the meter is off.
std::vector<LabelText> FreqMeterLabels(const ScopeSettings& s, const FreqMeterValues& v);

}  // namespace kr40
