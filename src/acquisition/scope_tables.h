#pragma once
// Fixed tables of the instrument's acquisition choices: time bases, input
// ranges, probe factors, sample counts, divisions, frame-rate limits and
// transfer rates. Every part that needs one of them walks these tables.

#include <array>
#include <cstdint>
#include <string_view>

namespace kr40 {

struct TimeBaseRow {
    const char* key;      // INI key in [Scope]; the button is "SpeedButton_" + key
    const char* caption;  // as shown on the button
    std::uint64_t ns;     // time per division
};
inline constexpr int TimeBaseCount = 27;
extern const std::array<TimeBaseRow, TimeBaseCount> TimeBases;
// Index of the 1 mS/div row (the default) and of the 100 mS/div row (the
// fastest time base that rolls when the trigger is off).
inline constexpr int TimeBase1ms = 13;
inline constexpr int TimeBase100ms = 7;

struct VoltsRow {
    const char* suffix;                  // key "A1_" + suffix, button "SpeedButton_" + suffix + "_A1"
    std::int32_t uV;                     // µV per division at probe x1
    std::uint8_t rangeCode;              // low three bits of Range_A1 / Range_A2
    std::array<const char*, 3> caption;  // at probe x1, x10, x100
};
inline constexpr int VoltsCount = 6;
extern const std::array<VoltsRow, VoltsCount> VoltsPerDiv;  // from 2 V down to 50 mV
inline constexpr int Volts1V = 1;

inline constexpr std::array<int, 3> ProbeFactors = {1, 10, 100};
inline constexpr std::array<const char*, 3> ProbeKeySuffix = {"x1", "x10", "x100"};

struct MenuChoiceRow {
    const char* key;      // INI key in [Common]
    const char* control;  // menu item
    const char* caption;  // menu caption
    int value;
};
// Samples per frame: the last row means "20000 in pair mode, else 10000".
extern const std::array<MenuChoiceRow, 4> SampleCounts;
extern const std::array<MenuChoiceRow, 5> DivisionChoices;
extern const std::array<MenuChoiceRow, 5> FrameRateChoices;     // value: Min_Period_ms
extern const std::array<MenuChoiceRow, 7> TransferRateChoices;  // value: Rate_Code

// Row of a time base by its key ("1mS"), of a volts/div range by its suffix
// ("05V"), of a divisions item by its value; -1 when there is none.
int TimeBaseIndex(std::string_view key);
int VoltsIndex(std::string_view suffix);
int DivisionIndex(int divisions);

}  // namespace kr40
