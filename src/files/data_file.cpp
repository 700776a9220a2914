#include "files/data_file.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace kr40 {

namespace {

using namespace std::string_view_literals;

constexpr std::string_view kMainTag = "KRD_KR40:\0"sv;  // compared as a zero-terminated text
constexpr std::string_view kOldTag = "KRD:"sv;
constexpr std::string_view kRefTag = "KRD_KR40_BG:\0"sv;  // compared byte for byte

// Record offsets of the spectrum fields and the byte left out of the checksum.
constexpr std::size_t kSpecFlag = 132;  // + channel
constexpr std::size_t kCleared = 135;   // cleared on writing
constexpr std::size_t kSpecPoints = 136;
constexpr std::size_t kSpecCount = 140;  // + 4 * channel
constexpr std::size_t kChecksum = 160;
constexpr int kChecksumWords = 40;

using RecordBytes = std::array<unsigned char, sizeof(FrameRecord)>;

RecordBytes BytesOf(const FrameRecord& r)
{
    return std::bit_cast<RecordBytes>(r);
}

std::uint32_t U32At(const unsigned char* p)
{
    return p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

std::int32_t I32At(const RecordBytes& b, std::size_t off)
{
    return static_cast<std::int32_t>(U32At(b.data() + off));
}

void PutU32(unsigned char* p, std::uint32_t v)
{
    for (int k = 0; k < 4; ++k) p[k] = static_cast<unsigned char>(v >> (8 * k));
}

std::uint32_t ChecksumOf(RecordBytes b)
{
    b[kCleared] = 0;
    std::uint32_t sum = 0;
    for (int w = 0; w < kChecksumWords; ++w) sum += U32At(b.data() + 4 * w);
    return sum;
}

bool IsSpectrumSize(std::int32_t f)
{
    return f >= 2 && f <= kDataFileMaxSpectrumPoints && std::has_single_bit(static_cast<std::uint32_t>(f));
}

// Whether the record says a channel's spectrum follows the samples.
bool SpectrumStored(const RecordBytes& b, int channel)
{
    return b[kSpecFlag + channel] == 1 && I32At(b, kSpecCount + 4 * channel) >= 2;
}

void AppendRecord(std::string& out, RecordBytes b)
{
    b[kCleared] = 0;
    PutU32(b.data() + kChecksum, ChecksumOf(b));
    out.append(reinterpret_cast<const char*>(b.data()), b.size());
}

std::size_t SampleBytes(const FrameRecord& r)
{
    const std::size_t n = static_cast<std::size_t>(std::clamp(r.ValidLen, 0, FrameCapacity));
    const std::size_t channels =
        static_cast<std::size_t>(std::popcount(static_cast<std::uint32_t>(r.ChannelMask) & 0xFu));
    return channels * n * (r.PairFlag == 1 ? 2 : 1);
}

char StoredByte(std::int32_t v)
{
    return static_cast<char>(v < 255 ? v & 0xFF : 0xFF);
}

void AppendSamples(std::string& out, const FrameSet& f)
{
    const int n = std::clamp(f.rec.ValidLen, 0, FrameCapacity);
    const bool pair = f.rec.PairFlag == 1;
    for (int ch = 0; ch < 4; ++ch) {
        if (!((f.rec.ChannelMask >> ch) & 1)) continue;
        const std::int32_t* first = f.buf.First(ch);
        const std::int32_t* second = f.buf.Second(ch);
        for (int i = 0; i < n; ++i) {
            out.push_back(StoredByte(first[i]));
            if (pair) out.push_back(StoredByte(second[i]));
        }
    }
}

float StoredFloat(double v)
{
    if (std::isnan(v)) return 0.0f;
    constexpr double kMax = std::numeric_limits<float>::max();
    return static_cast<float>(std::clamp(v, -kMax, kMax));
}

// Empties a frame set. Entries at and beyond `filled` are empty already, so
// only the part in use is written (a full clear is 1.3 MB per set).
void ClearSet(FrameSet& f)
{
    f.rec = FrameRecord{};
    f.buf.ClearUsed();
}

void ClearContent(DataFileContent& out)
{
    ClearSet(out.main);
    ClearSet(out.reference);
    out.hasReference = false;
    out.spectra = DataFileSpectra{};
}

// The rules of the header: counts that would take a reader outside a buffer
// or describe an impossible frame refuse the record.
bool RecordAcceptable(const FrameRecord& r, const RecordBytes& b, bool withSpectra)
{
    if (r.FrameLen < 0 || r.FrameLen > FrameCapacity) return false;
    if (r.ValidLen < 0 || r.ValidLen > r.FrameLen) return false;
    if (r.PairFlag != 0 && r.PairFlag != 1) return false;
    if ((static_cast<std::uint32_t>(r.ChannelMask) & ~0xFu) != 0) return false;
    if (!withSpectra) return true;
    for (int c = 0; c < 2; ++c) {
        if (b[kSpecFlag + c] > 1 || I32At(b, kSpecCount + 4 * c) < 0) return false;
    }
    if ((SpectrumStored(b, 0) || SpectrumStored(b, 1)) && !IsSpectrumSize(I32At(b, kSpecPoints))) return false;
    return true;
}

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    std::size_t Left() const { return bytes_.size() - pos_; }
    const unsigned char* Here() const { return reinterpret_cast<const unsigned char*>(bytes_.data()) + pos_; }
    std::string_view Peek(std::size_t n) const { return bytes_.substr(pos_, n); }
    void Skip(std::size_t n) { pos_ += std::min(n, Left()); }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

enum class RecordRead { Ok, Crc, Bad };

// Reads, checks and brings into range one record. Byte 135, outside the
// checksum, is cleared as on writing.
RecordRead ReadRecord(Reader& in, FrameRecord& rec, RecordBytes& b, bool withSpectra)
{
    if (in.Left() < b.size()) return RecordRead::Crc;
    std::memcpy(b.data(), in.Here(), b.size());
    in.Skip(b.size());
    if (ChecksumOf(b) != U32At(b.data() + kChecksum)) return RecordRead::Crc;
    b[kCleared] = 0;
    rec = std::bit_cast<FrameRecord>(b);
    if (!RecordAcceptable(rec, b, withSpectra)) return RecordRead::Bad;
    rec.PreLen = std::clamp(rec.PreLen, 0, rec.FrameLen);
    rec.RingEnd = std::clamp(rec.RingEnd, 0, rec.FrameLen);
    return RecordRead::Ok;
}

std::int32_t Entry(unsigned char b)
{
    return b == 0xFF ? MissingSample : b;
}

// The samples of an accepted record; a cut file ends the channel in progress
// and leaves the rest empty. Every entry written lies below ValidLen, which
// `filled` then covers, so the next decoding's clear reaches it.
void ReadSamples(Reader& in, FrameSet& f)
{
    const int n = f.rec.ValidLen;
    const bool pair = f.rec.PairFlag == 1;
    const std::size_t per = pair ? 2 : 1;
    for (int ch = 0; ch < 4; ++ch) {
        if (!((f.rec.ChannelMask >> ch) & 1)) continue;
        std::int32_t* first = f.buf.First(ch);
        std::int32_t* second = f.buf.Second(ch);
        const unsigned char* p = in.Here();
        const std::size_t left = in.Left();
        const int whole = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(n), left / per));
        if (pair) {
            for (int i = 0; i < whole; ++i) {
                first[i] = Entry(p[2 * i]);
                second[i] = Entry(p[2 * i + 1]);
            }
            if (whole < n && left % 2 == 1) first[whole] = Entry(p[2 * whole]);
        } else {
            for (int i = 0; i < whole; ++i) first[i] = second[i] = Entry(p[i]);
        }
        in.Skip(static_cast<std::size_t>(n) * per);
    }
    f.buf.filled = std::max(f.buf.filled, n);
}

void ReadSpectra(Reader& in, const RecordBytes& b, DataFileSpectra& out)
{
    const std::int32_t points = I32At(b, kSpecPoints);
    for (int c = 0; c < 2; ++c) {
        StoredSpectrum& s = out.ch[static_cast<std::size_t>(c)];
        s.count = I32At(b, kSpecCount + 4 * c);
        if (!SpectrumStored(b, c)) continue;
        out.points = points;
        s.present = true;
        const std::size_t count = std::min(static_cast<std::size_t>(points / 2), in.Left() / 4);
        s.values.resize(count);
        const unsigned char* p = in.Here();
        for (std::size_t k = 0; k < count; ++k) {
            const double v = std::bit_cast<float>(U32At(p + 4 * k));
            s.values[k] = std::isfinite(v) && v >= 0 ? v : 0.0;
        }
        in.Skip(static_cast<std::size_t>(points / 2) * 4);
    }
}

}  // namespace

std::uint32_t RecordChecksum(const FrameRecord& r)
{
    return ChecksumOf(BytesOf(r));
}

std::string EncodeDataFile(const FrameSet& main, const DataFileSpectra& spectra, const FrameSet* ref)
{
    const bool sizeOk = IsSpectrumSize(spectra.points);
    const std::size_t half = sizeOk ? static_cast<std::size_t>(spectra.points / 2) : 0;

    RecordBytes b = BytesOf(main.rec);
    bool stored[2] = {};
    for (int c = 0; c < 2; ++c) {
        const StoredSpectrum& s = spectra.ch[static_cast<std::size_t>(c)];
        const int count = std::max(s.count, 0);
        b[kSpecFlag + c] = sizeOk && s.present ? 1 : 0;
        PutU32(b.data() + kSpecCount + 4 * c, static_cast<std::uint32_t>(count));
        stored[c] = sizeOk && s.present && count >= 2;
    }
    PutU32(b.data() + kSpecPoints, static_cast<std::uint32_t>(spectra.points));

    std::string out;
    out.reserve(kMainTag.size() + b.size() + SampleBytes(main.rec) + (stored[0] + stored[1]) * half * 4 +
                (ref ? kRefTag.size() + b.size() + SampleBytes(ref->rec) : 0));
    out.append(kMainTag);
    AppendRecord(out, b);
    AppendSamples(out, main);
    for (int c = 0; c < 2; ++c) {
        if (!stored[c]) continue;
        const std::vector<double>& values = spectra.ch[static_cast<std::size_t>(c)].values;
        for (std::size_t k = 0; k < half; ++k) {
            unsigned char word[4];
            PutU32(word, std::bit_cast<std::uint32_t>(k < values.size() ? StoredFloat(values[k]) : 0.0f));
            out.append(reinterpret_cast<const char*>(word), 4);
        }
    }
    if (ref != nullptr) {
        out.append(kRefTag);
        AppendRecord(out, BytesOf(ref->rec));
        AppendSamples(out, *ref);
    }
    return out;
}

DataFileError DecodeDataFile(std::string_view bytes, DataFileContent& out)
{
    ClearContent(out);
    Reader in(bytes);

    const std::string_view head = in.Peek(kMainTag.size());
    const std::string_view text = head.substr(0, head.find('\0'));
    if (text != kMainTag.substr(0, kMainTag.size() - 1)) {
        return text == kOldTag ? DataFileError::OldGeneration : DataFileError::InvalidFormat;
    }
    in.Skip(kMainTag.size());

    const auto fail = [&out](DataFileError e) {
        ClearContent(out);
        return e;
    };

    RecordBytes b{};
    switch (ReadRecord(in, out.main.rec, b, true)) {
        case RecordRead::Crc:
            return fail(DataFileError::MainCrc);
        case RecordRead::Bad:
            return fail(DataFileError::BadRecord);
        case RecordRead::Ok:
            break;
    }
    ReadSamples(in, out.main);
    ReadSpectra(in, b, out.spectra);

    if (in.Peek(kRefTag.size()) != kRefTag) return DataFileError::None;
    in.Skip(kRefTag.size());
    switch (ReadRecord(in, out.reference.rec, b, false)) {
        case RecordRead::Crc:
            return fail(DataFileError::ReferenceCrc);
        case RecordRead::Bad:
            return fail(DataFileError::BadReferenceRecord);
        case RecordRead::Ok:
            break;
    }
    ReadSamples(in, out.reference);
    out.hasReference = true;
    return DataFileError::None;
}

}  // namespace kr40
