#include "device/packets.h"

#include <gtest/gtest.h>

#include "acquisition/acq_config.h"

namespace kr40 {
namespace {

TEST(PacketsTest, NibbleCodingNeverSendsAMarkAndRoundTrips)
{
    std::vector<std::uint8_t> bytes(256);
    for (int i = 0; i < 256; ++i) bytes[i] = static_cast<std::uint8_t>(i);
    const std::vector<std::uint8_t> wire = NibbleEncode(bytes);
    ASSERT_EQ(wire.size(), 512u);
    EXPECT_EQ(wire[2 * 0xA5], 0x05);  // low nibble first
    EXPECT_EQ(wire[2 * 0xA5 + 1], 0x0A);
    for (std::uint8_t b : wire) EXPECT_LE(b, 0x0F);
    std::vector<std::uint8_t> back(256);
    NibbleDecode(wire, back.data());
    EXPECT_EQ(back, bytes);
}

TEST(PacketsTest, FpgaStartPacketOnTheWire)
{
    const std::vector<std::uint8_t> p = BuildHostPacket(FpgaStartBlocks());
    // L = 6, one block, n = 1, page 0x81, offset 0xAA, data 0x55, checksum.
    const std::vector<std::uint8_t> expected{6, 1, 1, 0x81, 0xAA, 0x55, 6 ^ 1 ^ 1 ^ 0x81 ^ 0xAA ^ 0x55};
    EXPECT_EQ(p, expected);
    EXPECT_EQ(NibbleEncode(p).size(), 14u);
}

TEST(PacketsTest, WaveformBlocksCarryTheLow16BitsOfEachSample)
{
    std::array<std::int32_t, WaveTableSize> table{};
    for (int i = 0; i < WaveTableSize; ++i) table[i] = 0x12340000 + i;
    const std::vector<std::uint8_t> p = BuildHostPacket(WaveformBlock(3, table));
    ASSERT_EQ(p.size(), 134u);
    EXPECT_EQ(p[0], 133);
    EXPECT_EQ(p[2], 0x80);  // n = 128
    EXPECT_EQ(p[3], 0x01);  // address 3 x 128 = 0x0180
    EXPECT_EQ(p[4], 0x80);
    EXPECT_EQ(p[5], (3 * 64) & 0xFF);  // sample 192, low byte then high byte
    EXPECT_EQ(p[6], 0x00);
    EXPECT_EQ(p[5 + 127], 0x00);
    std::uint8_t sum = 0;
    for (int i = 0; i < 133; ++i) sum ^= p[i];
    EXPECT_EQ(p[133], sum);
}

TEST(PacketsTest, SettingsBlocksLayout)
{
    AcqConfig a;
    a.Acq_Flags = 0xF1;
    a.Mode_Flags = 0x81;
    a.TPlus_Flags = 0x20;
    a.Decim = 0x01020304;
    a.Pre_N = 0x12345;  // only the low 16 bits are sent
    a.Post_N = 0x0FFF;
    a.Trig_N = 0x10203;
    a.T_Hi = 0xAABBCCDD;
    a.Ch_Mask = 0x8F;
    a.Rate_Code = 39;
    a.FM_Src = 3;
    a.Range_A1 = 0x1F;
    a.Zero_Cal_A2 = 0x0ABC;
    a.Min_Period_ms = 40;
    a.Gen_Shape = 5;
    a.Gen_Word_A = 0x0000112233445566ull;
    a.Gen_Ampl = 0x0FA1;
    a.Gen_Zero_A2 = 63;

    SettingsPacketExtras x;
    x.seq = 9;
    x.firmware = 212;
    const std::vector<MemoryBlock> b = SettingsBlocks(a, x);
    ASSERT_EQ(b.size(), 4u);
    EXPECT_EQ(b[0].address, 0x7F01);
    EXPECT_EQ(b[1].address, 0x7F30);
    EXPECT_EQ(b[2].address, 0x7F45);
    EXPECT_EQ(b[3].address, 0x7F60);
    ASSERT_EQ(b[0].data.size(), 30u);
    ASSERT_EQ(b[1].data.size(), 1u);
    ASSERT_EQ(b[2].data.size(), 25u);
    ASSERT_EQ(b[3].data.size(), 24u);

    // Index = register - first register of the block.
    const auto& r = b[0].data;
    EXPECT_EQ(r[0x01 - 1], 0xF1);
    EXPECT_EQ(r[0x02 - 1], 0x81);
    EXPECT_EQ(r[0x03 - 1], 0x20);
    EXPECT_EQ(r[0x04 - 1], 0x04);
    EXPECT_EQ(r[0x07 - 1], 0x01);
    EXPECT_EQ(r[0x08 - 1], 0x45);
    EXPECT_EQ(r[0x09 - 1], 0x23);
    EXPECT_EQ(r[0x10 - 1], 0x03);
    EXPECT_EQ(r[0x11 - 1], 0x02);
    EXPECT_EQ(r[0x13 - 1], 0x00);
    EXPECT_EQ(r[0x18 - 1], 0xDD);
    EXPECT_EQ(r[0x1B - 1], 0xAA);
    EXPECT_EQ(r[0x1C - 1], 0x8F);
    EXPECT_EQ(r[0x1E - 1], 39);
    EXPECT_EQ(b[1].data[0], 3);
    EXPECT_EQ(b[2].data[0x45 - 0x45], 9);
    EXPECT_EQ(b[2].data[0x46 - 0x45], 0x1F);
    EXPECT_EQ(b[2].data[0x4A - 0x45], 0xBC);
    EXPECT_EQ(b[2].data[0x4B - 0x45], 0x0A);
    EXPECT_EQ(b[2].data[0x4C - 0x45], 40);
    EXPECT_EQ(b[3].data[0x61 - 0x60], 5);
    EXPECT_EQ(b[3].data[0x62 - 0x60], 0x66);
    EXPECT_EQ(b[3].data[0x67 - 0x60], 0x11);
    EXPECT_EQ(b[3].data[0x68 - 0x60], 0x00);
    EXPECT_EQ(b[3].data[0x6E - 0x60], 0xA1);
    EXPECT_EQ(b[3].data[0x77 - 0x60], 63);
}

TEST(PacketsTest, FirmwareMaskAndOneShotBits)
{
    AcqConfig a;
    a.Acq_Flags = 0xFF;
    a.TPlus_Flags = 0x01;
    a.FM_Src = 0x13;
    a.Gen_Shape = 0x35;
    struct Case {
        int firmware;
        std::uint8_t acq;
    } cases[] = {{211, 0x3F}, {212, 0xFF}, {213, 0xFF}, {-1, 0xFF}};
    for (const Case& c : cases) {
        SettingsPacketExtras x;
        x.firmware = c.firmware;
        EXPECT_EQ(SettingsBlocks(a, x)[0].data[0], c.acq) << c.firmware;
    }
    SettingsPacketExtras x;
    x.trigChanged = x.fmReset = x.genRun = true;
    x.tdc = std::array<std::uint8_t, 4>{20, 21, 22, 23};
    const std::vector<MemoryBlock> b = SettingsBlocks(a, x);
    ASSERT_EQ(b.size(), 5u);
    EXPECT_EQ(b[0].data[2], 0x81);
    EXPECT_EQ(b[1].data[0], 0x93);
    EXPECT_EQ(b[3].data[1], 0xB5);
    EXPECT_EQ(b[4].address, 0x8008);
    EXPECT_EQ(b[4].data, (std::vector<std::uint8_t>{20, 21, 22, 23}));
    EXPECT_EQ(BuildHostPacket(b)[1], 5);
}

TEST(PacketsTest, ChecksumNeverEqualsTheMark)
{
    const std::uint8_t bytes[] = {0xF0, 0x0F};
    EXPECT_EQ(DeviceChecksum(bytes), 0xFE);
    const std::uint8_t other[] = {0xF0, 0x0E};
    EXPECT_EQ(DeviceChecksum(other), 0xFE);  // a real 0xFE stays 0xFE
    const std::uint8_t plain[] = {0x01, 0x02};
    EXPECT_EQ(DeviceChecksum(plain), 0x03);
}

}  // namespace
}  // namespace kr40
