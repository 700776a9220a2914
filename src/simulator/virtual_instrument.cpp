#include "simulator/virtual_instrument.h"

#include <algorithm>
#include <utility>

#include "core/manual_reset_event.h"
#include "device/packets.h"

namespace kr40::sim {

namespace {
constexpr std::uint16_t kTdcCells = 0x8008;
constexpr std::uint16_t kFpgaControl = 0x81AA;
constexpr std::uint16_t kFmSrcCell = 0x30;     // frequency-meter source; bit 7 restarts the counter
constexpr std::uint16_t kGenShapeCell = 0x61;  // generator shape; bit 7 is the RUN request
constexpr std::uint8_t kGenStopped = 0x01, kGenWaiting = 0x02;
constexpr int kAfgMode = 6;
constexpr std::size_t kBacklog = 65536;  // produce no further frame while this much waits
}  // namespace

VirtualInstrument::VirtualInstrument(InstrumentOptions options)
    : options_(std::move(options)),
      signals_(options_.sources, options_.truth),
      builder_(options_.sources, options_.truth),
      start_(Clock::now()),
      toHost_(options_.bytesPerSecond, start_),
      fromHost_(options_.bytesPerSecond, start_)
{
    lastService_ = lastFrame_ = start_;
    thread_ = std::thread([this] { Run(); });
}

VirtualInstrument::~VirtualInstrument()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

std::uint64_t VirtualInstrument::NowTick(Clock::time_point now) const
{
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now - start_).count() / 10);
}

void VirtualInstrument::Run()
{
    std::unique_lock lock(mutex_);
    while (!stop_) {
        Tick(Clock::now());
        wake_.wait_for(lock, std::chrono::milliseconds(1));
    }
}

void VirtualInstrument::Tick(Clock::time_point now)
{
    if (FaultOn(Fault::Unplugged)) return;

    if (now - lastService_ >= std::chrono::milliseconds(options_.servicePeriodMs)) {
        lastService_ = now;
        ++servicePeriods_;
        if (!FaultOn(Fault::ServiceStopped)) QueueService(FaultOn(Fault::ErrorState) ? 2 : 1);
    }

    const bool running = (regs_.ChMask() & 0x80) && fpgaRunning_ && !FaultOn(Fault::FpgaLost);
    const std::uint64_t tick = NowTick(now);
    if (running && (!wasRunning_ || regs_.Seq() != lastSeq_)) {
        acqStartTick_ = tick;  // the ring starts again with new settings
        signalTick_ = std::max(signalTick_, tick);
    }
    wasRunning_ = running;
    lastSeq_ = regs_.Seq();

    const auto period = std::chrono::milliseconds(std::max<int>(1, regs_.MinPeriod()));
    if (running && now - lastFrame_ >= period && pending_.size() < kBacklog) {
        lastFrame_ = now;
        signalTick_ = std::max(signalTick_, tick);
        builder_.SetAfgRun(afgRun_);
        std::vector<std::uint8_t> packet = builder_.Acquire(regs_, signalTick_, acqStartTick_);
        if (!packet.empty()) {
            QueueOut(std::move(packet));
            ++framesSent_;
        }
    }
    Release(now);
}

void VirtualInstrument::QueueService(std::uint8_t kind)
{
    std::array<std::uint8_t, ServiceLength> d{};
    d[0] = static_cast<std::uint8_t>(options_.firmware);
    d[1] = kind;
    const bool valid = fpgaRunning_ && !FaultOn(Fault::FpgaLost);
    d[2] = valid ? 0xA5 : 0x00;
    d[3] = static_cast<std::uint8_t>(options_.fpgaVersion);
    d[4] = options_.deviceCode & 0xFF;
    d[5] = static_cast<std::uint8_t>(options_.deviceCode >> 8);
    const std::uint64_t now = NowTick(Clock::now());
    signals_.Configure(regs_);
    signals_.SetAfgRun(afgRun_);
    d[6] = GeneratorStatus(now);
    if (valid) {
        const FreqMeterResult fm = MeasureFrequency(regs_, signals_, now, counterFrom_, options_.timeBasePpm);
        d[7] = fm.status;
        for (int i = 0; i < 4; ++i) {
            d[8 + i] = static_cast<std::uint8_t>(fm.count >> (8 * i));
            d[12 + i] = static_cast<std::uint8_t>(fm.time >> (8 * i));
        }
    }
    for (int i = 0; i < 4; ++i) d[17 + i] = static_cast<std::uint8_t>(options_.serialHigh >> (8 * i));
    d[21] = options_.serialLow & 0xFF;
    d[22] = static_cast<std::uint8_t>(options_.serialLow >> 8);
    std::copy(options_.tdc.begin(), options_.tdc.end(), d.begin() + 25);
    const int code = options_.vcc * 1023 / 660 + (options_.vcc * 1023 % 660 ? 1 : 0);
    d[48] = code & 0xFF;
    d[49] = static_cast<std::uint8_t>(code >> 8);
    QueueOut(EncodeServicePacket(d));
}

std::uint8_t VirtualInstrument::GeneratorStatus(std::uint64_t tick)
{
    if (regs_.RangeA1() & 0x08) return kGenStopped;  // generator off
    if ((regs_.GenMode() & 0x0F) != kAfgMode) return 0;
    switch (signals_.Afg(tick)->state) {
        case AfgState::Stopped:
            return kGenStopped;
        case AfgState::Waiting:
            return kGenWaiting;
        case AfgState::Running:
            break;
    }
    return 0;
}

void VirtualInstrument::RunAfg(std::uint64_t tick)
{
    // Whether the program waits is a matter of the registers now in force.
    signals_.Configure(regs_);
    signals_.SetAfgRun(afgRun_);
    const std::optional<AfgSample> at = signals_.Afg(tick);
    if (at && at->state == AfgState::Waiting)
        afgRun_.resumes.push_back(tick);
    else
        afgRun_ = AfgRunTicks{tick, {}};
}

void VirtualInstrument::QueueOut(std::vector<std::uint8_t> bytes)
{
    if (FaultOn(Fault::StrayBytes)) {
        for (int i = 0; i < 3; ++i) {
            strayRng_ = strayRng_ * 1103515245u + 12345u;
            pending_.push_back(static_cast<std::uint8_t>((strayRng_ >> 16) % 0xFF));
        }
        bytesQueued_ += 3;
    }
    if (FaultOn(Fault::CorruptChecksums)) bytes.back() = static_cast<std::uint8_t>((bytes.back() + 1) % 0xFE);
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    bytesQueued_ += bytes.size();
}

void VirtualInstrument::Release(Clock::time_point now)
{
    const std::size_t n = toHost_.Release(now, pending_.size());
    if (n == 0) return;
    visible_.insert(visible_.end(), pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
    if (event_) event_->Set();
}

FT_STATUS VirtualInstrument::Write(const std::uint8_t* data, std::size_t n, std::size_t* written)
{
    *written = 0;
    if (fromHost_.Paced()) {
        // The call returns once the bytes have crossed the link, as the
        // bridge's does; the instrument runs on meanwhile.
        Clock::time_point done;
        {
            std::lock_guard lock(mutex_);
            if (FaultOn(Fault::Unplugged)) return FT_IO_ERROR;
            if (FaultOn(Fault::WriteStalls)) return FT_OK;
            done = fromHost_.WriteDone(Clock::now(), n);
        }
        std::this_thread::sleep_until(done);
    }
    std::lock_guard lock(mutex_);
    if (FaultOn(Fault::Unplugged)) return FT_IO_ERROR;
    if (FaultOn(Fault::WriteStalls)) return FT_OK;
    parser_.Feed(data, n, *this);
    *written = n;
    Release(Clock::now());
    return FT_OK;
}

FT_STATUS VirtualInstrument::Read(std::uint8_t* data, std::size_t n, std::size_t* got)
{
    std::lock_guard lock(mutex_);
    *got = 0;
    if (FaultOn(Fault::Unplugged)) return FT_IO_ERROR;
    const std::size_t k = std::min(n, visible_.size());
    std::copy_n(visible_.begin(), k, data);
    visible_.erase(visible_.begin(), visible_.begin() + static_cast<std::ptrdiff_t>(k));
    bytesTaken_ += k;
    *got = k;
    return FT_OK;
}

FT_STATUS VirtualInstrument::QueueStatus(std::size_t* waiting)
{
    std::lock_guard lock(mutex_);
    *waiting = 0;
    if (FaultOn(Fault::Unplugged)) return FT_IO_ERROR;
    Release(Clock::now());
    *waiting = visible_.size();
    return FT_OK;
}

void VirtualInstrument::Reset()
{
    std::lock_guard lock(mutex_);
    bytesTaken_ += pending_.size() + visible_.size();
    pending_.clear();
    visible_.clear();
}

void VirtualInstrument::SetEvent(ManualResetEvent* e)
{
    std::lock_guard lock(mutex_);
    event_ = e;
}

void VirtualInstrument::SetFault(Fault f, bool on)
{
    std::lock_guard lock(mutex_);
    faults_[static_cast<int>(f)] = on;
}

SimRegisters VirtualInstrument::Registers() const
{
    std::lock_guard lock(mutex_);
    return regs_;
}

void VirtualInstrument::OnBlock(std::uint16_t address, const std::uint8_t* data, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint16_t a = static_cast<std::uint16_t>(address + i);
        if ((a >> 8) == 0x7F && (a & 0xFF) < regs_.page.size()) {
            regs_.page[a & 0xFF] = data[i];
            if ((a & 0xFF) == kFmSrcCell && (data[i] & 0x80)) {
                counterFrom_ = NowTick(Clock::now());
                ++counterResets_;
            }
            if ((a & 0xFF) == kGenShapeCell && (data[i] & 0x80)) runRequest_ = NowTick(Clock::now());
        } else if (a < 2 * regs_.wave.size()) {
            afgRun_ = {};  // a new program: stopped until RUN
            std::uint16_t& w = regs_.wave[a / 2];
            w = (a % 2) ? static_cast<std::uint16_t>((w & 0x00FF) | data[i] << 8)
                        : static_cast<std::uint16_t>((w & 0xFF00) | data[i]);
        } else if (a >= kTdcCells && a < kTdcCells + 4) {
            options_.tdc[a - kTdcCells] = data[i];
        } else if (a == kFpgaControl && data[i] == 0x55) {
            fpgaRunning_ = false;  // a new configuration load begins
        }
    }
}

void VirtualInstrument::OnPacket()
{
    // The RUN request acts once the whole packet is in the registers.
    if (runRequest_) RunAfg(*std::exchange(runRequest_, std::nullopt));
    if (!FaultOn(Fault::NoAcknowledge) && !FaultOn(Fault::ServiceStopped)) QueueService(4);
}

void VirtualInstrument::OnImageComplete(bool valid)
{
    fpgaRunning_ = valid;
    if (valid && !FaultOn(Fault::ServiceStopped)) QueueService(3);
}

}  // namespace kr40::sim
