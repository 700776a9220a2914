#pragma once
// The simulated instrument's memory as the host writes it: the acquisition
// register page 0x7F00..0x7F7F and the generator waveform memory (2048 16-bit
// words at 0x0000..0x0FFF). The accessors read the fields the acquisition and
// the signal sources use, little-endian as the settings packet writes them.

#include <array>
#include <cstdint>
#include <vector>

#include "device/packets.h"

namespace kr40::sim {

struct SimRegisters {
    std::array<std::uint8_t, 128> page{};
    std::array<std::uint16_t, 2048> wave{};

    // Little-endian field of `bytes` bytes at register `reg`.
    std::uint64_t Field(int reg, int bytes) const
    {
        std::uint64_t v = 0;
        for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | page[static_cast<std::size_t>(reg + i)];
        return v;
    }

    std::uint8_t AcqFlags() const { return page[0x01]; }
    std::uint8_t ModeFlags() const { return page[0x02]; }
    std::uint8_t TPlus() const { return page[0x03]; }
    std::uint32_t Decim() const { return static_cast<std::uint32_t>(Field(0x04, 4)); }
    std::uint32_t PreN() const { return static_cast<std::uint32_t>(Field(0x08, 2)); }
    std::uint32_t PostN() const { return static_cast<std::uint32_t>(Field(0x0A, 2)); }
    std::uint8_t TrigLoA1() const { return page[0x0C]; }
    std::uint8_t TrigHiA1() const { return page[0x0D]; }
    std::uint8_t TrigLoA2() const { return page[0x0E]; }
    std::uint8_t TrigHiA2() const { return page[0x0F]; }
    std::uint32_t TrigN() const { return static_cast<std::uint32_t>(Field(0x10, 2)); }
    std::uint8_t TrigLevBits() const { return page[0x12]; }
    std::uint32_t TLo() const { return static_cast<std::uint32_t>(Field(0x14, 4)); }
    std::uint32_t THi() const { return static_cast<std::uint32_t>(Field(0x18, 4)); }
    std::uint8_t ChMask() const { return page[0x1C]; }
    std::uint8_t RollFlags() const { return page[0x1D]; }
    std::uint8_t RateCode() const { return page[0x1E]; }
    std::uint8_t FmSrc() const { return page[0x30]; }
    std::uint8_t Seq() const { return page[0x45]; }
    std::uint8_t RangeA1() const { return page[0x46]; }
    std::uint8_t RangeA2() const { return page[0x47]; }
    std::uint32_t ZeroCalA1() const { return static_cast<std::uint32_t>(Field(0x48, 2)); }
    std::uint32_t ZeroCalA2() const { return static_cast<std::uint32_t>(Field(0x4A, 2)); }
    std::uint8_t MinPeriod() const { return page[0x4C]; }
    std::uint8_t GenMode() const { return page[0x60]; }
    std::uint8_t GenShape() const { return page[0x61]; }
    std::uint64_t GenWordA() const { return Field(0x62, 6); }
    std::uint64_t GenWordB() const { return Field(0x68, 6); }
    std::uint16_t GenAmpl() const { return static_cast<std::uint16_t>(Field(0x6E, 2)); }
    std::uint64_t GenModInc() const { return Field(0x70, 6); }
    std::uint8_t GenZeroA1() const { return page[0x76]; }
    std::uint8_t GenZeroA2() const { return page[0x77]; }

    // Per analog channel (0 = A1, 1 = A2).
    std::uint8_t Range(int ch) const { return ch == 0 ? RangeA1() : RangeA2(); }
    std::uint32_t ZeroCal(int ch) const { return ch == 0 ? ZeroCalA1() : ZeroCalA2(); }
    std::uint8_t TrigLo(int ch) const { return ch == 0 ? TrigLoA1() : TrigLoA2(); }
    std::uint8_t TrigHi(int ch) const { return ch == 0 ? TrigHiA1() : TrigHiA2(); }
};

// Writes host memory blocks the way the instrument stores them: page 0x7F
// into the register page, 0x0000..0x0FFF into the waveform memory (byte
// address 2k is the low byte of word k). Other addresses are ignored.
inline void ApplyBlock(SimRegisters& r, std::uint16_t address, const std::uint8_t* data, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t a = address + static_cast<std::uint32_t>(i);
        if ((a >> 8) == 0x7F && (a & 0xFF) < r.page.size()) {
            r.page[a & 0xFF] = data[i];
        } else if (a < 2 * r.wave.size()) {
            std::uint16_t& w = r.wave[a / 2];
            w = (a & 1) ? static_cast<std::uint16_t>((w & 0x00FF) | (data[i] << 8))
                        : static_cast<std::uint16_t>((w & 0xFF00) | data[i]);
        }
    }
}

inline void ApplyBlocks(SimRegisters& r, const std::vector<MemoryBlock>& blocks)
{
    for (const MemoryBlock& b : blocks) ApplyBlock(r, b.address, b.data.data(), b.data.size());
}

}  // namespace kr40::sim
