#pragma once
// What a change of the settings asks of the program once it is stored: the
// rules of controls, keys, the mouse and dialogs return it, and the state
// layer carries it out (CarrySettingsEffect).

namespace kr40 {

enum class SettingsCall {
    None,     // nothing to do
    Sync,     // the controls show the new state; nothing is sent or redrawn
    Refresh,  // RefreshSettings: compose and redraw, the acquisition goes on
    Apply,    // ApplySettings: compose, send, restart the acquisition
};

struct SettingsEffect {
    SettingsCall call = SettingsCall::None;
    bool rearmTrigger = false;                            // TrigChanged: the instrument re-arms its trigger once
    bool rangeChangedA1 = false, rangeChangedA2 = false;  // rescale the trigger level
    bool restartSpectrum = false;                         // restart averaging and recompute
    bool resetCounter = false;  // one-shot: the frequency meter's counter restarts with the next packet
};

}  // namespace kr40
