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

// The per-bin loops are built twice on x86-64 Linux, for AVX2/FMA and for the
// base instruction set; the loader picks one for the processor at hand.
#if defined(__x86_64__) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__))
#define KR40_SPECTRUM_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
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

// x[n] = (sample[n] - mean) * w[n] * voltsPerStep over one contiguous run.
KR40_SPECTRUM_CLONES
void WindowRun(const std::int32_t* __restrict samples, int count, double mean, const double* __restrict w,
               double voltsPerStep, double* __restrict x)
{
    for (int n = 0; n < count; ++n) x[n] = (static_cast<double>(samples[n]) - mean) * w[n] * voltsPerStep;
}

KR40_SPECTRUM_CLONES
std::int64_t SumRun(const std::int32_t* __restrict samples, int count)
{
    std::int64_t total = 0;
    for (int n = 0; n < count; ++n) total += samples[n];
    return total;
}

// Power of every bin and the averaging update. `mode`: 0 restart (the sum
// starts from this frame), 1 add, 2 add and drop the frame leaving the moving
// window (`old`, which may be the row being written when C = 64).
KR40_SPECTRUM_CLONES
void PowerUpdate(int bins, const std::complex<double>* __restrict spectrum, double scale, int mode,
                 double* __restrict sum, double* row, const double* old)
{
    const double* x = reinterpret_cast<const double*>(spectrum);
    if (mode == 0) {
        for (int k = 0; k < bins; ++k) {
            const double p = (x[2 * k] * x[2 * k] + x[2 * k + 1] * x[2 * k + 1]) * scale;
            sum[k] = p;
            row[k] = p;
        }
    } else if (mode == 1) {
        for (int k = 0; k < bins; ++k) {
            const double p = (x[2 * k] * x[2 * k] + x[2 * k + 1] * x[2 * k + 1]) * scale;
            sum[k] += p;
            row[k] = p;
        }
    } else {
        for (int k = 0; k < bins; ++k) {
            const double p = (x[2 * k] * x[2 * k] + x[2 * k + 1] * x[2 * k + 1]) * scale;
            const double dropped = old[k];
            sum[k] = (sum[k] + p) - dropped;
            row[k] = p;
        }
    }
}

// ln s for positive normal s, to about 4e-8 (finite for any other bits):
// s = 2^e m with m in (sqrt(1/2), sqrt(2)], ln m from a polynomial in m - 1
// (interpolation at the Chebyshev nodes of that interval, degree 8).
inline double FastLn(double s)
{
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(s);
    const std::uint64_t mantissa = bits & 0x000FFFFFFFFFFFFFull;
    // Integer operations only (no branch for the vectoriser to trip on):
    // a mantissa above that of sqrt(2) is halved, the exponent raised.
    const std::uint64_t high = mantissa > 0x6A09E667F3BCDull;
    const double m = std::bit_cast<double>(mantissa | (0x3FF0000000000000ull - (high << 52)));
    // The exponent as a double without an integer conversion: 2^52 + e - 2^52.
    const double e =
        std::bit_cast<double>(((bits >> 52) + high) | 0x4330000000000000ull) - (4503599627370496.0 + 1023.0);
    const double x = m - 1.0;
    double poly = -0.09610568068805528;
    poly = poly * x + 0.16247007808635738;
    poly = poly * x + -0.17437085825438994;
    poly = poly * x + 0.1990183010152832;
    poly = poly * x + -0.24950976038480824;
    poly = poly * x + 0.33334828194380944;
    poly = poly * x + -0.5000095634994474;
    poly = poly * x + 0.9999999600344619;
    poly = poly * x + 2.87670076431255e-08;
    return poly + e * std::numbers::ln2;
}

// Display heights from the power sums, v = a ln(sum) + b rounded half away
// (0 below 0.5). A bin whose v lies within `margin` of a rounding edge, or
// whose sum is not a positive normal number, gets -1 for the exact path.
KR40_SPECTRUM_CLONES
void FastHeights(int bins, const double* __restrict sum, double a, double b, double margin,
                 std::int32_t* __restrict out)
{
    constexpr double kLow = 2.2250738585072014e-308;  // smallest normal
    constexpr double kHigh = 1.7976931348623157e308;
    // Written with masks instead of branches so that it vectorises. FastLn
    // is finite and below 3000 in size for any bits, so v needs no clamping
    // before the conversion.
    for (int k = 0; k < bins; ++k) {
        const double s = sum[k];
        const double v = a * FastLn(s) + b;
        const double up = v + 0.5;
        const auto h = static_cast<std::int32_t>(up);
        const double frac = up - h;
        const int edge = (up > 1.0 - margin) & ((frac < margin) | (frac > 1.0 - margin));
        const int normal = (s >= kLow) & (s <= kHigh);
        const int positive = s > 0.0;
        const std::int32_t height = h & -static_cast<std::int32_t>(up >= 1.0);
        const std::int32_t checked = height | -static_cast<std::int32_t>((normal & (edge ^ 1)) ^ 1);
        out[k] = checked & -static_cast<std::int32_t>(positive);
    }
}

// min(0, v[0 .. count - 1]): negative when a bin is marked for the exact path.
inline std::int32_t SmallestOf(const std::int32_t* v, int count)
{
    std::int32_t least = 0;
    for (int k = 0; k < count; ++k) least = std::min(least, v[k]);
    return least;
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

Spectrum::Spectrum() : fft(kFftMaxLog2), input(Idx(kFftMaxPoints)), window(Idx(kFftMaxPoints))
{
    for (ChannelSpectrum& c : ch) {
        c.work.assign(Idx(kFftMaxPoints), {});
        c.sum.assign(Idx(kFftMaxBins), 0.0);
        c.history.assign(Idx(kFftMaxBins) * kFftHistory, 0.0);
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
    const int bins = points / 2;

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
        sp.windowKind = kind;
        sp.windowLen = m;
        sp.windowSum = total;
    }

    const double mean = static_cast<double>(SumRun(run1, len1) + SumRun(run2, len2)) / m;
    const int uvDiv = channel == 0 ? rec.uV_Div_A1 : rec.uV_Div_A2;
    const double voltsPerStep = uvDiv * kVoltsPerStepPerUv;
    double* x = sp.input.data();
    WindowRun(run1, len1, mean, sp.window.data(), voltsPerStep, x);
    WindowRun(run2, len2, mean, sp.window.data() + len1, voltsPerStep, x + len1);
    std::fill(x + m, x + points, 0.0);

    sp.fft.Forward(log2n, x, c.work.data());

    const double wsum = sp.windowSum;
    const double scale = 2.0 / (wsum * wsum);
    const bool restart = req[restartFlag] || count == 1 || (count <= kFftHistory && c.frames > count);
    if (restart) {
        c.frames = 0;
        c.ring = 0;
    }
    double* row = c.history.data() + Idx(c.ring) * kFftMaxBins;
    if (restart) {
        PowerUpdate(bins, c.work.data(), scale, 0, c.sum.data(), row, nullptr);
    } else if (count <= kFftHistory && c.frames == count) {
        const int dropped = (c.ring - count + kFftHistory) % kFftHistory;
        PowerUpdate(bins, c.work.data(), scale, 2, c.sum.data(), row, c.history.data() + Idx(dropped) * kFftMaxBins);
    } else {
        PowerUpdate(bins, c.work.data(), scale, 1, c.sum.data(), row, nullptr);
    }
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
    // away from zero; the bins near a rounding edge are redone exactly.
    const double lowered = static_cast<double>(top - range);
    const auto exactHeight = [&](double p) -> std::int32_t {
        if (!(p > 0)) return 0;
        const std::int64_t h = RoundHalfAway((10 * std::log10(p) - lowered + offset) * perDb);
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(h, 0, INT32_MAX - 1));
    };
    const double a = perDb * 10 / std::numbers::ln10;
    const double b = (-10 * std::log10(static_cast<double>(n)) - lowered + offset) * perDb;
    FastHeights(bins, sum, a, b, 1e-4, display);
    constexpr int kBlock = 64;  // a handful of bins per frame are marked: look block by block
    for (int start = 0; start < bins; start += kBlock) {
        const int end = std::min(bins, start + kBlock);
        if (SmallestOf(display + start, end - start) >= 0) continue;
        for (int k = start; k < end; ++k)
            if (display[k] < 0) display[k] = exactHeight(sum[k] / n);
    }

    // The strongest bin: the first largest sum / n.
    // A smaller sum may still give the same quotient; such a sum lies within
    // a few units in the last place of the largest.
    int kmax = FirstLargest(sum, bins);
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
