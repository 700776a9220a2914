#pragma once
// What one simulated instrument really is, as the program's service
// calibrations have to find it out: where 0 V lands on the ADC for a given
// offset DAC code, how noisy its ADC is, how many delay-line taps its
// time-to-digital converter has per sample period, and where its digital
// inputs switch. The defaults are an instrument that matches the program's
// default records, so that an uncalibrated program sees what it expects.

#include <array>
#include <cstdint>

namespace kr40::sim {

struct InstrumentOptions;

// An analog channel's zero response, in the units of the program's
// zero-offset record (P1, P2, SH): with offset DAC code `dac` and a range of
// V volts per division, 0 V lands on ADC code
//   ((dac - 1360) * (p2 - p1) / 1680 + p1 + sh * 0.05 / V) / 16.
struct ZeroResponse {
    double p1 = 3357, p2 = 725, sh = 0;

    double ZeroCode(std::uint32_t dac, double voltsPerDivision) const;
};

// A digital input's switching levels, volts: with the Schmitt trigger on it
// goes to 1 above `rise` and to 0 below `fall`; with it off it reads 1 above
// `single`.
struct InputThresholds {
    double rise = 0.5, fall = 0.5, single = 0.5;
};

struct InstrumentTruth {
    std::array<ZeroResponse, 2> zero{};  // A1, A2
    // The ADC's own noise: triangular, up to this many codes either way, added
    // before the code is rounded. One code dithers the mean exactly.
    double adcNoiseCodes = 0;
    // Delay-line taps per 10 ns sample period of the TDC: rise D1, fall D1,
    // rise D2, fall D2. Not the cells the host stores in the instrument
    // (InstrumentOptions::tdc), which are what it believes.
    std::array<std::uint8_t, 4> tdcCounts{23, 21, 25, 18};
    std::array<InputThresholds, 2> thresholds{{{0.62, 0.31, 0.47}, {0.58, 0.27, 0.43}}};  // D1, D2
};

// Wiring for the service calibrations, applied to the options an instrument
// is built with (SimProviderOptions::instrument for the simulated provider).
// Nothing connected: every input grounded, and the ADC noise of one code
// that lets the zero calibration's means see fractions of a code.
void WireOpenInputs(InstrumentOptions& o);
// The generator's output on D1 and D2, for the TDC and threshold calibration.
void WireGeneratorToDigital(InstrumentOptions& o);

}  // namespace kr40::sim
