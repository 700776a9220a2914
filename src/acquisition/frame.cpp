#include "acquisition/frame.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <utility>

#include "core/rounding.h"
#include "core/sinc_interp.h"

namespace kr40 {

FrameBuffers::FrameBuffers()
    : A1_First(FrameCapacity, MissingSample),
      A1_Second(FrameCapacity, MissingSample),
      A2_First(FrameCapacity, MissingSample),
      A2_Second(FrameCapacity, MissingSample),
      D1_First(FrameCapacity, MissingSample),
      D1_Second(FrameCapacity, MissingSample),
      D2_First(FrameCapacity, MissingSample),
      D2_Second(FrameCapacity, MissingSample)
{
}

void FrameBuffers::Clear()
{
    for (std::vector<std::int32_t>* b :
         {&A1_First, &A1_Second, &A2_First, &A2_Second, &D1_First, &D1_Second, &D2_First, &D2_Second}) {
        b->assign(FrameCapacity, MissingSample);
    }
    filled = 0;
}

void FrameBuffers::ClearUsed()
{
    const int n = std::clamp(filled, 0, FrameCapacity);
    for (std::vector<std::int32_t>* b :
         {&A1_First, &A1_Second, &A2_First, &A2_Second, &D1_First, &D1_Second, &D2_First, &D2_Second}) {
        std::fill_n(b->begin(), n, MissingSample);
    }
    filled = 0;
}

std::int32_t* FrameBuffers::First(int channel)
{
    return const_cast<std::int32_t*>(std::as_const(*this).First(channel));
}

std::int32_t* FrameBuffers::Second(int channel)
{
    return const_cast<std::int32_t*>(std::as_const(*this).Second(channel));
}

// A channel number outside 0..3 is clamped into it.
const std::int32_t* FrameBuffers::First(int channel) const
{
    const std::vector<std::int32_t>* first[] = {&A1_First, &A2_First, &D1_First, &D2_First};
    return first[std::clamp(channel, 0, 3)]->data();
}

const std::int32_t* FrameBuffers::Second(int channel) const
{
    const std::vector<std::int32_t>* second[] = {&A1_Second, &A2_Second, &D1_Second, &D2_Second};
    return second[std::clamp(channel, 0, 3)]->data();
}

namespace {

// Status block offsets (byte k = instrument register 0x7F00 + k).
constexpr int kState = 0x00;     // bit 0 ring mode, 1 ring wrapped, 2 trigger fields not filled, 3-4 trigger state
constexpr int kAcqFlags = 0x01;  // bit 0 peak detect (pair frame), 1 digital source, 2 second source, 4 falling edge
constexpr int kModeFlags =
    0x02;  // bit 0 pair mode, 1 A2 of the pair, 2 D2 of the pair, 5-6 advanced kind, 7 trigger on
constexpr int kTPlusFlags = 0x03;  // bits 0-1 runt, bit 5 event-count mode
constexpr int kDecim = 0x04;       // 32-bit
constexpr int kPreCount = 0x08;    // 16-bit
constexpr int kPostCount = 0x0A;   // 16-bit
constexpr int kEventCount = 0x10;  // 16-bit
constexpr int kTLo = 0x14;         // 32-bit
constexpr int kChMask = 0x1C;
constexpr int kRollFlags = 0x1D;
constexpr int kTrigCounter = 0x24;  // 32-bit
constexpr int kRingWrite = 0x28;    // 16-bit
constexpr int kRingTrig = 0x2A;     // 16-bit
constexpr int kCrossBefore = 0x2C;
constexpr int kCrossAfter = 0x2D;
constexpr int kTdcReading = 0x2E;
constexpr int kStatusWord = 0x42;  // 16-bit
constexpr int kStatus66 = 0x66;    // 16-bit
constexpr int kStatus74 = 0x74;    // 16-bit

using Status = std::span<const std::uint8_t, 128>;

std::uint32_t U16(Status s, int k)
{
    return s[k] | (std::uint32_t{s[k + 1]} << 8);
}

std::uint32_t U32(Status s, int k)
{
    return U16(s, k) | (U16(s, k + 2) << 16);
}

// Where the payload's samples go, worked out (and checked) before any write.
struct Layout {
    bool present[4] = {};
    int analog[2] = {};  // present analog channels in payload order
    int nA = 0;
    int digital[2] = {};  // present digital channels, D1 first
    int nD = 0;
    int n = 0;           // Smpl_N: samples in the payload
    int group = 1;       // samples sharing one digital byte (4 / nD)
    int stride = 0;      // payload bytes per group
    int fullGroups = 0;  // groups whose digital byte is in the payload
    bool pairFrame = false;
    int perPos = 1;         // samples per position
    bool ringMode = false;  // status byte 0x00 bit 0: W is a ring write position
    bool ring = false;      // ring frame: ring mode and the roll flag
    int frameLen = 0, preLen = 0, validLen = 0, ringEnd = 0;
    int start = 0;         // position of the first placed sample
    int ringWriteRaw = 0;  // W before halving, in payload samples (recorder)
};

// Pair frames (peak detect, Acq_Flags echo bit 0) carry two samples per
// position; pair mode (Mode_Flags echo bit 0) only narrows the channels to one
// analog and one digital channel.
//
// Checks the packet against itself and the settings. Every rule that fails
// makes the frame Malformed; nothing has been written at that point.
//  1. The settings exist and N = Smpl_N lies in 1..FrameCapacity.
//  2. The payload holds N samples of every present channel:
//     nA * N + (N * nD) / 4 bytes, nA/nD = present analog/digital channels.
//     Longer payloads are accepted; the extra bytes are not read.
//  3. FrameLen = pre + post (halved in pair frames) fits FrameCapacity and the
//     positions the payload holds (N, or N / 2 in pair frames). PreLen never
//     exceeds FrameLen since both counts are unsigned.
//  4. Ring mode (status byte 0x00 bit 0): the raw W lies in 0..N, since the
//     recorder takes payload samples up to W (W = N is index 0).
//     Ring frames (ring mode and roll flag): also W (halved in pair frames)
//     lies in 0..FrameLen. W = FrameLen is a full, just-written ring (all
//     positions valid, same placement as W = 0 in scroll mode). T is not used.
//  5. Other frames: T (halved in pair frames) lies in 0..FrameLen - 1, so one
//     addition or subtraction of FrameLen brings every position into range.
//     An empty frame (FrameLen 0) places nothing and does not look at T.
// A divider of 0 (Decim 0xFFFFFFFF wrapped) is not an error; see FineTrigger.
bool PlanFrame(std::span<const std::uint8_t> payload, Status st, const DecodeContext& ctx, Layout& L)
{
    if (ctx.acq == nullptr) {
        return false;
    }
    L.n = ctx.acq->Smpl_N;
    if (L.n < 1 || L.n > FrameCapacity) {
        return false;
    }

    // Channel presence: the acquired channels, narrowed in pair mode to the
    // one analog and the one digital channel the instrument transfers.
    unsigned mask = st[kChMask] & 0x0Fu;
    const std::uint8_t mode = st[kModeFlags];
    if (mode & 0x01) {
        mask &= (mode & 0x02) ? ~0x01u : ~0x02u;
        mask &= (mode & 0x04) ? ~0x04u : ~0x08u;
    }
    for (int ch = 0; ch < 4; ++ch) {
        L.present[ch] = (mask >> ch) & 1u;
    }
    for (int ch : {ChanA1, ChanA2}) {
        if (L.present[ch]) L.analog[L.nA++] = ch;
    }
    for (int ch : {ChanD1, ChanD2}) {
        if (L.present[ch]) L.digital[L.nD++] = ch;
    }

    // Payload layout: groups of `group` samples, each the analog bytes of its
    // samples followed by one digital byte; a partial last group has no
    // digital byte.
    L.group = L.nD == 0 ? 1 : 4 / L.nD;
    L.stride = L.group * L.nA + (L.nD > 0 ? 1 : 0);
    L.fullGroups = L.nD == 0 ? 0 : L.n / L.group;
    const std::size_t need = static_cast<std::size_t>(L.nA) * L.n + static_cast<std::size_t>(L.n * L.nD / 4);
    if (payload.size() < need) {
        return false;
    }

    L.pairFrame = st[kAcqFlags] & 0x01;
    L.perPos = L.pairFrame ? 2 : 1;
    const int pre = static_cast<int>(U16(st, kPreCount));
    const int post = static_cast<int>(U16(st, kPostCount));
    L.frameLen = (pre + post) / L.perPos;
    L.preLen = pre / L.perPos;
    if (L.frameLen > FrameCapacity || L.frameLen > L.n / L.perPos) {
        return false;
    }

    const std::uint8_t state = st[kState];
    L.ringMode = state & 0x01;
    L.ring = L.ringMode && (st[kRollFlags] & 0x01);
    if (L.ringMode) {
        L.ringWriteRaw = static_cast<int>(U16(st, kRingWrite));
        if (L.ringWriteRaw > L.n) {
            return false;
        }
    }
    if (L.ring) {
        const int w = L.ringWriteRaw / L.perPos;
        if (w > L.frameLen) {
            return false;
        }
        if (state & 0x02) {  // wrapped: the whole ring holds samples
            L.validLen = L.frameLen;
            if (ctx.acq->Scroll) {
                // Oldest sample first: sample k to (FrameLen - W + k) mod FrameLen.
                L.ringEnd = L.frameLen;
                L.start = L.frameLen - w;
                if (L.start == L.frameLen) L.start = 0;
            } else {
                L.ringEnd = w;
            }
        } else {
            L.validLen = L.ringEnd = w;
        }
    } else {
        L.validLen = L.ringEnd = L.frameLen;
        if (L.frameLen > 0) {
            const int t = static_cast<int>(U16(st, kRingTrig)) / L.perPos;
            if (t >= L.frameLen) {
                return false;
            }
            // Sample k to PreLen - T + k, so the trigger sample lands at PreLen.
            L.start = L.preLen - t;
            if (L.start < 0) L.start += L.frameLen;
            if (L.start >= L.frameLen) L.start -= L.frameLen;
        }
    }
    return true;
}

// Writes samples 0 .. ValidLen * perPos - 1 to their positions; position
// start + k wraps once at FrameLen. NA and ND are the numbers of present
// analog and digital channels; with them the payload is a run of groups of
// 4 / ND samples, each the analog bytes of its samples and then one digital
// byte. Digital bits of a sample without a digital byte (partial last group)
// become MissingSample.
template <bool Pair, int NA, int ND>
void PlaceSamples(const Layout& L, const std::uint8_t* payload, FrameBuffers& buf)
{
    constexpr int kGroup = ND == 0 ? 1 : 4 / ND;  // samples per digital byte
    constexpr int kStride = kGroup * NA + (ND > 0 ? 1 : 0);
    constexpr int kPerPos = Pair ? 2 : 1;
    // A unit is a whole number of groups and of positions.
    constexpr int kUnit = kGroup > kPerPos ? kGroup : kPerPos;
    constexpr int kUnitBytes = kUnit / kGroup * kStride;

    std::int32_t* aDest[2][2] = {};  // [first/second][channel]
    std::int32_t* dDest[2][2] = {};
    for (int c = 0; c < NA; ++c) {
        aDest[0][c] = buf.First(L.analog[c]);
        aDest[1][c] = buf.Second(L.analog[c]);
    }
    for (int k = 0; k < ND; ++k) {
        dDest[0][k] = buf.First(L.digital[k]);
        dDest[1][k] = buf.Second(L.digital[k]);
    }

    const int samples = L.validLen * kPerPos;
    const int frameLen = L.frameLen;
    // Samples that have their digital byte (all of them without digital channels).
    const int complete = ND == 0 ? samples : std::min(samples, L.fullGroups * kGroup);
    const int units = complete / kUnit;

    // Fast part: whole units, all offsets known at compile time. Normal frames
    // fill the first buffers only; the second ones are copied below.
    int pos = L.start;
    const std::uint8_t* unit = payload;
    for (int u = 0; u < units; ++u, unit += kUnitBytes) {
        for (int q = 0; q < kUnit / kPerPos; ++q) {
            for (int h = 0; h < kPerPos; ++h) {
                const int j = q * kPerPos + h;  // sample within the unit
                const std::uint8_t* grp = unit + j / kGroup * kStride;
                const int r = j % kGroup;
                for (int c = 0; c < NA; ++c) {
                    aDest[h][c][pos] = grp[r * NA + c];
                }
                for (int k = 0; k < ND; ++k) {
                    // Bits are handed out from bit 3 down, D1 before D2.
                    dDest[h][k][pos] = (grp[kGroup * NA] >> (3 - r * ND - k)) & 1;
                }
            }
            if (++pos == frameLen) pos = 0;
        }
    }

    // The rest, sample by sample: a partial unit and samples whose digital
    // byte is not in the payload.
    for (int i = units * kUnit; i < samples; ++i) {
        const std::uint8_t* grp = payload + static_cast<std::size_t>(i / kGroup) * kStride;
        const int r = i % kGroup;
        const int h = Pair ? (i & 1) : 0;
        for (int c = 0; c < NA; ++c) {
            aDest[h][c][pos] = grp[r * NA + c];
        }
        for (int k = 0; k < ND; ++k) {
            dDest[h][k][pos] = i < complete ? (grp[kGroup * NA] >> (3 - r * ND - k)) & 1 : MissingSample;
        }
        if ((!Pair || h == 1) && ++pos == frameLen) pos = 0;
    }

    // Normal frames: every position below ValidLen was written exactly once;
    // the second buffers hold the same values.
    if constexpr (!Pair) {
        for (int c = 0; c < NA; ++c) std::copy_n(aDest[0][c], L.validLen, aDest[1][c]);
        for (int k = 0; k < ND; ++k) std::copy_n(dDest[0][k], L.validLen, dDest[1][k]);
    }
}

using PlaceFn = void (*)(const Layout&, const std::uint8_t*, FrameBuffers&);

template <bool Pair>
constexpr PlaceFn kPlace[3][3] = {
    {PlaceSamples<Pair, 0, 0>, PlaceSamples<Pair, 0, 1>, PlaceSamples<Pair, 0, 2>},
    {PlaceSamples<Pair, 1, 0>, PlaceSamples<Pair, 1, 1>, PlaceSamples<Pair, 1, 2>},
    {PlaceSamples<Pair, 2, 0>, PlaceSamples<Pair, 2, 1>, PlaceSamples<Pair, 2, 2>},
};

struct ChannelStats {
    std::int32_t sum = 0;
    std::uint32_t sumSq = 0;
    std::int32_t peakToPeak = -1;
};

// Statistics over positions 0..validLen-1 of a present analog channel. Those
// entries were just written from payload bytes (0..255), so per buffer the
// plain sums and sums of squares fit 32 bits (40000 * 255^2 < 2^32); the sum
// of squares about the zero follows exactly as
//   sum (x - z)^2 = sum x^2 - 2 z sum x + count z^2.
// The zero is clamped to +-2^20 (a zero that far out saturates the result
// anyway), which keeps that sum inside 64 bits.
ChannelStats AnalogStats(const std::int32_t* first, const std::int32_t* second, int validLen, int zero, bool pair)
{
    // The codes fit 16 bits, which lets the loops use 16-bit min/max and
    // multiply-add vector instructions.
    std::uint32_t sumFirst = 0, sumSecond = 0, sqFirst = 0, sqSecond = 0;
    std::int16_t lo = std::numeric_limits<std::int16_t>::max();
    std::int16_t hi = std::numeric_limits<std::int16_t>::min();
    if (pair) {
        for (int p = 0; p < validLen; ++p) {
            const std::int16_t f = static_cast<std::int16_t>(first[p]);
            const std::int16_t s = static_cast<std::int16_t>(second[p]);
            sumFirst += static_cast<std::uint16_t>(f);
            sumSecond += static_cast<std::uint16_t>(s);
            sqFirst += static_cast<std::uint32_t>(f * f);
            sqSecond += static_cast<std::uint32_t>(s * s);
            lo = std::min(lo, f);
            hi = std::max(hi, s);
        }
    } else {
        // Both buffers hold the same values: one pass serves both.
        for (int p = 0; p < validLen; ++p) {
            const std::int16_t f = static_cast<std::int16_t>(first[p]);
            sumFirst += static_cast<std::uint16_t>(f);
            sqFirst += static_cast<std::uint32_t>(f * f);
            lo = std::min(lo, f);
            hi = std::max(hi, f);
        }
        sumSecond = sumFirst;
        sqSecond = sqFirst;
    }
    const std::int64_t z = std::clamp(zero, -(1 << 20), 1 << 20);
    const std::int64_t sum = std::int64_t{sumFirst} + sumSecond;
    const std::int64_t sumSq = std::int64_t{sqFirst} + sqSecond - 2 * z * sum + 2 * std::int64_t{validLen} * z * z;

    ChannelStats r;
    r.sum = static_cast<std::int32_t>(sum / 2);
    r.sumSq = static_cast<std::uint32_t>(std::min<std::int64_t>(sumSq / 2, std::numeric_limits<std::uint32_t>::max()));
    // Clipped (a code 0, or 254 and above) or empty: no peak-to-peak.
    r.peakToPeak = (validLen > 0 && lo > 0 && hi < 254) ? hi - lo : -1;
    return r;
}

std::int32_t ClampToInt32(std::int64_t v)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

// Trigger source, level, fine position and the fields next to them.
void FineTrigger(const Layout& L, Status st, const DecodeContext& ctx, const FrameBuffers& buf, FrameRecord& r)
{
    const std::uint8_t acqFlags = st[kAcqFlags];
    const std::uint8_t mode = st[kModeFlags];
    const std::int32_t fineDefault = L.pairFrame ? 0 : 5;
    const std::uint8_t sourceCode =
        static_cast<std::uint8_t>(1 + ((acqFlags & 0x02) ? 2 : 0) + ((acqFlags & 0x04) ? 1 : 0));

    r.TrigSourceCode = sourceCode;
    r.TrigSource = 0;
    r.TrigLevelCode = 0;
    std::int32_t fine = fineDefault;

    const bool triggerOn = mode & 0x80;
    const bool fieldsFilled = !(st[kState] & 0x04);
    if (triggerOn && fieldsFilled) {
        r.TrigSource = sourceCode;
        const bool rising = !(acqFlags & 0x10);
        const double counter = U32(st, kTrigCounter);
        // The divider is Decim + 1 in 32 bits; 0 means Decim wrapped, i.e. a
        // divider of 2^32, where (C + f) * 10 / D is 0 for every counter: the
        // fine position keeps its default instead of dividing by zero.
        const std::uint32_t divider = static_cast<std::uint32_t>(r.Divider);

        if (sourceCode <= 2) {
            const int ch = sourceCode - 1;
            const AcqConfig& acq = *ctx.acq;
            const int upper = ch == 0 ? acq.Trig_Hi_A1 : acq.Trig_Hi_A2;
            const int lower = ch == 0 ? acq.Trig_Lo_A1 : acq.Trig_Lo_A2;
            r.TrigLevelCode = static_cast<std::int32_t>(
                std::clamp<std::int64_t>(RoundHalfAway(ch == 0 ? ctx.Lev_A1 : ctx.Lev_A2), 0, 255));

            if (divider == 1 && L.present[ch]) {
                // Full rate: find the crossing in tenths by interpolating the
                // first buffer after Pre_N. A missing value never counts as a
                // crossing (Pre_N at or past the frame end gives 10).
                const std::int32_t* samples = buf.First(ch);
                const int index =
                    acq.Pre_N < static_cast<std::uint32_t>(L.frameLen) ? static_cast<int>(acq.Pre_N) : L.frameLen;
                int j = 0;
                for (; j < 10; ++j) {
                    const std::int32_t v = InterpolateSample(samples, index, j, L.frameLen);
                    if (v == MissingSample) continue;
                    if (rising ? v > upper : v < lower) break;
                }
                fine = j;
            } else if (divider != 0) {
                // From the two codes around the crossing.
                const int a = st[kCrossBefore];
                const int b = st[kCrossAfter];
                const int s = std::abs(b - a);
                double f = 0.5;
                if (s != 0) {
                    f = rising ? static_cast<double>(upper - a) / s : static_cast<double>(a - lower) / s;
                }
                fine = ClampToInt32(RoundHalfAway((counter + f) * 10.0 / divider));
            }
        } else {
            // Digital: the time-to-digital reading t in steps of 1/c of a
            // sample period, with c the calibration for channel and edge.
            const int idx = (sourceCode == 3 ? 0 : 2) + (rising ? 0 : 1);
            double c = ctx.tdc[idx];
            if (c > 27 || c < 12) c = 20;
            const double t = st[kTdcReading] & 0x1F;
            const double f = std::max(0.0, 1.0 - t / c);
            if (divider != 0) {
                fine = ClampToInt32(RoundHalfAway((counter + f) * 10.0 / divider) + fineDefault);
            }
        }
    }
    r.TrigFine10 = fine;
    r.TrigFine10Copy = fine;
}

// Appends the A1 bytes of ring indices lastIndex .. W - 1 (wrapping at N) to
// the recorder buffer. The first ring frame after starting, and a last index
// left over from a different N, only set the index.
void FeedRecorder(const Layout& L, std::span<const std::uint8_t> payload, RecorderStream& rec)
{
    if (!rec.active) {
        rec.buffer.clear();
        rec.lastIndex = -1;
        return;
    }
    if (!L.ringMode) {
        return;
    }
    const int w = L.ringWriteRaw == L.n ? 0 : L.ringWriteRaw;
    if (rec.lastIndex < 0 || rec.lastIndex >= L.n) {
        rec.lastIndex = w;
        return;
    }
    if (L.present[ChanA1]) {
        const int count = rec.lastIndex <= w ? w - rec.lastIndex : L.n - rec.lastIndex + w;
        rec.buffer.reserve(rec.buffer.size() + static_cast<std::size_t>(count));
        int i = rec.lastIndex;
        int g = i / L.group;
        int r = i % L.group;
        for (int left = count; left > 0; --left) {
            // A1 is the first analog byte of its sample.
            rec.buffer.push_back(payload[static_cast<std::size_t>(g) * L.stride + static_cast<std::size_t>(r) * L.nA]);
            if (++i == L.n) {
                i = g = r = 0;
            } else if (++r == L.group) {
                r = 0;
                ++g;
            }
        }
    }
    rec.lastIndex = w;
}

}  // namespace

DecodeResult DecodeFrame(std::uint8_t typeByte, std::span<const std::uint8_t> payload, Status status,
                         const DecodeContext& ctx, FrameSet& live, RecorderStream& rec)
{
    Layout L;
    if (!PlanFrame(payload, status, ctx, L)) {
        return DecodeResult::Malformed;
    }

    FrameBuffers& buf = live.buf;
    assert(buf.A1_First.size() == static_cast<std::size_t>(FrameCapacity));

    // Empty what the previous frame may have left: absent channels entirely,
    // present ones from ValidLen on.
    const int clearEnd = std::clamp(std::max(L.frameLen, buf.filled), 0, FrameCapacity);
    for (int ch = 0; ch < 4; ++ch) {
        const int from = L.present[ch] ? std::min(L.validLen, clearEnd) : 0;
        std::fill(buf.First(ch) + from, buf.First(ch) + clearEnd, MissingSample);
        std::fill(buf.Second(ch) + from, buf.Second(ch) + clearEnd, MissingSample);
    }
    (L.pairFrame ? kPlace<true> : kPlace<false>)[L.nA][L.nD](L, payload.data(), buf);
    buf.filled = (L.nA + L.nD > 0) ? L.validLen : 0;

    FrameRecord& r = live.rec;
    const AcqConfig& acq = *ctx.acq;
    const std::uint8_t state = status[kState];
    const std::uint8_t mode = status[kModeFlags];
    const std::uint8_t tplus = status[kTPlusFlags];

    r.StatusWord = static_cast<std::int32_t>(U16(status, kStatusWord));
    r.Divider = static_cast<std::int32_t>(U32(status, kDecim) + 1u);
    r.uV_Div_A1 = acq.uV_Div_A1;
    r.A1_Zero = ctx.A1_Zero;
    r.uV_Div_A2 = acq.uV_Div_A2;
    r.A2_Zero = ctx.A2_Zero;
    r.FrameLen = L.frameLen;
    r.PreLen = L.preLen;
    r.ValidLen = L.validLen;
    r.RingEnd = L.ringEnd;
    r.RollFlag = status[kRollFlags] & 0x01;
    r.PairFlag = L.pairFrame ? 1 : 0;
    r.FineBase1 = r.FineBase2 = L.pairFrame ? 0 : 5;
    r.ChannelMask = typeByte & 0x0F;
    r.F_Span = ctx.F_Span;
    r.F_Val = ctx.F_Val;
    r.FmStatus = ctx.FmStatus;
    r.FmCount = ctx.FmCount;
    r.FmTime = ctx.FmTime;
    r.TimeBaseCal = ctx.TimeBaseCal;

    // An absent channel has no sums and no peak-to-peak.
    const ChannelStats a1 =
        L.present[ChanA1] ? AnalogStats(buf.A1_First.data(), buf.A1_Second.data(), L.validLen, ctx.A1_Zero, L.pairFrame)
                          : ChannelStats{};
    const ChannelStats a2 =
        L.present[ChanA2] ? AnalogStats(buf.A2_First.data(), buf.A2_Second.data(), L.validLen, ctx.A2_Zero, L.pairFrame)
                          : ChannelStats{};
    r.SumA1 = a1.sum;
    r.SumA2 = a2.sum;
    r.SumSqA1 = a1.sumSq;
    r.SumSqA2 = a2.sumSq;
    r.PeakToPeakA1 = a1.peakToPeak;
    r.PeakToPeakA2 = a2.peakToPeak;

    // Advanced trigger kind from Mode_Flags bits 5-6: none 1, bit 5 2, both 3, bit 6 4.
    static constexpr std::int32_t kKinds[4] = {1, 2, 4, 3};
    r.AdvTrigKind = kKinds[(mode >> 5) & 0x03];
    r.TrigTimeLimit = (r.AdvTrigKind == 3 && !(tplus & 0x03)) ? 0 : static_cast<std::int32_t>(U32(status, kTLo));

    // Trigger state: event-count mode wins, then bit 4, then bit 3.
    r.TrigState = (tplus & 0x20) ? 3 : (state & 0x10) ? 2 : (state & 0x08) ? 1 : 0;
    r.EventCount = static_cast<std::uint16_t>(U16(status, kEventCount));
    r.Status66 = static_cast<std::uint16_t>(U16(status, kStatus66));
    r.Status74 = static_cast<std::uint16_t>(U16(status, kStatus74));

    FineTrigger(L, status, ctx, buf, r);
    r.DecodedFrames = r.DecodedFrames + 1;

    FeedRecorder(L, payload, rec);
    return DecodeResult::Ok;
}

}  // namespace kr40
