#pragma once
// A minimal instrument behind the byte-stream interface, for the link tests:
// it parses the host's packets, writes their blocks into its memory, answers
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
#include "simulator/host_parser.h"

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
        Take(static_cast<const std::uint8_t*>(buffer), n);
        *written = n;
        return FT_OK;
    }

private:
    struct Events : sim::HostParser::Events {
        DeviceStub& d;
        explicit Events(DeviceStub& s) : d(s) {}
        void OnBlock(std::uint16_t address, const std::uint8_t* data, std::size_t n) override
        {
            for (std::size_t i = 0; i < n; ++i) d.memory[static_cast<std::uint16_t>(address + i)] = data[i];
        }
        void OnPacket() override
        {
            ++d.packets;
            if (d.acknowledge) d.QueueService(4);
        }
        void OnBadPacket() override { ++d.badPackets; }
        void OnImageComplete(bool valid) override
        {
            if (valid && d.answerReady) d.QueueService(3);
        }
    };
    void Take(const std::uint8_t* p, std::size_t n)
    {
        Events e(*this);
        parser_.Feed(p, n, e);
        imageBytes = parser_.ImageBytes();
    }

    // The test thread queues while the acquisition thread reads and writes.
    mutable std::recursive_mutex mutex_;
    sim::HostParser parser_;
};

}  // namespace kr40::test
