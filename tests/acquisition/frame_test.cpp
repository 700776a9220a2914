#include "acquisition/frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/sample.h"

namespace kr40 {
namespace {

using Status = std::array<std::uint8_t, 128>;

void Put16(Status& st, int k, unsigned v)
{
    st[k] = static_cast<std::uint8_t>(v);
    st[k + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(Status& st, int k, std::uint32_t v)
{
    Put16(st, k, v & 0xFFFFu);
    Put16(st, k + 2, v >> 16);
}

std::uint64_t ReadLE(const std::uint8_t* p, int bytes)
{
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

// Encodes samples the way the instrument sends them: per sample the A1 and A2
// bytes of the present channels; digital bits collect (D1 before D2) and every
// fourth pending bit completes a byte, first bit in bit 3.
std::vector<std::uint8_t> EncodePayload(unsigned present, int n, const std::function<int(int, int)>& value)
{
    std::vector<std::uint8_t> out;
    std::vector<int> pending;
    for (int i = 0; i < n; ++i) {
        if (present & 1u) out.push_back(static_cast<std::uint8_t>(value(ChanA1, i)));
        if (present & 2u) out.push_back(static_cast<std::uint8_t>(value(ChanA2, i)));
        if (present & 4u) pending.push_back(value(ChanD1, i));
        if (present & 8u) pending.push_back(value(ChanD2, i));
        if (pending.size() == 4) {
            int byte = 0;
            for (int k = 0; k < 4; ++k) byte |= (pending[k] & 1) << (3 - k);
            out.push_back(static_cast<std::uint8_t>(byte));
            pending.clear();
        }
    }
    return out;
}

// (A1, A2) together identify the sample index; the digital lines are slow
// square waves of different periods.
int Pattern(int ch, int i)
{
    switch (ch) {
        case ChanA1:
            return 1 + i % 250;
        case ChanA2:
            return 1 + (i / 250) % 250;
        case ChanD1:
            return (i / 3) & 1;
        default:
            return (i / 7) & 1;
    }
}

std::vector<std::int32_t>& Buffer(FrameBuffers& b, int ch, bool second)
{
    std::vector<std::int32_t>* table[4][2] = {{&b.A1_First, &b.A1_Second},
                                              {&b.A2_First, &b.A2_Second},
                                              {&b.D1_First, &b.D1_Second},
                                              {&b.D2_First, &b.D2_Second}};
    return *table[ch][second ? 1 : 0];
}

// Index of the first entry of [from, to) that is not MissingSample, or -1.
int FirstFilled(const std::vector<std::int32_t>& b, int from, int to)
{
    for (int i = from; i < to; ++i) {
        if (b[i] != MissingSample) return i;
    }
    return -1;
}

TEST(FrameRecordTest, NamedFieldsLandAtTheirOffsets)
{
    FrameRecord r{};
    std::int32_t* ints[] = {&r.StatusWord,     &r.Divider,   &r.uV_Div_A1,     &r.A1_Zero,    &r.uV_Div_A2,
                            &r.A2_Zero,        &r.FrameLen,  &r.PreLen,        &r.ValidLen,   &r.RingEnd,
                            &r.RollFlag,       &r.PairFlag,  &r.TrigLevelCode, &r.TrigSource, &r.TrigFine10,
                            &r.TrigFine10Copy, &r.FineBase1, &r.FineBase2,     &r.ChannelMask};
    for (int i = 0; i < 19; ++i) *ints[i] = 0x11000000 + i * 4;
    r.F_Span = 0x11000000 + 76;
    r.F_Val = 0x11000000 + 80;
    std::int32_t* more[] = {&r.FmStatus, &r.FmCount,      &r.FmTime,       &r.TimeBaseCal,   &r.SumA1,
                            &r.SumA2,    &r.PeakToPeakA1, &r.PeakToPeakA2, &r.TrigTimeLimit, &r.AdvTrigKind};
    for (int i = 0; i < 10; ++i) *more[i] = 0x11000000 + 84 + i * 4;
    r.TrigSourceCode = 0xA1;
    r.TrigState = 0xA2;
    r.EventCount = 0xB126;
    r.Status66 = 0xB128;
    r.Status74 = 0xB130;
    for (int i = 0; i < 4; ++i) r.Reserved132[i] = 0x11000000 + 132 + i * 4;
    r.SumSqA1 = 0xF1000000u + 148;
    r.SumSqA2 = 0xF1000000u + 152;
    r.DecodedFrames = 0xF1000000u + 156;
    r.Checksum = 0xF1000000u + 160;

    std::uint8_t bytes[sizeof(FrameRecord)];
    std::memcpy(bytes, &r, sizeof r);
    for (int off = 0; off < 124; off += 4) {
        EXPECT_EQ(ReadLE(bytes + off, 4), 0x11000000u + off) << off;
    }
    EXPECT_EQ(bytes[124], 0xA1);
    EXPECT_EQ(bytes[125], 0xA2);
    EXPECT_EQ(ReadLE(bytes + 126, 2), 0xB126u);
    EXPECT_EQ(ReadLE(bytes + 128, 2), 0xB128u);
    EXPECT_EQ(ReadLE(bytes + 130, 2), 0xB130u);
    for (int off = 132; off < 148; off += 4) {
        EXPECT_EQ(ReadLE(bytes + off, 4), 0x11000000u + off) << off;
    }
    for (int off = 148; off < 164; off += 4) {
        EXPECT_EQ(ReadLE(bytes + off, 4), 0xF1000000u + off) << off;
    }
}

TEST(FrameBuffersTest, StartAndClearEmpty)
{
    auto b = std::make_unique<FrameBuffers>();
    for (int ch = 0; ch < 4; ++ch) {
        for (bool second : {false, true}) {
            ASSERT_EQ(Buffer(*b, ch, second).size(), static_cast<std::size_t>(FrameCapacity));
            EXPECT_EQ(FirstFilled(Buffer(*b, ch, second), 0, FrameCapacity), -1);
        }
    }
    b->D2_Second[FrameCapacity - 1] = 1;
    b->A1_First[0] = 7;
    b->filled = FrameCapacity;
    b->Clear();
    EXPECT_EQ(FirstFilled(b->D2_Second, 0, FrameCapacity), -1);
    EXPECT_EQ(FirstFilled(b->A1_First, 0, FrameCapacity), -1);
    EXPECT_EQ(b->filled, 0);
}

// The cheap clear empties every entry below `filled` in all eight buffers:
// the first and the last one, and both ends of the buffers at full use.
TEST(FrameBuffersTest, ClearUsedEmptiesEverythingBelowFilled)
{
    auto b = std::make_unique<FrameBuffers>();
    for (const int filled : {1, 2, 1000, FrameCapacity}) {
        SCOPED_TRACE(testing::Message() << "filled " << filled);
        for (int ch = 0; ch < 4; ++ch) {
            for (bool second : {false, true}) {
                std::vector<std::int32_t>& v = Buffer(*b, ch, second);
                for (int i : {0, filled / 2, filled - 1}) v[i] = 1 + ch;
            }
        }
        b->filled = filled;
        b->ClearUsed();
        EXPECT_EQ(b->filled, 0);
        for (int ch = 0; ch < 4; ++ch) {
            for (bool second : {false, true}) {
                ASSERT_EQ(Buffer(*b, ch, second).size(), static_cast<std::size_t>(FrameCapacity));
                EXPECT_EQ(FirstFilled(Buffer(*b, ch, second), 0, FrameCapacity), -1)
                    << "ch " << ch << (second ? " second" : " first");
            }
        }
    }

    // A count outside the buffers clears all of them and no further.
    b->A1_First[FrameCapacity - 1] = 3;
    b->filled = FrameCapacity + 5;
    b->ClearUsed();
    EXPECT_EQ(FirstFilled(b->A1_First, 0, FrameCapacity), -1);
    b->filled = -1;
    b->ClearUsed();
    EXPECT_EQ(b->filled, 0);
}

class DecodeFrameTest : public ::testing::Test {
public:
    void SetUp() override
    {
        ctx.acq = &acq;
        ctx.A1_Zero = 128;
        ctx.A2_Zero = 64;
    }

    // A triggered-mode frame of n samples: pre-trigger count `pre`, the rest
    // post-trigger, trigger at ring position `trig`; samples follow Pattern.
    void NormalFrame(unsigned mask, int n, int pre, int trig)
    {
        acq.Smpl_N = n;
        st.fill(0);
        st[0x1C] = static_cast<std::uint8_t>(mask);
        Put16(st, 0x08, static_cast<unsigned>(pre));
        Put16(st, 0x0A, static_cast<unsigned>(n - pre));
        Put16(st, 0x2A, static_cast<unsigned>(trig));
        payload = EncodePayload(mask, n, Pattern);
    }

    // A roll-mode ring frame of n samples with write position w.
    void RingFrame(unsigned mask, int n, int w, bool wrapped)
    {
        NormalFrame(mask, n, 0, 0);
        st[0x00] = wrapped ? 0x03 : 0x01;
        st[0x1D] = 0x01;
        Put16(st, 0x28, static_cast<unsigned>(w));
    }

    DecodeResult Decode(std::uint8_t type = 0x8F)
    {
        return DecodeFrame(type, payload, std::span<const std::uint8_t, 128>(st), ctx, *live, rec);
    }

    // Sample k of Pattern at position `pos` in both buffers of every channel.
    void ExpectSampleAt(int pos, int k)
    {
        for (int ch = 0; ch < 4; ++ch) {
            ASSERT_EQ(Buffer(live->buf, ch, false)[pos], Pattern(ch, k)) << "ch " << ch << " pos " << pos;
            ASSERT_EQ(Buffer(live->buf, ch, true)[pos], Pattern(ch, k)) << "ch " << ch << " pos " << pos;
        }
    }

    void ExpectEmptyFrom(int from)
    {
        for (int ch = 0; ch < 4; ++ch) {
            for (bool second : {false, true}) {
                EXPECT_EQ(FirstFilled(Buffer(live->buf, ch, second), from, FrameCapacity), -1) << "ch " << ch;
            }
        }
    }

    AcqConfig acq;
    DecodeContext ctx;
    std::unique_ptr<FrameSet> live = std::make_unique<FrameSet>();
    RecorderStream rec;
    Status st{};
    std::vector<std::uint8_t> payload;
};

TEST_F(DecodeFrameTest, NormalFrameRotatesTriggerSampleToPreLen)
{
    NormalFrame(0x0F, 5000, 100, 4000);
    ASSERT_EQ(Decode(0x8F), DecodeResult::Ok);

    const FrameRecord& r = live->rec;
    EXPECT_EQ(r.FrameLen, 5000);
    EXPECT_EQ(r.PreLen, 100);
    EXPECT_EQ(r.ValidLen, 5000);
    EXPECT_EQ(r.RingEnd, 5000);
    EXPECT_EQ(r.PairFlag, 0);
    EXPECT_EQ(r.FineBase1, 5);
    EXPECT_EQ(r.FineBase2, 5);
    EXPECT_EQ(r.ChannelMask, 0x0F);

    ExpectSampleAt(0, 3900);
    ExpectSampleAt(100, 4000);
    for (int pos = 0; pos < 5000; ++pos) {
        ExpectSampleAt(pos, (pos - 100 + 4000) % 5000);
    }
    ExpectEmptyFrom(5000);
}

// Payload byte order and digital bit order, written out by hand.
TEST_F(DecodeFrameTest, PayloadByteAndBitOrder)
{
    constexpr std::int32_t M = MissingSample;
    struct Case {
        const char* name;
        unsigned mask;
        std::vector<std::uint8_t> payload;
        std::array<std::vector<std::int32_t>, 4> expected;  // A1 A2 D1 D2
    };
    const Case cases[] = {
        {"D1 alone takes bits 3, 2, 1, 0",
         0x04,
         {0x0A, 0x06},
         {{{M, M, M, M, M, M, M, M}, {M, M, M, M, M, M, M, M}, {1, 0, 1, 0, 0, 1, 1, 0}, {M, M, M, M, M, M, M, M}}}},
        {"D1 and D2 share a byte per two samples",
         0x0C,
         {0x09, 0x07},
         {{{M, M, M, M}, {M, M, M, M}, {1, 0, 0, 1}, {0, 1, 1, 1}}}},
        {"A1 bytes between the digital bytes",
         0x0D,
         {10, 11, 0x09, 12, 13, 0x07},
         {{{10, 11, 12, 13}, {M, M, M, M}, {1, 0, 0, 1}, {0, 1, 1, 1}}}},
        {"partial last group has no digital byte",
         0x0B,
         {1, 2, 3, 4, 5, 6, 7, 8, 0x05, 9, 10, 11, 12},
         {{{1, 3, 5, 7, 9, 11}, {2, 4, 6, 8, 10, 12}, {M, M, M, M, M, M}, {0, 1, 0, 1, M, M}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int n = static_cast<int>(c.expected[0].size());
        NormalFrame(c.mask, n, 0, 0);
        payload = c.payload;
        ASSERT_EQ(Decode(), DecodeResult::Ok);
        for (int ch = 0; ch < 4; ++ch) {
            for (int i = 0; i < n; ++i) {
                EXPECT_EQ(Buffer(live->buf, ch, false)[i], c.expected[ch][i]) << "ch " << ch << " i " << i;
                EXPECT_EQ(Buffer(live->buf, ch, true)[i], c.expected[ch][i]) << "ch " << ch << " i " << i;
            }
        }
    }
}

TEST_F(DecodeFrameTest, UnwrappedRingKeepsSamplesBeforeW)
{
    NormalFrame(0x0F, 40000, 0, 0);  // leaves every entry filled
    ASSERT_EQ(Decode(), DecodeResult::Ok);

    RingFrame(0x0F, 20000, 1200, false);
    ASSERT_EQ(Decode(), DecodeResult::Ok);
    EXPECT_EQ(live->rec.FrameLen, 20000);
    EXPECT_EQ(live->rec.ValidLen, 1200);
    EXPECT_EQ(live->rec.RingEnd, 1200);
    EXPECT_EQ(live->rec.RollFlag, 1);
    for (int pos = 0; pos < 1200; ++pos) ExpectSampleAt(pos, pos);
    // 1200..19999 empty, and nothing of the longer frame before survives.
    ExpectEmptyFrom(1200);
}

TEST_F(DecodeFrameTest, WrappedRingPlacement)
{
    struct Case {
        bool scroll;
        int w;
        int ringEnd;
        int posOfFirst;  // where sample 0 goes
    };
    const Case cases[] = {
        {true, 300, 1000, 700},  // oldest sample (300) first
        {false, 300, 300, 0},    // unscrolled: as acquired, ring end at W
        {true, 0, 1000, 0},
        {true, 1000, 1000, 0},  // W = FrameLen: a full ring
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "scroll " << c.scroll << " W " << c.w);
        acq.Scroll = c.scroll;
        RingFrame(0x0F, 1000, c.w, true);
        ASSERT_EQ(Decode(), DecodeResult::Ok);
        EXPECT_EQ(live->rec.ValidLen, 1000);
        EXPECT_EQ(live->rec.RingEnd, c.ringEnd);
        for (int k = 0; k < 1000; ++k) ExpectSampleAt((c.posOfFirst + k) % 1000, k);
    }
}

// Pair mode (A2 and D1 transferred) with peak detect: two samples per position.
TEST_F(DecodeFrameTest, PairFrameWithA2AndD1)
{
    NormalFrame(0x0F, 400, 0, 0);
    ASSERT_EQ(Decode(), DecodeResult::Ok);

    acq.Smpl_N = 400;
    st.fill(0);
    st[0x1C] = 0x0F;
    st[0x02] = 0x03;  // pair mode, analog channel A2, digital channel D1
    st[0x01] = 0x01;  // peak detect
    Put16(st, 0x08, 40);
    Put16(st, 0x0A, 360);
    Put16(st, 0x2A, 100);  // 50 after halving
    payload = EncodePayload(0x06, 400, Pattern);
    ASSERT_EQ(payload.size(), 500u);
    ASSERT_EQ(Decode(0x8F), DecodeResult::Ok);

    const FrameRecord& r = live->rec;
    EXPECT_EQ(r.FrameLen, 200);
    EXPECT_EQ(r.PreLen, 20);
    EXPECT_EQ(r.ValidLen, 200);
    EXPECT_EQ(r.PairFlag, 1);
    EXPECT_EQ(r.FineBase1, 0);
    EXPECT_EQ(r.FineBase2, 0);
    EXPECT_EQ(r.TrigFine10, 0);

    for (int ch : {ChanA1, ChanD2}) {
        for (bool second : {false, true}) {
            EXPECT_EQ(FirstFilled(Buffer(live->buf, ch, second), 0, FrameCapacity), -1) << ch;
        }
    }
    // The trigger pair (50) lands at PreLen (20): pair k at (k - 30) mod 200.
    for (int pos = 0; pos < 200; ++pos) {
        const int k = (pos + 30) % 200;
        for (int ch : {ChanA2, ChanD1}) {
            ASSERT_EQ(Buffer(live->buf, ch, false)[pos], Pattern(ch, 2 * k)) << ch << " " << pos;
            ASSERT_EQ(Buffer(live->buf, ch, true)[pos], Pattern(ch, 2 * k + 1)) << ch << " " << pos;
        }
    }
    EXPECT_EQ(FirstFilled(live->buf.A2_First, 200, FrameCapacity), -1);
}

TEST_F(DecodeFrameTest, SumsSquaresAndPeakToPeak)
{
    struct Case {
        const char* name;
        int ch;
        bool pair;
        std::vector<std::uint8_t> codes;  // in payload order
        int zero;
        std::int32_t sum;
        std::uint32_t sumSq;
        std::int32_t p2p;
    };
    std::vector<Case> cases = {
        // Pairs (10,5) (70,41) (50,61): halving happens once at the end; the
        // peak-to-peak is max(second) - min(first), not of all values.
        {"pair frame", ChanA1, true, {10, 5, 70, 41, 50, 61}, 20, 118, 2923, 51},
        {"normal frame", ChanA1, false, {1, 253, 100}, 0, 354, 74010, 252},
        {"A2 with its own zero", ChanA2, false, {60, 40}, 50, 100, 200, 20},
        {"code 0 clips", ChanA1, false, {0, 100, 120}, 0, 220, 24400, -1},
        {"code 254 clips", ChanA1, false, {254, 100}, 0, 354, 74516, -1},
        {"code 255 clips", ChanA2, false, {100, 255}, 0, 355, 75025, -1},
    };
    // A full frame at the top code: the sum of squares needs all 32 bits.
    cases.push_back({"full scale", ChanA1, false, std::vector<std::uint8_t>(40000, 254), 0, 10160000, 2580640000u, -1});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int n = static_cast<int>(c.codes.size());
        NormalFrame(c.ch == ChanA1 ? 0x01 : 0x02, n, 0, 0);
        st[0x01] = c.pair ? 0x01 : 0x00;
        payload = c.codes;
        ctx.A1_Zero = ctx.A2_Zero = c.zero;
        ASSERT_EQ(Decode(), DecodeResult::Ok);
        const FrameRecord& r = live->rec;
        const bool a1 = c.ch == ChanA1;
        EXPECT_EQ(a1 ? r.SumA1 : r.SumA2, c.sum);
        EXPECT_EQ(a1 ? r.SumSqA1 : r.SumSqA2, c.sumSq);
        EXPECT_EQ(a1 ? r.PeakToPeakA1 : r.PeakToPeakA2, c.p2p);
        // The absent channel reports nothing.
        EXPECT_EQ(a1 ? r.SumA2 : r.SumA1, 0);
        EXPECT_EQ(a1 ? r.SumSqA2 : r.SumSqA1, 0u);
        EXPECT_EQ(a1 ? r.PeakToPeakA2 : r.PeakToPeakA1, -1);
    }
}

// Analog trigger: A1 steps up from 100 to 200 and A2 down from 200 to 100
// right after sample 50 = Pre_N, which stays at index 50.
class AnalogTriggerTest : public DecodeFrameTest {
protected:
    void Frame(unsigned mask, std::uint8_t acqFlags, std::uint32_t decim)
    {
        NormalFrame(mask, 200, 50, 50);
        acq.Pre_N = 50;
        payload = EncodePayload(mask, 200, [](int ch, int i) {
            const bool after = i > 50;
            return ch == ChanA1 ? (after ? 200 : 100) : (after ? 100 : 200);
        });
        st[0x01] = acqFlags;
        st[0x02] = 0x80;  // trigger on
        Put32(st, 0x04, decim);
    }
};

TEST_F(AnalogTriggerTest, FinePositionAndLevel)
{
    constexpr std::uint8_t A1Rise = 0x00, A2Fall = 0x04 | 0x10, A1Fall = 0x10;
    struct Case {
        const char* name;
        unsigned mask;
        std::uint8_t acqFlags;
        std::uint32_t decim;
        int threshold;  // upper for rising, lower for falling
        int a, b;       // codes around the crossing
        std::uint32_t counter;
        double level;
        std::int32_t fine;
        std::int32_t levelCode;
    };
    const Case cases[] = {
        // Full rate: first tenth whose interpolated value crosses (step: 100,
        // 108, 117, 127, 138, 150, 162, ...).
        {"D=1 rising, 150 > 149 at 5", 0x03, A1Rise, 0, 149, 0, 0, 0, 127.5, 5, 128},
        {"D=1 rising, 150 is not above 150", 0x03, A1Rise, 0, 150, 0, 0, 0, 127.5, 6, 128},
        {"D=1 rising, the sample itself", 0x03, A1Rise, 0, 99, 0, 0, 0, 127.5, 0, 128},
        {"D=1 rising, never", 0x03, A1Rise, 0, 250, 0, 0, 0, 127.5, 10, 128},
        {"D=1 falling A2, 150 is not below 150", 0x03, A2Fall, 0, 150, 0, 0, 0, 300.2, 6, 255},
        {"D=1 falling A2, 150 < 151 at 5", 0x03, A2Fall, 0, 151, 0, 0, 0, -0.6, 5, 0},
        // Source channel absent at full rate: from the crossing codes.
        {"D=1, A1 absent", 0x02, A1Rise, 0, 140, 120, 160, 3, 10.0, 35, 10},
        // Divider 4: (C + f) * 10 / 4.
        {"rising, f = (140 - 120) / 40", 0x03, A1Rise, 3, 140, 120, 160, 10, 10.0, 26, 10},
        {"rising below a, negative f", 0x03, A1Rise, 3, 100, 120, 160, 10, 10.0, 24, 10},
        {"falling, f = (130 - 100) / 40", 0x03, A1Fall, 3, 100, 130, 90, 10, 10.0, 27, 10},
        {"equal codes, f = 0.5", 0x03, A1Rise, 3, 140, 128, 128, 11, 10.0, 29, 10},
        {"divider wrapped to 0", 0x03, A1Rise, 0xFFFFFFFFu, 140, 120, 160, 10, 10.0, 5, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Frame(c.mask, c.acqFlags, c.decim);
        acq.Trig_Hi_A1 = acq.Trig_Hi_A2 = static_cast<std::uint8_t>(c.threshold);
        acq.Trig_Lo_A1 = acq.Trig_Lo_A2 = static_cast<std::uint8_t>(c.threshold);
        st[0x2C] = static_cast<std::uint8_t>(c.a);
        st[0x2D] = static_cast<std::uint8_t>(c.b);
        Put32(st, 0x24, c.counter);
        ctx.Lev_A1 = ctx.Lev_A2 = c.level;
        ASSERT_EQ(Decode(), DecodeResult::Ok);
        const FrameRecord& r = live->rec;
        const int source = (c.acqFlags & 0x04) ? 2 : 1;
        EXPECT_EQ(r.TrigSource, source);
        EXPECT_EQ(r.TrigSourceCode, source);
        EXPECT_EQ(r.TrigFine10, c.fine);
        EXPECT_EQ(r.TrigFine10Copy, c.fine);
        EXPECT_EQ(r.TrigLevelCode, c.levelCode);
    }
}

TEST_F(AnalogTriggerTest, TriggerOffOrNotFilledKeepsDefaults)
{
    struct Case {
        const char* name;
        std::uint8_t mode;
        std::uint8_t state;
        bool pair;
        std::int32_t fine;
    };
    const Case cases[] = {
        {"trigger off", 0x00, 0x00, false, 5},
        {"fields not filled", 0x80, 0x04, false, 5},
        {"trigger off, pair frame", 0x00, 0x00, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Frame(0x03, 0x04, 3);  // A2 rising
        st[0x02] = c.mode;
        st[0x00] = c.state;
        if (c.pair) st[0x01] |= 0x01;
        Put32(st, 0x24, 1000);
        ctx.Lev_A2 = 77;
        ASSERT_EQ(Decode(), DecodeResult::Ok);
        EXPECT_EQ(live->rec.TrigSource, 0);
        EXPECT_EQ(live->rec.TrigSourceCode, 2);
        EXPECT_EQ(live->rec.TrigFine10, c.fine);
        EXPECT_EQ(live->rec.TrigFine10Copy, c.fine);
        EXPECT_EQ(live->rec.TrigLevelCode, 0);
    }
}

TEST_F(DecodeFrameTest, DigitalTriggerFinePosition)
{
    struct Case {
        const char* name;
        std::uint8_t acqFlags;  // bit 0 pair frame, 2 second source, 4 falling
        std::array<std::uint8_t, 4> tdc;
        int t;
        std::uint32_t counter;
        std::uint32_t decim;
        int source;
        std::int32_t fine;
    };
    const Case cases[] = {
        // c = 30 is out of 12..27, so c = 20: f = 1 - 10/20.
        {"D1 rising, calibration 30 uses 20", 0x02, {30, 0, 0, 0}, 10, 7, 0, 3, 80},
        {"D1 rising, calibration 16", 0x02, {16, 0, 0, 0}, 4, 7, 0, 3, 83},
        {"D1 falling, calibration 11 uses 20", 0x02 | 0x10, {16, 11, 16, 16}, 10, 7, 0, 3, 80},
        {"D2 rising uses rise A2", 0x02 | 0x04, {0, 0, 25, 0}, 15, 3, 1, 4, 22},
        {"D2 falling uses fall A2", 0x02 | 0x04 | 0x10, {0, 0, 0, 12}, 6, 3, 1, 4, 23},
        {"f at least 0", 0x02, {12, 0, 0, 0}, 31, 3, 1, 3, 20},
        {"pair frame: no half-position offset", 0x02 | 0x10 | 0x01, {20, 20, 0, 0}, 0, 4, 3, 3, 13},
        {"divider wrapped to 0", 0x02, {20, 0, 0, 0}, 4, 7, 0xFFFFFFFFu, 3, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NormalFrame(0x0C, 8, 4, 4);
        st[0x01] = c.acqFlags;
        st[0x02] = 0x80;
        st[0x2E] = static_cast<std::uint8_t>(0xE0 | c.t);  // bits 5-7 are not part of the reading
        Put32(st, 0x24, c.counter);
        Put32(st, 0x04, c.decim);
        ctx.tdc = c.tdc;
        ctx.Lev_A1 = ctx.Lev_A2 = 99;
        ASSERT_EQ(Decode(), DecodeResult::Ok);
        const FrameRecord& r = live->rec;
        EXPECT_EQ(r.TrigSource, c.source);
        EXPECT_EQ(r.TrigSourceCode, c.source);
        EXPECT_EQ(r.TrigFine10, c.fine);
        EXPECT_EQ(r.TrigFine10Copy, c.fine);
        EXPECT_EQ(r.TrigLevelCode, 0);
    }
}

TEST_F(DecodeFrameTest, AdvancedTriggerKindAndState)
{
    struct Case {
        std::uint8_t mode, tplus, state;
        std::int32_t kind, limit;
        std::uint8_t trigState;
    };
    const Case cases[] = {
        {0x00, 0x00, 0x00, 1, 12345, 0}, {0x20, 0x00, 0x08, 2, 12345, 1},
        {0x60, 0x00, 0x10, 3, 0, 2},  // kind 3 without a runt bit: no limit
        {0x60, 0x01, 0x18, 3, 12345, 2}, {0x60, 0x02, 0x00, 3, 12345, 0},
        {0x40, 0x20, 0x08, 4, 12345, 3},  // event-count mode
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << int(c.mode) << " tplus " << int(c.tplus));
        NormalFrame(0x01, 100, 10, 10);
        st[0x02] = c.mode;
        st[0x03] = c.tplus;
        st[0x00] = c.state;
        Put32(st, 0x14, 12345);
        ASSERT_EQ(Decode(), DecodeResult::Ok);
        EXPECT_EQ(live->rec.AdvTrigKind, c.kind);
        EXPECT_EQ(live->rec.TrigTimeLimit, c.limit);
        EXPECT_EQ(live->rec.TrigState, c.trigState);
    }
}

TEST_F(DecodeFrameTest, EchoesAndFrameCounter)
{
    acq.uV_Div_A1 = 50000;
    acq.uV_Div_A2 = 2000000;
    ctx.A1_Zero = 191;
    ctx.A2_Zero = 63;
    ctx.F_Span = 0xDEADBEEF;
    ctx.F_Val = 4000000000u;
    ctx.FmStatus = 3;
    ctx.FmCount = 1000;
    ctx.FmTime = 100000000;
    ctx.TimeBaseCal = -42;
    live->rec.Reserved132 = {1, 2, 3, 4};
    live->rec.Checksum = 0x55AA;

    NormalFrame(0x05, 100, 10, 10);
    st[0x1D] = 0x01;  // roll flag without ring mode: a normal frame
    Put16(st, 0x42, 0xBEEF);
    Put32(st, 0x04, 9);
    Put16(st, 0x10, 0x1234);
    Put16(st, 0x66, 0xA55A);
    Put16(st, 0x74, 0x0102);
    ASSERT_EQ(Decode(0x85), DecodeResult::Ok);
    ASSERT_EQ(Decode(0x85), DecodeResult::Ok);

    const FrameRecord& r = live->rec;
    EXPECT_EQ(r.StatusWord, 0xBEEF);
    EXPECT_EQ(r.Divider, 10);
    EXPECT_EQ(r.uV_Div_A1, 50000);
    EXPECT_EQ(r.A1_Zero, 191);
    EXPECT_EQ(r.uV_Div_A2, 2000000);
    EXPECT_EQ(r.A2_Zero, 63);
    EXPECT_EQ(r.RollFlag, 1);
    EXPECT_EQ(r.ValidLen, 100);
    EXPECT_EQ(r.ChannelMask, 0x05);
    EXPECT_EQ(r.F_Span, 0xDEADBEEFu);
    EXPECT_EQ(r.F_Val, 4000000000u);
    EXPECT_EQ(r.FmStatus, 3);
    EXPECT_EQ(r.FmCount, 1000);
    EXPECT_EQ(r.FmTime, 100000000);
    EXPECT_EQ(r.TimeBaseCal, -42);
    EXPECT_EQ(r.EventCount, 0x1234);
    EXPECT_EQ(r.Status66, 0xA55A);
    EXPECT_EQ(r.Status74, 0x0102);
    EXPECT_EQ(r.DecodedFrames, 2u);
    EXPECT_EQ(r.Reserved132, (std::array<std::int32_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(r.Checksum, 0x55AAu);
}

TEST_F(DecodeFrameTest, EmptyFrameEmptiesEverything)
{
    NormalFrame(0x0F, 1000, 100, 200);
    ASSERT_EQ(Decode(), DecodeResult::Ok);

    NormalFrame(0x0F, 1000, 0, 0);
    Put16(st, 0x0A, 0);
    Put16(st, 0x2A, 999);  // not used without positions
    ASSERT_EQ(Decode(), DecodeResult::Ok);
    EXPECT_EQ(live->rec.FrameLen, 0);
    EXPECT_EQ(live->rec.ValidLen, 0);
    EXPECT_EQ(live->rec.PeakToPeakA1, -1);
    EXPECT_EQ(live->rec.SumA1, 0);
    ExpectEmptyFrom(0);
}

TEST_F(DecodeFrameTest, RecorderTakesA1FromLastIndexToW)
{
    constexpr int kN = 100;
    int frame = 0;
    auto ringFrame = [&](int w) {
        ++frame;
        RingFrame(0x05, kN, w, true);
        const int f = frame;
        payload = EncodePayload(0x05, kN, [f](int ch, int i) { return ch == ChanA1 ? (i + 7 * f) % 250 : i & 1; });
        return Decode();
    };
    auto a1 = [&](int i) { return static_cast<std::uint8_t>((i + 7 * frame) % 250); };

    rec.active = true;
    ASSERT_EQ(ringFrame(30), DecodeResult::Ok);
    EXPECT_TRUE(rec.buffer.empty());  // the first ring frame only sets the index
    EXPECT_EQ(rec.lastIndex, 30);

    ASSERT_EQ(ringFrame(80), DecodeResult::Ok);
    std::vector<std::uint8_t> expected;
    for (int i = 30; i < 80; ++i) expected.push_back(a1(i));
    EXPECT_EQ(rec.buffer, expected);
    EXPECT_EQ(rec.lastIndex, 80);

    rec.buffer.clear();  // flushed to the file
    ASSERT_EQ(ringFrame(20), DecodeResult::Ok);
    expected.clear();
    for (int i = 80; i < kN; ++i) expected.push_back(a1(i));
    for (int i = 0; i < 20; ++i) expected.push_back(a1(i));
    EXPECT_EQ(rec.buffer, expected);  // wrapped at N
    EXPECT_EQ(rec.lastIndex, 20);

    rec.buffer.clear();
    ASSERT_EQ(ringFrame(kN), DecodeResult::Ok);  // W = N is index 0
    EXPECT_EQ(rec.buffer.size(), 80u);
    EXPECT_EQ(rec.lastIndex, 0);

    rec.buffer.clear();
    NormalFrame(0x05, kN, 10, 10);  // not ring mode: nothing taken
    ASSERT_EQ(Decode(), DecodeResult::Ok);
    EXPECT_TRUE(rec.buffer.empty());
    EXPECT_EQ(rec.lastIndex, 0);

    rec.lastIndex = 500;  // left over from a longer frame: start again
    ASSERT_EQ(ringFrame(40), DecodeResult::Ok);
    EXPECT_TRUE(rec.buffer.empty());
    EXPECT_EQ(rec.lastIndex, 40);

    rec.active = false;
    rec.buffer = {1, 2, 3};
    ASSERT_EQ(ringFrame(60), DecodeResult::Ok);
    EXPECT_TRUE(rec.buffer.empty());
    EXPECT_EQ(rec.lastIndex, -1);
}

// Random status blocks and payload lengths around the valid ranges: decoding
// either refuses the frame or yields a consistent one, and never touches
// memory outside the buffers (the sanitizer build checks that).
TEST_F(DecodeFrameTest, RandomPacketsAreRefusedOrConsistent)
{
    std::mt19937 rng(2024);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    int accepted = 0;
    for (int iter = 0; iter < 3000; ++iter) {
        acq.Smpl_N = pick(0, 9) == 0 ? pick(-2, 2) : pick(1, 64);
        acq.Pre_N = static_cast<std::uint32_t>(pick(0, 80));
        acq.Scroll = pick(0, 1);
        for (std::uint8_t& b : st) b = static_cast<std::uint8_t>(pick(0, 255));
        // Mostly plausible counts and positions, sometimes anything.
        const int n = std::max(acq.Smpl_N, 1);
        auto count = [&](int hi) { return static_cast<unsigned>(pick(0, 3) == 0 ? pick(0, 0xFFFF) : pick(0, hi)); };
        const unsigned pre = count(n);
        Put16(st, 0x08, pre);
        Put16(st, 0x0A, count(std::max(n - static_cast<int>(pre), 0)));
        Put16(st, 0x28, count(n));
        Put16(st, 0x2A, count(n));
        if (pick(0, 3) == 0) Put32(st, 0x04, 0);  // full rate: the interpolating trigger path
        payload.assign(static_cast<std::size_t>(pick(0, 3) == 0 ? pick(0, 3 * n) : 3 * n), 0);
        for (std::uint8_t& b : payload) b = static_cast<std::uint8_t>(pick(0, 255));
        rec.active = pick(0, 1);
        if (pick(0, 9) == 0) rec.lastIndex = pick(-1, 100);

        if (Decode(static_cast<std::uint8_t>(pick(0x80, 0xFF))) != DecodeResult::Ok) continue;
        ++accepted;
        const FrameRecord& r = live->rec;
        ASSERT_LE(0, r.ValidLen);
        ASSERT_LE(r.ValidLen, r.FrameLen);
        ASSERT_LE(r.FrameLen, 64);
        for (int ch = 0; ch < 4; ++ch) {
            for (bool second : {false, true}) {
                const std::vector<std::int32_t>& b = Buffer(live->buf, ch, second);
                ASSERT_EQ(FirstFilled(b, r.ValidLen, 200), -1) << "ch " << ch;
                for (int i = 0; i < r.ValidLen; ++i) {
                    const std::int32_t v = b[i];
                    ASSERT_TRUE(v == MissingSample || (v >= 0 && v <= (ch < 2 ? 255 : 1))) << v;
                }
            }
        }
        if (!rec.active) {
            ASSERT_EQ(rec.lastIndex, -1);
            ASSERT_TRUE(rec.buffer.empty());
        } else if (st[0x00] & 0x01) {
            ASSERT_GE(rec.lastIndex, 0);
            ASSERT_LT(rec.lastIndex, acq.Smpl_N);
        }
    }
    EXPECT_GT(accepted, 500);  // the loop exercises decoding, not only refusal
}

TEST_F(DecodeFrameTest, MalformedFramesLeaveEverythingUntouched)
{
    struct Case {
        const char* name;
        std::function<void(DecodeFrameTest&)> spoil;
    };
    // Base: 1000 samples, four channels, pre 100, post 900, T 500.
    const Case cases[] = {
        {"pre + post beyond 40000",
         [](DecodeFrameTest& t) {
             t.NormalFrame(0x0F, 40000, 30000, 0);
             Put16(t.st, 0x0A, 10001);
         }},
        {"pre + post beyond the payload", [](DecodeFrameTest& t) { Put16(t.st, 0x0A, 901); }},
        {"pair frame longer than half the samples",
         [](DecodeFrameTest& t) {
             t.st[0x01] = 0x01;
             Put16(t.st, 0x0A, 902);
         }},
        {"T at FrameLen", [](DecodeFrameTest& t) { Put16(t.st, 0x2A, 1000); }},
        {"T at FrameLen after halving",
         [](DecodeFrameTest& t) {
             t.st[0x01] = 0x01;
             Put16(t.st, 0x2A, 1000);
         }},
        {"T far out", [](DecodeFrameTest& t) { Put16(t.st, 0x2A, 0xFFFF); }},
        {"W beyond FrameLen", [](DecodeFrameTest& t) { t.RingFrame(0x0F, 1000, 1001, false); }},
        {"W beyond FrameLen in a wrapped scroll ring",
         [](DecodeFrameTest& t) {
             t.acq.Scroll = true;
             t.RingFrame(0x0F, 1000, 0xFFFF, true);
         }},
        {"W beyond N in ring mode without roll",
         [](DecodeFrameTest& t) {
             t.st[0x00] = 0x01;
             Put16(t.st, 0x28, 1001);
         }},
        {"payload one byte short", [](DecodeFrameTest& t) { t.payload.pop_back(); }},
        {"payload empty", [](DecodeFrameTest& t) { t.payload.clear(); }},
        {"payload short for two digital channels",
         [](DecodeFrameTest& t) {
             t.NormalFrame(0x0C, 1000, 100, 500);
             t.payload.resize(250);  // one channel's worth
         }},
        {"Smpl_N 0", [](DecodeFrameTest& t) { t.acq.Smpl_N = 0; }},
        {"Smpl_N negative", [](DecodeFrameTest& t) { t.acq.Smpl_N = -4; }},
        {"Smpl_N 40001", [](DecodeFrameTest& t) { t.acq.Smpl_N = 40001; }},
        {"no settings", [](DecodeFrameTest& t) { t.ctx.acq = nullptr; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        acq = AcqConfig{};
        ctx.acq = &acq;
        rec.active = true;
        RingFrame(0x0F, 600, 200, false);  // something to keep: samples, record, recorder index
        ASSERT_EQ(Decode(), DecodeResult::Ok);
        rec.buffer = {9, 8, 7};
        FrameSet before = *live;
        const RecorderStream recBefore = rec;

        NormalFrame(0x0F, 1000, 100, 500);
        c.spoil(*this);
        EXPECT_EQ(Decode(), DecodeResult::Malformed);
        EXPECT_EQ(std::memcmp(&live->rec, &before.rec, sizeof(FrameRecord)), 0);
        for (int ch = 0; ch < 4; ++ch) {
            for (bool second : {false, true}) {
                EXPECT_TRUE(Buffer(live->buf, ch, second) == Buffer(before.buf, ch, second)) << "ch " << ch;
            }
        }
        EXPECT_EQ(live->buf.filled, before.buf.filled);
        EXPECT_EQ(rec.buffer, recBefore.buffer);
        EXPECT_EQ(rec.lastIndex, recBefore.lastIndex);
    }

    // The unspoilt base decodes, also with spare bytes after the payload.
    ctx.acq = &acq;
    NormalFrame(0x0F, 1000, 100, 500);
    payload.resize(payload.size() + 10, 0xFF);
    EXPECT_EQ(Decode(), DecodeResult::Ok);
}

}  // namespace
}  // namespace kr40
