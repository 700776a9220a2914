#include "files/data_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace kr40 {
namespace {

constexpr std::size_t kTag = 10, kRec = 164;

struct Shape {
    int mask;
    bool pair;
    int n;
};

// A frame of the given shape with distinct sample values: analog codes
// 0..254, digital bits, a different second value in pair frames, and record
// fields that differ from each other.
FrameSet MakeFrame(Shape s, int salt = 0)
{
    FrameSet f;
    auto* words = reinterpret_cast<unsigned char*>(&f.rec);
    for (std::size_t k = 0; k < sizeof(FrameRecord); ++k) words[k] = static_cast<unsigned char>(k * 7 + salt);
    f.rec.Reserved132 = {};  // spectrum fields: written from the spectra
    f.rec.FrameLen = std::min(s.n + 10, FrameCapacity);
    f.rec.PreLen = s.n / 4;
    f.rec.ValidLen = s.n;
    f.rec.RingEnd = s.n;
    f.rec.PairFlag = s.pair ? 1 : 0;
    f.rec.ChannelMask = s.mask;
    for (int ch = 0; ch < 4; ++ch) {
        if (!((s.mask >> ch) & 1)) continue;
        for (int i = 0; i < s.n; ++i) {
            const int v = ch < 2 ? (i * 7 + ch * 31 + salt) % 255 : (i / (ch + 1) + salt) % 2;
            f.buf.First(ch)[i] = v;
            f.buf.Second(ch)[i] = s.pair ? (ch < 2 ? (v + 100) % 255 : 1 - v) : v;
        }
    }
    f.buf.filled = s.n;
    return f;
}

const FrameSet& Empty()
{
    static const FrameSet empty;
    return empty;
}

std::string Encode(const FrameSet& main, const FrameSet* ref = nullptr, const DataFileSpectra& spectra = {})
{
    return EncodeDataFile(main, spectra, ref);
}

void PutI32(std::string& file, std::size_t at, std::int32_t v)
{
    std::memcpy(file.data() + at, &v, 4);
}

// Stores a new checksum for the record at `at`, as an edit of the file that
// keeps it readable.
void FixChecksum(std::string& file, std::size_t at)
{
    FrameRecord r;
    std::memcpy(&r, file.data() + at, sizeof r);
    PutI32(file, at + 160, static_cast<std::int32_t>(RecordChecksum(r)));
}

// Entries 0..read-1 of a buffer as in `want`, the rest empty.
void ExpectPrefix(const std::int32_t* got, const std::int32_t* want, int read, const char* what)
{
    for (int i = 0; i < FrameCapacity; ++i) {
        const std::int32_t expected = i < read ? want[i] : MissingSample;
        if (got[i] != expected) {
            ADD_FAILURE() << what << " at " << i << ": " << got[i] << ", expected " << expected;
            return;
        }
    }
}

// The decoded frame holds the original's record (byte 135 and the checksum
// aside) and its samples, nothing more.
void ExpectSameFrame(const FrameSet& got, const FrameSet& want)
{
    FrameRecord a = got.rec, b = want.rec;
    reinterpret_cast<unsigned char*>(&b)[135] = 0;
    a.Checksum = b.Checksum = 0;
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
    for (int ch = 0; ch < 4; ++ch) {
        const int read = (want.rec.ChannelMask >> ch) & 1 ? want.rec.ValidLen : 0;
        ExpectPrefix(got.buf.First(ch), want.buf.First(ch), read, "first");
        ExpectPrefix(got.buf.Second(ch), want.buf.Second(ch), read, "second");
    }
}

TEST(DataFile, OneChannelWithoutPairsIsTagRecordAndOneBytePerSample)
{
    FrameSet f = MakeFrame({1, false, 5000});
    reinterpret_cast<unsigned char*>(&f.rec)[135] = 0x5A;
    const std::string file = Encode(f);
    ASSERT_EQ(file.size(), 5174u);
    EXPECT_EQ(file.substr(0, kTag), std::string("KRD_KR40:\0", 10));
    EXPECT_EQ(file[kTag + 135], 0);
    FrameRecord stored;
    std::memcpy(&stored, file.data() + kTag, kRec);
    EXPECT_EQ(stored.Checksum, RecordChecksum(stored));
    for (int i = 0; i < 5000; ++i) ASSERT_EQ(static_cast<unsigned char>(file[kTag + kRec + i]), f.buf.A1_First[i]);
}

TEST(DataFile, ChecksumIsTheSumOfTheFirstFortyWordsWithoutByte135)
{
    FrameRecord r{};
    r.StatusWord = 1;
    r.Divider = -1;  // 0xFFFFFFFF: the sum wraps
    r.DecodedFrames = 5;
    r.Checksum = 1000;  // not summed
    reinterpret_cast<unsigned char*>(&r)[135] = 0xFF;
    EXPECT_EQ(RecordChecksum(r), 5u);
}

TEST(DataFile, FramesOfEveryShapeReadBackAsWritten)
{
    const Shape shapes[] = {
        {0x1, false, 5000}, {0xF, false, 3001}, {0x6, true, 777}, {0xF, true, FrameCapacity},
        {0x8, false, 1},    {0x0, false, 100},  {0x3, false, 0},
    };
    for (const Shape& s : shapes) {
        SCOPED_TRACE(testing::Message() << "mask " << s.mask << " pair " << s.pair << " n " << s.n);
        const FrameSet f = MakeFrame(s);
        DataFileContent c;
        ASSERT_EQ(DecodeDataFile(Encode(f), c), DataFileError::None);
        ExpectSameFrame(c.main, f);
        EXPECT_FALSE(c.hasReference);
        EXPECT_FALSE(c.spectra.ch[0].present || c.spectra.ch[1].present);
    }
}

TEST(DataFile, ValuesFrom255UpAreStoredAsFFAndReadBackEmpty)
{
    const struct {
        std::int32_t value;
        unsigned char stored;
        std::int32_t read;
    } rows[] = {
        {0, 0x00, 0},
        {254, 0xFE, 254},
        {255, 0xFF, MissingSample},
        {1000, 0xFF, MissingSample},
        {MissingSample, 0xFF, MissingSample},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        for (const bool pair : {false, true}) {
            FrameSet f = MakeFrame({0x2, pair, 10});
            f.buf.A2_First[3] = f.buf.A2_Second[3] = row.value;
            const std::string file = Encode(f);
            const std::size_t at = kTag + kRec + (pair ? 6 : 3);
            EXPECT_EQ(static_cast<unsigned char>(file[at]), row.stored);
            DataFileContent c;
            ASSERT_EQ(DecodeDataFile(file, c), DataFileError::None);
            EXPECT_EQ(c.main.buf.A2_First[3], row.read);
            EXPECT_EQ(c.main.buf.A2_Second[3], row.read);
        }
    }
}

TEST(DataFile, TagDecidesWhetherTheFileIsRead)
{
    const std::string good = Encode(MakeFrame({1, false, 10}));
    const struct {
        std::string head;
        DataFileError error;
    } rows[] = {
        {std::string("KRD:\0", 5) + good.substr(5), DataFileError::OldGeneration},
        {"KRD:", DataFileError::OldGeneration},
        {"", DataFileError::InvalidFormat},
        {"KRD", DataFileError::InvalidFormat},
        {"KRD:1", DataFileError::InvalidFormat},
        {"krd_kr40:" + good.substr(9), DataFileError::InvalidFormat},
        {"KRD_KR40:x" + good.substr(10), DataFileError::InvalidFormat},
        {"[Scope]\nA1=1\n", DataFileError::InvalidFormat},
        {std::string("KRD_KR40:\0", 10), DataFileError::MainCrc},  // the tag alone: the record is cut
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.head.substr(0, 12));
        DataFileContent c;
        c.main = MakeFrame({0xF, false, 50});  // what an earlier file left
        EXPECT_EQ(DecodeDataFile(row.head, c), row.error);
        ExpectSameFrame(c.main, Empty());
    }
}

TEST(DataFile, EveryRecordByteButTheClearedOneIsCheckedAndNoSampleIs)
{
    const FrameSet f = MakeFrame({0x5, true, 200});
    const std::string file = Encode(f);
    DataFileContent c;
    for (std::size_t k = 0; k < kRec; ++k) {
        std::string bad = file;
        bad[kTag + k] = static_cast<char>(bad[kTag + k] ^ 0x10);
        ASSERT_EQ(DecodeDataFile(bad, c), k == 135 ? DataFileError::None : DataFileError::MainCrc) << "byte " << k;
        if (k != 135) ExpectSameFrame(c.main, Empty());
    }

    std::string changed = file;
    changed[kTag + kRec + 2 * 150 + 1] = 9;  // A1_Second[150]
    ASSERT_EQ(DecodeDataFile(changed, c), DataFileError::None);
    EXPECT_EQ(c.main.buf.A1_Second[150], 9);
    EXPECT_EQ(c.main.buf.A1_First[150], f.buf.A1_First[150]);
}

TEST(DataFile, ReferencePartReadsBackWithItsOwnShape)
{
    const FrameSet main = MakeFrame({0x3, false, 1000});
    const FrameSet ref = MakeFrame({0xC, true, 300}, 5);
    const std::string file = Encode(main, &ref);
    ASSERT_EQ(file.size(), kTag + kRec + 2000 + 13 + kRec + 1200);
    EXPECT_EQ(file.substr(kTag + kRec + 2000, 13), std::string("KRD_KR40_BG:\0", 13));
    DataFileContent c;
    ASSERT_EQ(DecodeDataFile(file, c), DataFileError::None);
    ASSERT_TRUE(c.hasReference);
    ExpectSameFrame(c.main, main);
    ExpectSameFrame(c.reference, ref);

    // Anything else after the main part is no reference.
    std::string other = file;
    other[kTag + kRec + 2000 + 9] = 'b';
    ASSERT_EQ(DecodeDataFile(other, c), DataFileError::None);
    EXPECT_FALSE(c.hasReference);
    ExpectSameFrame(c.reference, Empty());
}

TEST(DataFile, ReferenceChecksumFailureClearsBothFrames)
{
    const FrameSet main = MakeFrame({0x1, false, 100});
    const FrameSet ref = MakeFrame({0x1, false, 100}, 3);
    std::string file = Encode(main, &ref);
    file[kTag + kRec + 100 + 13 + 32] ^= 1;  // the reference's ValidLen
    DataFileContent c;
    EXPECT_EQ(DecodeDataFile(file, c), DataFileError::ReferenceCrc);
    EXPECT_FALSE(c.hasReference);
    ExpectSameFrame(c.main, Empty());
    ExpectSameFrame(c.reference, Empty());
}

// Record bytes 132..147 and the values of the spectra that follow the samples.
TEST(DataFile, SpectraReadBackAtSinglePrecision)
{
    const FrameSet f = MakeFrame({0x3, false, 64});
    const std::size_t spectraAt = kTag + kRec + 128;
    const struct {
        bool a1, a2;
        int countA1, countA2;
        std::size_t stored;  // values in the file
    } rows[] = {
        {true, true, 5, 128, 1024}, {true, false, 2, 7, 512},
        {false, true, 0, 3, 512},   {true, true, 1, 2, 512},  // A1's count of 1 stores nothing
        {false, false, 9, 9, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.a1 << row.a2 << " " << row.countA1 << " " << row.countA2);
        DataFileSpectra sp;
        sp.points = 1024;
        sp.ch[0] = {row.a1, row.countA1, {}};
        sp.ch[1] = {row.a2, row.countA2, {}};
        for (int k = 0; k < 512; ++k) {
            sp.ch[0].values.push_back(0.1 * k + 1e-9);
            sp.ch[1].values.push_back(3e5 / (k + 1));
        }
        const std::string file = Encode(f, nullptr, sp);
        ASSERT_EQ(file.size(), spectraAt + 4 * row.stored);
        EXPECT_EQ(file[kTag + 132], row.a1 ? 1 : 0);
        EXPECT_EQ(file[kTag + 133], row.a2 ? 1 : 0);
        std::int32_t word[3];
        std::memcpy(word, file.data() + kTag + 136, sizeof word);
        EXPECT_EQ(word[0], 1024);
        EXPECT_EQ(word[1], row.countA1);
        EXPECT_EQ(word[2], row.countA2);

        DataFileContent c;
        ASSERT_EQ(DecodeDataFile(file, c), DataFileError::None);
        EXPECT_EQ(c.spectra.points, row.stored ? 1024 : 0);
        for (int ch = 0; ch < 2; ++ch) {
            const bool stored = (ch == 0 ? row.a1 : row.a2) && (ch == 0 ? row.countA1 : row.countA2) >= 2;
            const StoredSpectrum& s = c.spectra.ch[static_cast<std::size_t>(ch)];
            EXPECT_EQ(s.present, stored) << "channel " << ch;
            EXPECT_EQ(s.count, ch == 0 ? row.countA1 : row.countA2);
            ASSERT_EQ(s.values.size(), stored ? 512u : 0u);
            for (std::size_t k = 0; k < s.values.size(); ++k)
                ASSERT_EQ(s.values[k],
                          static_cast<double>(static_cast<float>(sp.ch[static_cast<std::size_t>(ch)].values[k])));
        }
        EXPECT_EQ(std::memcmp(c.main.rec.Reserved132.data(), file.data() + kTag + 132, 16), 0);
    }
}

TEST(DataFile, UnusableSpectrumValuesReadAsZero)
{
    DataFileSpectra sp;
    sp.points = 8;
    sp.ch[0] = {true, 4, {1, 2, 3}};  // the fourth value is written as 0
    std::string file = Encode(MakeFrame({0x1, false, 4}), nullptr, sp);
    const std::size_t at = kTag + kRec + 4;
    ASSERT_EQ(file.size(), at + 16);
    const float odd[] = {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(), -1.0f};
    std::memcpy(file.data() + at, odd, sizeof odd);
    DataFileContent c;
    ASSERT_EQ(DecodeDataFile(file, c), DataFileError::None);
    EXPECT_EQ(c.spectra.ch[0].values, (std::vector<double>{0, 0, 0, 0}));

    // A size a file cannot hold stores no spectrum.
    sp.points = 1000;
    file = Encode(MakeFrame({0x1, false, 4}), nullptr, sp);
    EXPECT_EQ(file.size(), at);
    EXPECT_EQ(file[kTag + 132], 0);
    ASSERT_EQ(DecodeDataFile(file, c), DataFileError::None);
    EXPECT_FALSE(c.spectra.ch[0].present);
}

// A file cut anywhere after the main record reads what it holds: the loop in
// progress ends and the later parts find nothing.
TEST(DataFile, CutFileReadsWhatItHolds)
{
    // Main: A1 and A2 in pairs, 100 positions (A1 at 174, A2 at 374); the A1
    // spectrum of 16 points at 574; the reference tag at 606, its record at
    // 619 and its A1 samples (50, no pairs) at 783; 833 bytes in all.
    const FrameSet main = MakeFrame({0x3, true, 100});
    const FrameSet ref = MakeFrame({0x1, false, 50}, 9);
    DataFileSpectra sp;
    sp.points = 16;
    sp.ch[0] = {true, 3, {1, 2, 3, 4, 5, 6, 7, 8}};
    const std::string file = EncodeDataFile(main, sp, &ref);
    ASSERT_EQ(file.size(), 833u);

    const struct {
        std::size_t cut;
        DataFileError error;
        int a1First, a1Second, a2;
        std::size_t spectrum;
        bool reference;
        int refA1;
    } rows[] = {
        {174, DataFileError::None, 0, 0, 0, 0, false, 0},
        {174 + 81, DataFileError::None, 41, 40, 0, 0, false, 0},  // between a pair's two bytes
        {374, DataFileError::None, 100, 100, 0, 0, false, 0},
        {374 + 198, DataFileError::None, 100, 100, 99, 0, false, 0},
        {574 + 14, DataFileError::None, 100, 100, 100, 3, false, 0},
        {606, DataFileError::None, 100, 100, 100, 8, false, 0},
        {612, DataFileError::None, 100, 100, 100, 8, false, 0},  // inside the reference tag
        {783 + 20, DataFileError::None, 100, 100, 100, 8, true, 20},
        {833, DataFileError::None, 100, 100, 100, 8, true, 50},
        {173, DataFileError::MainCrc, 0, 0, 0, 0, false, 0},
        {20, DataFileError::MainCrc, 0, 0, 0, 0, false, 0},
        {619 + 163, DataFileError::ReferenceCrc, 0, 0, 0, 0, false, 0},
    };
    DataFileContent c;  // reused: each decoding starts from cleared frames
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "cut at " << row.cut);
        ASSERT_EQ(DecodeDataFile(std::string_view(file).substr(0, row.cut), c), row.error);
        ExpectPrefix(c.main.buf.A1_First.data(), main.buf.A1_First.data(), row.a1First, "A1 first");
        ExpectPrefix(c.main.buf.A1_Second.data(), main.buf.A1_Second.data(), row.a1Second, "A1 second");
        ExpectPrefix(c.main.buf.A2_First.data(), main.buf.A2_First.data(), row.a2, "A2 first");
        ExpectPrefix(c.main.buf.A2_Second.data(), main.buf.A2_Second.data(), row.a2, "A2 second");
        const std::vector<double>& values = c.spectra.ch[0].values;
        EXPECT_EQ(values, std::vector<double>(sp.ch[0].values.begin(), sp.ch[0].values.begin() + row.spectrum));
        EXPECT_EQ(c.hasReference, row.reference);
        ExpectPrefix(c.reference.buf.A1_First.data(), ref.buf.A1_First.data(), row.refA1, "reference");
        if (row.error == DataFileError::None) {
            EXPECT_EQ(c.main.rec.ValidLen, 100);
        }
    }
}

// Counts a reader would follow outside a buffer, or that describe no frame
// the program makes, refuse the file even with a good checksum.
TEST(DataFile, ImpossibleCountsAreRefused)
{
    constexpr int kNone = -1;
    const struct {
        const char* what;
        std::size_t offset;  // within the record
        std::int32_t value;
        int byte;  // kNone: `value` is a word at `offset`
        DataFileError error;
    } rows[] = {
        {"ValidLen -1", 32, -1, kNone, DataFileError::BadRecord},
        {"ValidLen beyond the buffers", 32, FrameCapacity + 1, kNone, DataFileError::BadRecord},
        {"ValidLen beyond FrameLen", 32, 111, kNone, DataFileError::BadRecord},
        {"FrameLen -1", 24, -1, kNone, DataFileError::BadRecord},
        {"FrameLen beyond the buffers", 24, FrameCapacity + 1, kNone, DataFileError::BadRecord},
        {"pair flag 2", 44, 2, kNone, DataFileError::BadRecord},
        {"pair flag -1", 44, -1, kNone, DataFileError::BadRecord},
        {"mask bit 4", 72, 0x11, kNone, DataFileError::BadRecord},
        {"mask bit 31", 72, INT32_MIN | 1, kNone, DataFileError::BadRecord},
        {"A1 spectrum flag 2", 132, 0, 2, DataFileError::BadRecord},
        {"A2 count -1", 144, -1, kNone, DataFileError::BadRecord},
        {"spectrum of 3 points", 136, 3, kNone, DataFileError::BadRecord},
        {"spectrum of 65536 points", 136, 65536, kNone, DataFileError::BadRecord},
        {"spectrum of 0 points", 136, 0, kNone, DataFileError::BadRecord},
        {"spectrum of 2 points", 136, 2, kNone, DataFileError::None},
        {"FrameLen 40000", 24, FrameCapacity, kNone, DataFileError::None},
        {"ValidLen = FrameLen", 32, 110, kNone, DataFileError::None},
    };
    const FrameSet f = MakeFrame({0x3, false, 100});  // FrameLen 110
    DataFileSpectra sp;
    sp.points = 4;
    sp.ch[0] = {true, 2, {1, 2}};
    DataFileContent c;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::string file = Encode(f, nullptr, sp);
        if (row.byte == kNone)
            PutI32(file, kTag + row.offset, row.value);
        else
            file[kTag + row.offset] = static_cast<char>(row.byte);
        FixChecksum(file, kTag);
        EXPECT_EQ(DecodeDataFile(file, c), row.error);
        if (row.error != DataFileError::None) ExpectSameFrame(c.main, Empty());
    }

    // The same rules hold for the reference record.
    std::string file = Encode(f, &f);
    const std::size_t refAt = kTag + kRec + 200 + 13;
    PutI32(file, refAt + 32, FrameCapacity + 1);
    FixChecksum(file, refAt);
    EXPECT_EQ(DecodeDataFile(file, c), DataFileError::BadReferenceRecord);
    ExpectSameFrame(c.main, Empty());
}

// Without a stored spectrum its size and flags of absent spectra are not
// looked at; a count below 2 stores nothing.
TEST(DataFile, SpectrumSizeMattersOnlyWhenASpectrumIsStored)
{
    for (const int points : {0, 3, -7, 1 << 20}) {
        SCOPED_TRACE(points);
        std::string file = Encode(MakeFrame({0x1, false, 10}));
        PutI32(file, kTag + 136, points);
        file[kTag + 133] = 1;  // A2 flagged, count 0
        FixChecksum(file, kTag);
        DataFileContent c;
        EXPECT_EQ(DecodeDataFile(file, c), DataFileError::None);
        EXPECT_EQ(c.spectra.points, 0);
    }
}

TEST(DataFile, TriggerAndRingEndOutsideTheFrameAreClamped)
{
    const struct {
        std::int32_t preLen, ringEnd, wantPre, wantRing;
    } rows[] = {
        {-5, -1, 0, 0},
        {111, INT32_MAX, 110, 110},
        {INT32_MIN, 50, 0, 50},
        {110, 0, 110, 0},
    };
    const FrameSet f = MakeFrame({0x1, false, 100});  // FrameLen 110
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.preLen << " " << row.ringEnd);
        std::string file = Encode(f);
        PutI32(file, kTag + 28, row.preLen);
        PutI32(file, kTag + 36, row.ringEnd);
        FixChecksum(file, kTag);
        DataFileContent c;
        ASSERT_EQ(DecodeDataFile(file, c), DataFileError::None);
        EXPECT_EQ(c.main.rec.PreLen, row.wantPre);
        EXPECT_EQ(c.main.rec.RingEnd, row.wantRing);
    }
}

TEST(DataFile, DecodingEmptiesWhatAnEarlierFileLeft)
{
    const FrameSet big = MakeFrame({0xF, true, FrameCapacity});
    const FrameSet small = MakeFrame({0x2, false, 10});
    DataFileSpectra sp;
    sp.points = 4;
    sp.ch[1] = {true, 2, {1, 2}};
    DataFileContent c;
    ASSERT_EQ(DecodeDataFile(EncodeDataFile(big, sp, &big), c), DataFileError::None);
    ASSERT_EQ(DecodeDataFile(Encode(small), c), DataFileError::None);
    ExpectSameFrame(c.main, small);
    ExpectSameFrame(c.reference, Empty());
    EXPECT_FALSE(c.hasReference);
    EXPECT_FALSE(c.spectra.ch[1].present);
    EXPECT_TRUE(c.spectra.ch[1].values.empty());
}

// A record whose counts lie is written without reading past the buffers
// (AddressSanitizer watches), and the file it gives is refused.
TEST(DataFile, EncodingReadsOnlyTheBuffers)
{
    FrameSet f = MakeFrame({0xF, true, 10});
    f.rec.ValidLen = f.rec.FrameLen = FrameCapacity + 5000;
    f.rec.ChannelMask = -1;
    const std::string file = Encode(f);
    EXPECT_EQ(file.size(), kTag + kRec + 4u * 2 * FrameCapacity);
    DataFileContent c;
    EXPECT_EQ(DecodeDataFile(file, c), DataFileError::BadRecord);
}

}  // namespace
}  // namespace kr40
