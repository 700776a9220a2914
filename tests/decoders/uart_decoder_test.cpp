#include "decoders/uart_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/acq_config.h"
#include "acquisition/frame.h"
#include "acquisition/scope_settings.h"
#include "core/sample.h"

namespace kr40 {
namespace {

constexpr double kSpb9600 = 1e8 / 200 / 9600;  // 52.08 samples per bit at Divider 200

// Writes UART characters as line levels (idle 1) at `spb` samples per bit.
struct UartWriter {
    double spb;
    int dataBits = 8;
    int parity = ParityNone;
    int stopBits = 1;
    bool msbFirst = false;

    // Wire bits of one character: start, data, parity (right for the
    // setting; even for IGNORE), stop bits.
    std::vector<int> Bits(std::uint32_t value) const
    {
        std::vector<int> bits{0};
        int ones = 0;
        for (int k = 0; k < dataBits; ++k) {
            const int b = static_cast<int>(value >> (msbFirst ? dataBits - 1 - k : k)) & 1;
            ones += b;
            bits.push_back(b);
        }
        if (parity != ParityNone) bits.push_back(parity == ParityOdd ? 1 - ones % 2 : ones % 2);
        for (int k = 0; k < stopBits; ++k) bits.push_back(1);
        return bits;
    }

    // Bit k covers the samples in [at + k·spb, at + (k+1)·spb). Returns
    // where the last bit ends.
    double Put(std::vector<int>& level, double at, const std::vector<int>& bits) const
    {
        for (std::size_t k = 0; k < bits.size(); ++k) {
            const auto from = static_cast<std::size_t>(std::ceil(at + static_cast<double>(k) * spb));
            const auto to = static_cast<std::size_t>(std::ceil(at + static_cast<double>(k + 1) * spb));
            for (std::size_t i = from; i < to && i < level.size(); ++i) level[i] = bits[k];
        }
        return at + static_cast<double>(bits.size()) * spb;
    }
    double Put(std::vector<int>& level, double at, std::uint32_t value) const { return Put(level, at, Bits(value)); }
};

// Levels as sample codes.
std::vector<std::int32_t> Codes(const std::vector<int>& level, std::int32_t low = 0, std::int32_t high = 1)
{
    std::vector<std::int32_t> c(level.size());
    for (std::size_t i = 0; i < level.size(); ++i) c[i] = level[i] ? high : low;
    return c;
}

UartFormat Format(const UartWriter& w, std::uint32_t bitRate)
{
    return {bitRate, w.dataBits, w.parity, w.stopBits, w.msbFirst};
}

constexpr int kAllSamples = std::numeric_limits<int>::min();

// Decodes a digital line (both buffers equal, thresholds 0.5).
std::vector<DecodedChar> Decode(const std::vector<std::int32_t>& codes, std::uint32_t divider, const UartFormat& f,
                                bool inv = false, int n = kAllSamples, double lo = 0.5, double hi = 0.5)
{
    std::vector<DecodedChar> out(DecodedTableSize);
    const int count =
        DecodeUart(codes, codes, n == kAllSamples ? static_cast<int>(codes.size()) : n, divider, lo, hi, inv, f, out);
    out.resize(static_cast<std::size_t>(count));
    return out;
}

// ---------------------------------------------------------------------------
// DecodeUart

TEST(UartDecoder, ReadsEachBitAtItsPositionFromTheStart)
{
    // 9600 bit/s at 2 µs per sample: the data bits are read 78.1, 130.2, ...
    // samples after the start. The line is low over the whole character but
    // for one sample; only a sample at a bit's exact position sets the bit.
    constexpr int kPos[8] = {78, 130, 182, 234, 286, 339, 391, 443};
    const UartFormat f{9600, 8, ParityNone, 1, false};
    for (int k = 0; k < 8; ++k) {
        for (int shift : {-1, 0, 1}) {
            SCOPED_TRACE(::testing::Message() << "bit " << k << " shift " << shift);
            std::vector<int> level(1000, 1);
            for (int i = 101; i < 570; ++i) level[i] = 0;  // clean 0 at 101: the start is 100
            level[100 + kPos[k] + shift] = 1;
            const auto out = Decode(Codes(level), 200, f);
            ASSERT_EQ(out.size(), 1u);
            EXPECT_EQ(out[0].Start, 100u);
            EXPECT_EQ(out[0].End, 100u + 521u);  // 10 bits = 520.8 samples
            EXPECT_EQ(out[0].Value, shift == 0 ? 1u << k : 0u);
            EXPECT_EQ(out[0].Flags, 0u);
        }
    }
}

TEST(UartDecoder, FewerThanFourSamplesPerBitOrNoRateGiveNothing)
{
    struct Case {
        std::uint32_t divider, bitRate;
        int n;
        bool decodes;
    };
    const Case cases[] = {
        {500, 115200, kAllSamples, false},  // 5 µs per sample: 1.74 samples per bit
        {2, 12500001, kAllSamples, false},  // just below 4 samples per bit
        {2, 12500000, kAllSamples, true},   // exactly 4
        {0, 9600, kAllSamples, false},     {2, 0, kAllSamples, false},
        {2, 12500000, 0, false},           {2, 12500000, -5, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.divider << " " << c.bitRate << " n " << c.n);
        const double spb = c.bitRate ? 1e8 / (c.divider ? c.divider : 1) / c.bitRate : 4;
        UartWriter w{spb};
        std::vector<int> level(400, 1);
        w.Put(level, 50, 0x41);
        const auto out = Decode(Codes(level), c.divider, Format(w, c.bitRate), false, c.n);
        if (c.decodes) {
            ASSERT_EQ(out.size(), 1u);
            EXPECT_EQ(out[0].Value, 0x41u);
        } else {
            EXPECT_TRUE(out.empty());
        }
    }
}

TEST(UartDecoder, DecodesEveryFormatItWrites)
{
    struct Case {
        int dataBits, parity, stopBits;
        bool msbFirst, inv;
        std::vector<std::uint32_t> values;
    };
    const Case cases[] = {
        {8, ParityNone, 1, false, false, {0x00, 0xFF, 0x41, 0x80}},
        {8, ParityEven, 1, false, false, {0x41, 0x43, 0x00}},
        {8, ParityOdd, 2, false, false, {0x41, 0x43, 0x00}},
        {7, ParityIgnore, 1, false, false, {0x7F, 0x01}},
        {2, ParityNone, 1, false, false, {0, 1, 2, 3}},
        {9, ParityNone, 1, false, false, {0x1FF, 0x100, 0x001}},
        {8, ParityNone, 1, true, false, {0x41, 0x01, 0x80}},
        {16, ParityOdd, 2, true, false, {0xBEEF, 0x0001}},
        {32, ParityNone, 1, false, false, {0xDEADBEEF, 0x80000001}},
        {32, ParityEven, 2, true, false, {0xDEADBEEF, 0x80000001}},
        // An inverted line idles low.
        {8, ParityNone, 1, false, true, {0x41, 0xFE}},
        {8, ParityEven, 2, true, true, {0x41, 0x7F}},
    };
    const std::uint32_t bitRate = 9600000;  // 10.42 samples per bit at Divider 1
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.dataBits << " bits, parity " << c.parity << ", stop " << c.stopBits
                                          << (c.msbFirst ? " MSB" : " LSB") << (c.inv ? " inverted" : ""));
        UartWriter w{1e8 / bitRate, c.dataBits, c.parity, c.stopBits, c.msbFirst};
        std::vector<int> level(4000, 1);
        std::vector<double> starts;
        double at = 20.3;
        for (std::uint32_t v : c.values) {
            starts.push_back(at);
            at = w.Put(level, at, v) + 3 * w.spb;
        }
        if (c.inv)
            for (int& l : level) l = 1 - l;
        const auto out = Decode(Codes(level), 1, Format(w, bitRate), c.inv);
        ASSERT_EQ(out.size(), c.values.size());
        const int bits = 1 + c.dataBits + (c.parity ? 1 : 0) + c.stopBits;
        for (std::size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(out[i].Value, c.values[i]) << i;
            EXPECT_EQ(out[i].Flags, 0u) << i;
            // The first low sample follows a high one: the start is the sample before.
            const auto start = static_cast<std::uint32_t>(std::ceil(starts[i])) - 1;
            EXPECT_EQ(out[i].Start, start) << i;
            EXPECT_EQ(out[i].End, start + static_cast<std::uint32_t>(std::lround(bits * w.spb))) << i;
        }
    }
}

TEST(UartDecoder, BitOrderOnlyChangesHowTheValueIsAssembled)
{
    UartWriter w{kSpb9600};
    std::vector<int> level(1000, 1);
    w.Put(level, 100, 0x41);  // wire order 1,0,0,0,0,0,1,0
    auto out = Decode(Codes(level), 200, {9600, 8, ParityNone, 1, true});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Value, 0x82u);
    out = Decode(Codes(level), 200, {9600, 6, ParityNone, 1, false});
    ASSERT_GE(out.size(), 1u);
    EXPECT_EQ(out[0].Value, 0x01u);  // the first six wire bits, LSB first
}

TEST(UartDecoder, ParityBitIsCheckedForEvenAndOddOnly)
{
    struct Case {
        int parity;
        std::uint32_t value;
        int parityBit;
        bool error;
    };
    const Case cases[] = {
        {ParityEven, 0x41, 0, false}, {ParityEven, 0x41, 1, true},    {ParityEven, 0x43, 1, false},
        {ParityEven, 0x43, 0, true},  {ParityOdd, 0x41, 1, false},    {ParityOdd, 0x41, 0, true},
        {ParityOdd, 0x00, 1, false},  {ParityIgnore, 0x41, 0, false}, {ParityIgnore, 0x41, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "parity " << c.parity << " value " << c.value << " bit " << c.parityBit);
        UartWriter w{kSpb9600, 8, c.parity};
        std::vector<int> bits = w.Bits(c.value);
        bits[9] = c.parityBit;
        std::vector<int> level(1000, 1);
        w.Put(level, 100, bits);
        const auto out = Decode(Codes(level), 200, Format(w, 9600));
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].Value, c.value);
        EXPECT_EQ(out[0].Flags, c.error ? DecodedParityError : 0u);
    }
}

TEST(UartDecoder, StopBitReadLowIsFlaggedAndStillListed)
{
    struct Case {
        int stopBits;
        std::vector<int> stops;
        bool error;
    };
    const Case cases[] = {
        {1, {0}, true}, {2, {1, 0}, true}, {2, {0, 1}, true}, {2, {0, 0}, true}, {2, {1, 1}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.stopBits << " stop bits, " << c.stops[0] << c.stops.back());
        UartWriter w{kSpb9600, 8, ParityNone, c.stopBits};
        std::vector<int> bits = w.Bits(0x55);
        for (int k = 0; k < c.stopBits; ++k) bits[9 + k] = c.stops[k];
        std::vector<int> level(2000, 1);
        const double end = w.Put(level, 100, bits);
        w.Put(level, end + 40, 0x31);
        const auto out = Decode(Codes(level), 200, Format(w, 9600));
        ASSERT_EQ(out.size(), 2u);
        EXPECT_EQ(out[0].Value, 0x55u);
        EXPECT_EQ(out[0].Flags, c.error ? DecodedStopError : 0u);
        EXPECT_EQ(out[1].Value, 0x31u);
        EXPECT_EQ(out[1].Flags, 0u);
    }
}

TEST(UartDecoder, CharacterEndingPastTheValidSamplesIsDropped)
{
    UartWriter w{kSpb9600};
    std::vector<int> level(2000, 1);
    w.Put(level, 101, 0x41);  // start 100, end 621
    w.Put(level, 801, 0x42);  // start 800, end 1321
    const auto codes = Codes(level);
    struct Case {
        int n;
        std::size_t count;
    };
    for (const Case& c : {Case{1322, 2}, Case{1321, 1}, Case{1300, 1}, Case{622, 1}, Case{621, 0}, Case{500, 0}}) {
        SCOPED_TRACE(c.n);
        const auto out = Decode(codes, 200, Format(w, 9600), false, c.n);
        EXPECT_EQ(out.size(), c.count);
        if (!out.empty()) {
            EXPECT_EQ(out[0].Value, 0x41u);
        }
    }
}

TEST(UartDecoder, NeverReadsPastTheBuffers)
{
    UartWriter w{kSpb9600};
    std::vector<int> level(2000, 1);
    w.Put(level, 101, 0x41);
    w.Put(level, 801, 0x42);
    // A count far beyond the buffers: only what they hold is decoded.
    const std::vector<std::int32_t> first = Codes(level), second(first.begin(), first.begin() + 1000);
    std::vector<DecodedChar> out(4);
    ASSERT_EQ(DecodeUart(first, second, 1'000'000, 200, 0.5, 0.5, false, Format(w, 9600), out), 1);
    EXPECT_EQ(out[0].Value, 0x41u);
}

TEST(UartDecoder, MissingSampleEndsTheValidSamples)
{
    UartWriter w{kSpb9600};
    std::vector<int> level(2000, 1);
    w.Put(level, 101, 0x41);  // start 100, end 621
    w.Put(level, 801, 0x42);
    struct Case {
        int missingAt;
        bool inSecond;
        std::size_t count;
    };
    // 300 lies inside the first character but is never read: it still ends the samples.
    for (const Case& c : {Case{700, false, 1}, Case{700, true, 1}, Case{300, false, 0}, Case{1900, false, 2}}) {
        SCOPED_TRACE(::testing::Message() << "missing at " << c.missingAt << (c.inSecond ? " second" : " first"));
        std::vector<std::int32_t> first = Codes(level), second = first;
        (c.inSecond ? second : first)[static_cast<std::size_t>(c.missingAt)] = MissingSample;
        std::vector<DecodedChar> out(4);
        EXPECT_EQ(DecodeUart(first, second, 2000, 200, 0.5, 0.5, false, Format(w, 9600), out),
                  static_cast<int>(c.count));
    }
}

TEST(UartDecoder, GlitchIsAFalseStartAndTheSearchResumesAtItsReadPosition)
{
    // A glitch low at 1000..1009 starts at 999 and is read high at
    // 999 + 26 = 1025, where the search starts over without a level: an edge
    // right after 1025 is found, a second glitch before it is passed over.
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> glitches;  // low from, to
        int firstLow;                               // first low sample of the character
    };
    const Case cases[] = {
        {"no glitch", {}, 1026},
        {"character right after the read position", {{1000, 1010}}, 1026},
        {"second glitch before the read position", {{1000, 1010}, {1015, 1020}}, 1035},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UartWriter w{kSpb9600};
        std::vector<int> level(3000, 1);
        for (auto [from, to] : c.glitches)
            for (int i = from; i < to; ++i) level[static_cast<std::size_t>(i)] = 0;
        w.Put(level, c.firstLow, 0x41);
        const auto out = Decode(Codes(level), 200, Format(w, 9600));
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].Start, static_cast<std::uint32_t>(c.firstLow - 1));
        EXPECT_EQ(out[0].Value, 0x41u);
    }
}

TEST(UartDecoder, LevelsUseTheWindowWithHysteresis)
{
    // Analog codes against the window 100..150. The start is the sample
    // before a clean low, or the sample whose pair spans the window.
    UartWriter w{kSpb9600};
    std::vector<int> level(1000, 1);
    w.Put(level, 101, 0x41);
    struct Case {
        const char* name;
        std::int32_t a, b;  // the pair at 100
        std::int32_t from;  // codes 96..99 (in the window: the previous level holds)
        std::uint32_t start;
    };
    const Case cases[] = {
        {"clean high before", 200, 200, 200, 100},
        {"in the window before", 125, 125, 125, 100},
        {"pair spans the window", 20, 200, 200, 100},
        {"pair below the window", 20, 99, 200, 99},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::int32_t> first = Codes(level, 20, 200), second = first;
        for (int i = 96; i < 100; ++i) first[i] = second[i] = c.from;
        first[100] = c.a;
        second[100] = c.b;
        std::vector<DecodedChar> out(4);
        ASSERT_EQ(DecodeUart(first, second, 1000, 200, 100, 150, false, Format(w, 9600), out), 1);
        EXPECT_EQ(out[0].Start, c.start);
        EXPECT_EQ(out[0].Value, 0x41u);
    }
    // Falling only into the window is no start.
    std::vector<std::int32_t> codes(1000, 200);
    for (int i = 100; i < 600; ++i) codes[i] = 101;
    EXPECT_TRUE(Decode(codes, 200, Format(w, 9600), false, kAllSamples, 100, 150).empty());
}

TEST(UartDecoder, BitIsThePairMeanAgainstTheWindowMiddle)
{
    // Character 0x00; data bit 0 is read at 100 + 78 from the pair there.
    struct Case {
        std::int32_t a, b;
        std::uint32_t value;
    };
    for (const Case& c : {Case{40, 220, 1}, Case{20, 229, 0}, Case{25, 225, 1}, Case{130, 130, 1}, Case{120, 120, 0}}) {
        SCOPED_TRACE(::testing::Message() << c.a << "/" << c.b);
        UartWriter w{kSpb9600};
        std::vector<int> level(1000, 1);
        w.Put(level, 101, 0x00);
        std::vector<std::int32_t> first = Codes(level, 20, 200), second = first;
        first[178] = c.a;
        second[178] = c.b;
        std::vector<DecodedChar> out(4);
        ASSERT_EQ(DecodeUart(first, second, 1000, 200, 100, 150, false, Format(w, 9600), out), 1);
        EXPECT_EQ(out[0].Value, c.value);
    }
}

TEST(UartDecoder, KeepsTheFirstThousandCharacters)
{
    UartWriter w{4};  // 25 Mbit/s at Divider 1
    std::vector<int> level(1005 * 44 + 10, 1);
    for (int k = 0; k < 1005; ++k) w.Put(level, 4 + 44 * k, static_cast<std::uint32_t>(k & 0xFF));
    const auto codes = Codes(level);
    const auto out = Decode(codes, 1, Format(w, 25000000));
    ASSERT_EQ(out.size(), 1000u);
    EXPECT_EQ(out[999].Value, 999u & 0xFF);
    EXPECT_EQ(out[999].Start, 3u + 44u * 999u);

    std::vector<DecodedChar> small(7);
    EXPECT_EQ(DecodeUart(codes, codes, static_cast<int>(codes.size()), 1, 0.5, 0.5, false, Format(w, 25000000), small),
              7);
}

// ---------------------------------------------------------------------------
// DecodeFrameSerial

// A 10 ms frame of 5000 samples (Divider 200) with all four channels, shown,
// at 1 V/div on both scales; analog lines swing 50..200 around the window 128.
struct SerialFrame {
    ScopeSettings s;
    AcqConfig acq;
    std::unique_ptr<FrameSet> frame = std::make_unique<FrameSet>();
    DecodedTables t;

    SerialFrame()
    {
        s.Dec_Type = 1;
        s.Dec_Baud_Rate = 9600;
        s.Dec_Data_Bits = 8;
        s.Dec_PRTY = 0;
        s.Dec_Stop_Bits = 1;
        s.Dec_MSB_First = 0;
        s.Dec_RXD = 1;
        s.Dec_TXD = 0;
        s.Dec_RXD_Inv = s.Dec_TXD_Inv = 0;
        s.CH_A1 = s.CH_A2 = s.CH_D1 = s.CH_D2 = true;
        s.Lev_A1 = s.Lev_A2 = 128;
        s.A1_Zero = s.A2_Zero = 128;
        s.Hyst = 0;
        acq.uV_Div_A1 = acq.uV_Div_A2 = 1000000;
        FrameRecord& r = frame->rec;
        r.Divider = 200;
        r.FrameLen = r.ValidLen = 5000;
        r.ChannelMask = 0xF;
        r.uV_Div_A1 = r.uV_Div_A2 = 1000000;
        r.A1_Zero = r.A2_Zero = 128;
    }

    // Writes `text` at 9600 bit/s into a channel.
    void Write(int channel, const std::string& text, std::int32_t low, std::int32_t high)
    {
        UartWriter w{kSpb9600};
        std::vector<int> level(5000, 1);
        double at = 200;
        for (unsigned char ch : text) at = w.Put(level, at, ch) + 30;
        const auto codes = Codes(level, low, high);
        std::copy(codes.begin(), codes.end(), frame->buf.First(channel));
        std::copy(codes.begin(), codes.end(), frame->buf.Second(channel));
    }
    void WriteAll()
    {
        Write(ChanA1, "a1", 50, 200);
        Write(ChanA2, "a2", 50, 200);
        Write(ChanD1, "d1", 0, 1);
        Write(ChanD2, "d2", 0, 1);
    }

    static std::string Chars(std::span<const DecodedChar> table)
    {
        std::string text;
        for (const DecodedChar& c : table) text += static_cast<char>(c.Value);
        return text;
    }
};

TEST(DecodeFrameSerial, EachLineReadsItsSelectedChannel)
{
    SerialFrame f;
    f.WriteAll();
    struct Case {
        int source;
        const char* text;
    };
    for (const Case& c : {Case{0, ""}, Case{1, "a1"}, Case{2, "d1"}, Case{3, "a2"}, Case{4, "d2"}}) {
        SCOPED_TRACE(c.source);
        f.s.Dec_RXD = c.source;
        f.s.Dec_TXD = c.source == 0 ? 0 : 5 - c.source;  // another channel on TXD
        ASSERT_TRUE(DecodeFrameSerial(f.s, f.acq, *f.frame, f.t));
        EXPECT_EQ(SerialFrame::Chars(f.t.Rx()), c.text);
        EXPECT_EQ(f.t.TxCount, c.source == 0 ? 0 : 2);
    }
    f.s.Dec_RXD = 2;
    f.s.Dec_TXD = 3;
    ASSERT_TRUE(DecodeFrameSerial(f.s, f.acq, *f.frame, f.t));
    EXPECT_EQ(SerialFrame::Chars(f.t.Tx()), "a2");
}

TEST(DecodeFrameSerial, LineNotShownOrNotInTheFrameIsNotDecoded)
{
    struct Case {
        const char* name;
        int source;
        bool ScopeSettings::*shown;
        int maskBit;
    };
    const Case cases[] = {
        {"A1", 1, &ScopeSettings::CH_A1, 1},
        {"D1", 2, &ScopeSettings::CH_D1, 4},
        {"A2", 3, &ScopeSettings::CH_A2, 2},
        {"D2", 4, &ScopeSettings::CH_D2, 8},
    };
    SerialFrame f;
    f.WriteAll();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        f.s.Dec_RXD = c.source;
        f.s.*c.shown = false;
        ASSERT_TRUE(DecodeFrameSerial(f.s, f.acq, *f.frame, f.t));
        EXPECT_EQ(f.t.RxCount, 0) << "not shown";
        f.s.*c.shown = true;
        f.frame->rec.ChannelMask = 0xF & ~c.maskBit;
        ASSERT_TRUE(DecodeFrameSerial(f.s, f.acq, *f.frame, f.t));
        EXPECT_EQ(f.t.RxCount, 0) << "not in the frame";
        f.frame->rec.ChannelMask = 0xF;
        ASSERT_TRUE(DecodeFrameSerial(f.s, f.acq, *f.frame, f.t));
        EXPECT_EQ(f.t.RxCount, 2);
    }
}

TEST(DecodeFrameSerial, OnlyRs232DecodesAndOffLeavesTheTables)
{
    SerialFrame f;
    f.WriteAll();
    f.s.Dec_TXD = 2;
    ASSERT_TRUE(DecodeFrameSerial(f.s, f.acq, *f.frame, f.t));
    ASSERT_EQ(f.t.RxCount, 2);
    ASSERT_EQ(f.t.TxCount, 2);

    f.s.Dec_Type = 0;  // nothing decoded, the last tables stay
    EXPECT_FALSE(DecodeFrameSerial(f.s, f.acq, *f.frame, f.t));
    EXPECT_EQ(f.t.RxCount, 2);

    f.s.Dec_Type = 1;
    f.frame->rec.FrameLen = 0;  // an empty frame
    EXPECT_FALSE(DecodeFrameSerial(f.s, f.acq, *f.frame, f.t));
    EXPECT_EQ(f.t.RxCount, 2);
    f.frame->rec.FrameLen = 5000;

    for (int type : {2, 3, 4}) {
        SCOPED_TRACE(type);
        f.s.Dec_Type = type;
        ASSERT_TRUE(DecodeFrameSerial(f.s, f.acq, *f.frame, f.t));
        EXPECT_EQ(f.t.RxCount, 0);
        EXPECT_EQ(f.t.TxCount, 0);
    }
}

TEST(DecodeFrameSerial, ThresholdsFollowTheTriggerWindowInTheFrameScale)
{
    SerialFrame f;
    f.s.Hyst = 2;  // 3 codes either side
    f.s.Lev_A1 = 160;
    f.s.A1_Zero = 128;
    f.acq.uV_Div_A1 = 1000000;
    f.s.Lev_A2 = 100.4;
    f.s.A2_Zero = 120;
    f.acq.uV_Div_A2 = 200000;
    FrameRecord& r = f.frame->rec;
    r.uV_Div_A1 = 500000;  // A1 taken at half the volts/div, zero at 60
    r.A1_Zero = 60;
    r.uV_Div_A2 = 500000;
    r.A2_Zero = 128;

    struct Case {
        int source;
        double lo, hi;
    };
    // A1: 157..163 -> (29 x 2) + 60, (35 x 2) + 60. A2: 97..103 -> -9.2, -6.8 rounded, + 128.
    for (const Case& c : {Case{1, 118, 130}, Case{3, 119, 121}, Case{2, 0.5, 0.5}, Case{4, 0.5, 0.5}}) {
        SCOPED_TRACE(c.source);
        const LineThresholds th = DecoderLineThresholds(f.s, f.acq, *f.frame, c.source);
        EXPECT_EQ(th.lo, c.lo);
        EXPECT_EQ(th.hi, c.hi);
    }

    // 100 / 140 is low / high only in the frame's scale (the current
    // scale's window 157..163 would read both low).
    f.Write(ChanA1, "ok", 100, 140);
    ASSERT_TRUE(DecodeFrameSerial(f.s, f.acq, *f.frame, f.t));
    EXPECT_EQ(SerialFrame::Chars(f.t.Rx()), "ok");

    // Without a frame scale the window stays in the current codes.
    r.uV_Div_A1 = 0;
    const LineThresholds th = DecoderLineThresholds(f.s, f.acq, *f.frame, 1);
    EXPECT_EQ(th.lo, 157);
    EXPECT_EQ(th.hi, 163);
}

TEST(DecodeFrameSerial, InvertedLineAndFormatComeFromTheSettings)
{
    SerialFrame f;
    f.s.Dec_RXD = 2;
    f.s.Dec_RXD_Inv = 1;
    f.Write(ChanD1, "Hi", 1, 0);  // idles low
    ASSERT_TRUE(DecodeFrameSerial(f.s, f.acq, *f.frame, f.t));
    EXPECT_EQ(SerialFrame::Chars(f.t.Rx()), "Hi");

    f.s.Dec_RXD_Inv = 0;
    ASSERT_TRUE(DecodeFrameSerial(f.s, f.acq, *f.frame, f.t));
    EXPECT_NE(SerialFrame::Chars(f.t.Rx()), "Hi");

    f.s.Dec_RXD_Inv = 1;
    f.s.Dec_MSB_First = 1;
    ASSERT_TRUE(DecodeFrameSerial(f.s, f.acq, *f.frame, f.t));
    ASSERT_EQ(f.t.RxCount, 2);
    EXPECT_EQ(f.t.RxChars[0].Value, 0x12u);  // 'H' = 0x48 bit-reversed

    f.s.Dec_MSB_First = 0;
    f.s.Dec_Baud_Rate = 115200;
    f.frame->rec.Divider = 500;  // 5 µs per sample: too few samples per bit
    ASSERT_TRUE(DecodeFrameSerial(f.s, f.acq, *f.frame, f.t));
    EXPECT_EQ(f.t.RxCount, 0);
}

// ---------------------------------------------------------------------------
// The decoder window's text

DecodedTables Tables(std::vector<std::uint32_t> rx, std::vector<std::uint32_t> tx,
                     std::vector<std::uint32_t> rxFlags = {})
{
    DecodedTables t;
    for (std::size_t i = 0; i < rx.size(); ++i)
        t.RxChars[i] = {i < rxFlags.size() ? rxFlags[i] : 0u, rx[i], static_cast<std::uint32_t>(i * 10), 0};
    for (std::size_t i = 0; i < tx.size(); ++i) t.TxChars[i] = {0, tx[i], static_cast<std::uint32_t>(i * 10), 0};
    t.RxCount = static_cast<int>(rx.size());
    t.TxCount = static_cast<int>(tx.size());
    return t;
}

TEST(DecoderText, ListsBothTablesInTheLanguage)
{
    const DecodedTables t =
        Tables({0x41, 0x0D, 0x7F}, {0x31}, {0, DecodedParityError, DecodedParityError | DecodedStopError});
    ScopeSettings s;
    s.Dec_Display = 0;
    s.Dec_Data_Bits = 8;
    s.Russian = false;
    EXPECT_EQ(DecoderText(s, t),
              "RXD (Data - 3, errors - 2)\r\n\r\n0x000:  41,0D,7F\r\n\r\n"
              "TXD (Data - 1, errors - 0)\r\n\r\n0x000:  31\r\n\r\n");
    s.Russian = true;
    EXPECT_EQ(DecoderText(s, t),
              "RXD (Данных - 3, ошибок - 2)\r\n\r\n0x000:  41,0D,7F\r\n\r\n"
              "TXD (Данных - 1, ошибок - 0)\r\n\r\n0x000:  31\r\n\r\n");

    s.Russian = false;
    EXPECT_EQ(DecoderText(s, Tables({}, {0x31})), "TXD (Data - 1, errors - 0)\r\n\r\n0x000:  31\r\n\r\n");
    EXPECT_EQ(DecoderText(s, Tables({}, {})), "");
}

TEST(DecoderText, WidthAndValuesPerLineFollowFormatAndDataBits)
{
    struct Case {
        int display, dataBits;
        std::uint32_t value;
        const char* item;
        int perLine;
    };
    const Case cases[] = {
        {0, 8, 0xAB, "AB", 16},
        {0, 9, 0x1FF, "01FF", 8},
        {0, 16, 0xBEEF, "BEEF", 8},
        {0, 17, 0x1ABCD, "0001ABCD", 4},
        {0, 32, 0xDEADBEEF, "DEADBEEF", 4},
        {1, 8, 65, "  65", 8},
        {1, 12, 4095, "  4095", 4},
        {1, 32, 4294967295u, " 4294967295", 2},
        {2, 8, 0x41, "A", 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "display " << c.display << ", " << c.dataBits << " bits");
        ScopeSettings s;
        s.Russian = false;
        s.Dec_Display = c.display;
        s.Dec_Data_Bits = c.dataBits;
        const std::vector<std::uint32_t> values(static_cast<std::size_t>(c.perLine + 1), c.value);
        std::string line = "0x000:  ";
        for (int i = 0; i < c.perLine; ++i) line += std::string(i && c.display != 2 ? "," : "") + c.item;
        char second[16];
        std::snprintf(second, sizeof second, "0x%03X:  ", c.perLine);
        EXPECT_EQ(DecoderText(s, Tables(values, {})), "RXD (Data - " + std::to_string(c.perLine + 1) +
                                                          ", errors - 0)\r\n\r\n" + line + "\r\n" + second + c.item +
                                                          "\r\n\r\n");
    }
}

TEST(DecoderText, AsciiShowsPrintableCodesAndDashes)
{
    ScopeSettings s;
    s.Russian = false;
    s.Dec_Display = 2;
    s.Dec_Data_Bits = 9;
    EXPECT_EQ(DecoderText(s, Tables({0x41, 0x0D, 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0x141}, {})),
              "RXD (Data - 8, errors - 0)\r\n\r\n0x000:  A-- ~\x7F--\r\n\r\n");
}

TEST(DecoderText, HolderReplacesTheTextOnlyWhenItDiffers)
{
    ScopeSettings s;
    s.Russian = false;
    s.Dec_Display = 0;
    s.Dec_Data_Bits = 8;
    DecoderTextHolder memo;
    DecodedTables t = Tables({0x41}, {});
    EXPECT_TRUE(memo.Update(s, t));
    EXPECT_EQ(memo.Text(), DecoderText(s, t));
    EXPECT_FALSE(memo.Update(s, t));
    t.RxChars[0].Value = 0x42;
    EXPECT_TRUE(memo.Update(s, t));
    EXPECT_EQ(memo.Text(), DecoderText(s, t));
    s.Russian = true;
    EXPECT_TRUE(memo.Update(s, t));
    EXPECT_TRUE(memo.Clear());
    EXPECT_EQ(memo.Text(), "");
    EXPECT_FALSE(memo.Clear());
}

}  // namespace
}  // namespace kr40
