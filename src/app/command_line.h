#pragma once
// kr40's command line, read in one place:
//
//   kr40 [--simulate | --driver=d2xx|ftdi|sim] [--sim-inputs=demo|open|generator] [--lang=en|ru]
//        [--screenshot FILE --frames N [--press BUTTON]...] [FILE]
//
// Plain C++ so every accepted and refused command line is tested without a
// display; the environment's KR40_DRIVER comes in as a parameter.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kr40 {

struct CommandLine {
    // The last of --driver=NAME / --simulate ("sim"), else a non-empty
    // KR40_DRIVER, else DefaultProviderName().
    std::string providerName;
    // --sim-inputs: what is wired to the simulated instrument's inputs (see
    // MakeProvider); empty for the demo signals.
    std::string simInputs;
    std::optional<bool> russian;     // --lang: true for ru, false for en; unset keeps the stored language
    std::string screenshot;          // --screenshot FILE; empty for a normal run
    int frames = 1;                  // --frames N, frames to wait for before the picture
    std::vector<std::string> press;  // --press BUTTON: buttons the picture run clicks after Run, in order
    std::vector<std::string> files;  // arguments that are not options, in order
    std::string error;               // why the command line is refused; empty when it is good
};

// `args` are the arguments after the program name; `driverEnv` is the value
// of KR40_DRIVER (empty when unset). Stops at the first error. "--" ends the
// options: every argument after it is a file.
CommandLine ParseCommandLine(const std::vector<std::string>& args, std::string_view driverEnv);

// The usage line printed with an error.
const char* CommandLineUsage();

}  // namespace kr40
