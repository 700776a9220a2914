#pragma once
// The commands of the main and reference frames: saving them to a data file
// (".krd") with its companion settings file, opening one, swapping and
// clearing the reference ("B.G. Oscillogram").

#include <string>

namespace kr40 {

struct ScopeState;
class Prompts;

// File > Save...: the main frame with its spectra and, when a reference
// exists and is shown (`bgView`), the reference into a data file, then the
// settings into the companion ".krs" (asking before replacing one). True
// when the data file was written.
bool Menu_Save_AsClick(ScopeState& st, Prompts& prompts, bool bgView);

enum class OpenOutcome {
    Failed,               // nothing opened (told in a message box)
    Opened,               // the main frame came from the file
    OpenedWithReference,  // ... and a reference frame too: show it
};

// Opens a data file into the main (and reference) frame, keeps the spectra
// stored with it, restarts the others, and reads the companion settings file
// (a warning when there is none) before applying the settings.
OpenOutcome OpenDataFile(ScopeState& st, Prompts& prompts, const std::string& file);

// File > Open...: asks for a data file in the folder last used.
OpenOutcome Menu_OpenClick(ScopeState& st, Prompts& prompts);

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
