#pragma once
// The command line of kr40-cli:
//   kr40-cli capture [--driver=sim|ftdi|d2xx] [--settings FILE.krs] [--frames N] -o OUT.krd
//   kr40-cli info FILE.krd [--spectrum A1|A2] [--fft-size 1024..32768|auto]
//            [--fft-window NAME] [--fft-scale dBV|dBm50|dBm75|dBm600]
//   kr40-cli export FILE.krd --text OUT.txt | --raw A1|A2|D1|D2 OUT.bin | --image OUT.png|OUT.bmp
//   kr40-cli afg FILE.krg [--listing OUT.lst] [--lang=en|ru]
//   kr40-cli record [--driver=sim|ftdi|d2xx] [--settings FILE.krs] --seconds S -o OUT.bin
//   kr40-cli decode FILE.krd [--rxd CH] [--txd CH] --baud N [--bits N]
//            [--parity none|even|odd|ignore] [--stop 1|2] [--msb] [--rxd-inv] [--txd-inv]
//            [--format hex|dec|ascii]
// Every option takes its value either as the next argument or after "=".

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kr40 {

enum class CliKind { Help, Capture, Info, Export, Afg, Decode, Record };
enum class CliExport { None, Text, Raw, Image };

struct CliCommand {
    CliKind kind = CliKind::Help;
    std::string error;  // why the line cannot be used; empty when it can

    // capture and record
    std::string driver;    // empty: KR40_DRIVER or the build's default
    std::string settings;  // a .krs file to apply, or empty
    int frames = 1;
    int seconds = 0;  // record: how long
    std::string output;

    // info and export
    std::string file;
    std::optional<int> spectrum;   // 0 A1, 1 A2
    std::optional<int> fftSize;    // the FFT_Size setting: 0..5, 6 Auto
    std::optional<int> fftWindow;  // the FFT_Win setting: 0..8
    std::optional<int> fftScale;   // the FFT_Scale setting: 0..3

    // export: what, the channel of a raw export (ChanA1..ChanD2), where
    CliExport exportKind = CliExport::None;
    int channel = 0;
    std::string exportFile;

    // afg: the script (in `file`), where its listing goes, the language
    std::string listing;
    bool russian = false;

    // decode: the decoder settings (Dec_RXD coding: 0 off, 1 A1, 2 D1, 3 A2, 4 D2)
    int rxd = 0, txd = 0;
    int baud = 0, dataBits = 8, parity = 0, stopBits = 1, display = 0;
    bool msbFirst = false, rxdInv = false, txdInv = false;
};

// The usage text printed with a refused line and for --help.
const char* CliUsage();

CliCommand ParseCliArgs(const std::vector<std::string>& args);

// The names the window options take, in the order of the FFT_Win setting.
const std::vector<std::string_view>& FftWindowNames();

}  // namespace kr40
