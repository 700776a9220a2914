// The text table and the raw channel bytes with their companion text, byte
// for byte.

#include "files/exports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace kr40 {
namespace {

// A frame of `n` positions on the channels of `mask`, with a 500 ns time step,
// 100 mV/div on A1 (3.125 mV per code) and 2 V/div on A2 (62.5 mV per code).
FrameSet MakeFrame(int mask, int n, bool pairs)
{
    FrameSet f;
    f.rec.ChannelMask = mask;
    f.rec.ValidLen = n;
    f.rec.PairFlag = pairs ? 1 : 0;
    f.rec.Divider = 50;
    f.rec.uV_Div_A1 = 100000;
    f.rec.A1_Zero = 128;
    f.rec.uV_Div_A2 = 2000000;
    f.rec.A2_Zero = -3;
    return f;
}

void Fill(FrameSet& f, int channel, const std::vector<std::int32_t>& first, const std::vector<std::int32_t>& second)
{
    for (std::size_t i = 0; i < first.size(); ++i) f.buf.First(channel)[i] = first[i];
    for (std::size_t i = 0; i < second.size(); ++i) f.buf.Second(channel)[i] = second[i];
    f.buf.filled = std::max(f.buf.filled, static_cast<int>(std::max(first.size(), second.size())));
}

TEST(ExportTextTest, A1AndD1WithoutPairsIsTheWholeTable)
{
    FrameSet f = MakeFrame(0b0101, 3, false);
    Fill(f, ChanA1, {128, 0, 254}, {128, 0, 254});
    Fill(f, ChanD1, {1, 0, 1}, {1, 0, 1});
    // Samples beyond N stay out of the table.
    Fill(f, ChanA2, {7, 7, 7, 7}, {7, 7, 7, 7});
    f.buf.First(ChanA1)[3] = 99;

    EXPECT_EQ(TextExport(f),
              "Oscilloscope data. \r\n"
              "Time step = 500.0 nS\r\n"
              "Voltage step A1 = 3.125 mV\r\n"
              "Zero level A1 = 128\r\n"
              "\r\n"
              "N\tA1\tD1\r\n"
              "\r\n"
              "0\t128\t1\r\n"
              "1\t0\t0\r\n"
              "2\t254\t1\r\n");
}

TEST(ExportTextTest, PairsGetMinMaxHeadingsAndATabAfterEachPair)
{
    FrameSet f = MakeFrame(0b1010, 2, true);
    Fill(f, ChanA2, {120, MissingSample}, {130, MissingSample});
    Fill(f, ChanD2, {0, 1}, {1, 1});

    EXPECT_EQ(TextExport(f),
              "Oscilloscope data. \r\n"
              "Time step = 500.0 nS\r\n"
              "Voltage step A2 = 62.50 mV\r\n"
              "Zero level A2 = -3\r\n"
              "\r\n"
              "N\tA2(min,max)\tD2(min,max)\r\n"
              "\r\n"
              "0\t120, 130\t\t0, 1\t\r\n"
              "1\t2147483647, 2147483647\t\t1, 1\t\r\n");
}

TEST(ExportTextTest, AllFourChannelsInOrderWithBothAnalogHeaders)
{
    FrameSet f = MakeFrame(0b1111, 1, false);
    Fill(f, ChanA1, {10}, {10});
    Fill(f, ChanA2, {20}, {20});
    Fill(f, ChanD1, {0}, {0});
    Fill(f, ChanD2, {1}, {1});
    const std::string text = TextExport(f);
    EXPECT_NE(text.find("Zero level A1 = 128\r\nVoltage step A2 = 62.50 mV\r\nZero level A2 = -3\r\n\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\r\nN\tA1\tA2\tD1\tD2\r\n\r\n0\t10\t20\t0\t1\r\n"), std::string::npos) << text;
}

// The divider counts as unsigned: values above 2^31 stay positive times.
TEST(ExportTextTest, TimeStepReadsTheDividerAsUnsigned)
{
    struct Case {
        std::uint32_t divider;
        const char* line;
    };
    const Case cases[] = {
        {0, "Time step = 0.000 nS\r\n"},          {1, "Time step = 10.00 nS\r\n"},
        {100000, "Time step = 1.000 mS\r\n"},     {0x80000000u, "Time step = 21.47 S\r\n"},
        {0xFFFFFFFFu, "Time step = 42.95 S\r\n"},
    };
    for (const Case& c : cases) {
        FrameSet f = MakeFrame(0b0100, 1, false);
        f.rec.Divider = static_cast<std::int32_t>(c.divider);
        EXPECT_NE(TextExport(f).find(c.line), std::string::npos) << c.divider;
        EXPECT_NE(RawCompanionText(f, ChanD1, "x.bin").find(c.line), std::string::npos) << c.divider;
    }
}

TEST(ExportRawTest, BytesEndAtTheFirstValueAbove254)
{
    constexpr std::int32_t M = MissingSample;
    struct Case {
        const char* what;
        bool pairs;
        int n;
        std::vector<std::int32_t> first, second;
        std::string bytes;
    };
    const Case cases[] = {
        {"third value empty", false, 5, {10, 20, M, 40, 50}, {}, std::string("\x0A\x14", 2)},
        {"whole range up to 254", false, 4, {0, 1, 200, 254}, {}, std::string("\x00\x01\xC8\xFE", 4)},
        {"255 ends it", false, 3, {5, 255, 6}, {}, std::string("\x05", 1)},
        {"N bounds it", false, 2, {1, 2, 3}, {}, std::string("\x01\x02", 2)},
        {"empty first value", false, 3, {M, 1, 2}, {}, std::string()},
        {"pairs interleaved", true, 2, {1, 3}, {2, 4}, std::string("\x01\x02\x03\x04", 4)},
        {"pair stops mid-pair", true, 3, {1, 3, 5}, {2, 255, 6}, std::string("\x01\x02\x03", 3)},
        {"pair stops at a first value", true, 3, {1, M, 5}, {2, 4, 6}, std::string("\x01\x02", 2)},
    };
    for (const Case& c : cases) {
        FrameSet f = MakeFrame(0b0001, c.n, c.pairs);
        Fill(f, ChanA1, c.first, c.pairs ? c.second : c.first);
        EXPECT_EQ(RawChannelBytes(f, ChanA1), c.bytes) << c.what;
    }
}

TEST(ExportRawTest, ReadsOnlyTheChosenChannel)
{
    FrameSet f = MakeFrame(0b1111, 2, false);
    Fill(f, ChanA1, {1, 1}, {1, 1});
    Fill(f, ChanA2, {2, 2}, {2, 2});
    Fill(f, ChanD1, {0, 1}, {0, 1});
    Fill(f, ChanD2, {1, 0}, {1, 0});
    EXPECT_EQ(RawChannelBytes(f, ChanA2), std::string("\x02\x02", 2));
    EXPECT_EQ(RawChannelBytes(f, ChanD1), std::string("\x00\x01", 2));
    EXPECT_EQ(RawChannelBytes(f, ChanD2), std::string("\x01\x00", 2));
    EXPECT_EQ(RawChannelBytes(f, 4), "");
    EXPECT_EQ(RawChannelBytes(f, -1), "");
}

TEST(ExportRawTest, CompanionTextOfAnalogAndDigitalChannels)
{
    const FrameSet plain = MakeFrame(0b1111, 10, false);
    EXPECT_EQ(RawCompanionText(plain, ChanA1, "/some/folder/run 1.bin"),
              "Oscilloscope binary file = run 1.bin\r\n"
              "Time step = 500.0 nS\r\n"
              "Peak detector off, bytes per sample = 1\r\n"
              "Voltage step = 3.125 mV\r\n"
              "Zero level = 128\r\n"
              "\r\n");
    const FrameSet pairs = MakeFrame(0b1111, 10, true);
    EXPECT_EQ(RawCompanionText(pairs, ChanA2, "a2.bin"),
              "Oscilloscope binary file = a2.bin\r\n"
              "Time step = 500.0 nS\r\n"
              "Peak detector on, bytes per sample = 2\r\n"
              "Voltage step = 62.50 mV\r\n"
              "Zero level = -3\r\n"
              "\r\n");
    EXPECT_EQ(RawCompanionText(pairs, ChanD2, "/tmp/d2.BIN"),
              "Oscilloscope binary file = d2.BIN\r\n"
              "Time step = 500.0 nS\r\n"
              "Peak detector on, bytes per sample = 2\r\n");
}

TEST(ExportRawTest, CompanionTextPathSwapsTheExtension)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/data/run.bin", "/data/run.txt"}, {"/data/run.BIN", "/data/run.txt"}, {"/data/run.2.bin", "/data/run.2.txt"},
        {"/data/run", "/data/run.txt"},     {"/data.d/run", "/data.d/run.txt"},
    };
    for (const auto& [bin, txt] : cases) EXPECT_EQ(CompanionTextPath(bin), std::filesystem::path(txt)) << bin;
}

TEST(ExportDataTest, NeedsPositionsAndTheChannelBit)
{
    struct Case {
        int validLen, mask, channel;
        bool has;
    };
    const Case cases[] = {
        {0, 0b1111, -1, false},     {0, 0b1111, ChanA1, false},  {-5, 0b1111, -1, false},
        {10, 0, -1, false},         {10, 0b10000, -1, false},    {10, 0b1000, -1, true},
        {1, 0b0001, -1, true},      {10, 0b0001, ChanA1, true},  {10, 0b0001, ChanA2, false},
        {10, 0b0100, ChanD1, true}, {10, 0b0111, ChanD2, false}, {10, 0b1111, 4, false},
    };
    for (const Case& c : cases) {
        FrameRecord r{};
        r.ValidLen = c.validLen;
        r.ChannelMask = c.mask;
        EXPECT_EQ(HasExportData(r, c.channel), c.has) << c.validLen << " " << c.mask << " " << c.channel;
    }
}

// A record that claims more positions than the buffers hold is read up to
// their end and no further.
TEST(ExportDataTest, OversizedLengthStopsAtTheBuffers)
{
    FrameSet f = MakeFrame(0b0001, FrameCapacity + 100, false);
    std::fill(f.buf.A1_First.begin(), f.buf.A1_First.end(), 7);
    f.buf.filled = FrameCapacity;
    EXPECT_EQ(RawChannelBytes(f, ChanA1).size(), static_cast<std::size_t>(FrameCapacity));
    const std::string text = TextExport(f);
    const std::string last = "\r\n" + std::to_string(FrameCapacity - 1) + "\t7\r\n";
    EXPECT_EQ(text.compare(text.size() - last.size(), last.size(), last), 0);
}

}  // namespace
}  // namespace kr40
