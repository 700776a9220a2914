#include "analysis/spectrum_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/spectrum.h"
#include "state/scope_state.h"
#include "support/label_scene.h"

namespace kr40 {
namespace {

using namespace test;  // the label scene

// The label scene with the A1 spectrum shown: 200 mV/div (L = -4.95 dBV, so
// the grid top is -5 dBV), Divider 10 (10 MHz sampling), a 4096-point
// transform whose peak lies at 0.2 of the Nyquist frequency (1 MHz).
class SpectrumTextFixture : public ::testing::Test {
protected:
    ScopeState st;
    FrameSet live, ref;
    Spectrum sp;
    DisplayInputs in{st.settings, st.acq, st, live, ref, false};

    void SetUp() override
    {
        SetUpLabelScene(st, live, ref);
        ScopeSettings& s = st.settings;
        s.FFT_View_A1 = true;
        s.FFT_View_A2 = false;
        s.FFT_Scale = 0;
        s.FFT_Zoom = 0;
        s.FFT_15dB_div = s.FFT_dbv_v = s.FFT_Ave_On = false;
        s.Measure = true;
        s.Markers_1 = s.Markers_2 = false;
        for (ChannelSpectrum& c : sp.ch) {
            c.status = FftNotRequested;
            c.frames = 1;
            c.log2n = 12;
        }
        ChannelSpectrum& a1 = sp.ch[0];
        a1.status = FftComputed;
        a1.peak = {true, -3.0103, 0.2, -5};
    }

    std::vector<std::string> Cell(int row, int column) const
    {
        std::vector<std::string> texts;
        for (const LabelText& l : SpectrumLabels(in, sp))
            if (l.row == row && l.column == column) texts.push_back(l.text);
        return texts;
    }
    using Texts = std::vector<std::string>;
};

using SpectrumLabelTest = SpectrumTextFixture;

TEST_F(SpectrumLabelTest, TopRowAndLeftEdge)
{
    EXPECT_DOUBLE_EQ(TopLevelDb(ReferenceLevelDb(0, 200'000)), -5);
    EXPECT_EQ(Cell(0, Col0), Texts{"-5 dBV"});
    EXPECT_EQ(Cell(0, Col2_8), Texts{"  A1"});
    EXPECT_EQ(Cell(0, Col3_8), Texts{"N 4096"});
    EXPECT_EQ(Cell(0, Col4_8), Texts{"span 5.00 MHz"});
    EXPECT_EQ(Cell(0, Col6_8), Texts{"10 dBV/Div"});
    EXPECT_EQ(Cell(1, Col0), Texts{"0.0000 mHz"});

    ScopeSettings& s = st.settings;
    s.FFT_Scale = 1;
    s.FFT_15dB_div = true;
    s.FFT_Zoom = 3;
    s.X_Pos = 512;  // a quarter of the 2048 bins
    // dBm in 50 ohm lies 13.01 dB above dBV: L = 8.06, the top 10.
    EXPECT_EQ(Cell(0, Col0), Texts{"10 dBm (50 ohm)"});
    EXPECT_EQ(Cell(0, Col4_8), Texts{"span 5.00 MHz:10"});
    EXPECT_EQ(Cell(0, Col6_8), Texts{"15 dBm/Div"});
    EXPECT_EQ(Cell(1, Col0), Texts{"1.2500 MHz"});

    // Without a divider the frequencies are unknown.
    live.rec.Divider = 0;
    EXPECT_EQ(Cell(0, Col4_8), Texts{"span ...:10"});
    EXPECT_EQ(Cell(1, Col0), Texts{"..."});
    EXPECT_EQ(Cell(3, Col2_8), (Texts{"Fp = ...", "Fp ="}));
}

TEST_F(SpectrumLabelTest, TopLevelIsTheNextStepAboveTheReference)
{
    const std::pair<double, int> cases[] = {{-4.95, -5},  {-5.5, -5},   {-10.6, -10}, {-15.5, -15}, {-200, -120},
                                            {114.4, 115}, {115.4, 115}, {115.5, 120}, {300, 120}};
    for (const auto& [level, top] : cases) EXPECT_EQ(TopLevelDb(level), top) << level;
}

TEST_F(SpectrumLabelTest, PeakRows)
{
    EXPECT_EQ(Cell(3, Col0), (Texts{"Vp = -3.01 dBV", "Vp ="}));
    EXPECT_EQ(Cell(3, Col2_8), (Texts{"Fp = 1.00000 MHz", "Fp ="}));
    EXPECT_TRUE(Cell(4, Col0).empty());  // A2 not computed

    ScopeSettings& s = st.settings;
    s.TDC_Clbr = true;
    EXPECT_EQ(Cell(3, Col0)[0], "Vp = -3.010 dBV");
    s.FFT_dbv_v = true;  // -3.01 dBV = 0.7071 V
    EXPECT_EQ(Cell(3, Col0)[0], "Vp = 707.1 mV");
    s.FFT_Scale = 2;  // volts only for dBV
    EXPECT_EQ(Cell(3, Col0)[0], "Vp = -3.010 dBm");

    sp.ch[0].peak.valid = false;
    EXPECT_EQ(Cell(3, Col0), (Texts{"Vp = ...", "Vp ="}));
    s.Measure = false;
    EXPECT_TRUE(Cell(3, Col0).empty());
    s.Measure = true;
    s.CH_A1 = false;
    EXPECT_TRUE(Cell(3, Col0).empty());
}

TEST_F(SpectrumLabelTest, AveragingAndPhase)
{
    ScopeSettings& s = st.settings;
    ChannelSpectrum& a1 = sp.ch[0];
    ChannelSpectrum& a2 = sp.ch[1];
    s.CH_A2 = true;
    a2.status = FftComputed;
    a2.peak = {true, -10, 0.2, -5};
    a1.phase = {true, 90};
    a2.phase = {true, -90};

    // Different strongest bins: both rows show the phase.
    sp.peaksCoincide = false;
    EXPECT_EQ(Cell(3, Col4_8), (Texts{"dPh = 90.00 Deg", "dPh = "}));
    EXPECT_EQ(Cell(4, Col4_8), (Texts{"dPh = -90.00 Deg", "dPh = "}));
    // The same strongest bin: only A2's row.
    sp.peaksCoincide = true;
    EXPECT_TRUE(Cell(3, Col4_8).empty());
    EXPECT_EQ(Cell(4, Col4_8)[0], "dPh = -90.00 Deg");
    a2.phase.valid = false;
    EXPECT_EQ(Cell(4, Col4_8)[0], "dPh = ...");
    // A1's phase needs A2 computed.
    sp.peaksCoincide = false;
    a2.status = FftTooFew;
    EXPECT_TRUE(Cell(3, Col4_8).empty());

    // Averaging on (or frames summed) shows the count instead.
    s.FFT_Ave_On = true;
    s.FFT_Ave = 3;
    a1.frames = 7;
    EXPECT_EQ(Cell(3, Col4_8), (Texts{"Av16 = 7", "Av16 = "}));
    s.FFT_Ave = 6;
    a1.frames = 300;
    EXPECT_EQ(Cell(3, Col4_8)[0], "Av Inf = 300");
    s.FFT_Ave_On = false;  // still summed from before
    EXPECT_EQ(Cell(3, Col4_8)[0], "Av Inf = 300");
}

TEST_F(SpectrumLabelTest, MarkerReadouts)
{
    ScopeSettings& s = st.settings;
    const auto texts = [&] {
        Texts t;
        for (const LabelText& l : SpectrumMarkerReadouts(in, sp)) t.push_back(l.text);
        return t;
    };
    EXPECT_TRUE(texts().empty());
    // One marker at 1/5 of the grid (100 of 500 units), 64 steps down: the
    // top -5 dBV less a quarter of 80 dB.
    s.Markers_1 = true;
    s.Marker_x = 100;
    s.Marker_y = 64;
    EXPECT_EQ(texts(), (Texts{"F = 1.0000 MHz", "F", "V = -25.00 dBV", "V ="}));
    s.FFT_Zoom = 1;  // 2x: the grid spans half the band
    s.X_Pos = 512;   // from 1.25 MHz on
    EXPECT_EQ(texts()[0], "F = 1.7500 MHz");

    s.Markers_1 = false;
    s.Markers_2 = true;
    s.FFT_Zoom = 0;
    s.X_Pos = 0;
    s.Marker1_x = 200;
    s.Marker2_x = 100;
    s.Marker1_y = 10;
    s.Marker2_y = 42;
    EXPECT_EQ(texts(), (Texts{"F1 = 1.0000 MHz", "F1", "F2 = 2.0000 MHz", "F2", "dF = 1.000 MHz", "dF",
                              "dV = 10.00 dBV", "dV ="}));
}

TEST_F(SpectrumLabelTest, BannerForAChannelThatCannotBeTransformed)
{
    ScopeSettings& s = st.settings;
    ChannelSpectrum& a1 = sp.ch[0];
    ChannelSpectrum& a2 = sp.ch[1];
    EXPECT_EQ(SpectrumBannerText(s, sp), std::nullopt);

    struct Case {
        int a1, a2;
        bool russian;
        const char* text;  // nullptr: no banner
    };
    const Case cases[] = {
        {FftNoSamples, FftNotRequested, false, "There are no A1 samples for FFT."},
        {FftNoSamples, FftNotRequested, true, "Отсутствуют отсчеты канала A1 "},
        {FftPeakDetect, FftNotRequested, false, "Sampling must be Normal for FFT."},
        {FftPeakDetect, FftNotRequested, true, "Выключите пиковый детектор."},
        {FftTooFew, FftNotRequested, false, "Unsufficient A1 samples for FFT."},
        {FftTooFew, FftNotRequested, true, "Недостаточно отсчетов канала A1 для БПФ."},
        // The shown channel fine: the other one's trouble.
        {FftComputed, FftTooFew, false, "Unsufficient A2 samples for FFT."},
        {FftNotRequested, FftNoSamples, false, "There are no A2 samples for FFT."},
        {FftComputed, FftComputed, false, nullptr},
    };
    for (const Case& c : cases) {
        a1.status = c.a1;
        a2.status = c.a2;
        s.Russian = c.russian;
        const std::optional<std::string> text = SpectrumBannerText(s, sp);
        if (c.text)
            EXPECT_EQ(text, std::string(c.text));
        else
            EXPECT_EQ(text, std::nullopt);
    }
    s.FFT_View_A1 = false;  // the time view has no banner
    a1.status = FftTooFew;
    EXPECT_EQ(SpectrumBannerText(s, sp), std::nullopt);
}

}  // namespace
}  // namespace kr40
