#include "analysis/fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace kr40 {
namespace {

using Complex = std::complex<double>;

Complex Mul(Complex a, Complex b)
{
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

// The plain transform the fast one has to reproduce: a complex transform of N
// points (imaginary parts 0), bit-reversal from a 256-entry byte table, then
// radix-2 butterflies over stages of length 2, 4, ..., N whose twiddles come
// from repeated multiplication with the stage root e^(-i pi / 2^s) of a
// 16-entry root table.
std::vector<Complex> ReferenceTransform(const std::vector<double>& x)
{
    const int n = static_cast<int>(x.size());
    const int log2n = std::countr_zero(static_cast<unsigned>(n));

    std::array<std::uint8_t, 256> rev{};
    for (int b = 0; b < 256; ++b) {
        int r = 0;
        for (int i = 0; i < 8; ++i)
            if (b & (1 << i)) r |= 1 << (7 - i);
        rev[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(r);
    }
    std::array<Complex, 16> roots{};
    roots[0] = {-1.0, 0.0};
    roots[1] = {0.0, -1.0};
    for (int s = 2; s < 16; ++s) {
        const double a = std::numbers::pi / (1 << s);
        roots[static_cast<std::size_t>(s)] = {std::cos(a), -std::sin(a)};
    }

    std::vector<Complex> a(static_cast<std::size_t>(n));
    for (int j = 0; j < n; ++j) {
        const int r16 = (rev[static_cast<std::size_t>(j & 255)] << 8) + rev[static_cast<std::size_t>(j >> 8)];
        a[static_cast<std::size_t>(r16 >> (16 - log2n))] = {x[static_cast<std::size_t>(j)], 0.0};
    }
    for (int s = 0, len = 2; len <= n; ++s, len *= 2) {
        const int half = len / 2;
        for (int start = 0; start < n; start += len) {
            Complex w{1.0, 0.0};
            for (int j = 0; j < half; ++j) {
                const auto i = static_cast<std::size_t>(start + j);
                const Complex u = a[i];
                const Complex v = Mul(a[i + static_cast<std::size_t>(half)], w);
                a[i] = u + v;
                a[i + static_cast<std::size_t>(half)] = u - v;
                w = Mul(w, roots[static_cast<std::size_t>(s)]);
            }
        }
    }
    a.resize(static_cast<std::size_t>(n / 2));
    return a;
}

// Largest deviation from the reference relative to the reference's largest
// magnitude.
double RelativeError(const std::vector<Complex>& got, const std::vector<Complex>& want)
{
    double err = 0, peak = 0;
    for (std::size_t k = 0; k < want.size(); ++k) {
        err = std::max(err, std::abs(got[k] - want[k]));
        peak = std::max(peak, std::abs(want[k]));
    }
    return err / peak;
}

TEST(RealFftTest, AgreesWithTheRadix2ReferenceForEverySize)
{
    // A transform object built for a smaller largest size indexes its
    // tables with other strides, so it is checked as well.
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    for (const int maxLog2 : {15, 10, 3}) {
        RealFft fft(maxLog2);
        // Sizes in both directions so that nothing of a larger transform
        // survives into a smaller one.
        std::vector<int> sizes;
        for (int l = 1; l <= maxLog2; ++l) sizes.push_back(l);
        for (int l = maxLog2; l >= 1; --l) sizes.push_back(l);
        for (const int log2n : sizes) {
            SCOPED_TRACE(testing::Message() << "maxLog2 " << maxLog2 << ", N = 2^" << log2n);
            std::vector<double> x(std::size_t{1} << log2n);
            for (double& v : x) v = dist(rng);
            std::vector<Complex> out(x.size() / 2, Complex(7.0, 7.0));
            fft.Forward(log2n, x.data(), out.data());
            EXPECT_LT(RelativeError(out, ReferenceTransform(x)), 1e-12);
        }
    }
}

TEST(RealFftTest, CosineAndSineAtABinGiveHalfTheLengthThere)
{
    struct Case {
        int log2n, bin;
        bool sine;
    };
    const Case cases[] = {
        {1, 0, false}, {2, 1, false},    {3, 1, false},     {3, 3, true},
        {10, 3, true}, {11, 511, false}, {15, 4097, false}, {15, 16383, true},
    };
    RealFft fft;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "N = 2^" << c.log2n << ", bin " << c.bin << (c.sine ? " sine" : " cosine"));
        const int n = 1 << c.log2n;
        std::vector<double> x(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            const double a = 2 * std::numbers::pi * c.bin * i / n;
            x[static_cast<std::size_t>(i)] = c.sine ? std::sin(a) : std::cos(a);
        }
        std::vector<Complex> out(static_cast<std::size_t>(n / 2));
        fft.Forward(c.log2n, x.data(), out.data());
        // A constant (bin 0) puts everything into X[0].
        const Complex want = c.bin == 0 ? Complex(n, 0) : c.sine ? Complex(0, -n / 2.0) : Complex(n / 2.0, 0);
        for (int k = 0; k < n / 2; ++k) {
            const Complex expected = k == c.bin ? want : Complex(0, 0);
            ASSERT_NEAR(out[static_cast<std::size_t>(k)].real(), expected.real(), 1e-9 * n) << "bin " << k;
            ASSERT_NEAR(out[static_cast<std::size_t>(k)].imag(), expected.imag(), 1e-9 * n) << "bin " << k;
        }
    }
}

TEST(RealFftTest, WindowedSamplesGiveTheTransformOfTheirRealsBlockByBlock)
{
    // Integer samples windowed on the way in (or only offset and scaled,
    // without a window) transform exactly as the reals computed from them
    // beforehand, and the sink is handed ascending blocks that cover every
    // bin once, each final when handed over.
    struct Recorder final : BinSink {
        std::vector<Complex> seen;
        int next = 0;  // first bin of the next block
        bool ordered = true;
        void Bins(const Complex* block, int first, int count) override
        {
            ordered = ordered && first == next && count > 0;
            next = first + count;
            for (int k = first; k < next && k < static_cast<int>(seen.size()); ++k)
                seen[static_cast<std::size_t>(k)] = block[k - first];
        }
    };
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> code(0, 254);
    RealFft fft;
    for (const bool windowed : {true, false})
        for (int log2n = 1; log2n <= fft.MaxLog2(); ++log2n) {
            SCOPED_TRACE(testing::Message() << "N = 2^" << log2n << (windowed ? ", windowed" : ", no window"));
            const auto n = std::size_t{1} << log2n;
            std::vector<std::int32_t> samples(n);
            std::vector<double> window(n), x(n);
            const double offset = 127.25, scale = 0.03125;
            for (std::size_t i = 0; i < n; ++i) {
                samples[i] = code(rng);
                const double a = 2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n);
                window[i] = 0.5 - 0.5 * std::cos(a);
                x[i] = windowed ? (samples[i] - offset) * window[i] * scale : (samples[i] - offset) * scale;
            }
            std::vector<Complex> want(n / 2), got(n / 2, Complex(7.0, 7.0));
            fft.Forward(log2n, x.data(), want.data());
            Recorder sink;
            sink.seen.assign(n / 2, Complex(7.0, 7.0));
            const WindowedSamples in{samples.data(), offset, windowed ? window.data() : nullptr, scale};
            fft.Forward(log2n, in, got.data(), &sink);
            EXPECT_EQ(got, want);
            EXPECT_TRUE(sink.ordered);
            EXPECT_EQ(sink.next, static_cast<int>(n / 2));
            EXPECT_EQ(sink.seen, got);
        }
}

}  // namespace
}  // namespace kr40
