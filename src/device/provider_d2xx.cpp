#include "device/provider_d2xx.h"

#include <map>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <thread>
#endif

namespace kr40 {
namespace {

const char* LibraryFile(std::string_view library)
{
#ifdef _WIN32
    if (library == "lin_ftd2xx") return "lin_ftd2xx.dll";
    if (library == "ftd2xx") return "ftd2xx.dll";
    if (library == "ftchipid") return "ftchipid.dll";
#else
    if (library == "ftd2xx") return "libftd2xx.so";
    if (library == "ftchipid") return "libftchipid.so";
#endif
    return nullptr;
}

#ifndef _WIN32
// The Linux library's FT_SetEventNotification takes its own event structure
// (condition, mutex, int) in place of a Windows event, and signals the
// condition when bytes arrive. Resolving that entry point yields a shim with
// our signature: it hands the library one process-wide structure, and a
// waiter thread turns every signal into Set() of our ManualResetEvent. The
// structure and the thread live as long as the process, like the library.

struct VendorEventHandle {
    pthread_cond_t eCondVar;
    pthread_mutex_t eMutex;
    int iVar;
};

struct EventForwarder {
    VendorEventHandle vendor{};
    std::atomic<ManualResetEvent*> target{nullptr};

    EventForwarder()
    {
        pthread_mutex_init(&vendor.eMutex, nullptr);
        pthread_cond_init(&vendor.eCondVar, nullptr);
        std::thread([this] { Run(); }).detach();
    }

    // Holds the mutex except while waiting, so the library (which signals
    // under the mutex) cannot signal while a notification is being passed on.
    // A spurious wake-up only costs the acquisition thread one look at the queue.
    [[noreturn]] void Run()
    {
        pthread_mutex_lock(&vendor.eMutex);
        for (;;) {
            pthread_cond_wait(&vendor.eCondVar, &vendor.eMutex);
            if (ManualResetEvent* e = target.load()) e->Set();
        }
    }
};

EventForwarder& Forwarder()
{
    static EventForwarder* forwarder = new EventForwarder;  // never destroyed: the waiter runs until exit
    return *forwarder;
}

std::atomic<FT_SetEventNotification_t> g_vendorSetEventNotification{nullptr};

FT_STATUS ForwardingSetEventNotification(FT_HANDLE handle, FT_DWORD mask, void* param)
{
    FT_SetEventNotification_t vendor = g_vendorSetEventNotification.load();
    if (vendor == nullptr) return FT_INVALID_HANDLE;
    EventForwarder& forwarder = Forwarder();
    auto* event = static_cast<ManualResetEvent*>(param);
    forwarder.target = event;
    FT_STATUS status = vendor(handle, mask, &forwarder.vendor);
    // Bytes may have arrived before the waiter first waited.
    if (event != nullptr) event->Set();
    return status;
}
#endif

class D2xxProvider : public DeviceProvider {
public:
    // Loaded libraries stay loaded until the process ends: resolved entry
    // points and the library's own threads outlive this object.
    ~D2xxProvider() override = default;

    bool Load(std::string_view library) override
    {
        const std::string key(library);
        if (modules_.count(key) != 0) return true;
        const char* file = LibraryFile(library);
        if (file == nullptr) return false;
#ifdef _WIN32
        void* module = reinterpret_cast<void*>(LoadLibraryA(file));
#else
        void* module = dlopen(file, RTLD_NOW | RTLD_LOCAL);
#endif
        if (module == nullptr) return false;
        modules_[key] = module;
        return true;
    }

    void Unload(std::string_view library) override
    {
        auto it = modules_.find(std::string(library));
        if (it == modules_.end()) return;
#ifdef _WIN32
        FreeLibrary(reinterpret_cast<HMODULE>(it->second));
#else
        dlclose(it->second);
#endif
        modules_.erase(it);
    }

    void* Resolve(std::string_view library, std::string_view symbol) override
    {
        auto it = modules_.find(std::string(library));
        if (it == modules_.end()) return nullptr;
        const std::string name(symbol);
#ifdef _WIN32
        return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(it->second), name.c_str()));
#else
        void* p = dlsym(it->second, name.c_str());
        if (p != nullptr && library == "ftd2xx" && symbol == "FT_SetEventNotification") {
            g_vendorSetEventNotification = reinterpret_cast<FT_SetEventNotification_t>(p);
            return reinterpret_cast<void*>(&ForwardingSetEventNotification);
        }
        return p;
#endif
    }

private:
    std::map<std::string, void*> modules_;
};

}  // namespace

std::unique_ptr<DeviceProvider> MakeD2xxProvider()
{
    return std::make_unique<D2xxProvider>();
}

}  // namespace kr40
