#pragma once
// The numbers and texts of the oscilloscope screen: the labels of rows Y0
// and Y1, the marker read-outs, the automatic measurements, the link
// statistics, the trigger-condition flag's text and the captured trigger
// level. The screen draws what these return; a program without a screen can
// print them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/screen_geometry.h"

namespace kr40 {

struct AcqConfig;
struct FrameRecord;
struct ScopeSettings;

// Generator sweep rate recorded with the frame, in Hz per ns, or NaN when it
// cannot be computed (no post-trigger positions, no span, or no divider).
double SweepRate(const FrameRecord& rec);
// Generator frequency (Hz) at time t (ns from the trigger sample) during a
// sweep; NaN when the rate is unknown.
double SweepFrequency(const FrameRecord& rec, double tNs);

// Marker read-outs of the time view: row Y2 (times, or frequencies during a
// generator sweep) and the voltage items at column 6/8 of rows Y3 (A1) and
// Y4 (A2), each voltage followed by its caption redrawn in the channel colour.
// In the spectrum view (ScreenState::spectrumShown) row Y2 belongs to
// SpectrumMarkerReadouts (spectrum_texts.h).
std::vector<LabelText> MarkerReadouts(const DisplayInputs& in, const ScreenState& d);

// Automatic measurements of the live frame (Menu_Measure): rows Y3 (A1) and
// Y4 (A2), columns 0 (Vpp), 2/8 (Vdc) and 4/8 (Vrms or the video line), in
// the channel colour. Channels with a computed spectrum are left to the
// spectrum read-outs.
std::vector<LabelText> Measurements(const DisplayInputs& in, const ScreenState& d);

// The time-view labels of rows Y0 and Y1. In the spectrum view only the
// extra-information cells of Y1 are given; the spectrum code fills the rest.
// The frequency-meter read-out of Y1 is not here: the frequency meter hands
// its texts in with the other rows.
std::vector<LabelText> TimeLabels(const DisplayInputs& in, const ScreenState& d);

// The link statistics in the grid's top-left corner; empty unless Extra Info
// is on and one of the service flags Debug_kr / No_Excuse is set. USB_VIEW
// adds ten lines of counters below the first one.
std::vector<PlacedText> LinkStatisticsTexts(const DisplayInputs& in, const ScreenState& d);

// Where a frame was triggered, in ADC steps on the current vertical scale, or
// nothing when the frame was not triggered. Analog sources are rescaled from
// the frame's zero and volts per division to `zeroA1`/`zeroA2` and the current
// volts per division; D1 stands at d1Level, D2 32 steps above it.
std::optional<int> FrameTriggerLevel(const FrameRecord& rec, const AcqConfig& acq, int zeroA1, int zeroA2, int d1Level);

// "PUL ", "PER ", "RUNT " or "SLEW " with the event time, "..." for an
// overflowed time; empty for any other kind.
std::string TriggerConditionText(int kind, std::uint32_t ticks, bool tdcClbr);

// Whether the frame was captured by a pulse, period, runt or slew trigger.
// The frame does not tell a time-qualified pulse, period or slew trigger from
// a plain edge (the instrument echoes T_Lo either way), so those need a time
// condition in force; a runt trigger is one without it.
bool CapturedByTimeCondition(const ScopeSettings& s, const FrameRecord& r);

// The flag at the trigger point naming the time condition that captured the
// live frame: its tip at column x and ADC level `level`, its text and colour.
// Nothing unless Menu_Trig_T is checked in the time view, the frame was
// captured by a time condition on a channel that is shown, and the trigger
// point has a place on the screen.
struct TriggerFlag {
    int x = 0;
    int level = 0;
    std::string text;
    std::uint32_t colour = 0;
};
std::optional<TriggerFlag> LiveTriggerFlag(const DisplayInputs& in, const ScreenState& d);

}  // namespace kr40
