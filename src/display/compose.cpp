#include "display/compose.h"

#include <QFontMetrics>
#include <QPoint>
#include <QPolygon>
#include <QRect>
#include <QString>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "acquisition/frame.h"
#include "state/scope_state.h"
#include "core/rounding.h"
#include "core/value_format.h"
#include "trigger/trigger_tables.h"

namespace kr40 {

namespace {

constexpr double kTwoPi = 6.2831852;  // the indicator's turn

int Round(double x)
{
    return static_cast<int>(RoundHalfAway(x));
}

// y of an ADC level on the grid (255 at the top edge).
int LevelY(const ScreenGeometry& g, int level)
{
    return g.GridTop + Round((255 - level) * g.PixelsPerStep);
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

// The dimmer colour of reference traces and their pointers.
std::uint32_t HalfIntensity(const ScopeSettings& s, std::uint32_t colour)
{
    return BlendColor(colour, Colour(s, ColorBackground), 2);
}

void SetPen(QPainter& p, std::uint32_t colour)
{
    p.setPen(QPen(ToQColor(colour), 1));
}

// A line from (x1, y1) towards (x2, y2) without its end point.
void Segment(QPainter& p, int x1, int y1, int x2, int y2)
{
    const int dx = x2 - x1, dy = y2 - y1;
    const int n = std::max(std::abs(dx), std::abs(dy));
    if (n == 0) return;
    if (n == 1) {
        p.drawPoint(x1, y1);
        return;
    }
    const double k = static_cast<double>(n - 1) / n;
    p.drawLine(x1, y1, x1 + Round(dx * k), y1 + Round(dy * k));
}

// A chain of segments through the points, the last point left out.
void Polyline(QPainter& p, std::initializer_list<QPoint> points)
{
    const QPoint* prev = nullptr;
    for (const QPoint& pt : points) {
        if (prev) Segment(p, prev->x(), prev->y(), pt.x(), pt.y());
        prev = &pt;
    }
}

// A polygon outlined with the pen colour and filled with the brush colour.
void Polygon(QPainter& p, std::initializer_list<QPoint> points, std::uint32_t pen, std::uint32_t brush)
{
    SetPen(p, pen);
    p.setBrush(ToQColor(brush));
    const QPolygon poly{QList<QPoint>(points)};
    p.drawPolygon(poly);
    p.setBrush(Qt::NoBrush);
}

// Text with its top at y.
void TextAt(QPainter& p, int x, int y, const std::string& text)
{
    const QFontMetrics fm(p.font());
    p.drawText(x, y + fm.ascent(), QString::fromStdString(text));
}

std::string Fixed2(double v)
{
    std::array<char, 64> buf{};
    const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, 2);
    return r.ec == std::errc() ? std::string(buf.data(), r.ptr) : std::string("...");
}

// Time of the left screen edge relative to the trigger sample, ns.
double LeftEdgeTime(const FrameRecord& r, int firstSample)
{
    return static_cast<double>(r.Divider) * (firstSample - static_cast<double>(r.PreLen)) * 10.0;
}

// x of the trigger sample; nothing without a time base.
std::optional<int> TriggerX(const ScreenGeometry& g, const FrameRecord& r, const AcqConfig& a, int firstSample)
{
    if (a.Time_Div_ns == 0) return std::nullopt;
    const double d = static_cast<double>(r.PreLen) - firstSample;
    return g.GridLeft + Round(d * g.DivWidth * r.Divider / (static_cast<double>(a.Time_Div_ns) * 0.1));
}

// Generator frequency at the left edge while the sweep runs.
std::string SweepFrequencyText(const FrameRecord& r, int firstSample)
{
    const double rate = (0.1 * r.F_Span / (static_cast<double>(r.FrameLen) - r.PreLen)) / (r.Divider * 10.0);
    if (r.PreLen == r.FrameLen || r.F_Span == 0 || !std::isfinite(rate)) return "...";
    const double t = LeftEdgeTime(r, firstSample);
    const double start = 0.1 * r.F_Val;
    return FormatValue(t <= 0 ? start : t * rate + start, UnitKind::Frequency, -5);
}

std::string TriggerText(const ScopeState& st)
{
    const ScopeSettings& s = st.settings;
    std::string text = "Trig. ";
    switch (s.Sel(Group::TrigSource)) {
        case ChA1:
            text = "Trig. A1  " +
                   FormatValue(st.acq.uV_Div_A1 * 0.03125 * (LevelCode(s.Lev_A1) - s.A1_Zero), UnitKind::Voltage, -4);
            break;
        case ChA2:
            text = "Trig. A2  " +
                   FormatValue(st.acq.uV_Div_A2 * 0.03125 * (LevelCode(s.Lev_A2) - s.A2_Zero), UnitKind::Voltage, -4);
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

// Whether the frame was captured by a pulse, period, runt or slew trigger.
// The frame does not tell a time-qualified pulse, period or slew trigger from
// a plain edge (the instrument echoes T_Lo either way), so those need a time
// condition in force; a runt trigger is one without it.
bool CapturedByTimeCondition(const ScopeSettings& s, const FrameRecord& r)
{
    return s.TPLUS && s.Mode >= 1 && s.Mode <= 4 && (s.Mode == 3 || s.T_Mode != 0) && r.TrigSource >= 1 &&
           r.TrigSource <= 4 && r.AdvTrigKind >= 1 && r.AdvTrigKind <= 4 && r.TrigTimeLimit != 0;
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

namespace {
// The screen's fonts are asked for by name. Where "Tahoma" is missing (Linux),
// a metric-compatible sans keeps the label columns from running into each
// other; the default fallback is much wider.
void SubstituteScreenFonts()
{
    static const bool once = [] {
        QFont::insertSubstitutions(QStringLiteral("Tahoma"), {QStringLiteral("Liberation Sans"),
                                                              QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
        return true;
    }();
    (void)once;
}
}  // namespace

QFont LabelFont(const ScreenGeometry& g)
{
    SubstituteScreenFonts();
    QFont f(g.SmallScreen ? QStringLiteral("Arial") : QStringLiteral("Tahoma"));
    f.setPixelSize(g.SmallScreen ? 10 : 13);
    return f;
}

QFont SmallFont()
{
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(10);
    return f;
}

void DrawGridFrame(QPainter& p, const DisplayState& d, const ScopeSettings& s)
{
    const ScreenGeometry& g = d.g;
    const int l = g.GridLeft - 1, t = g.GridTop - 1;
    const int r = g.GridLeft + g.GridWidth + 1, b = g.GridTop + g.GridHeight + 1;
    SetPen(p, Colour(s, ColorGridFrame));
    Polyline(p, {{l, t}, {l, b}, {r, b}, {r, t}, {l, t}});
}

void DrawGrid(QPainter& p, const ScreenGeometry& g, QRgb colour, int x0, int y0)
{
    p.setPen(QPen(QColor(colour), 1));
    // Screen coordinates to the target's.
    const int ox = x0 - g.GridLeft, oy = y0 - g.GridTop;
    auto line = [&](int x1, int y1, int x2, int y2) { Segment(p, x1 + ox, y1 + oy, x2 + ox, y2 + oy); };
    const int left = g.GridLeft, top = g.GridTop, w = g.GridWidth, h = g.GridHeight;

    for (int i = 0; i * g.DivWidth <= w; ++i) {
        const int x = left + i * g.DivWidth;
        line(x, top, x, top + h + 1);
    }
    for (int j = 0; j * g.DivHeight <= h; ++j) {
        const int y = top + j * g.DivHeight;
        line(left, y, left + w + 1, y);
    }
    for (int i = 0; i < 50; ++i) {
        const int x = left + w * i / 50;
        line(x, top, x, top + 3);
        line(x, top + h - 2, x, top + h + 1);
        line(x, top + h / 2 - 1, x, top + h / 2 + 2);
    }
    for (int i = 0; i < 40; ++i) {
        const int y = top + h * i / 40;
        line(left, y, left + 3, y);
        line(left + w - 2, y, left + w + 1, y);
        line(left + w / 2 - 1, y, left + w / 2 + 2, y);
    }
}

void DrawGrid(QPainter& p, const DisplayState& d, const ScopeSettings& s)
{
    if (!s.Grid) return;
    DrawGrid(p, d.g, ToRgb(Colour(s, ColorGrid)), d.g.GridLeft, d.g.GridTop);
}

void DrawTrigPosLine(QPainter& p, const DisplayInputs& in, const DisplayState& d)
{
    const ScopeSettings& s = in.st.settings;
    if (!s.TrigPosL || d.spectrumShown) return;
    const FrameRecord& r = in.live.rec;
    if (r.PreLen - s.X_Pos < 0) return;  // the trigger lies left of the window
    const std::optional<int> x = TriggerX(d.g, r, in.st.acq, s.X_Pos);
    if (!x) return;
    SetPen(p, Colour(s, ColorTrigPos));
    Segment(p, *x, d.g.GridTop, *x, d.g.GridTop + d.g.GridHeight);
}

void DrawZeroPointer(QPainter& p, const ScreenGeometry& g, int zeroLevel, std::uint32_t colour,
                     std::uint32_t background, bool showLevel)
{
    const int y = LevelY(g, zeroLevel);
    const int x0 = g.GridLeft - 1;
    Polygon(p, {{x0 - 1, y}, {x0 - 8, y + 7}, {x0 - 18, y + 7}, {x0 - 18, y - 7}, {x0 - 8, y - 7}}, colour, background);
    // Ground sign.
    Polyline(p, {{x0 - 14, y - 3}, {x0 - 8, y - 3}, {x0 - 14, y + 3}, {x0 - 7, y + 3}});
    if (showLevel) {
        p.setFont(SmallFont());
        TextAt(p, x0 - 24, y - 20, std::to_string(zeroLevel));
    }
}

void DrawZeroPointers(QPainter& p, const DisplayInputs& in, const DisplayState& d, bool bgView)
{
    const ScopeSettings& s = in.st.settings;
    const std::uint32_t back = Colour(s, ColorBackground);
    const bool showLevel = s.Extra_Info && s.TDC_Clbr;
    if (in.refExists && bgView) {
        if (s.CH_A2) DrawZeroPointer(p, d.g, s.bgA2_Zero, HalfIntensity(s, Colour(s, ColorA2)), back, showLevel);
        if (s.CH_A1) DrawZeroPointer(p, d.g, s.bgA1_Zero, HalfIntensity(s, Colour(s, ColorA1)), back, showLevel);
    }
    if (s.CH_A2) DrawZeroPointer(p, d.g, s.A2_Zero, Colour(s, ColorA2), back, showLevel);
    if (s.CH_A1) DrawZeroPointer(p, d.g, s.A1_Zero, Colour(s, ColorA1), back, showLevel);
}

void DrawTriggerLevelPointers(QPainter& p, const DisplayInputs& in, const DisplayState& d)
{
    const ScopeSettings& s = in.st.settings;
    const ScreenGeometry& g = d.g;
    const int x1 = g.GridLeft + 1 + g.GridWidth;

    struct Pointer {
        int channel;
        bool on;
        double level;
        int colour;
        int dragTarget;
    };
    const std::array<Pointer, 2> pointers{
        {{ChA2, s.CH_A2, s.Lev_A2, ColorA2, 8}, {ChA1, s.CH_A1, s.Lev_A1, ColorA1, 7}}};
    for (const Pointer& ptr : pointers) {
        if (!ptr.on) continue;
        const int L = LevelCode(ptr.level);
        const int y = LevelY(g, L);
        const std::uint32_t colour = Colour(s, ptr.colour);

        if (d.dragTarget == ptr.dragTarget) {
            // The level and the noise-reject band around it, across the grid.
            const int hyst = HystSteps[static_cast<std::size_t>(std::clamp(s.Hyst, 0, 9))].codes;
            const std::uint32_t trig = Colour(s, ColorTrigPos);
            const std::uint32_t dim = BlendColor(trig, Colour(s, ColorBackground), 1.5);
            const bool narrow = hyst < 4;
            auto across = [&](int yy) { Segment(p, g.GridLeft, yy, g.GridLeft + g.GridWidth + 1, yy); };
            auto clampY = [&](int yy) { return std::clamp(yy, g.GridTop, g.GridTop + g.GridHeight); };
            SetPen(p, narrow ? dim : trig);
            across(clampY(LevelY(g, L + hyst)));
            across(clampY(LevelY(g, L - hyst)));
            SetPen(p, narrow ? trig : dim);
            across(y);
        }

        Polygon(p, {{x1 + 1, y}, {x1 + 8, y + 7}, {x1 + 18, y + 7}, {x1 + 18, y - 7}, {x1 + 8, y - 7}}, colour, colour);
        if (s.Sel(Group::TrigSource) == ptr.channel) {
            // Edge sign, cut out of the pointer.
            SetPen(p, Colour(s, ColorBackground));
            Segment(p, x1 + 12, y + 3, x1 + 12, y - 3);
            Segment(p, x1 + 15, y - 3, x1 + 8, y - 3);
        }
        if (s.Extra_Info && s.TDC_Clbr) {
            SetPen(p, colour);
            p.setFont(SmallFont());
            TextAt(p, x1 + 2, y - 20, std::to_string(L));
        }
    }
}

std::optional<int> FrameTriggerLevel(const FrameRecord& rec, const ScopeState& st, int zeroA1, int zeroA2, int d1Level)
{
    auto analog = [&](int zero, std::int32_t frameZero, std::int32_t frameUv, std::int32_t currentUv) {
        const double gain = currentUv != 0 ? static_cast<double>(frameUv) / currentUv : 1.0;
        return zero + Round((rec.TrigLevelCode - frameZero) * gain);
    };
    switch (rec.TrigSource) {
        case 1:
            return analog(zeroA1, rec.A1_Zero, rec.uV_Div_A1, st.acq.uV_Div_A1);
        case 2:
            return analog(zeroA2, rec.A2_Zero, rec.uV_Div_A2, st.acq.uV_Div_A2);
        case 3:
            return d1Level;
        case 4:
            return d1Level + 32;
        default:
            return std::nullopt;
    }
}

void DrawCapturedTriggerPointer(QPainter& p, const ScreenGeometry& g, int level, std::uint32_t colour)
{
    const int x0 = g.GridLeft + 1 + g.GridWidth;
    if (level > 255) {
        Polygon(p, {{x0 + 1, g.GridTop - 8}, {x0 + 4, g.GridTop - 5}, {x0 - 2, g.GridTop - 5}}, colour, colour);
    } else if (level < 0) {
        const int b = g.GridTop + g.GridHeight;
        Polygon(p, {{x0 + 1, b + 7}, {x0 + 4, b + 4}, {x0 - 2, b + 4}}, colour, colour);
    } else {
        const int y = LevelY(g, level);
        SetPen(p, colour);
        Segment(p, x0 + 1, y, x0 + 2, y);
        Polygon(p, {{x0 + 2, y}, {x0 + 6, y + 4}, {x0 + 6, y - 4}}, colour, colour);
    }
}

void DrawCapturedTriggerPointers(QPainter& p, const DisplayInputs& in, const DisplayState& d, bool bgView)
{
    const ScopeSettings& s = in.st.settings;
    const bool refShown = in.refExists && bgView;
    // The middle of the D1 trace: alone it fills the lower band, with a
    // reference frame the two frames share it.
    const int liveD1 = !refShown ? 15 : (s.bgD_Zero != 0 ? 7 : 23);
    const int refD1 = s.bgD_Zero != 0 ? 23 : 7;

    auto colourOf = [&](const FrameRecord& r) { return Colour(s, std::clamp(r.TrigSource - 1, 0, 3)); };
    if (refShown) {
        const FrameRecord& r = in.ref.rec;
        if (const auto level = FrameTriggerLevel(r, in.st, s.bgA1_Zero, s.bgA2_Zero, refD1))
            DrawCapturedTriggerPointer(p, d.g, *level, HalfIntensity(s, colourOf(r)));
    }
    const FrameRecord& r = in.live.rec;
    if (const auto level = FrameTriggerLevel(r, in.st, s.A1_Zero, s.A2_Zero, liveD1))
        DrawCapturedTriggerPointer(p, d.g, *level, colourOf(r));
}

std::string TriggerConditionText(int kind, std::uint32_t ticks, bool tdcClbr)
{
    static constexpr std::array<const char*, 4> kNames{"PUL ", "PER ", "RUNT ", "SLEW "};
    if (kind < 1 || kind > 4) return {};
    return std::string(kNames[static_cast<std::size_t>(kind - 1)]) +
           (ticks == 0xFFFFFFFFu ? std::string("...") : TickTimeText(ticks, tdcClbr));
}

void DrawTriggerConditionFlag(QPainter& p, const DisplayInputs& in, const DisplayState& d)
{
    const ScopeSettings& s = in.st.settings;
    const FrameRecord& r = in.live.rec;
    if (!s.Trig_T || d.spectrumShown || !CapturedByTimeCondition(s, r)) return;
    if (!ChannelOn(s, r.TrigSource - 1)) return;
    const std::optional<int> x = TriggerX(d.g, r, in.st.acq, s.X_Pos);
    const std::optional<int> level = FrameTriggerLevel(r, in.st, s.A1_Zero, s.A2_Zero, 15);
    if (!x || !level) return;
    const int y = LevelY(d.g, *level);

    std::uint32_t colour = Colour(s, r.TrigSource - 1);
    if (d.fftStatus[0] == 1 || d.fftStatus[1] == 1) colour = HalfIntensity(s, colour);
    const std::string text = TriggerConditionText(r.AdvTrigKind, TriggerEventTicks(r), s.TDC_Clbr);

    const QFont font = LabelFont(d.g);
    const int h = font.pixelSize();
    const int textWidth = QFontMetrics(font).horizontalAdvance(QString::fromStdString(text));
    p.fillRect(QRect(QPoint(*x + 1, y - h / 2 - 2), QPoint(*x + textWidth + 5, y + h / 2 + 4)),
               ToQColor(Colour(s, ColorBackground)));
    Polygon(p,
            {{*x - 20, y - 1},
             {*x - 10, y - 1},
             {*x - 10, y - 5},
             {*x, y},
             {*x - 10, y + 5},
             {*x - 10, y + 1},
             {*x - 20, y + 1}},
            colour, colour);
    SetPen(p, colour);
    p.setFont(font);
    TextAt(p, *x + 4, y - h / 2, text);
}

void NoteServicePacket(DisplayState& d)
{
    d.spokeCounter = (d.spokeCounter + 1) % 10;
    ++d.servicesSinceFrame;
}

void NoteDataFrame(DisplayState& d)
{
    d.handCounter = (d.handCounter + 1) % 10;
    d.servicesSinceFrame = 0;
}

void DrawActivityIndicator(QPainter& p, DisplayState& d, const ScopeSettings& s, bool running)
{
    const ScreenGeometry& g = d.g;
    const int cx = g.GridLeft + 19 * (g.GridWidth / 20);
    const int cy = g.GridTop / 2;
    const int r = g.SmallScreen ? 7 : 10;
    const std::uint32_t frame = Colour(s, ColorGridFrame), border = Colour(s, ColorBorder);
    p.setBrush(ToQColor(border));

    if (!running) {
        const int rr = d.spokeCounter >= 6 ? r - 1 : r;
        SetPen(p, frame);
        p.drawEllipse(QPoint(cx, cy), rr, rr);
        p.setBrush(Qt::NoBrush);
        d.servicesSinceFrame = 0;
        return;
    }

    // Screen angles grow clockwise (y points down); Qt's pie angles are
    // counter-clockwise in 1/16 degree.
    const QRect box(cx - r, cy - r, 2 * r, 2 * r);
    const bool stalled = d.servicesSinceFrame > 5;
    for (int i = 1; i <= 10; ++i) {
        SetPen(p, stalled ? BlendColor(frame, border, 12.0 / (i + 2)) : frame);
        const double end = (d.spokeCounter + i + 1) * 0.1 * kTwoPi;
        const int start16 = Round(-end * 180.0 / std::numbers::pi * 16.0);
        p.drawPie(box, start16, 36 * 16);
    }
    p.setBrush(Qt::NoBrush);
    const double a = d.handCounter * 0.1 * kTwoPi;
    SetPen(p, frame);
    Segment(p, cx, cy, cx + Round(r * std::cos(a)), cy + Round(r * std::sin(a)));
}

std::vector<PlacedText> LinkStatisticsTexts(const DisplayInputs& in, const DisplayState& d)
{
    const ScopeSettings& s = in.st.settings;
    std::vector<PlacedText> out;
    if (!s.Extra_Info || !(s.Debug_kr || s.No_Excuse)) return out;

    const ScreenGeometry& g = d.g;
    const LinkCounters& c = in.st.link.counters;
    const auto per = [&](StatCounter k) { return std::to_string(c.lastSecond[static_cast<std::size_t>(k)]); };
    const std::string dropped = std::to_string(static_cast<std::int64_t>(c.lastSecond[StatMainPackets]) -
                                               static_cast<std::int64_t>(c.lastSecond[StatDisplayedFrames]));

    const int top = g.GridTop + 1;
    out.push_back({g.GridLeft + 3, top, std::to_string(g.GridWidth) + " x " + std::to_string(g.GridHeight)});

    const int vcc = in.st.link.identity.Get().Vcc;
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
        " Установленных микросхем ADUM = " + std::to_string(in.st.transport.TransferMode),
        " Фактических перерисовок экрана = " + std::to_string(c.redraws.load()),
    };
    for (std::size_t i = 0; i < lines.size(); ++i)
        out.push_back({g.GridLeft + 3, g.GridTop + 30 + 15 * static_cast<int>(i), lines[i]});
    return out;
}

void DrawLinkStatistics(QPainter& p, const DisplayInputs& in, const DisplayState& d)
{
    const std::vector<PlacedText> texts = LinkStatisticsTexts(in, d);
    if (texts.empty()) return;
    SetPen(p, Colour(in.st.settings, ColorExtraInfo));
    p.setFont(SmallFont());
    p.setBackgroundMode(Qt::TransparentMode);
    for (const PlacedText& t : texts) TextAt(p, t.x, t.y, t.text);
}

std::vector<LabelText> TimeLabels(const DisplayInputs& in, const DisplayState& d)
{
    const ScopeState& st = in.st;
    const ScopeSettings& s = st.settings;
    const FrameRecord& r = in.live.rec;
    std::vector<LabelText> out;

    if (!d.spectrumShown) {
        if (s.CH_A1) out.push_back({0, Col0, FormatValue(st.acq.uV_Div_A1, UnitKind::Voltage, 0), Colour(s, ColorA1)});
        if (s.CH_A2)
            out.push_back({0, Col1_8, FormatValue(st.acq.uV_Div_A2, UnitKind::Voltage, 0), Colour(s, ColorA2)});
        std::string perDiv = FormatValue(static_cast<double>(st.acq.Time_Div_ns), UnitKind::Time, 0);
        if (r.PairFlag) perDiv += "    p.d.";
        out.push_back({0, Col2_8, perDiv, Colour(s, ColorGridFrame)});
        if (st.acq.Mode_Flags & 0x80) {
            const int source = std::clamp(s.Sel(Group::TrigSource), 0, 3);
            out.push_back({0, Col4_8, TriggerText(st), Colour(s, source)});
        }

        const std::string left = s.Sel(Group::GenMode) == GenSweepMode
                                     ? SweepFrequencyText(r, s.X_Pos)
                                     : FormatValue(LeftEdgeTime(r, s.X_Pos), UnitKind::Time, -5);
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
            const std::string divs = st.acq.Time_Div_ns == 0 ? std::string("...")
                                                             : Fixed2(static_cast<double>(r.Divider) * r.ValidLen *
                                                                      10.0 / static_cast<double>(st.acq.Time_Div_ns));
            out.push_back({1, Col4_8, "Div = " + divs, extra});
        }
        if (fm == FmOff)
            out.push_back({1, Col6_8, "Smpl = " + std::to_string(r.ValidLen) + (r.PairFlag ? " p.d." : ""), extra});
    }
    // The frequency-meter read-out (Y1, 2/8 and 6/8, while the meter is on)
    // comes from the frequency meter through ComposeScreen's `more` list.
    return out;
}

void DrawLabels(QPainter& p, const DisplayState& d, const ScopeSettings& s, const std::vector<LabelText>& labels)
{
    const LabelGrid grid = ComputeLabelGrid(d.g);
    const QFont font = LabelFont(d.g);
    const QFontMetrics fm(font);
    const QColor border = ToQColor(Colour(s, ColorBorder));
    p.setFont(font);
    for (const LabelText& l : labels) {
        if (l.row < 0 || l.row > 4 || l.column < 0 || l.column > Col6_8) continue;
        const int x = grid.column[static_cast<std::size_t>(l.column)];
        const int y = grid.row[static_cast<std::size_t>(l.row)];
        const QString text = QString::fromStdString(l.text);
        p.fillRect(x, y, fm.horizontalAdvance(text), fm.height(), border);
        SetPen(p, l.colour);
        p.drawText(x, y + fm.ascent(), text);
    }
}

void ComposeScreen(DisplayState& d, const DisplayInputs& in, const std::vector<LabelText>& more, bool bgView)
{
    if (d.ScreenBitmap.isNull()) return;
    const ScopeSettings& s = in.st.settings;
    const ScreenGeometry& g = d.g;
    QPainter p(&d.ScreenBitmap);

    // 1. Border strips around the grid area.
    const QColor border = ToQColor(Colour(s, ColorBorder));
    const int w = d.ScreenBitmap.width(), h = d.ScreenBitmap.height();
    const int below = g.GridTop + g.GridHeight + 1, right = g.GridLeft + g.GridWidth + 1;
    p.fillRect(0, 0, w, g.GridTop, border);
    p.fillRect(0, below, w, h - below, border);
    p.fillRect(0, 0, g.GridLeft, h, border);
    p.fillRect(right, 0, w - right, h, border);

    // 2. Grid frame and activity indicator.
    DrawGridFrame(p, d, s);
    DrawActivityIndicator(p, d, s, in.st.requests.Running.load());

    // 3. Labels.
    DrawLabels(p, d, s, TimeLabels(in, d));
    DrawLabels(p, d, s, more);

    // 4. Trigger pointers.
    DrawTriggerLevelPointers(p, in, d);
    DrawCapturedTriggerPointers(p, in, d, bgView);

    // 5. Zero pointers.
    DrawZeroPointers(p, in, d, bgView);
}

}  // namespace kr40
