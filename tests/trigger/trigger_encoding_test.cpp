#include "trigger/trigger_encoding.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "acquisition/acq_config.h"
#include "acquisition/scope_settings.h"

namespace kr40 {
namespace {

// ---------------------------------------------------------------------------
// Comparator window around the level.

struct ThresholdCase {
    double lev;
    int hyst;
    int lo, hi;
};

constexpr ThresholdCase kThresholdCases[] = {
    {100.5, 1, 99, 103},                   // half rounds up to 101
    {100.4, 1, 98, 102},  {1.0, 3, 1, 9},  // 1 - 8 would be below 1
    {8.0, 3, 1, 16},                       // L equal to the half width
    {9.0, 3, 1, 17},      {10.0, 3, 2, 18},    {250.0, 4, 234, 255},
    {239.0, 4, 223, 255}, {128.0, 9, 72, 184}, {120.0, 0, 120, 120},  // noise reject off
    {254.5, 0, 255, 255}, {0.0, 0, 1, 1},  // thresholds stay within 1..255, so the window never inverts
    {0.4, 0, 1, 1},       {-0.5, 0, 1, 1},     {300.0, 1, 253, 255},  // levels outside 0..255 are clamped first
    {-20.0, 1, 1, 2},
};

TEST(TriggerEncodingTest, ThresholdsAroundTheLevel)
{
    for (const ThresholdCase& c : kThresholdCases) {
        SCOPED_TRACE(testing::Message() << "Lev " << c.lev << " Hyst " << c.hyst);
        ScopeSettings s;
        s.Hyst = c.hyst;
        s.Lev_A1 = c.lev;
        s.Lev_A2 = c.lev;
        s.Sel(Group::TrigSource) = ChD1;  // both analog channels are encoded whatever the source
        AcqConfig a;
        EncodeTrigger(s, a);
        EXPECT_EQ(a.Trig_Lo_A1, c.lo);
        EXPECT_EQ(a.Trig_Hi_A1, c.hi);
        EXPECT_EQ(a.Trig_Lo_A2, c.lo);
        EXPECT_EQ(a.Trig_Hi_A2, c.hi);
    }
}

TEST(TriggerEncodingTest, ChannelsUseTheirOwnLevels)
{
    ScopeSettings s;
    s.Hyst = 2;  // 3 codes
    s.Lev_A1 = 100.0;
    s.Lev_A2 = 40.0;
    AcqConfig a;
    EncodeTrigger(s, a);
    EXPECT_EQ(a.Trig_Lo_A1, 97);
    EXPECT_EQ(a.Trig_Hi_A1, 103);
    EXPECT_EQ(a.Trig_Lo_A2, 37);
    EXPECT_EQ(a.Trig_Hi_A2, 43);
}

// ---------------------------------------------------------------------------
// Advanced-trigger words.

constexpr std::uint32_t kOldTLo = 7, kOldTHi = 9;  // left by an earlier composition
constexpr int kTmin = 999, kTmax = 1000, kTmult = 100000;

struct ModeCase {
    const char* name;
    int mode;
    bool tplus, edge;
    int tMode;
    int source;
    int levMask, levels;
    int extraN;
    std::uint8_t modeFlags;  // bits 3-6
    std::uint8_t tplusFlags;
    std::uint32_t trigN;
    std::uint8_t levBits;
    bool timesSet;
};

constexpr ModeCase kModeCases[] = {
    // T+ up: only Mode_Flags bits 5 and 6 follow the mode.
    {"PeriodTPlusUp", 2, false, false, 1, ChA1, 9, 8, 5, 0x20, 0x00, 1, 0x00, false},
    {"RuntTPlusUp", 3, false, true, 1, ChA1, 0, 0, 5, 0x60, 0x00, 1, 0x00, false},
    {"VideoTPlusUp", 10, false, false, 0, ChA1, 0, 0, 5, 0x20, 0x00, 1, 0x00, false},
    // Time-qualified modes.
    {"PulseInside", 1, true, false, 1, ChA1, 0, 0, 5, 0x18, 0x00, 1, 0x00, true},
    {"PulseOutside", 1, true, false, 2, ChA1, 0, 0, 5, 0x08, 0x00, 1, 0x00, true},
    {"PulseAnyT", 1, true, false, 0, ChA1, 0, 0, 5, 0x00, 0x00, 1, 0x00, true},
    {"PeriodInside", 2, true, false, 1, ChA1, 0, 0, 5, 0x38, 0x00, 1, 0x00, true},
    {"RuntRise", 3, true, false, 0, ChA1, 0, 0, 5, 0x60, 0x01, 1, 0x00, true},
    {"RuntFall", 3, true, true, 2, ChA2, 0, 0, 5, 0x68, 0x02, 1, 0x00, true},
    {"SlewFall", 4, true, true, 1, ChA1, 0, 0, 5, 0x58, 0x00, 1, 0x00, true},
    {"CountAnyT", 5, true, false, 0, ChA1, 0, 0, 37, 0x00, 0x00, 1, 0x00, true},
    {"CountInside", 5, true, false, 1, ChA1, 0, 0, 37, 0x18, 0x20, 37, 0x00, true},
    {"CountOutside", 5, true, true, 2, ChA1, 0, 0, 37, 0x08, 0x20, 37, 0x00, true},
    // Count separated by En: the count needs an En channel other than the source.
    {"CountEnOnlySource", 6, true, false, 1, ChA1, 0x1, 0x1, 12, 0x00, 0x60, 1, 0x11, false},
    {"CountEnD2", 6, true, false, 1, ChA1, 0x8, 0x8, 12, 0x00, 0x60, 12, 0x88, false},
    {"CountEnNotA1AndD2", 6, true, false, 0, ChA2, 0x9, 0x8, 12, 0x00, 0x60, 12, 0x98, false},
    {"CountEnSourceD2OtherA1", 6, true, false, 0, ChD2, 0x9, 0x0, 12, 0x00, 0x60, 12, 0x90, false},
    {"Video", 10, true, true, 1, ChA1, 0, 0, 600, 0x20, 0x10, 600, 0x00, false},
    {"NoModeLevelBitsOnly", 0, true, false, 1, ChA1, 0xF, 0xF, 5, 0x00, 0x00, 1, 0xFF, false},
};

TEST(TriggerEncodingTest, AdvancedModeWords)
{
    for (const ModeCase& c : kModeCases) {
        SCOPED_TRACE(c.name);
        ScopeSettings s;
        s.Mode = c.mode;
        s.TPLUS = c.tplus;
        s.Edge = c.edge;
        s.T_Mode = c.tMode;
        s.Sel(Group::TrigSource) = c.source;
        s.Lev_Mask = c.levMask;
        s.Levels = c.levels;
        s.Extra_N = c.extraN;
        s.Tmin = kTmin;
        s.Tmax = kTmax;
        s.Tmult = kTmult;

        AcqConfig a;
        a.Mode_Flags = 0x87;  // pair, channel and enable bits are not the encoder's
        a.TPlus_Flags = 0xFF;
        a.Trig_N = 999;
        a.Trig_Lev_Bits = 0xFF;
        a.T_Lo = kOldTLo;
        a.T_Hi = kOldTHi;
        EncodeTrigger(s, a);

        EXPECT_EQ(a.Mode_Flags & 0x78, c.modeFlags);
        EXPECT_EQ(a.Mode_Flags & 0x87, 0x87);
        EXPECT_EQ(a.TPlus_Flags, c.tplusFlags);
        EXPECT_EQ(a.Trig_N, c.trigN);
        EXPECT_EQ(a.Trig_Lev_Bits, c.levBits);
        if (c.timesSet) {
            EXPECT_EQ(a.T_Lo, 99'900'000u);
            EXPECT_EQ(a.T_Hi, 100'000'000u);
        } else {
            EXPECT_EQ(a.T_Lo, kOldTLo);
            EXPECT_EQ(a.T_Hi, kOldTHi);
        }
    }
}

TEST(TriggerEncodingTest, TimeLimitsInTenNanosecondTicks)
{
    ScopeSettings s;  // pulse mode, Tmin 500, Tmax 600, Tmult 100 (1 mS range)
    s.TPLUS = true;
    s.T_Mode = 1;
    AcqConfig a;
    EncodeTrigger(s, a);
    EXPECT_EQ(a.T_Lo, 50'000u);
    EXPECT_EQ(a.T_Hi, 60'000u);

    s.Tmin = 0;
    s.Tmax = 1;
    s.Tmult = 1;
    EncodeTrigger(s, a);
    EXPECT_EQ(a.T_Lo, 0u);
    EXPECT_EQ(a.T_Hi, 1u);
}

}  // namespace
}  // namespace kr40
