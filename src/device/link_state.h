#pragma once
// What the acquisition thread and the user interface share about the link:
// request and status flags, failure flags, statistics counters and the
// instrument's identity. Every flag is atomic; the identity is read whole.

#include <array>
#include <atomic>
#include <cstdint>

#include "core/guarded.h"

namespace kr40 {

// Identity of the connected instrument as reported in its service packets.
struct DeviceIdentity {
    int FirmVer = -1;  // -1 = not yet reported
    int FpgaVer = -1;
    bool FpgaVerValid = false;
    int DeviceCode = -1;  // companion value of the FPGA version
    int Vcc = -1;         // supply voltage in 10 mV units
    bool SerialValid = false;
    std::uint32_t SerialHigh = 0;
    std::uint16_t SerialLow = 0;
    bool TdcFresh = false;
    std::array<std::uint8_t, 4> Tdc{};  // rise A1, fall A1, rise A2, fall A2
};

// Frequency-meter reading of the last service packet taken while running.
struct FreqMeterReading {
    std::uint8_t status = 0;
    std::uint32_t count = 0;
    std::uint32_t time = 0;  // gate or period time in 10 ns ticks
    std::int32_t timeCal = 0;
    std::uint32_t serial = 0;  // grows with every reading
};

// Per-second statistics: the worker counts, Timer1 copies and zeroes.
enum StatCounter : int {
    StatDisplayedFrames,
    StatMainPackets,
    StatServicePackets,
    StatChecksumFailures,
    StatLeakageBytes,
    StatDriverBytes,
    StatPeakQueue,
    StatCount
};

struct LinkCounters {
    std::array<std::atomic<std::uint32_t>, StatCount> current{};
    std::array<std::uint32_t, StatCount> lastSecond{};  // user-interface thread only
    std::atomic<std::uint32_t> configFailures{0};       // unacknowledged writes, never reset
    std::atomic<std::uint32_t> redraws{0};              // full hand-offs, never reset
    std::atomic<std::uint32_t> malformedFrames{0};      // main packets dropped as inconsistent
};

// Timer1's first step: copy each per-second counter and zero it.
void TakeSecondStatistics(LinkCounters& c);

struct LinkState {
    // Requests served by the acquisition thread.
    std::atomic<bool> ServiceRedrawRequest{false};
    std::atomic<bool> FpgaLoadRequest{false};
    std::atomic<bool> WaveTableRequest{false};
    std::atomic<bool> FmResetRequest{false};   // one-shot: bit 7 of FM_Src in the next packet
    std::atomic<bool> GenRunRequest{false};    // one-shot: bit 7 of Gen_Shape in the next packet
    std::atomic<bool> TdcWriteRequest{false};  // send the TDC block with the next settings packet
    Guarded<std::array<std::uint8_t, 4>> TdcToWrite;
    // The generator's program memory as the generator-file loader left it.
    Guarded<std::array<std::int32_t, 2048>> WaveTable;

    // Link status.
    std::atomic<bool> DeviceReady{false};
    std::atomic<bool> SettingsAcked{false};
    std::atomic<bool> ServiceSeen{false};
    std::atomic<bool> AckReceived{false};
    std::atomic<bool> StatusSeen{false};
    std::atomic<bool> WaveTableLoaded{false};
    std::atomic<std::uint8_t> SettingsSeq{0};  // last sequence number sent
    std::atomic<int> NoServiceSeconds{0};
    std::atomic<std::uint8_t> GenStatus{0};  // generator status bits of the last service packet

    // Failure flags, cleared by recovery.
    std::atomic<bool> NoAnswer{false};
    std::atomic<bool> DeviceFailure{false};
    std::atomic<bool> ErrorState{false};
    std::atomic<bool> FpgaFailure{false};

    // New-frame flags: measurements, frequency display, displayed-frames
    // counter, frame processing.
    std::atomic<bool> NewFrameMeasure{false}, NewFrameFreq{false}, NewFrameCount{false}, NewFrameProcess{false};
    std::atomic<bool> FromFile{false};         // the screen shows data loaded from a file
    std::atomic<bool> SingleShotEnded{false};  // the worker stopped a single shot; release Single
    // Frame-ready: set once a frame and its statistics are in the live set;
    // the calibration runs clear it and poll for it. The frame's TDC reading
    // (status 0x2E, low 5 bits) is written with the frame, under liveMutex.
    std::atomic<bool> FrameReady{false};
    std::atomic<std::uint8_t> TdcReading{0};

    Guarded<DeviceIdentity> identity;
    Guarded<FreqMeterReading> freqMeter;
    LinkCounters counters;
};

}  // namespace kr40
