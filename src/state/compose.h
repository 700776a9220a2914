#pragma once

#include "acquisition/settings_effect.h"

namespace kr40 {

struct ScopeState;

// Derives AcqConfig and the window's dependent view values from the settings.
void ComposeAcqConfig(ScopeState& st);
// Every change of an acquisition setting ends here: compose, tell the
// acquisition thread (new configuration, restart), wake it, mark the screen.
void ApplySettings(ScopeState& st);
// The generator panel's read-outs again, without composing: the script's
// status line and upload state change between compositions.
void UpdateGenPanelTexts(ScopeState& st);
// As ApplySettings, without restarting the acquisition.
void RefreshSettings(ScopeState& st);
// The calibration and LC meter dialogs write AcqConfig themselves: this sends
// it as it stands (no composing), running and not single.
void PublishAcqConfig(ScopeState& st);

// Carries out what a rule decided: the range-changed, spectrum-restart and
// trigger re-arm flags, then ApplySettings or RefreshSettings.
void CarrySettingsEffect(ScopeState& st, const SettingsEffect& e);

}  // namespace kr40
