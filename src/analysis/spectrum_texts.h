#pragma once
// The texts of the spectrum view: the top row, the left-edge frequency, the
// peak, averaging and phase read-outs of rows Y3/Y4, the scale the marker
// read-outs use, and the status banner. The screen draws them; a program
// without a screen can print them.

#include <optional>
#include <string>
#include <vector>

#include "analysis/readouts.h"
#include "analysis/screen_geometry.h"

namespace kr40 {

struct Spectrum;

// Horizontal zoom of the spectrum: 1, 2, 5, 10, 20 or 50.
int SpectrumZoom(const ScopeSettings& s);

// The channel whose spectrum is shown (0 A1, 1 A2), or -1 in the time view.
int ShownSpectrumChannel(const ScopeSettings& s);

// B of the shown spectrum: the bins of its last transform, or of the
// transform the live frame would get.
int ShownSpectrumBins(const ScopeSettings& s, const Spectrum& sp, const FrameRecord& rec);

// Half the sampling frequency of the live frame, Hz; 0 without a divider.
double NyquistHz(const FrameRecord& rec);

// " dBV" or " dBm" by the scale.
const char* LevelUnit(int scale);

// A level in dBV or dBm as the read-outs show it: volts when the scale is dBV
// and `dbv_v` is on, else the level with `decimals` decimals and its unit.
std::string LevelText(const ScopeSettings& s, double level, int decimals);

// The labels of the spectrum view (rows Y0, Y1 and, with Menu_Measure, the
// peak, averaging and phase items of Y3/Y4). Empty in the time view.
std::vector<LabelText> SpectrumLabels(const DisplayInputs& in, const Spectrum& sp);

// Marker read-outs of the spectrum view: row Y2 (frequencies at the
// markers) and, in the shown channel's row, the level at the marker (or the
// level difference of the pair) at column 6/8.
std::vector<LabelText> SpectrumMarkerReadouts(const DisplayInputs& in, const Spectrum& sp);

// The one-line banner for a channel that cannot be transformed: for the
// shown channel when its status is 2..4, else (its status 0 or 1) for the
// other channel when that one's is. Nothing otherwise.
std::optional<std::string> SpectrumBannerText(const ScopeSettings& s, const Spectrum& sp);

}  // namespace kr40
