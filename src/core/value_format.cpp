#include "core/value_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

namespace kr40 {

namespace {

// Decade bands, smallest first. A band is taken when the magnitude is below
// its upper limit (or is NaN); the last band takes everything above 1e12.
struct Band {
    double upper;       // exclusive upper limit of the magnitude, base units
    double scale;       // factor from base units to the prefixed unit
    int integerDigits;  // integer digits a value in this band has
    int column;         // index into KindInfo::units
};

constexpr double kNoLimit = std::numeric_limits<double>::infinity();

constexpr std::array<Band, 16> kBands{{
    {0.01, 1000.0, 1, 0},
    {0.1, 1000.0, 2, 0},
    {1.0, 1000.0, 3, 0},
    {10.0, 1.0, 1, 1},
    {100.0, 1.0, 2, 1},
    {1e3, 1.0, 3, 1},
    {1e4, 0.001, 1, 2},
    {1e5, 0.001, 2, 2},
    {1e6, 0.001, 3, 2},
    {1e7, 1e-6, 1, 3},
    {1e8, 1e-6, 2, 3},
    {1e9, 1e-6, 3, 3},
    {1e10, 1e-9, 1, 4},
    {1e11, 1e-9, 2, 4},
    {1e12, 1e-9, 3, 4},
    {kNoLimit, 1e-9, 3, 4},  // beyond 1e12 the largest prefix stays
}};

// Units per kind, smallest prefix first, and the lowest band the kind may use:
// times never go below "nS", voltages never below "mV".
struct KindInfo {
    std::array<std::string_view, 5> units;
    std::size_t firstBand;
};

constexpr std::array<KindInfo, 6> kKinds{{
    {{"pS", "nS", "uS", "mS", "S"}, 3},
    {{"nV", "uV", "mV", "V", "KV"}, 6},
    {{"mHz", "Hz", "KHz", "MHz", "GHz"}, 0},
    {{"fF", "pF", "nF", "uF", "mF"}, 0},
    {{"pH", "nH", "uH", "mH", "H"}, 0},
    {{"mOhm", "Ohm", "KOhm", "MOhm", "GOhm"}, 0},
}};

// Every double keeps at most 15 significant digits; 15 digits of the smallest
// subnormal reach the 338th decimal, so further decimals could only be zeros.
constexpr int kSignificantDigits = 15;
constexpr long long kMaxDecimals = 340;

// Adds one unit in the last place to a non-negative fixed-point text.
void IncrementLastDigit(std::string& text)
{
    for (std::size_t i = text.size(); i-- > 0;) {
        if (text[i] == '.') {
            continue;
        }
        if (text[i] != '9') {
            ++text[i];
            return;
        }
        text[i] = '0';
    }
    text.insert(text.begin(), '1');
}

}  // namespace

// Prints `value` with `decimals` decimals in fixed-point notation. The value is
// first taken to 15 significant digits, then rounded to `decimals` with halves
// away from zero, so 1234.5 * 0.001 (stored as 1.23449999...) prints as 1.235;
// decimals beyond the 15 significant digits are zeros. When the integer part
// would need more than 15 digits, the value prints in scientific notation with
// up to 15 significant digits and no trailing zeros ("2.5e+15"), so that the
// text stays short whatever the magnitude.
std::string FixedText(double value, int decimals)
{
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-INF" : "INF";
    }
    const double magnitude = std::fabs(value);
    const bool negative = std::signbit(value);
    char buffer[512];

    // The scientific form gives the decimal exponent after rounding to 15 digits.
    const auto sci =
        std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, kSignificantDigits - 1);
    const std::string_view sciText(buffer, static_cast<std::size_t>(sci.ptr - buffer));
    const std::size_t ePos = sciText.find('e');
    const char* expBegin = sciText.data() + ePos + 1;
    if (*expBegin == '+') {
        ++expBegin;
    }
    int exponent = 0;
    std::from_chars(expBegin, sciText.data() + sciText.size(), exponent);

    std::string text;
    if (exponent >= kSignificantDigits) {
        std::string_view mantissa = sciText.substr(0, ePos);
        while (mantissa.back() == '0') {
            mantissa.remove_suffix(1);
        }
        if (mantissa.back() == '.') {
            mantissa.remove_suffix(1);
        }
        text.reserve(mantissa.size() + 6);
        if (negative) {
            text += '-';
        }
        text += mantissa;
        text += sciText.substr(ePos);
        return text;
    }

    // Decimals that carry exactly the 15 significant digits.
    const int exactDecimals = kSignificantDigits - 1 - exponent;
    const auto fixed =
        std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::fixed, exactDecimals);
    text.assign(buffer, fixed.ptr);
    if (decimals >= exactDecimals) {
        if (exactDecimals == 0 && decimals > 0) {
            text += '.';
        }
        text.append(static_cast<std::size_t>(decimals - exactDecimals), '0');
    } else {
        const std::size_t dot = text.find('.');
        const bool roundUp = text[dot + 1 + static_cast<std::size_t>(decimals)] >= '5';
        text.resize(decimals == 0 ? dot : dot + 1 + static_cast<std::size_t>(decimals));
        if (roundUp) {
            IncrementLastDigit(text);
        }
    }

    // A value that rounds to zero carries no sign.
    const bool isZero = text.find_first_not_of("0.") == std::string::npos;
    if (negative && !isZero) {
        text.insert(text.begin(), '-');
    }
    return text;
}

namespace {

}  // namespace

std::string FormatValue(double value, UnitKind kind, int digits)
{
    const auto kindIndex = static_cast<std::size_t>(static_cast<int>(kind));
    const bool knownKind = kindIndex < kKinds.size();
    const std::size_t firstBand = knownKind ? kKinds[kindIndex].firstBand : 0;

    // The first band whose limit the magnitude does not reach; NaN stops at once.
    const double magnitude = std::fabs(value);
    std::size_t bandIndex = firstBand;
    while (bandIndex + 1 < kBands.size() && magnitude >= kBands[bandIndex].upper) {
        ++bandIndex;
    }
    const Band& band = kBands[bandIndex];

    long long decimals = digits;
    if (digits < 0) {
        decimals = std::max(0LL, -static_cast<long long>(digits) - band.integerDigits);
    }
    decimals = std::min(decimals, kMaxDecimals);

    std::string text = FixedText(value * band.scale, static_cast<int>(decimals));
    if (knownKind) {
        text += ' ';
        text += kKinds[kindIndex].units[static_cast<std::size_t>(band.column)];
    }
    return text;
}

std::string TickTimeText(std::uint32_t ticks, bool tdcClbr)
{
    const double ns = static_cast<double>(ticks) * 10.0;
    if (ticks < 100u) {
        return FormatValue(ns, UnitKind::Time, 0);
    }
    if (ticks < 100000u) {
        return FormatValue(ns, UnitKind::Time, 2);
    }
    if (ticks < 100000000u) {
        return FormatValue(ns, UnitKind::Time, 5);
    }
    return FormatValue(ns, UnitKind::Time, tdcClbr ? 8 : -8);
}

}  // namespace kr40
