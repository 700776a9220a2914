#pragma once
// The cross-hair marker lines. Their positions are in the settings (see
// MarkerPixelX / MarkerPixelY); the mouse that moves them is ui/screen_mouse
// and their read-outs are analysis/readouts.

#include <QPainter>

#include "display/screen.h"

namespace kr40 {

struct ScopeSettings;

// The marker lines in the Markers colour, on whatever target `p` paints.
void DrawMarkers(QPainter& p, const DisplayState& d, const ScopeSettings& s);

}  // namespace kr40
