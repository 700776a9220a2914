#include "analysis/spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

#include "acquisition/frame.h"
#include "acquisition/scope_settings.h"
#include "core/rounding.h"
#include "core/sample.h"

namespace kr40 {
namespace {

constexpr double kUvDiv = 1e6;             // 1 V per division
constexpr double kVoltsPerCode = 0.03125;  // 1 V / 32 codes
constexpr double kFullScaleCodes = 128;    // 4 divisions
constexpr std::array<double, 2> kUvNow{kUvDiv, kUvDiv};

// Sample code n of a sine of `cycles` periods over `len` samples around 128.
int SineCode(double amplitude, double cycles, int n, int len, double phaseDeg = 0)
{
    const double a = 2 * std::numbers::pi * cycles * n / len + phaseDeg * std::numbers::pi / 180;
    return static_cast<int>(RoundHalfAway(128 + amplitude * std::sin(a)));
}

// A sine at a quarter of the sampling rate has the exact codes 128, 128 + a,
// 128, 128 - a, so its power (a volts-per-code)^2 / 2 is known to rounding.
int QuarterCode(int amplitude, int n)
{
    static constexpr int kShape[4] = {0, 1, 0, -1};
    return 128 + amplitude * kShape[n % 4];
}

double QuarterPower(int amplitude)
{
    const double v = amplitude * kVoltsPerCode;
    return v * v / 2;
}

// Reference level of a full-scale sine at 1 V/div: 4 V peak in dBV, plus
// the scale's offset.
double FullScaleLevel(int scale)
{
    return 20 * std::log10(4 * std::numbers::sqrt2 / 2) + ScaleOffsetDb(scale);
}

class SpectrumTest : public ::testing::Test {
protected:
    std::unique_ptr<Spectrum> sp = std::make_unique<Spectrum>();
    std::unique_ptr<FrameSet> live = std::make_unique<FrameSet>();
    ScopeSettings s;
    SpectrumRequests req{};

    void SetUp() override
    {
        s.FFT_View_A1 = true;
        s.FFT_View_A2 = false;
        s.FFT_Calc_Both = false;
        s.FFT_Size = 0;  // 1024
        s.FFT_Win = WinRectangular;
        s.FFT_Scale = 0;
        s.FFT_Ave_On = false;
        s.FFT_15dB_div = false;
        FrameRecord& r = live->rec;
        r.Divider = 1;
        r.uV_Div_A1 = r.uV_Div_A2 = static_cast<std::int32_t>(kUvDiv);
        r.ChannelMask = 3;
        live->buf.filled = FrameCapacity;
    }

    // A new frame of `len` samples whose channel `ch` holds code(n).
    void Frame(int len, const std::function<int(int)>& code, int ch = 0)
    {
        std::int32_t* b = live->buf.First(ch);
        for (int n = 0; n < len; ++n) b[n] = code(n);
        FrameRecord& r = live->rec;
        r.ValidLen = r.FrameLen = r.RingEnd = len;
        ++r.DecodedFrames;
    }

    void Pass() { SpectrumPass(*sp, s, *live, kUvNow, req); }

    const ChannelSpectrum& A1() const { return sp->ch[0]; }
    const ChannelSpectrum& A2() const { return sp->ch[1]; }
};

// ---- Sizes, counts, status ----------------------------------------------

TEST(SpectrumRulesTest, TransformSizeAndAveragingCount)
{
    struct SizeCase {
        int choice, validLen, log2n;
    };
    const SizeCase sizes[] = {
        {0, 40000, 10}, {3, 100, 13},   {5, 128, 15},   {6, 128, 10},   {6, 1024, 10},
        {6, 1025, 11},  {6, 16384, 14}, {6, 16385, 15}, {6, 20000, 15}, {6, 40000, 15},
    };
    for (const SizeCase& c : sizes)
        EXPECT_EQ(TransformLog2(c.choice, c.validLen), c.log2n) << "choice " << c.choice << ", " << c.validLen;

    ScopeSettings s;
    s.FFT_Ave_On = false;
    s.FFT_Ave = 3;
    EXPECT_EQ(AveragingCount(s), 1);
    s.FFT_Ave_On = true;
    const int counts[] = {2, 4, 8, 16, 32, 64, 128};
    for (int choice = 0; choice <= 6; ++choice) {
        s.FFT_Ave = choice;
        EXPECT_EQ(AveragingCount(s), counts[choice]) << "choice " << choice;
    }
}

TEST(SpectrumRulesTest, StatusOfAChannel)
{
    struct Case {
        const char* name;
        bool viewA1, viewA2, calcBoth;
        int mask, pair, validLen;
        int a1, a2;
    };
    const Case cases[] = {
        {"nothing checked", false, false, true, 3, 0, 1000, 0, 0},
        {"A1 checked", true, false, false, 3, 0, 1000, 1, 0},
        {"A2 checked", false, true, false, 3, 0, 1000, 0, 1},
        {"A1 checked, both computed", true, false, true, 3, 0, 1000, 1, 1},
        {"A2 checked, both computed", false, true, true, 3, 0, 1000, 1, 1},
        {"no A2 samples", true, false, true, 1, 0, 1000, 1, 2},
        {"no A1 samples", true, false, true, 2, 0, 1000, 2, 1},
        {"peak detect", true, false, true, 3, 1, 1000, 3, 3},
        {"missing channel before peak detect", true, false, true, 1, 1, 1000, 3, 2},
        {"127 samples", true, false, true, 3, 0, 127, 4, 4},
        {"128 samples", true, false, true, 3, 0, 128, 1, 1},
    };
    for (const Case& c : cases) {
        ScopeSettings s;
        s.FFT_View_A1 = c.viewA1;
        s.FFT_View_A2 = c.viewA2;
        s.FFT_Calc_Both = c.calcBoth;
        FrameRecord rec{};
        rec.ChannelMask = c.mask;
        rec.PairFlag = c.pair;
        rec.ValidLen = c.validLen;
        EXPECT_EQ(SpectrumStatusOf(s, rec, 0), c.a1) << c.name;
        EXPECT_EQ(SpectrumStatusOf(s, rec, 1), c.a2) << c.name;
    }
}

TEST_F(SpectrumTest, OnlyChannelsWithStatusOneAreTransformed)
{
    s.FFT_Size = 6;
    Frame(127, [](int n) { return SineCode(50, 10, n, 127); });
    Pass();
    EXPECT_EQ(A1().status, FftTooFew);
    EXPECT_EQ(A1().frames, 0);

    Frame(128, [](int n) { return SineCode(50, 10, n, 128); });
    Pass();
    EXPECT_EQ(A1().status, FftComputed);
    EXPECT_EQ(A1().frames, 1);
    EXPECT_EQ(A1().used, 128);
    EXPECT_EQ(A1().Points(), 1024);
    EXPECT_EQ(A2().status, FftNotRequested);
}

TEST_F(SpectrumTest, NewFramesAndRecomputeRequestsDecideWhatIsTransformed)
{
    s.FFT_Ave_On = true;
    s.FFT_Ave = 6;  // Inf, so every transform shows in the counter
    Frame(1024, [](int n) { return QuarterCode(40, n); });
    Pass();
    EXPECT_EQ(A1().frames, 1);
    EXPECT_TRUE(A1().recomputed);
    Pass();  // same frame
    EXPECT_EQ(A1().frames, 1);
    EXPECT_FALSE(A1().recomputed);
    req[RecomputeA1] = true;
    Pass();
    EXPECT_EQ(A1().frames, 2);
    EXPECT_FALSE(req[RecomputeA1]);
    Frame(1024, [](int n) { return QuarterCode(40, n); });
    Pass();
    EXPECT_EQ(A1().frames, 3);

    // A2 switched on while the frame stands still has nothing summed yet and
    // is transformed at once; A1 is not transformed again.
    s.FFT_Calc_Both = true;
    Frame(
        1024, [](int n) { return QuarterCode(40, n); }, 1);
    --live->rec.DecodedFrames;
    Pass();
    EXPECT_EQ(A2().frames, 1);
    EXPECT_EQ(A1().frames, 3);
}

// ---- Levels, heights, the peak ------------------------------------------

TEST_F(SpectrumTest, FullScaleSineReachesTheReferenceLevel)
{
    // A ±4-division sine at a quarter of the sampling rate (codes 0..256: the
    // computation does not limit codes to the ADC's range), rectangular
    // window, so its power lands in one bin.
    struct Case {
        int scale;
        bool fifteen;
    };
    const Case cases[] = {{0, false}, {1, false}, {2, true}, {3, false}, {0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "scale " << c.scale << (c.fifteen ? ", 15 dB/div" : ", 10 dB/div"));
        s.FFT_Scale = c.scale;
        s.FFT_15dB_div = c.fifteen;
        s.FFT_Size = 1;  // 2048, then 1024: the display must shrink with it
        Frame(2048, [](int n) { return QuarterCode(128, n); });
        Pass();
        s.FFT_Size = 0;
        Frame(1024, [](int n) { return QuarterCode(128, n); });
        Pass();

        const double level = FullScaleLevel(c.scale);
        const int top = 5 * static_cast<int>(std::floor((level - 0.5) / 5)) + 5;
        const SpectrumPeak& pk = A1().peak;
        ASSERT_TRUE(pk.valid);
        EXPECT_NEAR(pk.levelDb, level, 0.01);
        EXPECT_EQ(pk.topDb, top);
        EXPECT_GT(top, level - 0.5);
        EXPECT_LE(top - 5, level - 0.5);
        EXPECT_NEAR(pk.position, 0.5, 1e-9);

        // 256 steps are the grid's 8 divisions below T.
        const double perDb = c.fifteen ? 256.0 / 120 : 256.0 / 80;
        const double expected = (level - top + (c.fifteen ? 120 : 80)) * perDb;
        const std::vector<std::int32_t>& d = A1().display;
        EXPECT_NEAR(d[256], expected, 0.5 + 1e-6);
        EXPECT_EQ(d[255], 0);  // no power: floor of the grid
        EXPECT_EQ(d[511], 0);
        EXPECT_EQ(d[512], MissingSample);
        EXPECT_EQ(d[1023], MissingSample);
    }
}

TEST_F(SpectrumTest, HeightsFollowTheLevelInEveryBin)
{
    // A sweep of levels over the whole display range, 10 and 15 dB/div, with
    // averaging over 3 frames so that sum / n is not a power of two: every
    // height must be the rounded dB value of its bin.
    s.FFT_Ave_On = true;
    s.FFT_Ave = 6;
    s.FFT_Size = 3;  // 8192
    const int len = 8192;
    std::vector<int> codes(len);
    unsigned seed = 1;
    for (int n = 0; n < len; ++n) {
        seed = seed * 1103515245u + 12345u;
        codes[static_cast<std::size_t>(n)] = SineCode(100, 1000.37, n, len) + static_cast<int>((seed >> 16) % 3) - 1;
    }
    for (const bool fifteen : {false, true}) {
        s.FFT_15dB_div = fifteen;
        for (int i = 0; i < 3; ++i) {
            Frame(len, [&](int n) { return codes[static_cast<std::size_t>(n)]; });
            Pass();
        }
        const ChannelSpectrum& c = A1();
        const int top = c.peak.topDb;
        const double r = fifteen ? 120 : 80;
        const double perDb = fifteen ? 2.1333333333333333 : 3.2;
        int mismatches = 0;
        for (int k = 0; k < c.Bins(); ++k) {
            const double p = c.sum[static_cast<std::size_t>(k)] / c.frames;
            std::int64_t h = p > 0 ? RoundHalfAway((10 * std::log10(p) - (top - r)) * perDb) : 0;
            if (h < 0) h = 0;
            mismatches += c.display[static_cast<std::size_t>(k)] != h;
        }
        EXPECT_EQ(mismatches, 0) << (fifteen ? "15" : "10") << " dB/div";
    }
}

TEST_F(SpectrumTest, HeightsAreExactAtEveryRoundingEdge)
{
    // Sums a few units in the last place around each power where the rounded
    // height steps, plus zero, negative, tiny and huge sums, displayed under
    // changing scales, ranges, volts per division and frame counts (the
    // kept steps must follow every change): each height must be the
    // rounded dB value of sum / n.
    ChannelSpectrum& c = sp->ch[0];
    c.log2n = 15;
    c.status = FftComputed;
    struct Case {
        int scale;
        bool fifteen;
        double uvDiv;
        int frames;
        double gain;  // every sum times this
    };
    const Case cases[] = {
        {0, false, 1e6, 1, 1},     {0, false, 1e6, 3, 1}, {1, false, 1e6, 3, 1}, {1, true, 1e6, 3, 1},
        {1, true, 2e4, 3, 1},      {1, true, 2e4, 64, 1}, {3, false, 5e5, 7, 1}, {3, false, 5e5, 7, 1e6},
        {0, true, 1e6, 128, 1e-9}, {0, false, 1e6, 1, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "scale " << k.scale << (k.fifteen ? ", 15" : ", 10") << " dB/div, "
                                        << k.uvDiv << " uV/div, " << k.frames << " frames, gain " << k.gain);
        s.FFT_Scale = k.scale;
        s.FFT_15dB_div = k.fifteen;
        c.frames = k.frames;
        const double offset = ScaleOffsetDb(k.scale);
        const int top = TopLevelDb(ReferenceLevelDb(k.scale, k.uvDiv));
        const double r = k.fifteen ? 120 : 80;
        const double perDb = k.fifteen ? 2.1333333333333333 : 3.2;
        // The edges of heights 1 .. 400 of this case, as sums.
        std::size_t i = 0;
        for (int h = 1; h <= 400 && i + 8 <= c.sum.size(); ++h) {
            const double edge = std::pow(10.0, ((h - 0.5) / perDb + (top - r) - offset) / 10) * k.frames;
            double v = edge;
            for (int u = 0; u < 3; ++u) v = std::nextafter(v, 0.0);
            for (int u = 0; u < 7; ++u, v = std::nextafter(v, HUGE_VAL)) c.sum[i++] = v * k.gain;
        }
        const double extra[] = {0.0, -0.0, -1e-30, 4.9e-324, 2.2250738585072014e-308, 1e-300, 1e300};
        for (const double v : extra) c.sum[i++] = v;
        while (i < c.sum.size()) c.sum[i++] = 1e-25;
        SpectrumToDisplay(*sp, 0, s, k.uvDiv);
        int mismatches = 0;
        for (std::size_t b = 0; b < c.sum.size(); ++b) {
            const double p = c.sum[b] / c.frames;
            std::int64_t h = p > 0 ? RoundHalfAway((10 * std::log10(p) - (top - r) + offset) * perDb) : 0;
            h = std::clamp<std::int64_t>(h, 0, INT32_MAX - 1);
            mismatches += c.display[b] != h;
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST_F(SpectrumTest, KeptStepsGiveWayToSumsTheyCannotTake)
{
    // A display keeps its steps; the next one, with the same levels and n,
    // meets sums beyond them: +inf, NaN, a sum far above the largest before.
    // Every height must still be the rounded dB value of sum / n.
    ChannelSpectrum& c = sp->ch[0];
    c.log2n = 15;
    c.status = FftComputed;
    c.frames = 3;
    const int top = TopLevelDb(ReferenceLevelDb(0, kUvDiv));
    const auto expected = [&](double sum) {
        const double p = sum / c.frames;
        const std::int64_t h = p > 0 ? RoundHalfAway((10 * std::log10(p) - (top - 80)) * 3.2) : 0;
        return std::clamp<std::int64_t>(h, 0, INT32_MAX - 1);
    };
    for (const double odd : {1e-3, HUGE_VAL, std::nan(""), 1e30, 1e-3}) {
        SCOPED_TRACE(testing::Message() << "odd sum " << odd);
        for (std::size_t k = 0; k < c.sum.size(); ++k) c.sum[k] = 1e-9 * static_cast<double>(k % 1000);
        c.sum[777] = odd;
        SpectrumToDisplay(*sp, 0, s, kUvDiv);
        int mismatches = 0;
        for (std::size_t k = 0; k < c.sum.size(); ++k) mismatches += c.display[k] != expected(c.sum[k]);
        EXPECT_EQ(mismatches, 0);
    }
}

TEST_F(SpectrumTest, EveryWindowMeasuresTheSineAndItsFrequency)
{
    // A sine between two bins (1000.3 periods in 8192 samples, N = 8192):
    // every window's gain and main-lobe sum give the sine's level, the
    // power-weighted centre its position.
    const int len = 8192;
    const double cycles = 1000.3;
    const double amplitude = 100;
    s.FFT_Size = 3;
    s.FFT_Scale = 1;
    for (int win = 0; win < FftWindowCount; ++win) {
        SCOPED_TRACE(testing::Message() << "window " << win);
        s.FFT_Win = win;
        Frame(len, [&](int n) { return SineCode(amplitude, cycles, n, len); });
        Pass();
        const SpectrumPeak& pk = A1().peak;
        ASSERT_TRUE(pk.valid);
        const double vrms = amplitude * kVoltsPerCode / std::numbers::sqrt2;
        // The rectangular window leaks most of an off-bin sine outside its
        // ±3 bins.
        EXPECT_NEAR(pk.levelDb, 20 * std::log10(vrms) + ScaleOffsetDb(1), win == WinRectangular ? 0.25 : 0.05);
        EXPECT_NEAR(pk.position * len / 2, cycles, win == WinRectangular ? 0.25 : 0.01);
    }
}

TEST_F(SpectrumTest, ZeroPaddedAutoSizeFindsTheFrequency)
{
    // 20000 samples: Auto takes N = 32768, M = 20000, the rest zeros.
    s.FFT_Size = 6;
    s.FFT_Win = WinHann;
    live->rec.Divider = 4;  // 25 MHz sampling
    const int len = 20000;
    Frame(len, [](int n) { return SineCode(120, 2345, n, len); });
    Pass();
    const ChannelSpectrum& c = A1();
    EXPECT_EQ(c.Points(), 32768);
    EXPECT_EQ(c.used, 20000);
    ASSERT_TRUE(c.peak.valid);
    // 2345 periods in 20000 samples at 25 MHz: 2.93125 MHz.
    const double frequency = c.peak.position * (100e6 / live->rec.Divider) / 2;
    EXPECT_NEAR(frequency, 2.93125e6, 25e6 / 32768 * 0.05);
    EXPECT_NEAR(c.peak.levelDb, 20 * std::log10(120 * kVoltsPerCode / std::numbers::sqrt2), 0.1);
    EXPECT_EQ(c.display[16383], 0);
}

TEST_F(SpectrumTest, SilenceHasNoPeak)
{
    Frame(1024, [](int) { return 77; });
    Pass();
    EXPECT_EQ(A1().status, FftComputed);
    EXPECT_FALSE(A1().peak.valid);
    EXPECT_EQ(A1().display[10], 0);
}

// ---- Averaging -----------------------------------------------------------

// Amplitude of frame i (1-based): distinct neighbours, so that dropping the
// wrong frame shows.
int AmplitudeOf(int i)
{
    return 1 + (i * 37) % 101;
}

TEST_F(SpectrumTest, AveragingKeepsTheLastCFramesOrAll)
{
    struct Case {
        const char* name;
        bool on;
        int choice, frames;  // frames fed
        int first, count;    // frames summed at the end: first .. frames, count of them
    };
    const Case cases[] = {
        {"off", false, 0, 3, 3, 1},
        {"8 frames, 8 fed", true, 2, 8, 1, 8},
        {"8 frames, 9 fed", true, 2, 9, 2, 8},
        {"8 frames, 20 fed", true, 2, 20, 13, 8},
        {"64 frames, 66 fed", true, 5, 66, 3, 64},
        {"Inf, 70 fed", true, 6, 70, 1, 70},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        sp = std::make_unique<Spectrum>();
        s.FFT_Ave_On = c.on;
        s.FFT_Ave = c.choice;
        for (int i = 1; i <= c.frames; ++i) {
            Frame(1024, [&](int n) { return QuarterCode(AmplitudeOf(i), n); });
            Pass();
        }
        double want = 0;
        for (int i = c.first; i <= c.frames; ++i) want += QuarterPower(AmplitudeOf(i));
        EXPECT_EQ(A1().frames, c.count);
        EXPECT_NEAR(A1().sum[256], want, want * 1e-9);
    }
}

TEST_F(SpectrumTest, ACountChangedOnTheWayDropsTheOldestFramesStillSummed)
{
    // Frames summed with one count, then more with another: with at most the
    // new count summed the sum goes on, dropping the oldest frames one by
    // one, so every one of them must still be held (also those summed
    // without end); with more it restarts.
    struct Case {
        int choice1, fed1;  // count choice and frames fed with it (6: Inf)
        int choice2, fed2;  // then
        int first, count;   // frames summed at the end: first .. last, count of them
    };
    const Case cases[] = {
        {1, 10, 2, 9, 12, 8},    // 4, then 8: four frames added, then drops again
        {6, 64, 5, 64, 65, 64},  // Inf, then 64: every frame summed with Inf is dropped
        {6, 63, 5, 65, 65, 64},  // one frame added before the first drop
        {6, 65, 5, 2, 66, 2},    // more than 64 summed: restart
        {6, 100, 3, 1, 101, 1},  // 16
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fed1 << " frames with choice " << c.choice1 << ", then " << c.fed2
                                        << " with choice " << c.choice2);
        SetUp();
        sp = std::make_unique<Spectrum>();
        s.FFT_Ave_On = true;
        const int last = c.fed1 + c.fed2;
        for (int i = 1; i <= last; ++i) {
            s.FFT_Ave = i <= c.fed1 ? c.choice1 : c.choice2;
            Frame(1024, [&](int n) { return QuarterCode(AmplitudeOf(i), n); });
            Pass();
        }
        double want = 0;
        for (int i = c.first; i <= last; ++i) want += QuarterPower(AmplitudeOf(i));
        EXPECT_EQ(A1().frames, c.count);
        EXPECT_NEAR(A1().sum[256], want, want * 1e-9);
    }
}

TEST_F(SpectrumTest, AveragingRestarts)
{
    // Four frames averaged over 16, then the change; the next frame starts
    // the sum afresh.
    struct Case {
        const char* name;
        std::function<void(ScopeSettings&, FrameRecord&, SpectrumRequests&)> change;
    };
    const Case cases[] = {
        {"count lowered below the counter", [](ScopeSettings& s, FrameRecord&, SpectrumRequests&) { s.FFT_Ave = 0; }},
        {"restart request", [](ScopeSettings&, FrameRecord&, SpectrumRequests& r) { r[RestartA1] = true; }},
        {"Divider changed", [](ScopeSettings&, FrameRecord& rec, SpectrumRequests&) { rec.Divider = 2; }},
        {"ValidLen changed", [](ScopeSettings&, FrameRecord& rec, SpectrumRequests&) { rec.ValidLen = 1400; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        sp = std::make_unique<Spectrum>();
        s.FFT_Ave_On = true;
        s.FFT_Ave = 3;  // 16
        for (int i = 1; i <= 4; ++i) {
            Frame(1500, [&](int n) { return QuarterCode(AmplitudeOf(i), n); });
            Pass();
        }
        ASSERT_EQ(A1().frames, 4);
        Frame(1500, [&](int n) { return QuarterCode(AmplitudeOf(5), n); });
        c.change(s, live->rec, req);
        Pass();
        EXPECT_EQ(A1().frames, 1);
        EXPECT_NEAR(A1().sum[256], QuarterPower(AmplitudeOf(5)), 1e-12);
        EXPECT_FALSE(req[RestartA1]);
    }

    // Lowering the count to the counter's value keeps the sum going.
    SetUp();
    sp = std::make_unique<Spectrum>();
    s.FFT_Ave_On = true;
    s.FFT_Ave = 3;  // 16
    for (int i = 0; i < 9; ++i) {
        if (i == 8) s.FFT_Ave = 2;  // 8, with 8 frames summed
        Frame(1024, [&](int n) { return QuarterCode(10, n); });
        Pass();
    }
    EXPECT_EQ(A1().frames, 8);
    EXPECT_NEAR(A1().sum[256], 8 * QuarterPower(10), 1e-12);
}

TEST_F(SpectrumTest, NewDividerRestartsBothChannels)
{
    s.FFT_Calc_Both = true;
    s.FFT_Ave_On = true;
    s.FFT_Ave = 6;
    for (int i = 0; i < 3; ++i) {
        Frame(
            1024, [](int n) { return QuarterCode(30, n); }, 1);
        Frame(
            1024, [](int n) { return QuarterCode(30, n); }, 0);
        Pass();
    }
    ASSERT_EQ(A1().frames, 3);
    ASSERT_EQ(A2().frames, 3);
    live->rec.Divider = 7;
    ++live->rec.DecodedFrames;
    Pass();
    EXPECT_EQ(A1().frames, 1);
    EXPECT_EQ(A2().frames, 1);
    EXPECT_FALSE(req[RestartA1] || req[RestartA2] || req[RecomputeA1] || req[RecomputeA2]);
}

// ---- Roll frames ---------------------------------------------------------

TEST_F(SpectrumTest, RollFrameTakesTheSamplesBeforeTheRingEnd)
{
    // The 1024 samples before RingEnd carry a quarter-rate sine starting at
    // phase 0; everything else is far off. Taking any other samples moves
    // the sine's phase or adds other tones.
    struct Case {
        const char* name;
        int frameLen, ringEnd;
    };
    const Case cases[] = {
        {"wrapping below 0", 2000, 300}, {"within the ring", 2000, 1500}, {"ending at 1024", 1500, 1024}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        sp = std::make_unique<Spectrum>();
        std::int32_t* b = live->buf.First(0);
        for (int i = 0; i < c.frameLen; ++i) b[i] = 250;
        for (int n = 0; n < 1024; ++n) {
            const int i = (c.ringEnd - 1024 + n + c.frameLen) % c.frameLen;
            b[i] = QuarterCode(100, n);
        }
        FrameRecord& r = live->rec;
        r.RollFlag = 1;
        r.FrameLen = r.ValidLen = c.frameLen;
        r.RingEnd = c.ringEnd;
        ++r.DecodedFrames;
        Pass();
        const std::complex<double> x = A1().work[256];
        EXPECT_NEAR(std::arg(x) * 180 / std::numbers::pi, -90, 1e-6);
        EXPECT_NEAR(A1().sum[256], QuarterPower(100), 1e-12);
        EXPECT_LT(A1().sum[100], 1e-20);
    }
}

TEST_F(SpectrumTest, RollFrameAtTheBufferEndTransformsAsTheSameSamplesInOrder)
{
    // 1000 samples (Auto: N = 1024, zero padded) ending just before the
    // buffer's end, so that N samples from the first would run past it; the
    // same samples at the start of a normal frame give the same transform.
    s.FFT_Size = 6;
    s.FFT_Win = WinHann;
    const int len = 1000;
    const auto code = [](int n) { return SineCode(90, 37.3, n, 1000) + n % 3; };
    const int end = FrameCapacity - 5;
    std::int32_t* b = live->buf.First(0);
    for (int n = 0; n < len; ++n) b[end - len + n] = code(n);
    FrameRecord& r = live->rec;
    r.RollFlag = 1;
    r.FrameLen = FrameCapacity;
    r.ValidLen = len;
    r.RingEnd = end;
    ++r.DecodedFrames;
    Pass();
    ASSERT_EQ(A1().Points(), 1024);
    const std::vector<std::complex<double>> roll(A1().work.begin(), A1().work.begin() + 512);

    r.RollFlag = 0;
    Frame(len, code);
    Pass();
    int mismatches = 0;
    for (std::size_t k = 0; k < roll.size(); ++k) mismatches += A1().work[k] != roll[k];
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(std::abs(roll[37]), 1.0);
}

// ---- Phase ---------------------------------------------------------------

TEST_F(SpectrumTest, PhaseDifferenceOfTwoSines)
{
    // A1 starts at phase `base`, A2 is A1 delayed by `delay` degrees. With
    // base 260 and 80 the raw differences of the arguments leave
    // [-180, 180] and are brought back.
    struct Case {
        double base, delay;
        double dphA1, dphA2;
    };
    const Case cases[] = {{0, 30, 30, -30}, {0, 200, -160, 160}, {260, -20, -20, 20}, {80, 175, 175, -175}};
    s.FFT_Calc_Both = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "base " << c.base << ", delay " << c.delay);
        Frame(
            1024, [&](int n) { return SineCode(100, 100, n, 1024, c.base - c.delay); }, 1);
        Frame(
            1024, [&](int n) { return SineCode(100, 100, n, 1024, c.base); }, 0);
        Pass();
        ASSERT_EQ(A1().status, FftComputed);
        ASSERT_EQ(A2().status, FftComputed);
        EXPECT_TRUE(sp->peaksCoincide);
        ASSERT_TRUE(A1().phase.valid);
        ASSERT_TRUE(A2().phase.valid);
        EXPECT_NEAR(A1().phase.degrees, c.dphA1, 0.2);
        EXPECT_NEAR(A2().phase.degrees, c.dphA2, 0.2);
    }

    // The strongest bins coincide when less than 2 bins apart.
    for (const int a2Bin : {99, 101, 102, 98, 140}) {
        Frame(
            1024, [&](int n) { return SineCode(100, a2Bin, n, 1024); }, 1);
        Frame(
            1024, [&](int n) { return SineCode(100, 100, n, 1024); }, 0);
        Pass();
        EXPECT_EQ(sp->peaksCoincide, std::abs(a2Bin - 100) < 2) << "A2 at bin " << a2Bin;
    }

    // A silent A2 transforms to exact zeros: no phase.
    Frame(
        1024, [](int) { return 128; }, 1);
    Frame(
        1024, [](int n) { return SineCode(100, 100, n, 1024); }, 0);
    Pass();
    EXPECT_FALSE(A1().phase.valid);
    EXPECT_FALSE(A2().phase.valid);
}

}  // namespace
}  // namespace kr40
