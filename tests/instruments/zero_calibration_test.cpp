#include "instruments/zero_calibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "acquisition/acq_config.h"
#include "acquisition/frame.h"
#include "acquisition/scope_settings.h"
#include "core/rounding.h"
#include "instruments/zero_model.h"

namespace kr40 {
namespace {

// A channel's real behaviour, in the form the calibration record describes.
struct TrueRecord {
    int p1, p2, sh;
};

// The mean ADC code the instrument reads with nothing connected, at an
// offset DAC code and a range in µV/div.
double TrueZero(const TrueRecord& r, double dac, std::int32_t uv)
{
    const double k = 50000.0 / uv;
    return ((dac - 1360) * (r.p2 - r.p1) / 1680 + r.p1 + r.sh * k) / 16;
}

constexpr int kValidLen = 5000;

// One channel's part of a frame: its noise and how far its mean is off the truth.
struct Shot {
    int pp;
    double off;
};

// The n-th frame after a configuration was published. The first three still
// show the previous setting (quiet, far from the truth); the frame without
// samples carries garbage. Only one frame per channel holds the true mean, and
// it is the strictly quietest one.
struct Script {
    int validLen;
    Shot a1, a2;
};
constexpr Script kScript[ZeroCalibration::FramesPerCode] = {
    {kValidLen, {0, 60}, {0, -60}}, {kValidLen, {0, 60}, {0, -60}}, {kValidLen, {0, 60}, {0, -60}},
    {kValidLen, {9, 3}, {11, -2}},  {0, {0, 50}, {0, 50}},          {kValidLen, {7, 0}, {6, 1.5}},
    {kValidLen, {7, 2}, {5, 0}},    {kValidLen, {8, -1}, {5, -4}},
};

// Replaces one channel's frames from the 4th on at one DAC code.
struct Fault {
    std::uint32_t code = 0;  // 0: none
    int channel = 1;
    int pp = 0;
    bool empty = false;  // no samples at all
};

class Instrument {
public:
    Instrument(TrueRecord a1, TrueRecord a2, Fault fault = {}) : a1_(a1), a2_(a2), fault_(fault) {}

    FrameRecord Frame(const AcqConfig& acq, int n) const
    {
        const Script& sc = kScript[n];
        Shot s1 = sc.a1, s2 = sc.a2;
        FrameRecord r{};
        r.ValidLen = sc.validLen;
        if (fault_.code != 0 && acq.Zero_Cal_A1 == fault_.code && n >= 3) {
            (fault_.channel == 1 ? s1 : s2) = Shot{fault_.pp, 0};
            if (fault_.empty) r.ValidLen = 0;
        }
        const double m1 = TrueZero(a1_, acq.Zero_Cal_A1, acq.uV_Div_A1) + s1.off;
        const double m2 = TrueZero(a2_, acq.Zero_Cal_A2, acq.uV_Div_A2) + s2.off;
        r.SumA1 = static_cast<std::int32_t>(std::lround(m1 * kValidLen));
        r.SumA2 = static_cast<std::int32_t>(std::lround(m2 * kValidLen));
        r.PeakToPeakA1 = s1.pp;
        r.PeakToPeakA2 = s2.pp;
        return r;
    }

private:
    TrueRecord a1_, a2_;
    Fault fault_;
};

struct Published {
    std::uint32_t code1, code2;
    std::int32_t uv1, uv2, uvx1, uvx2;
    std::uint8_t range1, range2;
    bool operator==(const Published&) const = default;
};

constexpr Published Pub(std::uint32_t code, bool narrow)
{
    const std::int32_t uv = narrow ? 50'000 : 2'000'000;
    const std::uint8_t range = narrow ? 0x38 : 0x3B;
    return {code, code, uv, uv, uv, uv, range, range};
}

const std::vector<Published> kPublishOrder = {
    Pub(1360, false), Pub(1341, false), Pub(1379, false), Pub(3040, false), Pub(3021, false),
    Pub(3059, false), Pub(2200, true),  Pub(2181, true),  Pub(2219, true),
};

// The dialog's side: feeds frames to the run, and a fresh frame series
// after each Publish.
class ZeroCalibrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A record of an earlier calibration, distinct per field.
        s.Z_A1P1 = 3350, s.Z_A1P2 = 720, s.Z_A1SH = 11;
        s.Z_A2P1 = 3360, s.Z_A2P2 = 730, s.Z_A2SH = -12;
        s.A1_Zero = 128, s.A2_Zero = 128;
        s.Russian = false;
    }

    CalStep StartRun()
    {
        const CalStep step = run.Start(s, acq);
        published.push_back(Current());
        progress.push_back(run.View().progress);
        n = 0;
        return step;
    }

    // Up to `count` frames (all when negative); returns the last step.
    CalStep Feed(const Instrument& inst, int count = -1)
    {
        CalStep step = CalStep::Wait;
        for (int i = 0; count < 0 || i < count; ++i) {
            const FrameRecord rec = inst.Frame(acq, n);
            step = run.OnFrame(CalFrame{rec, buf, 0}, s, acq);
            ++frames;
            progress.push_back(run.View().progress);
            if (step == CalStep::Done) break;
            if (step == CalStep::Publish) published.push_back(Current());
            n = step == CalStep::Publish ? 0 : n + 1;
        }
        return step;
    }

    Published Current() const
    {
        return {acq.Zero_Cal_A1,  acq.Zero_Cal_A2,  acq.uV_Div_A1, acq.uV_Div_A2,
                acq.uV_Div_x1_A1, acq.uV_Div_x1_A2, acq.Range_A1,  acq.Range_A2};
    }

    std::array<int, 6> Record() const { return {s.Z_A1P1, s.Z_A1P2, s.Z_A1SH, s.Z_A2P1, s.Z_A2P2, s.Z_A2SH}; }
    static std::array<int, 6> Record(const TrueRecord& a1, const TrueRecord& a2)
    {
        return {a1.p1, a1.p2, a1.sh, a2.p1, a2.p2, a2.sh};
    }

    ScopeSettings s;
    AcqConfig acq;
    FrameBuffers buf;
    ZeroCalibration run;
    std::vector<Published> published;
    std::vector<int> progress;  // after Start and after each frame
    int frames = 0;
    int n = 0;  // frames since the last Publish
};

const TrueRecord kA1 = {3400, 700, 120};
const TrueRecord kA2 = {3300, 760, -80};

TEST_F(ZeroCalibrationTest, StartWritesTheRunConfiguration)
{
    // Whatever the main window had set before.
    acq.Ch_Mask = 0x8F, acq.Smpl_N = 10000, acq.Time_Div_ns = 50, acq.Decim = 7, acq.Pre_N = 300, acq.Post_N = 9;
    acq.Acq_Flags = 0xFF, acq.Mode_Flags = 0xFF, acq.TPlus_Flags = 0x70, acq.Trig_Lev_Bits = 0x33, acq.Roll_Flags = 3;
    acq.Roll = acq.Scroll = acq.Pair_Mode = true;
    acq.uV_Div_A1 = acq.uV_Div_A2 = 10'000'000, acq.Range_A1 = acq.Range_A2 = 0x05;

    run.Show(s, false);
    EXPECT_EQ(StartRun(), CalStep::Publish);
    EXPECT_TRUE(run.Running());
    EXPECT_EQ(acq.Ch_Mask, 0x83);
    EXPECT_EQ(acq.Smpl_N, 5000);
    EXPECT_EQ(acq.Time_Div_ns, 2'000'000u);
    EXPECT_EQ(acq.Decim, 399u);
    EXPECT_EQ(acq.Pre_N, 0u);
    EXPECT_EQ(acq.Post_N, 5000u);
    EXPECT_EQ(acq.Acq_Flags, 0);
    EXPECT_EQ(acq.Mode_Flags, 0);
    EXPECT_EQ(acq.TPlus_Flags, 0);
    EXPECT_EQ(acq.Trig_Lev_Bits, 0);
    EXPECT_EQ(acq.Roll_Flags, 0);
    EXPECT_FALSE(acq.Roll);
    EXPECT_FALSE(acq.Scroll);
    EXPECT_FALSE(acq.Pair_Mode);
    EXPECT_EQ(Current(), Pub(1360, false));
    EXPECT_FALSE(run.View().startEnabled);
    EXPECT_FALSE(run.View().okEnabled);
    EXPECT_EQ(run.View().status, "Calibration, please wait...");
}

TEST_F(ZeroCalibrationTest, FullRunRecoversTheTrueRecords)
{
    struct Case {
        TrueRecord a1, a2;
    };
    const Case cases[] = {
        {kA1, kA2},
        {{3120, 640, 400}, {3500, 900, -400}},
        {{3357, 725, 0}, {3357, 725, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a1.p1 << "/" << c.a1.sh << " " << c.a2.p1 << "/" << c.a2.sh);
        SetUp();
        published.clear();
        progress.clear();
        frames = 0;
        run.Show(s, false);
        StartRun();
        const Instrument inst(c.a1, c.a2);
        EXPECT_EQ(Feed(inst), CalStep::Done);
        EXPECT_EQ(frames, 72);
        EXPECT_TRUE(run.Succeeded());
        EXPECT_FALSE(run.Running());
        EXPECT_EQ(Record(), Record(c.a1, c.a2));
        EXPECT_EQ(published, kPublishOrder);
        // The zero levels followed the readings; the last one was at 2219, 50 mV/div.
        EXPECT_EQ(s.A1_Zero, RoundHalfAway(TrueZero(c.a1, 2219, 50'000)));
        EXPECT_EQ(s.A2_Zero, RoundHalfAway(TrueZero(c.a2, 2219, 50'000)));
        // A frame after the end changes nothing.
        const FrameRecord late = inst.Frame(acq, 5);
        EXPECT_EQ(run.OnFrame(CalFrame{late, buf, 0}, s, acq), CalStep::Done);
        EXPECT_EQ(Record(), Record(c.a1, c.a2));
    }
}

TEST_F(ZeroCalibrationTest, ProgressCountsEveryAwaitedFrame)
{
    run.Show(s, false);
    EXPECT_EQ(run.View().progress, 0);
    EXPECT_EQ(run.View().progressMax, 72);
    StartRun();
    Feed(Instrument(kA1, kA2));
    std::vector<int> expected;
    for (int i = 1; i <= 72; ++i) expected.push_back(i);
    expected.push_back(72);  // the end fills the bar
    EXPECT_EQ(progress, expected);
}

TEST_F(ZeroCalibrationTest, CalibratedModelPutsTheZeroLevelInPlace)
{
    const TrueRecord a1 = {3120, 640, 400}, a2 = {3500, 900, -400};
    run.Show(s, false);
    StartRun();
    Feed(Instrument(a1, a2));
    ASSERT_TRUE(run.Succeeded());
    for (std::int32_t range : {2'000'000, 1'000'000, 500'000, 200'000, 100'000, 50'000}) {
        for (int zero : {20, 128, 230}) {
            s.A1_Zero = s.A2_Zero = zero;
            EXPECT_NEAR(TrueZero(a1, OffsetDacCode(s, 1, range), range), zero, 0.5) << range << " " << zero;
            EXPECT_NEAR(TrueZero(a2, OffsetDacCode(s, 2, range), range), zero, 0.5) << range << " " << zero;
        }
    }
}

TEST_F(ZeroCalibrationTest, NoiseThresholdsAndMissingReadings)
{
    struct Case {
        const char* name;
        Fault fault;
        int failsAfter;  // frames; 0 = the run succeeds
    };
    const Case cases[] = {
        {"A1 below 12 at 2 V/div", {1379, 1, 11, false}, 0},
        {"A2 at 12 at 2 V/div", {3040, 2, 12, false}, 32},
        {"A1 below 16 at 50 mV/div", {2219, 1, 15, false}, 0},
        {"A2 at 16 at 50 mV/div", {2181, 2, 16, false}, 64},
        {"A1 gives no peak-to-peak", {1360, 1, -1, false}, 8},
        {"no samples from the 4th frame on", {3059, 1, 0, true}, 48},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        frames = 0;
        const std::array<int, 6> before = Record();
        run.Show(s, false);
        StartRun();
        const Instrument inst(kA1, kA2, c.fault);
        EXPECT_EQ(Feed(inst), CalStep::Done);
        EXPECT_FALSE(run.Running());
        const ZeroCalView& v = run.View();
        if (c.failsAfter == 0) {
            EXPECT_TRUE(run.Succeeded());
            EXPECT_EQ(Record(), Record(kA1, kA2));
            EXPECT_EQ(v.status, "Calibration OK.");
            continue;
        }
        EXPECT_EQ(frames, c.failsAfter);
        EXPECT_FALSE(run.Succeeded());
        EXPECT_EQ(Record(), before);
        EXPECT_EQ(v.status, "Calibration failed.");
        EXPECT_EQ(v.progress, 0);
        EXPECT_TRUE(v.startEnabled);
        EXPECT_FALSE(v.okEnabled);
        EXPECT_EQ(v.focus, ZeroCalView::Focus::Start);
        // Nothing more happens until Start.
        const AcqConfig held = acq;
        const FrameRecord late = inst.Frame(acq, 5);
        EXPECT_EQ(run.OnFrame(CalFrame{late, buf, 0}, s, acq), CalStep::Done);
        EXPECT_EQ(acq.Zero_Cal_A1, held.Zero_Cal_A1);
        EXPECT_EQ(Record(), before);
        // A new run after the failure works.
        StartRun();
        EXPECT_EQ(Feed(Instrument(kA1, kA2)), CalStep::Done);
        EXPECT_EQ(Record(), Record(kA1, kA2));
    }
}

TEST_F(ZeroCalibrationTest, CancelEndsTheRunSilently)
{
    run.Show(s, false);
    StartRun();
    const Instrument inst(kA1, kA2);
    EXPECT_EQ(Feed(inst, 50), CalStep::Wait);  // in the 50 mV/div phase
    const std::array<int, 6> before = Record();
    const int zero1 = s.A1_Zero;
    run.Cancel();
    EXPECT_FALSE(run.Running());
    EXPECT_FALSE(run.Succeeded());
    const Published at = Current();
    const int progressAt = run.View().progress;
    for (int i = 0; i < 30; ++i) {
        const FrameRecord rec = inst.Frame(acq, 5);
        EXPECT_EQ(run.OnFrame(CalFrame{rec, buf, 0}, s, acq), CalStep::Done);
    }
    EXPECT_EQ(Record(), before);
    EXPECT_EQ(s.A1_Zero, zero1);
    EXPECT_EQ(Current(), at);
    EXPECT_EQ(run.View().progress, progressAt);
    EXPECT_EQ(run.View().status, "Calibration, please wait...");
}

TEST_F(ZeroCalibrationTest, StartDuringARunBeginsAgain)
{
    run.Show(s, false);
    StartRun();
    // Half way through the 50 mV/div phase, with garbage readings taken so far.
    Feed(Instrument({3000, 500, 900}, {3000, 500, 900}), 52);
    ASSERT_EQ(acq.uV_Div_A1, 50'000);
    published.clear();
    progress.clear();
    EXPECT_EQ(StartRun(), CalStep::Publish);
    EXPECT_EQ(run.View().progress, 1);
    EXPECT_EQ(Feed(Instrument(kA1, kA2)), CalStep::Done);
    EXPECT_EQ(published, kPublishOrder);
    EXPECT_EQ(Record(), Record(kA1, kA2));
    EXPECT_EQ(progress.size(), 73u);
}

TEST_F(ZeroCalibrationTest, TextsInBothLanguages)
{
    struct Case {
        bool russian;
        const char *caption, *instruction, *start, *ok, *cancel, *busy, *done, *failed;
    };
    const Case cases[] = {
        {false, "Zero Calibrate", "Disconnect anything from BNC's and press Start button.", "Start", "OK", "Cancel",
         "Calibration, please wait...", "Calibration OK.", "Calibration failed."},
        {true, "Калибровка уровня нуля", "Отключите всё от разъемов устройства.", "Старт", "OK", "Отмена",
         "Идет калибровка ...", "Калибровка закончена.", "Ошибка калибровки."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.russian);
        SetUp();
        s.Russian = c.russian;
        run.Show(s, false);
        const ZeroCalView& v = run.View();
        EXPECT_EQ(v.caption, c.caption);
        EXPECT_EQ(v.instruction, c.instruction);
        EXPECT_EQ(v.start, c.start);
        EXPECT_EQ(v.ok, c.ok);
        EXPECT_EQ(v.cancel, c.cancel);
        EXPECT_TRUE(v.startEnabled);
        EXPECT_FALSE(v.okEnabled);
        EXPECT_EQ(v.focus, ZeroCalView::Focus::Start);
        StartRun();
        EXPECT_EQ(v.status, c.busy);
        Feed(Instrument(kA1, kA2));
        EXPECT_EQ(v.status, c.done);
        EXPECT_TRUE(v.startEnabled);
        EXPECT_TRUE(v.okEnabled);
        EXPECT_EQ(v.focus, ZeroCalView::Focus::Ok);
        StartRun();
        Feed(Instrument(kA1, kA2, {1360, 1, 12, false}));
        EXPECT_EQ(v.status, c.failed);
    }
}

TEST_F(ZeroCalibrationTest, DetailPanelOnlyInDebugMode)
{
    EXPECT_EQ(ZeroCalDetailText(s),
              "A1P1 = 3350    A1P2 = 720    A1SH = 11\r\nA2P1 = 3360    A2P2 = 730    A2SH = -12");

    run.Show(s, true);
    EXPECT_TRUE(run.View().detailVisible);
    EXPECT_EQ(run.View().detail, ZeroCalDetailText(s));
    StartRun();
    EXPECT_EQ(run.View().detail, "");
    Feed(Instrument(kA1, kA2));
    EXPECT_EQ(run.View().detail, "A1P1 = 3400    A1P2 = 700    A1SH = 120\r\nA2P1 = 3300    A2P2 = 760    A2SH = -80");

    run.Show(s, false);
    EXPECT_FALSE(run.View().detailVisible);
    StartRun();
    Feed(Instrument(kA1, kA2));
    EXPECT_EQ(run.View().detail, "");
}

}  // namespace
}  // namespace kr40
