#include "display/glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>
#include <vector>

#include "acquisition/scope_settings.h"
#include "trigger/trig_dialog_model.h"

namespace kr40 {

namespace {

constexpr int kWidth = 22, kHeight = 14;

using Points = std::vector<QPointF>;

// Draws polylines (y downwards, 0..14) into a small transparent picture;
// `flip` turns it upside down.
QIcon Picture(const std::vector<Points>& lines, bool flip = false)
{
    QPixmap pm(kWidth, kHeight);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.4));
    for (const Points& line : lines) {
        QPainterPath path;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const QPointF pt(line[i].x(), flip ? kHeight - line[i].y() : line[i].y());
            i == 0 ? path.moveTo(pt) : path.lineTo(pt);
        }
        p.drawPath(path);
    }
    return QIcon(pm);
}

Points Sine(double top, double bottom)
{
    Points pts;
    const double mid = (top + bottom) / 2, amp = (bottom - top) / 2;
    for (int x = 3; x <= 19; ++x) pts.emplace_back(x, mid - amp * std::sin((x - 3) * 6.2832 / 16));
    return pts;
}

}  // namespace

const char* SpeedButtonStyle()
{
    return "QToolButton { border: 1px solid #8a8a8a; border-radius: 2px; background: #f4f4f4; padding: 0 2px; }"
           "QToolButton:hover { background: #e6eef8; }"
           "QToolButton:checked { background: #a9c4e8; border: 1px solid #33507a; font-weight: bold; }"
           "QToolButton:disabled { color: #9a9a9a; background: #ececec; }";
}

// The two glyphs of a toggle are drawn once: a fresh icon each time would
// also leave fresh scaled pixmaps in Qt's cache.
QIcon CouplingIcon(bool ac)
{
    static const QIcon icons[2] = {Picture({Sine(2, 10), {{3, 12.5}, {19, 12.5}}}), Picture({Sine(2, 10)})};
    return icons[ac ? 1 : 0];
}

QIcon EdgeIcon(bool falling)
{
    static const QIcon icons[2] = {Picture({{{3, 11}, {10, 11}, {12, 3}, {19, 3}}}, false),
                                   Picture({{{3, 11}, {10, 11}, {12, 3}, {19, 3}}}, true)};
    return icons[falling ? 1 : 0];
}

QIcon ShapeIcon(int shape)
{
    switch (shape) {
        case ShapeSin:
            return Picture({Sine(2, 12)});
        case ShapeRect:
            return Picture({{{3, 12}, {3, 2}, {11, 2}, {11, 12}, {19, 12}, {19, 2}}});
        case ShapeTrian:
            return Picture({{{3, 12}, {11, 2}, {19, 12}}});
        case ShapeUpTrian:
            return Picture({{{3, 12}, {17, 2}, {17, 12}}});
        default:
            return Picture({{{5, 12}, {5, 2}, {19, 12}}});
    }
}

QIcon TrigModeIcon(int button)
{
    const bool falling = IsFallingButton(button);
    switch (ModeOfButton(button)) {
        case 1:  // a pulse and its width
            return Picture({{{2, 12}, {7, 12}, {7, 3}, {15, 3}, {15, 12}, {20, 12}}, {{8, 7}, {14, 7}}}, falling);
        case 2:  // a period between two edges
            return Picture(
                {{{2, 12}, {5, 12}, {5, 3}, {10, 3}, {10, 12}, {15, 12}, {15, 3}, {20, 3}}, {{5, 1}, {15, 1}}},
                falling);
        case 3:  // a pulse that stays below the upper level
            return Picture({{{2, 12}, {7, 12}, {7, 7}, {14, 7}, {14, 12}, {20, 12}}, {{2, 3}, {20, 3}}}, falling);
        case 4:  // a slow edge
            return Picture({{{2, 12}, {6, 12}, {16, 3}, {20, 3}}}, falling);
        case 5:  // the n-th pulse after a pause
            return Picture({{{2, 12},
                             {8, 12},
                             {8, 4},
                             {10, 4},
                             {10, 12},
                             {12, 12},
                             {12, 4},
                             {14, 4},
                             {14, 12},
                             {16, 12},
                             {16, 4},
                             {18, 4},
                             {18, 12},
                             {20, 12}}},
                           falling);
        case 6:  // the n-th pulse while En holds
            return Picture({{{2, 10},
                             {6, 10},
                             {6, 3},
                             {8, 3},
                             {8, 10},
                             {10, 10},
                             {10, 3},
                             {12, 3},
                             {12, 10},
                             {14, 10},
                             {14, 3},
                             {16, 3},
                             {16, 10},
                             {20, 10}},
                            {{4, 13}, {18, 13}}},
                           falling);
        default:  // a video line: sync pulse, then the picture
            return Picture({{{2, 4}, {4, 4}, {4, 12}, {7, 12}, {7, 4}, {9, 4}, {12, 8}, {15, 2}, {18, 6}, {20, 4}}},
                           !falling);
    }
}

}  // namespace kr40
