#include "generator/gen_panel.h"

#include <algorithm>

#include "acquisition/acq_config.h"
#include "acquisition/scope_settings.h"
#include "core/rounding.h"
#include "core/value_format.h"
#include "generator/gen_modulation.h"

namespace kr40 {

const std::array<GenRangeInfo, GenRangeCount> GenRanges = {{
    {"SpeedButton_10K_1S", {"10 K", "10 K"}, "1 S", 1, 100000},
    {"SpeedButton_100K_100mS", {"100 K", "100 K"}, "0.1 S", 10, 10000},
    {"SpeedButton_1M_10mS", {"1 M", "1 M"}, "10 mS", 100, 1000},
    {"SpeedButton_10M_1mS", {"10 M", "10 M"}, "1 mS", 1000, 100},
    {"SpeedButton_50M_100uS", {"50 M", "50 M"}, "0.1 mS", 5000, 10},
    {"SpeedButton__10uS_Noise", {"Noise", "Шум"}, "10 uS", 0, 1},
}};

const std::array<const char*, GenShapeCount> GenShapeControls = {
    "SpeedButton_Sin", "SpeedButton_Rect", "SpeedButton_Trian", "SpeedButton_Up_Trian", "SpeedButton_Dn_Trian"};

namespace {

// Amplitude as a fraction of full scale (4 V): position 47 is 1.0.
double AmplitudeFraction(const ScopeSettings& s)
{
    return (2047 - s.Ampl) * 0.0005;
}

bool Mode(const ScopeSettings& s, GenModeItem m)
{
    return s.Sel(Group::GenMode) == m;
}

// Fast and slow in one 0..100000 reading (the coarse bar counts hundreds).
int BarReading(const ScopeSettings& s)
{
    return s.F_fast * 100 + s.F_slow;
}

void PanelState(ScopeSettings& s, const AcqConfig&, GenPanelView& v)
{
    int& range = s.Sel(Group::GenRange);
    const bool pulse = Mode(s, GenPulseMode), afg = Mode(s, GenAfgMode);
    v.amplitudeMax = GenServiceMode(s) ? 2047 : 1997;
    // The bar cannot hold a position outside its range (the stored default is 0).
    s.Ampl = std::clamp(s.Ampl, 47, v.amplitudeMax);

    if (pulse || afg) {
        v.runVisible = afg && s.GenOn_Down;
        v.afgListVisible = afg;
        v.rangeVisible.fill(pulse);
        v.barsEnabled = true;
        v.shapesVisible = false;
        v.shapeEnabled.fill(false);
        for (int i = 0; i < GenRangeCount; ++i) v.rangeCaption[i] = GenRanges[i].timeCaption;
        return;
    }

    v.runVisible = v.afgListVisible = false;
    if (!GenServiceMode(s) && range == Gen50M_100uS) range = Gen10M_1mS;
    if (Mode(s, GenSweepMode) && range == GenNoise_10uS) range = Gen10M_1mS;
    v.rangeVisible.fill(true);
    v.rangeVisible[Gen50M_100uS] = GenServiceMode(s);
    v.rangeVisible[GenNoise_10uS] = !Mode(s, GenSweepMode);

    const bool noise = range == GenNoise_10uS;
    v.barsEnabled = !noise;
    v.shapesVisible = true;
    if (range == Gen10M_1mS || range == Gen50M_100uS || noise) {
        // Only the sine at the high ranges; noise has no shape at all.
        SetGroupItem(s, Group::GenShape, ShapeSin, !noise);
        v.shapeEnabled.fill(false);
        v.shapeEnabled[ShapeSin] = !noise;
    } else {
        v.shapeEnabled.fill(true);
    }
    for (int i = 0; i < GenRangeCount; ++i) v.rangeCaption[i] = Tr(GenRanges[i].freqCaption, s.Russian);
}

}  // namespace

std::uint64_t PhaseInc(double tenthsOfHz)
{
    // f × 2^48 is exact in double; one division rounds once.
    return static_cast<std::uint64_t>(tenthsOfHz * 281474976710656.0 / 1e9 + 0.5);
}

bool GenServiceMode(const ScopeSettings& s)
{
    return s.Debug_kr || s.No_Excuse;
}

void ComposeGenerator(ScopeSettings& s, GenValues& g, AcqConfig& a, GenPanelView& v)
{
    const bool sweep = Mode(s, GenSweepMode), pulse = Mode(s, GenPulseMode);
    const bool afg = Mode(s, GenAfgMode), mod = Mode(s, GenModMode);
    if ((sweep || pulse) && s.F_slow < s.F_fast) s.F_slow = s.F_fast;
    PanelState(s, a, v);

    const int range = std::clamp(s.Sel(Group::GenRange), 0, GenRangeCount - 1);
    const bool noise = !pulse && !afg && range == GenNoise_10uS;
    // The noise button has no frequency factor: its bars are disabled and
    // the frequency read-out says "Noise".
    const std::uint32_t R = static_cast<std::uint32_t>(GenRanges[range].R);
    const std::uint32_t P = static_cast<std::uint32_t>(GenRanges[range].P);
    const auto fast = static_cast<std::uint32_t>(s.F_fast), slow = static_cast<std::uint32_t>(s.F_slow);

    // 1. The quantities of the current mode.
    if (sweep) {
        g.F_Val = fast * 100 * R;
        g.F_Span = (slow - fast) * 100 * R;
    } else if (pulse) {
        g.Pulse_Width = fast * P;
        g.Pulse_Period = slow * P;
    } else if (afg) {
        g.AFG_Period = std::max<std::uint32_t>(fast * 1000 + slow, 1);
    } else {
        g.F_Val = (fast * 100 + slow) * R;
        g.F_Span = 0;
    }

    // 2.-4. Amplitude, carrier shape, carrier increment.
    a.Gen_Ampl = static_cast<std::uint16_t>(RoundHalfAway(AmplitudeFraction(s) * (afg ? 4094 : 4000) + 1));
    if (const int shape = s.Sel(Group::GenShape); shape >= 0 && shape < GenShapeCount) g.shape = GenShapeCodes[shape];
    if (noise) g.shape = GenShapeNoise;
    a.Gen_Word_A = PhaseInc(g.F_Val);

    // 5.-6. By mode.
    const bool zero = s.F_fast == 0 && s.F_slow == 0 && !noise;
    if (sweep) {
        if (zero) g.shape = GenShapeConstant;
        a.Gen_Mode = GenModeSweep;
        a.Gen_Word_B =
            a.Post_N == 0
                ? 0
                : static_cast<std::uint64_t>(static_cast<double>(g.F_Span) * 281474976710656.0 / 1e9 / a.Post_N + 0.5);
    } else if (pulse) {
        a.Gen_Mode = GenModePulse;
        a.Gen_Word_A = g.Pulse_Period == 0 ? 0 : g.Pulse_Period - 1;
        a.Gen_Word_B = g.Pulse_Width;
    } else if (afg) {
        a.Gen_Mode = GenModeAfg;
        a.Gen_Word_B = g.AFG_Period - 1;
        a.Gen_Word_A = g.afgStart;
    } else if (mod) {
        a.Gen_Shape = g.shape;
        ComposeModulationWords(s, zero, a);
        g.shape = a.Gen_Shape;
    } else {
        if (zero) g.shape = GenShapeConstant;
        a.Gen_Mode = GenModeCw;
    }

    // 7. Source and inversion bits, in every mode.
    if (s.Mod_Src >= ModExtA1 && s.Mod_Src <= ModExtD2) a.Gen_Mode |= static_cast<std::uint8_t>(s.Mod_Src << 4);
    if (s.Inv != 0) a.Gen_Mode |= 0x80;

    // 8. Zero levels.
    a.Gen_Zero_A1 = static_cast<std::uint8_t>(s.A1_Zero);
    a.Gen_Zero_A2 = static_cast<std::uint8_t>(s.A2_Zero);

    // 9. The modulating shape, in every mode: constant when its bars are at 0.
    const int modShape =
        (s.Mod_Freq_Fast == 0 && s.Mod_Freq_Slow == 0 && s.MF_Shape != ModNoiseShape) ? GenShapeConstant : s.MF_Shape;
    g.shape = static_cast<std::uint8_t>((g.shape & 0x0F) | (modShape << 4));
    a.Gen_Shape = g.shape;

    // 10. Output off: only mode and shape say so.
    if (!s.GenOn_Down) {
        a.Gen_Mode = GenModeCw;
        a.Gen_Shape = GenShapeConstant;
    }
}

void UpdateGenPanel(const ScopeSettings& s, const GenValues& g, GenPanelView& v)
{
    const std::uint32_t border = s.Colors[ColorBorder], frame = s.Colors[ColorGridFrame];
    v.background = border;
    v.textColour = s.GenOn_Down ? frame : BlendColor(frame, border, 3.0);
    const bool sweep = Mode(s, GenSweepMode), pulse = Mode(s, GenPulseMode);
    const bool afg = Mode(s, GenAfgMode), mod = Mode(s, GenModMode);
    v.labelModVisible = mod || afg;
    v.labelPulseVisible = pulse;

    if (sweep) {
        v.labelF = FormatValue(g.F_Val * 0.1, UnitKind::Frequency, -4) + "   ...   " +
                   FormatValue((static_cast<double>(g.F_Val) + g.F_Span) * 0.1, UnitKind::Frequency, -4);
    } else if (pulse) {
        v.labelF = FormatValue(g.Pulse_Width * 10.0, UnitKind::Time, -3) + "  /  " +
                   FormatValue(g.Pulse_Period * 10.0, UnitKind::Time, -3);
    } else if (afg) {
        v.labelF = TickTimeText(g.AFG_Period, s.TDC_Clbr);
    } else if (s.Sel(Group::GenRange) == GenNoise_10uS) {
        v.labelF = mod ? "Noise" : "Noise (uniform spectrum 0..10 MHz)";
    } else {
        const int digits = (BarReading(s) >= 100000 || g.F_Val >= 100000000u) ? -6 : -5;
        v.labelF = FormatValue(g.F_Val * 0.1, UnitKind::Frequency, digits);
    }
    if (mod) v.labelMod = ModReadout(s);
    if (afg) v.labelMod = g.afgLabel;

    if (pulse) {
        const std::uint32_t w = g.Pulse_Width, p = g.Pulse_Period;
        v.labelPulse = p != 0 ? FixedText(w * 100.0 / p, 3) + " %  " : "...    ";
        if (p != 0 && p != w && w != 0)
            v.labelPulse += "F = " + FormatValue(1e8 / p, UnitKind::Frequency, -5);
        else
            v.labelPulse += "F = ...";
    }

    double percent = (2047 - s.Ampl) * 100 * 0.0005;
    if (mod && (s.Mod_Type == ModAm || s.Mod_Type == ModSum)) percent /= 2;
    v.labelV = afg ? FixedText(percent, 2) + " %" : FormatValue(40000 * percent, UnitKind::Voltage, -4);
}

void MoveGenBar(ScopeSettings& s, GenBar bar, int value)
{
    const bool coupled = Mode(s, GenSweepMode) || Mode(s, GenPulseMode);
    if (bar == GenBar::Fast) {
        s.F_fast = value;
        if (coupled && s.F_slow < value) s.F_slow = value;
    } else {
        s.F_slow = value;
        if (coupled && s.F_fast > value) s.F_fast = value;
    }
}

}  // namespace kr40
