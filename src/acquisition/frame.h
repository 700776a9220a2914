#pragma once
// The program's frame: eight sample buffers and the 164-byte frame record,
// filled from one main packet by DecodeFrame. The program holds two frame
// sets, the live frame and the reference frame.

#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

#include "acquisition/acq_config.h"
#include "core/sample.h"

namespace kr40 {

static_assert(std::endian::native == std::endian::little,
              "FrameRecord is stored byte for byte and must be little-endian");

// Stored in data files byte for byte, so the layout is fixed.
struct FrameRecord {
    std::int32_t StatusWord;  // status bytes 0x42..0x43
    std::int32_t Divider;     // Decim echo + 1 (wraps to 0 for Decim 0xFFFFFFFF)
    std::int32_t uV_Div_A1;   // at decode time
    std::int32_t A1_Zero;     // at decode time
    std::int32_t uV_Div_A2;
    std::int32_t A2_Zero;
    std::int32_t FrameLen;        // positions (pre + post, halved in pair frames)
    std::int32_t PreLen;          // pre-trigger positions (halved in pair frames)
    std::int32_t ValidLen;        // positions 0..ValidLen-1 hold samples
    std::int32_t RingEnd;         // position after the newest sample
    std::int32_t RollFlag;        // status byte 0x1D bit 0
    std::int32_t PairFlag;        // 1: each position holds a pair of values (peak detect)
    std::int32_t TrigLevelCode;   // 0..255, analog trigger source only
    std::int32_t TrigSource;      // 0 none, 1 A1, 2 A2, 3 D1, 4 D2
    std::int32_t TrigFine10;      // fine trigger position, tenths of a position
    std::int32_t TrigFine10Copy;  // same value
    std::int32_t FineBase1;       // 0 in pair frames, else 5
    std::int32_t FineBase2;       // 0 in pair frames, else 5
    std::int32_t ChannelMask;     // channels in the payload: bit 0 A1, 1 A2, 2 D1, 3 D2
    std::uint32_t F_Span;         // at decode time
    std::uint32_t F_Val;          // at decode time
    std::int32_t FmStatus;        // frequency meter status byte
    std::int32_t FmCount;         // frequency meter edge count
    std::int32_t FmTime;          // frequency meter gate or period time, 10 ns ticks
    std::int32_t TimeBaseCal;     // time-base calibration value
    std::int32_t SumA1;           // sum over the valid positions of (first + second) / 2
    std::int32_t SumA2;
    std::int32_t PeakToPeakA1;  // codes, or -1 when clipped or empty
    std::int32_t PeakToPeakA2;
    std::int32_t TrigTimeLimit;               // T_Lo echo, or 0
    std::int32_t AdvTrigKind;                 // 1..4
    std::uint8_t TrigSourceCode;              // from the Acq_Flags echo: 1 A1, 2 A2, 3 D1, 4 D2
    std::uint8_t TrigState;                   // 0..3
    std::uint16_t EventCount;                 // status bytes 0x10..0x11
    std::uint16_t Status66;                   // status bytes 0x66..0x67
    std::uint16_t Status74;                   // status bytes 0x74..0x75
    std::array<std::int32_t, 4> Reserved132;  // spectrum fields, not touched by DecodeFrame
    std::uint32_t SumSqA1;                    // sum of squares about A1_Zero, halved (may exceed 2^31)
    std::uint32_t SumSqA2;
    std::uint32_t DecodedFrames;  // grows by one per decoded frame
    std::uint32_t Checksum;       // filled when the record is stored
};

static_assert(std::is_trivially_copyable_v<FrameRecord> && std::is_standard_layout_v<FrameRecord>);
static_assert(sizeof(FrameRecord) == 164);
static_assert(offsetof(FrameRecord, StatusWord) == 0);
static_assert(offsetof(FrameRecord, Divider) == 4);
static_assert(offsetof(FrameRecord, uV_Div_A1) == 8);
static_assert(offsetof(FrameRecord, A1_Zero) == 12);
static_assert(offsetof(FrameRecord, uV_Div_A2) == 16);
static_assert(offsetof(FrameRecord, A2_Zero) == 20);
static_assert(offsetof(FrameRecord, FrameLen) == 24);
static_assert(offsetof(FrameRecord, PreLen) == 28);
static_assert(offsetof(FrameRecord, ValidLen) == 32);
static_assert(offsetof(FrameRecord, RingEnd) == 36);
static_assert(offsetof(FrameRecord, RollFlag) == 40);
static_assert(offsetof(FrameRecord, PairFlag) == 44);
static_assert(offsetof(FrameRecord, TrigLevelCode) == 48);
static_assert(offsetof(FrameRecord, TrigSource) == 52);
static_assert(offsetof(FrameRecord, TrigFine10) == 56);
static_assert(offsetof(FrameRecord, TrigFine10Copy) == 60);
static_assert(offsetof(FrameRecord, FineBase1) == 64);
static_assert(offsetof(FrameRecord, FineBase2) == 68);
static_assert(offsetof(FrameRecord, ChannelMask) == 72);
static_assert(offsetof(FrameRecord, F_Span) == 76);
static_assert(offsetof(FrameRecord, F_Val) == 80);
static_assert(offsetof(FrameRecord, FmStatus) == 84);
static_assert(offsetof(FrameRecord, FmCount) == 88);
static_assert(offsetof(FrameRecord, FmTime) == 92);
static_assert(offsetof(FrameRecord, TimeBaseCal) == 96);
static_assert(offsetof(FrameRecord, SumA1) == 100);
static_assert(offsetof(FrameRecord, SumA2) == 104);
static_assert(offsetof(FrameRecord, PeakToPeakA1) == 108);
static_assert(offsetof(FrameRecord, PeakToPeakA2) == 112);
static_assert(offsetof(FrameRecord, TrigTimeLimit) == 116);
static_assert(offsetof(FrameRecord, AdvTrigKind) == 120);
static_assert(offsetof(FrameRecord, TrigSourceCode) == 124);
static_assert(offsetof(FrameRecord, TrigState) == 125);
static_assert(offsetof(FrameRecord, EventCount) == 126);
static_assert(offsetof(FrameRecord, Status66) == 128);
static_assert(offsetof(FrameRecord, Status74) == 130);
static_assert(offsetof(FrameRecord, Reserved132) == 132);
static_assert(offsetof(FrameRecord, SumSqA1) == 148);
static_assert(offsetof(FrameRecord, SumSqA2) == 152);
static_assert(offsetof(FrameRecord, DecodedFrames) == 156);
static_assert(offsetof(FrameRecord, Checksum) == 160);

inline constexpr int FrameCapacity = 40000;

// Channel numbers used by the buffer accessors.
enum FrameChannel : int { ChanA1 = 0, ChanA2 = 1, ChanD1 = 2, ChanD2 = 3 };

// Eight buffers of FrameCapacity entries: analog codes 0..254, digital bits
// 0/1, or MissingSample. In a normal frame both buffers of a channel hold the
// same value; in a pair frame the first buffer holds the first and the second
// buffer the second value of each pair. The vectors always keep FrameCapacity
// entries.
struct FrameBuffers {
    std::vector<std::int32_t> A1_First, A1_Second;
    std::vector<std::int32_t> A2_First, A2_Second;
    std::vector<std::int32_t> D1_First, D1_Second;
    std::vector<std::int32_t> D2_First, D2_Second;

    // Every entry at index >= filled is MissingSample in all eight buffers, so
    // a decoder only has to empty up to here. Code that stores samples other
    // than through DecodeFrame must raise it to cover what it wrote
    // (FrameCapacity is always correct).
    int filled = 0;

    FrameBuffers();    // all MissingSample
    void Clear();      // all MissingSample, every entry written
    void ClearUsed();  // all MissingSample, only [0, filled) written

    std::int32_t* First(int channel);
    std::int32_t* Second(int channel);
    const std::int32_t* First(int channel) const;
    const std::int32_t* Second(int channel) const;
};

struct FrameSet {
    FrameRecord rec{};
    FrameBuffers buf;
};

// A1 bytes collected for the recorder file between two flushes. `active` is
// set and cleared by the user-interface thread and read by the acquisition
// thread; `buffer` and `lastIndex` belong to the acquisition thread except
// during the screen hand-off.
struct RecorderStream {
    std::atomic<bool> active{false};
    std::vector<std::uint8_t> buffer;
    int lastIndex = -1;  // ring index taken last; -1 until the first ring frame

    RecorderStream() = default;
    // A copy is a snapshot of all three.
    RecorderStream(const RecorderStream& o) : active(o.active.load()), buffer(o.buffer), lastIndex(o.lastIndex) {}
    RecorderStream& operator=(const RecorderStream& o)
    {
        active = o.active.load();
        buffer = o.buffer;
        lastIndex = o.lastIndex;
        return *this;
    }
};

// Everything DecodeFrame reads besides the packet.
struct DecodeContext {
    const AcqConfig* acq = nullptr;  // Smpl_N, Pre_N, thresholds, Scroll, uV_Div_A1/A2
    int A1_Zero = 0, A2_Zero = 0;
    double Lev_A1 = 0, Lev_A2 = 0;
    std::uint32_t F_Span = 0, F_Val = 0;
    std::int32_t FmStatus = 0, FmCount = 0, FmTime = 0;
    std::int32_t TimeBaseCal = 0;
    std::array<std::uint8_t, 4> tdc{};  // rise A1, fall A1, rise A2, fall A2
};

enum class DecodeResult { Ok, Malformed };

// Decodes one main packet into `live` and, while recording, appends the new
// A1 bytes to `rec`. `typeByte` is the packet's type byte (channel bits 0-3),
// `payload` the raw sample bytes and `status` the decoded status block.
// Returns Malformed, with `live` and `rec` untouched, when the packet does not
// fit together (see the rules in frame.cpp).
DecodeResult DecodeFrame(std::uint8_t typeByte, std::span<const std::uint8_t> payload,
                         std::span<const std::uint8_t, 128> status, const DecodeContext& ctx, FrameSet& live,
                         RecorderStream& rec);

}  // namespace kr40
