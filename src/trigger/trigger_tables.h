#pragma once
// Trigger choices as data: noise-reject steps with their comparator half
// widths, pre-trigger items, time-range buttons.

#include <array>
#include <cstdint>

#include "core/texts.h"

namespace kr40 {

struct HystStep {
    TextPair item;  // radio item text
    int codes;      // half width of the comparator window, in sample codes
};
extern const std::array<HystStep, 10> HystSteps;

struct TimeRangeButton {
    const char* control;
    const char* caption;
    int tmult;  // one step = tmult x 10 ns
};
extern const std::array<TimeRangeButton, 6> TimeRanges;

}  // namespace kr40
