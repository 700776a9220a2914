#pragma once
// Modulation of the generator's carrier (AM, FM, sum) from its own second
// oscillator or from an input: the nine modulation settings, their words in
// AcqConfig, the read-out of Label_Mod, and Form_GeneratorSet as a plain
// model that the Qt dialog copies into its widgets.

#include <array>
#include <string>
#include <vector>

#include "acquisition/settings_effect.h"
#include "core/texts.h"

namespace kr40 {

struct ScopeSettings;
struct AcqConfig;

enum ModType : int { ModAm = 0, ModFm = 1, ModSum = 2 };
enum ModSource : int { ModInternal = 0, ModExtA1, ModExtA2, ModExtD1, ModExtD2 };
inline constexpr int ModNoiseShape = 7;

// Modulating frequency MF in 0.1 Hz: (Mod_Freq_Fast × 100 + Mod_Freq_Slow) × MF_Mult.
double ModFrequency(const ScopeSettings& s);
// An analog input modulates: settings are per division of that input.
bool ModExternalAnalog(const ScopeSettings& s);

// The modulation words (the modulation branch of the generator words): Gen_Mod_Inc,
// Gen_Mode low nibble 2/3/4, Gen_Word_B, and the constant carrier under AM and
// sum when `zeroFrequency`. Gen_Ampl must be composed already.
void ComposeModulationWords(const ScopeSettings& s, bool zeroFrequency, AcqConfig& a);

// The depth, deviation or level as text: "70.0%", "17.500% / Div",
// "50.00 KHz", "10.00 KHz / Div" (the per-division suffix in the language).
std::string ModParamValueText(const ScopeSettings& s, bool russian);
// The modulating frequency as text, with six digits from 10^7 Hz or a coarse
// bar position of 1000.
std::string ModFrequencyText(const ScopeSettings& s);
// Label_Mod in modulation mode: "AM 70.0%   Fmod 100.00 Hz", "FM ...   CH A2".
std::string ModReadout(const ScopeSettings& s);

// Form_GeneratorSet's controls.
enum class ModControl {
    Type,       // SpeedButton_AM / _FM / _Sum: value = ModType
    Source,     // SpeedButton_Int_Src, _ESrc_A1 .. _ESrc_D2: value = ModSource
    Inv,        // CheckBox_Inv: 0 / 1
    FreqFast,   // ScrollBar_MF_Fast: 0..1000
    FreqSlow,   // ScrollBar_MF_Slow: 0..1000
    Range,      // SpeedButton_MF_10K .. _50M: value = index into ModRanges
    Noise,      // SpeedButton_MF_Noise: value ignored (it goes down)
    Shape,      // SpeedButton_MF_Sin, _Rect, _Trian, _Up_Trian, _Dn_Trian: value = index into ModShapes
    Param,      // ScrollBar_Mod_Param: 0..1000
    Deviation,  // SpeedButton_Dev_10K / _100K: value 0 / 1
};

struct ModRangeInfo {
    const char* control;
    const char* caption;
    int mult;  // MF_Mult
};
inline constexpr int ModRangeCount = 5;
extern const std::array<ModRangeInfo, ModRangeCount> ModRanges;

// The shape buttons in the order the dialog looks for the one that is down,
// with their MF_Shape codes.
struct ModShapeInfo {
    const char* control;
    int code;
};
inline constexpr int ModShapeCount = 5;
extern const std::array<ModShapeInfo, ModShapeCount> ModShapes;

// Every fixed text of the dialog: control name and its two captions.
struct ModCaption {
    const char* control;
    TextPair text;
};
const std::vector<ModCaption>& ModDialogCaptions();
inline constexpr TextPair kModDialogTitle = {"Generator Modulation Settings", "Установки модуляции генератора"};

struct GenModModel {
    // What the controls show.
    int type = ModAm, source = ModInternal;
    bool inv = false;
    int freqFast = 0, freqSlow = 0, param = 0;
    int range = 0;       // the range button of MF_Mult; shown down while noise is up
    bool noise = false;  // SpeedButton_MF_Noise
    int shape = 0;       // index into ModShapes of the button down, -1 = none
    int deviation = 0;   // 0 = SpeedButton_Dev_10K, 1 = _100K
    bool range50MVisible = false;

    // Texts and enabling, written by Update.
    std::string labelModFreq, labelModParam;
    std::array<std::string, 2> deviationCaption;
    bool internalControlsEnabled = true;  // Label_ModFreq, range and noise buttons, both frequency bars
    std::array<bool, ModShapeCount> shapeEnabled{};
    bool deviationEnabled = false;

    bool loading = false;

    // FormShow: keeps the nine fields for Cancel, loads every control from the
    // settings (a 50 M range outside service mode becomes 10 M) and runs
    // Update. Returns its effect.
    SettingsEffect Show(ScopeSettings& s);
    // A control changed: stores it and runs Update (nothing while loading).
    SettingsEffect Change(ScopeSettings& s, ModControl control, int value);
    // UpdateModDialog: texts, enabling, MF_Shape from the shape buttons; Apply.
    SettingsEffect Update(ScopeSettings& s);
    // Cancel: the nine fields as they were when the dialog opened; Apply.
    SettingsEffect Cancel(ScopeSettings& s);

private:
    std::array<int, 9> opened_{};
};

}  // namespace kr40
