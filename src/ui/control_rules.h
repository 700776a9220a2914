#pragma once
// The main window's click rules: what a click on a speed button or menu item
// does. One table decides, per control, whether the window runs the
// control's own handler or the click stores a setting (the key the control
// holds in the key table's "held by" column, or the probe toggle of a
// volts/div header) and asks for Sync, Refresh or Apply with the trigger
// re-arm and range flags.
//
// Usage, in the window's click slot:
//
//   const ClickOutcome o = ClickControl(st.settings, name, checked);
//   if (o.command)
//       RunCommand(*o.command, checked);  // the window's own handler
//   else
//       CarrySettingsEffect(st, o.effect);  // then show the new state

#include <optional>
#include <string_view>

#include "acquisition/scope_settings.h"
#include "acquisition/settings_effect.h"

namespace kr40 {

// Controls whose click runs a handler of the window instead of a rule.
enum class WindowCommand {
    Run,             // SpeedButton_Run
    Single,          // SpeedButton_Sngl
    GenOn,           // SpeedButton_GenOn
    Exit,            // Menu_Exit
    Russian,         // Menu_Russian
    English,         // Menu_English
    Compact,         // Menu_Compact
    GenView,         // Menu_Gen_View
    Colors,          // Menu_Colors
    About,           // Menu_About
    Trigger,         // Menu_Trigger, SpeedButton_Trig
    MarkersOne,      // Menu_Markers_1
    MarkersTwo,      // Menu_Markers_2
    BgView,          // Menu_BG_View (the window keeps its state)
    OpenSettings,    // Menu_Open_Settings
    SaveSettingsAs,  // Menu_Save_Settings_As
    FftSet,          // Menu_FFTSet
    FmCalibrate,     // Menu_FM_Calibrate
    GeneratorSet,    // Menu_GeneratorSet
    OpenGenForm,     // Menu_Open_Gen_Form
    GenRun,          // SpeedButton_GenRun
    SerialDecoders,  // Menu_SerialDecoders
    Recorder,        // Menu_Recorder
    ZeroCalibrate,   // Menu_ZeroCalibrate
    TdcCalibrate,    // Menu_TDCCalibrate
    LcMeter,         // Menu_LCMeter
    HelpContents,    // Menu_Help_Contents
    BgSwap,          // Menu_BG_Do
    BgClear,         // Menu_BG_Clr
    SaveData,        // Menu_Save_As
    OpenData,        // Menu_Open
    ExportText,      // Menu_Text
    ExportBinA1,     // Menu_EBin_A1 .. Menu_EBin_D2, in channel order
    ExportBinA2,
    ExportBinD1,
    ExportBinD2,
    ExportImage,  // Menu_Image
};

// What a click stores before its effect is carried out.
enum class ClickStore {
    None,         // nothing: a window command, or a control without a rule
    Key,          // the control's key: a Bool field or a group item, from `checked`
    ProbeToggle,  // a volts/div header: the channel's probe x1 -> x10, anything else -> x1
    Exclusive,    // the control's Bool key; checking it clears the partner control's
};

struct ControlRule {
    std::optional<WindowCommand> command;
    ClickStore store = ClickStore::None;  // None with an effect: the control holds no setting but asks for it
    const SettingKey* key = nullptr;      // Key: the setting the control holds
    Group probe = Group::Count;           // ProbeToggle: ProbeA1 or ProbeA2
    const SettingKey* partner = nullptr;  // Exclusive: the Bool key cleared on checking
    SettingsEffect effect;                // after storing; None for commands and unknown controls

    bool Known() const { return command || store != ClickStore::None || effect.call != SettingsCall::None; }
};

// The rule of a control by its name; an unknown name gives a rule that does
// nothing (Known() is false).
ControlRule RuleOf(std::string_view control);

// The outcome of a click: a command for the window to run (nothing stored,
// effect None), or the effect to carry out after the setting was stored.
struct ClickOutcome {
    std::optional<WindowCommand> command;
    SettingsEffect effect;
};

// A click on `control`, whose check state is now `checked`: stores what the
// rule says into `s` and returns what the window must do next.
ClickOutcome ClickControl(ScopeSettings& s, std::string_view control, bool checked);

}  // namespace kr40
