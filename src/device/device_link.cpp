#include "device/device_link.h"

#include <algorithm>

#include "acquisition/frame.h"
#include "device/fpga_image.h"
#include "device/ftdi_api.h"

namespace kr40 {

namespace {

std::uint32_t LE32(const std::uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t LE16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

enum ServiceKind : std::uint8_t { KindError = 2, KindReady = 3, KindAck = 4 };
constexpr std::uint8_t FpgaValid = 0xA5;

}  // namespace

DeviceLink::DeviceLink(FtLink& link, LinkShared& st, FrameSet& live, RecorderStream& recorder, Sleeper sleep)
    : link_(link), st_(st), live_(live), recorder_(recorder), sleep_(std::move(sleep)), readBuffer_(ReadChunk)
{
    sent_ = st_.published.Get();
    receiver_.SetFrameShape(sent_.acq.Smpl_N, sent_.acq.Mode_Flags & 0x01);
}

bool DeviceLink::WriteAll(const std::uint8_t* data, std::size_t n)
{
    while (n > 0) {
        FT_DWORD written = 0;
        const FT_STATUS s = link_.Write(data, static_cast<FT_DWORD>(n), &written);
        if (s != FT_OK || written == 0 || written > n) return false;
        data += written;
        n -= written;
    }
    return true;
}

bool DeviceLink::WritePacket(const std::vector<std::uint8_t>& packet)
{
    const std::uint8_t lead = LeadByte;
    const std::vector<std::uint8_t> wire = NibbleEncode(packet);
    return WriteAll(&lead, 1) && WriteAll(wire.data(), wire.size());
}

bool DeviceLink::WaitFor(const std::atomic<bool>& flag)
{
    for (int i = 0; i < AckTries; ++i) {
        ReceiveBytes();
        if (flag) return true;
        sleep_(AckSleepMs);
    }
    return flag;
}

void DeviceLink::SendSettingsPacket()
{
    LinkState& ls = st_.link;
    sent_ = st_.published.Get();
    receiver_.SetFrameShape(sent_.acq.Smpl_N, sent_.acq.Mode_Flags & 0x01);

    SettingsPacketExtras x;
    x.seq = static_cast<std::uint8_t>(ls.SettingsSeq + 1);
    ls.SettingsSeq = x.seq;
    x.firmware = ls.identity.Get().FirmVer;
    x.trigChanged = st_.requests.TrigChanged.exchange(false);
    x.fmReset = ls.FmResetRequest.exchange(false);
    x.genRun = ls.GenRunRequest.exchange(false);
    if (ls.TdcWriteRequest.exchange(false)) {
        x.tdc = ls.TdcToWrite.Get();
        // The next service packet's values are the new ones.
        ls.identity.Update([](DeviceIdentity& id) { id.TdcFresh = false; });
    }

    ls.AckReceived = false;
    WritePacket(BuildHostPacket(SettingsBlocks(sent_.acq, x)));
    if (WaitFor(ls.AckReceived))
        ls.SettingsAcked = true;
    else
        ++ls.counters.configFailures;
}

void DeviceLink::SendWaveformTable()
{
    LinkState& ls = st_.link;
    const std::array<std::int32_t, WaveTableSize> table = ls.WaveTable.Get();
    for (int k = 0; k < WaveBlockCount; ++k) {
        ls.AckReceived = false;
        WritePacket(BuildHostPacket(WaveformBlock(k, table)));
        if (!WaitFor(ls.AckReceived)) {
            ++ls.counters.configFailures;
            ls.WaveTableLoaded = false;
            ls.DeviceFailure = true;
            return;
        }
    }
    ls.WaveTableLoaded = true;
}

void DeviceLink::LoadFpga()
{
    LinkState& ls = st_.link;
    ls.DeviceReady = false;
    const std::uint64_t totalBefore = servicesTotal_;
    // A failed write (an error, or a timeout that wrote nothing) ends the load
    // at once as a configuration failure, so that the recovery is offered.
    const auto failed = [&] {
        ls.DeviceFailure = true;
        st_.requests.RedrawRequest = true;
    };
    if (!WritePacket(BuildHostPacket(FpgaStartBlocks()))) return failed();
    sleep_(200);

    for (std::size_t at = 0; at < FpgaImage.size(); at += ImageChunk) {
        const std::size_t n = std::min(ImageChunk, FpgaImage.size() - at);
        const std::vector<std::uint8_t> wire = NibbleEncode(std::span(FpgaImage.data() + at, n));
        if (!WriteAll(wire.data(), wire.size())) return failed();
    }

    WaitFor(ls.DeviceReady);
    if (servicesTotal_ == totalBefore)
        ls.NoAnswer = true;
    else if (!ls.DeviceReady)
        ls.DeviceFailure = true;
    st_.requests.RedrawRequest = true;
}

void DeviceLink::ReceiveBytes()
{
    LinkCounters& c = st_.link.counters;
    FT_DWORD waiting = 0;
    if (link_.GetQueueStatus(&waiting) != FT_OK || waiting == 0) return;
    if (waiting > c.current[StatPeakQueue]) c.current[StatPeakQueue] = waiting;
    FT_DWORD got = 0;
    const FT_DWORD want = static_cast<FT_DWORD>(std::min<std::size_t>(waiting, ReadChunk));
    if (link_.Read(readBuffer_.data(), want, &got) != FT_OK) return;
    got = std::min<FT_DWORD>(got, want);
    c.current[StatDriverBytes] += got;
    receiver_.Feed(readBuffer_.data(), got, *this, c);
}

void DeviceLink::OnService(std::span<const std::uint8_t, ServiceLength> d)
{
    LinkState& ls = st_.link;
    ++ls.counters.current[StatServicePackets];
    ++servicesTotal_;
    ls.NoServiceSeconds = 0;
    ls.ServiceSeen = true;
    const std::uint8_t kind = d[1];
    if (kind == KindAck)
        ls.AckReceived = true;
    else
        ls.StatusSeen = true;
    if (kind == KindReady) ls.DeviceReady = true;

    const bool ready = ls.DeviceReady && ls.SettingsAcked;
    const bool valid = d[2] == FpgaValid;
    ls.identity.Update([&](DeviceIdentity& id) {
        id.FirmVer = d[0];
        id.SerialHigh = LE32(&d[17]);
        id.SerialLow = LE16(&d[21]);
        id.SerialValid = true;
        std::copy(&d[25], &d[29], id.Tdc.begin());
        id.TdcFresh = true;
        id.Vcc = LE16(&d[48]) * 660 / 1023;
        if (ready && valid) {
            id.FpgaVer = d[3];
            id.DeviceCode = LE16(&d[4]);
            id.FpgaVerValid = true;
        }
    });
    if (ready && valid) {
        if (st_.requests.Running) {
            const std::int32_t timeCal = sent_.settings.TimeCal;
            ls.freqMeter.Update([&](FreqMeterReading& f) {
                f.status = d[7];
                f.count = LE32(&d[8]);
                f.time = LE32(&d[12]);
                f.timeCal = timeCal;
                ++f.serial;
            });
        }
        ls.GenStatus = d[6];
    }
    if (ready) {
        if (kind == KindError) ls.ErrorState = true;
        if (!valid) ls.FpgaFailure = true;
    }
    ls.ServiceRedrawRequest = true;
}

void DeviceLink::OnMain(std::uint8_t type, std::span<const std::uint8_t> payload,
                        std::span<const std::uint8_t, StatusLength> status)
{
    LinkState& ls = st_.link;
    // Frames acquired with older settings, before the instrument spoke, or
    // after the acquisition stopped are dropped without a word.
    if (status[0x45] != ls.SettingsSeq || !ls.ServiceSeen || !st_.requests.Running) return;

    DecodeContext ctx;
    ctx.acq = &sent_.acq;
    ctx.A1_Zero = sent_.settings.A1_Zero;
    ctx.A2_Zero = sent_.settings.A2_Zero;
    ctx.Lev_A1 = sent_.settings.Lev_A1;
    ctx.Lev_A2 = sent_.settings.Lev_A2;
    ctx.F_Span = sent_.settings.F_Span;
    ctx.F_Val = sent_.settings.F_Val;
    const FreqMeterReading fm = ls.freqMeter.Get();
    ctx.FmStatus = fm.status;
    ctx.FmCount = static_cast<std::int32_t>(fm.count);
    ctx.FmTime = static_cast<std::int32_t>(fm.time);
    ctx.TimeBaseCal = fm.timeCal;
    ctx.tdc = ls.identity.Get().Tdc;
    DecodeResult decoded;
    {
        std::lock_guard lock(st_.liveMutex);
        decoded = DecodeFrame(type, payload, status, ctx, live_, recorder_);
        if (decoded == DecodeResult::Ok) ls.TdcReading = status[0x2E] & 0x1F;
    }
    if (decoded != DecodeResult::Ok) {
        ++ls.counters.malformedFrames;
        return;
    }

    ++ls.counters.current[StatMainPackets];
    ls.NewFrameMeasure = ls.NewFrameFreq = ls.NewFrameCount = ls.NewFrameProcess = true;
    ls.FrameReady = true;
    ls.FromFile = false;
    st_.requests.RedrawRequest = true;

    if (st_.requests.SingleShot && live_.rec.ValidLen == live_.rec.FrameLen) {
        // The single shot is complete: stop here and tell the instrument.
        st_.requests.SingleShot = false;
        st_.requests.Running = false;
        ls.SingleShotEnded = true;
        st_.published.Update([](PublishedConfig& p) { p.acq.Ch_Mask &= 0x7F; });
        st_.requests.SettingsRequest = true;
    }
}

}  // namespace kr40
