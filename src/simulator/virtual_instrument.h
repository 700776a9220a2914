#pragma once
// A virtual KR40 on its own thread: it reads the host's packets into its
// register memory, acknowledges them, takes the FPGA image and reports ready,
// sends service packets about 20 times a second and, while the acquisition
// runs, main packets no faster than the frame period the host asked for.
// The link can be paced like the 2 Mbaud cable in both directions; faults can
// be switched on for the recovery tests.
//
// The generator's arbitrary-waveform program: a settings packet with Gen_Shape
// bit 7 is a RUN request, taken at the tick the packet arrives. It resumes a
// program waiting at that tick and (re)starts it otherwise; a write into the
// waveform memory stops it until the next RUN. The service packet's byte 6
// reports the generator: bit 0 off or program stopped, bit 1 program waiting.
// The two signal models (frames, frequency meter) are used under the
// instrument's mutex only.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "device/ftdi_api.h"
#include "simulator/frame_builder.h"
#include "simulator/host_parser.h"
#include "simulator/instrument_truth.h"
#include "simulator/link_pacer.h"
#include "simulator/signals.h"
#include "simulator/sim_registers.h"

namespace kr40 {
class ManualResetEvent;
}

namespace kr40::sim {

struct InstrumentOptions {
    int firmware = 213;
    int fpgaVersion = 34;
    std::uint16_t deviceCode = 0x4B40;
    std::uint32_t serialHigh = 0x0000CAFE;
    std::uint16_t serialLow = 0x0040;
    // The TDC cells the host writes at 0x8008 and the service packets report:
    // what the program believes, not truth.tdcCounts.
    std::array<std::uint8_t, 4> tdc{20, 20, 20, 20};
    int vcc = 500;  // supply voltage in 10 mV units
    // The link's rate in both directions: frames to the host, and writes (the
    // FPGA image, packets), which return once their bytes have crossed.
    // 0: unthrottled; LinkBytesPerSecond is the 2 Mbaud cable.
    double bytesPerSecond = 0;
    int servicePeriodMs = 50;
    // How far the frequency meter's time base runs fast, in ppm: a small
    // error the program's calibration (Calibrate/Time, 0.2 ppm steps) trims out.
    double timeBasePpm = 3.0;
    SignalOptions sources;
    // What the instrument really is, for the service calibrations to find
    // (instrument_truth.h); the defaults match the program's default records.
    InstrumentTruth truth;
};

enum class Fault {
    Unplugged,         // queue status, reads and writes fail
    ServiceStopped,    // no service packets at all
    ErrorState,        // service packets report kind 2
    FpgaLost,          // byte 2 of the service packets is not 0xA5, no frames
    NoAcknowledge,     // host packets are not acknowledged
    CorruptChecksums,  // every packet leaves with a wrong checksum
    StrayBytes,        // bytes outside packets between packets
    WriteStalls,       // writes time out: success with nothing written
    Count
};

class VirtualInstrument : HostParser::Events {
public:
    explicit VirtualInstrument(InstrumentOptions options = {});
    ~VirtualInstrument() override;
    VirtualInstrument(const VirtualInstrument&) = delete;
    VirtualInstrument& operator=(const VirtualInstrument&) = delete;

    // The host side, called from the program's threads.
    FT_STATUS Write(const std::uint8_t* data, std::size_t n, std::size_t* written);
    FT_STATUS Read(std::uint8_t* data, std::size_t n, std::size_t* got);
    FT_STATUS QueueStatus(std::size_t* waiting);
    void Reset();  // drops what is queued for the host
    void SetEvent(ManualResetEvent* e);

    void SetFault(Fault f, bool on);
    bool FaultOn(Fault f) const { return faults_[static_cast<int>(f)]; }
    SimRegisters Registers() const;
    bool FpgaRunning() const { return fpgaRunning_; }
    std::uint64_t FramesSent() const { return framesSent_; }
    // For tests that wait on the link: service periods elapsed (whether or not
    // a packet went out), bytes queued for the host, and bytes that left the
    // queue (read by the host or dropped by Reset). All only grow.
    std::uint64_t ServicePeriods() const { return servicePeriods_; }
    std::uint64_t BytesQueued() const { return bytesQueued_; }
    std::uint64_t BytesTaken() const { return bytesTaken_; }
    // Settings packets that asked the frequency meter to restart its counter
    // (from the moment the packet arrives).
    std::uint64_t CounterResets() const { return counterResets_; }
    const InstrumentOptions& Options() const { return options_; }

private:
    using Clock = std::chrono::steady_clock;

    void Run();
    void Tick(Clock::time_point now);                  // under the lock
    void QueueService(std::uint8_t kind);              // under the lock
    void QueueOut(std::vector<std::uint8_t> bytes);    // under the lock
    void Release(Clock::time_point now);               // pacing: pending -> visible, under the lock
    void RunAfg(std::uint64_t tick);                   // a RUN request, under the lock
    std::uint8_t GeneratorStatus(std::uint64_t tick);  // service byte 6; signals_ configured, under the lock
    std::uint64_t NowTick(Clock::time_point now) const;

    // HostParser::Events
    void OnBlock(std::uint16_t address, const std::uint8_t* data, std::size_t n) override;
    void OnPacket() override;
    void OnBadPacket() override {}
    void OnImageComplete(bool valid) override;

    InstrumentOptions options_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    bool stop_ = false;

    HostParser parser_;
    SimRegisters regs_;
    SignalModel signals_;
    FrameBuilder builder_;
    std::array<std::atomic<bool>, static_cast<int>(Fault::Count)> faults_{};
    std::atomic<bool> fpgaRunning_{false};
    std::atomic<std::uint64_t> framesSent_{0};
    std::atomic<std::uint64_t> servicePeriods_{0}, bytesQueued_{0}, bytesTaken_{0}, counterResets_{0};
    bool readyPending_ = false;

    std::deque<std::uint8_t> pending_;  // produced, not yet through the link
    std::deque<std::uint8_t> visible_;  // what the host can read
    ManualResetEvent* event_ = nullptr;

    Clock::time_point start_;
    Clock::time_point lastService_, lastFrame_;
    LinkPacer toHost_, fromHost_;
    std::uint64_t signalTick_ = 0, acqStartTick_ = 0;
    std::uint64_t counterFrom_ = 0;            // the frequency meter's counter counts edges after this tick
    AfgRunTicks afgRun_;                       // the arbitrary-waveform program's RUN requests in force
    std::optional<std::uint64_t> runRequest_;  // a RUN request in the packet being read, and its tick
    std::uint8_t lastSeq_ = 0;
    bool wasRunning_ = false;
    std::uint32_t strayRng_ = 12345;
};

}  // namespace kr40::sim
