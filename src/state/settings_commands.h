#pragma once
// The File menu's settings commands over the program's state.

namespace kr40 {

struct ScopeState;
class Prompts;

// Save Settings As: a user settings file of the measurement set-up. True when written.
bool Menu_Save_Settings_AsClick(ScopeState& st, Prompts& prompts);
// Open Settings: reads a user settings file; when read, the settings are
// applied, the trigger re-armed and the spectrum restarted. True when read.
bool Menu_Open_SettingsClick(ScopeState& st, Prompts& prompts);

}  // namespace kr40
