#include "generator/gen_panel.h"

#include <gtest/gtest.h>

#include "acquisition/acq_config.h"
#include "acquisition/scope_settings.h"
#include "core/rounding.h"
#include "generator/gen_modulation.h"

namespace kr40 {
namespace {

// The generator on, continuous wave, in one range with both bars set.
struct Gen {
    ScopeSettings s;
    GenValues g;
    AcqConfig a;
    GenPanelView v;

    Gen(int range, int fast, int slow, int mode = -1)
    {
        s.GenOn_Down = true;
        s.Russian = false;
        SetGroupItem(s, Group::GenRange, range, true);
        if (mode >= 0) SetGroupItem(s, Group::GenMode, mode, true);
        s.F_fast = fast;
        s.F_slow = slow;
        a.Post_N = 4000;
    }
    Gen& Compose()
    {
        ComposeGenerator(s, g, a, v);
        UpdateGenPanel(s, g, v);
        return *this;
    }
};

TEST(GenPanelTest, ContinuousWaveFrequencyAndWords)
{
    Gen x = Gen(Gen10K_1S, 10, 5).Compose();
    EXPECT_EQ(x.g.F_Val, 1005u);
    EXPECT_EQ(x.a.Gen_Word_A, 282882352u);
    EXPECT_EQ(x.a.Gen_Mode, 0);
    EXPECT_EQ(x.a.Gen_Shape & 0x0F, 0);  // sine
    EXPECT_EQ(x.v.labelF, "100.50 Hz");

    // 50 MHz needs the service mode; it asks for six digits.
    Gen y(Gen50M_100uS, 1000, 0);
    y.s.Debug_kr = true;
    y.Compose();
    EXPECT_EQ(y.g.F_Val, 500000000u);
    EXPECT_EQ(y.a.Gen_Word_A, PhaseInc(500000000));
    EXPECT_EQ(y.v.labelF, "50.0000 MHz");

    // Both bars at 0: a constant output.
    EXPECT_EQ(Gen(Gen1M_10mS, 0, 0).Compose().a.Gen_Shape & 0x0F, GenShapeConstant);
}

TEST(GenPanelTest, PhaseIncrementRoundsOnce)
{
    EXPECT_EQ(PhaseInc(1000), 281474977u);
    EXPECT_EQ(PhaseInc(100), 28147498u);
    EXPECT_EQ(PhaseInc(10000), 2814749767u);
    EXPECT_EQ(PhaseInc(98765432), 27799997672018u);
}

TEST(GenPanelTest, SweepWordsAndReadout)
{
    Gen x = Gen(Gen1M_10mS, 100, 200, GenSweepMode).Compose();
    EXPECT_EQ(x.g.F_Val, 1000000u);
    EXPECT_EQ(x.g.F_Span, 1000000u);
    EXPECT_EQ(x.a.Gen_Mode, GenModeSweep);
    EXPECT_EQ(x.a.Gen_Word_A, PhaseInc(1000000));
    EXPECT_EQ(x.a.Gen_Word_B, 70368744u);
    EXPECT_EQ(x.v.labelF, "100.0 KHz   ...   200.0 KHz");

    // No noise in sweep: 10 M goes down instead, and the noise button hides.
    Gen n = Gen(GenNoise_10uS, 1, 2, GenSweepMode).Compose();
    EXPECT_EQ(n.s.Sel(Group::GenRange), Gen10M_1mS);
    EXPECT_FALSE(n.v.rangeVisible[GenNoise_10uS]);
    EXPECT_NE(n.a.Gen_Shape & 0x0F, GenShapeNoise);
}

TEST(GenPanelTest, PulseWordsAndReadouts)
{
    Gen x = Gen(Gen10M_1mS, 250, 1000, GenPulseMode).Compose();
    EXPECT_EQ(x.g.Pulse_Width, 25000u);
    EXPECT_EQ(x.g.Pulse_Period, 100000u);
    EXPECT_EQ(x.a.Gen_Mode, GenModePulse);
    EXPECT_EQ(x.a.Gen_Word_A, 99999u);
    EXPECT_EQ(x.a.Gen_Word_B, 25000u);
    EXPECT_EQ(x.v.labelF, "250 uS  /  1.00 mS");
    EXPECT_EQ(x.v.labelPulse, "25.000 %  F = 1.0000 KHz");
    EXPECT_TRUE(x.v.labelPulseVisible);
    EXPECT_EQ(x.v.rangeCaption[Gen10M_1mS], "1 mS");
    EXPECT_FALSE(x.v.shapesVisible);

    Gen zero = Gen(Gen10M_1mS, 0, 0, GenPulseMode).Compose();
    EXPECT_EQ(zero.a.Gen_Word_A, 0u);
    EXPECT_EQ(zero.v.labelPulse, "...    F = ...");

    // Width equal to the period: no frequency.
    EXPECT_EQ(Gen(Gen10M_1mS, 500, 500, GenPulseMode).Compose().v.labelPulse, "100.000 %  F = ...");
}

TEST(GenPanelTest, AmplitudeCodeAndReadout)
{
    struct Case {
        int position, mode;
        std::uint16_t code;
        const char* label;
    };
    const Case cases[] = {
        {47, -1, 4001, "4.000 V"},
        {1997, -1, 101, "100.0 mV"},
        {47, GenAfgMode, 4095, "100.00 %"},
        {1047, GenModMode, 2001, "1.000 V"},  // AM shows half the amplitude
    };
    for (const Case& c : cases) {
        Gen x(Gen10K_1S, 10, 0, c.mode);
        x.s.Ampl = c.position;
        x.Compose();
        EXPECT_EQ(x.a.Gen_Ampl, c.code) << c.position << " mode " << c.mode;
        EXPECT_EQ(x.v.labelV, c.label) << c.position << " mode " << c.mode;
    }
    // The stored default 0 is below the bar: the bar's minimum holds.
    Gen d(Gen10K_1S, 10, 0);
    d.s.Ampl = 0;
    EXPECT_EQ(d.Compose().a.Gen_Ampl, 4001);
}

TEST(GenPanelTest, GeneratorOffKeepsEveryWordButModeAndShape)
{
    Gen on(Gen1M_10mS, 100, 200, GenSweepMode);
    on.s.Mod_Src = ModExtD1;
    on.Compose();
    Gen off = on;
    off.s.GenOn_Down = false;
    off.Compose();
    EXPECT_EQ(off.a.Gen_Mode, 0);
    EXPECT_EQ(off.a.Gen_Shape, GenShapeConstant);
    EXPECT_EQ(off.a.Gen_Word_A, on.a.Gen_Word_A);
    EXPECT_EQ(off.a.Gen_Word_B, on.a.Gen_Word_B);
    EXPECT_EQ(off.a.Gen_Ampl, on.a.Gen_Ampl);
    EXPECT_EQ(off.a.Gen_Mod_Inc, on.a.Gen_Mod_Inc);
    // Switched on again, the shape comes back.
    off.s.GenOn_Down = true;
    EXPECT_EQ(off.Compose().a.Gen_Shape, on.a.Gen_Shape);
}

TEST(GenPanelTest, SourceInversionAndModulatingShapeInEveryMode)
{
    for (int mode : {-1, int(GenSweepMode), int(GenPulseMode), int(GenModMode)}) {
        Gen x(Gen10K_1S, 10, 20, mode);
        x.s.Mod_Src = ModExtD2;
        x.s.Inv = 1;
        x.s.MF_Shape = 3;
        x.Compose();
        EXPECT_EQ(x.a.Gen_Mode & 0xF0, 0x80 | 0x40) << mode;
        EXPECT_EQ(x.a.Gen_Shape >> 4, 3) << mode;
        // Both modulating bars at 0: a constant modulator, unless it is noise.
        x.s.Mod_Freq_Fast = x.s.Mod_Freq_Slow = 0;
        EXPECT_EQ(x.Compose().a.Gen_Shape >> 4, GenShapeConstant) << mode;
        x.s.MF_Shape = ModNoiseShape;
        EXPECT_EQ(x.Compose().a.Gen_Shape >> 4, ModNoiseShape) << mode;
    }
}

TEST(GenPanelTest, PanelRules)
{
    // Outside service mode 50 M is hidden and falls back to 10 M; the high
    // ranges allow the sine only.
    Gen x(Gen50M_100uS, 10, 0);
    SetGroupItem(x.s, Group::GenShape, ShapeRect, true);
    x.Compose();
    EXPECT_EQ(x.s.Sel(Group::GenRange), Gen10M_1mS);
    EXPECT_FALSE(x.v.rangeVisible[Gen50M_100uS]);
    EXPECT_EQ(x.s.Sel(Group::GenShape), ShapeSin);
    EXPECT_TRUE(x.v.shapeEnabled[ShapeSin]);
    EXPECT_FALSE(x.v.shapeEnabled[ShapeRect]);
    EXPECT_EQ(x.v.amplitudeMax, 1997);

    // Noise: no shape, bars disabled, the noise code and read-out.
    Gen n = Gen(GenNoise_10uS, 10, 0).Compose();
    EXPECT_EQ(n.s.Sel(Group::GenShape), -1);
    EXPECT_FALSE(n.v.shapeEnabled[ShapeSin]);
    EXPECT_FALSE(n.v.barsEnabled);
    EXPECT_EQ(n.a.Gen_Shape & 0x0F, GenShapeNoise);
    EXPECT_EQ(n.v.labelF, "Noise (uniform spectrum 0..10 MHz)");
    EXPECT_EQ(n.v.rangeCaption[GenNoise_10uS], "Noise");

    // AFG: range and shape buttons hidden, RUN shown while on, time period read-out.
    Gen f = Gen(Gen10K_1S, 1, 500, GenAfgMode).Compose();
    EXPECT_EQ(f.g.AFG_Period, 1500u);
    EXPECT_EQ(f.a.Gen_Word_B, 1499u);
    EXPECT_EQ(f.a.Gen_Mode, GenModeAfg);
    EXPECT_FALSE(f.v.rangeVisible[0]);
    EXPECT_TRUE(f.v.runVisible);
    EXPECT_TRUE(f.v.afgListVisible);
    EXPECT_TRUE(f.v.labelModVisible);
    EXPECT_EQ(Gen(Gen10K_1S, 0, 0, GenAfgMode).Compose().g.AFG_Period, 1u);

    // Dimmed read-outs while off.
    Gen off(Gen10K_1S, 10, 0);
    off.s.GenOn_Down = false;
    off.Compose();
    EXPECT_EQ(off.v.textColour, BlendColor(off.s.Colors[ColorGridFrame], off.s.Colors[ColorBorder], 3.0));
    EXPECT_EQ(x.v.textColour, x.s.Colors[ColorGridFrame]);
    EXPECT_FALSE(off.v.runVisible);
}

TEST(GenPanelTest, SweepAndPulseKeepFastAtMostSlow)
{
    ScopeSettings s;
    MoveGenBar(s, GenBar::Fast, 700);  // continuous wave: no coupling
    s.F_slow = 100;
    MoveGenBar(s, GenBar::Slow, 100);
    EXPECT_EQ(s.F_fast, 700);

    SetGroupItem(s, Group::GenMode, GenPulseMode, true);
    MoveGenBar(s, GenBar::Fast, 300);
    EXPECT_EQ(s.F_slow, 300);  // pushed up
    MoveGenBar(s, GenBar::Slow, 200);
    EXPECT_EQ(s.F_fast, 200);  // pulled down

    // Entering sweep with fast above slow pushes slow up.
    Gen x(Gen10K_1S, 600, 100, GenSweepMode);
    x.Compose();
    EXPECT_EQ(x.s.F_slow, 600);
    EXPECT_EQ(x.g.F_Span, 0u);
}

}  // namespace
}  // namespace kr40
