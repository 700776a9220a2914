// Receiver throughput over a realistic stream: main packets of 10000-sample
// four-channel frames with a service packet between every two of them.

#include <benchmark/benchmark.h>

#include <random>

#include "device/link_state.h"
#include "device/receiver.h"

namespace {

struct CountingHandler : kr40::PacketHandler {
    std::size_t services = 0, mains = 0;
    void OnService(std::span<const std::uint8_t, kr40::ServiceLength>) override { ++services; }
    void OnMain(std::uint8_t, std::span<const std::uint8_t>, std::span<const std::uint8_t, kr40::StatusLength>) override
    {
        ++mains;
    }
};

std::vector<std::uint8_t> Stream()
{
    std::mt19937 rng(1);
    kr40::PacketReceiver shape;
    shape.SetFrameShape(10000, false);
    const std::uint8_t type = 0x8F;
    std::vector<std::uint8_t> payload(shape.PayloadLength(type));
    std::array<std::uint8_t, kr40::StatusLength> status{};
    std::array<std::uint8_t, kr40::ServiceLength> service{};
    service[1] = 1;
    std::vector<std::uint8_t> stream;
    for (int f = 0; f < 8; ++f) {
        for (auto& b : payload) b = static_cast<std::uint8_t>(rng() % 255);  // never the mark
        for (auto& b : status) b = static_cast<std::uint8_t>(rng());
        const auto main = kr40::EncodeMainPacket(type, payload, status);
        stream.insert(stream.end(), main.begin(), main.end());
        if (f % 2 == 1) {
            const auto svc = kr40::EncodeServicePacket(service);
            stream.insert(stream.end(), svc.begin(), svc.end());
        }
    }
    return stream;
}

void BM_ReceiverThroughput(benchmark::State& state)
{
    const std::vector<std::uint8_t> stream = Stream();
    kr40::PacketReceiver rx;
    rx.SetFrameShape(10000, false);
    kr40::LinkCounters counters;
    CountingHandler h;
    for (auto _ : state) {
        // Reads of up to 65000 bytes, as the driver hands them over.
        for (std::size_t at = 0; at < stream.size(); at += 65000)
            rx.Feed(stream.data() + at, std::min<std::size_t>(65000, stream.size() - at), h, counters);
    }
    benchmark::DoNotOptimize(h.mains);
    state.counters["frames_per_pass"] = static_cast<double>(h.mains) / static_cast<double>(state.iterations());
    state.counters["checksum_failures"] = counters.current[kr40::StatChecksumFailures].load();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_ReceiverThroughput);

}  // namespace
