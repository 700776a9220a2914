#include "cli/cli_commands.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/scope_tables.h"
#include "analysis/readouts.h"
#include "analysis/spectrum.h"
#include "analysis/spectrum_texts.h"
#include "app/provider_select.h"
#include "cli/cli_args.h"
#include "core/prompts.h"
#include "core/value_format.h"
#include "decoders/uart_decoder.h"
#include "display/scope_screen.h"
#include "display/screen.h"
#include "files/image_file.h"
#include "files/safe_file.h"
#include "files/settings_file.h"
#include "generator/afg_compiler.h"
#include "recorder/recorder.h"
#include "state/afg_commands.h"
#include "state/compose.h"
#include "state/data_commands.h"
#include "state/export_commands.h"
#include "state/headless_scope.h"
#include "state/scope_state.h"

namespace kr40 {

namespace {

constexpr const char* kChannelNames[] = {"A1", "A2", "D1", "D2"};
// The picture of `export --image`: the screen of the window at its first size.
constexpr int kCliScreenWidth = 731, kCliScreenHeight = 499;

// Nobody answers at the command line: a file dialog takes the file named on
// it, a question about replacing a file there is answered Yes, and every
// other message is one line on stderr.
class CliPrompts : public Prompts {
public:
    CliPrompts(std::ostream& err, std::string output) : err_(err), output_(std::move(output)) {}

    PromptAnswer Message(const std::string&, const std::string& text, PromptIcon icon, PromptButtons buttons) override
    {
        std::string line;
        for (char ch : text) {
            if (ch == '\r') continue;
            if (ch == '\n') {
                if (!line.empty() && line.back() != ' ') line += ":";
                line += ' ';
            } else {
                line += ch;
            }
        }
        const bool question = buttons == PromptButtons::YesNo;
        if (icon == PromptIcon::Error) ++errors_;
        err_ << "kr40-cli: " << (icon == PromptIcon::Warning && !question ? "warning: " : "") << line
             << (question ? " Yes." : "") << '\n';
        return question ? PromptAnswer::Yes : PromptAnswer::Ok;
    }
    std::optional<std::string> OpenFile(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<std::string> SaveFile(const FileDialogRequest&) override
    {
        if (output_.empty()) return std::nullopt;
        return output_;
    }
    std::optional<std::uint32_t> ChooseColor(std::uint32_t) override { return std::nullopt; }
    bool OpenDocument(const std::string&) override { return false; }
    int Errors() const { return errors_; }

private:
    int errors_ = 0;
    std::ostream& err_;
    std::string output_;
};

std::string ProviderName(const CliCommand& c)
{
    if (!c.driver.empty()) return c.driver;
    const char* env = std::getenv("KR40_DRIVER");
    return env && *env ? std::string(env) : DefaultProviderName();
}

// The texts of one label row, in the order drawn, joined by two blanks;
// a caption drawn again over its value is left out.
std::string RowText(const std::vector<LabelText>& labels, int row)
{
    std::string line;
    std::vector<int> seen;
    for (const LabelText& l : labels) {
        if (l.row != row || std::find(seen.begin(), seen.end(), l.column) != seen.end()) continue;
        seen.push_back(l.column);
        const std::size_t first = l.text.find_first_not_of(' ');
        if (first == std::string::npos) continue;
        if (!line.empty()) line += "  ";
        line += l.text.substr(first);
    }
    return line;
}

// The device provider of --driver (or KR40_DRIVER, or the default); nothing,
// and the reason on `err`, when this build has no such driver.
std::unique_ptr<DeviceProvider> ProviderOf(const CliCommand& c, std::ostream& err)
{
    const std::string driver = ProviderName(c);
    std::unique_ptr<DeviceProvider> provider = MakeProvider(driver);
    if (!provider) err << "kr40-cli: the " << driver << " driver is not built into this program\n";
    return provider;
}

}  // namespace

int RunCapture(const CliCommand& c, std::ostream&, std::ostream& err)
{
    const std::unique_ptr<DeviceProvider> provider = ProviderOf(c, err);
    if (!provider) return 1;
    ScopeState st;
    st.settings.Russian = false;
    CliPrompts prompts(err, c.output);
    if (!c.settings.empty()) {
        if (!ReadSettings(st.settings, prompts, c.settings, false)) return 1;
        st.settings.Russian = false;
    }

    FrameSet frame;
    {
        HeadlessScope scope(st, *provider);
        if (scope.Open(prompts, std::chrono::seconds(20)) != FT_OK) {
            err << "kr40-cli: the instrument did not become ready\n";
            return 1;
        }
        st.settings.Run_Down = true;
        st.settings.Sngl_Down = false;
        st.requests.TrigChanged = true;
        ApplySettings(st);
        // A frame takes ten divisions; allow for the link and a trigger that waits.
        const auto perFrame =
            std::chrono::milliseconds(10'000) + std::chrono::milliseconds(st.acq.Time_Div_ns * 20 / 1'000'000);
        const bool got = scope.WaitCompleteFrames(
            c.frames, perFrame, [&](int n) { err << "\rkr40-cli: frame " << n << " of " << c.frames << std::flush; });
        err << '\n';
        if (!got) {
            err << "kr40-cli: no complete frame came from the instrument\n";
            return 1;
        }
        frame = scope.LastComplete();
    }
    // The acquisition has stopped: the frame is the main frame, saved as Save does.
    st.live->rec = frame.rec;
    st.live->buf = frame.buf;
    st.LiveExists = true;
    st.settings.Run_Down = false;
    return Menu_Save_AsClick(st, prompts, false) ? 0 : 1;
}

int RunInfo(const CliCommand& c, std::ostream& out, std::ostream& err)
{
    ScopeState st;
    st.settings.Russian = false;
    CliPrompts prompts(err, "");
    if (OpenDataFile(st, prompts, c.file) == OpenOutcome::Failed) return 1;
    ScopeSettings& s = st.settings;
    s.Russian = false;

    const FrameRecord& r = st.live->rec;
    out << "File: " << st.LiveName << '\n';
    out << "Samples: " << r.ValidLen << (r.PairFlag ? " pairs (peak detect)" : "") << '\n';
    std::string channels;
    for (int k = 0; k < 4; ++k)
        if (r.ChannelMask & (1 << k)) channels += std::string(channels.empty() ? "" : " ") + kChannelNames[k];
    out << "Channels: " << (channels.empty() ? "none" : channels) << '\n';
    const auto divider = static_cast<std::uint32_t>(r.Divider);
    out << "Sampling rate: " << (divider ? FormatValue(100e6 / divider, UnitKind::Frequency, -4) : "...") << '\n';
    out << "Time step: " << FormatValue(divider * 10.0, UnitKind::Time, -4) << '\n';
    for (int k = 0; k < 2; ++k) {
        if (!(r.ChannelMask & (1 << k))) continue;
        const int uv = k == 0 ? r.uV_Div_A1 : r.uV_Div_A2;
        out << kChannelNames[k] << ": " << FormatValue(uv, UnitKind::Voltage, 0) << "/div, voltage step "
            << FormatValue(uv * 0.03125, UnitKind::Voltage, -4) << ", zero level " << (k == 0 ? r.A1_Zero : r.A2_Zero)
            << '\n';
    }
    std::string stored;
    if (st.spectrum)
        for (int k = 0; k < 2; ++k) {
            const ChannelSpectrum& sp = st.spectrum->ch[static_cast<std::size_t>(k)];
            if (st.SpectrumRestart[static_cast<std::size_t>(RestartA1 + k)] || sp.frames < 2) continue;
            stored += std::string(stored.empty() ? "" : ", ") + kChannelNames[k] + " (" + std::to_string(sp.Points()) +
                      " points, " + std::to_string(sp.frames) + " frames)";
        }
    out << "Stored spectra: " << (stored.empty() ? "none" : stored) << '\n';
    out << "Reference frame: " << (st.RefExists ? st.RefName : "none") << '\n';

    // The measurements as the screen shows them, for the channels the frame holds.
    s.Measure = true;
    s.CH_A1 = r.ChannelMask & 1;
    s.CH_A2 = r.ChannelMask & 2;
    ScreenState d;
    DisplayInputs in = InputsOf(st);
    const std::vector<LabelText> m = Measurements(in, d);
    for (int k = 0; k < 2; ++k)
        if (const std::string row = RowText(m, 3 + k); !row.empty()) out << kChannelNames[k] << ": " << row << '\n';

    if (c.spectrum) {
        const int k = *c.spectrum;
        s.FFT_View_A1 = k == 0;
        s.FFT_View_A2 = k == 1;
        s.FFT_Calc_Both = false;
        const bool changed = c.fftSize || c.fftWindow || c.fftScale;
        if (c.fftSize) s.FFT_Size = *c.fftSize;
        if (c.fftWindow) s.FFT_Win = *c.fftWindow;
        if (c.fftScale) s.FFT_Scale = *c.fftScale;
        if (!st.spectrum) st.spectrum = std::make_unique<Spectrum>();
        // Options that change the transform start it afresh from the samples.
        if (changed) st.SpectrumRestart.fill(true);
        ComposeAcqConfig(st);
        SpectrumPass(*st.spectrum, s, *st.live, {double(st.acq.uV_Div_A1), double(st.acq.uV_Div_A2)},
                     st.SpectrumRestart);
        const ChannelSpectrum& sp = st.spectrum->ch[static_cast<std::size_t>(k)];
        if (sp.status != FftComputed) {
            out << "Spectrum " << kChannelNames[k] << ": " << SpectrumBannerText(s, *st.spectrum).value_or("") << '\n';
            return 0;
        }
        s.CH_A1 = s.CH_A2 = true;
        const std::vector<LabelText> labels = SpectrumLabels(in, *st.spectrum);
        out << "Spectrum " << kChannelNames[k] << ": " << RowText(labels, 0) << '\n';
        out << "Spectrum " << kChannelNames[k] << ": " << RowText(labels, 3 + k) << '\n';
    }
    return 0;
}

int RunExport(const CliCommand& c, std::ostream&, std::ostream& err)
{
    ScopeState st;
    st.settings.Russian = false;
    CliPrompts prompts(err, c.exportFile);
    const OpenOutcome opened = OpenDataFile(st, prompts, c.file);
    if (opened == OpenOutcome::Failed) return 1;
    st.settings.Russian = false;
    switch (c.exportKind) {
        case CliExport::Text:
            Menu_TextClick(st, prompts);
            break;
        case CliExport::Raw:
            Menu_EBinClick(st, prompts, c.channel);
            break;
        case CliExport::Image: {
            // The screen is drawn with Qt Gui (fonts); no display is needed.
            std::unique_ptr<QGuiApplication> app;
            if (!QCoreApplication::instance()) {
                if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
                static int argc = 1;
                static char name[] = "kr40-cli";
                static char* argv[] = {name, nullptr};
                app = std::make_unique<QGuiApplication>(argc, argv);
            }
            DisplayState d;
            RecomputeGeometry(d, kCliScreenWidth, kCliScreenHeight);
            DrawFrameScreen(d, st, opened == OpenOutcome::OpenedWithReference);
            const QImage& img = d.ScreenBitmap;
            Menu_ImageClick(st, prompts, PixelView{img.constBits(), img.width(), img.height(), img.bytesPerLine()});
            break;
        }
        case CliExport::None:
            break;
    }
    return prompts.Errors() == 0 ? 0 : 1;
}

namespace {
// The program's texts break lines with "\r\n"; a terminal wants "\n".
std::string TerminalText(std::string t)
{
    for (std::size_t at = t.find("\r\n"); at != std::string::npos; at = t.find("\r\n", at)) t.erase(at, 1);
    return t;
}
}  // namespace

int RunAfg(const CliCommand& c, std::ostream& out, std::ostream& err)
{
    const std::optional<std::vector<std::string>> lines = ReadAfgSource(c.file);
    if (!lines) {
        err << "kr40-cli: " << c.file << ": " << (c.russian ? "Файл не найден." : "File not found.") << '\n';
        return 1;
    }
    const AfgResult r = CompileAfg(*lines, c.file, c.russian);
    if (!c.listing.empty()) {
        std::string why;
        if (!WriteFileWhole(c.listing, AfgListingText(r), &why)) {
            err << "kr40-cli: cannot write " << c.listing << ": " << why << '\n';
            return 1;
        }
    }
    (r.ok ? out : err) << TerminalText(r.message) << '\n';
    return r.ok ? 0 : 1;
}

int RunDecode(const CliCommand& c, std::ostream& out, std::ostream& err)
{
    ScopeState st;
    st.settings.Russian = false;
    CliPrompts prompts(err, "");
    if (OpenDataFile(st, prompts, c.file) == OpenOutcome::Failed) return 1;
    ScopeSettings& s = st.settings;
    s.Russian = false;
    s.Dec_Type = 1;
    s.Dec_RXD = c.rxd;
    s.Dec_TXD = c.txd;
    s.Dec_Baud_Rate = c.baud;
    s.Dec_Data_Bits = c.dataBits;
    s.Dec_PRTY = c.parity;
    s.Dec_Stop_Bits = c.stopBits;
    s.Dec_MSB_First = c.msbFirst ? 1 : 0;
    s.Dec_RXD_Inv = c.rxdInv ? 1 : 0;
    s.Dec_TXD_Inv = c.txdInv ? 1 : 0;
    s.Dec_Display = c.display;
    // The lines named are decoded whatever the file's view showed.
    static constexpr bool ScopeSettings::*kShown[5] = {nullptr, &ScopeSettings::CH_A1, &ScopeSettings::CH_D1,
                                                       &ScopeSettings::CH_A2, &ScopeSettings::CH_D2};
    for (const int line : {c.rxd, c.txd})
        if (line > 0) s.*kShown[line] = true;
    ComposeAcqConfig(st);
    DecodedTables tables;
    DecodeFrameSerial(s, st.acq, *st.live, tables);
    out << TerminalText(DecoderText(s, tables));
    return 0;
}

int RunRecord(const CliCommand& c, std::ostream&, std::ostream& err)
{
    const std::unique_ptr<DeviceProvider> provider = ProviderOf(c, err);
    if (!provider) return 1;
    ScopeState st;
    ScopeSettings& s = st.settings;
    s.Russian = false;
    CliPrompts prompts(err, c.output);
    if (!c.settings.empty()) {
        if (!ReadSettings(s, prompts, c.settings, false)) return 1;
        s.Russian = false;
    } else {
        s.Sel(Group::TimeBase) = TimeBaseIndex("100mS");
        s.Trig_On = false;
    }
    s.Run_Down = true;
    s.Sngl_Down = false;
    ComposeAcqConfig(st);
    if (!st.acq.Roll) {
        ShowRecorderRefusal(prompts, false);
        return 1;
    }

    // The hand-off runs on the acquisition thread here: it queues the bytes
    // and this thread writes them, so the recording has one owner.
    std::mutex queued;
    std::vector<std::uint8_t> pending, writing;
    HeadlessScope scope(st, *provider);
    scope.SetRecorderSink([&](std::span<const std::uint8_t> bytes) {
        std::lock_guard lock(queued);
        pending.insert(pending.end(), bytes.begin(), bytes.end());
    });
    if (scope.Open(prompts, std::chrono::seconds(20)) != FT_OK) {
        err << "kr40-cli: the instrument did not become ready\n";
        return 1;
    }
    ApplySettings(st);
    // The information lines need the divider of a frame taken with these settings.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!RecorderReady(scope.LastRecord()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!RecorderMayOpen(st, s.Run_Down, st.acq.Roll) || !RecorderReady(scope.LastRecord())) {
        err << "kr40-cli: no frame came from the instrument\n";
        return 1;
    }

    RecorderEnv env{prompts, st.LastFolder, st.recorder,   [&scope] { return scope.LastRecord(); },
                    false,   LocalNow,      OpenRecordFile};
    RecorderSession session(std::move(env));
    session.Show();
    session.ChooseFile();
    session.Start();
    if (!session.Recording()) return 1;
    const auto flush = [&] {
        {
            std::lock_guard lock(queued);
            writing.swap(pending);
        }
        if (!writing.empty()) session.Write(writing);
        writing.clear();
    };
    const auto start = std::chrono::steady_clock::now();
    int shown = -1;
    while (session.Recording()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        flush();
        session.Tick();
        const auto elapsed = std::chrono::steady_clock::now() - start;
        const int whole = static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count());
        if (whole != shown) {
            shown = whole;
            err << "\rkr40-cli: " << whole << " of " << c.seconds << " s, " << session.Total() << " bytes"
                << std::flush;
        }
        if (elapsed >= std::chrono::seconds(c.seconds)) break;
    }
    err << '\n';
    flush();
    if (session.Recording()) session.Stop();  // asks, answered Yes; writes the companion file
    return prompts.Errors() == 0 ? 0 : 1;
}

}  // namespace kr40
