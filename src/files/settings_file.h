#pragma once
// The settings files: the program's own settings file (everything) and user
// settings files ".krs" (the measurement set-up only), read and written by
// walking the settings key table.

#include <filesystem>
#include <optional>
#include <string>

namespace kr40 {

struct ScopeState;
class IniImage;
class Prompts;
struct TextPair;

// Writes the settings into `file`: the file's other sections (System,
// Decoders, unknown ones) are kept, the program's sections are rewritten, and
// the whole file is replaced in one operation. False (with a reason) when the
// file could not be written; the old file is then untouched.
bool WriteSettings(const ScopeState& st, const std::filesystem::path& file, bool programFile,
                   std::string* error = nullptr);

// Why a user settings file is refused, or nothing when it is acceptable.
std::optional<TextPair> RejectSettingsImage(const IniImage& img);
// Reads every key the kind of read allows from an image into the settings.
void ReadSettingsImage(ScopeState& st, const IniImage& img, bool startup);

// Reads a settings file into the settings; the caller runs ApplySettings. At
// start-up (the program's own file) a missing or unreadable file leaves the
// defaults. Otherwise a refused file shows its message and changes nothing.
// True when the file was read.
bool ReadSettings(ScopeState& st, Prompts& prompts, const std::filesystem::path& file, bool startup);

// File menu commands.
void Menu_Save_Settings_AsClick(ScopeState& st, Prompts& prompts);
void Menu_Open_SettingsClick(ScopeState& st, Prompts& prompts);

// Where the program keeps a file of its own (its settings "<name>.ini", the
// generator list "krg.lst"): beside the executable when that folder is
// writable, as on Windows; otherwise in $XDG_CONFIG_HOME/kr40 (or
// ~/.config/kr40). `name` empty means the executable's name with ".ini".
std::filesystem::path ProgramFilePath(const std::filesystem::path& executable, const std::string& name = {});

}  // namespace kr40
