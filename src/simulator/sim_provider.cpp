#include "simulator/sim_provider.h"

#include <atomic>
#include <cstring>

#include "core/manual_reset_event.h"

namespace kr40::sim {

namespace {

// The entry points are plain C functions: the list and open calls have no
// handle, so they reach the provider through this one pointer. A handle is a
// pointer to an Open record of the current provider.
std::atomic<SimProvider*> g_current{nullptr};

struct OpenDevice {
    bool instrument;
    bool open;
};
OpenDevice g_handles[8];  // one per listed device (index = handle slot)

SimProvider* Current()
{
    return g_current.load();
}

OpenDevice* FromHandle(FT_HANDLE h)
{
    for (OpenDevice& d : g_handles)
        if (&d == h && d.open) return &d;
    return nullptr;
}

// Runs a call on the instrument behind an open handle.
template <class F>
FT_STATUS WithInstrument(FT_HANDLE h, F call)
{
    OpenDevice* d = FromHandle(h);
    SimProvider* p = Current();
    if (!d || !p) return FT_INVALID_HANDLE;
    if (!d->instrument) return FT_OK;  // a foreign device: silent
    return call(p->Instrument());
}

FT_STATUS SimCreateDeviceInfoList(FT_DWORD* count)
{
    SimProvider* p = Current();
    if (!p) return FT_OTHER_ERROR;
    *count = static_cast<FT_DWORD>(p->Options().devices.size());
    return FT_OK;
}

FT_STATUS SimListDevices(void* arg1, void* arg2, FT_DWORD flags)
{
    SimProvider* p = Current();
    if (!p) return FT_OTHER_ERROR;
    const std::size_t index = reinterpret_cast<std::uintptr_t>(arg1);
    if (!(flags & FT_LIST_BY_INDEX) || index >= p->Options().devices.size()) return FT_DEVICE_NOT_FOUND;
    const SimDevice& d = p->Options().devices[index];
    if (flags & FT_OPEN_BY_LOCATION) {
        *static_cast<FT_DWORD*>(arg2) = d.location;
    } else if (flags & FT_OPEN_BY_DESCRIPTION) {
        std::strncpy(static_cast<char*>(arg2), d.description.c_str(), 63);
        static_cast<char*>(arg2)[63] = '\0';
    } else {
        return FT_INVALID_PARAMETER;
    }
    return FT_OK;
}

FT_STATUS OpenSlot(std::size_t index, FT_HANDLE* handle)
{
    SimProvider* p = Current();
    if (!p || index >= p->Options().devices.size() || index >= std::size(g_handles)) return FT_DEVICE_NOT_FOUND;
    if (g_handles[index].open) return FT_DEVICE_NOT_OPENED;  // already in use
    g_handles[index] = {p->Options().devices[index].instrument, true};
    *handle = &g_handles[index];
    return FT_OK;
}

FT_STATUS SimOpen(int number, FT_HANDLE* handle)
{
    return OpenSlot(static_cast<std::size_t>(number), handle);
}

FT_STATUS SimOpenEx(void* arg, FT_DWORD flags, FT_HANDLE* handle)
{
    SimProvider* p = Current();
    if (!p || !(flags & FT_OPEN_BY_LOCATION)) return FT_DEVICE_NOT_FOUND;
    const FT_DWORD location = static_cast<FT_DWORD>(reinterpret_cast<std::uintptr_t>(arg));
    for (std::size_t i = 0; i < p->Options().devices.size(); ++i)
        if (p->Options().devices[i].location == location) return OpenSlot(i, handle);
    return FT_DEVICE_NOT_FOUND;
}

FT_STATUS SimClose(FT_HANDLE h)
{
    OpenDevice* d = FromHandle(h);
    if (!d) return FT_INVALID_HANDLE;
    // A closed handle notifies nobody any more: the event may belong to a
    // program state that is about to go.
    if (SimProvider* p = Current(); p && d->instrument) p->Instrument().SetEvent(nullptr);
    d->open = false;
    return FT_OK;
}

FT_STATUS SimRead(FT_HANDLE h, void* buffer, FT_DWORD toRead, FT_DWORD* read)
{
    *read = 0;
    return WithInstrument(h, [&](VirtualInstrument& v) {
        std::size_t got = 0;
        const FT_STATUS s = v.Read(static_cast<std::uint8_t*>(buffer), toRead, &got);
        *read = static_cast<FT_DWORD>(got);
        return s;
    });
}

FT_STATUS SimWrite(FT_HANDLE h, void* buffer, FT_DWORD toWrite, FT_DWORD* written)
{
    *written = 0;
    OpenDevice* d = FromHandle(h);
    if (d && !d->instrument) {  // a foreign device swallows everything
        *written = toWrite;
        return FT_OK;
    }
    return WithInstrument(h, [&](VirtualInstrument& v) {
        std::size_t n = 0;
        const FT_STATUS s = v.Write(static_cast<const std::uint8_t*>(buffer), toWrite, &n);
        *written = static_cast<FT_DWORD>(n);
        return s;
    });
}

FT_STATUS SimGetQueueStatus(FT_HANDLE h, FT_DWORD* rx)
{
    *rx = 0;
    return WithInstrument(h, [&](VirtualInstrument& v) {
        std::size_t n = 0;
        const FT_STATUS s = v.QueueStatus(&n);
        *rx = static_cast<FT_DWORD>(n);
        return s;
    });
}

FT_STATUS SimResetDevice(FT_HANDLE h)
{
    return WithInstrument(h, [](VirtualInstrument& v) {
        v.Reset();
        return FT_OK;
    });
}

FT_STATUS SimOk(FT_HANDLE h)
{
    return FromHandle(h) ? FT_OK : FT_INVALID_HANDLE;
}
FT_STATUS SimSetBaudRate(FT_HANDLE h, FT_DWORD)
{
    return SimOk(h);
}
FT_STATUS SimSetTimeouts(FT_HANDLE h, FT_DWORD, FT_DWORD)
{
    return SimOk(h);
}
FT_STATUS SimSetLatencyTimer(FT_HANDLE h, std::uint8_t)
{
    return SimOk(h);
}
FT_STATUS SimSetDataCharacteristics(FT_HANDLE h, std::uint8_t, std::uint8_t, std::uint8_t)
{
    return SimOk(h);
}
FT_STATUS SimSetFlowControl(FT_HANDLE h, std::uint16_t, std::uint8_t, std::uint8_t)
{
    return SimOk(h);
}
FT_STATUS SimSetChars(FT_HANDLE h, std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t)
{
    return SimOk(h);
}

FT_STATUS SimGetModemStatus(FT_HANDLE h, FT_DWORD* status)
{
    SimProvider* p = Current();
    if (!FromHandle(h) || !p) return FT_INVALID_HANDLE;
    *status = p->Options().cts ? FT_MODEM_STATUS_CTS : 0;
    return FT_OK;
}

FT_STATUS SimSetEventNotification(FT_HANDLE h, FT_DWORD mask, void* param)
{
    return WithInstrument(h, [&](VirtualInstrument& v) {
        v.SetEvent((mask & FT_EVENT_RXCHAR) ? static_cast<ManualResetEvent*>(param) : nullptr);
        return FT_OK;
    });
}

FT_STATUS SimGetChipId(FT_HANDLE h, std::uint32_t* id)
{
    if (!FromHandle(h)) return FT_INVALID_HANDLE;
    *id = 0x4B523430;  // "KR40"
    return FT_OK;
}

struct Entry {
    const char* name;
    void* fn;
};

const Entry kEntries[] = {
    {"FT_Open", reinterpret_cast<void*>(&SimOpen)},
    {"FT_Close", reinterpret_cast<void*>(&SimClose)},
    {"FT_Read", reinterpret_cast<void*>(&SimRead)},
    {"FT_Write", reinterpret_cast<void*>(&SimWrite)},
    {"FT_GetQueueStatus", reinterpret_cast<void*>(&SimGetQueueStatus)},
    {"FT_ResetDevice", reinterpret_cast<void*>(&SimResetDevice)},
    {"FT_SetBaudRate", reinterpret_cast<void*>(&SimSetBaudRate)},
    {"FT_SetTimeouts", reinterpret_cast<void*>(&SimSetTimeouts)},
    {"FT_SetLatencyTimer", reinterpret_cast<void*>(&SimSetLatencyTimer)},
    {"FT_ListDevices", reinterpret_cast<void*>(&SimListDevices)},
    {"FT_OpenEx", reinterpret_cast<void*>(&SimOpenEx)},
    {"FT_CreateDeviceInfoList", reinterpret_cast<void*>(&SimCreateDeviceInfoList)},
    {"FT_CyclePort", reinterpret_cast<void*>(&SimOk)},
    {"FT_SetDataCharacteristics", reinterpret_cast<void*>(&SimSetDataCharacteristics)},
    {"FT_GetModemStatus", reinterpret_cast<void*>(&SimGetModemStatus)},
    {"FT_SetFlowControl", reinterpret_cast<void*>(&SimSetFlowControl)},
    {"FT_SetRts", reinterpret_cast<void*>(&SimOk)},
    {"FT_SetChars", reinterpret_cast<void*>(&SimSetChars)},
    {"FT_SetEventNotification", reinterpret_cast<void*>(&SimSetEventNotification)},
};

}  // namespace

SimProvider::SimProvider(SimProviderOptions options)
    : options_(std::move(options)), instrument_(std::make_unique<VirtualInstrument>(options_.instrument))
{
    for (OpenDevice& d : g_handles) d = {};
    g_current = this;
}

SimProvider::~SimProvider()
{
    SimProvider* self = this;
    g_current.compare_exchange_strong(self, nullptr);
    for (OpenDevice& d : g_handles) d = {};
}

bool SimProvider::Load(std::string_view library)
{
    return library == "ftd2xx" || library == "ftchipid";
}

void* SimProvider::Resolve(std::string_view library, std::string_view symbol)
{
    if (library == "ftchipid")
        return symbol == "FTID_GetChipIDFromHandle" ? reinterpret_cast<void*>(&SimGetChipId) : nullptr;
    if (library != "ftd2xx") return nullptr;
    for (const Entry& e : kEntries)
        if (symbol == e.name) return e.fn;
    return nullptr;
}

VirtualInstrument* CurrentSimInstrument()
{
    SimProvider* p = Current();
    return p ? &p->Instrument() : nullptr;
}

}  // namespace kr40::sim
