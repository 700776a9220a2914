#pragma once
// The USB bridge's call interface: one C entry point per operation, with the
// bridge library's own signatures, resolved by name from a provider (the
// vendor library loaded at run time, our libftdi1 implementation, or the
// simulated instrument). The rest of the program calls only FtLink.

#include <cstdint>
#include <string>

namespace kr40 {

using FT_HANDLE = void*;
using FT_STATUS = std::uint32_t;  // 0 = OK, 1 invalid handle, 2 device not found, 3 not opened, ...
using FT_DWORD = std::uint32_t;

inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
inline constexpr FT_STATUS FT_NOT_SUPPORTED = 17;
inline constexpr FT_STATUS FT_OTHER_ERROR = 18;

inline constexpr FT_DWORD FT_LIST_NUMBER_ONLY = 0x80000000;
inline constexpr FT_DWORD FT_LIST_BY_INDEX = 0x40000000;
inline constexpr FT_DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
inline constexpr FT_DWORD FT_OPEN_BY_DESCRIPTION = 2;
inline constexpr FT_DWORD FT_OPEN_BY_LOCATION = 4;
inline constexpr std::uint16_t FT_FLOW_NONE = 0x0000;
inline constexpr std::uint16_t FT_FLOW_RTS_CTS = 0x0100;
inline constexpr std::uint16_t FT_FLOW_DTR_DSR = 0x0200;
inline constexpr std::uint16_t FT_FLOW_XON_XOFF = 0x0400;
inline constexpr FT_DWORD FT_EVENT_RXCHAR = 1;
inline constexpr FT_DWORD FT_MODEM_STATUS_CTS = 0x10;

// Entry-point signatures. For FT_SetEventNotification our own providers take
// a kr40::ManualResetEvent* as the parameter.
extern "C" {
using FT_Open_t = FT_STATUS (*)(int deviceNumber, FT_HANDLE* handle);
using FT_Close_t = FT_STATUS (*)(FT_HANDLE);
using FT_Read_t = FT_STATUS (*)(FT_HANDLE, void* buffer, FT_DWORD toRead, FT_DWORD* read);
using FT_Write_t = FT_STATUS (*)(FT_HANDLE, void* buffer, FT_DWORD toWrite, FT_DWORD* written);
using FT_GetQueueStatus_t = FT_STATUS (*)(FT_HANDLE, FT_DWORD* rxBytes);
using FT_ResetDevice_t = FT_STATUS (*)(FT_HANDLE);
using FT_SetBaudRate_t = FT_STATUS (*)(FT_HANDLE, FT_DWORD baud);
using FT_SetTimeouts_t = FT_STATUS (*)(FT_HANDLE, FT_DWORD readMs, FT_DWORD writeMs);
using FT_SetLatencyTimer_t = FT_STATUS (*)(FT_HANDLE, std::uint8_t ms);
using FT_ListDevices_t = FT_STATUS (*)(void* arg1, void* arg2, FT_DWORD flags);
using FT_OpenEx_t = FT_STATUS (*)(void* arg, FT_DWORD flags, FT_HANDLE* handle);
using FT_CreateDeviceInfoList_t = FT_STATUS (*)(FT_DWORD* count);
using FT_CyclePort_t = FT_STATUS (*)(FT_HANDLE);
using FT_SetDataCharacteristics_t = FT_STATUS (*)(FT_HANDLE, std::uint8_t bits, std::uint8_t stop, std::uint8_t parity);
using FT_GetModemStatus_t = FT_STATUS (*)(FT_HANDLE, FT_DWORD* status);
using FT_SetFlowControl_t = FT_STATUS (*)(FT_HANDLE, std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff);
using FT_SetRts_t = FT_STATUS (*)(FT_HANDLE);
using FT_SetChars_t = FT_STATUS (*)(FT_HANDLE, std::uint8_t eventChar, std::uint8_t eventEnable, std::uint8_t errorChar,
                                    std::uint8_t errorEnable);
using FT_SetEventNotification_t = FT_STATUS (*)(FT_HANDLE, FT_DWORD mask, void* param);
using FTID_GetChipIDFromHandle_t = FT_STATUS (*)(FT_HANDLE, std::uint32_t* chipId);
}

// The resolved entry points, in the order of resolution.
struct FtApi {
    FT_Open_t Open = nullptr;
    FT_Close_t Close = nullptr;
    FT_Read_t Read = nullptr;
    FT_Write_t Write = nullptr;
    FT_GetQueueStatus_t GetQueueStatus = nullptr;
    FT_ResetDevice_t ResetDevice = nullptr;
    FT_SetBaudRate_t SetBaudRate = nullptr;
    FT_SetTimeouts_t SetTimeouts = nullptr;
    FT_SetLatencyTimer_t SetLatencyTimer = nullptr;
    FT_ListDevices_t ListDevices = nullptr;
    FT_OpenEx_t OpenEx = nullptr;
    FT_CreateDeviceInfoList_t CreateDeviceInfoList = nullptr;
    FT_CyclePort_t CyclePort = nullptr;
    FT_SetDataCharacteristics_t SetDataCharacteristics = nullptr;
    FT_GetModemStatus_t GetModemStatus = nullptr;
    FT_SetFlowControl_t SetFlowControl = nullptr;
    FT_SetRts_t SetRts = nullptr;
    FT_SetChars_t SetChars = nullptr;
    FT_SetEventNotification_t SetEventNotification = nullptr;
    FTID_GetChipIDFromHandle_t GetChipId = nullptr;
};

// The byte stream to the instrument as the packet layer and the acquisition
// thread see it: the thin call layer over the resolved entry points. A link
// without entry points or handle answers every call with a non-zero status.
class FtLink {
public:
    virtual ~FtLink() = default;
    virtual FT_STATUS Read(void* buffer, FT_DWORD toRead, FT_DWORD* read) = 0;
    virtual FT_STATUS Write(const void* buffer, FT_DWORD toWrite, FT_DWORD* written) = 0;
    virtual FT_STATUS GetQueueStatus(FT_DWORD* rxBytes) = 0;
};

}  // namespace kr40
