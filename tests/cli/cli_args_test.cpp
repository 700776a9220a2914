#include "cli/cli_args.h"

#include <gtest/gtest.h>

namespace kr40 {
namespace {

using Args = std::vector<std::string>;

TEST(CliArgs, GoodLines)
{
    CliCommand c = ParseCliArgs({"capture", "--driver=sim", "--settings", "a.krs", "--frames=5", "-o", "x.krd"});
    EXPECT_EQ(c.error, "");
    EXPECT_EQ(c.kind, CliKind::Capture);
    EXPECT_EQ(c.driver, "sim");
    EXPECT_EQ(c.settings, "a.krs");
    EXPECT_EQ(c.frames, 5);
    EXPECT_EQ(c.output, "x.krd");

    c = ParseCliArgs({"info", "x.krd", "--spectrum", "A2", "--fft-size=auto", "--fft-window", "blackman-nuttall",
                      "--fft-scale", "dBm600"});
    EXPECT_EQ(c.error, "");
    EXPECT_EQ(c.kind, CliKind::Info);
    EXPECT_EQ(c.file, "x.krd");
    EXPECT_EQ(c.spectrum, 1);
    EXPECT_EQ(c.fftSize, 6);
    EXPECT_EQ(c.fftWindow, 7);
    EXPECT_EQ(c.fftScale, 3);
    EXPECT_EQ(ParseCliArgs({"info", "x.krd", "--spectrum=A1", "--fft-size", "32768"}).fftSize, 5);
    c = ParseCliArgs({"export", "x.krd", "--raw", "D2", "d2.bin"});
    EXPECT_EQ(c.error, "");
    EXPECT_EQ(c.exportKind, CliExport::Raw);
    EXPECT_EQ(c.channel, 3);
    EXPECT_EQ(c.exportFile, "d2.bin");
    EXPECT_EQ(ParseCliArgs({"export", "x.krd", "--image=s.bmp"}).exportKind, CliExport::Image);
    c = ParseCliArgs({"afg", "w.krg", "--listing=w.lst", "--lang", "ru"});
    EXPECT_EQ(c.kind, CliKind::Afg);
    EXPECT_EQ(c.file, "w.krg");
    EXPECT_EQ(c.listing, "w.lst");
    EXPECT_TRUE(c.russian);
    c = ParseCliArgs({"decode", "x.krd", "--rxd", "A2", "--txd=D2", "--baud", "115200", "--bits", "9", "--parity",
                      "odd", "--stop", "2", "--msb", "--rxd-inv", "--txd-inv", "--format", "ascii"});
    EXPECT_EQ(c.error, "");
    EXPECT_EQ(c.kind, CliKind::Decode);
    EXPECT_EQ(c.rxd, 3);  // the decoder's coding: A1, D1, A2, D2
    EXPECT_EQ(c.txd, 4);
    EXPECT_EQ(c.baud, 115200);
    EXPECT_EQ(c.dataBits, 9);
    EXPECT_EQ(c.parity, 2);
    EXPECT_EQ(c.stopBits, 2);
    EXPECT_TRUE(c.msbFirst && c.rxdInv && c.txdInv);
    EXPECT_EQ(c.display, 2);
    c = ParseCliArgs({"record", "--driver=sim", "--settings", "r.krs", "--seconds=600", "-o", "r.bin"});
    EXPECT_EQ(c.error, "");
    EXPECT_EQ(c.kind, CliKind::Record);
    EXPECT_EQ(c.seconds, 600);
    EXPECT_EQ(c.settings, "r.krs");
    EXPECT_EQ(c.output, "r.bin");
    EXPECT_EQ(ParseCliArgs({}).kind, CliKind::Help);
    EXPECT_EQ(ParseCliArgs({"--help"}).error, "");
}

TEST(CliArgs, BadLinesSayWhatIsWrong)
{
    const struct {
        Args args;
        const char* error;
    } cases[] = {
        {{"replay"}, "unknown command replay"},
        {{"capture"}, "capture needs -o OUT.krd"},
        {{"capture", "-o"}, "-o needs a value"},
        {{"capture", "--driver=usb", "-o", "x"}, "--driver usb: the driver is sim, ftdi or d2xx"},
        {{"capture", "--frames", "0", "-o", "x"}, "--frames 0: a whole number from 1 to 100000"},
        {{"capture", "--frames=2x", "-o", "x"}, "--frames 2x: a whole number from 1 to 100000"},
        {{"capture", "x.krd"}, "unexpected argument x.krd"},
        {{"capture", "--spectrum", "A1", "-o", "x"}, "unexpected argument --spectrum"},
        {{"info"}, "info needs a data file"},
        {{"info", "a.krd", "b.krd"}, "unexpected argument b.krd"},
        {{"info", "a.krd", "--spectrum", "A3"}, "--spectrum A3: the channel is A1 or A2"},
        {{"info", "a.krd", "--spectrum", "A1", "--fft-size", "1000"},
         "--fft-size 1000: the size is 1024, 2048, 4096, 8192, 16384, 32768 or auto"},
        {{"info", "a.krd", "--spectrum", "A1", "--fft-window", "kaiser"}, "--fft-window kaiser: unknown window"},
        {{"info", "a.krd", "--spectrum", "A1", "--fft-scale", "dbv"},
         "--fft-scale dbv: the scale is dBV, dBm50, dBm75 or dBm600"},
        {{"info", "a.krd", "--fft-window", "hann"}, "the --fft options go with --spectrum"},
        {{"info", "a.krd", "--frames", "2"}, "unexpected argument --frames"},
        {{"export", "a.krd"}, "export needs --text, --raw or --image"},
        {{"export", "--text", "t.txt"}, "export needs a data file"},
        {{"export", "a.krd", "--raw", "A3", "x.bin"}, "--raw A3: the channel is A1, A2, D1 or D2"},
        {{"export", "a.krd", "--raw", "A1"}, "--raw needs a channel and a file"},
        {{"export", "a.krd", "--text", "t.txt", "--image", "i.png"}, "one export at a time"},
        {{"afg"}, "afg needs a generator script"},
        {{"record", "-o", "r.bin"}, "record needs --seconds S"},
        {{"record", "--seconds", "5"}, "record needs -o OUT.bin"},
        {{"record", "--seconds", "0", "-o", "r.bin"}, "--seconds 0: a whole number of seconds from 1 to 604800"},
        {{"record", "--frames", "2", "--seconds", "5", "-o", "r.bin"}, "unexpected argument --frames"},
        {{"decode", "a.krd", "--baud", "9600"}, "decode needs --rxd or --txd"},
        {{"decode", "a.krd", "--rxd", "D1"}, "decode needs --baud"},
        {{"decode", "--rxd", "D1", "--baud", "9600"}, "decode needs a data file"},
        {{"decode", "a.krd", "--rxd", "D3", "--baud", "9600"}, "--rxd D3: the channel is A1, A2, D1 or D2"},
        {{"decode", "a.krd", "--rxd", "D1", "--baud", "1"}, "--baud 1: a whole number from 2 to 25000000"},
        {{"decode", "a.krd", "--rxd", "D1", "--baud", "9600", "--bits", "33"},
         "--bits 33: a whole number from 2 to 32"},
        {{"decode", "a.krd", "--rxd", "D1", "--baud", "9600", "--parity", "mark"},
         "--parity mark: the parity is none, even, odd or ignore"},
        {{"decode", "a.krd", "--rxd", "D1", "--baud", "9600", "--stop", "3"}, "--stop 3: 1 or 2"},
        {{"decode", "a.krd", "--rxd", "D1", "--baud", "9600", "--format", "bin"},
         "--format bin: the format is hex, dec or ascii"},
        {{"afg", "a.krg", "--lang=de"}, "--lang de: the language is en or ru"},
        {{"afg", "a.krg", "--listing"}, "--listing needs a value"},
        {{"afg", "a.krg", "--text", "t"}, "unexpected argument --text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(ParseCliArgs(c.args).error, c.error);
    }
}

}  // namespace
}  // namespace kr40
