#pragma once
// The simulated instrument for its tests: registers as a settings packet
// writes them, and one main packet from its wire bytes through the program's
// receiver and frame decoder.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "acquisition/frame.h"
#include "device/link_state.h"
#include "device/packets.h"
#include "device/receiver.h"
#include "simulator/sim_registers.h"

namespace kr40::test {

// The generator's phase increment for a frequency in hertz.
inline std::uint64_t PhaseIncHz(double hz)
{
    return static_cast<std::uint64_t>(hz * 10 * 281474.976710656 + 0.5);
}

// The register page after the settings packet of `a`.
inline sim::SimRegisters RegistersOf(const AcqConfig& a)
{
    sim::SimRegisters r;
    sim::ApplyBlocks(r, SettingsBlocks(a, {}));
    return r;
}

struct Captured : PacketHandler {
    int mains = 0;
    std::uint8_t type = 0;
    std::vector<std::uint8_t> payload;
    std::array<std::uint8_t, StatusLength> status{};

    void OnService(std::span<const std::uint8_t, ServiceLength>) override {}
    void OnMain(std::uint8_t t, std::span<const std::uint8_t> p, std::span<const std::uint8_t, StatusLength> s) override
    {
        ++mains;
        type = t;
        payload.assign(p.begin(), p.end());
        std::copy(s.begin(), s.end(), status.begin());
    }
};

// Feeds wire bytes to a receiver shaped for `smplN`/`pairMode` and decodes
// the one main packet they must hold.
struct Decoded {
    Captured got;
    std::unique_ptr<FrameSet> frame = std::make_unique<FrameSet>();
    DecodeResult result = DecodeResult::Malformed;
};

inline void Receive(const std::vector<std::uint8_t>& wire, const DecodeContext& ctx, bool pairMode, Decoded& out)
{
    auto rx = std::make_unique<PacketReceiver>();
    rx->SetFrameShape(ctx.acq->Smpl_N, pairMode);
    LinkCounters counters;
    out.got = Captured{};
    rx->Feed(wire.data(), wire.size(), out.got, counters);
    ASSERT_EQ(out.got.mains, 1);
    EXPECT_EQ(counters.current[StatChecksumFailures], 0u);
    EXPECT_EQ(counters.current[StatLeakageBytes], 0u);
    EXPECT_EQ(out.got.payload.size(), rx->PayloadLength(out.got.type));
    RecorderStream rec;
    out.result = DecodeFrame(out.got.type, out.got.payload, out.got.status, ctx, *out.frame, rec);
}

}  // namespace kr40::test
