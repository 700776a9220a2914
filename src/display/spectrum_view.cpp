#include "display/spectrum_view.h"

#include <QPainter>
#include <algorithm>

#include "acquisition/scope_settings.h"
#include "analysis/spectrum.h"
#include "analysis/spectrum_texts.h"
#include "display/compose.h"
#include "display/trace.h"

namespace kr40 {

void DrawSpectrumTrace(QImage& screen, const DisplayState& d, const ScopeSettings& s, const Spectrum& sp)
{
    const int shown = ShownSpectrumChannel(s);
    if (shown < 0) return;
    const ChannelSpectrum& c = sp.ch[static_cast<std::size_t>(shown)];
    if (c.status != FftComputed) return;
    const ScreenGeometry& g = d.g;
    TraceParams t;
    t.drawMode = s.Sel(Group::DrawMode) == DrawDots ? DrawDots : DrawVectors;
    t.x0 = g.GridLeft;
    t.y0 = g.GridTop;
    t.samples = c.display.data();
    t.count = c.Bins();
    t.colour = ToRgb(s.Colors[ColorFFT]) | 0xFF000000u;
    t.pxPerSample = static_cast<double>(SpectrumZoom(s)) * g.GridWidth / c.Bins();
    t.start = std::clamp(s.X_Pos, 0, c.Bins());
    DrawTrace(screen, g, t);
}

void DrawSpectrumBanner(QPainter& p, const DisplayState& d, const ScopeSettings& s, const Spectrum& sp)
{
    const std::optional<std::string> text = SpectrumBannerText(s, sp);
    if (!text) return;
    const ScreenGeometry& g = d.g;
    const QFont font = LabelFont(g);
    const QFontMetrics fm(font);
    const QString q = ToQString(*text);
    const int w = fm.horizontalAdvance(q), h = fm.height();
    const int x = g.GridLeft + (g.GridWidth - w) / 2;
    const int y = g.GridTop + g.GridHeight * 13 / 16 - h / 2;
    const QColor fft = ToQColor(s.Colors[ColorFFT]);
    p.save();
    p.setFont(font);
    p.setPen(fft);
    p.setBrush(ToQColor(s.Colors[ColorBackground]));
    p.drawRect(x - 20, y, w + 40, h);
    p.drawText(x, y + fm.ascent(), q);
    p.restore();
}

}  // namespace kr40
