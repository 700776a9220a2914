#pragma once
// Host packets: memory blocks written into the instrument, protected by an
// XOR checksum and sent nibble-coded (no byte on the wire is ever 0xFF), each
// after a lone 0xFA lead byte.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kr40 {

struct AcqConfig;

inline constexpr std::uint8_t LeadByte = 0xFA;
inline constexpr std::uint8_t PacketMark = 0xFF;
inline constexpr std::uint8_t ServiceType = 0x5A;
inline constexpr int ServiceRawLength = 102;  // nibble-coded: 51 bytes
inline constexpr int ServiceLength = 51;
inline constexpr int StatusRawLength = 256;  // nibble-coded: 128 bytes
inline constexpr int StatusLength = 128;
inline constexpr int WaveTableSize = 2048;
inline constexpr int WaveBlockCount = 32;

struct MemoryBlock {
    std::uint16_t address;  // page = high byte, offset = low byte
    std::vector<std::uint8_t> data;
};

// Length byte, block count, the blocks, checksum (before nibble coding).
std::vector<std::uint8_t> BuildHostPacket(std::span<const MemoryBlock> blocks);
// Low nibble first, then high nibble.
std::vector<std::uint8_t> NibbleEncode(std::span<const std::uint8_t> bytes);
// Inverse of NibbleEncode: byte i = (raw[2i+1] << 4) | (raw[2i] & 0x0F).
void NibbleDecode(std::span<const std::uint8_t> raw, std::uint8_t* out);

// The instrument's packet checksum: XOR of the bytes, 0xFF sent as 0xFE.
std::uint8_t DeviceChecksum(std::span<const std::uint8_t> bytes, std::uint8_t seed = 0);

// One-shot additions and options of one settings packet.
struct SettingsPacketExtras {
    std::uint8_t seq = 0;                            // SettingsSeq
    int firmware = -1;                               // reported firmware version, -1 unknown
    bool trigChanged = false;                        // bit 7 of TPlus_Flags
    bool fmReset = false;                            // bit 7 of FM_Src
    bool genRun = false;                             // bit 7 of Gen_Shape
    std::optional<std::array<std::uint8_t, 4>> tdc;  // the optional TDC block
};

// The register blocks of the settings packet: page 0x7F offsets 0x01, 0x30,
// 0x45, 0x60, and the TDC cells at 0x8008 when a TDC write is pending.
std::vector<MemoryBlock> SettingsBlocks(const AcqConfig& a, const SettingsPacketExtras& x);
std::vector<MemoryBlock> WaveformBlock(int k, std::span<const std::int32_t, WaveTableSize> table);
std::vector<MemoryBlock> FpgaStartBlocks();

// The instrument's side: wire bytes of a service packet (51 bytes, sent
// nibble-coded) and of a main packet (raw payload, nibble-coded status),
// each starting with the 0xFF mark and ending with the checksum.
std::vector<std::uint8_t> EncodeServicePacket(std::span<const std::uint8_t, ServiceLength> decoded);
std::vector<std::uint8_t> EncodeMainPacket(std::uint8_t type, std::span<const std::uint8_t> payload,
                                           std::span<const std::uint8_t, StatusLength> status);

}  // namespace kr40
