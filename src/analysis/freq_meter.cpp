#include "analysis/freq_meter.h"

#include <array>
#include <string>

#include "acquisition/frame.h"
#include "acquisition/scope_settings.h"
#include "core/value_format.h"
#include "device/link_state.h"

namespace kr40 {

namespace {

struct MeterSource {
    const char* label;
    int colour;  // ColorIndex
};

// By source code 0..10: the inputs, the HF inputs, then the trigger sources.
constexpr std::array<MeterSource, 11> kSources{{
    {"", ColorExtraInfo},
    {"(A1)", ColorA1},
    {"(A2)", ColorA2},
    {"(D1)", ColorD1},
    {"(D2)", ColorD2},
    {"(D1)", ColorD1},
    {"(D2)", ColorD2},
    {"(T)", ColorA1},
    {"(T)", ColorA2},
    {"(T)", ColorD1},
    {"(T)", ColorD2},
}};

int SourceCode(const FreqMeterValues& v)
{
    return v.status & 0x0F;
}

const MeterSource& SourceOf(const FreqMeterValues& v)
{
    const auto code = static_cast<std::size_t>(SourceCode(v));
    return code < kSources.size() ? kSources[code] : kSources[0];
}

std::string FrequencyText(const FreqMeterValues& v)
{
    const std::optional<double> f = MeterFrequency(v);
    return f ? FormatValue(*f, UnitKind::Frequency, -8) : std::string("...");
}

std::string PeriodText(const FreqMeterValues& v, bool tdcClbr)
{
    if ((v.status & (FmStatusValid | FmStatusFrequency)) != FmStatusValid) return "...";
    if (v.time == FmTimeOverflow) return "ovf";
    return TickTimeText(v.time, tdcClbr);
}

std::string CountText(const FreqMeterValues& v)
{
    if (v.status & FmStatusFrequency) return "...";
    if (v.count == FmCountOverflow) return "ovf";
    return std::to_string(v.count);
}

}  // namespace

FreqMeterValues MeterValuesOf(const FreqMeterReading& r)
{
    return {r.status, r.count, r.time, r.timeCal};
}

FreqMeterValues MeterValuesOf(const FrameRecord& r)
{
    return {static_cast<std::uint8_t>(r.FmStatus), static_cast<std::uint32_t>(r.FmCount),
            static_cast<std::uint32_t>(r.FmTime), r.TimeBaseCal};
}

std::optional<double> MeterFrequency(const FreqMeterValues& v)
{
    const std::uint8_t both = FmStatusValid | FmStatusFrequency;
    // One edge or none is no period yet: (count - 1) would give nothing or a
    // negative frequency.
    if ((v.status & both) != both || v.time == 0 || v.count < 2) return std::nullopt;
    const int code = SourceCode(v);
    const double prescale = (code == 5 || code == 6) ? 8 : 1;
    return (1 + v.calibration * 0.2 * 1e-6) * (v.count - 1.0) * 100'000'000.0 / v.time * prescale;
}

std::vector<LabelText> FreqMeterLabels(const ScopeSettings& s, const FreqMeterValues& v)
{
    std::vector<LabelText> out;
    const MeterSource& src = SourceOf(v);
    const std::uint32_t colour = s.Colors[static_cast<std::size_t>(src.colour)];
    const std::string label = src.label;
    switch (s.Sel(Group::FmMode)) {
        case FmFreq:
            out.push_back({1, Col6_8, "F" + label + " = " + FrequencyText(v), colour});
            break;
        case FmPeriod:
            out.push_back({1, Col2_8, "T" + label + " = " + PeriodText(v, s.TDC_Clbr), colour});
            out.push_back({1, Col6_8, "N" + label + " = " + CountText(v), colour});
            break;
        default:
            break;
    }
    return out;
}

}  // namespace kr40
