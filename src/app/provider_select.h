#pragma once
// Picking the device provider: --driver=NAME, --simulate, KR40_DRIVER.

#include <memory>
#include <string>
#include <string_view>

#include "device/ftdi_transport.h"

namespace kr40 {

// "d2xx": the vendor library; "ftdi": libftdi1 (nullptr when not built in).
// "sim": the simulated instrument. Any other name gives nullptr.
std::unique_ptr<DeviceProvider> MakeProvider(std::string_view name);

// "ftdi" when libftdi1 is built in, else "d2xx".
std::string DefaultProviderName();

// The provider name asked for: the last of --driver=NAME / --simulate (which
// means "sim") on the command line, else a non-empty KR40_DRIVER, else the
// default.
std::string ProviderNameFromArgs(int argc, char** argv);

}  // namespace kr40
