#include "app/provider_select.h"

#include "device/provider_d2xx.h"
#include "simulator/instrument_truth.h"
#include "simulator/sim_provider.h"
#ifdef KR40_HAVE_LIBFTDI1
#include "device/ftdi1/provider_ftdi1.h"
#endif

namespace kr40 {

bool SimInputsKnown(std::string_view simInputs)
{
    return simInputs.empty() || simInputs == "demo" || simInputs == "open" || simInputs == "generator";
}

std::unique_ptr<DeviceProvider> MakeProvider(std::string_view name, std::string_view simInputs)
{
    if (name == "d2xx") return MakeD2xxProvider();
    if (name == "sim") {
        // Paced like the cable, so that --simulate shows what the instrument
        // does; simulators built directly (tests, benchmarks) are unthrottled.
        sim::SimProviderOptions o;
        o.instrument.bytesPerSecond = sim::LinkBytesPerSecond;
        if (simInputs == "open") sim::WireOpenInputs(o.instrument);
        if (simInputs == "generator") sim::WireGeneratorToDigital(o.instrument);
        return std::make_unique<sim::SimProvider>(std::move(o));
    }
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

bool ProviderBuiltIn(std::string_view name)
{
#ifdef KR40_HAVE_LIBFTDI1
    if (name == "ftdi") return true;
#endif
    return name == "d2xx" || name == "sim";
}

}  // namespace kr40
