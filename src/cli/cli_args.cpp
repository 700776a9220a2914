#include "cli/cli_args.h"

#include <array>
#include <charconv>

namespace kr40 {

namespace {

constexpr std::array<std::string_view, 4> kScaleNames = {"dBV", "dBm50", "dBm75", "dBm600"};

std::optional<int> WholeNumber(std::string_view v, int lo, int hi)
{
    int n = 0;
    const auto r = std::from_chars(v.data(), v.data() + v.size(), n);
    if (r.ec != std::errc() || r.ptr != v.data() + v.size() || n < lo || n > hi) return std::nullopt;
    return n;
}

template <class Names>
std::optional<int> IndexOf(const Names& names, std::string_view v)
{
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == v) return static_cast<int>(i);
    return std::nullopt;
}

std::optional<int> SizeChoice(std::string_view v)
{
    if (v == "auto") return 6;
    for (int choice = 0; choice <= 5; ++choice)
        if (v == std::to_string(1024 << choice)) return choice;
    return std::nullopt;
}

}  // namespace

const char* CliUsage()
{
    return "usage: kr40-cli capture [--driver=sim|ftdi|d2xx] [--settings FILE.krs] [--frames N] -o OUT.krd\n"
           "       kr40-cli info FILE.krd [--spectrum A1|A2] [--fft-size 1024..32768|auto]\n"
           "                [--fft-window rectangular|hann|flattop|hamming|blackman|blackman-harris|\n"
           "                              nuttall|blackman-nuttall|triangular]\n"
           "                [--fft-scale dBV|dBm50|dBm75|dBm600]\n"
           "       kr40-cli export FILE.krd --text OUT.txt | --raw A1|A2|D1|D2 OUT.bin | --image OUT.png|OUT.bmp\n"
           "       kr40-cli afg FILE.krg [--listing OUT.lst] [--lang=en|ru]\n"
           "       kr40-cli record [--driver=sim|ftdi|d2xx] [--settings FILE.krs] --seconds S -o OUT.bin\n"
           "       kr40-cli decode FILE.krd [--rxd A1|A2|D1|D2] [--txd A1|A2|D1|D2] --baud N [--bits 2..32]\n"
           "                [--parity none|even|odd|ignore] [--stop 1|2] [--msb] [--rxd-inv] [--txd-inv]\n"
           "                [--format hex|dec|ascii]\n";
}

const std::vector<std::string_view>& FftWindowNames()
{
    static const std::vector<std::string_view> names = {
        "rectangular",     "hann",    "flattop",          "hamming",   "blackman",
        "blackman-harris", "nuttall", "blackman-nuttall", "triangular"};
    return names;
}

CliCommand ParseCliArgs(const std::vector<std::string>& args)
{
    CliCommand c;
    if (args.empty() || args[0] == "--help" || args[0] == "-h") return c;
    if (args[0] == "capture")
        c.kind = CliKind::Capture;
    else if (args[0] == "info")
        c.kind = CliKind::Info;
    else if (args[0] == "export")
        c.kind = CliKind::Export;
    else if (args[0] == "afg")
        c.kind = CliKind::Afg;
    else if (args[0] == "decode")
        c.kind = CliKind::Decode;
    else if (args[0] == "record")
        c.kind = CliKind::Record;
    else {
        c.error = "unknown command " + args[0];
        return c;
    }

    for (std::size_t i = 1; i < args.size() && c.error.empty(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const auto take = [&]() -> std::optional<std::string> {
            if (value) return value;
            if (i + 1 >= args.size()) {
                c.error = name + " needs a value";
                return std::nullopt;
            }
            return args[++i];
        };
        const auto bad = [&](const std::string& v, const char* what) { c.error = name + " " + v + ": " + what; };

        const bool acquires = c.kind == CliKind::Capture || c.kind == CliKind::Record;
        if (acquires && name == "--driver") {
            if (auto v = take()) {
                if (*v != "sim" && *v != "ftdi" && *v != "d2xx") bad(*v, "the driver is sim, ftdi or d2xx");
                c.driver = *v;
            }
        } else if (acquires && name == "--settings") {
            if (auto v = take()) c.settings = *v;
        } else if (c.kind == CliKind::Capture && name == "--frames") {
            if (auto v = take()) {
                if (auto n = WholeNumber(*v, 1, 100000))
                    c.frames = *n;
                else
                    bad(*v, "a whole number from 1 to 100000");
            }
        } else if (c.kind == CliKind::Record && name == "--seconds") {
            if (auto v = take()) {
                if (auto n = WholeNumber(*v, 1, 604800))
                    c.seconds = *n;
                else
                    bad(*v, "a whole number of seconds from 1 to 604800");
            }
        } else if (acquires && (name == "-o" || name == "--output")) {
            if (auto v = take()) c.output = *v;
        } else if (c.kind == CliKind::Info && name == "--spectrum") {
            if (auto v = take()) {
                if (*v == "A1" || *v == "A2")
                    c.spectrum = *v == "A1" ? 0 : 1;
                else
                    bad(*v, "the channel is A1 or A2");
            }
        } else if (c.kind == CliKind::Info && name == "--fft-size") {
            if (auto v = take()) {
                c.fftSize = SizeChoice(*v);
                if (!c.fftSize) bad(*v, "the size is 1024, 2048, 4096, 8192, 16384, 32768 or auto");
            }
        } else if (c.kind == CliKind::Info && name == "--fft-window") {
            if (auto v = take()) {
                c.fftWindow = IndexOf(FftWindowNames(), *v);
                if (!c.fftWindow) bad(*v, "unknown window");
            }
        } else if (c.kind == CliKind::Info && name == "--fft-scale") {
            if (auto v = take()) {
                c.fftScale = IndexOf(kScaleNames, *v);
                if (!c.fftScale) bad(*v, "the scale is dBV, dBm50, dBm75 or dBm600");
            }
        } else if (c.kind == CliKind::Export && (name == "--text" || name == "--raw" || name == "--image")) {
            if (c.exportKind != CliExport::None) {
                c.error = "one export at a time";
            } else if (name == "--raw") {
                const auto ch = take();
                if (!ch) break;
                c.channel = IndexOf(std::array<std::string_view, 4>{"A1", "A2", "D1", "D2"}, *ch).value_or(-1);
                if (c.channel < 0) {
                    bad(*ch, "the channel is A1, A2, D1 or D2");
                    break;
                }
                c.exportKind = CliExport::Raw;
                if (i + 1 >= args.size()) {
                    c.error = "--raw needs a channel and a file";
                    break;
                }
                c.exportFile = args[++i];
            } else if (auto v = take()) {
                c.exportKind = name == "--text" ? CliExport::Text : CliExport::Image;
                c.exportFile = *v;
            }
        } else if (c.kind == CliKind::Afg && name == "--listing") {
            if (auto v = take()) c.listing = *v;
        } else if (c.kind == CliKind::Afg && name == "--lang") {
            if (auto v = take()) {
                if (*v != "en" && *v != "ru") bad(*v, "the language is en or ru");
                c.russian = *v == "ru";
            }
        } else if (c.kind == CliKind::Decode && (name == "--rxd" || name == "--txd")) {
            if (auto v = take()) {
                // The decoder's channel coding: 1 A1, 2 D1, 3 A2, 4 D2.
                const int k = IndexOf(std::array<std::string_view, 4>{"A1", "D1", "A2", "D2"}, *v).value_or(-1);
                if (k < 0) bad(*v, "the channel is A1, A2, D1 or D2");
                (name == "--rxd" ? c.rxd : c.txd) = k + 1;
            }
        } else if (c.kind == CliKind::Decode && name == "--baud") {
            if (auto v = take()) {
                if (auto n = WholeNumber(*v, 2, 25000000))
                    c.baud = *n;
                else
                    bad(*v, "a whole number from 2 to 25000000");
            }
        } else if (c.kind == CliKind::Decode && name == "--bits") {
            if (auto v = take()) {
                if (auto n = WholeNumber(*v, 2, 32))
                    c.dataBits = *n;
                else
                    bad(*v, "a whole number from 2 to 32");
            }
        } else if (c.kind == CliKind::Decode && name == "--stop") {
            if (auto v = take()) {
                if (auto n = WholeNumber(*v, 1, 2))
                    c.stopBits = *n;
                else
                    bad(*v, "1 or 2");
            }
        } else if (c.kind == CliKind::Decode && name == "--parity") {
            if (auto v = take()) {
                const auto k = IndexOf(std::array<std::string_view, 4>{"none", "even", "odd", "ignore"}, *v);
                if (!k) bad(*v, "the parity is none, even, odd or ignore");
                c.parity = k.value_or(0);
            }
        } else if (c.kind == CliKind::Decode && name == "--format") {
            if (auto v = take()) {
                const auto k = IndexOf(std::array<std::string_view, 3>{"hex", "dec", "ascii"}, *v);
                if (!k) bad(*v, "the format is hex, dec or ascii");
                c.display = k.value_or(0);
            }
        } else if (c.kind == CliKind::Decode && !value && name == "--msb") {
            c.msbFirst = true;
        } else if (c.kind == CliKind::Decode && !value && name == "--rxd-inv") {
            c.rxdInv = true;
        } else if (c.kind == CliKind::Decode && !value && name == "--txd-inv") {
            c.txdInv = true;
        } else if (!acquires && name.rfind("-", 0) != 0 && c.file.empty()) {
            c.file = name;
        } else {
            c.error = "unexpected argument " + args[i];
        }
    }
    if (!c.error.empty()) return c;
    if (c.kind == CliKind::Capture && c.output.empty()) c.error = "capture needs -o OUT.krd";
    if (c.kind == CliKind::Record && c.seconds == 0) c.error = "record needs --seconds S";
    if (c.kind == CliKind::Record && c.error.empty() && c.output.empty()) c.error = "record needs -o OUT.bin";
    if (c.kind == CliKind::Info && c.file.empty()) c.error = "info needs a data file";
    if (c.kind == CliKind::Export && c.file.empty()) c.error = "export needs a data file";
    if (c.kind == CliKind::Afg && c.file.empty()) c.error = "afg needs a generator script";
    if (c.kind == CliKind::Decode && c.error.empty()) {
        if (c.file.empty())
            c.error = "decode needs a data file";
        else if (c.rxd == 0 && c.txd == 0)
            c.error = "decode needs --rxd or --txd";
        else if (c.baud == 0)
            c.error = "decode needs --baud";
    }
    if (c.kind == CliKind::Export && c.error.empty() && c.exportKind == CliExport::None)
        c.error = "export needs --text, --raw or --image";
    if (c.kind == CliKind::Info && !c.spectrum && (c.fftSize || c.fftWindow || c.fftScale))
        c.error = "the --fft options go with --spectrum";
    return c;
}

}  // namespace kr40
