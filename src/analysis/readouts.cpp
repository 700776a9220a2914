#include "analysis/readouts.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "acquisition/acq_config.h"
#include "acquisition/frame.h"
#include "acquisition/scope_settings.h"
#include "core/rounding.h"
#include "core/value_format.h"
#include "device/link_shared.h"

namespace kr40 {

namespace {

int Round(double v)
{
    return static_cast<int>(RoundHalfAway(v));
}

// A trigger level as the instrument takes it: rounded and clamped to 0..255.
int LevelCode(double level)
{
    return static_cast<int>(std::clamp<std::int64_t>(RoundHalfAway(level), 0, 255));
}

std::uint32_t Colour(const ScopeSettings& s, int index)
{
    return s.Colors[static_cast<std::size_t>(index)];
}

bool Sweeping(const ScopeSettings& s)
{
    return s.Sel(Group::GenMode) == GenSweepMode;
}

// Time of the sample `first` relative to the trigger sample, ns.
double TimeOfSample(const FrameRecord& r, int first)
{
    return static_cast<double>(r.Divider) * (first - static_cast<double>(r.PreLen)) * 10.0;
}

// Generator frequency at the left edge while the sweep runs.
std::string SweepFrequencyText(const FrameRecord& r, int firstSample)
{
    const double f = SweepFrequency(r, TimeOfSample(r, firstSample));
    return std::isfinite(f) ? FormatValue(f, UnitKind::Frequency, -5) : std::string("...");
}

std::string TriggerText(const ScopeSettings& s, const AcqConfig& acq)
{
    std::string text = "Trig. ";
    switch (s.Sel(Group::TrigSource)) {
        case ChA1:
            text = "Trig. A1  " +
                   FormatValue(acq.uV_Div_A1 * 0.03125 * (LevelCode(s.Lev_A1) - s.A1_Zero), UnitKind::Voltage, -4);
            break;
        case ChA2:
            text = "Trig. A2  " +
                   FormatValue(acq.uV_Div_A2 * 0.03125 * (LevelCode(s.Lev_A2) - s.A2_Zero), UnitKind::Voltage, -4);
            break;
        case ChD1:
            text = "Trig. D1  dig.";
            break;
        case ChD2:
            text = "Trig. D2  dig.";
            break;
        default:
            break;
    }
    if (s.TPLUS) text += "     T+";
    return text;
}

// The time the instrument measured on the event that fired a time-conditioned
// trigger, in 10 ns ticks; it comes back in the time-limit word of the frame.
std::uint32_t TriggerEventTicks(const FrameRecord& r)
{
    return static_cast<std::uint32_t>(r.TrigTimeLimit);
}

bool ChannelOn(const ScopeSettings& s, int channel)
{
    switch (channel) {
        case ChA1:
            return s.CH_A1;
        case ChA2:
            return s.CH_A2;
        case ChD1:
            return s.CH_D1;
        case ChD2:
            return s.CH_D2;
        default:
            return false;
    }
}

}  // namespace

double SweepRate(const FrameRecord& rec)
{
    const int post = rec.FrameLen - rec.PreLen;
    if (post == 0 || rec.F_Span == 0 || rec.Divider == 0) return std::numeric_limits<double>::quiet_NaN();
    return (0.1 * rec.F_Span / post) / (rec.Divider * 10.0);
}

double SweepFrequency(const FrameRecord& rec, double tNs)
{
    const double rate = SweepRate(rec);
    if (std::isnan(rate)) return rate;
    const double start = 0.1 * rec.F_Val;
    return tNs <= 0 ? start : tNs * rate + start;
}

std::vector<LabelText> MarkerReadouts(const DisplayInputs& in, const ScreenState& d)
{
    std::vector<LabelText> out;
    const ScopeSettings& s = in.s;
    const bool single = s.Markers_1;
    if (!single && !s.Markers_2) return out;
    const std::uint32_t markers = Colour(s, ColorMarkers);

    if (!d.spectrumShown) {
        const FrameRecord& rec = in.live.rec;
        const double t0 = TimeOfSample(rec, s.X_Pos);
        const double timeDiv = static_cast<double>(in.acq.Time_Div_ns);
        const auto timeAt = [&](int mx) { return timeDiv * 0.02 * mx + t0; };
        const auto put = [&](int column, std::string text) { out.push_back({2, column, std::move(text), markers}); };

        if (Sweeping(s)) {
            const bool known = !std::isnan(SweepRate(rec));
            const auto freq = [&](const char* caption, double f, int digits) {
                return std::string(caption) + (known ? FormatValue(f, UnitKind::Frequency, digits) : "...");
            };
            if (single) {
                put(Col0, freq("F = ", SweepFrequency(rec, timeAt(s.Marker_x)), -5));
            } else {
                const double t1 = std::min(timeAt(s.Marker1_x), timeAt(s.Marker2_x));
                const double t2 = std::max(timeAt(s.Marker1_x), timeAt(s.Marker2_x));
                const double f1 = SweepFrequency(rec, t1), f2 = SweepFrequency(rec, t2);
                put(Col0, freq("F1 = ", f1, -5));
                put(Col2_8, freq("F2 = ", f2, -5));
                put(Col4_8, freq("dF = ", std::fabs(f2 - f1), -4));
            }
        } else if (single) {
            const double t = timeAt(s.Marker_x);
            put(Col0, "T = " + FormatValue(t, UnitKind::Time, -5));
            put(Col6_8, std::fabs(t) > 0.9 ? "1/T = " + FormatValue(1e9 / std::fabs(t), UnitKind::Frequency, -5)
                                           : std::string("1/T = ..."));
        } else {
            const double t1 = std::min(timeAt(s.Marker1_x), timeAt(s.Marker2_x));
            const double t2 = std::max(timeAt(s.Marker1_x), timeAt(s.Marker2_x));
            put(Col0, "T1 = " + FormatValue(t1, UnitKind::Time, -5));
            put(Col2_8, "T2 = " + FormatValue(t2, UnitKind::Time, -5));
            put(Col4_8, "dT = " + FormatValue(t2 - t1, UnitKind::Time, -4));
            put(Col6_8, s.Marker1_x == s.Marker2_x ? std::string("1/dT = ...")
                                                   : "1/dT = " + FormatValue(1e9 / (t2 - t1), UnitKind::Frequency, -4));
        }
    }

    // Voltages at the markers, against the current volts per division and zero.
    for (int ch = 0; ch < 2; ++ch) {
        const bool on = ch == 0 ? s.CH_A1 : s.CH_A2;
        const bool ownSpectrum = ch == 0 ? s.FFT_View_A1 : s.FFT_View_A2;
        if (!on || ownSpectrum || d.fftStatus[static_cast<std::size_t>(1 - ch)] == 1) continue;
        const double uvDiv = ch == 0 ? in.acq.uV_Div_A1 : in.acq.uV_Div_A2;
        const int zero = ch == 0 ? s.A1_Zero : s.A2_Zero;
        const int row = 3 + ch;
        if (single) {
            const double v = uvDiv * ((255 - s.Marker_y) - zero) * 0.03125;
            out.push_back({row, Col6_8, "V = " + FormatValue(v, UnitKind::Voltage, -4), markers});
            out.push_back({row, Col6_8, "V =", Colour(s, ColorA1 + ch)});
        } else {
            const double v = uvDiv * std::abs(s.Marker1_y - s.Marker2_y) * 0.03125;
            out.push_back({row, Col6_8, "dV = " + FormatValue(v, UnitKind::Voltage, -4), markers});
            out.push_back({row, Col6_8, "dV =", Colour(s, ColorA1 + ch)});
        }
    }
    return out;
}

std::vector<LabelText> Measurements(const DisplayInputs& in, const ScreenState& d)
{
    std::vector<LabelText> out;
    const ScopeSettings& s = in.s;
    if (!s.Measure) return out;
    const FrameRecord& rec = in.live.rec;
    const int n = rec.ValidLen;

    for (int ch = 0; ch < 2; ++ch) {
        const bool on = ch == 0 ? s.CH_A1 : s.CH_A2;
        if (!on || d.fftStatus[static_cast<std::size_t>(ch)] == 1) continue;
        const int row = 3 + ch;
        const std::uint32_t colour = Colour(s, ColorA1 + ch);
        const double uvPerStep = (ch == 0 ? rec.uV_Div_A1 : rec.uV_Div_A2) * 8 * 0.00390625;
        const int p = ch == 0 ? rec.PeakToPeakA1 : rec.PeakToPeakA2;
        const double sum = ch == 0 ? rec.SumA1 : rec.SumA2;
        const double sumSq = ch == 0 ? rec.SumSqA1 : rec.SumSqA2;  // about the frame's zero
        const int zero = ch == 0 ? rec.A1_Zero : rec.A2_Zero;
        const bool valid = n >= 1 && p >= 0;

        out.push_back(
            {row, Col0, valid ? "Vpp = " + FormatValue(p * uvPerStep, UnitKind::Voltage, -4) : "Vpp = ...", colour});
        out.push_back(
            {row, Col2_8,
             valid ? "Vdc = " + FormatValue((sum / n - zero) * uvPerStep, UnitKind::Voltage, -4) : "Vdc = ...",
             colour});

        // A video-line frame triggered on this channel tells its standard and line instead.
        const int kind = rec.TrigState;
        if (rec.TrigSourceCode == ch + 1 && kind >= 1 && kind <= 3) {
            std::string text = kind == 2 ? "PAL/SECAM " : kind == 3 ? "NTSC " : "";
            if (rec.EventCount != 0) text += "N = " + std::to_string(rec.EventCount);
            if (!text.empty()) out.push_back({row, Col4_8, std::move(text), colour});
        } else {
            out.push_back({row, Col4_8,
                           valid && sumSq >= 0
                               ? "Vrms = " + FormatValue(std::sqrt(sumSq / n) * uvPerStep, UnitKind::Voltage, -4)
                               : "Vrms = ...",
                           colour});
        }
    }
    return out;
}

std::vector<LabelText> TimeLabels(const DisplayInputs& in, const ScreenState& d)
{
    const ScopeSettings& s = in.s;
    const AcqConfig& acq = in.acq;
    const FrameRecord& r = in.live.rec;
    std::vector<LabelText> out;

    if (!d.spectrumShown) {
        if (s.CH_A1) out.push_back({0, Col0, FormatValue(acq.uV_Div_A1, UnitKind::Voltage, 0), Colour(s, ColorA1)});
        if (s.CH_A2) out.push_back({0, Col1_8, FormatValue(acq.uV_Div_A2, UnitKind::Voltage, 0), Colour(s, ColorA2)});
        std::string perDiv = FormatValue(static_cast<double>(acq.Time_Div_ns), UnitKind::Time, 0);
        if (r.PairFlag) perDiv += "    p.d.";
        out.push_back({0, Col2_8, perDiv, Colour(s, ColorGridFrame)});
        if (acq.Mode_Flags & 0x80) {
            const int source = std::clamp(s.Sel(Group::TrigSource), 0, 3);
            out.push_back({0, Col4_8, TriggerText(s, acq), Colour(s, source)});
        }

        const std::string left =
            Sweeping(s) ? SweepFrequencyText(r, s.X_Pos) : FormatValue(TimeOfSample(r, s.X_Pos), UnitKind::Time, -5);
        out.push_back({1, Col0, left, Colour(s, ColorGridFrame)});
    }

    if (s.Extra_Info) {
        const int fm = s.Sel(Group::FmMode);
        const std::uint32_t extra = Colour(s, ColorExtraInfo);
        if (fm != FmPeriod) {  // the period read-out takes these cells
            out.push_back({1, Col2_8,
                           r.Divider == 0 ? std::string("Fsmpl = ...")
                                          : "Fsmpl = " + FormatValue(100e6 / r.Divider, UnitKind::Frequency, -3),
                           extra});
            const std::string divs =
                acq.Time_Div_ns == 0
                    ? std::string("...")
                    : FixedText(
                          static_cast<double>(r.Divider) * r.ValidLen * 10.0 / static_cast<double>(acq.Time_Div_ns), 2);
            out.push_back({1, Col4_8, "Div = " + divs, extra});
        }
        if (fm == FmOff)
            out.push_back({1, Col6_8, "Smpl = " + std::to_string(r.ValidLen) + (r.PairFlag ? " p.d." : ""), extra});
    }
    // The frequency-meter read-out (Y1, 2/8 and 6/8, while the meter is on)
    // comes from the frequency meter with the other rows' texts.
    return out;
}

std::vector<PlacedText> LinkStatisticsTexts(const DisplayInputs& in, const ScreenState& d)
{
    const ScopeSettings& s = in.s;
    std::vector<PlacedText> out;
    if (!s.Extra_Info || !(s.Debug_kr || s.No_Excuse)) return out;

    const ScreenGeometry& g = d.g;
    const LinkCounters& c = in.io.link.counters;
    const auto per = [&](StatCounter k) { return std::to_string(c.lastSecond[static_cast<std::size_t>(k)]); };
    const std::string dropped = std::to_string(static_cast<std::int64_t>(c.lastSecond[StatMainPackets]) -
                                               static_cast<std::int64_t>(c.lastSecond[StatDisplayedFrames]));

    const int top = g.GridTop + 1;
    out.push_back({g.GridLeft + 3, top, std::to_string(g.GridWidth) + " x " + std::to_string(g.GridHeight)});

    const int vcc = in.io.link.identity.Get().Vcc;
    std::string vccText = "Vcc = ...";
    if (vcc >= 0)
        vccText = "Vcc = " + std::to_string(vcc / 100) + "." + std::to_string(vcc / 10 % 10) +
                  std::to_string(vcc % 10) + " V";
    out.push_back({g.GridLeft + g.GridWidth / 4, top, vccText});

    const FrameRecord& r = in.live.rec;
    const std::string smpl =
        r.PairFlag ? std::to_string(2 * static_cast<std::int64_t>(r.ValidLen)) + " p.d." : std::to_string(r.ValidLen);
    out.push_back({g.GridLeft + g.GridWidth / 2, top, "Smpl = " + smpl});

    if (!s.USB_VIEW) {
        out.push_back(
            {g.GridLeft + 3 * g.GridWidth / 4, top,
             "FPS / L / E  = " + per(StatDisplayedFrames) + " / " + dropped + " / " + per(StatChecksumFailures)});
        return out;
    }

    const std::array<std::string, 10> lines{
        " Отображенных осциллограм в сек = " + per(StatDisplayedFrames) + "  Отброшенных = " + dropped,
        " Принятых основных пакетов в сек = " + per(StatMainPackets),
        " Принятых служебных пакетов в сек = " + per(StatServicePackets),
        " Сбоев CRC пакетов (о и с) в сек = " + per(StatChecksumFailures),
        " Забранных данных у драйвера в сек = " + per(StatDriverBytes) + " Bytes",
        " Утечка данных вне пакетов в сек = " + per(StatLeakageBytes) + " Bytes",
        " Пиковая загрузка буфера драйвера  = " + per(StatPeakQueue) + " Bytes",
        " Сбоев конфигурации устройства  = " + std::to_string(c.configFailures.load()),
        " Установленных микросхем ADUM = " + std::to_string(in.io.transport.TransferMode),
        " Фактических перерисовок экрана = " + std::to_string(c.redraws.load()),
    };
    for (std::size_t i = 0; i < lines.size(); ++i)
        out.push_back({g.GridLeft + 3, g.GridTop + 30 + 15 * static_cast<int>(i), lines[i]});
    return out;
}

std::optional<int> FrameTriggerLevel(const FrameRecord& rec, const AcqConfig& acq, int zeroA1, int zeroA2, int d1Level)
{
    auto analog = [&](int zero, std::int32_t frameZero, std::int32_t frameUv, std::int32_t currentUv) {
        const double gain = currentUv != 0 ? static_cast<double>(frameUv) / currentUv : 1.0;
        return zero + Round((rec.TrigLevelCode - frameZero) * gain);
    };
    switch (rec.TrigSource) {
        case 1:
            return analog(zeroA1, rec.A1_Zero, rec.uV_Div_A1, acq.uV_Div_A1);
        case 2:
            return analog(zeroA2, rec.A2_Zero, rec.uV_Div_A2, acq.uV_Div_A2);
        case 3:
            return d1Level;
        case 4:
            return d1Level + 32;
        default:
            return std::nullopt;
    }
}

std::string TriggerConditionText(int kind, std::uint32_t ticks, bool tdcClbr)
{
    static constexpr std::array<const char*, 4> kNames{"PUL ", "PER ", "RUNT ", "SLEW "};
    if (kind < 1 || kind > 4) return {};
    return std::string(kNames[static_cast<std::size_t>(kind - 1)]) +
           (ticks == 0xFFFFFFFFu ? std::string("...") : TickTimeText(ticks, tdcClbr));
}

bool CapturedByTimeCondition(const ScopeSettings& s, const FrameRecord& r)
{
    return s.TPLUS && s.Mode >= 1 && s.Mode <= 4 && (s.Mode == 3 || s.T_Mode != 0) && r.TrigSource >= 1 &&
           r.TrigSource <= 4 && r.AdvTrigKind >= 1 && r.AdvTrigKind <= 4 && r.TrigTimeLimit != 0;
}

std::optional<TriggerFlag> LiveTriggerFlag(const DisplayInputs& in, const ScreenState& d)
{
    const ScopeSettings& s = in.s;
    const FrameRecord& r = in.live.rec;
    if (!s.Trig_T || d.spectrumShown || !CapturedByTimeCondition(s, r)) return std::nullopt;
    if (!ChannelOn(s, r.TrigSource - 1)) return std::nullopt;
    const std::optional<int> x = TriggerSampleX(d.g, r, in.acq, s.X_Pos);
    const std::optional<int> level = FrameTriggerLevel(r, in.acq, s.A1_Zero, s.A2_Zero, 15);
    if (!x || !level) return std::nullopt;

    TriggerFlag flag;
    flag.x = *x;
    flag.level = *level;
    flag.colour = Colour(s, r.TrigSource - 1);
    // A computed spectrum dims the time-domain picture, the flag with it.
    if (d.fftStatus[0] == 1 || d.fftStatus[1] == 1)
        flag.colour = BlendColor(flag.colour, Colour(s, ColorBackground), 2);
    flag.text = TriggerConditionText(r.AdvTrigKind, TriggerEventTicks(r), s.TDC_Clbr);
    return flag;
}

}  // namespace kr40
