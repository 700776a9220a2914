#include "display/decoded_lane.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cstdio>

#include "analysis/screen_geometry.h"
#include "core/rounding.h"
#include "decoders/uart_decoder.h"
#include "display/qt_text.h"

namespace kr40 {

namespace {

constexpr std::uint32_t kErrorRed = 0x000000FFu;  // 0x00BBGGRR

}  // namespace

std::string DecodedLaneText(const DecodedChar& c, int display)
{
    std::string t;
    if (display == 1) {
        t = std::to_string(c.Value);
    } else if (display == 2) {
        t = c.Value >= 32 && c.Value <= 127 ? std::string(1, static_cast<char>(c.Value)) : "-";
    } else {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02X", c.Value);
        t = buf;
    }
    if (c.Flags & DecodedParityError) t += " PE";
    if (c.Flags & DecodedStopError) t += " FE";
    return t;
}

void DrawDecodedLane(QPainter& p, const ScreenGeometry& g, std::span<const DecodedChar> chars,
                     const LanePlacement& lane)
{
    const auto y = [&](int k) {
        return g.GridTop + g.GridHeight - static_cast<int>(RoundHalfAway(k * g.PixelsPerStep));
    };
    const int top = y(lane.baseCode + 12), middle = y(lane.baseCode + 6), bottom = y(lane.baseCode);
    const int height = bottom - top;
    const int right = g.GridLeft + g.GridWidth;
    // Columns stay far inside int for any sample index and scale.
    const auto x = [&](double index) {
        const double v = g.GridLeft + (index - lane.firstSample) * lane.pxPerSample;
        return static_cast<int>(RoundHalfAway(std::clamp(v, -1e6, 1e6)));
    };

    p.save();
    p.setClipRect(g.GridLeft, g.GridTop, g.GridWidth + 1, g.GridHeight + 1);
    QFont font(height < 16 ? QStringLiteral("Arial") : QStringLiteral("Tahoma"));
    font.setPixelSize(height < 16 ? 10 : 13);
    p.setFont(font);
    p.setBrush(Qt::NoBrush);
    const QColor colour = ToQColor(lane.colour), red = ToQColor(kErrorRed);
    p.setPen(colour);
    const QFontMetrics fm(font);

    int idleFrom = g.GridLeft;
    for (const DecodedChar& c : chars) {
        if (static_cast<double>(c.End) < lane.firstSample) continue;
        const int xs = x(c.Start), xe = x(c.End);
        p.setPen(colour);
        if (xs > idleFrom) p.drawLine(idleFrom, middle, xs, middle);
        if (xs > right) {
            idleFrom = right;
            break;
        }
        const int b = xe - xs >= 4 ? 2 : 0;
        const QPolygon hexagon({QPoint(xs, middle), QPoint(xs + b, top), QPoint(xe - b, top), QPoint(xe, middle),
                                QPoint(xe - b, bottom), QPoint(xs + b, bottom)});
        p.drawPolygon(hexagon);

        const std::string text = DecodedLaneText(c, lane.display);
        const QString q = ToQString(text);
        const int l = std::max(xs, g.GridLeft), r = std::min(xe, right);
        const int w = fm.horizontalAdvance(q);
        if (r - l > w + 5 && height > 10) {
            p.setPen(c.Flags ? red : colour);
            p.drawText(QRect(l, top, r - l, height), Qt::AlignCenter, q);
        } else if (c.Flags) {
            p.setPen(red);
            p.drawLine(xe - 1 - b, top, xe - 1 - b, bottom);
        }
        idleFrom = xe;
    }
    const int end = std::min(x(lane.lastValidSample), right);
    p.setPen(colour);
    if (end > idleFrom) p.drawLine(idleFrom, middle, end, middle);
    p.restore();
}

}  // namespace kr40
