#pragma once
// The spectrum on the screen: its trace through the trace drawer and the
// status banner. The numbers come from analysis/spectrum, the texts from
// analysis/spectrum_texts.

#include <QImage>

#include "display/screen.h"

class QPainter;

namespace kr40 {

struct Spectrum;

// The display heights of the shown channel's spectrum (status 1) at the grid
// origin, in the FFT colour: dots in the Dots draw mode, else vectors; bins
// from the scroll position on, zoom × GridWidth / B pixels per bin.
void DrawSpectrumTrace(QImage& screen, const DisplayState& d, const ScopeSettings& s, const Spectrum& sp);

// The banner naming a channel that cannot be transformed, centred on the
// grid at 13/16 of its height on a background box with an FFT-coloured edge.
void DrawSpectrumBanner(QPainter& p, const DisplayState& d, const ScopeSettings& s, const Spectrum& sp);

}  // namespace kr40
