#pragma once
// The bridge vendor's D2XX library, loaded at run time.

#include <memory>

#include "device/ftdi_transport.h"

namespace kr40 {

// Windows: "lin_ftd2xx.dll", "ftd2xx.dll" and "ftchipid.dll" through
// LoadLibraryA/GetProcAddress. Elsewhere: "libftd2xx.so" and "libftchipid.so"
// through dlopen/dlsym; "lin_ftd2xx" is never present there, since that bridge
// exists only under the Windows compatibility layer.
std::unique_ptr<DeviceProvider> MakeD2xxProvider();

}  // namespace kr40
