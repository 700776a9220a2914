#pragma once
// The simulated instrument behind the same entry points as the USB bridge
// library: a device list (by default one "Digital Oscilloscope KR40"), open
// by location, the port set-up calls, and reads, writes, queue status and
// receive notification that talk to a VirtualInstrument. Nothing in the
// program's link code knows it is simulated.

#include <memory>
#include <string>
#include <vector>

#include "device/ftdi_transport.h"
#include "simulator/virtual_instrument.h"

namespace kr40::sim {

struct SimDevice {
    std::string description;
    std::uint32_t location;
    bool instrument;  // false: a foreign cable or the older instrument, which answers nothing
};

struct SimProviderOptions {
    std::vector<SimDevice> devices{{"Digital Oscilloscope KR40", 0x2101, true}};
    bool cts = true;
    InstrumentOptions instrument;  // the calibrations' wiring: WireOpenInputs(instrument) etc.
};

class SimProvider : public DeviceProvider {
public:
    explicit SimProvider(SimProviderOptions options = {});
    ~SimProvider() override;

    bool Load(std::string_view library) override;
    void Unload(std::string_view) override {}
    void* Resolve(std::string_view library, std::string_view symbol) override;

    // The virtual instrument (for faults and inspection in tests).
    VirtualInstrument& Instrument() { return *instrument_; }
    const SimProviderOptions& Options() const { return options_; }

private:
    SimProviderOptions options_;
    std::unique_ptr<VirtualInstrument> instrument_;
};

// The instrument of the simulated provider in use, or nullptr.
VirtualInstrument* CurrentSimInstrument();

}  // namespace kr40::sim
