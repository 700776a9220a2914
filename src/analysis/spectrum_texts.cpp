#include "analysis/spectrum_texts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "acquisition/acq_config.h"
#include "acquisition/frame.h"
#include "acquisition/scope_settings.h"
#include "analysis/spectrum.h"
#include "core/texts.h"
#include "core/value_format.h"

namespace kr40 {

namespace {

constexpr std::array<const char*, 4> kScaleNames = {" dBV", " dBm (50 ohm)", " dBm (75 ohm)", " dBm (600 ohm)"};

// Banner texts by status 2..4: before and after the channel label.
struct BannerText {
    TextPair before, after;
};
const std::array<BannerText, 3> kBanner = {{
    {{"There are no", "Отсутствуют отсчеты канала"}, {"samples for FFT.", ""}},
    {{"Sampling must be Normal for FFT.", "Выключите пиковый детектор."}, {"", ""}},
    {{"Unsufficient", "Недостаточно отсчетов канала"}, {"samples for FFT.", "для БПФ."}},
}};

double DbPerDivRange(const ScopeSettings& s)
{
    return s.FFT_15dB_div ? 120.0 : 80.0;
}

double UvDivNow(const DisplayInputs& in, int channel)
{
    return channel == 0 ? in.acq.uV_Div_A1 : in.acq.uV_Div_A2;
}

}  // namespace

int SpectrumZoom(const ScopeSettings& s)
{
    static constexpr std::array<int, 6> kZooms = {1, 2, 5, 10, 20, 50};
    return kZooms[static_cast<std::size_t>(std::clamp(s.FFT_Zoom, 0, 5))];
}

int ShownSpectrumChannel(const ScopeSettings& s)
{
    return s.FFT_View_A1 ? 0 : s.FFT_View_A2 ? 1 : -1;
}

int ShownSpectrumBins(const ScopeSettings& s, const Spectrum& sp, const FrameRecord& rec)
{
    const int shown = ShownSpectrumChannel(s);
    const ChannelSpectrum& c = sp.ch[static_cast<std::size_t>(std::max(shown, 0))];
    return c.status == FftComputed ? c.Bins() : (1 << TransformLog2(s.FFT_Size, rec.ValidLen)) / 2;
}

double NyquistHz(const FrameRecord& rec)
{
    return rec.Divider > 0 ? 100e6 / rec.Divider / 2 : 0.0;
}

const char* LevelUnit(int scale)
{
    return scale == 0 ? " dBV" : " dBm";
}

std::string LevelText(const ScopeSettings& s, double level, int decimals)
{
    if (s.FFT_Scale == 0 && s.FFT_dbv_v) return FormatValue(std::pow(10.0, 0.05 * level) * 1e6, UnitKind::Voltage, -4);
    return FixedText(level, decimals) + LevelUnit(s.FFT_Scale);
}

std::vector<LabelText> SpectrumLabels(const DisplayInputs& in, const Spectrum& sp)
{
    std::vector<LabelText> out;
    const ScopeSettings& s = in.s;
    const int shown = ShownSpectrumChannel(s);
    if (shown < 0) return out;
    const FrameRecord& rec = in.live.rec;
    const std::uint32_t fft = s.Colors[ColorFFT];
    const double fN = NyquistHz(rec);
    const int zoom = SpectrumZoom(s);
    const int bins = ShownSpectrumBins(s, sp, rec);
    const int n = 2 * bins;

    // Row Y0.
    const int top = TopLevelDb(ReferenceLevelDb(s.FFT_Scale, UvDivNow(in, shown)));
    out.push_back(
        {0, Col0, std::to_string(top) + kScaleNames[static_cast<std::size_t>(std::clamp(s.FFT_Scale, 0, 3))], fft});
    out.push_back({0, Col2_8, shown == 0 ? "  A1" : "  A2", s.Colors[static_cast<std::size_t>(ColorA1 + shown)]});
    out.push_back({0, Col3_8, "N " + std::to_string(n), fft});
    std::string span = "span " + (fN > 0 ? FormatValue(fN, UnitKind::Frequency, -3) : std::string("..."));
    if (zoom > 1) span += ":" + std::to_string(zoom);
    out.push_back({0, Col4_8, span, fft});
    out.push_back({0, Col6_8, std::string(s.FFT_15dB_div ? "15" : "10") + LevelUnit(s.FFT_Scale) + "/Div", fft});

    // Row Y1: the frequency at the left edge.
    out.push_back(
        {1, Col0, fN > 0 ? FormatValue(s.X_Pos * fN / bins, UnitKind::Frequency, -5) : std::string("..."), fft});

    if (!s.Measure) return out;
    const int decimals = s.TDC_Clbr || s.USB_VIEW ? 3 : 2;
    const int count = 2 << std::clamp(s.FFT_Ave, 0, 6);  // 2 .. 64, 128 for "Inf"
    const bool showAveraging = s.FFT_Ave_On || sp.ch[0].frames >= 2 || sp.ch[1].frames >= 2;
    for (int ch = 0; ch < 2; ++ch) {
        const ChannelSpectrum& k = sp.ch[static_cast<std::size_t>(ch)];
        const bool on = ch == 0 ? s.CH_A1 : s.CH_A2;
        if (!on || k.status != FftComputed) continue;
        const int row = 3 + ch;
        const std::uint32_t colour = s.Colors[static_cast<std::size_t>(ColorA1 + ch)];
        const bool valid = k.peak.valid && fN > 0;
        out.push_back(
            {row, Col0, k.peak.valid ? "Vp = " + LevelText(s, k.peak.levelDb, decimals) : "Vp = ...", colour});
        out.push_back({row, Col2_8,
                       valid ? "Fp = " + FormatValue(k.peak.position * fN, UnitKind::Frequency, -6) : "Fp = ...",
                       colour});
        out.push_back({row, Col0, "Vp =", fft});
        out.push_back({row, Col2_8, "Fp =", fft});

        if (showAveraging) {
            const std::string caption = count > 64 ? "Av Inf = " : "Av" + std::to_string(count) + " = ";
            out.push_back({row, Col4_8, caption + std::to_string(k.frames), colour});
            out.push_back({row, Col4_8, caption, fft});
            continue;
        }
        const int other = sp.ch[static_cast<std::size_t>(1 - ch)].status;
        if (other != FftComputed || (ch == 0 && sp.peaksCoincide)) continue;
        out.push_back(
            {row, Col4_8, k.phase.valid ? "dPh = " + FixedText(k.phase.degrees, 2) + " Deg" : "dPh = ...", colour});
        out.push_back({row, Col4_8, "dPh = ", fft});
    }
    return out;
}

std::vector<LabelText> SpectrumMarkerReadouts(const DisplayInputs& in, const Spectrum& sp)
{
    std::vector<LabelText> out;
    const ScopeSettings& s = in.s;
    const int shown = ShownSpectrumChannel(s);
    const bool single = s.Markers_1;
    if (shown < 0 || (!single && !s.Markers_2)) return out;
    const std::uint32_t markers = s.Colors[ColorMarkers], fft = s.Colors[ColorFFT];
    const int bins = ShownSpectrumBins(s, sp, in.live.rec);
    const double fN = NyquistHz(in.live.rec);
    const double f0 = s.X_Pos * fN / bins;
    const auto freqAt = [&](int mx) { return 0.002 * mx * fN / SpectrumZoom(s) + f0; };
    const auto freqText = [&](const char* caption, double f, int digits) {
        return std::string(caption) + (fN > 0 ? FormatValue(f, UnitKind::Frequency, digits) : std::string("..."));
    };
    const auto put = [&](int row, int column, std::string text, const char* caption) {
        out.push_back({row, column, std::move(text), markers});
        out.push_back({row, column, caption, fft});
    };

    const double range = DbPerDivRange(s);
    const int row = 3 + shown;
    if (single) {
        put(2, Col0, freqText("F = ", freqAt(s.Marker_x), -5), "F");
        const double top = TopLevelDb(ReferenceLevelDb(s.FFT_Scale, UvDivNow(in, shown)));
        put(row, Col6_8, "V = " + LevelText(s, top - s.Marker_y * 0.00390625 * range, 2), "V =");
    } else {
        const double f1 = std::min(freqAt(s.Marker1_x), freqAt(s.Marker2_x));
        const double f2 = std::max(freqAt(s.Marker1_x), freqAt(s.Marker2_x));
        put(2, Col0, freqText("F1 = ", f1, -5), "F1");
        put(2, Col2_8, freqText("F2 = ", f2, -5), "F2");
        put(2, Col4_8, freqText("dF = ", f2 - f1, -4), "dF");
        const double dv = std::abs(s.Marker1_y - s.Marker2_y) * range * 0.00390625;
        put(row, Col6_8, "dV = " + FixedText(dv, 2) + LevelUnit(s.FFT_Scale), "dV =");
    }
    return out;
}

std::optional<std::string> SpectrumBannerText(const ScopeSettings& s, const Spectrum& sp)
{
    int ch = ShownSpectrumChannel(s);
    if (ch < 0) return std::nullopt;
    const auto failed = [&](int k) { return sp.ch[static_cast<std::size_t>(k)].status >= FftNoSamples; };
    if (!failed(ch)) {
        if (!failed(1 - ch)) return std::nullopt;
        ch = 1 - ch;
    }
    const int status = std::clamp(sp.ch[static_cast<std::size_t>(ch)].status, 2, 4);
    const BannerText& b = kBanner[static_cast<std::size_t>(status - 2)];
    const std::string before = Tr(b.before, s.Russian), after = Tr(b.after, s.Russian);
    if (status == FftPeakDetect) return before;
    return before + (ch == 0 ? " A1 " : " A2 ") + after;
}

}  // namespace kr40
