#include "generator/gen_modulation.h"

#include <algorithm>

#include "acquisition/acq_config.h"
#include "acquisition/scope_settings.h"
#include "core/value_format.h"
#include "generator/gen_panel.h"

namespace kr40 {

const std::array<ModRangeInfo, ModRangeCount> ModRanges = {{
    {"SpeedButton_MF_10K", "10 K", 1},
    {"SpeedButton_MF_100K", "100 K", 10},
    {"SpeedButton_MF_1M", "1 M", 100},
    {"SpeedButton_MF_10M", "10 M", 1000},
    {"SpeedButton_MF_50M", "50 M", 5000},
}};

const std::array<ModShapeInfo, ModShapeCount> ModShapes = {{
    {"SpeedButton_MF_Sin", 0},
    {"SpeedButton_MF_Rect", 3},
    {"SpeedButton_MF_Trian", 4},
    {"SpeedButton_MF_Up_Trian", 1},
    {"SpeedButton_MF_Dn_Trian", 2},
}};

const std::vector<ModCaption>& ModDialogCaptions()
{
    static const std::vector<ModCaption> captions = {
        {"Label_Mod_Type", {"Modulation Type", "Тип модуляции"}},
        {"SpeedButton_AM", {"AM", "AM"}},
        {"SpeedButton_FM", {"FM", "ЧМ"}},
        {"SpeedButton_Sum", {"SUM", "СУМ"}},
        {"Label_Mod_Src", {"Modulation Signal Source", "Источник модулирующего сигнала"}},
        {"SpeedButton_Int_Src", {"Int", "Внутр."}},
        {"SpeedButton_ESrc_A1", {"A1", "A1"}},
        {"SpeedButton_ESrc_A2", {"A2", "A2"}},
        {"SpeedButton_ESrc_D1", {"D1", "D1"}},
        {"SpeedButton_ESrc_D2", {"D2", "D2"}},
        {"CheckBox_Inv", {"Inversion", "Инверсия"}},
        {"SpeedButton_MF_Noise", {"Noise", "Шум"}},
        {"Button_OK", {"OK", "OK"}},
        {"Button_Cancel", kCancelText},
    };
    return captions;
}

namespace {

constexpr double kModWordPerMille = 32.76775;
constexpr double kFmWordExt = 10.73741824;        // 2^30 / 10^8
constexpr double kFmWordInt = 6.714164800781632;  // the same × 2560 / 4094
constexpr TextPair kPerDiv = {" / Div", " / Дел"};
constexpr TextPair kFreqSum = {"Sum. Sig. Freq. = ", "Частота сум. сигнала = "};
constexpr TextPair kFreqMod = {"Mod. Sig. Freq. = ", "Частота мод. сигнала = "};
constexpr std::array<TextPair, 3> kParamPrefix = {{
    {"K AM = ", "Коэффициент АМ = "},
    {"Dev. FM = ", "Девиация ЧМ = "},
    {"Sum. Level = ", "Уровень сум. сигнала = "},
}};
constexpr std::array<const char*, 3> kReadoutPrefix = {"AM ", "FM ", "SUM "};
constexpr std::array<const char*, 5> kSourceNames = {"", "   CH A1", "   CH A2", "   CH D1", "   CH D2"};

// FM deviation DF in 10 Hz steps.
double Deviation(const ScopeSettings& s)
{
    return static_cast<double>(s.Mod_Param) * s.DF_Mult;
}

// The nine fields the dialog edits, for Cancel.
std::array<int, 9> ModFields(const ScopeSettings& s)
{
    return {s.Mod_Type, s.Mod_Src,  s.Inv,       s.Mod_Freq_Fast, s.Mod_Freq_Slow,
            s.MF_Mult,  s.MF_Shape, s.Mod_Param, s.DF_Mult};
}

void SetModFields(ScopeSettings& s, const std::array<int, 9>& f)
{
    s.Mod_Type = f[0], s.Mod_Src = f[1], s.Inv = f[2], s.Mod_Freq_Fast = f[3], s.Mod_Freq_Slow = f[4];
    s.MF_Mult = f[5], s.MF_Shape = f[6], s.Mod_Param = f[7], s.DF_Mult = f[8];
}

SettingsEffect ApplyEffect()
{
    SettingsEffect e;
    e.call = SettingsCall::Apply;
    return e;
}

}  // namespace

double ModFrequency(const ScopeSettings& s)
{
    return (static_cast<double>(s.Mod_Freq_Fast) * 100 + s.Mod_Freq_Slow) * s.MF_Mult;
}

bool ModExternalAnalog(const ScopeSettings& s)
{
    return s.Mod_Src == ModExtA1 || s.Mod_Src == ModExtA2;
}

void ComposeModulationWords(const ScopeSettings& s, bool zeroFrequency, AcqConfig& a)
{
    const bool ext = ModExternalAnalog(s);
    const double scale = ext ? 4 : 1;
    a.Gen_Mod_Inc = PhaseInc(ModFrequency(s));
    const auto constantCarrier = [&] {
        if (zeroFrequency) a.Gen_Shape = static_cast<std::uint8_t>((a.Gen_Shape & 0xF0) | GenShapeConstantAm);
    };
    switch (s.Mod_Type) {
        case ModAm:
            constantCarrier();
            a.Gen_Mode = GenModeAm;
            a.Gen_Word_B = static_cast<std::uint64_t>(s.Mod_Param * kModWordPerMille * a.Gen_Ampl / 4096 * scale + 0.5);
            break;
        case ModFm:
            a.Gen_Mode = GenModeFm;
            a.Gen_Word_B = static_cast<std::uint64_t>(Deviation(s) * (ext ? kFmWordExt : kFmWordInt) + 0.5);
            break;
        default:
            constantCarrier();
            a.Gen_Mode = GenModeSum;
            a.Gen_Word_B = static_cast<std::uint64_t>(s.Mod_Param * kModWordPerMille * scale + 0.5);
            break;
    }
}

std::string ModParamValueText(const ScopeSettings& s, bool russian)
{
    const bool ext = ModExternalAnalog(s);
    if (s.Mod_Type == ModFm) {
        return ext ? FormatValue(Deviation(s) * 10 * 0.2, UnitKind::Frequency, -4) + Tr(kPerDiv, russian)
                   : FormatValue(Deviation(s) * 10, UnitKind::Frequency, -3);
    }
    return ext ? FixedText(s.Mod_Param * 0.025, 3) + "%" + Tr(kPerDiv, russian) : FixedText(s.Mod_Param * 0.1, 1) + "%";
}

std::string ModFrequencyText(const ScopeSettings& s)
{
    const double mf = ModFrequency(s);
    const int digits = (s.Mod_Freq_Fast * 100 + s.Mod_Freq_Slow >= 100000 || mf >= 1e8) ? -6 : -5;
    return FormatValue(mf * 0.1, UnitKind::Frequency, digits);
}

std::string ModReadout(const ScopeSettings& s)
{
    const int type = std::clamp(s.Mod_Type, 0, 2);
    std::string text = kReadoutPrefix[type] + ModParamValueText(s, false);
    if (s.Mod_Src >= ModExtA1 && s.Mod_Src <= ModExtD2)
        text += kSourceNames[s.Mod_Src];
    else if (s.MF_Shape == ModNoiseShape)
        text += "   Noise ";
    else
        text += "   Fmod " + ModFrequencyText(s);
    return text;
}

// ---------------------------------------------------------------------------
// Form_GeneratorSet

SettingsEffect GenModModel::Show(ScopeSettings& s)
{
    opened_ = ModFields(s);
    loading = true;
    range50MVisible = GenServiceMode(s);
    type = std::clamp(s.Mod_Type, 0, 2);
    source = std::clamp(s.Mod_Src, 0, 4);
    inv = s.Inv != 0;
    freqFast = s.Mod_Freq_Fast;
    freqSlow = s.Mod_Freq_Slow;
    range = 0;
    for (int i = 0; i < ModRangeCount; ++i)
        if (ModRanges[i].mult == s.MF_Mult) range = i;
    if (range == ModRangeCount - 1 && !range50MVisible) {
        range = ModRangeCount - 2;
        s.MF_Mult = ModRanges[range].mult;
    }
    noise = s.MF_Shape == ModNoiseShape;
    shape = -1;
    for (int i = 0; i < ModShapeCount; ++i)
        if (ModShapes[i].code == s.MF_Shape) shape = i;
    param = s.Mod_Param;
    deviation = s.DF_Mult == 10 ? 1 : 0;
    loading = false;
    return Update(s);
}

SettingsEffect GenModModel::Change(ScopeSettings& s, ModControl control, int value)
{
    if (loading) return {};
    switch (control) {
        case ModControl::Type:
            type = std::clamp(value, 0, 2);
            s.Mod_Type = type;
            break;
        case ModControl::Source:
            source = std::clamp(value, 0, 4);
            s.Mod_Src = source;
            break;
        case ModControl::Inv:
            inv = value != 0;
            s.Inv = inv ? 1 : 0;
            break;
        case ModControl::FreqFast:
            freqFast = std::clamp(value, 0, 1000);
            s.Mod_Freq_Fast = freqFast;
            break;
        case ModControl::FreqSlow:
            freqSlow = std::clamp(value, 0, 1000);
            s.Mod_Freq_Slow = freqSlow;
            break;
        case ModControl::Range:
            // The range buttons and the noise button are one group.
            range = std::clamp(value, 0, ModRangeCount - 1);
            noise = false;
            s.MF_Mult = ModRanges[range].mult;
            break;
        case ModControl::Noise:
            noise = true;
            break;
        case ModControl::Shape:
            shape = std::clamp(value, 0, ModShapeCount - 1);
            break;
        case ModControl::Param:
            param = std::clamp(value, 0, 1000);
            s.Mod_Param = param;
            break;
        case ModControl::Deviation:
            deviation = value != 0 ? 1 : 0;
            s.DF_Mult = deviation ? 10 : 1;
            break;
    }
    return Update(s);
}

SettingsEffect GenModModel::Update(ScopeSettings& s)
{
    if (loading) return {};
    const bool internal = source == ModInternal;
    labelModFreq = Tr(type == ModSum ? kFreqSum : kFreqMod, s.Russian) +
                   (noise ? Tr({"Noise", "Шум"}, s.Russian) : ModFrequencyText(s));
    labelModParam = Tr(kParamPrefix[type], s.Russian) + ModParamValueText(s, s.Russian);
    const bool ext = ModExternalAnalog(s);
    deviationCaption = {ext ? "2K" : "10K", ext ? "20K" : "100K"};

    internalControlsEnabled = internal;
    const bool high = !noise && (range == 3 || range == 4);  // "10 M" or "50 M"
    if (high) shape = 0;
    shapeEnabled.fill(internal && !noise && !high);
    shapeEnabled[0] = internal && !noise;
    deviationEnabled = type == ModFm;

    if (shape >= 0) s.MF_Shape = ModShapes[shape].code;
    if (noise) s.MF_Shape = ModNoiseShape;
    return ApplyEffect();
}

SettingsEffect GenModModel::Cancel(ScopeSettings& s)
{
    SetModFields(s, opened_);
    return ApplyEffect();
}

}  // namespace kr40
