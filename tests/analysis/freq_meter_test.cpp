#include "analysis/freq_meter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "acquisition/frame.h"
#include "acquisition/scope_settings.h"
#include "device/link_state.h"

namespace kr40 {
namespace {

// Settings with the meter in `mode` and a different colour for every role,
// so that a wrong colour index shows.
ScopeSettings Meter(int mode)
{
    ScopeSettings s;
    s.Sel(Group::FmMode) = mode;
    for (int i = 0; i < ColorCount; ++i) s.Colors[static_cast<std::size_t>(i)] = 0x010101u * (i + 1);
    return s;
}

std::uint32_t ColourOf(const ScopeSettings& s, int role)
{
    return s.Colors[static_cast<std::size_t>(role)];
}

// 1001 edges over 10 ms: 100 kHz.
constexpr std::uint32_t kCount = 1001, kTicks = 1'000'000;

TEST(FreqMeterLabelsTest, FrequencyMode)
{
    struct Case {
        const char* name;
        FreqMeterValues v;
        const char* text;
        int colour;
    };
    const Case cases[] = {
        {"A1, 100 kHz", {0x31, kCount, kTicks, 0}, "F(A1) = 100.00000 KHz", ColorA1},
        {"D1 HF counts every eighth edge", {0x35, kCount, kTicks, 0}, "F(D1) = 800.00000 KHz", ColorD1},
        {"D2 HF", {0x36, kCount, kTicks, 0}, "F(D2) = 800.00000 KHz", ColorD2},
        {"plain D2", {0x34, kCount, kTicks, 0}, "F(D2) = 100.00000 KHz", ColorD2},
        {"calibration +50 ppm", {0x31, kCount, kTicks, 250}, "F(A1) = 100.00500 KHz", ColorA1},
        {"calibration -50 ppm", {0x31, kCount, kTicks, -250}, "F(A1) = 99.995000 KHz", ColorA1},
        {"trigger source A2", {0x38, kCount, kTicks, 0}, "F(T) = 100.00000 KHz", ColorA2},
        {"trigger source D2", {0x3A, kCount, kTicks, 0}, "F(T) = 100.00000 KHz", ColorD2},
        {"unknown source", {0x3C, kCount, kTicks, 0}, "F = 100.00000 KHz", ColorExtraInfo},
        {"no source", {0x30, kCount, kTicks, 0}, "F = 100.00000 KHz", ColorExtraInfo},
        {"not valid", {0x11, kCount, kTicks, 0}, "F(A1) = ...", ColorA1},
        {"a period result", {0x21, kCount, kTicks, 0}, "F(A1) = ...", ColorA1},
        {"no time", {0x31, kCount, 0, 0}, "F(A1) = ...", ColorA1},
        {"one edge", {0x31, 1, kTicks, 0}, "F(A1) = ...", ColorA1},
        {"no edge", {0x31, 0, kTicks, 0}, "F(A1) = ...", ColorA1},
        {"two edges", {0x31, 2, 100'000, 0}, "F(A1) = 1.0000000 KHz", ColorA1},
    };
    const ScopeSettings s = Meter(FmFreq);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<LabelText> labels = FreqMeterLabels(s, c.v);
        ASSERT_EQ(labels.size(), 1u);
        EXPECT_EQ(labels[0].row, 1);
        EXPECT_EQ(labels[0].column, Col6_8);
        EXPECT_EQ(labels[0].text, c.text);
        EXPECT_EQ(labels[0].colour, ColourOf(s, c.colour));
    }
}

TEST(FreqMeterLabelsTest, PeriodAndCounterMode)
{
    struct Case {
        const char* name;
        FreqMeterValues v;
        bool tdcClbr;
        const char* period;
        const char* counter;
    };
    const Case cases[] = {
        {"100 us", {0x24, 12345, 10'000, 0}, false, "T(D2) = 100.00 uS", "N(D2) = 12345"},
        {"no calibration on the period", {0x24, 12345, 10'000, 250}, false, "T(D2) = 100.00 uS", "N(D2) = 12345"},
        {"one second", {0x21, 7, 100'000'000, 0}, false, "T(A1) = 1.0000000 S", "N(A1) = 7"},
        {"one second, TDC_Clbr", {0x21, 7, 100'000'000, 0}, true, "T(A1) = 1.00000000 S", "N(A1) = 7"},
        {"period overflow", {0x21, 5, 0xFFFFFFFFu, 0}, false, "T(A1) = ovf", "N(A1) = 5"},
        {"counter overflow", {0x21, 0x7FFFFFF, 100, 0}, false, "T(A1) = 1.00 uS", "N(A1) = ovf"},
        {"31 bits is a count", {0x21, 0x7FFFFFFF, 100, 0}, false, "T(A1) = 1.00 uS", "N(A1) = 2147483647"},
        {"not valid: the count still shows", {0x01, 5, 100, 0}, false, "T(A1) = ...", "N(A1) = 5"},
        {"a frequency result", {0x31, 5, 100, 0}, false, "T(A1) = ...", "N(A1) = ..."},
        {"trigger source", {0x27, 3, 99, 0}, false, "T(T) = 990 nS", "N(T) = 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopeSettings s = Meter(FmPeriod);
        s.TDC_Clbr = c.tdcClbr;
        const std::vector<LabelText> labels = FreqMeterLabels(s, c.v);
        ASSERT_EQ(labels.size(), 2u);
        EXPECT_EQ(labels[0].row, 1);
        EXPECT_EQ(labels[0].column, Col2_8);
        EXPECT_EQ(labels[0].text, c.period);
        EXPECT_EQ(labels[1].row, 1);
        EXPECT_EQ(labels[1].column, Col6_8);
        EXPECT_EQ(labels[1].text, c.counter);
        const int role = (c.v.status & 0x0F) == 4 ? ColorD2 : ColorA1;
        EXPECT_EQ(labels[0].colour, ColourOf(s, role));
        EXPECT_EQ(labels[1].colour, ColourOf(s, role));
    }
}

TEST(FreqMeterLabelsTest, NothingWhileTheMeterIsOff)
{
    const FreqMeterValues v{0x31, kCount, kTicks, 0};
    EXPECT_TRUE(FreqMeterLabels(Meter(FmOff), v).empty());
    EXPECT_TRUE(FreqMeterLabels(Meter(-1), v).empty());  // no mode item checked
}

TEST(FreqMeterLabelsTest, CalibrationScalesTheFrequency)
{
    const FreqMeterValues plain{0x31, kCount, kTicks, 0};
    FreqMeterValues trimmed = plain;
    trimmed.calibration = 250;
    ASSERT_TRUE(MeterFrequency(plain).has_value());
    ASSERT_TRUE(MeterFrequency(trimmed).has_value());
    EXPECT_DOUBLE_EQ(*MeterFrequency(plain), 100'000.0);
    EXPECT_DOUBLE_EQ(*MeterFrequency(trimmed) / *MeterFrequency(plain), 1.00005);
}

TEST(FreqMeterLabelsTest, ValuesFromTheLinkAndFromAFrame)
{
    FreqMeterReading reading;
    reading.status = 0x24;
    reading.count = 0xFFFFFFF0u;
    reading.time = 0xFFFFFFFFu;
    reading.timeCal = -17;
    const FreqMeterValues a = MeterValuesOf(reading);
    EXPECT_EQ(a.status, 0x24);
    EXPECT_EQ(a.count, 0xFFFFFFF0u);
    EXPECT_EQ(a.time, 0xFFFFFFFFu);
    EXPECT_EQ(a.calibration, -17);

    // The frame keeps the unsigned fields in signed words: an overflowed time
    // is -1 there and must still read as overflow.
    FrameRecord r{};
    r.FmStatus = 0x24;
    r.FmCount = 42;
    r.FmTime = -1;
    r.TimeBaseCal = 5;
    const FreqMeterValues b = MeterValuesOf(r);
    EXPECT_EQ(b.status, 0x24);
    EXPECT_EQ(b.count, 42u);
    EXPECT_EQ(b.time, 0xFFFFFFFFu);
    EXPECT_EQ(b.calibration, 5);
    EXPECT_EQ(FreqMeterLabels(Meter(FmPeriod), b)[0].text, "T(D2) = ovf");
}

}  // namespace
}  // namespace kr40
