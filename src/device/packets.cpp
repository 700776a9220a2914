#include "device/packets.h"

#include "acquisition/acq_config.h"

namespace kr40 {

namespace {

template <class T>
void PutLE(std::vector<std::uint8_t>& out, T value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * i)));
}

constexpr std::uint16_t Reg(std::uint8_t page, std::uint8_t offset)
{
    return static_cast<std::uint16_t>(page << 8 | offset);
}

}  // namespace

std::vector<std::uint8_t> BuildHostPacket(std::span<const MemoryBlock> blocks)
{
    std::vector<std::uint8_t> p{0, static_cast<std::uint8_t>(blocks.size())};
    for (const MemoryBlock& b : blocks) {
        p.push_back(static_cast<std::uint8_t>(b.data.size()));
        p.push_back(static_cast<std::uint8_t>(b.address >> 8));
        p.push_back(static_cast<std::uint8_t>(b.address & 0xFF));
        p.insert(p.end(), b.data.begin(), b.data.end());
    }
    p[0] = static_cast<std::uint8_t>(p.size());  // offset of the checksum byte
    std::uint8_t sum = 0;
    for (std::uint8_t v : p) sum ^= v;
    p.push_back(sum);
    return p;
}

std::vector<std::uint8_t> NibbleEncode(std::span<const std::uint8_t> bytes)
{
    std::vector<std::uint8_t> out(bytes.size() * 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out[2 * i] = bytes[i] & 0x0F;
        out[2 * i + 1] = bytes[i] >> 4;
    }
    return out;
}

void NibbleDecode(std::span<const std::uint8_t> raw, std::uint8_t* out)
{
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2)
        out[i / 2] = static_cast<std::uint8_t>((raw[i + 1] << 4) | (raw[i] & 0x0F));
}

std::uint8_t DeviceChecksum(std::span<const std::uint8_t> bytes, std::uint8_t seed)
{
    std::uint8_t sum = seed;
    for (std::uint8_t v : bytes) sum ^= v;
    return sum == 0xFF ? 0xFE : sum;
}

std::vector<MemoryBlock> SettingsBlocks(const AcqConfig& a, const SettingsPacketExtras& x)
{
    std::vector<MemoryBlock> blocks;

    std::vector<std::uint8_t> b1;
    // Firmware before 212 has no Schmitt-trigger switches.
    const bool oldFirmware = x.firmware >= 0 && x.firmware < 212;
    b1.push_back(oldFirmware ? (a.Acq_Flags & 0x3F) : a.Acq_Flags);
    b1.push_back(a.Mode_Flags);
    b1.push_back(static_cast<std::uint8_t>(a.TPlus_Flags | (x.trigChanged ? 0x80 : 0)));
    PutLE(b1, a.Decim, 4);
    PutLE(b1, a.Pre_N, 2);
    PutLE(b1, a.Post_N, 2);
    b1.insert(b1.end(), {a.Trig_Lo_A1, a.Trig_Hi_A1, a.Trig_Lo_A2, a.Trig_Hi_A2});
    PutLE(b1, a.Trig_N, 2);
    b1.push_back(a.Trig_Lev_Bits);
    b1.push_back(0);
    PutLE(b1, a.T_Lo, 4);
    PutLE(b1, a.T_Hi, 4);
    b1.insert(b1.end(), {a.Ch_Mask, a.Roll_Flags, a.Rate_Code});
    blocks.push_back({Reg(0x7F, 0x01), std::move(b1)});

    blocks.push_back({Reg(0x7F, 0x30), {static_cast<std::uint8_t>(a.FM_Src | (x.fmReset ? 0x80 : 0))}});

    std::vector<std::uint8_t> b3{x.seq, a.Range_A1, a.Range_A2};
    PutLE(b3, a.Zero_Cal_A1, 2);
    PutLE(b3, a.Zero_Cal_A2, 2);
    b3.push_back(a.Min_Period_ms);
    b3.resize(b3.size() + 9 + 8, 0);  // zero, then the reserved bytes (kept zero)
    blocks.push_back({Reg(0x7F, 0x45), std::move(b3)});

    std::vector<std::uint8_t> b4{a.Gen_Mode, static_cast<std::uint8_t>(a.Gen_Shape | (x.genRun ? 0x80 : 0))};
    PutLE(b4, a.Gen_Word_A, 6);
    PutLE(b4, a.Gen_Word_B, 6);
    PutLE(b4, a.Gen_Ampl, 2);
    PutLE(b4, a.Gen_Mod_Inc, 6);
    b4.insert(b4.end(), {a.Gen_Zero_A1, a.Gen_Zero_A2});
    blocks.push_back({Reg(0x7F, 0x60), std::move(b4)});

    if (x.tdc) blocks.push_back({Reg(0x80, 0x08), {x.tdc->begin(), x.tdc->end()}});
    return blocks;
}

std::vector<MemoryBlock> WaveformBlock(int k, std::span<const std::int32_t, WaveTableSize> table)
{
    std::vector<std::uint8_t> data;
    data.reserve(128);
    for (int i = k * 64; i < k * 64 + 64; ++i) PutLE(data, static_cast<std::uint32_t>(table[i]), 2);
    return {{static_cast<std::uint16_t>(k * 128), std::move(data)}};
}

std::vector<MemoryBlock> FpgaStartBlocks()
{
    return {{Reg(0x81, 0xAA), {0x55}}};
}

namespace {
std::vector<std::uint8_t> Seal(std::vector<std::uint8_t> wire)
{
    // The checksum covers the type byte and everything after it.
    wire.push_back(DeviceChecksum(std::span(wire).subspan(1)));
    return wire;
}
}  // namespace

std::vector<std::uint8_t> EncodeServicePacket(std::span<const std::uint8_t, ServiceLength> decoded)
{
    std::vector<std::uint8_t> wire{PacketMark, ServiceType};
    const std::vector<std::uint8_t> body = NibbleEncode(decoded);
    wire.insert(wire.end(), body.begin(), body.end());
    return Seal(std::move(wire));
}

std::vector<std::uint8_t> EncodeMainPacket(std::uint8_t type, std::span<const std::uint8_t> payload,
                                           std::span<const std::uint8_t, StatusLength> status)
{
    std::vector<std::uint8_t> wire{PacketMark, type};
    wire.insert(wire.end(), payload.begin(), payload.end());
    const std::vector<std::uint8_t> body = NibbleEncode(status);
    wire.insert(wire.end(), body.begin(), body.end());
    return Seal(std::move(wire));
}

}  // namespace kr40
