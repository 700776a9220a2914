#include "state/settings_commands.h"

#include "files/settings_file.h"
#include "state/compose.h"
#include "state/scope_state.h"

namespace kr40 {

bool Menu_Save_Settings_AsClick(ScopeState& st, Prompts& prompts)
{
    EventSetter busy(st.BusyEvent);
    return SaveSettingsAs(st.settings, st, prompts, st.LastFolder, st.LiveName);
}

bool Menu_Open_SettingsClick(ScopeState& st, Prompts& prompts)
{
    EventSetter busy(st.BusyEvent);
    if (!OpenSettings(st.settings, prompts, st.LastFolder)) return false;
    st.SettingsLoaded = true;
    st.SpectrumRestart.fill(true);
    st.requests.TrigChanged = true;
    ApplySettings(st);
    return true;
}

}  // namespace kr40
