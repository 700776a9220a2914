#include "device/ftdi1/provider_ftdi1.h"

#include <ftdi.h>
#include <libusb.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/ftdi1/rx_queue.h"

namespace kr40 {
namespace {

constexpr int kUsbReadTimeoutMs = 200;        // bounds how long closing waits for the reader
constexpr std::size_t kReadChunk = 4096;      // libftdi1's default read chunk
constexpr std::size_t kDescriptionSize = 64;  // the D2XX description buffer size

FT_STATUS Check(int rc)
{
    return rc < 0 ? FT_IO_ERROR : FT_OK;
}

FT_DWORD Location(std::uint8_t bus, std::uint8_t address)
{
    return static_cast<FT_DWORD>(bus) << 8 | address;
}

// ---------------------------------------------------------------------------
// An open device: its libftdi1 context, the receive queue and the reader.

class Ftdi1Device {
public:
    explicit Ftdi1Device(ftdi_context* ctx) : ctx_(ctx)
    {
        ctx_->usb_read_timeout = kUsbReadTimeoutMs;
        reader_ = std::thread([this] { ReadLoop(); });
    }
    ~Ftdi1Device() { Shutdown(); }
    Ftdi1Device(const Ftdi1Device&) = delete;
    Ftdi1Device& operator=(const Ftdi1Device&) = delete;

    // Stops the reader and closes the USB device; calls in progress on other
    // threads finish first. Safe to call twice.
    FT_STATUS Shutdown()
    {
        stop_ = true;
        queue_.Fail();
        if (reader_.joinable()) reader_.join();
        std::unique_lock lock(useMutex_);
        if (ctx_ == nullptr) return FT_OK;
        int rc = ftdi_usb_close(ctx_);
        ftdi_free(ctx_);
        ctx_ = nullptr;
        return Check(rc);
    }

    // Runs f(ctx) unless the device is closed.
    template <class F>
    FT_STATUS Use(F&& f)
    {
        std::shared_lock lock(useMutex_);
        if (ctx_ == nullptr) return FT_INVALID_HANDLE;
        return f(ctx_);
    }

    FT_STATUS Reset()
    {
        return Use([&](ftdi_context* ctx) {
            // ftdi_usb_reset also drops libftdi1's read buffer, which the reader uses.
            std::lock_guard readLock(readMutex_);
            int rc = ftdi_usb_reset(ctx);
            queue_.Clear();
            return Check(rc);
        });
    }

    FT_STATUS Read(void* buffer, FT_DWORD toRead, FT_DWORD* read)
    {
        // A zero time-out waits until everything asked for has arrived.
        const FT_DWORD ms = readTimeoutMs_;
        const auto timeout =
            ms == 0 ? std::chrono::milliseconds(std::chrono::hours(24)) : std::chrono::milliseconds(ms);
        const std::size_t got = queue_.Read(static_cast<std::uint8_t*>(buffer), toRead, timeout);
        if (read != nullptr) *read = static_cast<FT_DWORD>(got);
        return got < toRead && queue_.Failed() ? FT_IO_ERROR : FT_OK;
    }

    FT_STATUS QueueStatus(FT_DWORD* rxBytes)
    {
        if (rxBytes != nullptr) *rxBytes = static_cast<FT_DWORD>(queue_.Size());
        return queue_.Failed() ? FT_IO_ERROR : FT_OK;
    }

    void SetReadTimeout(FT_DWORD ms) { readTimeoutMs_ = ms; }
    RxQueue& Queue() { return queue_; }

private:
    void ReadLoop()
    {
        std::vector<std::uint8_t> buffer(kReadChunk);
        while (!stop_) {
            int n;
            {
                std::lock_guard readLock(readMutex_);
                n = ftdi_read_data(ctx_, buffer.data(), static_cast<int>(buffer.size()));
            }
            if (n > 0) {
                queue_.Push(buffer.data(), static_cast<std::size_t>(n));
            } else if (n < 0 && n != LIBUSB_ERROR_TIMEOUT) {
                queue_.Fail();  // unplugged or broken: later calls report FT_IO_ERROR
                return;
            }
            // n == 0: the chip sent only its status bytes (latency timer expired).
        }
    }

    std::shared_mutex useMutex_;  // shared by calls, exclusive for closing
    std::mutex readMutex_;        // the reader's ftdi_read_data against reset
    ftdi_context* ctx_;
    RxQueue queue_;
    std::atomic<bool> stop_{false};
    std::atomic<FT_DWORD> readTimeoutMs_{0};
    std::thread reader_;
};

// ---------------------------------------------------------------------------
// Process-wide state behind the context-free entry points.

struct ListedDevice {
    FT_DWORD location = 0;
    bool descriptionOk = false;
    std::string description;
};

struct Globals {
    std::mutex mutex;
    std::vector<ListedDevice> list;  // from the last FT_CreateDeviceInfoList
    bool listed = false;
    std::map<FT_HANDLE, std::shared_ptr<Ftdi1Device>> open;
};

Globals& G()
{
    static Globals g;
    return g;
}

std::vector<ListedDevice> Enumerate()
{
    std::vector<ListedDevice> out;
    ftdi_context* ctx = ftdi_new();
    if (ctx == nullptr) return out;  // libusb unavailable: no device can be reached
    ftdi_device_list* devices = nullptr;
    if (ftdi_usb_find_all(ctx, &devices, 0, 0) > 0) {  // 0, 0: FTDI's own vendor/product ids
        for (ftdi_device_list* d = devices; d != nullptr; d = d->next) {
            ListedDevice entry;
            entry.location = Location(libusb_get_bus_number(d->dev), libusb_get_device_address(d->dev));
            libusb_device_descriptor descriptor{};
            if (libusb_get_device_descriptor(d->dev, &descriptor) == 0 && descriptor.iProduct == 0) {
                entry.descriptionOk = true;  // no product string: a blank description
            } else {
                // Reading the string opens the device; it fails without access rights.
                char description[kDescriptionSize] = {};
                entry.descriptionOk =
                    ftdi_usb_get_strings(ctx, d->dev, nullptr, 0, description, sizeof description, nullptr, 0) == 0;
                entry.description = description;
            }
            out.push_back(entry);
        }
    }
    ftdi_list_free(&devices);
    ftdi_free(ctx);
    return out;
}

// The listed device at index, listing first if nothing was listed yet.
bool ListedAt(FT_DWORD index, ListedDevice* out)
{
    Globals& g = G();
    std::lock_guard lock(g.mutex);
    if (!g.listed) {
        g.list = Enumerate();
        g.listed = true;
    }
    if (index >= g.list.size()) return false;
    *out = g.list[index];
    return true;
}

std::shared_ptr<Ftdi1Device> Find(FT_HANDLE handle)
{
    Globals& g = G();
    std::lock_guard lock(g.mutex);
    auto it = g.open.find(handle);
    return it == g.open.end() ? nullptr : it->second;
}

template <class F>
FT_STATUS WithDevice(FT_HANDLE handle, F&& f)
{
    std::shared_ptr<Ftdi1Device> device = Find(handle);
    if (device == nullptr) return FT_INVALID_HANDLE;
    return f(*device);
}

template <class F>
FT_STATUS WithContext(FT_HANDLE handle, F&& f)
{
    return WithDevice(handle, [&](Ftdi1Device& d) { return d.Use(f); });
}

FT_STATUS OpenLocation(FT_DWORD location, FT_HANDLE* handle)
{
    if (handle == nullptr) return FT_INVALID_PARAMETER;
    ftdi_context* ctx = ftdi_new();
    if (ctx == nullptr) return FT_DEVICE_NOT_OPENED;
    const int rc = ftdi_usb_open_bus_addr(ctx, static_cast<std::uint8_t>(location >> 8),
                                          static_cast<std::uint8_t>(location & 0xFF));
    if (rc < 0) {
        ftdi_free(ctx);
        return rc == -3 ? FT_DEVICE_NOT_FOUND : FT_DEVICE_NOT_OPENED;
    }
    auto device = std::make_shared<Ftdi1Device>(ctx);
    *handle = device.get();
    Globals& g = G();
    std::lock_guard lock(g.mutex);
    g.open[*handle] = std::move(device);
    return FT_OK;
}

void CloseAll()
{
    std::map<FT_HANDLE, std::shared_ptr<Ftdi1Device>> open;
    {
        Globals& g = G();
        std::lock_guard lock(g.mutex);
        open.swap(g.open);
    }
    for (auto& [handle, device] : open) device->Shutdown();
}

// ---------------------------------------------------------------------------
// The entry points.

FT_STATUS EpCreateDeviceInfoList(FT_DWORD* count)
{
    std::vector<ListedDevice> list = Enumerate();
    if (count != nullptr) *count = static_cast<FT_DWORD>(list.size());
    Globals& g = G();
    std::lock_guard lock(g.mutex);
    g.list = std::move(list);
    g.listed = true;
    return FT_OK;
}

FT_STATUS EpListDevices(void* arg1, void* arg2, FT_DWORD flags)
{
    if ((flags & FT_LIST_NUMBER_ONLY) != 0) {
        if (arg1 == nullptr) return FT_INVALID_PARAMETER;
        return EpCreateDeviceInfoList(static_cast<FT_DWORD*>(arg1));
    }
    if ((flags & FT_LIST_BY_INDEX) == 0) return FT_NOT_SUPPORTED;
    if (arg2 == nullptr) return FT_INVALID_PARAMETER;
    ListedDevice d;
    if (!ListedAt(static_cast<FT_DWORD>(reinterpret_cast<std::uintptr_t>(arg1)), &d)) return FT_DEVICE_NOT_FOUND;
    switch (flags & ~FT_LIST_BY_INDEX) {
        case FT_OPEN_BY_LOCATION:
            *static_cast<FT_DWORD*>(arg2) = d.location;
            return FT_OK;
        case FT_OPEN_BY_DESCRIPTION: {
            if (!d.descriptionOk) return FT_DEVICE_NOT_OPENED;
            auto* out = static_cast<char*>(arg2);
            const std::size_t n = std::min(d.description.size(), kDescriptionSize - 1);
            std::memcpy(out, d.description.data(), n);
            out[n] = '\0';
            return FT_OK;
        }
        default:
            return FT_NOT_SUPPORTED;
    }
}

FT_STATUS EpOpen(int index, FT_HANDLE* handle)
{
    ListedDevice d;
    if (index < 0 || !ListedAt(static_cast<FT_DWORD>(index), &d)) return FT_DEVICE_NOT_FOUND;
    return OpenLocation(d.location, handle);
}

FT_STATUS EpOpenEx(void* arg, FT_DWORD flags, FT_HANDLE* handle)
{
    if (flags == FT_OPEN_BY_LOCATION) {
        return OpenLocation(static_cast<FT_DWORD>(reinterpret_cast<std::uintptr_t>(arg)), handle);
    }
    if (flags == FT_OPEN_BY_DESCRIPTION && arg != nullptr) {
        const std::string wanted(static_cast<const char*>(arg));
        ListedDevice d;
        for (FT_DWORD i = 0; ListedAt(i, &d); ++i) {
            if (d.descriptionOk && d.description == wanted) return OpenLocation(d.location, handle);
        }
        return FT_DEVICE_NOT_FOUND;
    }
    return FT_NOT_SUPPORTED;
}

FT_STATUS EpClose(FT_HANDLE handle)
{
    std::shared_ptr<Ftdi1Device> device;
    {
        Globals& g = G();
        std::lock_guard lock(g.mutex);
        auto it = g.open.find(handle);
        if (it == g.open.end()) return FT_INVALID_HANDLE;
        device = std::move(it->second);
        g.open.erase(it);
    }
    return device->Shutdown();
}

FT_STATUS EpRead(FT_HANDLE handle, void* buffer, FT_DWORD toRead, FT_DWORD* read)
{
    if (read != nullptr) *read = 0;
    return WithDevice(handle, [&](Ftdi1Device& d) { return d.Read(buffer, toRead, read); });
}

FT_STATUS EpWrite(FT_HANDLE handle, void* buffer, FT_DWORD toWrite, FT_DWORD* written)
{
    if (written != nullptr) *written = 0;
    return WithContext(handle, [&](ftdi_context* ctx) {
        const int n = ftdi_write_data(ctx, static_cast<const unsigned char*>(buffer), static_cast<int>(toWrite));
        if (n < 0) return FT_IO_ERROR;
        if (written != nullptr) *written = static_cast<FT_DWORD>(n);
        return FT_OK;
    });
}

FT_STATUS EpGetQueueStatus(FT_HANDLE handle, FT_DWORD* rxBytes)
{
    return WithDevice(handle, [&](Ftdi1Device& d) { return d.QueueStatus(rxBytes); });
}

FT_STATUS EpResetDevice(FT_HANDLE handle)
{
    return WithDevice(handle, [](Ftdi1Device& d) { return d.Reset(); });
}

FT_STATUS EpSetBaudRate(FT_HANDLE handle, FT_DWORD baud)
{
    return WithContext(handle,
                       [&](ftdi_context* ctx) { return Check(ftdi_set_baudrate(ctx, static_cast<int>(baud))); });
}

FT_STATUS EpSetTimeouts(FT_HANDLE handle, FT_DWORD readMs, FT_DWORD writeMs)
{
    return WithDevice(handle, [&](Ftdi1Device& d) {
        d.SetReadTimeout(readMs);
        return d.Use([&](ftdi_context* ctx) {
            ctx->usb_write_timeout = static_cast<int>(writeMs);
            return FT_OK;
        });
    });
}

FT_STATUS EpSetLatencyTimer(FT_HANDLE handle, std::uint8_t ms)
{
    return WithContext(handle, [&](ftdi_context* ctx) { return Check(ftdi_set_latency_timer(ctx, ms)); });
}

FT_STATUS EpCyclePort(FT_HANDLE handle)
{
    // Never used by the program; libftdi1 has no port cycling.
    return WithContext(handle, [](ftdi_context*) { return FT_NOT_SUPPORTED; });
}

FT_STATUS EpSetDataCharacteristics(FT_HANDLE handle, std::uint8_t bits, std::uint8_t stop, std::uint8_t parity)
{
    // The D2XX values map one to one: 7/8 bits; stop 0 = 1, 1 = 1.5, 2 = 2;
    // parity none, odd, even, mark, space.
    if ((bits != 7 && bits != 8) || stop > 2 || parity > 4) return FT_INVALID_PARAMETER;
    return WithContext(handle, [&](ftdi_context* ctx) {
        return Check(ftdi_set_line_property(ctx, static_cast<ftdi_bits_type>(bits),
                                            static_cast<ftdi_stopbits_type>(stop),
                                            static_cast<ftdi_parity_type>(parity)));
    });
}

FT_STATUS EpGetModemStatus(FT_HANDLE handle, FT_DWORD* status)
{
    return WithContext(handle, [&](ftdi_context* ctx) {
        unsigned short value = 0;  // modem status in the low byte (CTS = 0x10), line status above
        const int rc = ftdi_poll_modem_status(ctx, &value);
        if (status != nullptr) *status = value;
        return Check(rc);
    });
}

FT_STATUS EpSetFlowControl(FT_HANDLE handle, std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff)
{
    return WithContext(handle, [&](ftdi_context* ctx) {
        switch (mode) {
            case FT_FLOW_NONE:
                return Check(ftdi_setflowctrl(ctx, SIO_DISABLE_FLOW_CTRL));
            case FT_FLOW_RTS_CTS:
                return Check(ftdi_setflowctrl(ctx, SIO_RTS_CTS_HS));
            case FT_FLOW_DTR_DSR:
                return Check(ftdi_setflowctrl(ctx, SIO_DTR_DSR_HS));
            case FT_FLOW_XON_XOFF:
                return Check(ftdi_setflowctrl_xonxoff(ctx, xon, xoff));
            default:
                return FT_INVALID_PARAMETER;
        }
    });
}

FT_STATUS EpSetRts(FT_HANDLE handle)
{
    return WithContext(handle, [](ftdi_context* ctx) { return Check(ftdi_setrts(ctx, 1)); });
}

FT_STATUS EpSetChars(FT_HANDLE handle, std::uint8_t eventChar, std::uint8_t eventEnable, std::uint8_t errorChar,
                     std::uint8_t errorEnable)
{
    return WithContext(handle, [&](ftdi_context* ctx) {
        const int a = ftdi_set_event_char(ctx, eventChar, eventEnable);
        const int b = ftdi_set_error_char(ctx, errorChar, errorEnable);
        return Check(a < 0 ? a : b);
    });
}

FT_STATUS EpSetEventNotification(FT_HANDLE handle, FT_DWORD mask, void* param)
{
    return WithDevice(handle, [&](Ftdi1Device& d) {
        auto* event = (mask & FT_EVENT_RXCHAR) != 0 ? static_cast<ManualResetEvent*>(param) : nullptr;
        d.Queue().SetNotification(event);
        if (event != nullptr && d.Queue().Size() > 0) event->Set();
        return FT_OK;
    });
}

FT_STATUS EpGetChipId(FT_HANDLE handle, std::uint32_t* chipId)
{
    if (chipId == nullptr) return FT_INVALID_PARAMETER;
    return WithContext(handle, [&](ftdi_context* ctx) {
        *chipId = kFtdi1NoChipId;
        if (ctx->type != TYPE_R) return FT_OK;  // only R-series chips carry an ID
        unsigned int id = 0;
        if (ftdi_read_chipid(ctx, &id) < 0) return FT_IO_ERROR;
        *chipId = id;
        return FT_OK;
    });
}

struct Export {
    const char* library;
    const char* name;
    void* entry;
};

template <class Fn>
void* Entry(Fn fn)
{
    return reinterpret_cast<void*>(fn);
}

const std::vector<Export>& Exports()
{
    static const std::vector<Export> exports = {
        {"ftd2xx", "FT_Open", Entry<FT_Open_t>(EpOpen)},
        {"ftd2xx", "FT_Close", Entry<FT_Close_t>(EpClose)},
        {"ftd2xx", "FT_Read", Entry<FT_Read_t>(EpRead)},
        {"ftd2xx", "FT_Write", Entry<FT_Write_t>(EpWrite)},
        {"ftd2xx", "FT_GetQueueStatus", Entry<FT_GetQueueStatus_t>(EpGetQueueStatus)},
        {"ftd2xx", "FT_ResetDevice", Entry<FT_ResetDevice_t>(EpResetDevice)},
        {"ftd2xx", "FT_SetBaudRate", Entry<FT_SetBaudRate_t>(EpSetBaudRate)},
        {"ftd2xx", "FT_SetTimeouts", Entry<FT_SetTimeouts_t>(EpSetTimeouts)},
        {"ftd2xx", "FT_SetLatencyTimer", Entry<FT_SetLatencyTimer_t>(EpSetLatencyTimer)},
        {"ftd2xx", "FT_ListDevices", Entry<FT_ListDevices_t>(EpListDevices)},
        {"ftd2xx", "FT_OpenEx", Entry<FT_OpenEx_t>(EpOpenEx)},
        {"ftd2xx", "FT_CreateDeviceInfoList", Entry<FT_CreateDeviceInfoList_t>(EpCreateDeviceInfoList)},
        {"ftd2xx", "FT_CyclePort", Entry<FT_CyclePort_t>(EpCyclePort)},
        {"ftd2xx", "FT_SetDataCharacteristics", Entry<FT_SetDataCharacteristics_t>(EpSetDataCharacteristics)},
        {"ftd2xx", "FT_GetModemStatus", Entry<FT_GetModemStatus_t>(EpGetModemStatus)},
        {"ftd2xx", "FT_SetFlowControl", Entry<FT_SetFlowControl_t>(EpSetFlowControl)},
        {"ftd2xx", "FT_SetRts", Entry<FT_SetRts_t>(EpSetRts)},
        {"ftd2xx", "FT_SetChars", Entry<FT_SetChars_t>(EpSetChars)},
        {"ftd2xx", "FT_SetEventNotification", Entry<FT_SetEventNotification_t>(EpSetEventNotification)},
        {"ftchipid", "FTID_GetChipIDFromHandle", Entry<FTID_GetChipIDFromHandle_t>(EpGetChipId)},
    };
    return exports;
}

// ---------------------------------------------------------------------------

class Ftdi1Provider;
std::atomic<Ftdi1Provider*> g_current{nullptr};

class Ftdi1Provider : public DeviceProvider {
public:
    Ftdi1Provider() { g_current = this; }
    ~Ftdi1Provider() override
    {
        Ftdi1Provider* self = this;
        if (g_current.compare_exchange_strong(self, nullptr)) CloseAll();
    }

    bool Load(std::string_view library) override
    {
        if (library != "ftd2xx" && library != "ftchipid") return false;
        loaded_.insert(std::string(library));
        return true;
    }

    void Unload(std::string_view library) override { loaded_.erase(std::string(library)); }

    void* Resolve(std::string_view library, std::string_view symbol) override
    {
        if (loaded_.count(std::string(library)) == 0) return nullptr;
        for (const Export& e : Exports()) {
            if (library == e.library && symbol == e.name) return e.entry;
        }
        return nullptr;
    }

private:
    std::set<std::string> loaded_;
};

}  // namespace

std::unique_ptr<DeviceProvider> MakeFtdi1Provider()
{
    return std::make_unique<Ftdi1Provider>();
}

}  // namespace kr40
