#pragma once
// The receiver: a byte-at-a-time state machine over the instrument's stream.
// A packet starts at 0xFF; the type byte says service packet (0x5A) or main
// packet (bit 7 set, bits 0-3 the channels of the payload). The state, the
// counts, the checksum and the partial buffers persist between calls, so a
// packet may span any number of reads.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/packets.h"

namespace kr40 {

struct LinkCounters;

class PacketHandler {
public:
    virtual ~PacketHandler() = default;
    // A service packet whose checksum and raw-byte test passed (51 decoded bytes).
    virtual void OnService(std::span<const std::uint8_t, ServiceLength> decoded) = 0;
    // A main packet whose checksum passed (status decoded to 128 bytes).
    virtual void OnMain(std::uint8_t type, std::span<const std::uint8_t> payload,
                        std::span<const std::uint8_t, StatusLength> status) = 0;
};

class PacketReceiver {
public:
    // Samples per frame and pair mode of the settings in force: they give the
    // payload length of a main packet.
    void SetFrameShape(int smplN, bool pairMode);
    // Payload bytes of a main packet of this type under the current shape.
    std::size_t PayloadLength(std::uint8_t type) const;

    void Feed(const std::uint8_t* data, std::size_t n, PacketHandler& handler, LinkCounters& counters);

    // Largest payload: 20000 samples of two analog and two digital channels.
    static constexpr std::size_t MaxPayload = 2 * 20000 + 2 * (20000 / 4);

private:
    enum class State { None, AfterMark, Service, Payload, Status };

    void Abort(LinkCounters& counters);
    // Stores bytes of the current part up to its size or the next mark and
    // adds them to the checksum; returns how many were taken.
    std::size_t Collect(std::uint8_t* buffer, std::size_t size, const std::uint8_t* data, std::size_t n);

    State state_ = State::None;
    std::uint8_t checksum_ = 0;
    std::uint8_t type_ = 0;
    std::size_t count_ = 0;  // bytes stored in the current state
    std::size_t payloadLen_ = 0;
    int smplN_ = 5000;
    bool pair_ = false;
    std::array<std::uint8_t, ServiceRawLength> service_{};
    std::array<std::uint8_t, StatusRawLength> status_{};
    std::array<std::uint8_t, MaxPayload> payload_{};
};

}  // namespace kr40
