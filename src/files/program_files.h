#pragma once
// Where the program finds what ships with it. In a build tree the help sits
// beside the executable (build/src/help); installed, the executable is in
// PREFIX/bin and the help in PREFIX/share/kr40/help.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kr40 {

class Prompts;

// The executable belongs to an installed layout: PREFIX/share/kr40 stands
// beside its folder. Such a program keeps its own files in the user's
// configuration folder, whoever runs it.
bool InstalledProgram(const std::filesystem::path& executable);

// The folders looked in for the help, in order.
std::vector<std::filesystem::path> HelpFolders(const std::filesystem::path& executable);

// The manual's first page in the language asked for, else in the other one;
// nothing when neither is there.
std::optional<std::filesystem::path> FindHelpIndex(const std::filesystem::path& executable, bool russian);

// Help › Contents: opens the manual through `prompts` (the desktop's
// browser). Without the help, or when nothing could show it, a box says so
// and names where it looked. True when it was handed to the browser.
bool OpenHelpContents(const std::filesystem::path& executable, bool russian, Prompts& prompts);

}  // namespace kr40
