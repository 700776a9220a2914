#pragma once
// The bridge's entry points implemented over the open-source libftdi1.
//
// The entry points are plain C functions without a context, so the state
// behind the list and open calls (the device list of the last
// FT_CreateDeviceInfoList and the open devices) is process-wide: keep one
// provider per process. A handle is the address of an open-device object;
// handles are checked against the open devices, so a stale one answers
// FT_INVALID_HANDLE. Destroying the provider closes every device it opened.
//
// Logical libraries: "ftd2xx" and "ftchipid" (never "lin_ftd2xx").
// Location of a device: USB bus number << 8 | device address, unique among the
// attached devices. Description: the USB product string ("" when the device
// has none). Chip ID: the FTDIChip-ID of R-series chips, else kFtdi1NoChipId.
// Reads come from a queue filled by a reader thread per open device, which
// signals the event given to FT_SetEventNotification whenever bytes arrive.

#include <memory>

#include "device/ftdi_transport.h"

namespace kr40 {

inline constexpr std::uint32_t kFtdi1NoChipId = 0;

std::unique_ptr<DeviceProvider> MakeFtdi1Provider();

}  // namespace kr40
