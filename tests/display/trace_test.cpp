#include "display/trace.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/frame.h"
#include "acquisition/scope_tables.h"
#include "core/rounding.h"
#include "core/sample.h"
#include "core/sinc_interp.h"
#include "display/scope_screen.h"
#include "state/scope_state.h"

namespace kr40 {
namespace {

// ---------------------------------------------------------------------------
// DrawTrace on a small canvas: one ADC step per pixel row (GridHeight 256),
// gain 1, so a value v lands on row Bottom() - v.

constexpr QRgb kPaper = 0xFF102030;
constexpr QRgb kInk = 0xFFE0E0A0;

struct Canvas {
    ScreenGeometry g;
    QImage img;
    int x0 = 20, y0 = 10;

    explicit Canvas(int gridWidth = 100)
    {
        g.GridWidth = gridWidth;
        g.GridHeight = 256;
        g.PixelsPerStep = 1.0;
        img = QImage(gridWidth * 2 + 40, 300, QImage::Format_RGB32);
        img.fill(kPaper);
    }
    int Bottom() const { return y0 + g.GridHeight; }
    int Row(int level) const { return Bottom() - level; }
    bool Ink(int x, int level, QRgb c = kInk) const { return img.pixel(x, Row(level)) == c; }
    // Levels drawn in image column x, lowest first.
    std::vector<int> Levels(int x, QRgb c = kInk) const
    {
        std::vector<int> out;
        for (int y = img.height() - 1; y >= 0; --y)
            if (img.pixel(x, y) == c) out.push_back(Bottom() - y);
        return out;
    }
    int CountInk(QRgb c) const
    {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) n += img.pixel(x, y) == c;
        return n;
    }
};

FrameRecord Record(int divider)
{
    FrameRecord r{};
    r.Divider = divider;
    return r;
}

TraceParams Params(const Canvas& cv, const std::vector<std::int32_t>& lo, const std::vector<std::int32_t>& hi, int mode,
                   double pxPerSample, const FrameRecord* frame)
{
    TraceParams p;
    p.drawMode = mode;
    p.x0 = cv.x0;
    p.y0 = cv.y0;
    p.samples = lo.data();
    p.samplesMax = hi.data();
    p.count = static_cast<int>(lo.size());
    p.colour = kInk;
    p.pxPerSample = pxPerSample;
    p.frame = frame;
    p.background = kPaper;
    return p;
}

std::vector<int> Range(int lo, int hi)
{
    std::vector<int> r;
    for (int v = lo; v <= hi; ++v) r.push_back(v);
    return r;
}

// sin(x)/x fills in between samples only in its own mode, at the full rate
// (Divider 1) and above 0.9 pixels per sample. A step rings when it is
// interpolated: levels above the upper plateau appear.
TEST(TraceInterpolationTest, OnlyAtFullRateAboveThreshold)
{
    struct Case {
        double px;
        int divider, mode;
        bool interpolated;
    } cases[] = {
        {0.9, 1, DrawSinxx, false},  {0.91, 1, DrawSinxx, true},    {3.0, 1, DrawSinxx, true},
        {0.91, 2, DrawSinxx, false}, {0.91, 1, DrawVectors, false},
    };
    std::vector<std::int32_t> step(40, 50);
    for (int i = 20; i < 40; ++i) step[i] = 150;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "px " << c.px << " divider " << c.divider << " mode " << c.mode);
        Canvas cv;
        const FrameRecord rec = Record(c.divider);
        DrawTrace(cv.img, cv.g, Params(cv, step, step, c.mode, c.px, &rec));
        bool overshoot = false;
        for (int x = 0; x < cv.img.width(); ++x)
            for (int level : cv.Levels(x)) overshoot |= level > 150 || level < 50;
        EXPECT_EQ(overshoot, c.interpolated);
    }
}

// At one pixel per tenth of a sample every interpolated point gets its own
// column: each lands where InterpolateSample puts it, including next to the
// ends and around a missing sample, and nothing is drawn past the last sample.
TEST(TraceInterpolationTest, PointsMatchInterpolateSample)
{
    Canvas cv(400);
    std::vector<std::int32_t> s(40);
    for (int i = 0; i < 40; ++i) s[i] = 128 + static_cast<int>(std::lround(60 * std::sin(i * 0.9) + (i * 37 % 11)));
    s[20] = MissingSample;
    const FrameRecord rec = Record(1);
    DrawTrace(cv.img, cv.g, Params(cv, s, s, DrawSinxx, 10.0, &rec));

    int checked = 0;
    for (int u = 0; u < 400; ++u) {
        const std::int32_t v = InterpolateSample(s.data(), u / 10, u % 10, 40);
        if (v == MissingSample) continue;
        ASSERT_TRUE(cv.Ink(cv.x0 + u, v)) << "u " << u << " value " << v;
        ++checked;
    }
    EXPECT_GT(checked, 350);
    EXPECT_TRUE(cv.Levels(cv.x0 + 391).empty());  // past sample 39
}

TEST(TraceInterpolationTest, ConstantInputStaysConstant)
{
    Canvas cv(200);
    const std::vector<std::int32_t> s(30, 100);
    const FrameRecord rec = Record(1);
    DrawTrace(cv.img, cv.g, Params(cv, s, s, DrawSinxx, 3.7, &rec));

    const int last = cv.x0 + static_cast<int>(RoundHalfAway(29 * 3.7));
    for (int x = 0; x < cv.img.width(); ++x) {
        const std::vector<int> levels = cv.Levels(x);
        if (x >= cv.x0 && x <= last)
            EXPECT_EQ(levels, std::vector<int>{100}) << "column " << x;
        else
            EXPECT_TRUE(levels.empty()) << "column " << x;
    }
}

// ---------------------------------------------------------------------------
// Dots and vectors.

TEST(TraceDotsTest, EveryColumnIsABarFromMinToMax)
{
    // One sample per column: peak-detect pairs and single values.
    const std::vector<std::int32_t> lo = {10, 40, 40, 200, 0, 90};
    const std::vector<std::int32_t> hi = {30, 40, 55, 230, 255, 90};
    {
        Canvas cv;
        DrawTrace(cv.img, cv.g, Params(cv, lo, hi, DrawDots, 1.0, nullptr));
        for (int i = 0; i < 6; ++i) EXPECT_EQ(cv.Levels(cv.x0 + i), Range(lo[i], hi[i])) << "sample " << i;
    }
    // Four samples per column: the bar spans the lowest minimum to the
    // highest maximum of the samples that round to that column.
    {
        std::vector<std::int32_t> s(40);
        for (int i = 0; i < 40; ++i) s[i] = (i * 53) % 200;
        Canvas cv;
        DrawTrace(cv.img, cv.g, Params(cv, s, s, DrawDots, 0.25, nullptr));
        std::vector<int> mins(11, 1000), maxs(11, -1);
        for (int i = 0; i < 40; ++i) {
            const int c = static_cast<int>(RoundHalfAway(i * 0.25));
            mins[c] = std::min(mins[c], s[i]);
            maxs[c] = std::max(maxs[c], s[i]);
        }
        for (int c = 0; c < 11; ++c) EXPECT_EQ(cv.Levels(cv.x0 + c), Range(mins[c], maxs[c])) << "column " << c;
    }
}

// Two samples ten columns apart: vectors join them unless their ranges
// overlap, from the top of the lower bar to the bottom of the higher one.
TEST(TraceVectorsTest, JoinsOnlyColumnsThatDoNotOverlap)
{
    struct Case {
        const char* name;
        int mode;
        std::int32_t lo0, hi0, lo1, hi1;
        bool joined;
    } cases[] = {
        {"overlapping", DrawVectors, 100, 120, 110, 130, false},  {"touching", DrawVectors, 100, 120, 120, 140, true},
        {"rising", DrawVectors, 100, 120, 140, 160, true},        {"falling", DrawVectors, 100, 120, 60, 80, true},
        {"dots never join", DrawDots, 100, 120, 140, 160, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas cv;
        const std::vector<std::int32_t> lo = {c.lo0, c.lo1}, hi = {c.hi0, c.hi1};
        DrawTrace(cv.img, cv.g, Params(cv, lo, hi, c.mode, 10.0, nullptr));
        int between = 0;
        for (int x = cv.x0 + 1; x < cv.x0 + 10; ++x) between += static_cast<int>(cv.Levels(x).size());
        EXPECT_EQ(between > 0, c.joined);
        if (c.joined) {
            // The line runs between the facing ends of the two bars.
            const bool rising = c.lo1 >= c.hi0;
            const int from = rising ? c.hi0 : c.lo0, to = rising ? c.lo1 : c.hi1;
            const std::vector<int> mid = cv.Levels(cv.x0 + 5);
            ASSERT_FALSE(mid.empty());
            EXPECT_NEAR(mid.front(), (from + to) / 2.0, 2.0);
        }
        for (int v = c.lo1; v <= c.hi1; ++v) EXPECT_TRUE(cv.Ink(cv.x0 + 10, v)) << v;
    }
}

// ---------------------------------------------------------------------------
// Roll-mode dimming and the fine trigger shift.

TEST(TraceRollTest, DimsHalfADivisionFromTheRingPosition)
{
    // Divider 1 at 200 ns/div: 20 samples per division, 10 dimmed from the
    // ring write position (sample 30). One sample per column.
    const std::vector<std::int32_t> s(100, 100);
    const QRgb dimArgb = 0xFF000000 | BlendColor(kInk & 0xFFFFFF, kPaper & 0xFFFFFF, 3.0);
    struct Case {
        const char* name;
        int rollFlag;
        bool dimRoll, dimmed;
    } cases[] = {
        {"roll frame", 1, true, true},
        {"not a roll frame", 0, true, false},
        {"dimming off", 1, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas cv;
        FrameRecord rec = Record(1);
        rec.RollFlag = c.rollFlag;
        rec.RingEnd = 30;
        TraceParams p = Params(cv, s, s, DrawVectors, 1.0, &rec);
        p.dimRoll = c.dimRoll;
        p.timeDivNs = 200;
        DrawTrace(cv.img, cv.g, p);
        for (int col = 0; col < 100; ++col) {
            const int x = cv.x0 + col;
            if (c.dimmed && col == 30) {
                EXPECT_TRUE(cv.Levels(x, kInk).empty() && cv.Levels(x, dimArgb).empty()) << "gap " << col;
            } else if (c.dimmed && col > 30 && col < 40) {
                EXPECT_TRUE(cv.Ink(x, 100, dimArgb)) << "dimmed " << col;
            } else {
                EXPECT_TRUE(cv.Ink(x, 100)) << "normal " << col;
            }
        }
        EXPECT_EQ(cv.CountInk(dimArgb), c.dimmed ? 9 : 0);
    }
}

TEST(TraceShiftTest, FineShiftMovesTheTraceByWholePixels)
{
    struct Case {
        double fineShift;
        int dx;
    } cases[] = {{0.0, 0}, {0.5, -5}, {-0.3, 3}, {0.26, -3}};
    std::vector<std::int32_t> s(12, 40);
    s[3] = 200;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fineShift);
        Canvas cv;
        TraceParams p = Params(cv, s, s, DrawDots, 10.0, nullptr);
        p.fineShift = c.fineShift;
        DrawTrace(cv.img, cv.g, p);
        EXPECT_TRUE(cv.Ink(cv.x0 + 30 + c.dx, 200));
        EXPECT_TRUE(cv.Ink(cv.x0 + 40 + c.dx, 40));
    }
}

// Wild input into an image inside a larger buffer with padded rows: nothing
// outside the image's pixels may change.
TEST(TraceClipTest, NeverWritesOutsideTheImage)
{
    constexpr int w = 60, h = 50, stride = w + 3, guard = 64;
    constexpr std::uint32_t sentinel = 0xDEADBEEF;
    std::vector<std::uint32_t> buf(guard * 2 + stride * h, sentinel);
    QImage img(reinterpret_cast<uchar*>(buf.data() + guard), w, h, stride * 4, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) buf[guard + y * stride + x] = kPaper;

    ScreenGeometry g;
    g.GridWidth = 125;
    g.GridHeight = 64;
    g.PixelsPerStep = 0.25;
    std::vector<std::int32_t> lo(300), hi(300);
    for (int i = 0; i < 300; ++i) {
        lo[i] = (i % 7 == 0) ? -100000 : (i * 97) % 256;
        hi[i] = (i % 5 == 0) ? 5000000 : lo[i] + 3;
    }
    lo[150] = MissingSample;
    const FrameRecord rec = Record(1);
    struct Case {
        int mode;
        double px, gain, fine;
        int start, x0, y0;
    } cases[] = {
        {DrawVectors, 0.3, 1, 0, 0, 0, 0},         {DrawVectors, 7, 300, 2.5, -3, -20, 40},
        {DrawSinxx, 1.7, -50, -1.2, 100, 30, -30}, {DrawDots, 0.5, 1e6, 0, -50, 55, 45},
        {DrawSinxx, 40, 2, 0.7, 290, -5, 10},
    };
    for (const Case& c : cases) {
        TraceParams p;
        p.drawMode = c.mode;
        p.x0 = c.x0;
        p.y0 = c.y0;
        p.samples = lo.data();
        p.samplesMax = hi.data();
        p.count = 300;
        p.colour = kInk;
        p.gain = c.gain;
        p.zero = 10;
        p.pxPerSample = c.px;
        p.start = c.start;
        p.fineShift = c.fine;
        p.frame = &rec;
        DrawTrace(img, g, p);
    }
    for (int i = 0; i < guard; ++i) {
        ASSERT_EQ(buf[i], sentinel) << "before the image, word " << i;
        ASSERT_EQ(buf[buf.size() - 1 - i], sentinel) << "after the image, word " << i;
    }
    for (int y = 0; y < h; ++y)
        for (int x = w; x < stride; ++x) ASSERT_EQ(buf[guard + y * stride + x], sentinel) << "row " << y;
    int inked = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) inked += buf[guard + y * stride + x] == kInk;
    EXPECT_GT(inked, 0);
}

// ---------------------------------------------------------------------------
// The render pass. A 300 x 340 paint box gives GridHeight 256 (one ADC step
// per row) and DivWidth 24.

struct Scene {
    std::unique_ptr<ScopeState> st = std::make_unique<ScopeState>();
    FrameSet* live = st->live.get();
    FrameSet* ref = st->ref.get();
    DisplayState d;
    bool refExists = false;

    Scene()
    {
        RecomputeGeometry(d, 300, 340);
        ScopeSettings& s = st->settings;
        s.CH_A1 = true;
        s.CH_A2 = s.CH_D1 = s.CH_D2 = false;
        s.Grid = s.TrigPosL = s.Trig_T = s.Persistence = false;
        s.USB_VIEW = false;
        s.Sel(Group::DrawMode) = DrawDots;
        st->acq.Time_Div_ns = 240;  // with Divider 1: one pixel per sample
        st->acq.uV_Div_A1 = st->acq.uV_Div_A2 = 1'000'000;
        s.A1_Zero = s.A2_Zero = 0;
        live->rec.uV_Div_A1 = live->rec.uV_Div_A2 = 1'000'000;
        SetLive(1, 200, std::vector<std::int32_t>(200, 100));
    }
    void SetLive(int divider, int len, const std::vector<std::int32_t>& a1)
    {
        FrameRecord& r = live->rec;
        r.Divider = divider;
        r.FrameLen = r.ValidLen = len;
        for (int i = 0; i < len; ++i) live->buf.A1_First[i] = live->buf.A1_Second[i] = a1[i];
    }
    void Render(const RenderHooks& hooks = {}, bool bgView = true)
    {
        DisplayInputs in{st->settings, st->acq, *st, *live, *ref, refExists};
        RenderFrame(d, in, hooks, bgView);
    }
    const ScreenGeometry& g() const { return d.g; }
    // Screen pixel of grid column x at level (before adding 1 for the zero).
    QRgb At(int x, int level) const
    {
        return d.ScreenBitmap.pixel(g().GridLeft + x, g().GridTop + g().GridHeight - level);
    }
    QRgb Colour(int index) const { return ToRgb(st->settings.Colors[index]); }
};

TEST(RenderFrameTest, HooksRunInOrderAroundTheTraces)
{
    Scene sc;
    ScopeSettings& s = sc.st->settings;
    s.Grid = s.TrigPosL = s.Trig_T = true;
    const QRgb bg = sc.Colour(ColorBackground), a1 = sc.Colour(ColorA1);
    const int traceX = 5, traceLevel = 101;  // zero 0 + 1, sample 100
    sc.d.ScreenBitmap.fill(qRgb(9, 9, 9));

    std::vector<std::string> calls;
    RenderHooks hooks;
    hooks.grid = [&](QPainter&) {
        calls.push_back("grid");
        EXPECT_EQ(sc.At(traceX, traceLevel), bg);  // background first, no trace yet
    };
    hooks.trigPosLine = [&](QPainter&) { calls.push_back("trigPosLine"); };
    hooks.decoderOverlay = [&](QPainter&) {
        calls.push_back("decoderOverlay");
        EXPECT_EQ(sc.At(traceX, traceLevel), a1);  // traces before the overlays
    };
    hooks.triggerFlag = [&](QPainter&) { calls.push_back("triggerFlag"); };
    hooks.spectrum = [&](QImage&) { calls.push_back("spectrum"); };
    hooks.markers = [&](QPainter&) { calls.push_back("markers"); };
    hooks.spectrumBanner = [&](QPainter&) { calls.push_back("spectrumBanner"); };
    hooks.linkStats = [&](QPainter&) { calls.push_back("linkStats"); };

    sc.Render(hooks);
    EXPECT_EQ(calls, (std::vector<std::string>{"grid", "trigPosLine", "decoderOverlay", "triggerFlag", "spectrum",
                                               "markers", "spectrumBanner", "linkStats"}));

    // Spectrum view without View Signal: no time-domain traces, no trigger
    // line or flag; grid off: no grid.
    calls.clear();
    s.Grid = false;
    s.FFT_View_Sig = false;
    sc.d.spectrumShown = true;
    hooks.decoderOverlay = [&](QPainter&) { calls.push_back("decoderOverlay"); };
    sc.Render(hooks);
    EXPECT_EQ(calls,
              (std::vector<std::string>{"decoderOverlay", "spectrum", "markers", "spectrumBanner", "linkStats"}));
    EXPECT_EQ(sc.At(traceX, traceLevel), bg);
    // With View Signal the traces stay under the spectrum, dimmed once the
    // spectrum is computed.
    s.FFT_View_Sig = true;
    sc.Render(hooks);
    EXPECT_EQ(sc.At(traceX, traceLevel), a1);
    sc.d.fftStatus[0] = 1;
    sc.Render(hooks);
    EXPECT_EQ(sc.At(traceX, traceLevel), ToRgb(BlendColor(s.Colors[ColorA1], s.Colors[ColorBackground], 2)));
}

TEST(RenderFrameTest, ScrollPositionIsClampedAndKept)
{
    Scene sc;
    std::vector<std::int32_t> a1(200, 100);
    a1[150] = 200;
    sc.SetLive(1, 200, a1);
    struct Case {
        int xPos, clamped;
    } cases[] = {{-5, 0}, {0, 0}, {150, 150}, {200, 200}, {500, 200}};
    for (const Case& c : cases) {
        sc.st->settings.X_Pos = c.xPos;
        sc.Render();
        EXPECT_EQ(sc.st->settings.X_Pos, c.clamped) << c.xPos;
    }
    sc.st->settings.X_Pos = 140;
    sc.Render();
    EXPECT_EQ(sc.At(10, 201), sc.Colour(ColorA1));  // sample 150 at column 10
}

// Level mapping of the live traces: analog by the frame's zero and volts per
// division against the current ones, digital by the fixed bases, which move
// when a reference frame is shown.
TEST(RenderFrameTest, LiveTraceLevels)
{
    struct Case {
        const char* name;
        int channel;
        bool refShown;
        int bgDZero;
        int low, high;  // levels of the samples 0 and 1 (digital) or of 80 and 120 (analog)
    } cases[] = {
        // A1: frame zero 100 at 2 V/div, now 1 V/div and zero 50: ((v - 100) * 2 + 51).
        {"A1", ChanA1, false, 0, 11, 91},
        {"D1 alone", ChanD1, false, 0, 3, 27},
        {"D2 alone", ChanD2, false, 0, 35, 59},
        {"D1 with reference", ChanD1, true, 0, 17, 29},
        {"D1 with reference, swapped", ChanD1, true, 1, 1, 13},
        {"D2 with reference", ChanD2, true, 0, 49, 61},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene sc;
        ScopeSettings& s = sc.st->settings;
        s.CH_A1 = c.channel == ChanA1;
        s.CH_D1 = c.channel == ChanD1;
        s.CH_D2 = c.channel == ChanD2;
        s.A1_Zero = 50;
        s.bgD_Zero = c.bgDZero;
        sc.live->rec.A1_Zero = 100;
        sc.live->rec.uV_Div_A1 = 2'000'000;
        sc.refExists = c.refShown;  // empty reference: FrameLen 0 draws nothing
        const bool analog = c.channel == ChanA1;
        for (int i = 0; i < 200; ++i) {
            const std::int32_t v = analog ? (i < 100 ? 80 : 120) : (i < 100 ? 0 : 1);
            sc.live->buf.First(c.channel)[i] = sc.live->buf.Second(c.channel)[i] = v;
        }
        sc.Render();
        const QRgb colour = sc.Colour(ColorA1 + c.channel);
        EXPECT_EQ(sc.At(50, c.low), colour);
        EXPECT_EQ(sc.At(150, c.high), colour);
    }
}

// The reference trace is drawn in the half-intensity colour, aligned to the
// live trigger: live Divider 2, trigger at 100, first sample 60 -> reference
// position (60 - 100) * 2 / 1 + 50 = -30, i.e. it starts 30 columns in.
TEST(RenderFrameTest, ReferenceAlignedToLiveTrigger)
{
    Scene sc;
    ScopeSettings& s = sc.st->settings;
    s.bgA1_Zero = 20;
    sc.SetLive(2, 200, std::vector<std::int32_t>(200, 200));
    sc.live->rec.PreLen = 100;
    s.X_Pos = 60;
    FrameRecord& r = sc.ref->rec;
    r.Divider = 1;
    r.FrameLen = r.ValidLen = 100;
    r.PreLen = 50;
    r.A1_Zero = 10;
    r.uV_Div_A1 = 500'000;  // half the current volts per division
    for (int i = 0; i < 100; ++i) sc.ref->buf.A1_First[i] = sc.ref->buf.A1_Second[i] = 110;
    sc.refExists = true;

    const QRgb refColour = ToRgb(BlendColor(s.Colors[ColorA1], s.Colors[ColorBackground], 2));
    const int refLevel = (110 - 10) / 2 + 21;  // gain 0.5, zero bgA1_Zero + 1
    sc.Render();
    EXPECT_NE(sc.At(29, refLevel), refColour);
    EXPECT_EQ(sc.At(30, refLevel), refColour);
    EXPECT_EQ(sc.At(129, refLevel), refColour);
    EXPECT_NE(sc.At(130, refLevel), refColour);
    EXPECT_EQ(sc.At(0, 201), sc.Colour(ColorA1));

    sc.Render({}, false);  // menu item unchecked
    EXPECT_NE(sc.At(30, refLevel), refColour);
}

// ---------------------------------------------------------------------------
// Persistence through the render pass: every frame and every 50 ms tick.

struct PersistScene : Scene {
    PersistScene()
    {
        st->settings.Persistence = true;
        d.settled = true;
    }
    void Frame(std::int32_t value)
    {
        SetLive(1, 200, std::vector<std::int32_t>(200, value));
        RequestPersistenceReset(d);
        Render();
    }
    QRgb Layer(int x, int level) const { return LayerColour(d, x, g().GridHeight - level); }
};

TEST(PersistenceTest, PaletteStepsAndTags)
{
    DisplayState d;
    ScopeSettings s;
    BuildPersistencePalette(d, s);
    const double factors[15] = {1.05, 1.10, 1.25, 1.50, 1.85, 2.30, 2.85, 3.50,
                                4.25, 5.10, 6.05, 7.10, 8.25, 9.50, 10.85};
    for (int k = 0; k < 4; ++k) {
        for (int i = 0; i < 15; ++i) {
            const QRgb e = d.palette[16 * k + i];
            EXPECT_EQ(e >> 24, static_cast<QRgb>(16 * k + i + 1));
            EXPECT_EQ(e & 0xFFFFFF,
                      ToRgb(BlendColor(s.Colors[ColorA1 + k], s.Colors[ColorBackground], factors[i])) & 0xFFFFFF);
        }
        EXPECT_EQ(d.palette[16 * k + 15], 0x010101u);
    }
}

// One tick moves every tag of the layer one step on, wherever it stands in a
// row (the rows are aged sixteen tags at a time, the rest one by one).
TEST(PersistenceTest, TickStepsEveryTag)
{
    DisplayState d;
    RecomputeGeometry(d, 540, 400);
    ScopeSettings s;
    s.Persistence = true;
    ASSERT_GE(d.GridBitmap.width(), 72 + 17);
    std::vector<std::uint8_t> expected(72);
    for (int k = 0; k < 4; ++k) {
        for (int i = 0; i < 15; ++i) expected[16 * k + i + 1] = i < 14 ? 16 * k + i + 2 : kTagEmpty;
        expected[kTagFresh + k] = expected[kTagFreshDim + k] = 16 * k + 1;
    }
    for (int offset : {0, 3, 17}) {  // where the run of tags starts in the row
        SCOPED_TRACE(offset);
        d.GridBitmap.fill(kTagEmpty);
        std::uint8_t* row = d.GridBitmap.scanLine(5);
        for (int t = 0; t < 72; ++t) row[offset + t] = static_cast<std::uint8_t>(t);
        row[d.GridBitmap.width() - 1] = kTagFresh + 2;  // in the row's tail
        d.persistenceTick = true;
        AgePersistence(d, s);
        for (int t = 0; t < 72; ++t) {
            if (t % 16 == 0 && t != 0 && t < 64) continue;  // not a tag
            EXPECT_EQ(row[offset + t], expected[t]) << "tag " << t;
        }
        EXPECT_EQ(row[d.GridBitmap.width() - 1], 33);
        EXPECT_EQ(d.GridBitmap.scanLine(4)[offset + 5], kTagEmpty);
    }
}

// A frame drawn on a tick steps every older tag on and makes its own drawn
// tags fresh, wherever a tag stands in a row (the overlay takes sixty-four,
// then sixteen tags at a time, the rest one by one), and lays each tag over
// the screen in its new colour. A run of tags that the frame drew only takes
// a shorter way to the same result.
TEST(PersistenceTest, TickFrameStepsAndPaintsEveryTag)
{
    PersistScene sc;
    RecomputeGeometry(sc.d, 731, 499);  // GridWidth 660: ten runs of 64, one of 16, a tail of 4
    sc.live->rec.FrameLen = 0;          // no live trace, only the tags laid below
    QImage& layer = sc.d.GridBitmap;
    std::vector<std::uint8_t> tags, expected;
    for (int k = 0; k < 4; ++k) {
        for (int i = 1; i <= 15; ++i) {
            tags.push_back(static_cast<std::uint8_t>(16 * k + i));
            expected.push_back(i < 15 ? static_cast<std::uint8_t>(16 * k + i + 1) : kTagEmpty);
        }
    }
    for (int t = kTagFresh; t < kTagDrawn + 8; ++t) {
        tags.push_back(static_cast<std::uint8_t>(t));
        expected.push_back(static_cast<std::uint8_t>(t < kTagDrawn ? (t & 3) * 16 + 1 : t - 8));
    }
    struct Row {
        int y, offset;
        bool drawnOnly;  // only tags drawn by this frame
    } rows[] = {{5, 0, false}, {6, 3, false}, {7, 60, false}, {8, 584, false}, {9, 100, true}, {10, 584, true}};
    for (const Row& r : rows) {
        std::uint8_t* row = layer.scanLine(r.y);
        for (std::size_t i = 0; i < tags.size(); ++i) {
            if (r.drawnOnly && tags[i] < kTagDrawn) continue;
            row[r.offset + i] = tags[i];
        }
    }
    sc.d.settled = false;
    sc.d.persistenceTick = true;
    sc.Render();

    const QRgb background = sc.Colour(ColorBackground);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.y);
        const std::uint8_t* row = layer.constScanLine(r.y);
        for (std::size_t i = 0; i < tags.size(); ++i) {
            const int x = r.offset + static_cast<int>(i);
            const std::uint8_t e = r.drawnOnly && tags[i] < kTagDrawn ? kTagEmpty : expected[i];
            ASSERT_EQ(row[x], e) << "tag " << int(tags[i]);
            const QRgb shown = sc.d.ScreenBitmap.pixel(sc.g().GridLeft + x, sc.g().GridTop + r.y);
            EXPECT_EQ(shown, e == kTagEmpty ? background : 0xFF000000 | sc.d.layerColour[e]) << "tag " << int(tags[i]);
        }
    }
}

// A trace drawn by one frame only fades one palette step per tick while new
// frames keep arriving: the faintest step after 15 ticks, gone after 16. The
// A2 trace is recognised by its colour and fades through its own steps.
TEST(PersistenceTest, PixelDrawnOnceFadesOut)
{
    PersistScene sc;
    sc.st->settings.CH_A2 = true;
    for (int i = 0; i < 200; ++i) sc.live->buf.A2_First[i] = sc.live->buf.A2_Second[i] = 30;
    sc.Frame(100);  // A1 at 101 and A2 at 31, from this frame only
    sc.st->settings.CH_A2 = false;
    ASSERT_EQ(sc.Layer(7, 101), sc.Colour(ColorA1) & 0xFFFFFF);
    ASSERT_EQ(sc.Layer(7, 31), sc.Colour(ColorA2) & 0xFFFFFF);

    for (int tick = 1; tick <= 16; ++tick) {
        ASSERT_TRUE(PersistenceTimerTick(sc.d));
        sc.Frame(200);
        SCOPED_TRACE(tick);
        if (tick <= 15) {
            EXPECT_EQ(sc.Layer(7, 101), sc.d.palette[tick - 1] & 0xFFFFFF);
            EXPECT_EQ(sc.Layer(7, 31), sc.d.palette[16 + tick - 1] & 0xFFFFFF);
            EXPECT_EQ(sc.At(7, 101), 0xFF000000 | sc.d.palette[tick - 1]);  // laid over the screen
        } else {
            EXPECT_EQ(sc.Layer(7, 101), 0x010101u);
            EXPECT_EQ(sc.Layer(7, 31), 0x010101u);
            EXPECT_EQ(sc.At(7, 101), sc.Colour(ColorBackground));
        }
        EXPECT_EQ(sc.At(7, 201), sc.Colour(ColorA1));  // the newest frame
    }
}

// A frame drawn on a tick starts fresh and fades like any other: the same
// pass that steps the older pixels must not step it, nor leave it a tick late.
TEST(PersistenceTest, PixelDrawnOnATickFadesFromTheNextTick)
{
    PersistScene sc;
    sc.Frame(150);
    ASSERT_TRUE(PersistenceTimerTick(sc.d));
    sc.Frame(100);  // drawn on the tick
    EXPECT_EQ(sc.Layer(7, 101), sc.Colour(ColorA1) & 0xFFFFFF);
    EXPECT_EQ(sc.Layer(7, 151), sc.d.palette[0] & 0xFFFFFF);
    for (int tick = 1; tick <= 3; ++tick) {
        SCOPED_TRACE(tick);
        ASSERT_TRUE(PersistenceTimerTick(sc.d));
        sc.Frame(200);
        EXPECT_EQ(sc.Layer(7, 101), sc.d.palette[tick - 1] & 0xFFFFFF);
        EXPECT_EQ(sc.Layer(7, 151), sc.d.palette[tick] & 0xFFFFFF);
    }
}

// After the last frame the timer counts down 17 ticks and settles on the next
// one; from then on it stays quiet and redraws change nothing.
TEST(PersistenceTest, PictureFreezesAfterTheLastFrame)
{
    PersistScene sc;
    sc.Frame(100);
    sc.Frame(150);
    int ticks = 0;
    while (PersistenceTimerTick(sc.d)) {
        sc.Render();  // acquisition stopped: the last frame is drawn again
        ++ticks;
        ASSERT_LE(ticks, 100);
        EXPECT_EQ(sc.d.settled, ticks == 18);
    }
    EXPECT_EQ(ticks, 18);
    EXPECT_EQ(sc.Layer(7, 101), 0x010101u);
    EXPECT_EQ(sc.Layer(7, 151), sc.Colour(ColorA1) & 0xFFFFFF);

    const QImage layer = sc.d.GridBitmap.copy();
    const QImage screen = sc.d.ScreenBitmap.copy();
    sc.Render();  // the 1 s timer
    sc.Render();
    EXPECT_EQ(sc.d.GridBitmap, layer);
    EXPECT_EQ(sc.d.ScreenBitmap, screen);

    // A settings change restarts the countdown at the next frame screen.
    sc.st->ScreenSettingsChanged = true;
    DrawFrameScreen(sc.d, *sc.st, true);
    EXPECT_FALSE(sc.st->ScreenSettingsChanged);
    EXPECT_FALSE(sc.d.settled);
    EXPECT_TRUE(PersistenceTimerTick(sc.d));
}

}  // namespace
}  // namespace kr40
