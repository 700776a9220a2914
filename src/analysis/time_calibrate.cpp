#include "analysis/time_calibrate.h"

#include <algorithm>

#include "acquisition/scope_settings.h"
#include "core/value_format.h"

namespace kr40 {

namespace {

constexpr TimeCalibrateTexts kTexts{
    {"Freq. Meter Calibrate", "Калибровка частотомера"},
    kCancelText,
};

}  // namespace

const TimeCalibrateTexts& TimeCalibrateCaptions()
{
    return kTexts;
}

std::string PpmLabel(int position)
{
    return "PPM = " + FixedText(position * 0.2, 2);
}

TimeCalibrateSession::TimeCalibrateSession(const ScopeSettings& s) : saved_(s.Time) {}

int TimeCalibrateSession::Position(const ScopeSettings& s)
{
    return std::clamp(s.Time, TimeCalMin, TimeCalMax);
}

void TimeCalibrateSession::Change(ScopeSettings& s, int position)
{
    s.Time = std::clamp(position, TimeCalMin, TimeCalMax);
}

bool TimeCalibrateSession::Finish(ScopeSettings& s, bool ok) const
{
    if (!ok) s.Time = saved_;
    return ok;
}

}  // namespace kr40
