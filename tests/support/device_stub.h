#pragma once
// A minimal instrument behind the byte-stream interface: it parses the host's
// 0xFA-led nibble-coded packets, writes their blocks into its memory, answers
// each good packet with an acknowledgement, reports ready once the FPGA image
// has arrived, and hands back whatever the test queues for reading.

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "device/ftdi_api.h"
#include "device/packets.h"

namespace kr40::test {

class DeviceStub : public FtLink {
public:
    std::array<std::uint8_t, 0x10000> memory{};
    int packets = 0, badPackets = 0;
    bool acknowledge = true;
    bool answerReady = true;
    std::size_t imageBytes = 0;  // FPGA image bytes received (after decoding)
    std::uint8_t firmware = 213;
    std::deque<std::uint8_t> toHost;
    FT_STATUS writeStatus = FT_OK;

    void QueueService(std::uint8_t kind, std::uint8_t byte2 = 0xA5)
    {
        std::array<std::uint8_t, ServiceLength> d{};
        d[0] = firmware;
        d[1] = kind;
        d[2] = byte2;
        d[3] = 7;                    // FPGA version
        d[48] = 0x10, d[49] = 0x03;  // supply code 784 -> 505 (5.05 V)
        d[25] = d[26] = d[27] = d[28] = 20;
        Queue(EncodeServicePacket(d));
    }
    void Queue(const std::vector<std::uint8_t>& bytes)
    {
        std::lock_guard lock(mutex_);
        toHost.insert(toHost.end(), bytes.begin(), bytes.end());
    }
    std::size_t Waiting() const
    {
        std::lock_guard lock(mutex_);
        return toHost.size();
    }

    FT_STATUS Read(void* buffer, FT_DWORD toRead, FT_DWORD* read) override
    {
        std::lock_guard lock(mutex_);
        const std::size_t n = std::min<std::size_t>(toRead, toHost.size());
        std::copy_n(toHost.begin(), n, static_cast<std::uint8_t*>(buffer));
        toHost.erase(toHost.begin(), toHost.begin() + static_cast<std::ptrdiff_t>(n));
        *read = static_cast<FT_DWORD>(n);
        return FT_OK;
    }
    FT_STATUS GetQueueStatus(FT_DWORD* rx) override
    {
        std::lock_guard lock(mutex_);
        *rx = static_cast<FT_DWORD>(toHost.size());
        return FT_OK;
    }
    FT_STATUS Write(const void* buffer, FT_DWORD n, FT_DWORD* written) override
    {
        std::lock_guard lock(mutex_);
        if (writeStatus != FT_OK) return writeStatus;
        const auto* p = static_cast<const std::uint8_t*>(buffer);
        for (FT_DWORD i = 0; i < n; ++i) Take(p[i]);
        *written = n;
        return FT_OK;
    }

private:
    void Take(std::uint8_t b)
    {
        if (b == LeadByte) {
            wire_.clear();
            inPacket_ = true;
            return;
        }
        if (!inPacket_) {
            // After the start command, nibble pairs are the configuration image.
            if (configuring_ && (++imageNibbles_ % 2 == 0)) {
                ++imageBytes;
                if (imageBytes == kImageSize && answerReady) QueueService(3);
            }
            return;
        }
        wire_.push_back(b);
        if (wire_.size() == 2) expected_ = 2 * (std::size_t(wire_[0] | wire_[1] << 4) + 1);
        if (wire_.size() >= 2 && wire_.size() == expected_) Finish();
    }
    void Finish()
    {
        inPacket_ = false;
        std::vector<std::uint8_t> p(wire_.size() / 2);
        NibbleDecode(wire_, p.data());
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i + 1 < p.size(); ++i) sum ^= p[i];
        if (sum != p.back() || p[0] + 1u != p.size()) {
            ++badPackets;
            return;
        }
        ++packets;
        std::size_t at = 2;
        for (int blk = 0; blk < p[1] && at + 3 <= p[0]; ++blk) {
            const std::size_t n = p[at];
            const std::uint16_t addr = static_cast<std::uint16_t>(p[at + 1] << 8 | p[at + 2]);
            for (std::size_t i = 0; i < n && at + 3 + i < p[0]; ++i)
                memory[static_cast<std::uint16_t>(addr + i)] = p[at + 3 + i];
            at += 3 + n;
        }
        if (memory[0x81AA] == 0x55) {
            memory[0x81AA] = 0;
            configuring_ = true;
            imageNibbles_ = 0;
            imageBytes = 0;
        }
        if (acknowledge) QueueService(4);
    }

    static constexpr std::size_t kImageSize = 102016;
    // The test thread queues while the acquisition thread reads and writes.
    mutable std::recursive_mutex mutex_;
    std::vector<std::uint8_t> wire_;
    std::size_t expected_ = 0;
    bool inPacket_ = false;
    bool configuring_ = false;
    std::size_t imageNibbles_ = 0;
};

}  // namespace kr40::test
