#include "app/command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/provider_select.h"

namespace kr40 {
namespace {

using Args = std::vector<std::string>;

std::string Trace(const Args& args, const std::string& env)
{
    return testing::PrintToString(args) + " KR40_DRIVER=" + env;
}

TEST(CommandLine, AcceptedLines)
{
    struct Case {
        Args args;
        std::string env;  // KR40_DRIVER, empty = unset
        std::string provider;
        std::optional<bool> russian;
        std::string screenshot;
        int frames;
        Args files;
    };
    const std::string def = DefaultProviderName();
    std::vector<Case> cases = {
        {{}, "", def, std::nullopt, "", 1, {}},
        {{"--lang=ru", "trace.krs"}, "", def, true, "", 1, {"trace.krs"}},
        {{"--lang=ru", "--lang=en"}, "", def, false, "", 1, {}},
        // Driver: the last command-line choice, else the environment, else the default.
        {{}, "d2xx", "d2xx", std::nullopt, "", 1, {}},
        {{"--driver=d2xx"}, "", "d2xx", std::nullopt, "", 1, {}},
        {{"--driver=sim"}, "d2xx", "sim", std::nullopt, "", 1, {}},
        {{"--simulate"}, "d2xx", "sim", std::nullopt, "", 1, {}},
        {{"--driver=d2xx", "--simulate"}, "", "sim", std::nullopt, "", 1, {}},
        {{"--simulate", "--driver=d2xx"}, "", "d2xx", std::nullopt, "", 1, {}},
        {{"--simulate"}, "bogus", "sim", std::nullopt, "", 1, {}},  // the environment is not consulted
        // Picture runs: --frames before or after --screenshot, one frame by default.
        {{"--simulate", "--lang=en", "--screenshot", "docs/s.png", "--frames", "20"},
         "",
         "sim",
         false,
         "docs/s.png",
         20,
         {}},
        {{"--frames", "100000", "--screenshot", "a.png"}, "", def, std::nullopt, "a.png", 100000, {}},
        {{"--screenshot", "a.png"}, "", def, std::nullopt, "a.png", 1, {}},
        // Files keep their order; after "--" everything is a file.
        {{"a.krs", "--lang=ru", "b.krs"}, "", def, true, "", 1, {"a.krs", "b.krs"}},
        {{"--", "--odd.krs", "-"}, "", def, std::nullopt, "", 1, {"--odd.krs", "-"}},
    };
#ifdef KR40_HAVE_LIBFTDI1
    cases.push_back({{"--driver=ftdi"}, "d2xx", "ftdi", std::nullopt, "", 1, {}});
    cases.push_back({{}, "ftdi", "ftdi", std::nullopt, "", 1, {}});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(Trace(c.args, c.env));
        const CommandLine got = ParseCommandLine(c.args, c.env);
        EXPECT_EQ(got.error, "");
        EXPECT_EQ(got.providerName, c.provider);
        EXPECT_EQ(got.russian, c.russian);
        EXPECT_EQ(got.screenshot, c.screenshot);
        EXPECT_EQ(got.frames, c.frames);
        EXPECT_EQ(got.files, c.files);
    }
}

TEST(CommandLine, PictureRunPressesButtonsInOrder)
{
    const CommandLine got = ParseCommandLine(
        {"--screenshot", "a.png", "--press", "SpeedButton_GenOn", "--frames", "3", "--press", "SpeedButton_Sngl"}, "");
    EXPECT_EQ(got.error, "");
    EXPECT_EQ(got.press, (Args{"SpeedButton_GenOn", "SpeedButton_Sngl"}));
}

TEST(CommandLine, SimulatedInstrumentWiring)
{
    EXPECT_EQ(ParseCommandLine({"--simulate"}, "").simInputs, "");
    for (const char* w : {"demo", "open", "generator"}) {
        const CommandLine got = ParseCommandLine({"--sim-inputs=" + std::string(w), "--simulate"}, "");
        EXPECT_EQ(got.error, "") << w;
        EXPECT_EQ(got.simInputs, w);
    }
    EXPECT_EQ(ParseCommandLine({"--sim-inputs=open"}, "sim").error, "");  // KR40_DRIVER=sim
}

TEST(CommandLine, RefusedLines)
{
    struct Case {
        Args args;
        std::string env;
        const char* mentions;  // a part of the error text
    };
    std::vector<Case> cases = {
        {{"--verbose"}, "", "unknown option --verbose"},
        {{"--simulate=yes"}, "", "unknown option"},
        {{"--language=en"}, "", "unknown option"},
        // Driver names: from the command line or the environment.
        {{"--driver"}, "", "--driver needs a value"},
        {{"--driver="}, "sim", "--driver needs a value"},
        {{"--driver=usb"}, "", "unknown driver"},
        {{"--driver=D2XX"}, "", "unknown driver"},
        {{"--driver=usb", "--simulate"}, "", "unknown driver"},
        {{}, "bogus", "KR40_DRIVER=bogus"},
        // Language.
        {{"--lang=de"}, "", "en or ru"},
        {{"--lang"}, "", "--lang needs a value"},
        {{"--lang="}, "", "--lang needs a value"},
        // The simulated instrument's wiring.
        {{"--simulate", "--sim-inputs"}, "", "--sim-inputs needs demo, open or generator"},
        {{"--simulate", "--sim-inputs=ground"}, "", "--sim-inputs needs demo, open or generator"},
        {{"--driver=d2xx", "--sim-inputs=open"}, "", "--sim-inputs goes with --simulate"},
        // Picture runs.
        {{"--screenshot"}, "", "--screenshot needs a value"},
        {{"--screenshot", "--frames", "5"}, "", "--screenshot needs a value"},
        {{"--screenshot", ""}, "", "file name"},
        {{"--screenshot", "a.png", "--frames"}, "", "--frames needs a value"},
        {{"--frames", "5"}, "", "--frames goes with --screenshot"},
        {{"--frames", "5", "a.krs"}, "", "--frames goes with --screenshot"},
        {{"--press", "SpeedButton_GenOn"}, "", "--press goes with --screenshot"},
        {{"--screenshot", "a.png", "--press"}, "", "--press needs a value"},
        {{"--screenshot", "a.png", "--press", ""}, "", "--press needs a button name"},
    };
    for (const char* n : {"0", "100001", "-3", "5x", "", "1e3", " 5", "+5", "99999999999"})
        cases.push_back({{"--screenshot", "a.png", "--frames", n}, "", "whole number from 1 to 100000"});
#ifndef KR40_HAVE_LIBFTDI1
    cases.push_back({{"--driver=ftdi"}, "", "without libftdi1"});
    cases.push_back({{}, "ftdi", "without libftdi1"});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(Trace(c.args, c.env));
        const CommandLine got = ParseCommandLine(c.args, c.env);
        EXPECT_NE(got.error.find(c.mentions), std::string::npos) << got.error;
        EXPECT_FALSE(got.error.empty());
    }
}

}  // namespace
}  // namespace kr40
