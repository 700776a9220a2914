#pragma once
// What the window keeps about the loaded generator script between compiles:
// the trigger-mark list, the period and amplitude defaults its directives
// gave, the status line with its countdown and the watch on the file. The
// rules for the list, the status text of Label_Mod and the colour of the run
// lamp are plain functions here.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "generator/gen_file_watch.h"

namespace kr40 {

struct AfgLabel;

// The address that switches the trigger mark off.
inline constexpr int AfgMarkOff = 2048;

// One item of ComboBox_AFG: its text and address; `label` is the script's
// label name (empty for the first two items).
struct AfgMark {
    std::string text;
    int address = AfgMarkOff;
    std::string label;
};

// A text shown in Label_Mod for four timer ticks.
struct AfgStatusLine {
    std::string text;
    int ticks = 0;
};

struct AfgSession {
    std::vector<AfgMark> marks;
    int markIndex = -1;                   // the selected item, -1 = none
    std::string compiledPath;             // the file of the last successful compile
    std::optional<int> periodDefault;     // step period of "#BAUD" / "#CLOCK"
    std::optional<int> amplitudeDefault;  // "#AMP", percent
    AfgStatusLine status;
    GenFileWatch watch;
    bool reloadPending = false;  // the instrument was re-initialised: reload silently
};

// Rebuilds the trigger-mark list after a successful compile: "trigger mark
// OFF", "Addr 0", then the labels. The selection stays when `sameFile` (an
// index below 2 as it was, a label if it still exists), else item 0.
void RebuildAfgMarks(AfgSession& a, const std::vector<AfgLabel>& labels, bool sameFile, bool russian);
// The address of the selected item (off when none is).
int SelectedMarkAddress(const AfgSession& a);

// Shows a text on the status line for four ticks.
void SetAfgStatus(AfgSession& a, std::string text);
// One timer tick of the status countdown; true while it runs (Label_Mod changes).
bool TickAfgStatus(AfgSession& a);

// Label_Mod in AFG mode: the status text while its countdown runs (the first
// line on the first two ticks, the rest afterwards), else the script's name
// while its table is loaded, else "File not loaded".
std::string AfgModLabel(const AfgSession& a, const std::string& afgFile, bool loaded, bool russian);

// The run lamp's colour from the instrument's generator status: nothing (the
// button face) when stopped, half-way to white while waiting, the frame
// colour while running.
std::optional<std::uint32_t> AfgRunColour(std::uint8_t genStatus, std::uint32_t gridFrame);

// ScrollBar_Amplitude position for an amplitude in percent of full scale.
int AfgAmplitudePosition(int percent);

}  // namespace kr40
