#pragma once
// The trigger dialog's controls as data, and its rules: loading the controls
// from the settings (FormShow), reading them back (ReadTrigDialog), the
// descriptive captions (UpdateTrigTexts), every change handler and the
// Cancel roll-back. The Qt dialog copies this model into its widgets and
// widget events into it.

#include <array>
#include <string>

#include "acquisition/settings_effect.h"

namespace kr40 {

struct ScopeSettings;

enum class Check { Unchecked, Checked, Grayed };

// The fourteen mode buttons: rising (or up) and falling (or down) of each
// advanced mode, in the order of the modes 1..6, then the video pair.
enum TrigModeButton : int {
    Rise_Pul,
    Fall_Pul,
    Rise_Per,
    Fall_Per,
    Rise_Runt,
    Fall_Runt,
    Rise_Slew,
    Fall_Slew,
    Extra_Rise,
    Extra_Fall,
    Extra2_Rise,
    Extra2_Fall,
    Video_Inv,  // mode 10, Edge up
    Video,      // mode 10, Edge down
    TrigModeButtonCount
};
// Control names ("SpeedButton_Rise_Pul", ...), by TrigModeButton.
const std::array<const char*, TrigModeButtonCount>& TrigModeButtonNames();
// Mode of a button (1..6, 10) and whether it is the falling / down one.
int ModeOfButton(int button);
bool IsFallingButton(int button);

// En channels in the order A1, A2, D1, D2 (bits 0..3 of Levels / Lev_Mask).
inline constexpr std::array<const char*, 4> EnCheckBoxNames = {"CheckBox_LevA1", "CheckBox_LevA2", "CheckBox_LevD1",
                                                               "CheckBox_LevD2"};

struct TrigDialogModel {
    // Texts of the current language.
    std::string caption, preCaption, nrCaption, tplusCaption, cancelCaption;
    std::array<std::string, 10> preItems, nrItems;

    // RadioGroup_PreTrig, RadioGroup_NR: item index.
    int preTrig = 0;
    int noiseReject = 0;

    // CheckBox_Trig_T_Mode.
    Check tMode = Check::Unchecked;
    bool tModeEnabled = true;
    std::string tModeCaption;

    // ScrollBar_Trig_Tmin / _Tmax (0..999 / 1..1000) and the six range
    // buttons (TimeRanges order, at most one down).
    int tmin = 0, tmax = 1;
    std::array<bool, 6> rangeDown{};
    bool timeEnabled = true;  // the range buttons and both time bars

    // En check boxes, A1, A2, D1, D2.
    std::array<Check, 4> en{};
    std::array<bool, 4> enEnabled{true, true, true, true};
    std::array<std::string, 4> enCaption;
    std::string levLabel;  // Label_Lev

    // Mode buttons: the one down (-1 = none) and which are enabled.
    int modeDown = -1;
    std::array<bool, TrigModeButtonCount> modeEnabled{};
    std::string modeLabel;  // Label_Trig_Mode
    bool modeLabelEnabled = true;

    // ScrollBar_Trig_Extra_N and Label_Trig_Extra_N.
    int extraN = 1, extraMin = 1, extraMax = 1000;
    bool extraEnabled = false;
    std::string extraLabel;

    // Dialog state.
    bool loading = false;     // loading guard: change handlers do nothing
    bool videoEntry = false;  // a video button was just clicked
};

// FormShow: clears the video-entry flag, loads every control from the
// settings under the loading guard, sets the texts of the language, then runs
// ReadTrigDialog and UpdateTrigTexts.
void TrigFormShow(TrigDialogModel& m, ScopeSettings& s, bool russian);

// Copies the controls into the trigger fields (Edge included) and applies the
// enable rules and limits to the model.
void ReadTrigDialog(TrigDialogModel& m, ScopeSettings& s);

// Rewrites the descriptive captions from the fields.
void UpdateTrigTexts(TrigDialogModel& m, const ScopeSettings& s, bool russian);

// What changed in the dialog; the view has already stored the control's new
// state in the model (for Tmin/Tmax before the coupling of the two bars).
enum class TrigChange { PreTrig, NoiseReject, TMode, Tmin, Tmax, Range, En, Mode, ExtraN };

// A change handler: nothing while loading; otherwise the Tmin/Tmax coupling,
// the video-entry flag for the video buttons, ReadTrigDialog,
// UpdateTrigTexts; the effect applies the settings and re-arms the trigger
// as the control asks. The effect's call is None when the loading guard
// swallowed the change.
SettingsEffect TrigDialogChanged(TrigDialogModel& m, ScopeSettings& s, TrigChange what);

// Menu_TriggerClick's save and Cancel roll-back: the ten numeric trigger
// fields and the edge button.
class TrigDialogSession {
public:
    explicit TrigDialogSession(const ScopeSettings& s);
    // Restores the saved values; the effect re-arms the trigger when anything
    // but Pre and Hyst differed and applies the settings when anything differed.
    SettingsEffect Cancel(ScopeSettings& s) const;

private:
    std::array<int, 10> saved_{};  // Pre, Hyst, Mode, T_Mode, Tmin, Tmax, Tmult, Levels, Lev_Mask, Extra_N
    bool edge_ = false;
};

}  // namespace kr40
