#include "app/provider_select.h"

#include <cstdlib>

#include "device/provider_d2xx.h"
#include "simulator/sim_provider.h"
#ifdef KR40_HAVE_LIBFTDI1
#include "device/ftdi1/provider_ftdi1.h"
#endif

namespace kr40 {

std::unique_ptr<DeviceProvider> MakeProvider(std::string_view name)
{
    if (name == "d2xx") return MakeD2xxProvider();
    if (name == "sim") return std::make_unique<sim::SimProvider>();
#ifdef KR40_HAVE_LIBFTDI1
    if (name == "ftdi") return MakeFtdi1Provider();
#endif
    return nullptr;
}

std::string DefaultProviderName()
{
#ifdef KR40_HAVE_LIBFTDI1
    return "ftdi";
#else
    return "d2xx";
#endif
}

std::string ProviderNameFromArgs(int argc, char** argv)
{
    constexpr std::string_view kDriver = "--driver=";
    std::string chosen;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i] != nullptr ? argv[i] : "";
        if (arg == "--simulate") {
            chosen = "sim";
        } else if (arg.substr(0, kDriver.size()) == kDriver) {
            chosen = std::string(arg.substr(kDriver.size()));
        }
    }
    if (!chosen.empty()) return chosen;
    if (const char* env = std::getenv("KR40_DRIVER"); env != nullptr && *env != '\0') return env;
    return DefaultProviderName();
}

}  // namespace kr40
