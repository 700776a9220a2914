#pragma once

namespace kr40 {

struct ScopeState;

// Derives AcqConfig and the window's dependent view values from the settings.
void ComposeAcqConfig(ScopeState& st);
// Every change of an acquisition setting ends here: compose, tell the
// acquisition thread (new configuration, restart), wake it, mark the screen.
void ApplySettings(ScopeState& st);
// As ApplySettings, without restarting the acquisition.
void RefreshSettings(ScopeState& st);

}  // namespace kr40
