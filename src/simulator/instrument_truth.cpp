#include "simulator/instrument_truth.h"

#include "simulator/virtual_instrument.h"

namespace kr40::sim {

namespace {
constexpr double kDacLow = 1360, kDacSpan = 1680;
constexpr double kShiftVoltsPerDiv = 0.05;  // the range at which SH counts in full
}  // namespace

double ZeroResponse::ZeroCode(std::uint32_t dac, double voltsPerDivision) const
{
    const double k = kShiftVoltsPerDiv / voltsPerDivision;
    return ((dac - kDacLow) * (p2 - p1) / kDacSpan + p1 + sh * k) / 16;
}

void WireOpenInputs(InstrumentOptions& o)
{
    o.sources.a1 = o.sources.a2 = Source::Ground;
    o.sources.d1 = o.sources.d2 = Source::Ground;
    o.truth.adcNoiseCodes = 1;
}

void WireGeneratorToDigital(InstrumentOptions& o)
{
    o.sources.d1 = o.sources.d2 = Source::Generator;
}

}  // namespace kr40::sim
