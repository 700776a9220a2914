#include "core/value_format.h"

#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cstdint>
#include <limits>
#include <string>

namespace kr40 {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct FormatCase {
    double value;
    UnitKind kind;
    int digits;
    const char* expected;
};

void ExpectFormats(const FormatCase* begin, const FormatCase* end)
{
    for (const FormatCase* c = begin; c != end; ++c) {
        SCOPED_TRACE(testing::Message() << "value " << c->value << " kind " << static_cast<int>(c->kind) << " digits "
                                        << c->digits);
        EXPECT_EQ(FormatValue(c->value, c->kind, c->digits), c->expected);
    }
}

TEST(FormatValueTest, WorkedExamples)
{
    constexpr FormatCase kCases[] = {
        {1234.5, UnitKind::Voltage, -4, "1.235 mV"},    {999.9, UnitKind::Frequency, -4, "999.9 Hz"},
        {1000.0, UnitKind::Frequency, -4, "1.000 KHz"}, {0.5, UnitKind::Time, -3, "0.50 nS"},
        {250.0, UnitKind::Voltage, -4, "0.250 mV"},     {0.005, UnitKind::Resistance, -3, "5.00 mOhm"},
        {2e12, UnitKind::Frequency, -4, "2000.0 GHz"},  {-1500.0, UnitKind::Voltage, -4, "-1.500 mV"},
        {12.345, UnitKind::Frequency, 2, "12.35 Hz"},
    };
    ExpectFormats(std::begin(kCases), std::end(kCases));
}

// Each decade limit and the value just below it, for a kind without a floor.
// With digits -4 the decimals show the integer digits the band assumes.
TEST(FormatValueTest, BandBoundariesWithoutFloor)
{
    constexpr FormatCase kCases[] = {
        {0.0, UnitKind::Frequency, -4, "0.000 mHz"},   {0.0099, UnitKind::Frequency, -4, "9.900 mHz"},
        {0.01, UnitKind::Frequency, -4, "10.00 mHz"},  {0.0999, UnitKind::Frequency, -4, "99.90 mHz"},
        {0.1, UnitKind::Frequency, -4, "100.0 mHz"},   {0.999, UnitKind::Frequency, -4, "999.0 mHz"},
        {1.0, UnitKind::Frequency, -4, "1.000 Hz"},    {9.999, UnitKind::Frequency, -4, "9.999 Hz"},
        {10.0, UnitKind::Frequency, -4, "10.00 Hz"},   {99.99, UnitKind::Frequency, -4, "99.99 Hz"},
        {100.0, UnitKind::Frequency, -4, "100.0 Hz"},  {9999.0, UnitKind::Frequency, -4, "9.999 KHz"},
        {1e4, UnitKind::Frequency, -4, "10.00 KHz"},   {99990.0, UnitKind::Frequency, -4, "99.99 KHz"},
        {1e5, UnitKind::Frequency, -4, "100.0 KHz"},   {999900.0, UnitKind::Frequency, -4, "999.9 KHz"},
        {1e6, UnitKind::Frequency, -4, "1.000 MHz"},   {1e7, UnitKind::Frequency, -4, "10.00 MHz"},
        {1e8, UnitKind::Frequency, -4, "100.0 MHz"},   {999.9e6, UnitKind::Frequency, -4, "999.9 MHz"},
        {1e9, UnitKind::Frequency, -4, "1.000 GHz"},   {1e10, UnitKind::Frequency, -4, "10.00 GHz"},
        {1e11, UnitKind::Frequency, -4, "100.0 GHz"},  {999.9e9, UnitKind::Frequency, -4, "999.9 GHz"},
        {1e12, UnitKind::Frequency, -4, "1000.0 GHz"}, {1e20, UnitKind::Frequency, -4, "100000000000.0 GHz"},
    };
    ExpectFormats(std::begin(kCases), std::end(kCases));
}

TEST(FormatValueTest, TimeAndVoltageFloors)
{
    constexpr FormatCase kCases[] = {
        {0.0, UnitKind::Time, -4, "0.000 nS"},       {0.001, UnitKind::Time, -4, "0.001 nS"},
        {0.0004, UnitKind::Time, -4, "0.000 nS"},    {9.999, UnitKind::Time, -4, "9.999 nS"},
        {10.0, UnitKind::Time, -4, "10.00 nS"},      {1e3, UnitKind::Time, -4, "1.000 uS"},
        {0.0, UnitKind::Voltage, -4, "0.000 mV"},    {1.0, UnitKind::Voltage, -4, "0.001 mV"},
        {9999.0, UnitKind::Voltage, -4, "9.999 mV"}, {1e4, UnitKind::Voltage, -4, "10.00 mV"},
        {1e6, UnitKind::Voltage, -4, "1.000 V"},
    };
    ExpectFormats(std::begin(kCases), std::end(kCases));
}

// One value per prefix column for every kind, so each unit text is checked.
TEST(FormatValueTest, UnitTextsOfEveryKind)
{
    constexpr std::array<double, 5> kValues = {0.005, 5.0, 5e3, 5e6, 5e9};
    struct KindRow {
        UnitKind kind;
        std::array<const char*, 5> expected;
    };
    constexpr KindRow kRows[] = {
        {UnitKind::Time, {"0.005 nS", "5.000 nS", "5.000 uS", "5.000 mS", "5.000 S"}},
        {UnitKind::Voltage, {"0.000 mV", "0.005 mV", "5.000 mV", "5.000 V", "5.000 KV"}},
        {UnitKind::Frequency, {"5.000 mHz", "5.000 Hz", "5.000 KHz", "5.000 MHz", "5.000 GHz"}},
        {UnitKind::Capacitance, {"5.000 fF", "5.000 pF", "5.000 nF", "5.000 uF", "5.000 mF"}},
        {UnitKind::Inductance, {"5.000 pH", "5.000 nH", "5.000 uH", "5.000 mH", "5.000 H"}},
        {UnitKind::Resistance, {"5.000 mOhm", "5.000 Ohm", "5.000 KOhm", "5.000 MOhm", "5.000 GOhm"}},
    };
    for (const KindRow& row : kRows) {
        for (std::size_t i = 0; i < kValues.size(); ++i) {
            EXPECT_EQ(FormatValue(kValues[i], row.kind, 3), row.expected[i])
                << "kind " << static_cast<int>(row.kind) << " value " << kValues[i];
        }
    }
}

TEST(FormatValueTest, DecimalsAndRounding)
{
    constexpr FormatCase kCases[] = {
        // Positive digits fix the decimals whatever the band.
        {12.345, UnitKind::Frequency, 0, "12 Hz"},
        {12.345, UnitKind::Frequency, 5, "12.34500 Hz"},
        {0.05, UnitKind::Frequency, 1, "50.0 mHz"},
        // Negative digits never go below zero decimals.
        {123.0, UnitKind::Frequency, -2, "123 Hz"},
        {123.0, UnitKind::Frequency, -3, "123 Hz"},
        // Halves round away from zero, also where the binary value sits just below.
        {2.5, UnitKind::Frequency, 0, "3 Hz"},
        {-2.5, UnitKind::Frequency, 0, "-3 Hz"},
        {1.125, UnitKind::Resistance, 2, "1.13 Ohm"},
        {2675.0, UnitKind::Capacitance, 2, "2.68 nF"},
        // The band follows the unrounded value; rounding may then carry over.
        {9.9996, UnitKind::Frequency, -4, "10.000 Hz"},
        {999.96, UnitKind::Frequency, -4, "1000.0 Hz"},
        {-9.9996, UnitKind::Frequency, -4, "-10.000 Hz"},
        // At most 15 significant digits; further decimals are zeros.
        {1.2345678901234567, UnitKind::Frequency, 20, "1.23456789012346000000 Hz"},
        {123456.78901234567, UnitKind::Frequency, 14, "123.45678901234600 KHz"},
        {0.00012345678901234567, UnitKind::Frequency, 20, "0.12345678901234600000 mHz"},
    };
    ExpectFormats(std::begin(kCases), std::end(kCases));
}

TEST(FormatValueTest, SignsOfNegativeAndZeroValues)
{
    constexpr FormatCase kCases[] = {
        {-0.05, UnitKind::Frequency, -4, "-50.00 mHz"},
        {-5e6, UnitKind::Resistance, 1, "-5.0 MOhm"},
        {-2e12, UnitKind::Frequency, -4, "-2000.0 GHz"},
        {-0.0, UnitKind::Frequency, 2, "0.00 mHz"},
        {-0.0004, UnitKind::Voltage, -4, "0.000 mV"},
        {-0.4, UnitKind::Frequency, 0, "-400 mHz"},
        {-0.4, UnitKind::Time, 0, "0 nS"},
        {-0.5, UnitKind::Time, 0, "-1 nS"},
    };
    ExpectFormats(std::begin(kCases), std::end(kCases));
}

TEST(FormatValueTest, HugeValuesSwitchToShortScientificForm)
{
    constexpr FormatCase kCases[] = {
        // Fifteen integer digits still print in full.
        {1.2345678901234567e23, UnitKind::Frequency, 3, "123456789012346.000 GHz"},
        {1e24, UnitKind::Frequency, -4, "1e+15 GHz"},
        {-3.5e30, UnitKind::Resistance, 2, "-3.5e+21 GOhm"},
        {1.2345678901234567e300, UnitKind::Time, -8, "1.23456789012346e+291 S"},
        {std::numeric_limits<double>::max(), UnitKind::Frequency, 0, "1.79769313486232e+299 GHz"},
    };
    ExpectFormats(std::begin(kCases), std::end(kCases));
}

TEST(FormatValueTest, NotANumberAndInfinityKeepTheBandUnit)
{
    constexpr FormatCase kCases[] = {
        {kNaN, UnitKind::Time, -4, "NAN nS"},       {kNaN, UnitKind::Voltage, 3, "NAN mV"},
        {kNaN, UnitKind::Frequency, -4, "NAN mHz"}, {-kNaN, UnitKind::Resistance, 0, "NAN mOhm"},
        {kInf, UnitKind::Frequency, -4, "INF GHz"}, {-kInf, UnitKind::Voltage, 2, "-INF KV"},
        {kInf, UnitKind::Time, 0, "INF S"},
    };
    ExpectFormats(std::begin(kCases), std::end(kCases));
}

TEST(FormatValueTest, ExtremeDigitRequestsStayBounded)
{
    EXPECT_EQ(FormatValue(5.0, UnitKind::Frequency, std::numeric_limits<int>::min()),
              FormatValue(5.0, UnitKind::Frequency, 340));
    EXPECT_EQ(FormatValue(5.0, UnitKind::Frequency, std::numeric_limits<int>::max()).size(),
              std::string("5.").size() + 340 + std::string(" Hz").size());
    // The smallest subnormal shows all its 15 significant digits.
    const std::string tiny = FormatValue(std::numeric_limits<double>::denorm_min(), UnitKind::Time, 340);
    const std::string tail = "49406564584124700 nS";
    ASSERT_GT(tiny.size(), tail.size());
    EXPECT_EQ(tiny.substr(tiny.size() - tail.size()), tail) << tiny;
}

TEST(FormatValueTest, DecimalPointIgnoresTheLocale)
{
    const char* const saved = std::setlocale(LC_NUMERIC, nullptr);
    const std::string savedName = saved != nullptr ? saved : "C";
    bool switched = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "ru_RU.UTF-8", "ru_RU.utf8", "fr_FR.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            switched = true;
            break;
        }
    }
    // scripts/bootstrap.sh generates de_DE.UTF-8 and ru_RU.UTF-8.
    ASSERT_TRUE(switched) << "no locale with a decimal comma is installed";
    const std::string text = FormatValue(1234.5, UnitKind::Voltage, -4);
    std::setlocale(LC_NUMERIC, savedName.c_str());
    EXPECT_EQ(text, "1.235 mV");
}

TEST(TickTimeTextTest, DecimalsFollowTheTickRange)
{
    struct TickCase {
        std::uint32_t ticks;
        const char* withoutFlag;
        const char* withFlag;
    };
    constexpr TickCase kCases[] = {
        {0, "0 nS", "0 nS"},
        {1, "10 nS", "10 nS"},
        {99, "990 nS", "990 nS"},
        {100, "1.00 uS", "1.00 uS"},
        {99999, "999.99 uS", "999.99 uS"},
        {100000, "1.00000 mS", "1.00000 mS"},
        {99999999, "999.99999 mS", "999.99999 mS"},
        {100000000, "1.0000000 S", "1.00000000 S"},
        {123456789, "1.2345679 S", "1.23456789 S"},
        {4294967295u, "42.949673 S", "42.94967295 S"},
    };
    for (const TickCase& c : kCases) {
        SCOPED_TRACE(c.ticks);
        EXPECT_EQ(TickTimeText(c.ticks, false), c.withoutFlag);
        EXPECT_EQ(TickTimeText(c.ticks, true), c.withFlag);
    }
}

}  // namespace
}  // namespace kr40
