// kr40-cli's commands on the simulated instrument and on the files they write.

#include "cli/cli_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cli/cli_args.h"
#include "files/data_file.h"
#include "files/exports.h"
#include "simulator/sim_provider.h"
#include "state/compose.h"
#include "state/data_commands.h"
#include "state/headless_scope.h"
#include "state/scope_state.h"
#include "support/scripted_prompts.h"
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

// A frame from the simulated instrument, saved and opened in a fresh state,
// exports the same text as before saving.
TEST(CliCommands, SavedFrameExportsTheSameText)
{
    test::TempDir dir;
    ScopeState st;
    st.settings.Russian = false;
    sim::SimProvider provider;
    FrameSet frame;
    {
        HeadlessScope scope(st, provider);
        test::ScriptedPrompts prompts;
        ASSERT_EQ(scope.Open(prompts, std::chrono::seconds(20)), FT_OK);
        st.settings.Run_Down = true;
        ApplySettings(st);
        ASSERT_TRUE(scope.WaitCompleteFrames(1, std::chrono::seconds(20), nullptr));
        frame = scope.LastComplete();
    }
    const std::string before = TextExport(frame);
    st.live->rec = frame.rec;
    st.live->buf = frame.buf;
    st.LiveExists = true;
    test::ScriptedPrompts prompts;
    const auto file = dir.path() / "sim.krd";
    prompts.files.push_back(file.string());
    ASSERT_TRUE(Menu_Save_AsClick(st, prompts, false));

    std::ostringstream out, err;
    const std::string text = (dir.path() / "sim.txt").string();
    ASSERT_EQ(RunExport(ParseCliArgs({"export", file.string(), "--text", text}), out, err), 0) << err.str();
    std::ifstream in(text, std::ios::binary);
    const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_GT(before.size(), 5000u);
    EXPECT_EQ(after, before);
}

TEST(CliCommands, ExportsTheWindowsFilesAndTellsFailuresOnOneLine)
{
    test::TempDir dir;
    auto main = std::make_unique<FrameSet>();
    main->rec.ValidLen = main->rec.FrameLen = 3;
    main->rec.ChannelMask = 1;
    main->rec.Divider = 10;
    for (int k = 0; k < 3; ++k) main->buf.First(ChanA1)[k] = main->buf.Second(ChanA1)[k] = 100 + k;
    const auto file = dir.path() / "f.krd";
    std::ofstream(file, std::ios::binary) << EncodeDataFile(*main, DataFileSpectra{}, nullptr);
    std::ofstream(dir.path() / "f.krs") << "[Common]\nCH_D1=0\n";

    std::ostringstream out, err;
    const auto run = [&](std::vector<std::string> args) {
        err.str("");
        args.insert(args.begin(), {"export", file.string()});
        return RunExport(ParseCliArgs(args), out, err);
    };
    EXPECT_EQ(run({"--raw", "A1", (dir.path() / "a1.bin").string()}), 0) << err.str();
    std::ifstream bin(dir.path() / "a1.bin", std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(bin)), std::istreambuf_iterator<char>()), "def");
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "a1.txt"));
    EXPECT_EQ(run({"--image", (dir.path() / "s.bmp").string()}), 0) << err.str();
    EXPECT_GT(std::filesystem::file_size(dir.path() / "s.bmp"), 54u);

    // D2 is not in the frame; a folder that is not there cannot be written.
    EXPECT_EQ(run({"--raw", "D2", (dir.path() / "d2.bin").string()}), 1);
    EXPECT_EQ(err.str(), "kr40-cli: No data for writing.\n");
    const std::string gone = (dir.path() / "gone" / "t.txt").string();
    EXPECT_EQ(run({"--text", gone}), 1);
    EXPECT_EQ(err.str(), "kr40-cli: " + gone + ": Can't open file for writing.\n");
}

TEST(CliCommands, AfgCompilesPrintsTheResultAndWritesTheListing)
{
    test::TempDir dir;
    const std::string good = (dir / "wave.krg").string(), bad = (dir / "bad.krg").string();
    const std::string listing = (dir / "out.lst").string();
    test::TempDir::Write(good, "#BAUD 9600\nOUT 1\n");
    test::TempDir::Write(bad, "OUT 1\nDIFF 4096\n");
    std::ostringstream out, err;
    ASSERT_EQ(RunAfg(ParseCliArgs({"afg", good, "--listing", listing}), out, err), 0) << err.str();
    EXPECT_EQ(out.str(), "wave.krg\n\nLines = 2\nCommands = 1 (0.0%)\nBaud Rate = 9599.7 (Err = -0.003%)\n");
    EXPECT_TRUE(std::filesystem::exists(listing));

    out.str("");
    EXPECT_EQ(RunAfg(ParseCliArgs({"afg", bad, "--lang=ru"}), out, err), 1);
    EXPECT_EQ(err.str(), "Ошибка в строке 2\nНедопустимый параметр - 4096\n");
    EXPECT_EQ(out.str(), "");

    err.str("");
    EXPECT_EQ(RunAfg(ParseCliArgs({"afg", (dir / "none.krg").string()}), out, err), 1);
    EXPECT_NE(err.str().find("File not found."), std::string::npos);
    err.str("");
    EXPECT_EQ(RunAfg(ParseCliArgs({"afg", good, "--listing", (dir / "no" / "dir.lst").string()}), out, err), 1);
    EXPECT_NE(err.str().find("cannot write"), std::string::npos);
}

TEST(CliCommands, DecodePrintsTheDecoderWindowsText)
{
    test::TempDir dir;
    const std::string settings = (dir / "d1.krs").string(), file = (dir / "d1.krd").string();
    test::TempDir::Write(settings, "[Common]\nCH_D1=1\n[Scope]\n1mS=0\n5mS=1\n");
    std::ostringstream out, err;
    ASSERT_EQ(RunCapture(ParseCliArgs({"capture", "--driver=sim", "--settings", settings, "-o", file}), out, err), 0)
        << err.str();
    out.str("");
    ASSERT_EQ(RunDecode(ParseCliArgs({"decode", file, "--rxd", "D1", "--baud", "9600", "--format", "hex"}), out, err),
              0)
        << err.str();
    const std::string hex = out.str();
    EXPECT_EQ(hex.rfind("RXD (Data - ", 0), 0u) << hex;
    EXPECT_NE(hex.find("\n\n0x000:  "), std::string::npos) << hex;
    EXPECT_NE(hex.find("\n0x010:  "), std::string::npos) << hex;  // 16 values a line
    EXPECT_EQ(hex.find('\r'), std::string::npos);

    // In ASCII the demo line reads through, whatever line it starts on.
    out.str("");
    ASSERT_EQ(RunDecode(ParseCliArgs({"decode", file, "--rxd", "D1", "--baud", "9600", "--format", "ascii"}), out, err),
              0);
    std::string values;
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("0x", 0) == 0) values += line.substr(8);
    EXPECT_NE(values.find("KR40 demo 0123456789--"), std::string::npos) << out.str();

    // The same frame decoded at another rate finds no clean line.
    out.str("");
    ASSERT_EQ(RunDecode(ParseCliArgs({"decode", file, "--rxd", "D1", "--baud", "4800", "--format", "ascii"}), out, err),
              0);
    EXPECT_EQ(out.str().find("KR40 demo"), std::string::npos) << out.str();

    err.str("");
    EXPECT_EQ(
        RunDecode(ParseCliArgs({"decode", (dir / "none.krd").string(), "--rxd", "D1", "--baud", "9600"}), out, err), 1);
    EXPECT_NE(err.str().find("File not found."), std::string::npos) << err.str();
}

TEST(CliCommands, RecordWritesTheRecordingAndItsCompanionOrRefusesOutsideRollMode)
{
    test::TempDir dir;
    const std::string bin = (dir / "a1.bin").string(), txt = (dir / "a1.txt").string();
    std::ostringstream out, err;
    ASSERT_EQ(RunRecord(ParseCliArgs({"record", "--driver=sim", "--seconds", "2", "-o", bin}), out, err), 0)
        << err.str();
    ASSERT_TRUE(std::filesystem::exists(txt));
    std::ifstream in(txt, std::ios::binary);
    const std::string companion((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(companion.rfind("Oscilloscope recorder file = a1.bin\r\n\r\nSampling rate = 5.00 KHz\r\n", 0), 0u)
        << companion;
    const auto size = std::filesystem::file_size(bin);
    EXPECT_GT(size, 0u);
    EXPECT_NE(companion.find("Size = " + std::to_string(size) + " Bytes\r\n"), std::string::npos) << companion;

    // 1 mS/div is no roll mode: the window's refusal, nothing recorded.
    const std::string krs = (dir / "fast.krs").string();
    test::TempDir::Write(krs, "[Common]\nCH_D1=1\n[Scope]\n100mS=0\n1mS=1\n");
    err.str("");
    EXPECT_EQ(RunRecord(ParseCliArgs({"record", "--driver=sim", "--settings", krs, "--seconds", "1", "-o",
                                      (dir / "no.bin").string()}),
                        out, err),
              1);
    EXPECT_NE(err.str().find("Run 0.1 .. 20 S/Div. Disable Trigger."), std::string::npos) << err.str();
    EXPECT_FALSE(std::filesystem::exists(dir / "no.bin"));
}

}  // namespace
}  // namespace kr40
