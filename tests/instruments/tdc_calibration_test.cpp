#include "instruments/tdc_calibration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "acquisition/acq_config.h"
#include "acquisition/frame.h"
#include "acquisition/scope_settings.h"
#include "generator/gen_panel.h"

namespace kr40 {
namespace {

constexpr char kPending[] = "Rise = 10/0 nS     Fall = 10/... nS\r\nRise = 10/... nS     Fall = 10/... nS\r\n";

// What a run did, frame by frame.
struct Trace {
    std::vector<int> progressBefore;  // progress while each frame was awaited
    std::vector<CalStep> steps;       // the answer to each frame
    // (Acq_Flags, FM_Src, Gen_Shape) of every configuration the run published,
    // the one of Start first.
    std::vector<std::vector<int>> published;
    int frames() const { return static_cast<int>(steps.size()); }
};

class TdcCalibrationTest : public ::testing::Test {
protected:
    FrameRecord rec{};
    FrameBuffers buf;
    ScopeSettings s;
    AcqConfig acq;
    TdcCalibration cal;

    TdcCalibrationTest() { s.Russian = false; }  // the settings default to Russian

    CalStep Feed(int reading) { return cal.OnFrame(CalFrame{rec, buf, reading}, s, acq); }

    void Publish(Trace& t) const { t.published.push_back({acq.Acq_Flags, acq.FM_Src, acq.Gen_Shape}); }

    // Starts a run and feeds it frames until it ends (or `limit` frames).
    // `reading` gives each frame's TDC reading from the configuration the run
    // set and the frame's number; `fill` may write the frame's buffers first.
    Trace Run(const std::function<int(const AcqConfig&, int)>& reading,
              const std::function<void(AcqConfig&, FrameBuffers&)>& fill = nullptr, int limit = 1000)
    {
        Trace t;
        EXPECT_EQ(cal.Start(s, acq), CalStep::Publish);
        Publish(t);
        for (int k = 0; k < limit && cal.Running(); ++k) {
            if (fill) fill(acq, buf);
            t.progressBefore.push_back(cal.View().progress);
            t.steps.push_back(Feed(reading(acq, k)));
            if (t.steps.back() == CalStep::Publish) Publish(t);
        }
        return t;
    }

    // Asserts that nothing moves once the run has ended.
    void ExpectInert()
    {
        const TdcCalView before = cal.View();
        const AcqConfig acqBefore = acq;
        EXPECT_EQ(Feed(20), CalStep::Done);
        EXPECT_EQ(Feed(28), CalStep::Done);
        EXPECT_FALSE(cal.Running());
        EXPECT_EQ(cal.View().status, before.status);
        EXPECT_EQ(cal.View().result, before.result);
        EXPECT_EQ(cal.View().progress, before.progress);
        EXPECT_EQ(cal.View().okEnabled, before.okEnabled);
        EXPECT_EQ(acq.Acq_Flags, acqBefore.Acq_Flags);
        EXPECT_EQ(acq.Gen_Shape, acqBefore.Gen_Shape);
    }
};

// The maximum reading of each trigger path, keyed by the Acq_Flags the run set.
int PathMax(const AcqConfig& a)
{
    switch (a.Acq_Flags) {
        case 0x02:
            return 23;
        case 0x12:
            return 21;
        case 0x06:
            return 19;
        case 0x16:
            return 25;
        default:
            return 31;  // a path the run must never set in phase 1
    }
}

// Readings drawn from 0..c: k*7 mod (c+1) reaches every value within c+1
// frames since 7 shares no factor with 20, 22, 24 or 26.
int DrawnReading(const AcqConfig& a, int k)
{
    return k * 7 % (PathMax(a) + 1);
}

TEST(TdcGeneratorWords, PhaseIncrementsOfTheRunFrequencies)
{
    EXPECT_EQ(PhaseInc(98'765'432), 27799997672018ull);  // 9.8765432 MHz in 0.1 Hz
    EXPECT_EQ(PhaseInc(10'000), 2814749767ull);          // 1 kHz
}

TEST_F(TdcCalibrationTest, ShowTexts)
{
    const TdcValues values = {23, 21, 19, 25};
    struct Case {
        bool russian, fresh;
        int firmware;
        const char *caption, *instruction, *start, *cancel, *result;
        int progressMax;
    };
    const Case cases[] = {
        {false, true, 212, "TDC Calibrate", "Connect generator to D1, D2 chanels and press Start button.", "Start",
         "Cancel", "Rise = 10/23 nS     Fall = 10/21 nS\r\nRise = 10/19 nS     Fall = 10/25 nS\r\n", 300},
        {true, true, 211, "Калибровка TDC", "Подключите каналы D1, D2 к выходу генератора.", "Старт", "Отмена",
         "Фронт = 10/23 nS     Срез = 10/21 nS\r\nФронт = 10/19 nS     Срез = 10/25 nS\r\n", 250},
        {false, false, -1, "TDC Calibrate", "Connect generator to D1, D2 chanels and press Start button.", "Start",
         "Cancel", "...", 250},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firmware);
        s.Russian = c.russian;
        // A finished run before must not leak into the next opening.
        cal.Show(s, c.firmware, true, values);
        Run([](const AcqConfig&, int) { return 20; });
        ASSERT_TRUE(cal.Succeeded());

        cal.Show(s, c.firmware, c.fresh, values);
        const TdcCalView& v = cal.View();
        EXPECT_EQ(v.caption, c.caption);
        EXPECT_EQ(v.instruction, c.instruction);
        EXPECT_EQ(v.start, c.start);
        EXPECT_EQ(v.ok, "OK");
        EXPECT_EQ(v.cancel, c.cancel);
        EXPECT_EQ(v.result, c.result);
        EXPECT_EQ(v.status, "");
        EXPECT_TRUE(v.startEnabled);
        EXPECT_FALSE(v.okEnabled);
        EXPECT_EQ(v.focus, TdcCalView::Focus::Start);
        EXPECT_EQ(v.progress, 0);
        EXPECT_EQ(v.progressMax, c.progressMax);
        EXPECT_FALSE(cal.Running());
        EXPECT_FALSE(cal.Succeeded());
    }
}

TEST_F(TdcCalibrationTest, StartWritesPhaseOneConfiguration)
{
    cal.Show(s, 212, false, {});
    // Leftovers of the user's settings the run must override or keep.
    acq.Range_A1 = 0x0F;
    acq.Range_A2 = 0x0B;
    acq.Gen_Mode = 3;
    acq.Gen_Shape = 4;
    acq.Decim = 9;
    acq.Pre_N = 500;
    acq.Mode_Flags = 0x7F;
    acq.TPlus_Flags = 0xFF;
    acq.Roll_Flags = 3;
    acq.Roll = true;
    acq.Scroll = true;

    ASSERT_EQ(cal.Start(s, acq), CalStep::Publish);
    EXPECT_EQ(acq.Gen_Word_A, 27799997672018ull);
    EXPECT_EQ(acq.Gen_Shape, 0);
    EXPECT_EQ(acq.Gen_Mode, 0);
    EXPECT_EQ(acq.Gen_Ampl, 4000);
    EXPECT_EQ(acq.Range_A1, 0x07);  // generator on, range code kept
    EXPECT_EQ(acq.Range_A2, 0x0B);
    EXPECT_EQ(acq.Smpl_N, 1000);
    EXPECT_EQ(acq.Time_Div_ns, 500u);
    EXPECT_EQ(acq.Decim, 0u);
    EXPECT_EQ(acq.Pre_N, 0u);
    EXPECT_EQ(acq.Post_N, 1000u);
    EXPECT_EQ(acq.Mode_Flags, 0x80);
    EXPECT_EQ(acq.TPlus_Flags, 0);
    EXPECT_EQ(acq.Ch_Mask, 0x8C);
    EXPECT_EQ(acq.Roll_Flags, 0);
    EXPECT_FALSE(acq.Roll);
    EXPECT_FALSE(acq.Scroll);
    EXPECT_EQ(acq.FM_Src, 3);
    EXPECT_EQ(acq.Acq_Flags, 0x02);

    const TdcCalView& v = cal.View();
    EXPECT_TRUE(cal.Running());
    EXPECT_FALSE(v.startEnabled);
    EXPECT_FALSE(v.okEnabled);
    EXPECT_EQ(v.status, "Calibration, please wait...");
    EXPECT_EQ(v.progress, 1);
    EXPECT_EQ(v.result, kPending);
}

// Without the threshold measurement the run is phase 1 alone: four steps of
// 50 frames on the four trigger paths.
TEST_F(TdcCalibrationTest, PhaseOneFindsTheFourCounts)
{
    struct Case {
        int firmware;
        bool russian;
        const char *busy, *done, *rise, *fall;
    };
    const Case cases[] = {
        {211, false, "Calibration, please wait...", "Calibration OK.", "Rise = ", "     Fall = "},
        {-1, true, "Идет калибровка ...", "Калибровка закончена.", "Фронт = ", "     Срез = "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firmware);
        s.Russian = c.russian;
        cal.Show(s, c.firmware, false, {});
        ASSERT_EQ(cal.View().progressMax, 250);

        std::vector<std::string> midStep;  // result label after frames 60 and 160
        Trace t = Run([&](const AcqConfig& a, int k) {
            if (k == 60 || k == 160) midStep.push_back(cal.View().result);
            if (k == 60) {
                EXPECT_EQ(cal.View().status, c.busy);
            }
            return DrawnReading(a, k);
        });

        ASSERT_EQ(t.frames(), 200);
        const std::vector<std::vector<int>> paths = {{0x02, 3, 0}, {0x12, 3, 0}, {0x06, 4, 0}, {0x16, 4, 0}};
        EXPECT_EQ(t.published, paths);
        for (int k = 0; k < 200; ++k) {
            EXPECT_EQ(t.progressBefore[k], k + 1) << k;
            const CalStep want = k == 199 ? CalStep::Done : k % 50 == 49 ? CalStep::Publish : CalStep::Wait;
            EXPECT_EQ(t.steps[k], want) << k;
        }
        EXPECT_EQ(cal.Candidates(), (TdcValues{23, 21, 19, 25}));

        // While a step runs its candidate grows: fall 1 has seen k*7 mod 22
        // for k = 50..59 (largest 20), fall 2 k*7 mod 26 for k = 150..159
        // (largest 24).
        const std::string r = c.rise, f = c.fall;
        ASSERT_EQ(midStep.size(), 2u);
        EXPECT_EQ(midStep[0], r + "10/23 nS" + f + "10/20 nS\r\n" + r + "10/... nS" + f + "10/... nS\r\n");
        EXPECT_EQ(midStep[1], r + "10/23 nS" + f + "10/21 nS\r\n" + r + "10/19 nS" + f + "10/24 nS\r\n");

        const TdcCalView& v = cal.View();
        EXPECT_EQ(v.result, TdcValuesText({23, 21, 19, 25}, c.russian));
        EXPECT_EQ(v.status, c.done);
        EXPECT_EQ(v.progress, 250);
        EXPECT_TRUE(v.okEnabled);
        EXPECT_TRUE(v.startEnabled);
        EXPECT_EQ(v.focus, TdcCalView::Focus::Ok);
        EXPECT_TRUE(cal.Succeeded());
        EXPECT_EQ(cal.Thresholds(), (std::array<double, 8>{}));
        ExpectInert();
    }
}

TEST_F(TdcCalibrationTest, ReadingLimits)
{
    struct Case {
        const char* name;
        int step;  // the step (0..3) reading `value`; the others read 20
        int from;  // frame of the step from which it reads `value` (20 before)
        int value;
        int failFrame;  // frame of the step whose answer is Done; 0 = the step passes
        int candidate;  // the step's candidate when it passes
    };
    const Case cases[] = {
        {"27Accepted", 0, 0, 27, 0, 27},       {"12Accepted", 2, 0, 12, 0, 12}, {"28FailsAtOnce", 0, 10, 28, 11, 0},
        {"31FailsInLastStep", 3, 0, 31, 1, 0}, {"Max11Fails", 1, 0, 11, 50, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cal.Show(s, 211, false, {});
        Trace t = Run([&](const AcqConfig&, int k) { return k / 50 == c.step && k % 50 >= c.from ? c.value : 20; });
        if (c.failFrame == 0) {
            EXPECT_EQ(t.frames(), 200);
            EXPECT_TRUE(cal.Succeeded());
            EXPECT_EQ(cal.Candidates()[c.step], c.candidate);
            continue;
        }
        EXPECT_EQ(t.frames(), c.step * 50 + c.failFrame);
        EXPECT_EQ(t.steps.back(), CalStep::Done);
        const TdcCalView& v = cal.View();
        EXPECT_EQ(v.status, "Calibration failed.");
        EXPECT_EQ(v.result, "...");
        EXPECT_EQ(v.progress, 0);
        EXPECT_TRUE(v.startEnabled);
        EXPECT_FALSE(v.okEnabled);
        EXPECT_FALSE(cal.Running());
        EXPECT_FALSE(cal.Succeeded());
        ExpectInert();
    }
    s.Russian = true;
    cal.Show(s, 211, false, {});
    Run([](const AcqConfig&, int) { return 28; });
    EXPECT_EQ(cal.View().status, "Ошибка калибровки.");
}

// Firmware 212: after phase 1, four threshold measurements of 25 frames on a
// 1 kHz ramp; each frame's D1 and D2 buffers hold a known number of zeros.
TEST_F(TdcCalibrationTest, PhaseTwoMeasuresThresholds)
{
    cal.Show(s, 212, false, {});
    ASSERT_EQ(cal.View().progressMax, 300);

    // Zeros per frame in D1 and D2 for (Gen_Shape, Acq_Flags); over 25 frames
    // a zero is worth 0.04 mV, so n zeros per frame read n mV.
    auto zeros = [](const AcqConfig& a) -> std::pair<int, int> {
        if (a.Mode_Flags != 0 || a.Smpl_N != 2000) return {0, 0};  // phase 1
        if (a.Acq_Flags == 0x00 && a.Gen_Shape == 2) return {1470, 1430};
        if (a.Acq_Flags == 0x00 && a.Gen_Shape == 1) return {530, 560};
        if (a.Acq_Flags == 0xC0 && a.Gen_Shape == 2) return {1200, 1214};
        if (a.Acq_Flags == 0xC0 && a.Gen_Shape == 1) return {800, 786};
        return {2000, 2000};  // a configuration the run must not set
    };
    std::pair<int, int> written{-1, -1};
    auto fill = [&](const AcqConfig& a, FrameBuffers& b) {
        const std::pair<int, int> z = zeros(a);
        if (z == written) return;
        written = z;
        // Zeros first, ones up to Smpl_N, and zeros beyond that must not count.
        for (auto [buffer, n] : {std::pair{&b.D1_First, z.first}, std::pair{&b.D2_First, z.second}}) {
            std::fill(buffer->begin(), buffer->end(), 0);
            std::fill(buffer->begin() + n, buffer->begin() + 2000, 1);
        }
        b.filled = FrameCapacity;
    };
    // TDC readings are ignored in phase 2: 31 there must not fail it.
    Trace t = Run([](const AcqConfig& a, int) { return a.Mode_Flags == 0 ? 31 : 20; }, fill);

    ASSERT_EQ(t.frames(), 300);
    const std::vector<std::vector<int>> configs = {{0x02, 3, 0}, {0x12, 3, 0}, {0x06, 4, 0}, {0x16, 4, 0},
                                                   {0x00, 4, 2}, {0x00, 4, 1}, {0xC0, 4, 2}, {0xC0, 4, 1}};
    EXPECT_EQ(t.published, configs);
    for (int k = 0; k < 300; ++k) {
        EXPECT_EQ(t.progressBefore[k], k + 1) << k;
        const bool stepEnd = k < 200 ? k % 50 == 49 : (k - 200) % 25 == 24;
        EXPECT_EQ(t.steps[k], k == 299 ? CalStep::Done : stepEnd ? CalStep::Publish : CalStep::Wait) << k;
    }

    EXPECT_EQ(acq.Gen_Word_A, 2814749767ull);
    EXPECT_EQ(acq.Gen_Ampl, 2000);
    EXPECT_EQ(acq.Smpl_N, 2000);
    EXPECT_EQ(acq.Time_Div_ns, 100000u);
    EXPECT_EQ(acq.Decim, 49u);
    EXPECT_EQ(acq.Pre_N, 0u);
    EXPECT_EQ(acq.Post_N, 2000u);
    EXPECT_EQ(acq.Mode_Flags, 0);
    EXPECT_EQ(acq.Ch_Mask, 0x8C);

    const std::array<double, 8> want = {1.47, 1.43, 0.53, 0.56, 1.2, 1.214, 0.8, 0.786};
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(cal.Thresholds()[i], want[i], 1e-9) << i;
    EXPECT_EQ(cal.View().result, TdcValuesText({20, 20, 20, 20}, false) +
                                     "Uh = 1.47  1.43\r\nUh = 0.53  0.56\r\nUh = 1.20  1.21\r\nUh = 0.80  0.79\r\n");
    EXPECT_EQ(cal.View().progress, 300);
    EXPECT_EQ(cal.View().status, "Calibration OK.");
    EXPECT_TRUE(cal.Succeeded());
    ExpectInert();
}

// A caller's Smpl_N beyond the buffers counts no further than they reach.
TEST_F(TdcCalibrationTest, ThresholdCountStopsAtTheBuffers)
{
    cal.Show(s, 212, false, {});
    std::fill(buf.D1_First.begin(), buf.D1_First.end(), 0);
    buf.filled = FrameCapacity;
    Run([](const AcqConfig& a, int) { return a.Mode_Flags == 0 ? 0 : 20; },
        [](AcqConfig& a, FrameBuffers&) {
            if (a.Mode_Flags == 0) a.Smpl_N = FrameCapacity + 10000;
        });
    ASSERT_TRUE(cal.Succeeded());
    EXPECT_NEAR(cal.Thresholds()[0], FrameCapacity * 25 * 0.00004, 1e-9);  // 40 V
    EXPECT_EQ(cal.Thresholds()[1], 0.0);                                   // D2 holds no zero
}

TEST_F(TdcCalibrationTest, CancelEndsTheRunSilently)
{
    cal.Show(s, 212, false, {});
    const std::vector<int> cancelAt = {30, 230};  // in phase 1 and in phase 2
    for (int at : cancelAt) {
        SCOPED_TRACE(at);
        Run([&](const AcqConfig&, int k) {
            if (k == at) cal.Cancel();
            return 20;
        });
        EXPECT_FALSE(cal.Running());
        EXPECT_FALSE(cal.Succeeded());
        // No message, nothing reset: the dialog closes as it stands.
        EXPECT_EQ(cal.View().status, "Calibration, please wait...");
        EXPECT_EQ(cal.View().progress, at + 1);
        EXPECT_FALSE(cal.View().okEnabled);
        ExpectInert();
    }
}

}  // namespace
}  // namespace kr40
