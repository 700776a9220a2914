// kr40-cli's commands on the simulated instrument and on the files they write.

#include "cli/cli_commands.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli_args.h"
#include "support/temp_dir.h"

namespace kr40 {
namespace {

TEST(CliCommands, CaptureThenInfo)
{
    test::TempDir dir;
    const std::string file = (dir.path() / "cap.krd").string();
    std::ostringstream out, err;
    ASSERT_EQ(RunCapture(ParseCliArgs({"capture", "--driver=sim", "--frames", "2", "-o", file}), out, err), 0)
        << err.str();
    EXPECT_NE(err.str().find("frame 2 of 2"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "cap.krs"));

    out.str("");
    err.str("");
    ASSERT_EQ(RunInfo(ParseCliArgs({"info", file, "--spectrum", "A1"}), out, err), 0) << err.str();
    const std::string text = out.str();
    EXPECT_TRUE(err.str().empty()) << err.str();
    for (const char* line : {"Samples: 5000\n", "Channels: A1 A2 D1 D2\n", "Stored spectra: none\n",
                             "A1: Vpp = 3.000 V  Vdc = ", "A2: Vpp = 2.000 V  Vdc = 1.000 V  Vrms = 1.414 V\n",
                             "Spectrum A1: 10 dBV  A1  N 8192", "Spectrum A1: Vp = 0.5"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin:\n" << text;
}

TEST(CliCommands, FailuresAreToldAndGiveExitCodeOne)
{
    test::TempDir dir;
    std::ostringstream out, err;
    EXPECT_EQ(RunInfo(ParseCliArgs({"info", (dir.path() / "none.krd").string()}), out, err), 1);
    EXPECT_NE(err.str().find("File not found."), std::string::npos);
    err.str("");
    EXPECT_EQ(RunCapture(ParseCliArgs({"capture", "--driver=sim", "--settings", (dir.path() / "no.krs").string(), "-o",
                                       (dir.path() / "x.krd").string()}),
                         out, err),
              1);
    EXPECT_NE(err.str().find("File not found."), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "x.krd"));
}

}  // namespace
}  // namespace kr40
