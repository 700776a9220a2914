#include "display/compose.h"

#include <QFontMetrics>
#include <QImage>
#include <QPaintEngine>
#include <QPoint>
#include <QPolygon>
#include <QRect>
#include <QString>
#include <QTransform>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "acquisition/frame.h"
#include "analysis/readouts.h"
#include "core/rounding.h"
#include "trigger/trigger_tables.h"

namespace kr40 {

namespace {

constexpr double kTwoPi = 6.2831852;  // the indicator's turn

int Round(double x)
{
    return static_cast<int>(RoundHalfAway(x));
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

// The 32-bit image under the painter when writing the pen colour into its
// pixels gives what the painter's aliased 1-pixel lines give: a raster image,
// no transform, clipping, opacity, blending or antialiasing, and an opaque
// solid pen that draws both end points. Null when the painter must draw.
QImage* PlainLineTarget(QPainter& p)
{
    QPaintDevice* device = p.device();
    if (device == nullptr || device->devType() != QInternal::Image || p.paintEngine() == nullptr ||
        p.paintEngine()->type() != QPaintEngine::Raster)
        return nullptr;
    auto* img = static_cast<QImage*>(device);
    const QImage::Format f = img->format();
    if ((f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 && f != QImage::Format_ARGB32_Premultiplied) ||
        !img->isDetached())
        return nullptr;
    const QPen& pen = p.pen();
    const QColor colour = pen.color();
    if (pen.style() != Qt::SolidLine || pen.capStyle() == Qt::FlatCap || pen.widthF() > 1.0 ||
        pen.brush().style() != Qt::SolidPattern || colour.alpha() != 255 ||
        colour.rgba64() != QRgba64::fromArgb32(colour.rgba()))
        return nullptr;
    if (p.hasClipping() || p.deviceTransform().type() != QTransform::TxNone || p.opacity() != 1.0 ||
        p.compositionMode() != QPainter::CompositionMode_SourceOver || p.testRenderHint(QPainter::Antialiasing))
        return nullptr;
    return img;
}

// A horizontal or vertical line with both end points, clipped to the image.
void PlainLine(QImage& img, QRgb colour, int x1, int y1, int x2, int y2)
{
    const int xa = std::max(std::min(x1, x2), 0), xb = std::min(std::max(x1, x2), img.width() - 1);
    const int ya = std::max(std::min(y1, y2), 0), yb = std::min(std::max(y1, y2), img.height() - 1);
    if (xa > xb || ya > yb) return;
    uchar* const bits = img.bits();
    const qsizetype bpl = img.bytesPerLine();
    for (int y = ya; y <= yb; ++y) {
        auto* const row = reinterpret_cast<QRgb*>(bits + y * bpl);
        std::fill(row + xa, row + xb + 1, colour);
    }
}

// A line from (x1, y1) towards (x2, y2) without its end point. Grid, frame
// and marker lines are horizontal or vertical: on a plain image they are
// written straight into its pixels, which is much faster than the painter on
// a large screen and gives the same pixels.
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
    const int xe = x1 + Round(dx * k), ye = y1 + Round(dy * k);
    if (xe == x1 || ye == y1) {
        if (QImage* img = PlainLineTarget(p)) {
            PlainLine(*img, p.pen().color().rgba(), x1, y1, xe, ye);
            return;
        }
    }
    p.drawLine(x1, y1, xe, ye);
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
    p.drawText(x, y + fm.ascent(), ToQString(text));
}

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
    const ScopeSettings& s = in.s;
    if (!s.TrigPosL || d.spectrumShown) return;
    const FrameRecord& r = in.live.rec;
    if (r.PreLen - s.X_Pos < 0) return;  // the trigger lies left of the window
    const std::optional<int> x = TriggerSampleX(d.g, r, in.acq, s.X_Pos);
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
    const ScopeSettings& s = in.s;
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
    const ScopeSettings& s = in.s;
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
        {{ChA2, s.CH_A2, s.Lev_A2, ColorA2, DragLevelA2}, {ChA1, s.CH_A1, s.Lev_A1, ColorA1, DragLevelA1}}};
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
    const ScopeSettings& s = in.s;
    const bool refShown = in.refExists && bgView;
    // The middle of the D1 trace: alone it fills the lower band, with a
    // reference frame the two frames share it.
    const int liveD1 = !refShown ? 15 : (s.bgD_Zero != 0 ? 7 : 23);
    const int refD1 = s.bgD_Zero != 0 ? 23 : 7;

    auto colourOf = [&](const FrameRecord& r) { return Colour(s, std::clamp(r.TrigSource - 1, 0, 3)); };
    if (refShown) {
        const FrameRecord& r = in.ref.rec;
        if (const auto level = FrameTriggerLevel(r, in.acq, s.bgA1_Zero, s.bgA2_Zero, refD1))
            DrawCapturedTriggerPointer(p, d.g, *level, HalfIntensity(s, colourOf(r)));
    }
    const FrameRecord& r = in.live.rec;
    if (const auto level = FrameTriggerLevel(r, in.acq, s.A1_Zero, s.A2_Zero, liveD1))
        DrawCapturedTriggerPointer(p, d.g, *level, colourOf(r));
}

void DrawTriggerConditionFlag(QPainter& p, const DisplayInputs& in, const DisplayState& d)
{
    const std::optional<TriggerFlag> flag = LiveTriggerFlag(in, d);
    if (!flag) return;
    const int x = flag->x;
    const int y = LevelY(d.g, flag->level);
    const QFont font = LabelFont(d.g);
    const int h = font.pixelSize();
    const int textWidth = QFontMetrics(font).horizontalAdvance(ToQString(flag->text));
    p.fillRect(QRect(QPoint(x + 1, y - h / 2 - 2), QPoint(x + textWidth + 5, y + h / 2 + 4)),
               ToQColor(Colour(in.s, ColorBackground)));
    Polygon(
        p,
        {{x - 20, y - 1}, {x - 10, y - 1}, {x - 10, y - 5}, {x, y}, {x - 10, y + 5}, {x - 10, y + 1}, {x - 20, y + 1}},
        flag->colour, flag->colour);
    SetPen(p, flag->colour);
    p.setFont(font);
    TextAt(p, x + 4, y - h / 2, flag->text);
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

void DrawLinkStatistics(QPainter& p, const DisplayInputs& in, const DisplayState& d)
{
    const std::vector<PlacedText> texts = LinkStatisticsTexts(in, d);
    if (texts.empty()) return;
    SetPen(p, Colour(in.s, ColorExtraInfo));
    p.setFont(SmallFont());
    p.setBackgroundMode(Qt::TransparentMode);
    for (const PlacedText& t : texts) TextAt(p, t.x, t.y, t.text);
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
        const QString text = ToQString(l.text);
        p.fillRect(x, y, fm.horizontalAdvance(text), fm.height(), border);
        SetPen(p, l.colour);
        p.drawText(x, y + fm.ascent(), text);
    }
}

void ComposeScreen(DisplayState& d, const DisplayInputs& in, const std::vector<LabelText>& more, bool bgView)
{
    if (d.ScreenBitmap.isNull()) return;
    const ScopeSettings& s = in.s;
    const ScreenGeometry& g = d.g;
    QPainter p(&d.ScreenBitmap);

    // Border strips around the grid area.
    const QColor border = ToQColor(Colour(s, ColorBorder));
    const int w = d.ScreenBitmap.width(), h = d.ScreenBitmap.height();
    const int below = g.GridTop + g.GridHeight + 1, right = g.GridLeft + g.GridWidth + 1;
    p.fillRect(0, 0, w, g.GridTop, border);
    p.fillRect(0, below, w, h - below, border);
    p.fillRect(0, 0, g.GridLeft, h, border);
    p.fillRect(right, 0, w - right, h, border);

    // Grid frame and activity indicator.
    DrawGridFrame(p, d, s);
    DrawActivityIndicator(p, d, s, in.io.requests.Running.load());

    // Labels: the time base and trigger rows, then the texts handed in.
    DrawLabels(p, d, s, TimeLabels(in, d));
    DrawLabels(p, d, s, more);

    // Trigger pointers over the labels.
    DrawTriggerLevelPointers(p, in, d);
    DrawCapturedTriggerPointers(p, in, d, bgView);

    // Zero pointers last, over everything.
    DrawZeroPointers(p, in, d, bgView);
}

}  // namespace kr40
