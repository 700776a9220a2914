#pragma once
// The main window's keyboard: what each key does to the settings and what the
// window must run afterwards. Plain data in, plain data out, so every row of
// the key table is tested without widgets.

#include <vector>

#include "acquisition/scope_settings.h"
#include "acquisition/settings_effect.h"

namespace kr40 {

enum class Key { F, A, D, W, V, Left, Right, Up, Down, Space, Enter, Other };

struct KeyContext {
    bool fftA1Enabled = true;  // Menu_FFT_A1 enabled
    bool fftA2Enabled = true;  // Menu_FFT_A2 enabled
    int xPosMax = 3000;        // ScrollBar_X_POS maximum (0..B while a spectrum is shown)
};

// Handlers the window runs after the key, in order.
enum class KeyAction {
    ToggleRun,     // toggle SpeedButton_Run, then run SpeedButton_RunClick
    ToggleSingle,  // toggle SpeedButton_Sngl, then run SpeedButton_SnglClick
    FftA1Click,    // run Menu_FFT_A1Click
    FftA2Click,    // run Menu_FFT_A2Click
};

// The settings effect is carried out after the actions.
struct KeyOutcome : SettingsEffect {
    std::vector<KeyAction> actions;
};

// Whether a spectrum view is on (either FFT menu item checked).
inline bool SpectrumShown(const ScopeSettings& s)
{
    return s.FFT_View_A1 || s.FFT_View_A2;
}

// One volts/div step of an analog channel (0 = A1, 1 = A2): up selects the
// next larger volts/div (50 mV -> ... -> 2 V), down the next smaller. Returns
// whether the selection changed; nothing changes at either end.
bool VoltsStep(ScopeSettings& s, int channel, bool up);

// FormKeyDown: applies the key's direct settings changes to `s` and says what
// the window must do next.
KeyOutcome FormKeyDown(ScopeSettings& s, Key key, bool ctrl, bool shift, const KeyContext& ctx);

}  // namespace kr40
