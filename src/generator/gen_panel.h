#pragma once
// The generator panel as plain code: the range table, the quantities the two
// frequency bars and the amplitude bar stand for, the panel's visibility and
// enabling rules, the generator words of AcqConfig and the read-out texts of
// Panel_Gen. ComposeGenerator runs inside ComposeAcqConfig; the window copies
// the resulting GenPanelView into its widgets.

#include <array>
#include <cstdint>
#include <string>

#include "core/texts.h"

namespace kr40 {

struct ScopeSettings;
struct AcqConfig;

// One range button: frequency caption and factor R (0.1 Hz per bar step, ×100
// on the coarse bar), time caption and factor P (10 ns per bar step) in the
// pulse and AFG modes. The last button is the noise button outside pulse mode.
struct GenRangeInfo {
    const char* control;
    TextPair freqCaption;
    const char* timeCaption;
    int R;  // 0 for the noise button
    int P;
};
inline constexpr int GenRangeCount = 6;
extern const std::array<GenRangeInfo, GenRangeCount> GenRanges;

inline constexpr int GenShapeCount = 5;
// The shape buttons in the order of GenShapeItem, and their Gen_Shape codes.
extern const std::array<const char*, GenShapeCount> GenShapeControls;
inline constexpr std::array<std::uint8_t, GenShapeCount> GenShapeCodes = {0, 3, 4, 1, 2};

// Gen_Mode low nibble and Gen_Shape codes the panel writes.
enum : std::uint8_t {
    GenModeCw = 0,
    GenModeSweep = 1,
    GenModeAm = 2,
    GenModeFm = 3,
    GenModeSum = 4,
    GenModeAfg = 6,
    GenModePulse = 7,
    GenShapeConstant = 5,    // zero frequency, or output off
    GenShapeConstantAm = 6,  // zero-frequency carrier under AM or sum
    GenShapeNoise = 7,
};

// Phase increment of a frequency in 0.1 Hz for the 48-bit accumulator at
// 100 MHz: trunc(f × 2^48 / 10^9 + 0.5).
std::uint64_t PhaseInc(double tenthsOfHz);

// The values derived from the bars. Each is updated only in its own mode; the
// others keep their last values.
struct GenValues {
    std::uint32_t F_Val = 0;         // 0.1 Hz
    std::uint32_t F_Span = 0;        // 0.1 Hz, sweep only
    std::uint32_t Pulse_Width = 0;   // 10 ns
    std::uint32_t Pulse_Period = 0;  // 10 ns
    std::uint32_t AFG_Period = 1;    // AFG step period, at least 1
    std::uint64_t afgStart = 0;      // Gen_Word_A in AFG mode: the script's trigger-mark address
    std::string afgLabel;            // Label_Mod in AFG mode (the script's name or status)
    std::uint8_t shape = 0;          // last composed Gen_Shape before the off override
};

// What the generator panel's widgets show, decided by ComposeGenerator and
// UpdateGenPanel.
struct GenPanelView {
    std::array<bool, GenRangeCount> rangeVisible{};
    std::array<std::string, GenRangeCount> rangeCaption;
    bool shapesVisible = true;
    std::array<bool, GenShapeCount> shapeEnabled{};
    bool barsEnabled = true;
    bool runVisible = false;      // SpeedButton_GenRun and Panel_AFG_Run
    bool afgListVisible = false;  // ComboBox_AFG
    int amplitudeMax = 1997;      // ScrollBar_Amplitude

    // Panel_Gen read-outs.
    std::string labelF, labelV, labelMod, labelPulse;
    bool labelModVisible = false, labelPulseVisible = false;
    std::uint32_t background = 0, textColour = 0;  // 0x00BBGGRR
};

// Service mode: the 50 M range and the full amplitude bar are offered.
bool GenServiceMode(const ScopeSettings& s);

// The panel rules and the generator words (composition step 24): may move
// the range and shape selections the rules forbid, and in sweep and pulse
// mode keeps F_fast <= F_slow. Needs Post_N and the zero levels composed.
void ComposeGenerator(ScopeSettings& s, GenValues& g, AcqConfig& a, GenPanelView& v);

// The read-out texts and colours of Panel_Gen for the composed values.
void UpdateGenPanel(const ScopeSettings& s, const GenValues& g, GenPanelView& v);

// A frequency bar moved to `value`. In sweep and pulse mode the other bar
// follows so that fast <= slow: fast above slow pushes slow up, slow below
// fast pulls fast down.
enum class GenBar { Fast, Slow };
void MoveGenBar(ScopeSettings& s, GenBar bar, int value);

}  // namespace kr40
