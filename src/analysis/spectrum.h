#pragma once
// The spectrum of A1 and A2: status per channel, the windowed transform of a
// frame's samples, power per bin with averaging, the display heights, the
// sub-bin peak and the phase difference of the two channels. Plain C++; the
// screen draws what this leaves in the display arrays, the labels come from
// SpectrumLabels (spectrum_texts.h).
//
// Every large array is allocated once with the Spectrum object and kept.

#include <array>
#include <complex>
#include <cstdint>
#include <memory>
#include <vector>

#include "analysis/fft.h"

namespace kr40 {

struct FrameSet;
struct FrameRecord;
struct ScopeSettings;

inline constexpr int kFftMaxLog2 = 15;
inline constexpr int kFftMaxPoints = 1 << kFftMaxLog2;  // 32768
inline constexpr int kFftMaxBins = kFftMaxPoints / 2;   // 16384
inline constexpr int kFftHistory = 64;
inline constexpr int kFftMinSamples = 128;

// FftStatus of a channel.
enum FftStatus : int {
    FftNotRequested = 0,
    FftComputed = 1,
    FftNoSamples = 2,   // the frame holds no samples of this channel
    FftPeakDetect = 3,  // the frame was taken with peak detect on
    FftTooFew = 4,      // fewer than 128 samples
};

// The nine windows, in the order of the settings' `Win` value.
enum FftWindow : int {
    WinRectangular,
    WinHann,
    WinFlatTop,
    WinHamming,
    WinBlackman,
    WinBlackmanHarris,
    WinNuttall,
    WinBlackmanNuttall,
    WinTriangular,
    FftWindowCount
};

// Level offsets of the scales (dBV, dBm 50, 75 and 600 ohm), the windows'
// amplitude gains.
double ScaleOffsetDb(int scale);
double WindowGain(int window);

// Reference level L of a full-scale sine (±4 divisions) at `uvDiv` in the
// scale's unit, and the level of the grid top: the first of -120, -115, ...,
// 115 above L - 0.5, else 120.
double ReferenceLevelDb(int scale, double uvDiv);
int TopLevelDb(double referenceLevel);

// Window value w[n] of an M-sample window (D = M - 1), with the constants the
// instrument's program has always used.
double WindowValue(int window, int n, int m);

// log2 N of the transform: 10 + size choice for choices 0..5; for "Auto" (6)
// the smallest N of 1024..32768 that is at least `validLen`.
int TransformLog2(int sizeChoice, int validLen);

// Averaging count C: 1 when averaging is off, else 2..64, 128 for "Inf".
int AveragingCount(const ScopeSettings& s);

// Whether a channel's spectrum is requested (its menu item, or the other's
// with Calc_Both), and its status for this frame.
bool SpectrumRequested(const ScopeSettings& s, int channel);
int SpectrumStatusOf(const ScopeSettings& s, const FrameRecord& rec, int channel);

struct SpectrumPeak {
    bool valid = false;
    double levelDb = 0;   // dBV or dBm
    double position = 0;  // fraction of the Nyquist frequency
    int topDb = 0;        // level of the grid top, T
};

struct SpectrumPhase {
    bool valid = false;
    double degrees = 0;
};

// The powers at which the display height steps up, kept between display
// conversions: q[h - 1] is the smallest quotient sum / n of height h or more
// for the levels in `lowered`, `offset`, `perDb`; s[h - 1] the smallest sum
// whose quotient by `n` reaches q[h - 1]; `buckets` one entry per run of sums
// sharing their top bits (sign, exponent and four mantissa bits), from
// `firstKey` on: the height at the run's start and the one step inside it.
struct SpectrumHeightSteps {
    double lowered = 0, offset = 0, perDb = 0;
    std::vector<double> q;
    int n = 0;
    std::vector<double> s;
    std::int64_t firstKey = 0, lastKey = -1;
    std::vector<std::int64_t> buckets;
};

struct ChannelSpectrum {
    int status = FftNotRequested;
    int log2n = 10;                          // transform size of the last computation
    int used = 0;                            // M: samples taken into it
    std::vector<std::complex<double>> work;  // kFftMaxPoints: the transform (X[0..N/2-1] valid)
    std::vector<double> sum;                 // kFftMaxBins power sums
    // kFftHistory rows of kFftMaxBins: the power of bin k in ring slot r is
    // history[rowOf[r] * kFftMaxBins + k]. A frame that drops another from
    // the sum takes over its row, so that it reads and writes one row.
    std::vector<double> history;
    std::array<std::uint8_t, kFftHistory> rowOf{};
    // A restarted sum holds one frame, whose row is the sum itself: it is
    // written out only when a second frame is added.
    bool rowInSum = false;
    int ring = 0;                       // history ring index 0..63
    int frames = 0;                     // frames in the sum ("Av" label)
    std::vector<std::int32_t> display;  // kFftMaxBins heights (256 = grid height), MissingSample beyond B
    SpectrumPeak peak;
    SpectrumPhase phase;
    SpectrumHeightSteps steps;
    bool recomputed = false;  // computed in the current pass

    int Points() const { return 1 << log2n; }
    int Bins() const { return Points() / 2; }
};

// Request flags shared with the settings commands: restart averaging A1, A2,
// recompute A1, A2.
enum SpectrumRequest : int { RestartA1, RestartA2, RecomputeA1, RecomputeA2 };
using SpectrumRequests = std::array<bool, 4>;

struct Spectrum {
    Spectrum();
    std::array<ChannelSpectrum, 2> ch;
    bool peaksCoincide = false;
    int lastDivider = -1, lastValidLen = -1;
    std::uint32_t lastFrame = 0;  // DecodedFrames of the last frame transformed
    bool haveFrame = false;
    RealFft fft;
    // A frame's samples in order, kFftMaxPoints, where the transform's N
    // samples do not lie in one run of the buffer (a roll frame).
    std::vector<std::int32_t> ordered;
    // The window last used: w[0 .. windowLen - 1] of kind windowKind, zeros
    // after it, and its sum, kept so that a frame of the same length does not
    // recompute it.
    std::vector<double> window;  // kFftMaxPoints
    int windowKind = -1, windowLen = 0;
    double windowSum = 0;
};

// The transform of one channel's samples of `live` with the current settings:
// restart on a new Divider or ValidLen, windowing, transform, power,
// averaging. Clears the channel's restart and recompute requests.
void ComputeSpectrum(Spectrum& sp, int channel, const ScopeSettings& s, const FrameSet& live, SpectrumRequests& req);

// Power sums to display heights and the peak, against the channel's current
// volts per division (µV).
void SpectrumToDisplay(Spectrum& sp, int channel, const ScopeSettings& s, double uvDivNow);

// Phase difference at the two channels' strongest bins and the
// peaks-coincide flag.
void PhaseDifference(Spectrum& sp);

// One redraw's spectrum work: status of both channels, the transform of those
// with status 1 that have a new frame (DecodedFrames changed since the last
// transform), a recompute request or nothing summed yet (a view switched on
// while the frame stands still), display conversion for every channel with
// status 1, and the phase difference when both have status 1 and one of them
// was recomputed.
// `uvDivNow`: the current volts per division of A1 and A2.
void SpectrumPass(Spectrum& sp, const ScopeSettings& s, const FrameSet& live, std::array<double, 2> uvDivNow,
                  SpectrumRequests& req);

}  // namespace kr40
