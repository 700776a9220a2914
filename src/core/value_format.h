#pragma once

#include <cstdint>
#include <string>

namespace kr40 {

// Unit family of a value. Callers pass values in the family's base unit:
// ns, uV, Hz, pF, nH, Ohm.
enum class UnitKind : int {
    Time = 0,
    Voltage = 1,
    Frequency = 2,
    Capacitance = 3,
    Inductance = 4,
    Resistance = 5,
};

// Formats a value with an SI-prefixed unit, e.g. 1234.5 uV, digits -4 ->
// "1.235 mV". digits >= 0 asks for that many decimals; digits < 0 asks for
// |digits| significant digits, given the integer digits of the decade band.
// The decimal separator is always '.'. NaN prints "NAN", infinities "INF" /
// "-INF", each followed by the unit of the band they fall in. A kind outside
// UnitKind gets the number without a unit.
std::string FormatValue(double value, UnitKind kind, int digits);

// Formats a duration counted in 10 ns ticks as a time text. tdcClbr is the
// service flag that asks for eight fixed decimals on durations of a second
// and more.
std::string TickTimeText(std::uint32_t ticks, bool tdcClbr);

// A plain number with `decimals` fixed decimals and '.' as the separator,
// rounded as FormatValue rounds ("-3.14"); "NAN", "INF", "-INF" for the
// values that are not numbers.
std::string FixedText(double value, int decimals);

}  // namespace kr40
