#include "display/trace.h"

#include <QPainter>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <type_traits>
#include <vector>

#include "acquisition/acq_config.h"
#include "acquisition/frame.h"
#include "acquisition/scope_settings.h"
#include "core/rounding.h"
#include "core/sample.h"
#include "core/sinc_interp.h"

namespace kr40 {

namespace {

// Column work arrays: 2 x GridWidth + 1 entries, GridWidth at most 8192.
constexpr int kMaxColumns = 2 * 8192 + 1;
// Levels are kept far inside int32 so that pixel rows never overflow.
constexpr double kLevelLimit = 1 << 28;
constexpr QRgb kRgbMask = 0x00FFFFFFu;

// RoundHalfAway for finite values known to lie well inside the int64 range
// (the hot loops call it per sample).
inline std::int64_t RoundNear(double v)
{
    return v >= 0 ? static_cast<std::int64_t>(v + 0.5) : static_cast<std::int64_t>(v - 0.5);
}

// Direct pixel access to an image of 32-bit colours or 8-bit persistence
// tags, every write clipped to the image.
template <class Pixel>
class CanvasOf {
public:
    explicit CanvasOf(QImage& img)
        : bits_(reinterpret_cast<Pixel*>(img.bits())),
          stride_(img.bytesPerLine() / static_cast<qsizetype>(sizeof(Pixel))),
          w_(img.width()),
          h_(img.height())
    {
    }

    void Put(int x, int y, Pixel c)
    {
        if (static_cast<unsigned>(x) < static_cast<unsigned>(w_) &&
            static_cast<unsigned>(y) < static_cast<unsigned>(h_))
            bits_[y * stride_ + x] = c;
    }

    // Vertical line from y1 towards y2, y2 itself excluded (nothing when equal).
    void VLine(int x, int y1, int y2, Pixel c)
    {
        if (static_cast<unsigned>(x) >= static_cast<unsigned>(w_) || y1 == y2) return;
        int lo = y1 < y2 ? y1 : y2 + 1;
        int hi = y1 < y2 ? y2 - 1 : y1;
        lo = std::max(lo, 0);
        hi = std::min(hi, h_ - 1);
        Column(x, lo, hi - lo + 1, 1, c);
    }

    // Joining line from (xa, ya) to (xb, yb): the start pixel is left out (it
    // belongs to the previous column, already drawn), the end pixel is drawn.
    // End points far outside the image are first clipped to it (with a
    // margin) so that the walk stays within the image's extent.
    void Line(int xa, int ya, int xb, int yb, Pixel c)
    {
        // The walk stays within the box of its end points: with both inside
        // the image no pixel needs its own test.
        const auto in = [&](int x, int y) {
            return static_cast<unsigned>(x) < static_cast<unsigned>(w_) &&
                   static_cast<unsigned>(y) < static_cast<unsigned>(h_);
        };
        const bool within = in(xa, ya) && in(xb, yb);
        constexpr int margin = 2;
        const auto inside = [&](int x, int y) {
            return x >= -margin && x < w_ + margin && y >= -margin && y < h_ + margin;
        };
        if (!within && (!inside(xa, ya) || !inside(xb, yb))) {
            // Liang-Barsky against [-margin, w + margin - 1] x [-margin, h + margin - 1].
            const double dx = static_cast<double>(xb) - xa, dy = static_cast<double>(yb) - ya;
            double t0 = 0.0, t1 = 1.0;
            const auto clip = [&](double pp, double q) {
                if (pp == 0.0) return q >= 0.0;
                const double r = q / pp;
                if (pp < 0.0) {
                    if (r > t1) return false;
                    t0 = std::max(t0, r);
                } else {
                    if (r < t0) return false;
                    t1 = std::min(t1, r);
                }
                return true;
            };
            const double xmin = -margin, xmax = w_ + margin - 1, ymin = -margin, ymax = h_ + margin - 1;
            if (!clip(-dx, xa - xmin) || !clip(dx, xmax - xa) || !clip(-dy, ya - ymin) || !clip(dy, ymax - ya)) return;
            // A clipped end lies on the margin, outside the image, so leaving
            // out a clipped start pixel loses nothing.
            const int nxa = static_cast<int>(RoundNear(xa + t0 * dx)), nya = static_cast<int>(RoundNear(ya + t0 * dy));
            const int nxb = static_cast<int>(RoundNear(xa + t1 * dx)), nyb = static_cast<int>(RoundNear(ya + t1 * dy));
            xa = nxa, ya = nya, xb = nxb, yb = nyb;
        }
        const int dx = std::abs(xb - xa), sx = xa < xb ? 1 : -1;
        const int dy = -std::abs(yb - ya), sy = ya < yb ? 1 : -1;
        const auto walk = [&](auto put) {
            int err = dx + dy;
            int x = xa, y = ya;
            while (x != xb || y != yb) {
                const int e2 = 2 * err;
                if (e2 >= dy) {
                    err += dy;
                    x += sx;
                }
                if (e2 <= dx) {
                    err += dx;
                    y += sy;
                }
                put(x, y);
            }
        };
        if (!within) {
            walk([&](int x, int y) { Put(x, y, c); });
        } else if (dx == 1) {
            // Between neighbouring columns the walk is two vertical runs: the
            // first (n - 1) / 2 rows after the start stay in its column, the
            // rest go to the end's.
            const int n = -dy;
            if (n == 0) {
                bits_[yb * stride_ + xb] = c;
            } else {
                const int k = (n - 1) / 2;
                Column(xa, ya + sy, k, sy, c);
                Column(xb, ya + (k + 1) * sy, n - k, sy, c);
            }
        } else {
            walk([&](int x, int y) { bits_[y * stride_ + x] = c; });
        }
    }

    void Fill(int x, int y, int w, int h, Pixel c)
    {
        const int x1 = std::max(x, 0), x2 = std::min(x + w, w_);
        const int y1 = std::max(y, 0), y2 = std::min(y + h, h_);
        if (x1 >= x2) return;
        for (int yy = y1; yy < y2; ++yy) std::fill(bits_ + yy * stride_ + x1, bits_ + yy * stride_ + x2, c);
    }

private:
    // `n` pixels of column x inside the image from row y on, one row down
    // (dy 1) or up (dy -1) at a time.
    void Column(int x, int y, int n, int dy, Pixel c)
    {
        const qsizetype step = dy * stride_;
        Pixel* p = bits_ + static_cast<qsizetype>(y) * stride_ + x;
        // Four rows a step: the stores do not wait for each other.
        for (; n >= 4; n -= 4, p += 4 * step) {
            p[0] = c;
            p[step] = c;
            p[2 * step] = c;
            p[3 * step] = c;
        }
        for (; n > 0; --n, p += step) *p = c;
    }

    Pixel* bits_;
    qsizetype stride_;
    int w_, h_;
};
using Canvas = CanvasOf<std::uint32_t>;

// The ten values at index + phase / 10 of one sample index. Where all 18 taps
// are real samples the weighted sums are taken straight from SincTable, giving
// what InterpolateSample gives without walking the taps nine times; near the
// ends and around missing samples InterpolateSample itself is asked.
struct SincRun {
    std::int64_t index = -1;
    std::array<std::int32_t, 10> v{};

    void Fill(const std::int32_t* s, std::int64_t i, int count)
    {
        index = i;
        const int idx = static_cast<int>(i);
        v[0] = s[idx];
        bool interior = idx >= 8 && idx + 9 < count;
        for (int p = 0; interior && p < 18; ++p) interior = s[idx - 8 + p] != MissingSample;
        if (!interior) {
            for (int phase = 1; phase < 10; ++phase) v[phase] = InterpolateSample(s, idx, phase, count);
            return;
        }
        const std::int32_t* taps = s + idx - 8;
        for (int phase = 1; phase < 10; ++phase) {
            const int column = 10 - phase;
            std::int64_t acc = 0;
            for (int p = 0; p < 18; ++p) acc += static_cast<std::int64_t>(taps[p]) * SincTable[p][column];
            const std::int64_t r = RoundNear(static_cast<double>(acc * 10) * 1.5258789e-5);
            v[phase] = static_cast<std::int32_t>(std::clamp<std::int64_t>(r, INT32_MIN, MissingSample - 1));
        }
    }
};

// A persistence tag one palette step on: a fresh pixel takes its channel's
// first step, every step the next one, and the last step becomes empty.
constexpr std::uint8_t NextTag(std::uint8_t t)
{
    if (t == kTagEmpty) return kTagEmpty;
    if (t >= kTagFresh) return static_cast<std::uint8_t>((t & 3) * 16 + 1);
    return (t & 15) == 15 ? kTagEmpty : static_cast<std::uint8_t>(t + 1);
}

// A tag after the overlay of a tick frame: pixels drawn by this frame become
// fresh, every other one steps on.
constexpr std::array<std::uint8_t, 256> kStepOnTick = [] {
    std::array<std::uint8_t, 256> a{};
    for (int t = 0; t < 256; ++t)
        a[t] = t >= kTagDrawn ? static_cast<std::uint8_t>(t - 8) : NextTag(static_cast<std::uint8_t>(t));
    return a;
}();

#if defined(__SSE2__)
// Sixteen tags one step on, as NextTag does; with `drawnToFresh`, tags drawn
// by the frame being rendered become fresh instead (kStepOnTick).
inline __m128i StepTags16(__m128i t, bool drawnToFresh)
{
    const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi8(1), three = _mm_set1_epi8(3);
    const __m128i fifteen = _mm_set1_epi8(15), fresh = _mm_set1_epi8(static_cast<char>(kTagFresh));
    const __m128i empty = _mm_cmpeq_epi8(t, zero);
    const __m128i isFresh = _mm_cmpeq_epi8(_mm_max_epu8(t, fresh), t);
    const __m128i isLast = _mm_cmpeq_epi8(_mm_and_si128(t, fifteen), fifteen);
    const __m128i aged = _mm_andnot_si128(isLast, _mm_add_epi8(t, one));
    // (t & 3) * 16 + 1: the shift of 16-bit lanes moves no bit across a byte.
    const __m128i first = _mm_add_epi8(_mm_slli_epi16(_mm_and_si128(t, three), 4), one);
    __m128i next = _mm_or_si128(_mm_and_si128(isFresh, first), _mm_andnot_si128(isFresh, aged));
    if (drawnToFresh) {
        const __m128i drawn = _mm_set1_epi8(static_cast<char>(kTagDrawn));
        const __m128i isDrawn = _mm_cmpeq_epi8(_mm_max_epu8(t, drawn), t);
        const __m128i made = _mm_sub_epi8(t, _mm_set1_epi8(kTagDrawn - kTagFresh));
        next = _mm_or_si128(_mm_and_si128(isDrawn, made), _mm_andnot_si128(isDrawn, next));
    }
    return _mm_andnot_si128(empty, next);
}

// Bit i set where tag i of the sixteen is not empty.
inline unsigned UsedTags16(__m128i t)
{
    return ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(t, _mm_setzero_si128()))) & 0xFFFFu;
}

// Bit i set where tag i is a palette step that a step makes empty (the last
// step of its channel).
inline unsigned LastSteps16(__m128i t)
{
    const __m128i fifteen = _mm_set1_epi8(15), fresh = _mm_set1_epi8(static_cast<char>(kTagFresh));
    const __m128i isLast = _mm_cmpeq_epi8(_mm_and_si128(t, fifteen), fifteen);
    const __m128i isFresh = _mm_cmpeq_epi8(_mm_max_epu8(t, fresh), t);
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(isFresh, isLast)));
}

// The tick's step of sixteen tags of which `used` are not empty; clears the
// bits of those that the step empties. A run that holds only pixels this
// frame drew (a steady picture) just makes them fresh.
inline __m128i StepRun16(__m128i t, unsigned& used)
{
    const __m128i drawn = _mm_set1_epi8(static_cast<char>(kTagDrawn));
    const unsigned drawnNow = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(t, drawn), t)));
    // Empty tags stay empty: the subtraction saturates at zero.
    if ((used & ~drawnNow) == 0) return _mm_subs_epu8(t, _mm_set1_epi8(kTagDrawn - kTagFresh));
    used &= ~LastSteps16(t);
    return StepTags16(t, true);
}
#endif

// Lays the persistence layer over the grid area of the screen in the tags'
// colours (the empty tag is transparent) and, with `step`, first moves every
// tag on as kStepOnTick says. Most of the layer is empty: sixty-four tags are
// tested at once, and only the pixels under non-empty tags are written.
void OverlayLayer(DisplayState& d, QImage& screen, bool step)
{
    QImage& layer = d.GridBitmap;
    const ScreenGeometry& g = d.g;
    const int w = layer.width(), h = layer.height();
    const int xMin = std::max(0, -g.GridLeft), xMax = std::min(w, screen.width() - g.GridLeft);
    const int yMin = std::max(0, -g.GridTop), yMax = std::min(h, screen.height() - g.GridTop);
    // The colour a tag shows after this pass: the pixels are painted from the
    // tags as they were read, before the stepped ones are stored.
    std::array<std::uint32_t, 256> colour;
    for (int t = 0; t < 256; ++t) colour[t] = d.layerColour[step ? kStepOnTick[t] : t] | ~kRgbMask;

    std::uint8_t* const tagBits = layer.bits();
    const qsizetype tagStride = layer.bytesPerLine();
    auto* const dst = reinterpret_cast<std::uint32_t*>(screen.bits());
    const qsizetype dstStride = screen.bytesPerLine() / 4;
    for (int y = 0; y < h; ++y) {
        const bool shown = y >= yMin && y < yMax;
        if (!shown && !step) continue;
        std::uint8_t* const tags = tagBits + y * tagStride;
        std::uint32_t* const o = shown ? dst + (g.GridTop + y) * dstStride + g.GridLeft : nullptr;
        // Columns painted on this row: [from, to).
        const int from = shown ? xMin : w, to = shown ? xMax : w;
        int x = 0;
#if defined(__SSE2__)
        // Paints pixel x0 + k for every bit k of `used` (the tags from x0
        // that stay lit) in the colour of the tag as read; the caller stores
        // the stepped tags afterwards.
        const auto paint = [&](int x0, int n, std::uint64_t used) {
            const std::uint8_t* const run = tags + x0;
            if (x0 >= from && x0 + n <= to) {
                std::uint32_t* const out = o + x0;
                for (; used != 0; used &= used - 1) {
                    const int k = std::countr_zero(used);
                    out[k] = colour[run[k]];
                }
            } else {
                for (; used != 0; used &= used - 1) {
                    const int k = x0 + std::countr_zero(used);
                    if (k >= from && k < to) o[k] = colour[tags[k]];
                }
            }
        };
        // Sixty-four tags are tested at once: most of the layer is empty.
        for (; x + 64 <= w; x += 64) {
            auto* const p = reinterpret_cast<__m128i*>(tags + x);
            __m128i t[4] = {_mm_loadu_si128(p), _mm_loadu_si128(p + 1), _mm_loadu_si128(p + 2), _mm_loadu_si128(p + 3)};
            if (UsedTags16(_mm_or_si128(_mm_or_si128(t[0], t[1]), _mm_or_si128(t[2], t[3]))) == 0) continue;
            unsigned used[4];
            for (int q = 0; q < 4; ++q) used[q] = UsedTags16(t[q]);
            if (step) {
                for (int q = 0; q < 4; ++q)
                    if (used[q] != 0) t[q] = StepRun16(t[q], used[q]);
            }
            paint(x, 64,
                  used[0] | static_cast<std::uint64_t>(used[1]) << 16 | static_cast<std::uint64_t>(used[2]) << 32 |
                      static_cast<std::uint64_t>(used[3]) << 48);
            if (step) {
                for (int q = 0; q < 4; ++q) _mm_storeu_si128(p + q, t[q]);
            }
        }
        for (; x + 16 <= w; x += 16) {
            auto* const p = reinterpret_cast<__m128i*>(tags + x);
            __m128i t = _mm_loadu_si128(p);
            unsigned used = UsedTags16(t);
            if (used == 0) continue;
            if (step) t = StepRun16(t, used);
            paint(x, 16, used);
            if (step) _mm_storeu_si128(p, t);
        }
#else
        // Eight tags are tested at once.
        for (; x + 8 <= w; x += 8) {
            std::uint64_t eight;
            std::memcpy(&eight, tags + x, sizeof eight);
            if (eight == 0) continue;
            for (int k = x; k < x + 8; ++k) {
                const std::uint8_t t = tags[k], next = step ? kStepOnTick[t] : t;
                if (next != kTagEmpty && k >= from && k < to) o[k] = colour[t];
                if (step) tags[k] = next;
            }
        }
#endif
        for (; x < w; ++x) {
            const std::uint8_t t = tags[x], next = step ? kStepOnTick[t] : t;
            if (next != kTagEmpty && x >= from && x < to) o[x] = colour[t];
            if (step) tags[x] = next;
        }
    }
}

bool SpectrumComputed(const DisplayState& d)
{
    return d.fftStatus[0] == 1 || d.fftStatus[1] == 1;
}

using Hook = std::function<void(QPainter&)>;

// Runs the hooks (null = not at this pass) on one painter over the image. The
// painter is opened only when one of them is going to draw, and closed before
// pixels are written directly again.
void PaintHooks(QImage& img, std::initializer_list<const Hook*> hooks)
{
    if (std::none_of(hooks.begin(), hooks.end(), [](const Hook* h) { return h && *h; })) return;
    QPainter painter(&img);
    for (const Hook* h : hooks) {
        if (h && *h) (*h)(painter);
    }
}

double VoltsRatio(std::int32_t frameUv, std::int32_t currentUv)
{
    return (frameUv != 0 && currentUv != 0) ? static_cast<double>(frameUv) / currentUv : 1.0;
}

}  // namespace

void DrawTrace(QImage& target, const ScreenGeometry& g, const TraceParams& p)
{
    if (target.isNull() || (target.depth() != 32 && target.depth() != 8) || p.samples == nullptr || p.count <= 0)
        return;
    if (!std::isfinite(p.pxPerSample) || p.pxPerSample < 0 || !std::isfinite(p.gain) || !std::isfinite(p.fineShift) ||
        !std::isfinite(g.PixelsPerStep))
        return;
    const std::int32_t* maxima = p.samplesMax ? p.samplesMax : p.samples;

    // Allocated once per drawing thread, reused by every trace.
    thread_local std::vector<std::int32_t> colMinStore(kMaxColumns), colMaxStore(kMaxColumns);
    std::int32_t* const colMin = colMinStore.data();
    std::int32_t* const colMax = colMaxStore.data();
    const int lastCol = std::clamp(2 * g.GridWidth, 0, kMaxColumns - 1);
    std::fill_n(colMin, lastCol + 1, MissingSample);
    std::fill_n(colMax, lastCol + 1, MissingSample);

    // Roll dimming: half a division of samples from the ring write position.
    const FrameRecord* f = p.frame;
    const std::int32_t divider = f ? f->Divider : 0;
    std::int64_t dimLen = 5;
    if (divider > 0)
        dimLen = std::max<std::int64_t>(
            5, static_cast<std::int64_t>((p.timeDivNs / (static_cast<std::uint64_t>(divider) * 10)) / 2));
    const bool roll = p.dimRoll && f && f->RollFlag != 0;
    const std::int64_t ringPos = f ? f->RingEnd : 0;

    // sin(x)/x only at the full sample rate and when samples are sparse.
    const bool interp = p.drawMode == 2 && divider == 1 && p.pxPerSample > 0.9;

    const double shift = p.pxPerSample * p.fineShift;
    if (std::abs(shift) > 1e6) return;
    const int shiftPx = static_cast<int>(RoundHalfAway(shift));
    const double frac = shift - shiftPx;
    const std::int64_t stopCol = static_cast<std::int64_t>(g.GridWidth) + shiftPx;

    // Level of a value; sample codes 0..255 come from a table.
    const auto levelOf = [&](std::int32_t v) {
        const double l = ((static_cast<double>(v) - p.offset) * p.gain + p.zero) * g.PixelsPerStep;
        return static_cast<std::int32_t>(RoundNear(std::clamp(l, -kLevelLimit, kLevelLimit)));
    };
    std::array<std::int32_t, 256> lut;
    for (int v = 0; v < 256; ++v) lut[v] = levelOf(v);
    const auto level = [&](std::int32_t v) { return static_cast<std::uint32_t>(v) < 256u ? lut[v] : levelOf(v); };

    // Walk the samples (in tenths while interpolating) and collect each
    // column's lowest and highest level. Step u stands for sample
    // start + u / 10 at phase u % 10; the walk is stamped out for each
    // combination of interpolation and roll dimming.
    int dimFrom = -1, dimTo = INT_MAX;  // dimmed columns [dimFrom, dimTo)
    bool dimEnded = false;
    SincRun run;
    const double scale = p.pxPerSample * 0.1;
    const std::int64_t u0 = p.start < 0 ? -static_cast<std::int64_t>(p.start) * 10 : 0;  // a multiple of ten
    const auto walk = [&](auto interpolated, auto rolled) {
        constexpr bool kInterp = decltype(interpolated)::value, kRoll = decltype(rolled)::value;
        std::int64_t i = p.start + u0 / 10;
        int phase = 0;
        // Columns only grow along the walk: the one being collected keeps its
        // extremes in registers until the walk moves on.
        int col = -1;
        std::int32_t lo = MissingSample, hi = MissingSample;
        const auto flush = [&] {
            if (col < 0) return;
            colMin[col] = lo;
            colMax[col] = hi;
        };
        for (std::int64_t u = u0;; u += kInterp ? 1 : 10) {
            const double xd = static_cast<double>(u) * scale - frac;
            if (xd > lastCol + 1) break;
            const int x = static_cast<int>(std::max<std::int64_t>(0, RoundNear(xd)));
            if (x > lastCol) break;
            if (i >= p.count) break;

            std::int32_t a, b;
            if constexpr (kInterp) {
                if (run.index != i) run.Fill(p.samples, i, p.count);
                a = b = run.v[phase];
            } else {
                a = p.samples[i];
                b = maxima[i];
            }

            if constexpr (kRoll) {
                if (dimFrom < 0 && i >= ringPos && i < ringPos + dimLen) dimFrom = x;
                if (!dimEnded && i >= ringPos + dimLen) {
                    dimTo = x;
                    dimEnded = true;
                }
            }

            if (x != col) {
                flush();
                col = x;
                lo = hi = MissingSample;
            }
            const std::int32_t la = a != MissingSample ? level(a) : MissingSample;
            if (a != MissingSample) lo = std::min(lo, la);
            if (b != MissingSample) {
                const std::int32_t lb = b == a ? la : level(b);  // minima and maxima mostly agree
                hi = hi == MissingSample ? lb : std::max(hi, lb);
            }
            if (x > stopCol) break;

            if constexpr (kInterp) {
                if (++phase == 10) {
                    phase = 0;
                    ++i;
                }
            } else {
                ++i;
            }
        }
        flush();
    };
    using Yes = std::true_type;
    using No = std::false_type;
    if (interp)
        roll ? walk(Yes{}, Yes{}) : walk(Yes{}, No{});
    else
        roll ? walk(No{}, Yes{}) : walk(No{}, No{});

    // Draw: one bar per column, joined to the previous column in vectors mode
    // when the two do not overlap. A 32-bit target takes colours, the 8-bit
    // persistence layer tags.
    const auto drawColumns = [&](auto& cv, auto pen, auto dimPen) {
        const int bottom = p.y0 + g.GridHeight;
        const int originX = p.x0 - shiftPx;
        const bool vectors = p.drawMode != 0;
        bool broken = true;
        int prevMin = 0, prevMax = 0, prevC = 0;
        for (int c = 0; c <= lastCol; ++c) {
            if (c == dimFrom && c != 0) {
                broken = true;  // the gap at the ring write position
            } else if (colMin[c] != MissingSample && colMax[c] != MissingSample) {
                const auto colour = (dimFrom >= 0 && c >= dimFrom && c < dimTo) ? dimPen : pen;
                const int x = originX + c;
                bool joined = false;
                if (vectors && !broken) {
                    if (colMin[c] >= prevMax) {
                        cv.Line(originX + prevC, bottom - prevMax, x, bottom - colMin[c], colour);
                        joined = true;
                    } else if (prevMin >= colMax[c]) {
                        cv.Line(originX + prevC, bottom - prevMin, x, bottom - colMax[c], colour);
                        joined = true;
                    }
                }
                if (!(vectors && joined && colMin[c] == colMax[c]))
                    cv.VLine(x, bottom - colMin[c], bottom - colMax[c] - 1, colour);
                prevMin = colMin[c];
                prevMax = colMax[c];
                prevC = c;
                broken = false;
            }
            if (c > stopCol) break;
        }
    };
    if (target.depth() == 8) {
        CanvasOf<std::uint8_t> cv(target);
        drawColumns(cv, p.tag, p.dimTag);
    } else {
        Canvas cv(target);
        drawColumns(cv, p.colour,
                    BlendColor(p.colour & kRgbMask, p.background & kRgbMask, 3.0) | (p.colour & ~kRgbMask));
    }
}

void BuildPersistencePalette(DisplayState& d, const ScopeSettings& s)
{
    const std::uint32_t background = s.Colors[ColorBackground];
    for (int k = 0; k < 4; ++k) {
        const std::uint32_t colour = s.Colors[ColorA1 + k];
        for (int i = 0; i < 15; ++i) {
            // 1 + 0.05 (i^2 + 1), as the nearest double to the decimal value.
            const std::uint32_t c = BlendColor(colour, background, (100 + 5 * (i * i + 1)) / 100.0);
            d.palette[16 * k + i] = (ToRgb(c) & kRgbMask) | (static_cast<QRgb>(16 * k + i + 1) << 24);
            d.layerColour[16 * k + i + 1] = ToRgb(c) & kRgbMask;
        }
        d.palette[16 * k + 15] = ToRgb(EmptyColour) & kRgbMask;
    }
    d.layerColour[kTagEmpty] = ToRgb(EmptyColour) & kRgbMask;
}

namespace {

// The countdown part of ageing: takes a pending reset, and on a timer tick
// counts down or settles. Returns whether the layer is due one step.
bool TakePersistenceTick(DisplayState& d, const ScopeSettings& s)
{
    if (d.persistenceReset && s.Persistence && !SpectrumComputed(d)) {
        d.settled = false;
        d.countdown = 17;
        d.persistenceReset = false;
    }
    if (!d.persistenceTick) return false;
    d.persistenceTick = false;
    if (d.countdown > 0)
        --d.countdown;
    else
        d.settled = true;
    return true;
}

}  // namespace

void AgePersistence(DisplayState& d, const ScopeSettings& s)
{
    if (!TakePersistenceTick(d, s)) return;
    QImage& img = d.GridBitmap;
    if (img.isNull() || img.depth() != 8) return;
    const int w = img.width();
    for (int y = 0; y < img.height(); ++y) {
        std::uint8_t* row = img.scanLine(y);
        int x = 0;
#if defined(__SSE2__)
        // NextTag sixteen tags at a time; empty runs are left alone.
        for (; x + 16 <= w; x += 16) {
            auto* p = reinterpret_cast<__m128i*>(row + x);
            const __m128i t = _mm_loadu_si128(p);
            if (UsedTags16(t) != 0) _mm_storeu_si128(p, StepTags16(t, false));
        }
#endif
        for (; x < w; ++x) row[x] = NextTag(row[x]);
    }
}

QRgb LayerColour(const DisplayState& d, int x, int y)
{
    const QImage& img = d.GridBitmap;
    if (img.isNull() || img.depth() != 8 || !img.rect().contains(x, y)) return ToRgb(EmptyColour) & kRgbMask;
    return d.layerColour[img.constScanLine(y)[x]];
}

void RequestPersistenceReset(DisplayState& d)
{
    d.persistenceReset = true;
}

bool PersistenceTimerTick(DisplayState& d)
{
    if (d.settled) return false;
    d.persistenceTick = true;
    return true;
}

void RenderFrame(DisplayState& d, const DisplayInputs& in, const RenderHooks& hooks, bool bgView)
{
    ScopeSettings& s = in.s;
    const AcqConfig& acq = in.acq;
    const ScreenGeometry& g = d.g;
    const FrameRecord& live = in.live.rec;
    const FrameRecord& ref = in.ref.rec;
    QImage& screen = d.ScreenBitmap;
    if (screen.isNull() || screen.depth() != 32) return;

    const bool timeView = !d.spectrumShown;
    const bool spectrumComputed = SpectrumComputed(d);
    // Under a spectrum the time-domain traces show only with View Signal.
    const bool tracesShown = timeView || s.FFT_View_Sig;
    const std::uint32_t bgBgr = s.Colors[ColorBackground];
    const QRgb background = ToRgb(bgBgr);

    // Colours: channels A1, A2, D1, D2 and their references at half
    // intensity; both once more dimmed while a spectrum is computed.
    std::array<QRgb, 4> liveColour, refColour;
    for (int k = 0; k < 4; ++k) {
        std::uint32_t c = s.Colors[ColorA1 + k];
        std::uint32_t r = BlendColor(c, bgBgr, 2);
        if (spectrumComputed) {
            c = BlendColor(c, bgBgr, 2);
            r = BlendColor(r, bgBgr, 2);
        }
        liveColour[k] = ToRgb(c);
        refColour[k] = ToRgb(r);
    }
    BuildPersistencePalette(d, s);

    // Scroll position.
    int start = s.X_Pos;
    if (timeView) {
        start = std::clamp(start, 0, std::max(0, live.ValidLen));
        s.X_Pos = start;
    }

    const std::uint64_t timeDiv = acq.Time_Div_ns;
    const int selMode = s.Sel(Group::DrawMode);
    const int drawMode = selMode >= 0 ? selMode : acq.Draw_Mode;
    const int digitalMode = std::min(drawMode, static_cast<int>(DrawVectors));
    const bool refShown = in.refExists && bgView && tracesShown;
    const std::array<bool, 4> shown = {s.CH_A1, s.CH_A2, s.CH_D1, s.CH_D2};

    // The persistence countdown; while the layer is shown, its step is taken
    // by the overlay, in the same pass over the tags.
    const bool persist = s.Persistence && !spectrumComputed && tracesShown && d.GridBitmap.depth() == 8;
    const bool stepLayer = persist && TakePersistenceTick(d, s);
    if (!persist && !d.settled) AgePersistence(d, s);
    // Between ticks this frame's pixels are fresh at once; on a tick they are
    // told apart from the older ones until the overlay has stepped those.
    const std::uint8_t drawnTag = stepLayer ? kTagDrawn : kTagFresh;
    const auto draw = [&](QImage& img, int x0, int y0, const FrameSet& fs, int ch, QRgb colour, double gain, int offset,
                          int zero, double px, int first, double fine, int mode, int count, bool dim) {
        TraceParams t;
        t.drawMode = mode;
        t.x0 = x0;
        t.y0 = y0;
        t.samples = fs.buf.First(ch);
        t.samplesMax = fs.buf.Second(ch);
        t.count = std::clamp(count, 0, FrameCapacity);
        t.colour = colour;
        t.gain = gain;
        t.offset = offset;
        t.zero = zero;
        t.pxPerSample = px;
        t.start = first;
        t.fineShift = fine;
        t.dimRoll = dim;
        t.frame = &fs.rec;
        t.timeDivNs = timeDiv;
        t.background = background;
        t.tag = static_cast<std::uint8_t>(drawnTag + ch);
        t.dimTag = static_cast<std::uint8_t>(drawnTag + 4 + ch);
        DrawTrace(img, g, t);
    };

    // Persistence: live traces go to GridBitmap as fresh tags of their
    // channel, whose colours are this frame's.
    for (int k = 0; k < 4; ++k) {
        d.layerColour[kTagFresh + k] = d.layerColour[kTagDrawn + k] = liveColour[k] & kRgbMask;
        d.layerColour[kTagFreshDim + k] = d.layerColour[kTagDrawn + 4 + k] =
            BlendColor(liveColour[k] & kRgbMask, background & kRgbMask, 3.0);
    }

    // Live frame, into the layer or straight onto the grid area.
    const auto drawLive = [&](QImage& target, int tx, int ty) {
        if (live.FrameLen == 0 || !tracesShown || timeDiv == 0) return;
        const double px = static_cast<double>(live.Divider) * g.DivWidth * 10 / static_cast<double>(timeDiv);
        const double fine = live.TrigFine10 * 0.1;
        const double dGain = refShown ? 12 : 24;
        const int dBase1 = refShown ? (s.bgD_Zero == 0 ? 17 : 1) : 3;
        const auto liveTrace = [&](int ch, double gain, int offset, int zero, int mode) {
            draw(target, tx, ty, in.live, ch, liveColour[ch] | ~kRgbMask, gain, offset, zero, px, start, fine, mode,
                 live.FrameLen, true);
        };
        if (shown[ChD2]) liveTrace(ChanD2, dGain, 0, dBase1 + 32, digitalMode);
        if (shown[ChD1]) liveTrace(ChanD1, dGain, 0, dBase1, digitalMode);
        if (shown[ChA2])
            liveTrace(ChanA2, VoltsRatio(live.uV_Div_A2, acq.uV_Div_A2), live.A2_Zero, s.A2_Zero + 1, drawMode);
        if (shown[ChA1])
            liveTrace(ChanA1, VoltsRatio(live.uV_Div_A1, acq.uV_Div_A1), live.A1_Zero, s.A1_Zero + 1, drawMode);
    };
    // The layer is drawn before the screen is touched: the last overlay has
    // just read it, so it is still in the cache, and clearing the large grid
    // area would push it out.
    if (persist) drawLive(d.GridBitmap, 0, 0);

    // Clear the grid area, frame lines excluded; grid and trigger position line.
    Canvas(screen).Fill(g.GridLeft, g.GridTop, g.GridWidth + 1, g.GridHeight + 1, background);
    {
        const Hook* grid = s.Grid ? &hooks.grid : nullptr;
        const Hook* trigPos = s.TrigPosL && timeView ? &hooks.trigPosLine : nullptr;
        PaintHooks(screen, {grid, trigPos});
    }

    // Reference frame, aligned to the live trigger point. The drawer walks
    // the reference up to its own length also when it starts right of the
    // left edge (negative start).
    if (refShown && timeDiv > 0) {
        const double refPx = static_cast<double>(ref.Divider) * g.DivWidth * 10 / static_cast<double>(timeDiv);
        if (refPx < g.GridWidth) {
            int refStart = start;
            double refFine = ref.TrigFine10 * 0.1;
            if (live.FrameLen != 0 && ref.Divider != 0) {
                const double pos = static_cast<double>(start - live.PreLen) * live.Divider / ref.Divider + ref.PreLen;
                const std::int64_t r = std::clamp<std::int64_t>(RoundHalfAway(pos), INT_MIN / 16, INT_MAX / 16);
                refStart = static_cast<int>(r);
                refFine += pos - static_cast<double>(r);
            }
            const int gl = g.GridLeft, gt = g.GridTop;
            const int dBase1 = s.bgD_Zero == 0 ? 1 : 17;
            const auto refTrace = [&](int ch, QRgb colour, double gain, int offset, int zero, int mode) {
                draw(screen, gl, gt, in.ref, ch, colour, gain, offset, zero, refPx, refStart, refFine, mode,
                     ref.FrameLen, false);
            };
            if (shown[ChD2]) refTrace(ChanD2, refColour[ChD2], 12, 0, 1 + dBase1 + 32, digitalMode);
            if (shown[ChD1]) refTrace(ChanD1, refColour[ChD1], 12, 0, 1 + dBase1, digitalMode);
            if (shown[ChA2])
                refTrace(ChanA2, refColour[ChA2], VoltsRatio(ref.uV_Div_A2, acq.uV_Div_A2), ref.A2_Zero,
                         s.bgA2_Zero + 1, drawMode);
            if (shown[ChA1])
                refTrace(ChanA1, refColour[ChA1], VoltsRatio(ref.uV_Div_A1, acq.uV_Div_A1), ref.A1_Zero,
                         s.bgA1_Zero + 1, drawMode);
        }
    }

    if (!persist) drawLive(screen, g.GridLeft, g.GridTop);

    // The persistence layer over the grid; the empty tag is transparent.
    // The same pass makes this frame's pixels fresh and, on a tick, moves
    // every older tag one step on (as ageing before the drawing would have).
    if (persist) OverlayLayer(d, screen, stepLayer);

    // Overlays: decoder, trigger-condition flag, spectrum, markers,
    // spectrum banner, link statistics.
    const Hook* flag = s.Trig_T && timeView ? &hooks.triggerFlag : nullptr;
    // The statistics overlay decides itself when it shows (Extra_Info with a
    // service flag; the long form with USB_VIEW).
    PaintHooks(screen, {&hooks.decoderOverlay, flag});
    if (hooks.spectrum) hooks.spectrum(screen);
    PaintHooks(screen, {&hooks.markers, &hooks.spectrumBanner, &hooks.linkStats});
}

}  // namespace kr40
