#include "display/markers.h"

#include "acquisition/scope_settings.h"

namespace kr40 {

void DrawMarkers(QPainter& p, const DisplayState& d, const ScopeSettings& s)
{
    if (!s.Markers_1 && !s.Markers_2) return;
    const ScreenGeometry& g = d.g;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(ToQColor(s.Colors[ColorMarkers]), 0));
    // Each line covers GridHeight + 1 (GridWidth + 1) pixels, frame to frame.
    const auto cross = [&](int mx, int my) {
        const int x = g.GridLeft + MarkerPixelX(g, mx);
        const int y = g.GridTop + MarkerPixelY(g, my);
        p.drawLine(x, g.GridTop, x, g.GridTop + g.GridHeight);
        p.drawLine(g.GridLeft, y, g.GridLeft + g.GridWidth, y);
    };
    if (s.Markers_1) {
        cross(s.Marker_x, s.Marker_y);
    } else {
        cross(s.Marker1_x, s.Marker1_y);
        cross(s.Marker2_x, s.Marker2_y);
    }
    p.restore();
}

}  // namespace kr40
