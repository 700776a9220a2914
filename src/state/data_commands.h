#pragma once
// The commands of the main and reference frames: swapping and clearing the
// reference ("B.G. Oscillogram").

namespace kr40 {

struct ScopeState;

// Main <-> B.G. Oscillogram: exchanges the two frames with their trigger
// levels, zero lines, names and presence; a side that holds no frame first
// takes the other's levels, zero lines and name. The scroll position is
// kept within the new main frame, the digital traces change places
// (bgD_Zero), the spectrum restarts and the settings are applied. False
// (nothing done) when neither frame exists.
bool Menu_BG_DoClick(ScopeState& st);

// Clear B.G. Oscillogram: empties the reference frame, puts the digital
// traces back in their place and redraws.
void Menu_BG_ClrClick(ScopeState& st);

}  // namespace kr40
