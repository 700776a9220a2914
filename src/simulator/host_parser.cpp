#include "simulator/host_parser.h"

namespace kr40::sim {

namespace {
constexpr std::array<std::uint8_t, 8> kSync = {0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0x99, 0x55, 0x66};
constexpr std::uint16_t kFpgaControl = 0x81AA;
constexpr std::uint8_t kFpgaStart = 0x55;
}  // namespace

void HostParser::Feed(const std::uint8_t* data, std::size_t n, Events& events)
{
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = data[i];
        if (b == LeadByte) {
            configuring_ = false;  // a packet ends an unfinished image
            wire_.clear();
            inPacket_ = true;
            continue;
        }
        if (!inPacket_) {
            if (!configuring_) continue;  // stray byte
            if (imageNibbles_++ % 2 == 0) {
                lowNibble_ = b & 0x0F;
                continue;
            }
            const std::uint8_t value = static_cast<std::uint8_t>(b << 4 | lowNibble_);
            if (imageBytes_ < kSync.size() && value != kSync[imageBytes_]) imageValid_ = false;
            if (++imageBytes_ == ImageSize) {
                configuring_ = false;
                events.OnImageComplete(imageValid_);
            }
            continue;
        }
        if (b > 0x0F) {  // not a nibble: the packet is broken
            inPacket_ = false;
            events.OnBadPacket();
            continue;
        }
        wire_.push_back(b);
        if (wire_.size() == 2) expected_ = 2 * (static_cast<std::size_t>(wire_[0] | wire_[1] << 4) + 1);
        if (wire_.size() >= 2 && wire_.size() == expected_) Finish(events);
    }
}

void HostParser::Finish(Events& events)
{
    inPacket_ = false;
    std::vector<std::uint8_t> p(wire_.size() / 2);
    NibbleDecode(wire_, p.data());
    const std::size_t len = p[0];  // offset of the checksum byte
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < len; ++i) sum ^= p[i];
    // Walk the blocks once to check they fit before writing any of them.
    std::size_t at = 2;
    bool fits = len >= 2;
    for (int blk = 0; fits && blk < p[1]; ++blk) {
        fits = at + 3 <= len && at + 3 + p[at] <= len;
        if (fits) at += 3 + p[at];
    }
    if (sum != p[len] || !fits || at != len) {
        events.OnBadPacket();
        return;
    }
    bool start = false;
    at = 2;
    for (int blk = 0; blk < p[1]; ++blk) {
        const std::size_t n = p[at];
        const std::uint16_t addr = static_cast<std::uint16_t>(p[at + 1] << 8 | p[at + 2]);
        events.OnBlock(addr, &p[at + 3], n);
        if (addr <= kFpgaControl && kFpgaControl < addr + n && p[at + 3 + (kFpgaControl - addr)] == kFpgaStart)
            start = true;
        at += 3 + n;
    }
    events.OnPacket();
    if (start) {
        configuring_ = true;
        imageValid_ = true;
        imageNibbles_ = imageBytes_ = 0;
    }
}

}  // namespace kr40::sim
