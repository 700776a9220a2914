#pragma once
// The settings files: the program's own settings file (everything) and user
// settings files ".krs" (the measurement set-up only), read and written by
// walking the settings key table.

#include <filesystem>
#include <optional>
#include <string>

namespace kr40 {

struct LinkShared;
struct ScopeSettings;
class IniImage;
class Prompts;
struct TextPair;

// Writes the settings into `file`, replacing the whole file in one operation
// (through a symbolic link, the file it points to). The program's own file
// (`programFile`) keeps its other sections (System, Decoders, unknown ones)
// and only the program's sections are rewritten; it is not written when it
// exists but cannot be read back. A user settings file is written afresh,
// into a folder that must exist.
// False (with a reason) when the file was not written: it is then untouched,
// as is a read-only file. `io` gives what the instrument told about itself
// ([System] values).
bool WriteSettings(const ScopeSettings& s, const LinkShared& io, const std::filesystem::path& file, bool programFile,
                   std::string* error = nullptr);

// Why a user settings file is refused, or nothing when it is acceptable.
std::optional<TextPair> RejectSettingsImage(const IniImage& img);
// Reads every key the kind of read allows from an image into the settings.
void ReadSettingsImage(ScopeSettings& s, const IniImage& img, bool startup);

// Reads a settings file into the settings; the caller runs ApplySettings. Only
// a regular file of at most kIniMaxFileSize bytes is read. At start-up (the
// program's own file) a missing or unusable file leaves the defaults.
// Otherwise a refused file shows its name and why, and changes nothing.
// True when the file was read.
bool ReadSettings(ScopeSettings& s, Prompts& prompts, const std::filesystem::path& file, bool startup);

// Writes the program's own settings file (WriteSettings). A read-only file is
// kept as it is, and the first time in a run (`readOnlyTold` false, set here)
// a message says the settings were not saved. True when written.
bool WriteProgramSettings(const ScopeSettings& s, const LinkShared& io, Prompts& prompts,
                          const std::filesystem::path& file, bool& readOnlyTold);

// The dialogs of the two File menu commands, starting in `lastFolder` and
// remembering the chosen folder there. SaveSettingsAs proposes the data
// file's name with ".krs" and shows "Can't open file for writing." on
// failure; OpenSettings shows why a file was refused. Both return true when
// the file was written or read.
bool SaveSettingsAs(const ScopeSettings& s, const LinkShared& io, Prompts& prompts, std::string& lastFolder,
                    const std::string& dataFileName);
bool OpenSettings(ScopeSettings& s, Prompts& prompts, std::string& lastFolder);

// Where the program keeps a file of its own (its settings "<name>.ini", the
// generator list "krg.lst"): beside the executable when that folder is
// writable and the program is not installed (InstalledProgram), as on
// Windows; otherwise in $XDG_CONFIG_HOME/kr40 (or ~/.config/kr40). `name`
// empty means the executable's name with ".ini".
std::filesystem::path ProgramFilePath(const std::filesystem::path& executable, const std::string& name = {});

}  // namespace kr40
