#pragma once
// One step along the time-per-division buttons, shared by the keyboard
// (Left/Right) and the mouse wheel over the screen.

#include "acquisition/scope_settings.h"

namespace kr40 {

// Selects the next faster (towards 50 nS) or slower (towards 20 S) time base
// and returns the ratio of the two times per division, larger over smaller:
// 2.5 for the steps between a 2 and a 5 (2 S <-> 5 S, 20 mS <-> 50 mS, ...),
// 2.0 for the others, and 1.0 when the time base is already at that end and
// nothing changed. No time base selected counts as the last one (50 nS), as
// in the acquisition configuration.
double TimeBaseStep(ScopeSettings& s, bool faster);

}  // namespace kr40
