#pragma once
// Form_TimeCalibrate's model: the frequency meter's time-base trim,
// Calibrate/Time in steps of 0.2 ppm. Every move of the slider is stored at
// once so that the read-out follows; Cancel puts back the value the dialog
// opened with.

#include <string>

#include "core/texts.h"

namespace kr40 {

struct ScopeSettings;

inline constexpr int TimeCalMin = -250, TimeCalMax = 250;  // -50 .. +50 ppm
inline constexpr int TimeCalTickStep = 50;                 // slider tick marks

struct TimeCalibrateTexts {
    TextPair caption;
    TextPair cancel;
};
const TimeCalibrateTexts& TimeCalibrateCaptions();

// "PPM = " and the trim in ppm with two decimals, e.g. 7 -> "PPM = 1.40".
std::string PpmLabel(int position);

// One opening of the dialog.
class TimeCalibrateSession {
public:
    explicit TimeCalibrateSession(const ScopeSettings& s);

    // The slider position for the stored value, within the slider's range.
    static int Position(const ScopeSettings& s);
    // Stores a slider position (clamped to the range).
    static void Change(ScopeSettings& s, int position);

    // Ends the session: OK keeps the value, Cancel restores the saved one.
    // Returns whether the settings file must be written (OK only).
    bool Finish(ScopeSettings& s, bool ok) const;

    int Saved() const { return saved_; }

private:
    int saved_;
};

}  // namespace kr40
