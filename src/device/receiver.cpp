#include "device/receiver.h"

#include <algorithm>
#include <cstring>

#include "device/link_state.h"

namespace kr40 {

namespace {

// Bytes from `p` up to (not including) the next packet mark, at most `limit`.
std::size_t RunLength(const std::uint8_t* p, std::size_t limit)
{
    const void* mark = std::memchr(p, PacketMark, limit);
    return mark ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(mark) - p) : limit;
}

std::uint8_t XorOf(const std::uint8_t* p, std::size_t n, std::uint8_t sum)
{
    for (std::size_t i = 0; i < n; ++i) sum ^= p[i];
    return sum;
}

std::uint8_t Final(std::uint8_t sum)
{
    return sum == 0xFF ? 0xFE : sum;
}

}  // namespace

void PacketReceiver::SetFrameShape(int smplN, bool pairMode)
{
    smplN_ = std::clamp(smplN, 0, 20000);
    pair_ = pairMode;
}

std::size_t PacketReceiver::PayloadLength(std::uint8_t type) const
{
    const std::size_t n = static_cast<std::size_t>(smplN_);
    std::size_t len = 0;
    if (type & 0x01) len += n;
    if (type & 0x02) len += n;
    if (type & 0x04) len += n / 4;
    if (type & 0x08) len += n / 4;
    return pair_ ? len / 2 : len;
}

std::size_t PacketReceiver::Collect(std::uint8_t* buffer, std::size_t size, const std::uint8_t* data, std::size_t n)
{
    const std::size_t k = RunLength(data, std::min(n, size - count_));
    std::memcpy(buffer + count_, data, k);
    checksum_ = XorOf(data, k, checksum_);
    count_ += k;
    return k;
}

void PacketReceiver::Abort(LinkCounters& counters)
{
    std::size_t lost = 1;
    if (state_ == State::Service) lost += count_;
    if (state_ == State::Payload) lost += count_;
    if (state_ == State::Status) lost += payloadLen_ + count_;
    counters.current[StatLeakageBytes] += static_cast<std::uint32_t>(lost);
}

void PacketReceiver::Feed(const std::uint8_t* data, std::size_t n, PacketHandler& handler, LinkCounters& counters)
{
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t b = data[i];
        if (b == PacketMark) {
            if (state_ != State::None) Abort(counters);
            state_ = State::AfterMark;
            count_ = 0;
            checksum_ = 0;
            ++i;
            continue;
        }
        switch (state_) {
            case State::None: {
                const std::size_t run = RunLength(data + i, n - i);
                counters.current[StatLeakageBytes] += static_cast<std::uint32_t>(run);
                i += run;
                break;
            }
            case State::AfterMark:
                checksum_ ^= b;
                type_ = b;
                ++i;
                if (b >= 0x80) {
                    payloadLen_ = PayloadLength(b);
                    state_ = payloadLen_ == 0 ? State::Status : State::Payload;
                } else if (b == ServiceType) {
                    state_ = State::Service;
                } else {
                    state_ = State::None;
                }
                break;
            case State::Service:
                if (count_ < service_.size()) {
                    i += Collect(service_.data(), service_.size(), data + i, n - i);
                } else {
                    state_ = State::None;
                    ++i;
                    // The kind (decoded byte 1) must be a nibble pair 0..5.
                    if (b != Final(checksum_) || service_[2] > 5 || service_[3] != 0) {
                        ++counters.current[StatChecksumFailures];
                    } else {
                        std::array<std::uint8_t, ServiceLength> decoded;
                        NibbleDecode(service_, decoded.data());
                        handler.OnService(decoded);
                    }
                }
                break;
            case State::Payload: {
                i += Collect(payload_.data(), payloadLen_, data + i, n - i);
                if (count_ == payloadLen_) {
                    state_ = State::Status;
                    count_ = 0;
                }
                break;
            }
            case State::Status:
                if (count_ < status_.size()) {
                    i += Collect(status_.data(), status_.size(), data + i, n - i);
                } else {
                    state_ = State::None;
                    ++i;
                    if (b != Final(checksum_)) {
                        ++counters.current[StatChecksumFailures];
                    } else {
                        std::array<std::uint8_t, StatusLength> decoded;
                        NibbleDecode(status_, decoded.data());
                        handler.OnMain(type_, std::span<const std::uint8_t>(payload_.data(), payloadLen_), decoded);
                    }
                }
                break;
        }
    }
}

}  // namespace kr40
