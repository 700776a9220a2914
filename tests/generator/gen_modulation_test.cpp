#include "generator/gen_modulation.h"

#include <gtest/gtest.h>

#include "acquisition/acq_config.h"
#include "acquisition/scope_settings.h"
#include "generator/gen_panel.h"

namespace kr40 {
namespace {

// Modulation mode at 10 kHz on full amplitude, the modulator at 100 Hz.
struct Mod {
    ScopeSettings s;
    GenValues g;
    AcqConfig a;
    GenPanelView v;

    explicit Mod(int type, int source = ModInternal)
    {
        s.GenOn_Down = true;
        s.Russian = false;
        SetGroupItem(s, Group::GenRange, Gen1M_10mS, true);
        SetGroupItem(s, Group::GenMode, GenModMode, true);
        s.F_fast = 1;
        s.F_slow = 0;
        s.Ampl = 47;
        s.Mod_Type = type;
        s.Mod_Src = source;
        s.Mod_Freq_Fast = 10;
        s.Mod_Freq_Slow = 0;
        s.MF_Mult = 1;
        s.Mod_Param = 700;
    }
    Mod& Compose()
    {
        ComposeGenerator(s, g, a, v);
        UpdateGenPanel(s, g, v);
        return *this;
    }
};

TEST(GenModulationTest, WordsByTypeAndSource)
{
    struct Case {
        int type, source, param, dfMult;
        std::uint8_t mode;
        std::uint64_t wordB;
        const char* readout;
    };
    const Case cases[] = {
        {ModAm, ModInternal, 700, 1, GenModeAm, 22405, "AM 70.0%   Fmod 100.00 Hz"},
        {ModAm, ModExtA1, 700, 1, GenModeAm | 0x10, 89622, "AM 17.500% / Div   CH A1"},
        {ModAm, ModExtD1, 700, 1, GenModeAm | 0x30, 22405, "AM 70.0%   CH D1"},  // D1 words as internal
        {ModFm, ModInternal, 500, 10, GenModeFm, 33571, "FM 50.0 KHz   Fmod 100.00 Hz"},
        {ModFm, ModExtA2, 500, 10, GenModeFm | 0x20, 53687, "FM 10.00 KHz / Div   CH A2"},
        {ModSum, ModInternal, 700, 1, GenModeSum, 22937, "SUM 70.0%   Fmod 100.00 Hz"},
        {ModSum, ModExtA2, 700, 1, GenModeSum | 0x20, 91750, "SUM 17.500% / Div   CH A2"},
    };
    for (const Case& c : cases) {
        Mod m(c.type, c.source);
        m.s.Mod_Param = c.param;
        m.s.DF_Mult = c.dfMult;
        m.Compose();
        EXPECT_EQ(m.a.Gen_Ampl, 4001);
        EXPECT_EQ(m.a.Gen_Mode, c.mode) << c.readout;
        EXPECT_EQ(m.a.Gen_Word_B, c.wordB) << c.readout;
        EXPECT_EQ(m.a.Gen_Mod_Inc, 281474977u) << c.readout;
        EXPECT_EQ(m.v.labelMod, c.readout);
        EXPECT_TRUE(m.v.labelModVisible);
    }
}

TEST(GenModulationTest, ZeroFrequencyCarrierAndNoiseModulator)
{
    for (int type : {ModAm, ModSum, ModFm}) {
        Mod m(type);
        m.s.F_fast = m.s.F_slow = 0;
        m.Compose();
        EXPECT_EQ(m.a.Gen_Shape & 0x0F, type == ModFm ? 0 : GenShapeConstantAm) << type;
    }
    Mod n(ModAm);
    n.s.MF_Shape = ModNoiseShape;
    EXPECT_EQ(n.Compose().v.labelMod, "AM 70.0%   Noise ");
    EXPECT_EQ(n.a.Gen_Shape >> 4, ModNoiseShape);
}

TEST(GenModulationTest, DialogTextsAndEnabling)
{
    Mod m(ModAm);
    GenModModel d;
    EXPECT_EQ(d.Show(m.s).call, SettingsCall::Apply);
    EXPECT_EQ(d.labelModFreq, "Mod. Sig. Freq. = 100.00 Hz");
    EXPECT_EQ(d.labelModParam, "K AM = 70.0%");
    EXPECT_FALSE(d.deviationEnabled);
    EXPECT_EQ(d.deviationCaption[0], "10K");

    // "10 M" forces the sine and disables the other shapes.
    d.Change(m.s, ModControl::Shape, 1);
    EXPECT_EQ(m.s.MF_Shape, 3);
    d.Change(m.s, ModControl::Range, 3);
    EXPECT_EQ(m.s.MF_Mult, 1000);
    EXPECT_EQ(d.shape, 0);
    EXPECT_EQ(m.s.MF_Shape, 0);
    EXPECT_TRUE(d.shapeEnabled[0]);
    EXPECT_FALSE(d.shapeEnabled[1]);

    // Noise disables every shape and keeps the multiplier.
    d.Change(m.s, ModControl::Noise, 1);
    EXPECT_EQ(m.s.MF_Shape, ModNoiseShape);
    EXPECT_EQ(m.s.MF_Mult, 1000);
    for (bool e : d.shapeEnabled) EXPECT_FALSE(e);
    EXPECT_EQ(d.labelModFreq, "Mod. Sig. Freq. = Noise");

    // An analog source: per-division texts, the internal controls disabled.
    m.s.Russian = true;
    d.Change(m.s, ModControl::Type, ModFm);
    d.Change(m.s, ModControl::Source, ModExtA2);
    EXPECT_FALSE(d.internalControlsEnabled);
    EXPECT_TRUE(d.deviationEnabled);
    EXPECT_EQ(d.deviationCaption[1], "20K");
    EXPECT_EQ(d.labelModParam, "Девиация ЧМ = 1.400 KHz / Дел");

    d.Change(m.s, ModControl::Type, ModSum);
    EXPECT_EQ(d.labelModFreq, "Частота сум. сигнала = Шум");
}

TEST(GenModulationTest, ShowLoadsAndCancelRestoresAllNine)
{
    Mod m(ModFm, ModExtD2);
    m.s.Inv = 1;
    m.s.MF_Mult = 5000;  // 50 M outside service mode opens as 10 M
    m.s.MF_Shape = 4;
    m.s.DF_Mult = 10;
    const ScopeSettings before = m.s;
    GenModModel d;
    d.Show(m.s);
    EXPECT_EQ(d.range, 3);
    EXPECT_FALSE(d.range50MVisible);
    EXPECT_EQ(d.shape, 0);  // 10 M: sine only
    EXPECT_EQ(d.deviation, 1);
    EXPECT_TRUE(d.inv);

    d.Change(m.s, ModControl::Inv, 0);
    d.Change(m.s, ModControl::FreqFast, 55);
    d.Change(m.s, ModControl::Param, 3);
    d.Change(m.s, ModControl::Deviation, 0);
    EXPECT_EQ(m.s.Inv, 0);
    EXPECT_EQ(d.Cancel(m.s).call, SettingsCall::Apply);
    EXPECT_EQ(m.s.Inv, before.Inv);
    EXPECT_EQ(m.s.Mod_Type, before.Mod_Type);
    EXPECT_EQ(m.s.Mod_Src, before.Mod_Src);
    EXPECT_EQ(m.s.Mod_Freq_Fast, before.Mod_Freq_Fast);
    EXPECT_EQ(m.s.Mod_Freq_Slow, before.Mod_Freq_Slow);
    EXPECT_EQ(m.s.MF_Mult, before.MF_Mult);
    EXPECT_EQ(m.s.MF_Shape, before.MF_Shape);
    EXPECT_EQ(m.s.Mod_Param, before.Mod_Param);
    EXPECT_EQ(m.s.DF_Mult, before.DF_Mult);

    // Changes are ignored under the loading guard.
    d.loading = true;
    EXPECT_EQ(d.Change(m.s, ModControl::Param, 9).call, SettingsCall::None);
    EXPECT_EQ(m.s.Mod_Param, before.Mod_Param);
}

}  // namespace
}  // namespace kr40
