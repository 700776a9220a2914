#include "device/ftdi_transport.h"

#include <cstdint>
#include <string>
#include <type_traits>

#include "core/texts.h"

namespace kr40 {
namespace {

// ---------------------------------------------------------------------------
// Entry points: one table walked by the resolver and by ShowUsbError.

using StoreFn = void (*)(FtApi&, void*);

template <auto Member>
void Store(FtApi& api, void* p)
{
    using Fn = std::remove_reference_t<decltype(api.*Member)>;
    api.*Member = reinterpret_cast<Fn>(p);
}

struct EntryPoint {
    FT_STATUS missingCode;  // returned when the entry point cannot be resolved
    const char* name;       // native name; the bridge exports it with a "lin_" prefix
    const char* library;    // native library that exports it
    bool inBridge;          // also exported by the "lin_" bridge
    StoreFn store;
};

constexpr const char* kNativeLibrary = "ftd2xx";
constexpr const char* kChipIdLibrary = "ftchipid";
constexpr const char* kBridgeLibrary = "lin_ftd2xx";
constexpr const char* kBridgePrefix = "lin_";

// In the order of resolution.
constexpr EntryPoint kEntryPoints[] = {
    {110, "FT_Open", kNativeLibrary, true, Store<&FtApi::Open>},
    {111, "FT_Close", kNativeLibrary, true, Store<&FtApi::Close>},
    {112, "FT_Read", kNativeLibrary, true, Store<&FtApi::Read>},
    {113, "FT_Write", kNativeLibrary, true, Store<&FtApi::Write>},
    {114, "FT_GetQueueStatus", kNativeLibrary, true, Store<&FtApi::GetQueueStatus>},
    {115, "FT_ResetDevice", kNativeLibrary, true, Store<&FtApi::ResetDevice>},
    {116, "FT_SetBaudRate", kNativeLibrary, true, Store<&FtApi::SetBaudRate>},
    {117, "FT_SetTimeouts", kNativeLibrary, true, Store<&FtApi::SetTimeouts>},
    {118, "FT_SetLatencyTimer", kNativeLibrary, true, Store<&FtApi::SetLatencyTimer>},
    {119, "FT_ListDevices", kNativeLibrary, true, Store<&FtApi::ListDevices>},
    {120, "FT_OpenEx", kNativeLibrary, true, Store<&FtApi::OpenEx>},
    {121, "FT_CreateDeviceInfoList", kNativeLibrary, true, Store<&FtApi::CreateDeviceInfoList>},
    {130, "FT_CyclePort", kNativeLibrary, false, Store<&FtApi::CyclePort>},
    {131, "FT_SetDataCharacteristics", kNativeLibrary, false, Store<&FtApi::SetDataCharacteristics>},
    {132, "FT_GetModemStatus", kNativeLibrary, false, Store<&FtApi::GetModemStatus>},
    {133, "FT_SetFlowControl", kNativeLibrary, false, Store<&FtApi::SetFlowControl>},
    {134, "FT_SetRts", kNativeLibrary, false, Store<&FtApi::SetRts>},
    {135, "FT_SetChars", kNativeLibrary, false, Store<&FtApi::SetChars>},
    {136, "FT_SetEventNotification", kNativeLibrary, false, Store<&FtApi::SetEventNotification>},
    {140, "FTID_GetChipIDFromHandle", kChipIdLibrary, false, Store<&FtApi::GetChipId>},
};

// Resolves the entry points of one flavour into api; the first missing one
// gives its code.
FT_STATUS ResolveEntryPoints(FtApi& api, DeviceProvider& provider, bool bridge)
{
    for (const EntryPoint& e : kEntryPoints) {
        if (bridge && !e.inBridge) continue;
        void* p = bridge ? provider.Resolve(kBridgeLibrary, std::string(kBridgePrefix) + e.name)
                         : provider.Resolve(e.library, e.name);
        e.store(api, p);
        if (p == nullptr) return e.missingCode;
    }
    return FT_OK;
}

// ---------------------------------------------------------------------------
// Texts.

constexpr TextPair kUsbErrorCaption = {"USB Error", "Ошибка USB"};
constexpr TextPair kOtherError = {"Error - ", "Ошибка - "};
constexpr const char* kMissingEntryPoint = "Ftd2xx.dll error.\r\nCan't find ";

struct UsbErrorText {
    FT_STATUS status;
    TextPair text;
};

constexpr UsbErrorText kUsbErrorTexts[] = {
    {FT_INVALID_HANDLE, {"Invalid handle.", "Неверный дескриптор."}},
    {FT_DEVICE_NOT_FOUND, {"Device not found.", "Устройство не найдено."}},
    {FT_DEVICE_NOT_OPENED,
     {"Device not opened. Make sure serial port driver is not loaded \r\n",
      "Device not opened. Make sure serial port driver is not loaded \r\n"}},
    {kNoLibrary, {"Can't load ftd2xx.dll or lin_ftd2xx.dll.so", "Can't load ftd2xx.dll or lin_ftd2xx.dll.so"}},
    {kNoChipIdLibrary, {"Can't load ftchipid.dll", "Can't load ftchipid.dll"}},
};

// The search boxes exist only in English: they are shown in debug mode, or
// name the older instrument's own software.
constexpr const char* kTrueDescription = "Digital Oscilloscope KR40";
constexpr const char* kOlderDescription = "Digital Oscilloscope";
constexpr const char* kOlderDeviceText = "KR4001 device found. \r\nPlease, use KR4001 software.";
constexpr const char* kBridgeLoadedText = "Linux Wine Driver loaded\r\n";
constexpr const char* kDeviceCountText = "Number of devices = ";

std::string DeviceCountText(FT_DWORD count)
{
    return kDeviceCountText + std::to_string(count) + ". ";
}

std::string DeviceQuestion(const char* found, const std::string& description, FT_DWORD index, FT_DWORD location,
                           const char* question)
{
    return std::string(found) + "\r\nDescription = '" + description + "'  " +
           "\r\nDev_Index = " + std::to_string(index) + "\r\nDev_Loc = " + std::to_string(location) + question;
}

// ---------------------------------------------------------------------------
// Device search and set-up.

constexpr FT_DWORD kBaudRate = 2000000;
constexpr FT_DWORD kTimeoutMs = 500;
constexpr std::uint8_t kLatencyMs = 2;
constexpr std::uint8_t kXon = 0x13;
constexpr std::uint8_t kXoff = 0x17;
constexpr std::uint8_t kEventChar = 0xFF;

void* AsPointerArg(FT_DWORD value)
{
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(value));
}

void CloseOpenHandle(TransportState& state)
{
    std::unique_lock lock(state.HandleMutex);
    if (!state.DeviceHandleOpen) return;
    state.DeviceHandleOpen = false;
    FT_HANDLE handle = state.DeviceHandle.exchange(nullptr);
    if (state.api.Close != nullptr) state.api.Close(handle);
}

void TakeHandle(TransportState& state, FT_HANDLE handle)
{
    state.DeviceHandle = handle;
    state.DeviceHandleOpen = true;
}

struct ListedDevice {
    bool ok;
    FT_DWORD location;
    std::string description;
};

ListedDevice ListDevice(const FtApi& api, FT_DWORD index)
{
    FT_DWORD location = 0;
    char description[128] = {};  // the library writes at most 64 bytes
    FT_STATUS s1 = api.ListDevices(AsPointerArg(index), &location, FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION);
    FT_STATUS s2 = api.ListDevices(AsPointerArg(index), description, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION);
    description[sizeof description - 1] = '\0';
    return {s1 == FT_OK && s2 == FT_OK, location, description};
}

bool AskYes(Prompts& prompts, const OpenOptions& options, const std::string& text, PromptIcon icon)
{
    return prompts.Message(options.caption, text, icon, PromptButtons::YesNo) == PromptAnswer::Yes;
}

// The start both flavours share: resolve the entry points, close a handle
// opened before, and count the attached devices (none: "device not found").
FT_STATUS ResolveAndCount(TransportState& state, DeviceProvider& provider, bool bridge, FT_DWORD& count)
{
    if (FT_STATUS s = ResolveEntryPoints(state.api, provider, bridge); s != FT_OK) return s;
    CloseOpenHandle(state);
    count = 0;
    if (FT_STATUS s = state.api.CreateDeviceInfoList(&count); s != FT_OK) return s;
    return count == 0 ? FT_DEVICE_NOT_FOUND : FT_OK;
}

FT_STATUS OpenBridge(TransportState& state, DeviceProvider& provider, Prompts& prompts, const OpenOptions& options)
{
    FtApi& api = state.api;
    FT_DWORD count = 0;
    if (FT_STATUS s = ResolveAndCount(state, provider, true, count); s != FT_OK) return s;
    if (options.debug) {
        prompts.Message(options.caption, kBridgeLoadedText + DeviceCountText(count), PromptIcon::Warning,
                        PromptButtons::Ok);
    }

    FT_HANDLE handle = nullptr;
    if (FT_STATUS s = api.Open(0, &handle); s != FT_OK) return s;
    TakeHandle(state, handle);
    api.ResetDevice(handle);
    api.SetBaudRate(handle, kBaudRate);
    api.SetTimeouts(handle, kTimeoutMs, kTimeoutMs);
    api.SetLatencyTimer(handle, kLatencyMs);
    state.ChipId = kBridgeChipId;
    state.DeviceOpened = true;
    state.TransferMode = 1;
    return FT_OK;
}

FT_STATUS OpenNative(TransportState& state, DeviceProvider& provider, Prompts& prompts, const OpenOptions& options)
{
    FtApi& api = state.api;
    FT_DWORD count = 0;
    if (FT_STATUS s = ResolveAndCount(state, provider, false, count); s != FT_OK) return s;
    if (options.debug && count >= 2) {
        prompts.Message(options.caption, DeviceCountText(count), PromptIcon::Warning, PromptButtons::Ok);
    }

    FT_HANDLE handle = nullptr;
    FT_STATUS result = FT_DEVICE_NOT_FOUND;
    auto openAt = [&](FT_DWORD location) { return api.OpenEx(AsPointerArg(location), FT_OPEN_BY_LOCATION, &handle); };

    // First pass: the instrument itself, wherever it is in the list.
    for (FT_DWORD i = 0; i < count; ++i) {
        ListedDevice d = ListDevice(api, i);
        if (d.ok && d.description == kTrueDescription &&
            (!options.debug ||
             AskYes(prompts, options, DeviceQuestion("True device found.", d.description, i, d.location, "\r\nOpen ?"),
                    PromptIcon::Question))) {
            result = openAt(d.location);
            if (result == FT_OK) break;
            continue;  // a failed open keeps its own status
        }
        result = FT_DEVICE_NOT_FOUND;
    }

    // Second pass: any other bridge, which may be the instrument with a
    // rewritten description.
    if (result != FT_OK) {
        for (FT_DWORD i = 0; i < count; ++i) {
            ListedDevice d = ListDevice(api, i);
            if (!d.ok || d.description == kTrueDescription) continue;
            bool open = true;
            if (options.debug || options.noExcuse) {
                open = AskYes(prompts, options,
                              DeviceQuestion("Other device found.", d.description, i, d.location, "\r\nTry to open ?"),
                              PromptIcon::Warning);
            } else if (d.description == kOlderDescription) {
                prompts.Message(options.caption, kOlderDeviceText, PromptIcon::Error, PromptButtons::Ok);
                open = false;
            }
            if (!open) continue;
            result = openAt(d.location);
            if (result == FT_OK) break;
        }
    }
    if (result != FT_OK) return result;

    // Port set-up; the statuses are ignored; a broken link shows up in the
    // next queue-status or write call.
    TakeHandle(state, handle);
    api.ResetDevice(handle);
    api.SetBaudRate(handle, kBaudRate);
    api.SetDataCharacteristics(handle, 8, 0, 0);
    FT_DWORD modem = 0;
    api.GetModemStatus(handle, &modem);
    if ((modem & FT_MODEM_STATUS_CTS) != 0 && !options.flowCtrlOff) {
        api.SetFlowControl(handle, FT_FLOW_RTS_CTS, kXon, kXoff);
        api.SetRts(handle);
        state.TransferMode = 2;
    } else {
        api.SetFlowControl(handle, FT_FLOW_NONE, kXon, kXoff);
        state.TransferMode = 1;
    }
    api.SetTimeouts(handle, kTimeoutMs, kTimeoutMs);
    api.SetLatencyTimer(handle, kLatencyMs);
    api.SetChars(handle, kEventChar, 1, 0, 0);
    api.SetEventNotification(handle, FT_EVENT_RXCHAR, options.rxEvent);
    std::uint32_t chipId = 0;
    api.GetChipId(handle, &chipId);
    state.ChipId = chipId;
    state.DeviceOpened = true;
    return FT_OK;
}

}  // namespace

FT_STATUS OpenScopeDevice(TransportState& state, DeviceProvider& provider, Prompts& prompts, const OpenOptions& options)
{
    state.TransferMode = 0;
    if (!state.DriverWine && !state.DriverNative) {
        if (provider.Load(kBridgeLibrary)) {
            state.DriverWine = true;
        } else if (provider.Load(kNativeLibrary)) {
            if (!provider.Load(kChipIdLibrary)) {
                provider.Unload(kNativeLibrary);
                return kNoChipIdLibrary;
            }
            state.DriverNative = true;
        }
        if (!state.DriverWine && !state.DriverNative) return kNoLibrary;
    }
    return state.DriverWine ? OpenBridge(state, provider, prompts, options)
                            : OpenNative(state, provider, prompts, options);
}

void ShowUsbError(Prompts& prompts, FT_STATUS status, bool russian)
{
    const std::string number = std::to_string(status);
    std::string text = Tr(kOtherError, russian) + number;
    for (const UsbErrorText& t : kUsbErrorTexts) {
        if (t.status == status) text = Tr(t.text, russian);
    }
    // Missing entry points of the bridge library are named; the chip-ID
    // library's one falls back to the plain error number.
    for (const EntryPoint& e : kEntryPoints) {
        if (e.missingCode == status && std::string_view(e.library) == kNativeLibrary) {
            text = kMissingEntryPoint + std::string(e.name);
        }
    }
    prompts.Message(Tr(kUsbErrorCaption, russian) + " - " + number, text, PromptIcon::Error, PromptButtons::Ok);
}

FT_STATUS CloseScopeDevice(TransportState& state)
{
    FT_STATUS status = FT_OK;
    std::unique_lock lock(state.HandleMutex);
    if (state.DeviceHandleOpen) {
        state.DeviceHandleOpen = false;
        FT_HANDLE handle = state.DeviceHandle.exchange(nullptr);
        status = state.api.Close != nullptr ? state.api.Close(handle) : FT_INVALID_HANDLE;
    }
    state.LinkStatus = FT_INVALID_HANDLE;
    return status;
}

FT_STATUS TransportLink::Read(void* buffer, FT_DWORD toRead, FT_DWORD* read)
{
    FT_Read_t fn = state_.api.Read;
    std::shared_lock lock(state_.HandleMutex);
    if (fn == nullptr || !state_.DeviceHandleOpen) {
        if (read != nullptr) *read = 0;
        return FT_INVALID_HANDLE;
    }
    return fn(state_.DeviceHandle, buffer, toRead, read);
}

FT_STATUS TransportLink::Write(const void* buffer, FT_DWORD toWrite, FT_DWORD* written)
{
    FT_Write_t fn = state_.api.Write;
    FT_STATUS status = FT_INVALID_HANDLE;
    std::shared_lock lock(state_.HandleMutex);
    if (fn == nullptr || !state_.DeviceHandleOpen) {
        if (written != nullptr) *written = 0;
    } else {
        // The library's signature is not const-correct; it does not write to the buffer.
        status = fn(state_.DeviceHandle, const_cast<void*>(buffer), toWrite, written);
    }
    state_.LinkStatus = status;
    return status;
}

FT_STATUS TransportLink::GetQueueStatus(FT_DWORD* rxBytes)
{
    FT_GetQueueStatus_t fn = state_.api.GetQueueStatus;
    FT_STATUS status = FT_INVALID_HANDLE;
    std::shared_lock lock(state_.HandleMutex);
    if (fn == nullptr || !state_.DeviceHandleOpen) {
        if (rxBytes != nullptr) *rxBytes = 0;
    } else {
        status = fn(state_.DeviceHandle, rxBytes);
    }
    state_.LinkStatus = status;
    return status;
}

}  // namespace kr40
