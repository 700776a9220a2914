#pragma once
// Fast Fourier transform of real input, X[k] = sum x[n] e^(-2 pi i k n / N),
// for N = 2^log2n points up to 2^maxLog2. Tables are built once in the
// constructor; Forward allocates nothing.
//
// The N reals are taken as N/2 complex values, transformed by radix-4
// Stockham passes (one radix-2 pass when log2(N/2) is odd) on split real and
// imaginary arrays, and separated into the spectrum of the real sequence.

#include <complex>
#include <cstdint>
#include <vector>

namespace kr40 {

// Integer samples windowed as the transform reads them: the real input is
// x[n] = (samples[n] - offset) * window[n] * scale, n = 0 .. N - 1, or
// (samples[n] - offset) * scale without a window (null).
struct WindowedSamples {
    const std::int32_t* samples = nullptr;
    double offset = 0;
    const double* window = nullptr;
    double scale = 1;
};

// Takes the spectrum while it is written: Bins(block, first, count) is
// handed X[first .. first + count - 1] in block[0 .. count - 1] (in the
// output), in ascending blocks that cover X[0 .. N/2 - 1] exactly once, so
// that per-bin work finds them still in the cache. Before the first block
// the larger transforms call Ahead(part, parts) for part = 0 .. parts - 1
// while they work in L1 and leave the memory idle: room to fetch what Bins
// will need, part by part.
class BinSink {
public:
    virtual void Bins(const std::complex<double>* block, int first, int count) = 0;
    virtual void Ahead(int part, int parts) { (void)part, (void)parts; }

protected:
    ~BinSink() = default;
};

class RealFft {
public:
    explicit RealFft(int maxLog2 = 15);

    int MaxLog2() const { return maxLog2_; }

    // X[0 .. N/2 - 1] of the N = 2^log2n real values x[0 .. N-1] into out
    // (N/2 entries). log2n must lie in 1..MaxLog2(). x and out must not
    // overlap.
    void Forward(int log2n, const double* x, std::complex<double>* out);

    // The same for windowed integer samples (N of each array), handing the
    // bins to `sink` (may be null) as they are done.
    void Forward(int log2n, const WindowedSamples& in, std::complex<double>* out, BinSink* sink);

private:
    // One of `x` and `in` is null.
    void Transform(int log2n, const double* x, const WindowedSamples* in, std::complex<double>* out, BinSink* sink);

    int maxLog2_;
    // e^(-2 pi i k / Nmax), k = 0 .. Nmax/2 - 1, real and imaginary parts.
    std::vector<double> cos_, sin_;
    // Twiddles of the radix-4 pass of length L = 2^t (t = 2 .. maxLog2 - 1),
    // from passTwiddle_[passOffset_[t]]: six runs of L/4 values, Re and Im of
    // w^p, w^2p, w^3p (w = e^(-2 pi i / L), p = 0 .. L/4 - 1), so that the
    // passes read them in order.
    std::vector<double> passTwiddle_;
    std::vector<int> passOffset_;
    // Blocked path for N >= 2^(kBlockedMinLog2 + 1): per l = log2(N/2), from
    // blockTwiddle_[blockOffset_[l]], six runs of n2 = 2^(l-4) values: Re, Im
    // of W^j, W^4j (W = e^(-2 pi i / 2^l), column twiddles) and of e^(-i pi 16 j
    // / 2^l) (separation twiddles by row position).
    static constexpr int kBlockedMinLog2 = 11;
    // Doubles from one row to the next: Re then Im of n2 values, each run
    // with room for one more and padded by a cache line.
    static constexpr int RowStride(int n2) { return 2 * (n2 + 8); }
    std::vector<double> blockTwiddle_;
    std::vector<int> blockOffset_;
    std::vector<double> scratch_;  // split real / imaginary work, rows and row buffers
    std::vector<double> input_;    // windowed samples where the passes need them as reals
};

}  // namespace kr40
