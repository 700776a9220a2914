#pragma once
// Making the device provider chosen on the command line (see command_line.h).

#include <memory>
#include <string>
#include <string_view>

#include "device/ftdi_transport.h"

namespace kr40 {

// "d2xx": the vendor library; "ftdi": libftdi1 (nullptr when not built in).
// "sim": the simulated instrument, its inputs wired by `simInputs`: "demo"
// (or empty) the demo signals, "open" nothing connected (for the zero
// calibration), "generator" the generator on D1 and D2 (for the TDC
// calibration). Any other name gives nullptr.
std::unique_ptr<DeviceProvider> MakeProvider(std::string_view name, std::string_view simInputs = {});

// Whether `simInputs` is one of the wirings above.
bool SimInputsKnown(std::string_view simInputs);

// "ftdi" when libftdi1 is built in, else "d2xx".
std::string DefaultProviderName();

// Whether MakeProvider makes a provider of this name in this build.
bool ProviderBuiltIn(std::string_view name);

}  // namespace kr40
