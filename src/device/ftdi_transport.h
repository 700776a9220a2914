#pragma once
// The link to the instrument's USB bridge: loading the bridge library through
// a provider, finding and opening the instrument, setting the port up, the
// thin call layer used by the packet layer, and the "USB Error" box.

#include <atomic>
#include <cstdint>
#include <shared_mutex>
#include <string>
#include <string_view>

#include "core/manual_reset_event.h"
#include "core/prompts.h"
#include "device/ftdi_api.h"

namespace kr40 {

// A library loader plus name resolver. Logical library names:
//   "lin_ftd2xx" - the bridge library under the Windows compatibility layer
//                  (entry points carry a "lin_" prefix),
//   "ftd2xx"     - the native bridge library,
//   "ftchipid"   - the native chip-ID companion library.
class DeviceProvider {
public:
    virtual ~DeviceProvider() = default;
    virtual bool Load(std::string_view library) = 0;
    virtual void Unload(std::string_view library) = 0;
    // The entry point, or nullptr when the library is not loaded or lacks it.
    virtual void* Resolve(std::string_view library, std::string_view symbol) = 0;
};

// ChipId reported when the "lin_" bridge is in use: it has no chip-ID library.
// The value spells "WINE" in ASCII so it is recognisable in the serial-number
// line, which shows ChipId as 8 hexadecimal digits.
inline constexpr std::uint32_t kBridgeChipId = 0x57494E45;

// Status codes of our own, beside the library's FT_STATUS values (< 100).
inline constexpr FT_STATUS kNoLibrary = 100;        // no bridge library could be loaded
inline constexpr FT_STATUS kNoChipIdLibrary = 101;  // native library without its chip-ID library
// 110..121, 130..136 and 140: an entry point is missing (see ShowUsbError).

// Link state shared by the user interface (which opens and closes the device)
// and the acquisition thread (which reads and writes through TransportLink).
struct TransportState {
    bool DriverWine = false;    // "lin_ftd2xx" loaded; set once, never cleared
    bool DriverNative = false;  // "ftd2xx" and "ftchipid" loaded; set once, never cleared
    // A handle opened by OpenScopeDevice that must be closed before the next
    // search. Atomic with the handle because the acquisition thread reads both.
    std::atomic<bool> DeviceHandleOpen{false};
    std::atomic<FT_HANDLE> DeviceHandle{nullptr};
    // Calls on the handle hold it shared; closing the handle holds it
    // exclusively, so a reopen never frees a handle under a call in flight.
    std::shared_mutex HandleMutex;
    // Result of the last open (stored by the caller of OpenScopeDevice),
    // queue-status or write call; 0 = link usable.
    std::atomic<FT_STATUS> LinkStatus{FT_INVALID_HANDLE};
    int TransferMode = 0;       // 0 = not set up, 1 = no flow control, 2 = RTS/CTS
    bool DeviceOpened = false;  // set after the first successful set-up, cleared by recovery
    std::uint32_t ChipId = 0;
    FtApi api;  // resolved entry points
};

struct OpenOptions {
    bool debug = false;        // INI Debug_kr: show the search boxes
    bool noExcuse = false;     // INI No_Excuse: ask before opening a foreign device
    bool flowCtrlOff = false;  // INI FLOW_CTRL_OFF = 1: never use RTS/CTS
    bool russian = false;
    std::string caption;                  // executable name without path and extension
    ManualResetEvent* rxEvent = nullptr;  // signalled by the driver when bytes arrive
};

// Loads the library if needed, (re)opens the instrument and sets the port up.
// Returns 0 on success, else a library status or one of our codes. Runs on
// the user-interface thread; the caller stores the result in LinkStatus.
FT_STATUS OpenScopeDevice(TransportState& state, DeviceProvider& provider, Prompts& prompts,
                          const OpenOptions& options);

// The modal "USB Error - N" box for a status returned by OpenScopeDevice.
void ShowUsbError(Prompts& prompts, FT_STATUS status, bool russian);

// Closes the device for Exit: closes the handle if one is open and sets
// LinkStatus to 1 so no further I/O is attempted. Returns the close status
// (0 when nothing was open).
FT_STATUS CloseScopeDevice(TransportState& state);

// The thin call layer over the resolved entry points and the open handle.
// Without an entry point or an open handle every call answers
// FT_INVALID_HANDLE. Write and GetQueueStatus store their status in LinkStatus.
class TransportLink : public FtLink {
public:
    explicit TransportLink(TransportState& state) : state_(state) {}
    FT_STATUS Read(void* buffer, FT_DWORD toRead, FT_DWORD* read) override;
    FT_STATUS Write(const void* buffer, FT_DWORD toWrite, FT_DWORD* written) override;
    FT_STATUS GetQueueStatus(FT_DWORD* rxBytes) override;

private:
    TransportState& state_;
};

}  // namespace kr40
