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

// Writes the settings into `file`: the file's other sections (System,
// Decoders, unknown ones) are kept, the program's sections are rewritten, and
// the whole file is replaced in one operation. False (with a reason) when the
// file could not be written; the old file is then untouched.
// `io` gives what the instrument told about itself ([System] values).
bool WriteSettings(const ScopeSettings& s, const LinkShared& io, const std::filesystem::path& file, bool programFile,
                   std::string* error = nullptr);

// Why a user settings file is refused, or nothing when it is acceptable.
std::optional<TextPair> RejectSettingsImage(const IniImage& img);
// Reads every key the kind of read allows from an image into the settings.
void ReadSettingsImage(ScopeSettings& s, const IniImage& img, bool startup);

// Reads a settings file into the settings; the caller runs ApplySettings. At
// start-up (the program's own file) a missing or unreadable file leaves the
// defaults. Otherwise a refused file shows its message and changes nothing.
// True when the file was read.
bool ReadSettings(ScopeSettings& s, Prompts& prompts, const std::filesystem::path& file, bool startup);

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
// writable, as on Windows; otherwise in $XDG_CONFIG_HOME/kr40 (or
// ~/.config/kr40). `name` empty means the executable's name with ".ini".
std::filesystem::path ProgramFilePath(const std::filesystem::path& executable, const std::string& name = {});

}  // namespace kr40
