// Random and mutated data files through the decoder. Under AddressSanitizer
// and UBSan any stray access or undefined operation fails the run; here every
// decoded frame must also keep the ranges the rest of the program relies on,
// a failed decoding must leave nothing behind, and a decoded frame written
// again must read back the same. One DataFileContent takes every file, as in
// the program, so an entry a file leaves behind shows in the next one.
//
// The run goes on until both budgets over all seeds are spent: KR40_FUZZ_BYTES
// bytes decoded (default 10^7; `make sanitize` 10^8) and KR40_FUZZ_FILES files
// (default 10^4; `make sanitize` 10^6).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>

#include "files/data_file.h"

namespace kr40 {
namespace {

constexpr std::uint64_t kDefaultFuzzBytes = 10'000'000;
constexpr std::uint64_t kDefaultFuzzFiles = 10'000;
constexpr std::uint32_t kSeeds[] = {20261211, 4711, 65537};

// A budget over all seeds, split so that the seeds together reach it.
std::uint64_t PerSeed(const char* variable, std::uint64_t fallback)
{
    std::uint64_t total = fallback;
    if (const char* env = std::getenv(variable); env && *env) total = std::strtoull(env, nullptr, 10);
    return (total + std::size(kSeeds) - 1) / std::size(kSeeds);
}

constexpr std::size_t kTag = 10, kRec = sizeof(FrameRecord);

// Record offsets of the counts a reader follows.
constexpr std::size_t kCountOffsets[] = {24, 28, 32, 36, 44, 72, 136, 140, 144};

class FileFuzzer {
public:
    explicit FileFuzzer(std::uint32_t seed) : rng_(seed) {}

    std::string Next()
    {
        std::string file;
        if (rng_() % 16 == 0) {
            file = RandomBytes(Below(512));
            if (rng_() % 2) file.replace(0, std::min<std::size_t>(10, file.size()), std::string("KRD_KR40:\0", 10));
        } else {
            file = ValidFile();
        }
        for (int m = static_cast<int>(rng_() % 4); m > 0; --m) Mutate(file);
        return file;
    }

private:
    std::size_t Below(std::size_t n) { return n == 0 ? 0 : rng_() % n; }
    char Byte() { return static_cast<char>(rng_()); }

    std::string RandomBytes(std::size_t n)
    {
        std::string t(n, '\0');
        for (char& c : t) c = Byte();
        return t;
    }

    std::int32_t OddValue()
    {
        static const std::int32_t odd[] = {
            -1,
            0,
            1,
            2,
            3,
            255,
            1024,
            32768,
            65536,
            FrameCapacity - 1,
            FrameCapacity,
            FrameCapacity + 1,
            INT32_MIN,
            INT32_MAX,
            0xF,
            0x10,
        };
        switch (rng_() % 3) {
            case 0:
                return odd[Below(std::size(odd))];
            case 1:
                return static_cast<std::int32_t>(rng_());
            default:
                return static_cast<std::int32_t>(Below(2 * FrameCapacity));
        }
    }

    // Short frames (the records are what is fuzzed, and short files keep a
    // million of them quick); in a large file up to 200 positions and now
    // and then up to the buffers' size.
    int Length(bool large)
    {
        if (!large) return static_cast<int>(Below(48));
        return static_cast<int>(rng_() % 32 ? Below(200) : Below(FrameCapacity + 1));
    }

    void RandomFrame(FrameSet& f, bool large)
    {
        std::uint32_t words[sizeof f.rec / 4];
        for (std::uint32_t& w : words) w = static_cast<std::uint32_t>(rng_());
        std::memcpy(&f.rec, words, sizeof f.rec);
        const int n = Length(large);
        f.rec.FrameLen = std::min(FrameCapacity, n + static_cast<int>(Below(100)));
        f.rec.ValidLen = n;
        f.rec.PreLen = static_cast<int>(Below(static_cast<std::size_t>(f.rec.FrameLen) + 1));
        f.rec.RingEnd = static_cast<int>(Below(static_cast<std::size_t>(f.rec.FrameLen) + 1));
        f.rec.PairFlag = static_cast<int>(rng_() % 2);
        f.rec.ChannelMask = static_cast<int>(rng_() % 16);
        // Sample values of every kind, the empty marker and values above a code.
        const std::int32_t kinds[] = {0, 1, 254, 255, 300, MissingSample, -1};
        for (int ch = 0; ch < 4; ++ch) {
            if (!((f.rec.ChannelMask >> ch) & 1)) continue;
            for (int i = 0; i < n; ++i) {
                const std::int32_t v = rng_() % 16 ? static_cast<std::int32_t>(rng_() % 255) : kinds[Below(7)];
                f.buf.First(ch)[i] = v;
                f.buf.Second(ch)[i] = f.rec.PairFlag ? static_cast<std::int32_t>(rng_() % 256) : v;
            }
        }
        f.buf.filled = FrameCapacity;  // the buffers are reused: stale entries past ValidLen are fine
    }

    // One file in 16 is large: longer frames and spectra up to 32768 points.
    std::string ValidFile()
    {
        const bool large = rng_() % 16 == 0;
        RandomFrame(main_, large);
        DataFileSpectra sp;
        static const int points[] = {2, 4, 64, 1024, 1000, 0};
        static const int smallPoints[] = {2, 4, 16, 64, 1000, 0};
        sp.points = !large             ? smallPoints[Below(std::size(smallPoints))]
                    : rng_() % 32 != 0 ? points[Below(std::size(points))]
                                       : kDataFileMaxSpectrumPoints;
        for (StoredSpectrum& s : sp.ch) {
            s.present = rng_() % 2;
            s.count = static_cast<int>(rng_() % 5);
            s.values.clear();
            if (!s.present) continue;
            // Now and then fewer values than the size: the encoder writes the rest as 0.
            const std::size_t half = static_cast<std::size_t>(std::max(sp.points, 0) / 2);
            s.values.resize(rng_() % 8 ? half : Below(half + 1));
            for (double& v : s.values) v = rng_() % 32 ? (rng_() % 100000) * 0.01 : -1.0;
        }
        const bool withRef = rng_() % 2;
        if (withRef) RandomFrame(ref_, large);
        return EncodeDataFile(main_, sp, withRef ? &ref_ : nullptr);
    }

    // The record at `at`, if whole, with a new checksum.
    static void FixChecksum(std::string& file, std::size_t at)
    {
        if (at + kRec > file.size()) return;
        FrameRecord r;
        std::memcpy(&r, file.data() + at, kRec);
        const std::uint32_t sum = RecordChecksum(r);
        std::memcpy(file.data() + at + 160, &sum, 4);
    }

    // Where the reference record starts, or 0.
    static std::size_t ReferenceRecord(const std::string& file)
    {
        const std::size_t tag = file.find(std::string("KRD_KR40_BG:\0", 13), kTag + kRec);
        return tag == std::string::npos ? 0 : tag + 13;
    }

    void Mutate(std::string& f)
    {
        const std::size_t at = Below(f.size() + 1);
        switch (rng_() % 16) {
            case 0:
            case 1:
            case 2:
            case 3:
            case 4:
            case 5: {  // a count of a record set to an odd value, the checksum kept good
                const std::size_t ref = ReferenceRecord(f);
                const std::size_t rec = ref != 0 && rng_() % 2 ? ref : kTag;
                const std::size_t off = rng_() % 4 ? kCountOffsets[Below(std::size(kCountOffsets))] : Below(40) * 4;
                if (rec + off + 4 > f.size()) break;
                if (off == 136 && rng_() % 2) {  // the spectrum flags instead
                    f[rec + 132 + Below(2)] = static_cast<char>(rng_() % 4);
                } else {
                    const std::int32_t v = OddValue();
                    std::memcpy(f.data() + rec + off, &v, 4);
                }
                FixChecksum(f, rec);
                break;
            }
            case 6:
            case 7:
            case 8:  // byte flips, any value
                for (int i = 1 + static_cast<int>(rng_() % 8); i > 0 && !f.empty(); --i) f[Below(f.size())] = Byte();
                break;
            case 9:
            case 10:  // a cut
                f.resize(at);
                break;
            case 11:  // bytes slipped in
                f.insert(at, RandomBytes(1 + Below(16)));
                break;
            case 12:  // a piece cut out
                f.erase(at, 1 + Below(64));
                break;
            case 13:  // the tag changed
                if (f.size() >= kTag) f[Below(kTag)] = rng_() % 2 ? '\0' : Byte();
                break;
            default: {  // a reference part of random bytes, checksum good, appended
                std::string ref = std::string("KRD_KR40_BG:\0", 13) + RandomBytes(kRec + Below(256));
                if (rng_() % 2) {  // counts a reader might follow
                    const std::int32_t counts[] = {OddValue(), static_cast<std::int32_t>(Below(300))};
                    std::memcpy(ref.data() + 13 + 24, &counts[Below(2)], 4);
                    std::memcpy(ref.data() + 13 + 32, &counts[Below(2)], 4);
                    ref[13 + 44] = static_cast<char>(rng_() % 2);
                    ref[13 + 45] = ref[13 + 46] = ref[13 + 47] = ref[13 + 73] = ref[13 + 74] = ref[13 + 75] = 0;
                }
                FixChecksum(ref, 13);
                f += ref;
                break;
            }
        }
    }

    std::mt19937 rng_;
    FrameSet main_, ref_;
};

// How far a frame set's buffers may hold anything: its samples and `filled`.
int Extent(const FrameSet& f)
{
    const int stored = (f.rec.ChannelMask & 0xF) != 0 ? std::clamp(f.rec.ValidLen, 0, FrameCapacity) : 0;
    return std::max(stored, std::clamp(f.buf.filled, 0, FrameCapacity));
}

// Where emptiness past the stored samples is looked at: every entry up to
// `upTo`, and beyond it a few entries picked by `probe`, or all of them.
struct EmptyCheck {
    int upTo = 0;
    std::mt19937* probe = nullptr;
    bool all = false;
};

// The ranges the screen and the analysis rely on. Entries past the stored
// samples must be empty; the caller passes in `empty.upTo` how far the
// previous file may have left entries (a stale one shows there) and where
// the buffers were filled.
void ExpectFrameInRange(const FrameSet& f, const char* which, const EmptyCheck& empty)
{
    const FrameRecord& r = f.rec;
    ASSERT_TRUE(r.FrameLen >= 0 && r.FrameLen <= FrameCapacity) << which << " FrameLen " << r.FrameLen;
    ASSERT_TRUE(r.ValidLen >= 0 && r.ValidLen <= r.FrameLen) << which << " ValidLen " << r.ValidLen;
    ASSERT_TRUE(r.PreLen >= 0 && r.PreLen <= r.FrameLen) << which << " PreLen " << r.PreLen;
    ASSERT_TRUE(r.RingEnd >= 0 && r.RingEnd <= r.FrameLen) << which << " RingEnd " << r.RingEnd;
    ASSERT_TRUE(r.PairFlag == 0 || r.PairFlag == 1) << which << " PairFlag " << r.PairFlag;
    ASSERT_EQ(static_cast<std::uint32_t>(r.ChannelMask) & ~0xFu, 0u) << which;
    ASSERT_TRUE(f.buf.filled >= 0 && f.buf.filled <= FrameCapacity) << which;
    for (int ch = 0; ch < 4; ++ch) {
        const int stored = (r.ChannelMask >> ch) & 1 ? r.ValidLen : 0;
        const std::int32_t* first = f.buf.First(ch);
        const std::int32_t* second = f.buf.Second(ch);
        for (int i = 0; i < stored; ++i) {
            const bool ok = (first[i] == MissingSample || (first[i] >= 0 && first[i] <= 254)) &&
                            (second[i] == MissingSample || (second[i] >= 0 && second[i] <= 254)) &&
                            (r.PairFlag == 1 || first[i] == second[i]) &&
                            (i < f.buf.filled || (first[i] == MissingSample && second[i] == MissingSample));
            ASSERT_TRUE(ok) << which << " channel " << ch << " entry " << i << ": " << first[i] << ", " << second[i];
        }
        // Everything past the stored samples is empty (one pass without branches).
        const int upTo =
            empty.all ? FrameCapacity : std::clamp(std::max(empty.upTo, f.buf.filled), stored, FrameCapacity);
        std::int32_t other = 0;
        for (int i = stored; i < upTo; ++i) other |= (first[i] ^ MissingSample) | (second[i] ^ MissingSample);
        ASSERT_EQ(other, 0) << which << " channel " << ch << ": an entry in " << stored << ".." << upTo
                            << " is not empty";
        if (upTo < FrameCapacity) {
            std::uniform_int_distribution<int> beyond(upTo, FrameCapacity - 1);
            for (int k = 0; k < 4; ++k) {
                const int i = beyond(*empty.probe);
                ASSERT_TRUE(first[i] == MissingSample && second[i] == MissingSample)
                    << which << " channel " << ch << " entry " << i << ": " << first[i] << ", " << second[i];
            }
        }
    }
}

void ExpectSpectraInRange(const DataFileSpectra& sp)
{
    const bool stored = sp.ch[0].present || sp.ch[1].present;
    ASSERT_TRUE(stored ? sp.points >= 2 && sp.points <= kDataFileMaxSpectrumPoints && (sp.points & (sp.points - 1)) == 0
                       : sp.points == 0)
        << sp.points;
    for (const StoredSpectrum& s : sp.ch) {
        ASSERT_GE(s.count, 0);
        if (!s.present) {
            ASSERT_TRUE(s.values.empty());
            continue;
        }
        ASSERT_GE(s.count, 2);
        ASSERT_LE(s.values.size(), static_cast<std::size_t>(sp.points / 2));
        for (const double v : s.values) ASSERT_TRUE(std::isfinite(v) && v >= 0) << v;
    }
}

// Entries 0..upTo-1 of every buffer are equal.
bool SameSamples(const FrameSet& a, const FrameSet& b, int upTo)
{
    for (int ch = 0; ch < 4; ++ch) {
        if (!std::equal(a.buf.First(ch), a.buf.First(ch) + upTo, b.buf.First(ch))) return false;
        if (!std::equal(a.buf.Second(ch), a.buf.Second(ch) + upTo, b.buf.Second(ch))) return false;
    }
    return true;
}

// Records equal apart from the checksum and the spectrum fields (the encoder
// writes the main record's from the spectra).
bool SameRecord(FrameRecord a, FrameRecord b)
{
    a.Checksum = b.Checksum = 0;
    a.Reserved132 = b.Reserved132 = {};
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class DataFileFuzz : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(DataFileFuzz, DecodedFramesKeepTheirRanges)
{
    const std::uint64_t byteBudget = PerSeed("KR40_FUZZ_BYTES", kDefaultFuzzBytes);
    const std::uint64_t fileBudget = PerSeed("KR40_FUZZ_FILES", kDefaultFuzzFiles);
    const auto start = std::chrono::steady_clock::now();
    FileFuzzer fuzzer(GetParam());
    std::mt19937 probe(GetParam());
    // Reused for every file, as the program does, so that clearing only what
    // was used is what runs; heap-held as the buffers are 2.6 MB.
    const auto c = std::make_unique<DataFileContent>();
    const auto again = std::make_unique<DataFileContent>();
    const FrameRecord cleared{};
    std::uint64_t bytes = 0, files = 0;
    std::uint64_t outcomes[7] = {};  // by DataFileError
    while (bytes < byteBudget || files < fileBudget) {
        const std::string file = fuzzer.Next();
        bytes += file.size();
        ++files;
        // What the previous file may have left, and now and then the whole buffers.
        const bool all = files % 1024 == 1;
        EmptyCheck mainEmpty{Extent(c->main), &probe, all};
        const EmptyCheck refEmpty{Extent(c->reference), &probe, all};
        const DataFileError e = DecodeDataFile(file, *c);
        ++outcomes[static_cast<int>(e)];
        if (e != DataFileError::None) {
            // Nothing left behind: cleared records, empty buffers, no spectra.
            // A refused reference comes after the main samples were read.
            if (e == DataFileError::ReferenceCrc || e == DataFileError::BadReferenceRecord) {
                std::int32_t validLen = 0;
                std::memcpy(&validLen, file.data() + kTag + 32, 4);
                mainEmpty.upTo = std::max(mainEmpty.upTo, std::clamp(validLen, 0, FrameCapacity));
            }
            ASSERT_FALSE(c->hasReference);
            ASSERT_EQ(std::memcmp(&c->main.rec, &cleared, sizeof cleared), 0);
            ASSERT_EQ(std::memcmp(&c->reference.rec, &cleared, sizeof cleared), 0);
            ASSERT_TRUE(c->main.buf.filled == 0 && c->reference.buf.filled == 0);
            ASSERT_NO_FATAL_FAILURE(ExpectFrameInRange(c->main, "cleared main", mainEmpty));
            ASSERT_NO_FATAL_FAILURE(ExpectFrameInRange(c->reference, "cleared reference", refEmpty));
            ASSERT_FALSE(c->spectra.ch[0].present || c->spectra.ch[1].present);
            continue;
        }
        ASSERT_NO_FATAL_FAILURE(ExpectFrameInRange(c->main, "main", mainEmpty));
        ASSERT_NO_FATAL_FAILURE(ExpectFrameInRange(c->reference, "reference", refEmpty));
        ASSERT_NO_FATAL_FAILURE(ExpectSpectraInRange(c->spectra));

        // Written again, the frames read back the same, up to where either
        // copy (or the copy's previous file) may hold anything.
        const int againMain = Extent(again->main), againRef = Extent(again->reference);
        ASSERT_EQ(
            DecodeDataFile(EncodeDataFile(c->main, c->spectra, c->hasReference ? &c->reference : nullptr), *again),
            DataFileError::None);
        ASSERT_TRUE(SameRecord(again->main.rec, c->main.rec));
        ASSERT_TRUE(SameSamples(again->main, c->main, std::max({againMain, Extent(again->main), Extent(c->main)})));
        ASSERT_EQ(again->hasReference, c->hasReference);
        ASSERT_TRUE(SameRecord(again->reference.rec, c->reference.rec));
        ASSERT_TRUE(SameSamples(again->reference, c->reference,
                                std::max({againRef, Extent(again->reference), Extent(c->reference)})));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "[ fuzz     ] data files seed %u: %llu files, %llu bytes, %.1f s; read %llu, refused by tag %llu, "
        "by counts %llu, by checksum %llu\n",
        GetParam(), static_cast<unsigned long long>(files), static_cast<unsigned long long>(bytes), seconds,
        static_cast<unsigned long long>(outcomes[0]), static_cast<unsigned long long>(outcomes[1] + outcomes[2]),
        static_cast<unsigned long long>(outcomes[3] + outcomes[5]),
        static_cast<unsigned long long>(outcomes[4] + outcomes[6]));
}

INSTANTIATE_TEST_SUITE_P(Seeds, DataFileFuzz, ::testing::ValuesIn(kSeeds));

}  // namespace
}  // namespace kr40
