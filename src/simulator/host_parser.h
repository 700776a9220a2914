#pragma once
// The instrument's reading of the host's bytes: a 0xFA lead byte starts a
// nibble-coded packet (length, block count, blocks, checksum); after the FPGA
// start command the nibble pairs that follow without a lead byte are the
// configuration image.

#include <array>
#include <cstdint>
#include <vector>

#include "device/packets.h"

namespace kr40::sim {

class HostParser {
public:
    struct Events {
        virtual ~Events() = default;
        virtual void OnBlock(std::uint16_t address, const std::uint8_t* data, std::size_t n) = 0;
        virtual void OnPacket() = 0;                   // a packet with a good checksum, after its blocks
        virtual void OnBadPacket() = 0;                // checksum or length wrong: nothing written
        virtual void OnImageComplete(bool valid) = 0;  // the full image arrived; valid = it starts with the sync word
    };

    void Feed(const std::uint8_t* data, std::size_t n, Events& events);
    bool Configuring() const { return configuring_; }
    std::size_t ImageBytes() const { return imageBytes_; }

    static constexpr std::size_t ImageSize = 102016;

private:
    void Finish(Events& events);

    std::vector<std::uint8_t> wire_;
    std::size_t expected_ = 0;
    bool inPacket_ = false;
    bool configuring_ = false;
    bool imageValid_ = true;
    std::size_t imageNibbles_ = 0, imageBytes_ = 0;
    std::uint8_t lowNibble_ = 0;
};

}  // namespace kr40::sim
