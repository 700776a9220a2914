#include "device/device_link.h"

#include <gtest/gtest.h>

#include "acquisition/frame.h"
#include "device/fpga_image.h"
#include "device/supervision.h"
#include "simulator/sim_provider.h"
#include "state/compose.h"
#include "state/scope_state.h"
#include "support/device_stub.h"
#include "support/scripted_prompts.h"

namespace kr40 {
namespace {

using test::DeviceStub;

std::uint32_t Reg(const DeviceStub& d, int addr, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | d.memory[addr + i];
    return v;
}
std::uint64_t Reg48(const DeviceStub& d, int addr)
{
    return Reg(d, addr, 4) | static_cast<std::uint64_t>(Reg(d, addr + 4, 2)) << 32;
}

// A status block of a normal frame acquired with the given settings.
std::array<std::uint8_t, StatusLength> Status(std::uint8_t seq, std::uint16_t pre, std::uint16_t post,
                                              std::uint8_t chMask, std::uint16_t trigPos = 0)
{
    std::array<std::uint8_t, StatusLength> s{};
    s[0x08] = pre & 0xFF, s[0x09] = pre >> 8;
    s[0x0A] = post & 0xFF, s[0x0B] = post >> 8;
    s[0x1C] = chMask;
    s[0x2A] = trigPos & 0xFF, s[0x2B] = trigPos >> 8;
    s[0x45] = seq;
    return s;
}

class DeviceLinkTest : public ::testing::Test {
protected:
    ScopeState st;
    DeviceStub dev;
    FrameSet live;
    RecorderStream recorder;
    int sleeps = 0;
    DeviceLink link{dev, st, live, recorder, [this](int) { ++sleeps; }};

    // Connect: FPGA loaded, first settings acknowledged, acquisition running.
    void Connect()
    {
        link.LoadFpga();
        ASSERT_TRUE(st.link.DeviceReady);
        st.settings.Run_Down = true;
        ApplySettings(st);
        link.SendSettingsPacket();
        ASSERT_TRUE(st.link.SettingsAcked);
    }
    std::vector<std::uint8_t> MainPacket(std::uint8_t seq)
    {
        const int n = st.acq.Smpl_N;
        const std::uint8_t type = 0x8F;
        std::vector<std::uint8_t> payload(2 * n + 2 * (n / 4), 100);
        return EncodeMainPacket(type, payload, Status(seq, 0, static_cast<std::uint16_t>(n), 0x0F));
    }
};

TEST_F(DeviceLinkTest, SettingsPacketRoundTripsEveryRegister)
{
    ScopeSettings& s = st.settings;
    s.Run_Down = true;
    s.Sel(Group::TimeBase) = 20;
    s.Trig_On = s.TPLUS = s.Edge = s.Auto = true;
    s.Mode = 1;
    s.T_Mode = 1;
    s.Tmin = 123, s.Tmax = 456, s.Tmult = 1000;
    s.Lev_Mask = 0x9, s.Levels = 0x8;
    s.SchmittT_D2 = false;
    s.Sel(Group::Rate) = 6;
    s.Sel(Group::Fps) = 0;
    s.A2_ACDC = true;
    s.FFT_Dither = s.Debug_kr = true;
    // The generator as the panel composes it: 50 MHz FM carrier, modulated
    // from D2, inverted, with a triangle modulator.
    s.GenOn_Down = true;
    s.Sel(Group::GenRange) = Gen50M_100uS;
    s.Sel(Group::GenMode) = GenModMode;
    s.F_fast = 1000, s.F_slow = 999, s.Ampl = 1000;
    s.Mod_Type = 1, s.Mod_Src = 4, s.Inv = 1, s.MF_Shape = 4, s.Mod_Freq_Fast = 777, s.MF_Mult = 1000;
    s.Mod_Param = 999, s.DF_Mult = 10;
    s.A1_Zero = 191, s.A2_Zero = 63;
    ApplySettings(st);
    AcqConfig& a = st.acq;
    st.requests.TrigChanged = true;

    link.SendSettingsPacket();

    EXPECT_EQ(dev.packets, 1);
    EXPECT_EQ(dev.badPackets, 0);
    EXPECT_TRUE(st.link.SettingsAcked);
    EXPECT_FALSE(st.requests.TrigChanged);
    EXPECT_EQ(Reg(dev, 0x7F01, 1), a.Acq_Flags);
    EXPECT_EQ(Reg(dev, 0x7F02, 1), a.Mode_Flags);
    EXPECT_EQ(Reg(dev, 0x7F03, 1), a.TPlus_Flags | 0x80u);
    EXPECT_EQ(Reg(dev, 0x7F04, 4), a.Decim);
    EXPECT_EQ(Reg(dev, 0x7F08, 2), a.Pre_N & 0xFFFF);
    EXPECT_EQ(Reg(dev, 0x7F0A, 2), a.Post_N & 0xFFFF);
    EXPECT_EQ(Reg(dev, 0x7F0C, 1), a.Trig_Lo_A1);
    EXPECT_EQ(Reg(dev, 0x7F0D, 1), a.Trig_Hi_A1);
    EXPECT_EQ(Reg(dev, 0x7F0E, 1), a.Trig_Lo_A2);
    EXPECT_EQ(Reg(dev, 0x7F0F, 1), a.Trig_Hi_A2);
    EXPECT_EQ(Reg(dev, 0x7F10, 2), a.Trig_N & 0xFFFF);
    EXPECT_EQ(Reg(dev, 0x7F12, 1), a.Trig_Lev_Bits);
    EXPECT_EQ(Reg(dev, 0x7F13, 1), 0u);
    EXPECT_EQ(Reg(dev, 0x7F14, 4), a.T_Lo);
    EXPECT_EQ(Reg(dev, 0x7F18, 4), a.T_Hi);
    EXPECT_EQ(Reg(dev, 0x7F1C, 1), a.Ch_Mask);
    EXPECT_EQ(Reg(dev, 0x7F1D, 1), a.Roll_Flags);
    EXPECT_EQ(Reg(dev, 0x7F1E, 1), a.Rate_Code);
    EXPECT_EQ(Reg(dev, 0x7F30, 1), a.FM_Src);
    EXPECT_EQ(Reg(dev, 0x7F45, 1), 1u);  // the first sequence number
    EXPECT_EQ(Reg(dev, 0x7F46, 1), a.Range_A1);
    EXPECT_EQ(Reg(dev, 0x7F47, 1), a.Range_A2);
    EXPECT_EQ(Reg(dev, 0x7F48, 2), a.Zero_Cal_A1 & 0xFFFF);
    EXPECT_EQ(Reg(dev, 0x7F4A, 2), a.Zero_Cal_A2 & 0xFFFF);
    EXPECT_EQ(Reg(dev, 0x7F4C, 1), a.Min_Period_ms);
    EXPECT_EQ(Reg(dev, 0x7F60, 1), a.Gen_Mode);
    EXPECT_EQ(Reg(dev, 0x7F61, 1), a.Gen_Shape);
    EXPECT_EQ(Reg48(dev, 0x7F62), a.Gen_Word_A);
    EXPECT_EQ(Reg48(dev, 0x7F68), a.Gen_Word_B);
    EXPECT_EQ(Reg(dev, 0x7F6E, 2), a.Gen_Ampl);
    EXPECT_EQ(Reg48(dev, 0x7F70), a.Gen_Mod_Inc);
    EXPECT_EQ(Reg(dev, 0x7F76, 1), a.Gen_Zero_A1);
    EXPECT_EQ(Reg(dev, 0x7F77, 1), a.Gen_Zero_A2);
    // The values are not trivial: a wrong offset would show.
    EXPECT_NE(a.T_Hi, 0u);
    EXPECT_NE(a.Acq_Flags, 0u);
    EXPECT_NE(a.Range_A2 & 0x30, 0);
    EXPECT_EQ(a.Gen_Mode, 0xC3);
    EXPECT_EQ(a.Gen_Shape, 0x40);
    EXPECT_GT(a.Gen_Word_A, 1ull << 40);  // six bytes in use
    EXPECT_GT(a.Gen_Mod_Inc, 1ull << 40);
    EXPECT_GT(a.Gen_Word_B, 0xFFFFu);
    EXPECT_GT(a.Gen_Ampl, 0xFFu);

    // The one-shot bit goes once; the sequence number moves on.
    link.SendSettingsPacket();
    EXPECT_EQ(Reg(dev, 0x7F03, 1), a.TPlus_Flags);
    EXPECT_EQ(Reg(dev, 0x7F45, 1), 2u);
}

TEST_F(DeviceLinkTest, TdcBlockIsSentOnceAndClearsTheFreshValues)
{
    st.link.TdcToWrite.Set({13, 14, 15, 16});
    st.link.TdcWriteRequest = true;
    st.link.identity.Update([](DeviceIdentity& id) { id.TdcFresh = true; });
    dev.acknowledge = true;
    link.SendSettingsPacket();
    EXPECT_EQ(Reg(dev, 0x8008, 4), 0x100F0E0Du);
    EXPECT_FALSE(st.link.TdcWriteRequest);
    // The acknowledgement's own TDC values are the new fresh ones.
    EXPECT_TRUE(st.link.identity.Get().TdcFresh);
}

TEST_F(DeviceLinkTest, MissingAcknowledgementIsCounted)
{
    dev.acknowledge = false;
    link.SendSettingsPacket();
    EXPECT_FALSE(st.link.SettingsAcked);
    EXPECT_EQ(st.link.counters.configFailures, 1u);
    EXPECT_EQ(sleeps, DeviceLink::AckTries);
}

TEST_F(DeviceLinkTest, FpgaLoadOutcomes)
{
    link.LoadFpga();
    EXPECT_EQ(dev.imageBytes, FpgaImageSize);
    EXPECT_TRUE(st.link.DeviceReady);
    EXPECT_FALSE(st.link.NoAnswer);
    EXPECT_FALSE(st.link.DeviceFailure);
    EXPECT_TRUE(st.requests.RedrawRequest);

    // Acknowledged but never ready: configuration failure.
    DeviceStub quiet;
    ScopeState st2;
    DeviceLink link2(quiet, st2, live, recorder, [](int) {});
    quiet.answerReady = false;
    link2.LoadFpga();
    EXPECT_FALSE(st2.link.DeviceReady);
    EXPECT_TRUE(st2.link.DeviceFailure);
    EXPECT_FALSE(st2.link.NoAnswer);

    // Nothing at all comes back.
    DeviceStub mute;
    ScopeState st3;
    DeviceLink link3(mute, st3, live, recorder, [](int) {});
    mute.answerReady = mute.acknowledge = false;
    link3.LoadFpga();
    EXPECT_TRUE(st3.link.NoAnswer);
    EXPECT_FALSE(st3.link.DeviceFailure);
}

// An instrument whose writes fail after the first `goodWrites`: each later
// write returns `status` with nothing written (a timed-out write reports
// FT_OK and 0 bytes).
class StallingStub : public DeviceStub {
public:
    int goodWrites = 0;
    FT_STATUS status = FT_OK;
    int failedWrites = 0;

    FT_STATUS Write(const void* buffer, FT_DWORD n, FT_DWORD* written) override
    {
        if (goodWrites > 0) {
            --goodWrites;
            return DeviceStub::Write(buffer, n, written);
        }
        ++failedWrites;
        *written = 0;
        return status;
    }
};

// A failed write ends the load at once, without waiting for an answer, as a
// configuration failure: the supervision then offers the recovery.
TEST_F(DeviceLinkTest, FailedWriteDuringTheFpgaLoadOffersTheRecovery)
{
    struct Case {
        const char* name;
        int goodWrites;
        FT_STATUS status;
        int pauses;  // the one after the start packet
    };
    const Case cases[] = {
        {"start packet times out", 0, FT_OK, 0},
        {"start packet fails", 1, FT_IO_ERROR, 0},
        {"image times out", 40, FT_OK, 1},
        {"image fails", 40, FT_IO_ERROR, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StallingStub stalling;
        stalling.goodWrites = c.goodWrites;
        stalling.status = c.status;
        ScopeState state;
        int pauses = 0;
        DeviceLink loader(stalling, state, live, recorder, [&](int) { ++pauses; });
        loader.LoadFpga();
        EXPECT_EQ(stalling.failedWrites, 1);
        EXPECT_EQ(pauses, c.pauses);
        EXPECT_FALSE(state.link.DeviceReady);
        EXPECT_TRUE(state.link.DeviceFailure);
        EXPECT_FALSE(state.link.NoAnswer);
        EXPECT_TRUE(state.requests.RedrawRequest);

        state.BusyEvent.Reset();
        state.settings.Russian = false;
        sim::SimProvider provider;
        test::ScriptedPrompts prompts;
        prompts.answers = {PromptAnswer::No};
        EXPECT_EQ(Timer1Tick(state, state.settings, provider, prompts, OpenOptions{}, SupervisionHooks{}),
                  LinkFault::FpgaInitFailure);
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text, "Recover after FPGA configuration failure.\r\nError code 2");
    }
}

TEST_F(DeviceLinkTest, WaveformTableUpload)
{
    std::array<std::int32_t, WaveTableSize> table{};
    for (int i = 0; i < WaveTableSize; ++i) table[i] = 0x7FFF0000 | (i * 3);
    st.link.WaveTable.Set(table);
    link.SendWaveformTable();
    EXPECT_EQ(dev.packets, WaveBlockCount);
    EXPECT_TRUE(st.link.WaveTableLoaded);
    EXPECT_EQ(Reg(dev, 2 * 1000, 2), 3000u);
    EXPECT_EQ(Reg(dev, 2 * 2047, 2), (2047u * 3) & 0xFFFF);

    dev.acknowledge = false;
    link.SendWaveformTable();
    EXPECT_FALSE(st.link.WaveTableLoaded);
    EXPECT_TRUE(st.link.DeviceFailure);
    EXPECT_EQ(st.link.counters.configFailures, 1u);
    EXPECT_EQ(dev.packets, WaveBlockCount + 1);  // the upload stopped at the first block
}

TEST_F(DeviceLinkTest, ServicePacketsFillTheIdentity)
{
    dev.QueueService(1, 0x00);
    link.ReceiveBytes();
    DeviceIdentity id = st.link.identity.Get();
    EXPECT_TRUE(st.link.ServiceSeen);
    EXPECT_TRUE(st.link.StatusSeen);
    EXPECT_EQ(id.FirmVer, 213);
    EXPECT_EQ(id.Vcc, 784 * 660 / 1023);
    EXPECT_TRUE(id.TdcFresh);
    EXPECT_FALSE(id.FpgaVerValid);  // not ready yet
    EXPECT_FALSE(st.link.FpgaFailure);
    EXPECT_TRUE(st.link.ServiceRedrawRequest);

    Connect();
    dev.QueueService(2, 0x00);  // error state, FPGA data not valid
    link.ReceiveBytes();
    EXPECT_TRUE(st.link.ErrorState);
    EXPECT_TRUE(st.link.FpgaFailure);
    dev.QueueService(0);
    link.ReceiveBytes();
    id = st.link.identity.Get();
    EXPECT_TRUE(id.FpgaVerValid);
    EXPECT_EQ(id.FpgaVer, 7);
}

TEST_F(DeviceLinkTest, MainPacketsAreCheckedBeforeTheyAreDecoded)
{
    Connect();
    const std::uint8_t seq = st.link.SettingsSeq;
    dev.Queue(MainPacket(static_cast<std::uint8_t>(seq - 1)));  // older settings: dropped silently
    link.ReceiveBytes();
    EXPECT_EQ(st.link.counters.current[StatMainPackets], 0u);
    EXPECT_EQ(st.link.counters.malformedFrames, 0u);

    dev.Queue(MainPacket(seq));
    link.ReceiveBytes();
    EXPECT_EQ(st.link.counters.current[StatMainPackets], 1u);
    EXPECT_EQ(live.rec.ValidLen, st.acq.Smpl_N);
    EXPECT_EQ(live.buf.A1_First[0], 100);
    EXPECT_TRUE(st.link.NewFrameCount);
    EXPECT_TRUE(st.requests.RedrawRequest);

    // A status block whose counts do not fit the frame: dropped and counted.
    std::vector<std::uint8_t> payload(static_cast<std::size_t>(st.acq.Smpl_N), 1);
    dev.Queue(EncodeMainPacket(0x81, payload, Status(seq, 30000, 30000, 0x01)));
    link.ReceiveBytes();
    EXPECT_EQ(st.link.counters.malformedFrames, 1u);
    EXPECT_EQ(st.link.counters.current[StatMainPackets], 1u);

    // Stopped: frames are dropped.
    st.requests.Running = false;
    dev.Queue(MainPacket(seq));
    link.ReceiveBytes();
    EXPECT_EQ(st.link.counters.current[StatMainPackets], 1u);
}

TEST_F(DeviceLinkTest, SingleShotEndsAfterOneCompleteFrame)
{
    link.LoadFpga();
    st.settings.Sngl_Down = true;
    ApplySettings(st);
    link.SendSettingsPacket();
    st.requests.SettingsRequest = false;
    dev.Queue(MainPacket(st.link.SettingsSeq));
    link.ReceiveBytes();
    EXPECT_FALSE(st.requests.Running);
    EXPECT_FALSE(st.requests.SingleShot);
    EXPECT_TRUE(st.link.SingleShotEnded);
    EXPECT_TRUE(st.requests.SettingsRequest);
    EXPECT_EQ(st.published.Get().acq.Ch_Mask & 0x80, 0);
    // The next settings packet stops the instrument.
    link.SendSettingsPacket();
    EXPECT_EQ(Reg(dev, 0x7F1C, 1) & 0x80, 0u);
}

}  // namespace
}  // namespace kr40
