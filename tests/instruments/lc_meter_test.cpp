#include "instruments/lc_meter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "acquisition/acq_config.h"
#include "acquisition/scope_settings.h"
#include "instruments/zero_model.h"

namespace kr40 {
namespace {

TEST(LcMeterTest, ShowWritesTheMeasuringConfiguration)
{
    struct Case {
        bool dither, debug;
        std::uint8_t range;
    };
    const Case cases[] = {{false, false, 0x14}, {true, false, 0x14}, {false, true, 0x14}, {true, true, 0x34}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "dither " << c.dither << " debug " << c.debug);
        ScopeSettings s;
        s.FFT_Dither = c.dither;
        s.Debug_kr = c.debug;
        s.CH_A1 = false, s.CH_A2 = s.CH_D1 = s.CH_D2 = true;
        s.A1_Zero = 40;
        s.Z_A1P1 = 3400, s.Z_A1P2 = 700, s.Z_A1SH = 120;  // a calibrated A1
        AcqConfig acq;
        // Whatever the main window had set before.
        acq.Ch_Mask = 0x8F, acq.Smpl_N = 2000, acq.Time_Div_ns = 50, acq.Decim = 7, acq.Pre_N = 300, acq.Post_N = 9;
        acq.Acq_Flags = 0xFF, acq.Mode_Flags = 0xFF, acq.TPlus_Flags = 0x70, acq.Trig_Lev_Bits = 0x33;
        acq.Roll_Flags = 3, acq.Roll = acq.Scroll = acq.Pair_Mode = true;
        acq.uV_Div_A1 = 10'000'000, acq.Range_A1 = 0x0D;
        acq.Gen_Word_A = 5, acq.Gen_Shape = 3, acq.Gen_Mode = 7, acq.Gen_Ampl = 4;

        LcMeter m;
        m.Show(s, acq);
        EXPECT_TRUE(s.CH_A1);
        EXPECT_FALSE(s.CH_A2);
        EXPECT_FALSE(s.CH_D1);
        EXPECT_FALSE(s.CH_D2);
        EXPECT_EQ(s.A1_Zero, 127);
        EXPECT_EQ(acq.Smpl_N, 10000);
        EXPECT_EQ(acq.Time_Div_ns, 10'000'000u);
        EXPECT_EQ(acq.Decim, 999u);
        EXPECT_EQ(acq.Pre_N, 0u);
        EXPECT_EQ(acq.Post_N, 10000u);
        EXPECT_EQ(acq.Acq_Flags, 0);
        EXPECT_EQ(acq.Mode_Flags, 0);
        EXPECT_EQ(acq.TPlus_Flags, 0);
        EXPECT_EQ(acq.Trig_Lev_Bits, 0);
        EXPECT_EQ(acq.Ch_Mask, 0x81);
        EXPECT_EQ(acq.Roll_Flags, 0);
        EXPECT_FALSE(acq.Roll);
        EXPECT_FALSE(acq.Scroll);
        EXPECT_FALSE(acq.Pair_Mode);
        EXPECT_EQ(acq.uV_Div_A1, 200'000);
        EXPECT_EQ(acq.uV_Div_x1_A1, 200'000);
        // The offset for zero level 127, not the 40 the window had.
        ScopeSettings at127 = s;
        at127.A1_Zero = 127;
        EXPECT_EQ(acq.Zero_Cal_A1, OffsetDacCode(at127, 1, 200'000));
        at127.A1_Zero = 40;
        EXPECT_NE(acq.Zero_Cal_A1, OffsetDacCode(at127, 1, 200'000));
        EXPECT_EQ(acq.Range_A1, c.range);
        EXPECT_EQ(acq.Gen_Word_A, 28147498u);  // 10 Hz
        EXPECT_EQ(acq.Gen_Shape, 0);
        EXPECT_EQ(acq.Gen_Mode, 0);
        EXPECT_EQ(acq.Gen_Ampl, 1000);
    }
}

TEST(LcMeterTest, ShowTextsAndMemo)
{
    struct Case {
        bool russian;
        const char *caption, *calibrate, *start, *stop, *exit, *last;
    };
    const Case cases[] = {
        {false, "LC Meter", "Calibrate", "Start", "Stop", "Exit", "Measurement is not available in this version."},
        {true, "Измеритель LC", "Калибровка", "Старт", "Стоп", "Выход", "Измерение в этой версии недоступно."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.russian);
        ScopeSettings s;
        s.Russian = c.russian;
        AcqConfig acq;
        LcMeter m;
        m.Show(s, acq);
        const LcMeterView& v = m.View();
        EXPECT_EQ(v.caption, c.caption);
        EXPECT_EQ(v.calibrate, c.calibrate);
        EXPECT_EQ(v.start, c.start);
        EXPECT_EQ(v.stop, c.stop);
        EXPECT_EQ(v.exit, c.exit);
        const std::vector<std::string> memo = {
            "LC METER",
            "",
            "C RANGE     100 pF  .. 30000 uF",
            "ESR C RANGE 0.5 uF  .. 30000 uF",
            "ESR RANGE   50 mOhm .. 1 KOhm",
            "L RANGE     10 nH   .. 3 H",
            "",
            c.last,
        };
        EXPECT_EQ(v.memo, memo);
        EXPECT_EQ(v.labelZ, "...");
    }
}

// Buttons (calibrate, start, stop enabled) and flags after each step.
struct State {
    bool calibrate, start, stop;
    bool measuring, restart, calibrateRequested;
    bool operator==(const State&) const = default;
};

State Of(const LcMeter& m)
{
    const LcMeterView& v = m.View();
    return {v.calibrateEnabled, v.startEnabled,     v.stopEnabled,
            m.Measuring(),      m.RestartPending(), m.CalibrateRequested()};
}

void PrintTo(const State& s, std::ostream* os)
{
    *os << "buttons C" << s.calibrate << " S" << s.start << " P" << s.stop << " measuring " << s.measuring
        << " restart " << s.restart << " calibrateRequested " << s.calibrateRequested;
}

TEST(LcMeterTest, ButtonsStateMachine)
{
    ScopeSettings s;
    AcqConfig acq;
    LcMeter m;
    m.Show(s, acq);
    const State idle = {true, false, false, false, true, false};
    EXPECT_EQ(Of(m), idle);
    EXPECT_EQ(m.View().progress, 0);

    // Start and Stop alone: Start comes back.
    m.Start();
    EXPECT_EQ(Of(m), (State{false, false, true, true, true, false}));
    m.Stop();
    EXPECT_EQ(Of(m), (State{true, true, false, false, true, false}));
    m.Close();
    EXPECT_FALSE(m.Measuring());

    // Once Calibrate was pressed, Start stays disabled after Stop.
    m.Calibrate();
    EXPECT_EQ(Of(m), (State{false, false, true, true, true, true}));
    m.Stop();
    EXPECT_EQ(Of(m), (State{true, false, false, false, true, true}));
    m.Calibrate();
    m.Stop();
    EXPECT_EQ(Of(m), (State{true, false, false, false, true, true}));

    // Closing clears the measuring flag.
    m.Calibrate();
    m.Close();
    EXPECT_FALSE(m.Measuring());

    // A new showing forgets the calibration request.
    m.Show(s, acq);
    EXPECT_EQ(Of(m), idle);
    m.Start();
    m.Stop();
    EXPECT_TRUE(m.View().startEnabled);
}

TEST(LcMeterTest, CalibrationTableResets)
{
    LcMeter m;
    for (const LcComplex& f : m.Factors()) EXPECT_EQ(f.re, 1);  // before any showing
    ScopeSettings s;
    AcqConfig acq;
    m.Show(s, acq);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(m.Offsets()[i].re, 0);
        EXPECT_EQ(m.Offsets()[i].im, 0);
        EXPECT_EQ(m.Factors()[i].re, 1);
        EXPECT_EQ(m.Factors()[i].im, 0);
    }
}

TEST(LcMeterTest, ComplexArithmetic)
{
    LcComplex a{1, 2};
    a *= LcComplex{3, 4};
    EXPECT_EQ(a.re, -5);
    EXPECT_EQ(a.im, 10);
    // The product uses the old real part for the imaginary one.
    LcComplex b{2, -3};
    b *= b;
    EXPECT_EQ(b.re, -5);
    EXPECT_EQ(b.im, -12);
    LcComplex c{1.5, -2};
    LcComplex& r = c -= LcComplex{0.5, 3};
    EXPECT_EQ(&r, &c);
    EXPECT_EQ(c.re, 1);
    EXPECT_EQ(c.im, -5);
}

}  // namespace
}  // namespace kr40
