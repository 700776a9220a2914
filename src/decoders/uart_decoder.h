#pragma once
// The asynchronous serial (RS232 / UART) decoder: characters of the receive
// and transmit lines found in the samples of one frame, their tables, and the
// text of the decoder dialog's window.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kr40 {

struct ScopeSettings;
struct AcqConfig;
struct FrameSet;

enum DecodedFlag : std::uint32_t {
    DecodedParityError = 1u,  // the parity bit did not match
    DecodedStopError = 2u,    // a stop bit read 0 (framing error)
};

// One character; 16 bytes, fields in this order.
struct DecodedChar {
    std::uint32_t Flags;  // DecodedFlag bits
    std::uint32_t Value;  // the assembled data bits
    std::uint32_t Start;  // sample index where the start bit begins
    std::uint32_t End;    // sample index where the last stop bit ends
};
static_assert(sizeof(DecodedChar) == 16);
static_assert(offsetof(DecodedChar, Flags) == 0 && offsetof(DecodedChar, Value) == 4 &&
              offsetof(DecodedChar, Start) == 8 && offsetof(DecodedChar, End) == 12);

inline constexpr int DecodedTableSize = 1000;  // characters kept per line and frame

// The characters of the last decoded frame. The two tables are allocated once
// and rebuilt for every frame; only the first RxCount / TxCount entries hold
// records.
struct DecodedTables {
    std::vector<DecodedChar> RxChars, TxChars;  // DecodedTableSize entries each
    int RxCount = 0, TxCount = 0;

    DecodedTables();
    std::span<const DecodedChar> Rx() const { return {RxChars.data(), static_cast<std::size_t>(RxCount)}; }
    std::span<const DecodedChar> Tx() const { return {TxChars.data(), static_cast<std::size_t>(TxCount)}; }
};

enum UartParity : int { ParityNone = 0, ParityEven = 1, ParityOdd = 2, ParityIgnore = 3 };

struct UartFormat {
    std::uint32_t bitRate = 0;  // bit/s
    int dataBits = 8;           // 2..32 (clamped)
    int parity = ParityNone;    // UartParity
    int stopBits = 1;           // 1..2 (clamped)
    bool msbFirst = false;
};

// Decodes one line from a channel's two sample buffers (equal in a normal
// frame, the two values of each pair in a peak-detect frame) into `out` and
// returns the number of records (at most DecodedTableSize and out.size()).
// The sample period is divider × 10 ns. A sample pair is high at or above
// `hi`, low below `lo` and keeps the previous level in between; a bit is read
// as the pair's sum against lo + hi. `inv` swaps high and low. Only the first
// n entries are read (never more than the buffers hold), and a MissingSample
// entry ends the valid samples as well. Characters whose last stop bit ends
// past the valid samples are not listed.
int DecodeUart(std::span<const std::int32_t> first, std::span<const std::int32_t> second, int n, std::uint32_t divider,
               double lo, double hi, bool inv, const UartFormat& format, std::span<DecodedChar> out);

// The comparator window of a line, in the sample codes of a frame.
struct LineThresholds {
    double lo = 0.5, hi = 0.5;
};

// The thresholds of a decoder line source (Dec_RXD coding: 1 A1, 2 D1, 3 A2,
// 4 D2). Analog channels use the trigger comparator window of the current
// settings, moved from the current scale (the settings' zero, acq's µV/div)
// to the scale the frame was taken at; digital lines 0.5 / 0.5.
LineThresholds DecoderLineThresholds(const ScopeSettings& s, const AcqConfig& acq, const FrameSet& frame, int source);

// A decoder line source that is selected, shown and carried by the frame.
bool DecoderLineUsable(const ScopeSettings& s, const FrameSet& frame, int source);

// Rebuilds both tables for one frame (the frame render pass). Returns false
// and leaves the tables alone when Dec_Type is 0 or the frame is empty;
// otherwise both counts start at 0 and Type 1 decodes every usable line
// (Dec_RXD into RxChars, Dec_TXD into TxChars). Other types decode nothing.
bool DecodeFrameSerial(const ScopeSettings& s, const AcqConfig& acq, const FrameSet& frame, DecodedTables& t);

// The text of the decoder window for the tables: per non-empty table a
// header, the values in lines of "0x" + first index + ":  " + values, and an
// empty line; "\r\n" line ends. Empty when both tables are empty.
std::string DecoderText(const ScopeSettings& s, const DecodedTables& t);
void AppendDecoderText(const ScopeSettings& s, const DecodedTables& t, std::string& out);

// What the decoder window shows. The text is replaced only when it differs,
// so an unchanged table does not repaint (no flicker).
class DecoderTextHolder {
public:
    const std::string& Text() const { return text_; }
    // Sets the text; true when it changed.
    bool Set(std::string_view text);
    // Rebuilds the text from the tables (no allocation once the buffers
    // have grown); true when it changed.
    bool Update(const ScopeSettings& s, const DecodedTables& t);
    bool Clear() { return Set({}); }

private:
    std::string text_, scratch_;
};

}  // namespace kr40
