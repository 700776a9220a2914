#pragma once
// Which menu items the main window shows and enables: the rules applied when
// a menu opens (they depend on the instrument's firmware and the traces held)
// and the ones applied once at start-up from the service flags.

#include "acquisition/scope_settings.h"

namespace kr40 {

// File menu: the transfer rate choice exists from firmware 213 on; an unknown
// version (-1, not yet reported) shows it too.
bool TransferRateVisible(int firmwareVersion);

// Options menu: the Schmitt trigger items of D1 and D2 and the separator before
// them, hidden for a known firmware older than 212.
bool SchmittItemsVisible(int firmwareVersion);

// View menu: the reference-trace items.
struct ViewMenuState {
    bool bgViewEnabled;  // Menu_BG_View
    bool bgClrEnabled;   // Menu_BG_Clr
    bool bgDoEnabled;    // Menu_BG_Do
};
ViewMenuState ViewMenuOnOpen(bool haveMainTrace, bool haveReferenceTrace);

// Start-up, after the settings file is read.
struct StartupVisibility {
    bool tdcCalibrate;  // Menu_TDCCalibrate shown and enabled
    bool recorder;      // Menu_Recorder shown
    int amplitudeMin;   // ScrollBar_Amplitude range
    int amplitudeMax;
};
StartupVisibility StartupVisibilityOf(const ScopeSettings& s);

}  // namespace kr40
