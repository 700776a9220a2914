#include "analysis/spectrum.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>

#include "acquisition/frame.h"
#include "acquisition/scope_settings.h"
#include "core/rounding.h"
#include "core/sample.h"

// The per-bin loops are built three times on x86-64 Linux, for AVX-512 (native
// 64-bit gathers and maxima for the height table), AVX2/FMA and the base
// instruction set; the loader picks one for the processor at hand.
#if defined(__x86_64__) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__))
#define KR40_SPECTRUM_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define KR40_SPECTRUM_CLONES
#endif

namespace kr40 {

namespace {

constexpr double kTwoPi = 6.2831852;
constexpr double kFourPi = 12.5663704;
constexpr double kSixPi = 18.8495556;
constexpr double kEightPi = 25.1327408;
constexpr double kVoltsPerStepPerUv = 3.125e-8;  // 1e-6 / 32 codes per division

std::size_t Idx(int i)
{
    return static_cast<std::size_t>(i);
}

KR40_SPECTRUM_CLONES
std::int64_t SumRun(const std::int32_t* __restrict samples, int count)
{
    std::int64_t total = 0;
    for (int n = 0; n < count; ++n) total += samples[n];
    return total;
}

// Power of every bin and the averaging update: the sum starts from this
// frame (restart; its row is the sum), adds it (add), adds it without
// keeping its row (add, unrecorded: no later frame can drop it), or adds it
// and drops the frame leaving the moving window, whose row it takes over
// (drop).
enum PowerMode { PowerRestart, PowerAdd, PowerAddUnrecorded, PowerDrop };

KR40_SPECTRUM_CLONES
void PowerUpdate(int bins, const std::complex<double>* __restrict spectrum, double scale, int mode,
                 double* __restrict sum, double* __restrict row)
{
    const double* x = reinterpret_cast<const double*>(spectrum);
    switch (mode) {
        case PowerRestart:
            for (int k = 0; k < bins; ++k) sum[k] = (x[2 * k] * x[2 * k] + x[2 * k + 1] * x[2 * k + 1]) * scale;
            break;
        case PowerAdd:
            for (int k = 0; k < bins; ++k) {
                const double p = (x[2 * k] * x[2 * k] + x[2 * k + 1] * x[2 * k + 1]) * scale;
                sum[k] += p;
                row[k] = p;
            }
            break;
        case PowerAddUnrecorded:
            for (int k = 0; k < bins; ++k) sum[k] += (x[2 * k] * x[2 * k] + x[2 * k + 1] * x[2 * k + 1]) * scale;
            break;
        default:
            for (int k = 0; k < bins; ++k) {
                const double p = (x[2 * k] * x[2 * k] + x[2 * k + 1] * x[2 * k + 1]) * scale;
                sum[k] = (sum[k] + p) - row[k];
                row[k] = p;
            }
            break;
    }
}

// Runs the power update on each block of bins as the transform finishes it.
// While the transform works in the cache, it fetches the sums and the row
// (which have long left the cache) part by part.
class PowerSink final : public BinSink {
public:
    PowerSink(int bins, double scale, int mode, double* sum, double* row)
        : bins_(bins), scale_(scale), mode_(mode), sum_(sum), row_(row)
    {
    }
    void Bins(const std::complex<double>* block, int first, int count) override
    {
        PowerUpdate(count, block, scale_, mode_, sum_ + first, row_ + first);
    }
    void Ahead(int part, int parts) override
    {
        constexpr int kLine = 64 / sizeof(double);
        const int begin = bins_ * part / parts, end = bins_ * (part + 1) / parts;
        for (int k = begin; k < end; k += kLine) {
            __builtin_prefetch(sum_ + k, 1);
            if (mode_ != PowerRestart && mode_ != PowerAddUnrecorded) __builtin_prefetch(row_ + k, 1);
        }
    }

private:
    int bins_;
    double scale_;
    int mode_;
    double* sum_;
    double* row_;
};

// Display heights by table: a sum's top 16 bits (sign, exponent, four
// mantissa bits) pick its bucket, whose entry holds the height at the
// bucket's start (top 16 bits) and the low 48 bits of the one sum inside the
// bucket where the height steps up (or 0, with the start height less one,
// when it has none). Sums below the first bucket get 0.
constexpr int kBucketShift = 48;
constexpr std::int64_t kBucketLow = (std::int64_t{1} << kBucketShift) - 1;
constexpr std::int64_t kMagnitude = 0x7FFFFFFFFFFFFFFF;
constexpr std::int64_t kInfinity = 0x7FF0000000000000;

std::int64_t BucketKey(double s)
{
    return std::bit_cast<std::int64_t>(s) >> kBucketShift;
}

// The largest of v[0 .. count - 1] (count >= 1) when it is positive, else
// some value not above 0; `finite` is cleared when any value is infinite or
// NaN. On the bit patterns as integers, which order the positive doubles and
// put every negative one below them, so that the loop vectorises.
KR40_SPECTRUM_CLONES
double LargestOf(const double* __restrict v, int count, bool& finite)
{
    std::int64_t top = std::bit_cast<std::int64_t>(v[0]), worst = 0;
    for (int k = 0; k < count; ++k) {
        const auto bits = std::bit_cast<std::int64_t>(v[k]);
        top = std::max(bits, top);
        worst = std::max(bits & kMagnitude, worst);
    }
    finite = worst < kInfinity;
    return std::bit_cast<double>(top);
}

// The heights of sum[0 .. bins - 1] by the table of buckets 0 .. last, and in
// the same pass their largest as LargestOf finds it. Sums above the last
// bucket take its entry: the heights hold only when the largest is finite
// and lies at or below the last bucket.
KR40_SPECTRUM_CLONES
double TableHeights(int bins, const double* __restrict sum, std::int64_t firstKey, std::int64_t last,
                    const std::int64_t* __restrict buckets, std::int32_t* __restrict out, bool& finite)
{
    std::int64_t top = std::bit_cast<std::int64_t>(sum[0]), worst = 0;
    for (int k = 0; k < bins; ++k) {
        const auto bits = std::bit_cast<std::int64_t>(sum[k]);
        const std::int64_t index = (bits >> kBucketShift) - firstKey;
        const std::int64_t inside = ~(index >> 63);  // all ones when index >= 0
        const std::int64_t e = buckets[std::min(index & inside, last)];
        const std::int64_t h = (e >> kBucketShift) + ((bits & kBucketLow) >= (e & kBucketLow));
        out[k] = static_cast<std::int32_t>(h & inside);
        top = std::max(bits, top);
        worst = std::max(bits & kMagnitude, worst);
    }
    finite = worst < kInfinity;
    return std::bit_cast<double>(top);
}

// Index of the first v[k] == x, count if none.
int FirstEqual(const double* v, int count, double x)
{
    constexpr int kBlock = 64;
    for (int start = 0; start < count; start += kBlock) {
        const int end = std::min(count, start + kBlock);
        bool any = false;
        for (int k = start; k < end; ++k) any |= v[k] == x;
        if (!any) continue;
        for (int k = start; k < end; ++k)
            if (v[k] == x) return k;
    }
    return count;
}

// The smallest positive double x with pred(x), for a pred that is false
// below some point and true from it on: a search outwards from `guess` in
// growing steps over the bit patterns, then bisection. +0 counts as false;
// infinity is returned when even the largest finite value fails.
template <class Pred>
double SmallestWhere(double guess, const Pred& pred)
{
    using U = std::uint64_t;
    constexpr U kLargest = 0x7FEFFFFFFFFFFFFFull;
    const auto at = [](U u) { return std::bit_cast<double>(u); };
    U g = guess > 0 ? std::bit_cast<U>(guess) : 1;
    g = std::clamp<U>(g, 1, kLargest);
    U lo = 0, hi = 0;  // pred(lo) false (or lo == 0), pred(hi) true
    U step = 1;
    if (pred(at(g))) {
        hi = g;
        while (lo == 0) {
            if (hi <= step) break;
            if (pred(at(hi - step))) {
                hi -= step;
                step *= 2;
            } else {
                lo = hi - step;
            }
        }
    } else {
        lo = g;
        for (;;) {
            const U next = kLargest - lo <= step ? kLargest : lo + step;
            if (pred(at(next))) {
                hi = next;
                break;
            }
            if (next == kLargest) return HUGE_VAL;
            lo = next;
            step *= 2;
        }
    }
    while (hi - lo > 1) {
        const U mid = lo + (hi - lo) / 2;
        (pred(at(mid)) ? hi : lo) = mid;
    }
    return at(hi);
}

// Index of the first largest of v[0 .. count - 1], in four interleaved
// lanes so that the comparisons do not wait on each other.
KR40_SPECTRUM_CLONES
int FirstLargest(const double* __restrict v, int count)
{
    constexpr int kLanes = 4;
    if (count < kLanes) {
        int best = 0;
        for (int k = 1; k < count; ++k)
            if (v[k] > v[best]) best = k;
        return best;
    }
    double value[kLanes];
    int index[kLanes];
    for (int l = 0; l < kLanes; ++l) {
        value[l] = v[l];
        index[l] = l;
    }
    int k = kLanes;
    for (; k + kLanes <= count; k += kLanes)
        for (int l = 0; l < kLanes; ++l) {
            const bool better = v[k + l] > value[l];
            value[l] = better ? v[k + l] : value[l];
            index[l] = better ? k + l : index[l];
        }
    for (; k < count; ++k)
        if (v[k] > value[0]) {
            value[0] = v[k];
            index[0] = k;
        }
    int best = 0;
    for (int l = 1; l < kLanes; ++l)
        if (value[l] > value[best] || (value[l] == value[best] && index[l] < index[best])) best = l;
    return index[best];
}

const std::int32_t* ChannelSamples(const FrameSet& f, int channel)
{
    return channel == 0 ? f.buf.A1_First.data() : f.buf.A2_First.data();
}

}  // namespace

double ScaleOffsetDb(int scale)
{
    static constexpr double kOffsets[] = {0.0, 13.0103, 11.2494, 2.21849};
    return kOffsets[std::clamp(scale, 0, 3)];
}

double WindowGain(int window)
{
    static constexpr double kGains[FftWindowCount] = {
        1.0,
        0.6666666666666666,
        0.26525198938992045,
        0.7299270072992701,
        0.5780346820809249,
        0.49751243781094534,
        0.49504950495049505,
        0.5050505050505051,
        0.7518796992481203,
    };
    return kGains[std::clamp(window, 0, FftWindowCount - 1)];
}

double WindowValue(int window, int n, int m)
{
    const double d = m - 1;
    const double x = n;
    const auto c = [&](double k) { return std::cos(k * x / d); };
    switch (window) {
        case WinHann:
            return 0.5 - 0.5 * c(kTwoPi);
        case WinFlatTop:
            return 1 - 1.93 * c(kTwoPi) + 1.29 * c(kFourPi) - 0.388 * c(kSixPi) + 0.032 * c(kEightPi);
        case WinHamming:
            return 0.54 - 0.46 * c(kTwoPi);
        case WinBlackman:
            return 0.42 - 0.5 * c(kTwoPi) + 0.08 * c(kFourPi);
        case WinBlackmanHarris:
            return 0.35875 - 0.48829 * c(kTwoPi) + 0.14128 * c(kFourPi) - 0.01168 * c(kSixPi);
        case WinNuttall:
            return 0.355768 - 0.487396 * c(kTwoPi) + 0.144232 * c(kFourPi) - 0.012604 * c(kSixPi);
        case WinBlackmanNuttall:
            return 0.3635819 - 0.4891775 * c(kTwoPi) + 0.1365995 * c(kFourPi) - 0.0106411 * c(kSixPi);
        case WinTriangular:
            return (2 / d) * (d / 2 - std::abs(x - d / 2));
        default:
            return 1.0;
    }
}

int TransformLog2(int sizeChoice, int validLen)
{
    if (sizeChoice >= 0 && sizeChoice <= 5) return 10 + sizeChoice;
    int log2n = 10;
    while (log2n < kFftMaxLog2 && (1 << log2n) < validLen) ++log2n;
    return log2n;
}

int AveragingCount(const ScopeSettings& s)
{
    if (!s.FFT_Ave_On) return 1;
    return 2 << std::clamp(s.FFT_Ave, 0, 6);
}

bool SpectrumRequested(const ScopeSettings& s, int channel)
{
    const bool own = channel == 0 ? s.FFT_View_A1 : s.FFT_View_A2;
    const bool other = channel == 0 ? s.FFT_View_A2 : s.FFT_View_A1;
    return own || (other && s.FFT_Calc_Both);
}

int SpectrumStatusOf(const ScopeSettings& s, const FrameRecord& rec, int channel)
{
    if (!SpectrumRequested(s, channel)) return FftNotRequested;
    if ((rec.ChannelMask & (1 << channel)) == 0) return FftNoSamples;
    if (rec.PairFlag != 0) return FftPeakDetect;
    if (rec.ValidLen < kFftMinSamples) return FftTooFew;
    return FftComputed;
}

Spectrum::Spectrum() : fft(kFftMaxLog2), ordered(Idx(kFftMaxPoints)), window(Idx(kFftMaxPoints))
{
    for (ChannelSpectrum& c : ch) {
        c.work.assign(Idx(kFftMaxPoints), {});
        c.sum.assign(Idx(kFftMaxBins), 0.0);
        c.history.assign(Idx(kFftMaxBins) * kFftHistory, 0.0);
        for (int r = 0; r < kFftHistory; ++r) c.rowOf[Idx(r)] = static_cast<std::uint8_t>(r);
        c.display.assign(Idx(kFftMaxBins), MissingSample);
    }
}

void ComputeSpectrum(Spectrum& sp, int channel, const ScopeSettings& s, const FrameSet& live, SpectrumRequests& req)
{
    const FrameRecord& rec = live.rec;
    ChannelSpectrum& c = sp.ch[Idx(channel)];
    const auto restartFlag = Idx(channel == 0 ? RestartA1 : RestartA2);
    const auto recomputeFlag = Idx(channel == 0 ? RecomputeA1 : RecomputeA2);

    if (rec.Divider != sp.lastDivider || rec.ValidLen != sp.lastValidLen) {
        req[RestartA1] = true;
        req[RestartA2] = true;
    }
    sp.lastDivider = rec.Divider;
    sp.lastValidLen = rec.ValidLen;

    const int count = AveragingCount(s);
    const int log2n = TransformLog2(s.FFT_Size, rec.ValidLen);
    const int points = 1 << log2n;

    // The samples: the first M, or in a roll frame the M ending just before
    // the ring end, as at most two contiguous runs.
    int m = std::min(rec.ValidLen, points);
    const std::int32_t* samples = ChannelSamples(live, channel);
    const std::int32_t* run1 = samples;
    const std::int32_t* run2 = samples;
    int len1 = 0, len2 = 0;
    if (rec.RollFlag != 0) {
        const int frameLen = std::clamp(rec.FrameLen, 1, FrameCapacity);
        const int end = std::clamp(rec.RingEnd, 0, frameLen);
        m = std::min(m, frameLen);
        if (m <= end) {
            run1 = samples + (end - m);
            len1 = m;
        } else {  // wraps below 0 to FrameLen - 1
            run1 = samples + (frameLen - (m - end));
            len1 = m - end;
            len2 = end;
        }
    } else {
        m = std::min(m, FrameCapacity);
        len1 = m;
    }
    if (m < 2) return;  // no window of this length; the status rules keep it from happening

    const int kind = std::clamp(s.FFT_Win, 0, FftWindowCount - 1);
    if (sp.windowKind != kind || sp.windowLen != m) {
        double total = 0;
        for (int n = 0; n < m; ++n) {
            sp.window[Idx(n)] = WindowValue(kind, n, m);
            total += sp.window[Idx(n)];
        }
        // Zeros after the M samples pad the transform.
        std::fill(sp.window.begin() + m, sp.window.end(), 0.0);
        sp.windowKind = kind;
        sp.windowLen = m;
        sp.windowSum = total;
    }

    // The transform reads N samples from the first: straight from the buffer
    // when they lie there in one run, else copied in order. What follows the
    // M samples meets the window's zeros.
    const std::int32_t* first = run1;
    if (len2 > 0 || (run1 - samples) + points > FrameCapacity) {
        std::int32_t* ordered = sp.ordered.data();
        std::copy(run1, run1 + len1, ordered);
        std::copy(run2, run2 + len2, ordered + len1);
        first = ordered;
    }
    const double mean = static_cast<double>(SumRun(run1, len1) + SumRun(run2, len2)) / m;
    const int uvDiv = channel == 0 ? rec.uV_Div_A1 : rec.uV_Div_A2;
    // A rectangular window over all N samples multiplies by ones: none is read.
    const double* window = kind == WinRectangular && m == points ? nullptr : sp.window.data();
    const WindowedSamples input{first, mean, window, uvDiv * kVoltsPerStepPerUv};

    const double wsum = sp.windowSum;
    const double scale = 2.0 / (wsum * wsum);
    const bool restart = req[restartFlag] || count == 1 || (count <= kFftHistory && c.frames > count);
    if (restart) {
        c.frames = 0;
        c.ring = 0;
    }
    int mode = PowerAdd;
    if (restart) {
        mode = PowerRestart;
    } else if (count > kFftHistory && c.frames >= kFftHistory) {
        // Averaging without end past the ring's length: a lower count later
        // finds more frames summed than it holds and restarts, so this row
        // is never dropped.
        mode = PowerAddUnrecorded;
    } else if (count <= kFftHistory && c.frames == count) {
        // The frame leaving the sum hands its row to this one; the row of
        // this ring slot held a frame older than any summed.
        const int dropped = (c.ring - count + kFftHistory) % kFftHistory;
        std::swap(c.rowOf[Idx(c.ring)], c.rowOf[Idx(dropped)]);
        mode = PowerDrop;
    }
    if (c.rowInSum && mode != PowerRestart) {
        // The frame summed alone so far (ring slot 0) needs its row now.
        std::copy(c.sum.begin(), c.sum.begin() + points / 2, c.history.begin() + Idx(c.rowOf[0]) * kFftMaxBins);
    }
    c.rowInSum = mode == PowerRestart;
    double* row = c.history.data() + Idx(c.rowOf[Idx(c.ring)]) * kFftMaxBins;
    PowerSink sink(points / 2, scale, mode, c.sum.data(), row);
    sp.fft.Forward(log2n, input, c.work.data(), &sink);
    c.ring = (c.ring + 1) % kFftHistory;
    ++c.frames;
    if (count <= kFftHistory && c.frames > count) c.frames = count;

    c.log2n = log2n;
    c.used = m;
    c.recomputed = true;
    req[restartFlag] = false;
    req[recomputeFlag] = false;
}

double ReferenceLevelDb(int scale, double uvDiv)
{
    return 20 * std::log10(uvDiv * 4 * 1e-6 * 0.70710678) + ScaleOffsetDb(scale);
}

int TopLevelDb(double referenceLevel)
{
    for (int t = -120; t <= 115; t += 5)
        if (t > referenceLevel - 0.5) return t;
    return 120;
}

void SpectrumToDisplay(Spectrum& sp, int channel, const ScopeSettings& s, double uvDivNow)
{
    ChannelSpectrum& c = sp.ch[Idx(channel)];
    const int bins = c.Bins();
    const int points = c.Points();
    const double offset = ScaleOffsetDb(s.FFT_Scale);

    const int top = TopLevelDb(ReferenceLevelDb(s.FFT_Scale, uvDivNow));
    const int range = s.FFT_15dB_div ? 120 : 80;
    const double perDb = s.FFT_15dB_div ? 2.1333333333333333 : 3.2;

    c.peak = SpectrumPeak{};
    c.peak.topDb = top;
    std::int32_t* display = c.display.data();
    std::fill(display + bins, display + kFftMaxBins, MissingSample);
    const int n = c.frames;
    if (n <= 0) {
        std::fill(display, display + bins, MissingSample);
        return;
    }
    const double* sum = c.sum.data();

    // height = (10 log10(sum / n) - (T - R) + offset) * perDb, rounded half
    // away from zero, at least 0.
    const double lowered = static_cast<double>(top - range);
    const auto heightOf = [&](double p) -> std::int32_t {
        if (!(p > 0)) return 0;
        const std::int64_t h = RoundHalfAway((10 * std::log10(p) - lowered + offset) * perDb);
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(h, 0, INT32_MAX - 1));
    };
    const double dn = n;
    // The heights are monotonic in the sum, so each bin needs only the steps
    // below it; they are kept while levels, n and the range of sums stay.
    SpectrumHeightSteps& st = c.steps;
    if (st.lowered != lowered || st.offset != offset || st.perDb != perDb) {
        st.lowered = lowered;
        st.offset = offset;
        st.perDb = perDb;
        st.q.clear();
        st.s.clear();
        st.lastKey = -1;
    }
    if (st.n != n) {
        st.n = n;
        st.s.clear();
        st.lastKey = -1;
    }
    // With steps kept, one pass gives the heights and the largest sum; they
    // stand unless the largest lies beyond the table.
    bool finite = true;
    double largest = 0;
    bool tabled = false;
    if (st.lastKey >= 0) {
        largest = TableHeights(bins, sum, st.firstKey, st.lastKey - st.firstKey, st.buckets.data(), display, finite);
        tabled = finite && BucketKey(largest) <= st.lastKey;
    } else {
        largest = LargestOf(sum, bins, finite);
    }
    const std::int32_t topHeight = finite ? heightOf(largest / dn) : 0;
    if (!tabled && finite && topHeight == 0) {
        std::fill(display, display + bins, 0);
        tabled = true;
    } else if (!tabled && finite) {
        tabled = true;
        st.lastKey = BucketKey(largest) + 16;  // a binade of headroom
        while (st.s.empty() || BucketKey(st.s.back()) <= st.lastKey) {
            const int h = static_cast<int>(st.s.size()) + 1;
            if (st.q.size() < st.s.size() + 1) {
                const double guess = std::pow(10.0, ((h - 0.5) / perDb + lowered - offset) / 10);
                st.q.push_back(SmallestWhere(guess, [&](double q) { return heightOf(q) >= h; }));
            }
            const double qh = st.q[st.s.size()];
            st.s.push_back(SmallestWhere(qh * dn, [&](double x) { return x / dn >= qh; }));
            if (std::isinf(st.s.back())) break;
        }
        st.firstKey = BucketKey(st.s.front());
        st.buckets.assign(Idx(static_cast<int>(st.lastKey - st.firstKey + 1)), 0);
        std::size_t next = 0;  // first step at or after the bucket
        for (std::size_t b = 0; b < st.buckets.size(); ++b) {
            const std::int64_t key = st.firstKey + static_cast<std::int64_t>(b);
            const auto below = static_cast<std::int64_t>(next);
            std::int64_t entry = (below - 1) * (std::int64_t{1} << kBucketShift);  // no step inside
            if (next < st.s.size() && BucketKey(st.s[next]) == key) {
                entry =
                    below * (std::int64_t{1} << kBucketShift) + (std::bit_cast<std::int64_t>(st.s[next]) & kBucketLow);
                ++next;
                if (next < st.s.size() && BucketKey(st.s[next]) == key) tabled = false;  // two steps
            }
            st.buckets[b] = entry;
        }
        if (tabled)
            TableHeights(bins, sum, st.firstKey, st.lastKey - st.firstKey, st.buckets.data(), display, finite);
        else
            st.lastKey = -1;
    }
    if (!tabled)
        for (int k = 0; k < bins; ++k) display[k] = heightOf(sum[k] / dn);

    // The strongest bin: the first largest sum / n.
    // A smaller sum may still give the same quotient; such a sum lies within
    // a few units in the last place of the largest.
    int kmax = finite && largest > 0 ? FirstEqual(sum, bins, largest) : FirstLargest(sum, bins);
    const double pmax = sum[kmax] / n;
    const double near = sum[kmax] - std::abs(sum[kmax]) * 1e-12;
    for (int k = 0; k < kmax; ++k)
        if (sum[k] >= near && sum[k] / n == pmax) {
            kmax = k;
            break;
        }

    // Power-weighted centre over the window's main lobe, +-(h - 1) bins.
    const double r = static_cast<double>(c.used) / points;
    const auto h = static_cast<int>(RoundNearestEven(4 / r));
    double total = sum[kmax] / n;
    double weighted = 0;
    for (int i = 1; i < h; ++i) {
        if (kmax - i < 0 || kmax + i >= bins) break;
        const double hi = sum[kmax + i] / n, lo = sum[kmax - i] / n;
        total += hi + lo;
        weighted += i * (hi - lo);
    }
    if (!(total > 0)) return;
    c.peak.position = (kmax + weighted / total) * 2 / points;
    c.peak.levelDb = 10 * std::log10(total * r * WindowGain(s.FFT_Win)) + offset;
    c.peak.valid = c.peak.levelDb > -160;
}

void PhaseDifference(Spectrum& sp)
{
    const auto& x1 = sp.ch[0].work;
    const auto& x2 = sp.ch[1].work;
    const int bins = std::min(sp.ch[0].Bins(), sp.ch[1].Bins());
    const auto strongest = [bins](const std::vector<std::complex<double>>& x) {
        int best = 0;
        double bestPower = std::norm(x[0]);
        for (int k = 1; k < bins; ++k) {
            const double p = std::norm(x[Idx(k)]);
            if (p > bestPower) {
                best = k;
                bestPower = p;
            }
        }
        return best;
    };
    const int k1 = strongest(x1);
    const int k2 = strongest(x2);
    sp.peaksCoincide = std::abs(k1 - k2) < 2;

    const auto difference = [](std::complex<double> a, std::complex<double> b) {
        SpectrumPhase ph;
        if (a == 0.0 || b == 0.0) return ph;
        double deg = (std::arg(a) - std::arg(b)) * (180 / std::numbers::pi);
        if (deg < -180) deg += 360;
        if (deg > 180) deg -= 360;
        ph.valid = true;
        ph.degrees = deg;
        return ph;
    };
    sp.ch[0].phase = difference(x1[Idx(k1)], x2[Idx(k1)]);
    sp.ch[1].phase = difference(x2[Idx(k2)], x1[Idx(k2)]);
}

void SpectrumPass(Spectrum& sp, const ScopeSettings& s, const FrameSet& live, std::array<double, 2> uvDivNow,
                  SpectrumRequests& req)
{
    const bool newFrame = !sp.haveFrame || live.rec.DecodedFrames != sp.lastFrame;
    bool transformed = false;
    for (int k = 0; k < 2; ++k) {
        ChannelSpectrum& c = sp.ch[Idx(k)];
        c.status = SpectrumStatusOf(s, live.rec, k);
        c.recomputed = false;
        if (c.status != FftComputed) continue;
        // A channel with nothing summed yet (its view just switched on) is
        // transformed even on a frame already seen.
        if (newFrame || req[Idx(k == 0 ? RecomputeA1 : RecomputeA2)] || c.frames == 0) {
            ComputeSpectrum(sp, k, s, live, req);
            transformed = true;
        }
    }
    if (transformed) {
        sp.lastFrame = live.rec.DecodedFrames;
        sp.haveFrame = true;
    }
    for (int k = 0; k < 2; ++k)
        if (sp.ch[Idx(k)].status == FftComputed) SpectrumToDisplay(sp, k, s, uvDivNow[Idx(k)]);
    if (sp.ch[0].status == FftComputed && sp.ch[1].status == FftComputed &&
        (sp.ch[0].recomputed || sp.ch[1].recomputed))
        PhaseDifference(sp);
}

}  // namespace kr40
