#include "state/compose.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "acquisition/scope_tables.h"
#include "state/scope_state.h"
#include "support/table_rows.h"

namespace kr40 {
namespace {

using test::DivItem;
using test::Tb;
using test::Volts;

void ShowChannels(ScopeSettings& s, bool a1, bool a2, bool d1, bool d2)
{
    s.CH_A1 = a1;
    s.CH_A2 = a2;
    s.CH_D1 = d1;
    s.CH_D2 = d2;
}

// ---------------------------------------------------------------------------
// Sample interval, divider and samples per division.

struct DividerCase {
    const char* name;
    const char* timeBase;
    int smplItem;
    int divisions;
    bool peak;
    int smplN, sigDiv;
    std::uint32_t decim;
    int smplPerDiv;
};

constexpr DividerCase kDividerCases[] = {
    {"1ms_5000_10", "1mS", Smpl5000, 10, false, 5000, 10, 199, 500},
    {"50ns_DividerZeroBecomesOne", "50nS", Smpl5000, 10, false, 5000, 10, 0, 5},
    {"05us_I250_D5", "05uS", Smpl2000, 100, false, 2000, 100, 4, 10},
    {"1us_I250_D4", "1uS", Smpl2000, 50, false, 2000, 50, 3, 25},
    {"05us_I125_D2", "05uS", Smpl2000, 50, false, 2000, 50, 1, 25},
    {"5us_I1250_D20", "5uS", Smpl2000, 50, false, 2000, 50, 19, 25},
    // 20 s x 10 does not fit 32 bits.
    {"20s_Needs64Bit", "20S", Smpl2000, 10, false, 2000, 10, 9'999'999, 200},
    {"PeakDoublesPerDiv", "1mS", Smpl5000, 10, true, 5000, 10, 399, 500},
    {"PeakNoDoublingAtD1", "50nS", Smpl5000, 10, true, 5000, 10, 0, 5},
    {"200Div5000Peak_250Div", "1mS", Smpl5000, 200, true, 5000, 250, 9999, 20},
    {"200Div10000Peak_Stays200", "1mS", Smpl10000, 200, true, 10000, 200, 3999, 50},
    {"200Div5000NoPeak_Stays200", "1mS", Smpl5000, 200, false, 5000, 200, 3999, 25},
};

TEST(ComposeAcqConfigTest, DividerAndSamplesPerDivision)
{
    for (const DividerCase& c : kDividerCases) {
        SCOPED_TRACE(c.name);
        ScopeState st;
        ScopeSettings& s = st.settings;
        s.Sel(Group::TimeBase) = Tb(c.timeBase);
        s.Sel(Group::SmplN) = c.smplItem;
        s.Sel(Group::SigDiv) = DivItem(c.divisions);
        s.SmplPeakDet = c.peak;
        ComposeAcqConfig(st);
        EXPECT_EQ(st.acq.Time_Div_ns, TimeBases[Tb(c.timeBase)].ns);
        EXPECT_EQ(st.acq.Smpl_N, c.smplN);
        EXPECT_EQ(st.acq.Sig_Div, c.sigDiv);
        EXPECT_EQ(st.acq.Decim, c.decim);
        EXPECT_EQ(st.acq.Smpl_Per_Div, c.smplPerDiv);
        // Peak detect only counts when the clock is actually divided.
        EXPECT_EQ((st.acq.Acq_Flags & AcqPeakDetect) != 0, c.peak && c.decim > 0);
    }
}

// Every time base, sample count, division count, peak setting and
// pre-trigger length gives a usable frame.
TEST(ComposeAcqConfigTest, SweepKeepsFrameInvariants)
{
    ScopeState st;
    ScopeSettings& s = st.settings;
    for (bool pairMode : {false, true}) {
        ShowChannels(s, true, !pairMode, true, true);
        for (int tb = 0; tb < TimeBaseCount; ++tb) {
            for (int smpl = 0; smpl < static_cast<int>(SampleCounts.size()); ++smpl) {
                for (int div = 0; div < static_cast<int>(DivisionChoices.size()); ++div) {
                    for (bool peak : {false, true}) {
                        for (int pre = 0; pre <= 9; ++pre) {
                            s.Sel(Group::TimeBase) = tb;
                            s.Sel(Group::SmplN) = smpl;
                            s.Sel(Group::SigDiv) = div;
                            s.SmplPeakDet = peak;
                            s.Pre = pre;
                            ComposeAcqConfig(st);
                            const AcqConfig& a = st.acq;
                            const std::string where = std::string(TimeBases[tb].key) + " " +
                                                      SampleCounts[smpl].caption + " x" + DivisionChoices[div].caption +
                                                      (peak ? " peak" : "") + (pairMode ? " pair" : "") + " pre " +
                                                      std::to_string(pre);
                            ASSERT_GE(static_cast<std::uint32_t>(a.Decim + 1u), 1u) << where;
                            ASSERT_GT(a.Smpl_Per_Div, 0) << where;
                            ASSERT_EQ(static_cast<std::uint64_t>(a.Pre_N) + a.Post_N,
                                      static_cast<std::uint64_t>(a.Smpl_N))
                                << where;
                            // A legal pre-trigger length always fits in the frame.
                            ASSERT_EQ(a.Pre_N, static_cast<std::uint32_t>(pre * a.Smpl_Per_Div)) << where;
                        }
                    }
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Channels, pair mode and the "20000 (A or A+D)" item.

struct ChannelCase {
    const char* name;
    bool a1, a2, d1, d2;
    bool run, single;
    bool pair;
    int smplNAtMax;
    std::uint8_t chMask;
    std::uint8_t modeFlags;  // bits 0-2
};

constexpr ChannelCase kChannelCases[] = {
    {"AllShown", true, true, true, true, false, false, false, 10000, 0x0F, 0x06},
    {"BothAnalog", true, true, false, false, false, false, false, 10000, 0x03, 0x02},
    {"A1Only", true, false, false, false, false, false, true, 20000, 0x03, 0x01},
    {"A1AndD1", true, false, true, false, false, false, true, 20000, 0x0F, 0x01},
    {"A1AndBothDigital", true, false, true, true, false, false, false, 10000, 0x0D, 0x04},
    {"A2AndD2", false, true, false, true, false, false, true, 20000, 0x0F, 0x07},
    {"D1Only", false, false, true, false, false, false, true, 20000, 0x0C, 0x01},
    {"NoneShown", false, false, false, false, false, false, true, 20000, 0x00, 0x01},
    {"Running", true, true, false, false, true, false, false, 10000, 0x83, 0x02},
    {"SingleIsRunning", true, false, false, false, false, true, true, 20000, 0x83, 0x01},
};

TEST(ComposeAcqConfigTest, ChannelMaskPairModeAndMaxSamples)
{
    for (const ChannelCase& c : kChannelCases) {
        SCOPED_TRACE(c.name);
        ScopeState st;
        ScopeSettings& s = st.settings;
        ShowChannels(s, c.a1, c.a2, c.d1, c.d2);
        s.Run_Down = c.run;
        s.Sngl_Down = c.single;
        s.Sel(Group::SmplN) = SmplMax;
        ComposeAcqConfig(st);
        EXPECT_EQ(st.acq.Pair_Mode, c.pair);
        EXPECT_EQ(st.acq.Smpl_N, c.smplNAtMax);
        EXPECT_EQ(st.acq.Ch_Mask, c.chMask);
        EXPECT_EQ(st.acq.Mode_Flags & 0x07, c.modeFlags);

        // No sample-count item checked reads like "20000 (A or A+D)".
        s.Sel(Group::SmplN) = -1;
        ComposeAcqConfig(st);
        EXPECT_EQ(st.acq.Smpl_N, c.smplNAtMax);
    }
}

// ---------------------------------------------------------------------------
// Input ranges and their flag bits.

struct RangeCase {
    const char* name;
    const char* a1Volts;
    const char* a2Volts;
    bool a1Ac, a2Ac, genOn, dither, tdcClbr;
    std::int32_t uV1, uV2;
    std::uint8_t range1, range2;
};

constexpr RangeCase kRangeCases[] = {
    {"DefaultsGeneratorOff", "1V", "1V", false, false, false, false, false, 1'000'000, 1'000'000, 0x0F, 0x07},
    {"GeneratorOnA1Ac", "2V", "50mV", true, false, true, false, false, 2'000'000, 50'000, 0x13, 0x00},
    {"A2Ac", "05V", "02V", false, true, false, false, false, 500'000, 200'000, 0x0E, 0x14},
    {"DitherWithoutServiceFlag", "100mV", "2V", false, false, true, true, false, 100'000, 2'000'000, 0x01, 0x03},
    {"ServiceFlagWithoutDither", "100mV", "2V", false, false, true, false, true, 100'000, 2'000'000, 0x01, 0x03},
    {"DitherOnBoth", "100mV", "2V", false, false, true, true, true, 100'000, 2'000'000, 0x21, 0x23},
    {"AllBits", "50mV", "100mV", true, true, false, true, true, 50'000, 100'000, 0x38, 0x31},
};

TEST(ComposeAcqConfigTest, RangeCodesAndBits)
{
    for (const RangeCase& c : kRangeCases) {
        SCOPED_TRACE(c.name);
        ScopeState st;
        ScopeSettings& s = st.settings;
        s.Sel(Group::VoltsA1) = Volts(c.a1Volts);
        s.Sel(Group::VoltsA2) = Volts(c.a2Volts);
        s.A1_ACDC = c.a1Ac;
        s.A2_ACDC = c.a2Ac;
        s.GenOn_Down = c.genOn;
        s.FFT_Dither = c.dither;
        s.TDC_Clbr = c.tdcClbr;
        s.Debug_kr = !c.tdcClbr;  // the other service flag does not switch it
        ComposeAcqConfig(st);
        EXPECT_EQ(st.acq.uV_Div_A1, c.uV1);
        EXPECT_EQ(st.acq.uV_Div_A2, c.uV2);
        EXPECT_EQ(st.acq.Range_A1, c.range1);
        EXPECT_EQ(st.acq.Range_A2, c.range2);
    }
}

// ---------------------------------------------------------------------------
// Probe factors: µV/div, button captions and the header text.

struct ProbeCase {
    const char* name;
    int ch;  // 0 A1, 1 A2
    int probe;
    const char* volts;
    bool russian;
    std::int32_t uV;
    const char* caption;  // of the button that is down
    const char* header;
};

const ProbeCase kProbeCases[] = {
    {"A1x10", 0, ProbeX10, "1V", false, 10'000'000, "10 V", "A1 V/Div (x10)"},
    {"A1x1", 0, ProbeX1, "1V", false, 1'000'000, "1 V", "A1 Volts/Div "},
    {"A1x1Russian", 0, ProbeX1, "1V", true, 1'000'000, "1 V", "A1 Вольт/Дел "},
    {"A1x10_50mV", 0, ProbeX10, "50mV", false, 500'000, "0.5 V", "A1 V/Div (x10)"},
    {"A2x100Russian", 1, ProbeX100, "50mV", true, 5'000'000, "5 V", "A2 В/Дел (x100)"},
    {"A2x100_2V", 1, ProbeX100, "2V", false, 200'000'000, "200 V", "A2 V/Div (x100)"},
    {"A2x10Russian", 1, ProbeX10, "02V", true, 2'000'000, "2 V", "A2 В/Дел (x10)"},
};

TEST(ComposeAcqConfigTest, ProbeFactorCaptionsAndHeaders)
{
    for (const ProbeCase& c : kProbeCases) {
        SCOPED_TRACE(c.name);
        ScopeState st;
        ScopeSettings& s = st.settings;
        s.Russian = c.russian;
        const Group probe = c.ch == 0 ? Group::ProbeA1 : Group::ProbeA2;
        const Group volts = c.ch == 0 ? Group::VoltsA1 : Group::VoltsA2;
        s.Sel(probe) = c.probe;
        s.Sel(volts) = Volts(c.volts);
        ComposeAcqConfig(st);
        EXPECT_EQ(c.ch == 0 ? st.acq.uV_Div_A1 : st.acq.uV_Div_A2, c.uV);
        EXPECT_EQ(c.ch == 0 ? st.acq.uV_Div_x1_A1 : st.acq.uV_Div_x1_A2, VoltsPerDiv[Volts(c.volts)].uV);
        EXPECT_EQ(st.view.voltsCaptions[c.ch][Volts(c.volts)], c.caption);
        EXPECT_EQ(st.view.voltsHeader[c.ch], c.header);
    }
}

TEST(ComposeAcqConfigTest, ProbeCaptionsBelongToTheirChannel)
{
    ScopeState st;
    st.settings.Russian = false;
    st.settings.Sel(Group::ProbeA1) = ProbeX10;
    st.settings.Sel(Group::ProbeA2) = ProbeX1;
    ComposeAcqConfig(st);
    const std::array<std::string, 6> x10 = {"20 V", "10 V", "5 V", "2 V", "1 V", "0.5 V"};
    const std::array<std::string, 6> x1 = {"2 V", "1 V", "0.5 V", "0.2 V", "100 mV", "50 mV"};
    EXPECT_EQ(st.view.voltsCaptions[0], x10);
    EXPECT_EQ(st.view.voltsCaptions[1], x1);
    EXPECT_EQ(st.view.voltsHeader[0], "A1 V/Div (x10)");
    EXPECT_EQ(st.view.voltsHeader[1], "A2 Volts/Div ");
}

// ---------------------------------------------------------------------------
// Trigger level keeps its voltage when the range changes.

struct RescaleCase {
    const char* name;
    int ch;
    const char* fromVolts;
    int fromProbe;
    const char* toVolts;
    int toProbe;
    bool flag;
    int zero;
    double lev;
    int bgZero;
    double bgLev;
    double expLev, expBgLev;
};

constexpr RescaleCase kRescaleCases[] = {
    {"A1_1V_to_05V", 0, "1V", ProbeX1, "05V", ProbeX1, true, 191, 223.0, 100, 110.0, 255.0, 120.0},
    {"FlagClearNoRescale", 0, "1V", ProbeX1, "05V", ProbeX1, false, 191, 223.0, 100, 110.0, 223.0, 110.0},
    {"ProbeX1toX10", 0, "1V", ProbeX1, "1V", ProbeX10, true, 191, 201.0, 0, 50.0, 192.0, 5.0},
    {"A2_05V_to_1V", 1, "05V", ProbeX1, "1V", ProbeX1, true, 63, 103.0, 20, 40.0, 83.0, 30.0},
    {"A2BelowZero", 1, "1V", ProbeX1, "02V", ProbeX1, true, 63, 60.0, 0, 0.0, 48.0, 0.0},
};

TEST(ComposeAcqConfigTest, LevelRescaledOnRangeChange)
{
    for (const RescaleCase& c : kRescaleCases) {
        SCOPED_TRACE(c.name);
        ScopeState st;
        ScopeSettings& s = st.settings;
        const bool a1 = c.ch == 0;
        s.Sel(a1 ? Group::VoltsA1 : Group::VoltsA2) = Volts(c.fromVolts);
        s.Sel(a1 ? Group::ProbeA1 : Group::ProbeA2) = c.fromProbe;
        ComposeAcqConfig(st);

        (a1 ? s.A1_Zero : s.A2_Zero) = c.zero;
        (a1 ? s.Lev_A1 : s.Lev_A2) = c.lev;
        (a1 ? s.bgA1_Zero : s.bgA2_Zero) = c.bgZero;
        (a1 ? s.bgLev_A1 : s.bgLev_A2) = c.bgLev;
        // The other channel's level must not move.
        (a1 ? s.Lev_A2 : s.Lev_A1) = 77.0;
        s.Sel(a1 ? Group::VoltsA1 : Group::VoltsA2) = Volts(c.toVolts);
        s.Sel(a1 ? Group::ProbeA1 : Group::ProbeA2) = c.toProbe;
        (a1 ? st.RangeChangedA1 : st.RangeChangedA2) = c.flag;
        ComposeAcqConfig(st);

        EXPECT_DOUBLE_EQ(a1 ? s.Lev_A1 : s.Lev_A2, c.expLev);
        EXPECT_DOUBLE_EQ(a1 ? s.bgLev_A1 : s.bgLev_A2, c.expBgLev);
        EXPECT_DOUBLE_EQ(a1 ? s.Lev_A2 : s.Lev_A1, 77.0);
        EXPECT_FALSE(st.RangeChangedA1);
        EXPECT_FALSE(st.RangeChangedA2);
    }
}

TEST(ComposeAcqConfigTest, RescaledLevelReachesTheThresholds)
{
    ScopeState st;
    ScopeSettings& s = st.settings;
    ComposeAcqConfig(st);  // 1 V
    s.Lev_A1 = 223.0;      // A1_Zero 191, Hyst 1 (2 codes)
    s.Sel(Group::VoltsA1) = Volts("05V");
    st.RangeChangedA1 = true;
    ComposeAcqConfig(st);
    EXPECT_EQ(st.acq.Trig_Lo_A1, 253);
    EXPECT_EQ(st.acq.Trig_Hi_A1, 255);
}

TEST(ComposeAcqConfigTest, FirstCompositionConsumesFlagWithoutRescaling)
{
    ScopeState st;
    st.settings.Lev_A1 = 223.0;
    st.settings.Sel(Group::VoltsA1) = Volts("05V");
    st.RangeChangedA1 = true;
    ComposeAcqConfig(st);
    EXPECT_DOUBLE_EQ(st.settings.Lev_A1, 223.0);
    EXPECT_FALSE(st.RangeChangedA1);
}

// ---------------------------------------------------------------------------
// Offset DAC codes come from the zero model at the x1 range of each channel.

TEST(ComposeAcqConfigTest, ZeroCalUsesEachChannelsRecordAtItsX1Range)
{
    ScopeState st;
    ScopeSettings& s = st.settings;
    s.Z_A1P1 = 3357;
    s.Z_A1P2 = 725;
    s.Z_A1SH = 400;
    s.A1_Zero = 128;
    s.Z_A2P1 = 3400;
    s.Z_A2P2 = 700;
    s.Z_A2SH = 80;
    s.A2_Zero = 63;
    s.Sel(Group::VoltsA1) = Volts("50mV");
    s.Sel(Group::ProbeA1) = ProbeX10;  // must not change the range given to the model
    s.Sel(Group::VoltsA2) = Volts("2V");
    ComposeAcqConfig(st);
    EXPECT_EQ(st.acq.Zero_Cal_A1, 2451u);  // round(2450.85)
    EXPECT_EQ(st.acq.Zero_Cal_A2, 2850u);  // round(2849.6)
}

// ---------------------------------------------------------------------------
// Roll mode and the acquisition flags.

struct RollCase {
    const char* name;
    const char* timeBase;
    bool trigOn, single;
    bool roll;
    std::uint8_t rollFlags;
    bool rollFree, trigEnable;
};

constexpr RollCase kRollCases[] = {
    {"100msTriggerOff", "100mS", false, false, true, 0x03, true, false},
    {"50msTriggerOff", "50mS", false, false, false, 0x00, false, false},
    {"20sSingle", "20S", false, true, true, 0x03, false, false},
    {"100msTriggerOn", "100mS", true, false, false, 0x00, false, true},
    {"1msTriggerOn", "1mS", true, false, false, 0x00, false, true},
    {"1msTriggerOff", "1mS", false, false, false, 0x00, false, false},
};

TEST(ComposeAcqConfigTest, RollModeAndTriggerEnable)
{
    for (const RollCase& c : kRollCases) {
        SCOPED_TRACE(c.name);
        ScopeState st;
        ScopeSettings& s = st.settings;
        s.Sel(Group::TimeBase) = Tb(c.timeBase);
        s.Trig_On = c.trigOn;
        s.Sngl_Down = c.single;
        ComposeAcqConfig(st);
        EXPECT_EQ(st.acq.Roll, c.roll);
        EXPECT_EQ(st.acq.Roll_Flags, c.rollFlags);
        EXPECT_EQ((st.acq.Acq_Flags & AcqRollFree) != 0, c.rollFree);
        EXPECT_EQ((st.acq.Mode_Flags & 0x80) != 0, c.trigEnable);
    }
}

struct FlagsCase {
    const char* name;
    int source;
    bool edge, autoTrig, schmittD1, schmittD2;
    std::uint8_t flags;
};

constexpr FlagsCase kFlagsCases[] = {
    {"A1", ChA1, false, false, true, true, 0x00},           {"A2", ChA2, false, false, true, true, 0x04},
    {"D1", ChD1, false, false, true, true, 0x02},           {"D2", ChD2, false, false, true, true, 0x06},
    {"EdgeAuto", ChA1, true, true, true, true, 0x30},       {"SchmittD1Off", ChA1, false, false, false, true, 0x40},
    {"SchmittD2Off", ChD2, true, false, true, false, 0x96},
};

TEST(ComposeAcqConfigTest, AcquisitionFlags)
{
    for (const FlagsCase& c : kFlagsCases) {
        SCOPED_TRACE(c.name);
        ScopeState st;
        ScopeSettings& s = st.settings;
        s.Sel(Group::TrigSource) = c.source;
        s.Edge = c.edge;
        s.Auto = c.autoTrig;
        s.SchmittT_D1 = c.schmittD1;
        s.SchmittT_D2 = c.schmittD2;
        ComposeAcqConfig(st);  // 1 ms, no peak detect: no roll, no peak bit
        EXPECT_EQ(st.acq.Acq_Flags, c.flags);
    }
}

TEST(ComposeAcqConfigTest, TriggerWordsSitBesideTheEnableBit)
{
    ScopeState st;
    ScopeSettings& s = st.settings;
    s.Trig_On = true;
    s.Mode = 2;  // period: bit 5 even with T+ up
    ComposeAcqConfig(st);
    EXPECT_EQ(st.acq.Mode_Flags & 0xF8, 0xA0);
    EXPECT_EQ(st.acq.Trig_Lo_A1, 189);  // Lev_A1 191, Hyst 1
    EXPECT_EQ(st.acq.Trig_Hi_A2, 65);   // Lev_A2 63
}

struct ScrollCase {
    const char* name;
    bool lenta;
    int genMode;
    bool scroll;
};

constexpr ScrollCase kScrollCases[] = {
    {"Off", false, -1, false},
    {"On", true, -1, true},
    {"OnWithSweep", true, GenSweepMode, false},
    {"OnWithModulation", true, GenModMode, true},
};

TEST(ComposeAcqConfigTest, ScrollNeedsLentaWithoutSweep)
{
    for (const ScrollCase& c : kScrollCases) {
        SCOPED_TRACE(c.name);
        ScopeState st;
        st.settings.Lenta = c.lenta;
        st.settings.Sel(Group::GenMode) = c.genMode;
        ComposeAcqConfig(st);
        EXPECT_EQ(st.acq.Scroll, c.scroll);
    }
}

// ---------------------------------------------------------------------------
// Pre- and post-trigger counts.

struct PreCase {
    const char* name;
    const char* timeBase;
    bool peak;
    int pre;
    std::uint32_t preN, postN;
};

constexpr PreCase kPreCases[] = {
    {"None", "1mS", false, 0, 0, 5000},
    {"OneDiv", "1mS", false, 1, 500, 4500},
    {"NineDiv", "1mS", false, 9, 4500, 500},
    {"PeakNineDiv", "1mS", true, 9, 4500, 500},
    {"50nsThreeDiv", "50nS", false, 3, 15, 4985},
    // Out of the item range (a field set by hand): limited to the frame.
    {"BeyondFrame", "1mS", false, 50, 5000, 0},
};

TEST(ComposeAcqConfigTest, PreAndPostTriggerCounts)
{
    for (const PreCase& c : kPreCases) {
        SCOPED_TRACE(c.name);
        ScopeState st;
        st.settings.Sel(Group::TimeBase) = Tb(c.timeBase);
        st.settings.SmplPeakDet = c.peak;
        st.settings.Pre = c.pre;
        ComposeAcqConfig(st);
        EXPECT_EQ(st.acq.Pre_N, c.preN);
        EXPECT_EQ(st.acq.Post_N, c.postN);
    }
}

// ---------------------------------------------------------------------------
// Menu choices and the groups that may have no item checked.

TEST(ComposeAcqConfigTest, MenuChoicesGiveTheirCodes)
{
    const int fps[] = {125, 66, 40, 25, 10};
    const int rate[] = {0, 10, 12, 15, 19, 25, 39};
    ScopeState st;
    ScopeSettings& s = st.settings;
    for (int i = 0; i < 5; ++i) {
        s.Sel(Group::Fps) = i;
        ComposeAcqConfig(st);
        EXPECT_EQ(st.acq.Min_Period_ms, fps[i]) << "frame-rate item " << i;
    }
    for (int i = 0; i < 7; ++i) {
        s.Sel(Group::Rate) = i;
        ComposeAcqConfig(st);
        EXPECT_EQ(st.acq.Rate_Code, rate[i]) << "rate item " << i;
    }
    for (int i : {DrawDots, DrawVectors, DrawSinxx}) {
        s.Sel(Group::DrawMode) = i;
        ComposeAcqConfig(st);
        EXPECT_EQ(st.acq.Draw_Mode, i);
    }
}

TEST(ComposeAcqConfigTest, NoItemCheckedKeepsOrFallsBack)
{
    ScopeState st;
    ScopeSettings& s = st.settings;
    s.Sel(Group::Fps) = 0;   // 125 ms
    s.Sel(Group::Rate) = 4;  // 1 Mbps
    s.Sel(Group::DrawMode) = DrawDots;
    s.Sel(Group::VoltsA1) = Volts("05V");
    s.Sel(Group::VoltsA2) = Volts("50mV");
    ComposeAcqConfig(st);

    s.Sel(Group::Fps) = -1;
    s.Sel(Group::Rate) = -1;
    s.Sel(Group::DrawMode) = -1;
    s.Sel(Group::VoltsA1) = -1;
    s.Sel(Group::VoltsA2) = -1;
    s.Sel(Group::TimeBase) = -1;
    s.Sel(Group::SigDiv) = -1;
    ComposeAcqConfig(st);
    EXPECT_EQ(st.acq.Min_Period_ms, 125);
    EXPECT_EQ(st.acq.Rate_Code, 19);
    EXPECT_EQ(st.acq.Draw_Mode, 0);
    EXPECT_EQ(st.acq.uV_Div_A1, 500'000);
    EXPECT_EQ(st.acq.Range_A1 & 0x07, 6);
    EXPECT_EQ(st.acq.uV_Div_A2, 50'000);
    EXPECT_EQ(st.acq.Range_A2 & 0x07, 0);
    // Time base and divisions fall back to their first-row defaults.
    EXPECT_EQ(st.acq.Time_Div_ns, 50u);
    EXPECT_EQ(st.acq.Sig_Div, 10);
}

// ---------------------------------------------------------------------------
// Frequency meter.

struct FmCase {
    const char* name;
    int mode, input, trigSource;
    std::uint8_t src;
    int inputAfter;
};

constexpr FmCase kFmCases[] = {
    {"Off", FmOff, FmA1, ChA1, 0, FmA1},
    {"OffKeepsHfInput", FmOff, FmD1_HF, ChA1, 0, FmD1_HF},
    {"FreqA1", FmFreq, FmA1, ChA1, 1, FmA1},
    {"FreqA2", FmFreq, FmA2, ChA1, 2, FmA2},
    {"FreqD1", FmFreq, FmD1, ChA1, 3, FmD1},
    {"FreqD2", FmFreq, FmD2, ChA1, 4, FmD2},
    {"FreqD1Hf", FmFreq, FmD1_HF, ChA1, 5, FmD1_HF},
    {"FreqD2Hf", FmFreq, FmD2_HF, ChA1, 6, FmD2_HF},
    {"FreqTrigA1", FmFreq, FmTrig, ChA1, 7, FmTrig},
    {"FreqTrigA2", FmFreq, FmTrig, ChA2, 8, FmTrig},
    {"FreqTrigD1", FmFreq, FmTrig, ChD1, 9, FmTrig},
    {"FreqTrigD2", FmFreq, FmTrig, ChD2, 10, FmTrig},
    {"PeriodA1", FmPeriod, FmA1, ChA1, 17, FmA1},
    {"PeriodD1HfMovesToD1", FmPeriod, FmD1_HF, ChA1, 19, FmD1},
    {"PeriodD2HfMovesToD2", FmPeriod, FmD2_HF, ChA1, 20, FmD2},
    {"PeriodTrigD2", FmPeriod, FmTrig, ChD2, 26, FmTrig},
};

TEST(ComposeAcqConfigTest, FrequencyMeterSourceAndItems)
{
    for (const FmCase& c : kFmCases) {
        SCOPED_TRACE(c.name);
        ScopeState st;
        ScopeSettings& s = st.settings;
        s.Sel(Group::FmMode) = c.mode;
        s.Sel(Group::FmInput) = c.input;
        s.Sel(Group::TrigSource) = c.trigSource;
        ComposeAcqConfig(st);
        EXPECT_EQ(st.acq.FM_Src, c.src);
        EXPECT_EQ(s.Sel(Group::FmInput), c.inputAfter);
        const bool period = c.mode == FmPeriod;
        EXPECT_EQ(st.view.fmD1HfEnabled, !period);
        EXPECT_EQ(st.view.fmD2HfEnabled, !period);
        EXPECT_EQ(st.view.fmResetEnabled, period);
    }
}

// ---------------------------------------------------------------------------
// Window: stay-on-top and colour swatches (nullopt = button face).

TEST(ComposeAcqConfigTest, SwatchesAndStayOnTop)
{
    ScopeState st;
    ScopeSettings& s = st.settings;
    s.Colors[ColorA1] = 0x000001;
    s.Colors[ColorA2] = 0x000002;
    s.Colors[ColorD1] = 0x000003;
    s.Colors[ColorD2] = 0x000004;

    ComposeAcqConfig(st);  // both analog channels shown, trigger off
    EXPECT_FALSE(st.view.stayOnTop);
    EXPECT_EQ(st.view.swatchA1, std::optional<std::uint32_t>(0x000001));
    EXPECT_EQ(st.view.swatchA2, std::optional<std::uint32_t>(0x000002));
    EXPECT_EQ(st.view.swatchTrig, std::nullopt);

    s.On_Top = true;
    s.CH_A1 = false;
    s.Trig_On = true;
    for (int src : {ChA1, ChA2, ChD1, ChD2}) {
        s.Sel(Group::TrigSource) = src;
        ComposeAcqConfig(st);
        EXPECT_EQ(st.view.swatchTrig, std::optional<std::uint32_t>(s.Colors[ColorA1 + src])) << "source " << src;
    }
    EXPECT_TRUE(st.view.stayOnTop);
    EXPECT_EQ(st.view.swatchA1, std::nullopt);
    EXPECT_EQ(st.view.swatchA2, std::optional<std::uint32_t>(0x000002));

    s.CH_A2 = false;
    ComposeAcqConfig(st);
    EXPECT_EQ(st.view.swatchA2, std::nullopt);
}

// ---------------------------------------------------------------------------
// ApplySettings and RefreshSettings.

TEST(ApplySettingsTest, RestartsAndPublishesTheComposedConfig)
{
    struct RunCase {
        bool run, single;
        bool running, singleShot;
    };
    for (const RunCase& c : {RunCase{false, false, false, false}, RunCase{true, false, true, false},
                             RunCase{false, true, true, true}, RunCase{true, true, true, true}}) {
        SCOPED_TRACE(testing::Message() << "run " << c.run << " single " << c.single);
        ScopeState st;
        st.requests.Running = !c.running;  // must be overwritten either way
        st.requests.SingleShot = !c.singleShot;
        st.settings.Run_Down = c.run;
        st.settings.Sngl_Down = c.single;
        st.settings.Sel(Group::TimeBase) = Tb("2uS");
        ApplySettings(st);

        EXPECT_EQ(st.requests.Running.load(), c.running);
        EXPECT_EQ(st.requests.SingleShot.load(), c.singleShot);
        EXPECT_TRUE(st.requests.SettingsRequest.load());
        EXPECT_TRUE(st.requests.AcqRestartRequest.load());
        EXPECT_TRUE(st.requests.RedrawRequest.load());
        EXPECT_TRUE(st.RxEvent.IsSet());
        EXPECT_TRUE(st.ScreenSettingsChanged);

        const AcqConfig snap = st.published.Get().acq;
        EXPECT_EQ(snap.Time_Div_ns, 2000u);
        EXPECT_EQ(snap.Ch_Mask, st.acq.Ch_Mask);
        EXPECT_EQ((snap.Ch_Mask & 0x80) != 0, c.running);
        EXPECT_EQ(snap.Decim, st.acq.Decim);
        EXPECT_EQ(snap.Zero_Cal_A1, st.acq.Zero_Cal_A1);
        EXPECT_EQ(snap.Trig_Lo_A1, st.acq.Trig_Lo_A1);
    }
}

TEST(ApplySettingsTest, RefreshDoesNotRestartOrTouchRunState)
{
    ScopeState st;
    st.settings.Run_Down = true;
    st.settings.Sel(Group::TimeBase) = Tb("5mS");
    RefreshSettings(st);

    EXPECT_FALSE(st.requests.Running.load());
    EXPECT_FALSE(st.requests.SingleShot.load());
    EXPECT_FALSE(st.requests.AcqRestartRequest.load());
    EXPECT_TRUE(st.requests.SettingsRequest.load());
    EXPECT_TRUE(st.requests.RedrawRequest.load());
    EXPECT_TRUE(st.RxEvent.IsSet());
    EXPECT_TRUE(st.ScreenSettingsChanged);
    EXPECT_EQ(st.published.Get().acq.Time_Div_ns, 5'000'000u);

    // A later change is published by the next call.
    st.settings.Sel(Group::TimeBase) = Tb("50uS");
    RefreshSettings(st);
    const AcqConfig snap = st.published.Get().acq;
    EXPECT_EQ(snap.Time_Div_ns, 50'000u);
    EXPECT_EQ(snap.Decim, st.acq.Decim);
    EXPECT_EQ(snap.Smpl_Per_Div, st.acq.Smpl_Per_Div);
}

}  // namespace
}  // namespace kr40
