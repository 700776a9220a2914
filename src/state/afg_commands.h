#pragma once
// The generator-script commands of the window: loading and compiling a .krg
// file (from the menu, the command line, a drop, a second start, the start-up
// reload, a change on disk or a re-initialised instrument), the trigger-mark
// list, the RUN button, and restoring the period and amplitude defaults.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kr40 {

struct ScopeState;
class Prompts;

// The lines of a script file, or nothing when it cannot be read.
std::optional<std::vector<std::string>> ReadAfgSource(const std::filesystem::path& path);

// Reads and compiles `path`. A file that cannot be read gives the "File not
// found." box and changes nothing. The listing goes to `listing` (when not
// empty) after every compile. An error is reported with its line and changes
// nothing else. A success sets the period and amplitude bars from the
// script's directives, rebuilds the trigger-mark list, selects the AFG mode,
// asks for the table to be uploaded (and run, with "#AUTOR 1"), remembers
// the file and applies the settings. `silent` keeps the success box out
// (the short result goes to the status line). True on success.
bool LoadAfgFile(ScopeState& st, Prompts& prompts, const std::string& path, bool silent,
                 const std::filesystem::path& listing);

// Open AFG File...: the file dialog, then a (not silent) load.
bool Menu_Open_Gen_FormClick(ScopeState& st, Prompts& prompts, const std::filesystem::path& listing);

// ComboBox_AFG: the selected trigger mark becomes the script's Gen_Word_A.
void ComboBox_AFGChange(ScopeState& st, int index);

// RUN: only while the table is loaded; asks the instrument to start the
// program with the next settings packet. True when it did.
bool SpeedButton_GenRunClick(ScopeState& st);

// The double clicks on Label_F and Label_V in AFG mode with a loaded table:
// restore the period or amplitude default after asking. True when restored.
bool Label_FDblClick(ScopeState& st, Prompts& prompts);
bool Label_VDblClick(ScopeState& st, Prompts& prompts);

// The once-a-second watch: a loaded script saved again on disk is compiled
// again (not silent), with BusyEvent set meanwhile. True when it reloaded.
bool AfgFileWatch(ScopeState& st, Prompts& prompts, const std::filesystem::path& listing);

}  // namespace kr40
