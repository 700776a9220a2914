#include "app/command_line.h"

#include <cstddef>

#include "app/provider_select.h"

namespace kr40 {

namespace {

constexpr std::string_view kDriverOption = "--driver";
constexpr std::string_view kLangOption = "--lang";
constexpr std::string_view kSimInputsOption = "--sim-inputs";
constexpr int kMaxFrames = 100000;

// The part after "OPTION=" when `arg` is OPTION or OPTION=VALUE; nullopt for
// anything else. A bare OPTION gives an empty value.
std::optional<std::string_view> Joined(std::string_view arg, std::string_view option)
{
    if (arg.substr(0, option.size()) != option) return std::nullopt;
    if (arg.size() == option.size()) return std::string_view();
    if (arg[option.size()] != '=') return std::nullopt;
    return arg.substr(option.size() + 1);
}

// 1..kMaxFrames written in decimal digits only, or nullopt.
std::optional<int> FrameCount(std::string_view text)
{
    if (text.empty() || text.size() > 6) return std::nullopt;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (n < 1 || n > kMaxFrames) return std::nullopt;
    return n;
}

// Why `name` cannot be used as a driver (empty when it can); `source` names
// where it came from in the message.
std::string DriverError(std::string_view name, const std::string& source)
{
    if (name != "d2xx" && name != "ftdi" && name != "sim") return source + ": unknown driver, use d2xx, ftdi or sim";
    if (!ProviderBuiltIn(name)) return source + ": this program is built without libftdi1";
    return {};
}

}  // namespace

const char* CommandLineUsage()
{
    return "usage: kr40 [--simulate | --driver=d2xx|ftdi|sim] [--sim-inputs=demo|open|generator] [--lang=en|ru] "
           "[--screenshot FILE --frames N [--press BUTTON]...] [FILE]";
}

CommandLine ParseCommandLine(const std::vector<std::string>& args, std::string_view driverEnv)
{
    CommandLine c;
    std::string driver;  // from the command line, empty when none was given
    bool framesGiven = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size() && c.error.empty(); ++i) {
        const std::string& a = args[i];
        // The argument after a separate-value option; one starting with "--"
        // is the next option, so the value is missing.
        const auto value = [&](const char* option) -> std::optional<std::string> {
            if (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0) {
                c.error = std::string(option) + " needs a value";
                return std::nullopt;
            }
            return args[++i];
        };
        if (optionsEnded || a.rfind("--", 0) != 0) {
            c.files.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "--simulate") {
            driver = "sim";
        } else if (const auto d = Joined(a, kDriverOption)) {
            if (d->empty())
                c.error = "--driver needs a value (--driver=d2xx, ftdi or sim)";
            else
                c.error = DriverError(*d, "--driver=" + std::string(*d));
            driver = *d;
        } else if (const auto w = Joined(a, kSimInputsOption)) {
            if (SimInputsKnown(*w) && !w->empty())
                c.simInputs = *w;
            else
                c.error = "--sim-inputs needs demo, open or generator";
        } else if (const auto l = Joined(a, kLangOption)) {
            if (*l == "en" || *l == "ru")
                c.russian = *l == "ru";
            else if (l->empty())
                c.error = "--lang needs a value (--lang=en or --lang=ru)";
            else
                c.error = a + ": the language is en or ru";
        } else if (a == "--screenshot") {
            if (auto v = value("--screenshot")) {
                if (v->empty())
                    c.error = "--screenshot needs a file name";
                else
                    c.screenshot = *v;
            }
        } else if (a == "--frames") {
            if (auto v = value("--frames")) {
                framesGiven = true;
                if (const auto n = FrameCount(*v))
                    c.frames = *n;
                else
                    c.error = "--frames needs a whole number from 1 to 100000";
            }
        } else if (a == "--press") {
            if (auto v = value("--press")) {
                if (v->empty())
                    c.error = "--press needs a button name";
                else
                    c.press.push_back(*v);
            }
        } else {
            c.error = "unknown option " + a;
        }
    }
    if (!c.error.empty()) return c;
    if (framesGiven && c.screenshot.empty()) {
        c.error = "--frames goes with --screenshot FILE";
        return c;
    }
    if (!c.press.empty() && c.screenshot.empty()) {
        c.error = "--press goes with --screenshot FILE";
        return c;
    }
    if (!driver.empty()) {
        c.providerName = driver;
    } else if (!driverEnv.empty()) {
        c.error = DriverError(driverEnv, "KR40_DRIVER=" + std::string(driverEnv));
        c.providerName = driverEnv;
    } else {
        c.providerName = DefaultProviderName();
    }
    if (c.error.empty() && !c.simInputs.empty() && c.providerName != "sim")
        c.error = "--sim-inputs goes with --simulate";
    return c;
}

}  // namespace kr40
