#include "instruments/zero_model.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "acquisition/scope_settings.h"

namespace kr40 {
namespace {

constexpr std::int32_t kRanges[] = {2'000'000, 1'000'000, 500'000, 200'000, 100'000, 50'000};

void SetRecord(ScopeSettings& s, int channel, int p1, int p2, int sh, int zero)
{
    (channel == 1 ? s.Z_A1P1 : s.Z_A2P1) = p1;
    (channel == 1 ? s.Z_A1P2 : s.Z_A2P2) = p2;
    (channel == 1 ? s.Z_A1SH : s.Z_A2SH) = sh;
    (channel == 1 ? s.A1_Zero : s.A2_Zero) = zero;
}

TEST(ZeroModelTest, DefaultRecordIgnoresTheRange)
{
    ScopeSettings s;  // P1 3357, P2 725, SH 0
    s.A1_Zero = 128;
    s.A2_Zero = 128;
    for (std::int32_t range : kRanges) {
        EXPECT_EQ(OffsetDacCode(s, 1, range), 2196u) << range;  // round(2195.53)
        EXPECT_EQ(OffsetDacCode(s, 2, range), 2196u) << range;
    }
    // P2 < P1: a higher zero level needs a lower DAC code.
    s.A1_Zero = 129;
    EXPECT_LT(OffsetDacCode(s, 1, 1'000'000), 2196u);
}

struct ModelCase {
    const char* name;
    int channel;
    int p1, p2, sh, zero;
    std::int32_t range;
    std::uint32_t code;
};

constexpr ModelCase kModelCases[] = {
    // Range shift: k = 50000 / range.
    {"ShiftAt50mV_k1", 1, 3357, 725, 400, 128, 50'000, 2451},      // 2450.85
    {"ShiftAt1V_k005", 1, 3357, 725, 400, 128, 1'000'000, 2208},   // 2208.30
    {"ShiftAt2V_k0025", 1, 3357, 725, 400, 128, 2'000'000, 2202},  // 2201.91
    {"A2OwnRecord", 2, 3400, 700, 80, 63, 2'000'000, 2850},        // 2849.6
    {"NegativeShift", 2, 3357, 725, -400, 100, 50'000, 2226},      // 2226.17
    {"HalfRoundsUp", 1, -1, 3359, 0, 0, 50'000, 1361},             // exactly 1360.5
    // No usable record.
    {"EqualPointsA1", 1, 1000, 1000, 50, 128, 50'000, 2048},
    {"EqualPointsA2", 2, 0, 0, 0, 0, 2'000'000, 2048},
    // A wild record is held to the 12-bit DAC.
    {"ClampHigh", 1, 0, 1, 0, 255, 50'000, 4095},
    {"ClampLow", 2, 0, 1, 100, 0, 50'000, 0},
};

TEST(ZeroModelTest, OffsetCodes)
{
    for (const ModelCase& c : kModelCases) {
        SCOPED_TRACE(c.name);
        ScopeSettings s;
        SetRecord(s, c.channel, c.p1, c.p2, c.sh, c.zero);
        // The other channel holds a different record that must not leak in.
        SetRecord(s, 3 - c.channel, 3000, 1000, 999, 10);
        EXPECT_EQ(OffsetDacCode(s, c.channel, c.range), c.code);
    }
}

TEST(ZeroModelTest, UnknownChannelGivesMidScale)
{
    ScopeSettings s;
    s.A1_Zero = 128;
    for (int channel : {0, 3, -1}) EXPECT_EQ(OffsetDacCode(s, channel, 1'000'000), OffsetDacUncalibrated) << channel;
    EXPECT_EQ(OffsetDacUncalibrated, 2048u);
}

}  // namespace
}  // namespace kr40
