#pragma once
// The instrument side of the acquisition thread: sends the settings packet,
// the generator table and the FPGA image with their acknowledgements, reads
// the stream and processes service and main packets.

#include <functional>
#include <vector>

#include "device/link_shared.h"
#include "device/receiver.h"

namespace kr40 {

class FtLink;
struct FrameSet;
struct RecorderStream;

class DeviceLink : public PacketHandler {
public:
    using Sleeper = std::function<void(int ms)>;

    DeviceLink(FtLink& link, LinkShared& st, FrameSet& live, RecorderStream& recorder, Sleeper sleep);

    void SendSettingsPacket();
    void SendWaveformTable();
    void LoadFpga();
    void ReceiveBytes();

    void OnService(std::span<const std::uint8_t, ServiceLength> d) override;
    void OnMain(std::uint8_t type, std::span<const std::uint8_t> payload,
                std::span<const std::uint8_t, StatusLength> status) override;

    static constexpr int AckTries = 100;
    static constexpr int AckSleepMs = 5;
    static constexpr std::size_t ReadChunk = 65000;
    static constexpr std::size_t ImageChunk = 512;

private:
    // 0xFA, then the nibble-coded packet; true when both writes went through.
    bool WritePacket(const std::vector<std::uint8_t>& packet);
    // Writes all bytes, continuing a partial write; false on a failed write.
    bool WriteAll(const std::uint8_t* data, std::size_t n);
    // Waits for the acknowledgement of a host packet.
    bool WaitFor(const std::atomic<bool>& flag);

    FtLink& link_;
    LinkShared& st_;
    FrameSet& live_;
    RecorderStream& recorder_;
    Sleeper sleep_;
    PacketReceiver receiver_;
    PublishedConfig sent_;  // the configuration of the last settings packet
    std::vector<std::uint8_t> readBuffer_;
    std::uint64_t servicesTotal_ = 0;  // service packets since the link was made
};

}  // namespace kr40
