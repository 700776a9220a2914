#include "decoders/uart_decoder.h"

#include <algorithm>
#include <cstdio>

#include "acquisition/acq_config.h"
#include "acquisition/frame.h"
#include "acquisition/scope_settings.h"
#include "core/rounding.h"
#include "core/sample.h"
#include "trigger/trigger_encoding.h"

namespace kr40 {

namespace {

constexpr int kUnknown = -1;  // no level yet

// One line's samples and comparator window.
struct Line {
    const std::int32_t* a;  // first buffer
    const std::int32_t* b;  // second buffer
    std::int64_t n;         // valid entries
    double lo, hi;
    int inv;

    bool Valid(std::int64_t i) const { return i >= 0 && i < n; }

    // Level 0 / 1, 2 when the pair spans the window, else the previous level.
    int Level(std::int64_t i, int prev) const
    {
        if (b[i] < lo) return inv;
        if (a[i] >= hi) return 1 - inv;
        if (a[i] < lo && b[i] >= hi) return 2;
        return prev;
    }

    // The bit at index i (the pair's mean against the window's middle), or
    // kUnknown outside the valid samples.
    int Bit(std::int64_t i) const
    {
        if (!Valid(i)) return kUnknown;
        return static_cast<double>(a[i]) + static_cast<double>(b[i]) >= lo + hi ? 1 - inv : inv;
    }
};

// The first start edge at or after `from`: the index where the level leaves
// 1 for 2, or the index before a clean 0. -1 when the valid samples end.
std::int64_t FindStart(const Line& line, std::int64_t from)
{
    int prev = kUnknown;
    for (std::int64_t i = std::max<std::int64_t>(from, 0); i < line.n; ++i) {
        const int level = line.Level(i, prev);
        if (prev == 1 && level == 0) return i - 1;
        if (prev == 1 && level == 2) return i;
        prev = level;
    }
    return -1;
}

enum class Step { Char, FalseStart, End };

struct CharResult {
    Step step;
    DecodedChar c{};
    std::int64_t next = 0;  // where the next search starts
};

CharResult ReadChar(const Line& line, std::int64_t start, double spb, const UartFormat& f)
{
    auto at = [start](double pos) { return start + RoundHalfAway(pos); };

    double pos = 0.5 * spb;
    int bit = line.Bit(at(pos));
    if (bit == kUnknown) return {Step::End};
    if (bit != 0) return {Step::FalseStart, {}, at(pos)};

    std::uint32_t lsb = 0, msb = 0;
    int ones = 0;
    for (int k = 0; k < f.dataBits; ++k) {
        pos += spb;
        bit = line.Bit(at(pos));
        if (bit == kUnknown) break;  // the reads below lie beyond as well
        const auto u = static_cast<std::uint32_t>(bit);
        lsb = (lsb >> 1) | (u << 31);
        msb = (msb << 1) | u;
        ones += bit;
    }

    std::uint32_t flags = 0;
    if (f.parity != ParityNone) {
        pos += spb;
        bit = line.Bit(at(pos));
        if (bit == kUnknown) return {Step::End};
        if (f.parity == ParityOdd) ++ones;
        if ((f.parity == ParityEven || f.parity == ParityOdd) && bit != ones % 2) flags |= DecodedParityError;
    }

    for (int k = 0; k < f.stopBits; ++k) {
        pos += spb;
        bit = line.Bit(at(pos));
        if (bit == kUnknown) break;  // the end lies beyond too
        if (bit == 0) flags |= DecodedStopError;
    }

    pos += 0.5 * spb;
    const std::int64_t end = at(pos);
    if (!line.Valid(end)) return {Step::End};

    const std::uint32_t value = f.msbFirst ? msb : lsb >> (32 - f.dataBits);
    // Resume 0.2 bit before the middle of the last stop bit.
    return {Step::Char,
            {flags, value, static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end)},
            at(pos - 0.7 * spb)};
}

// Buffers and bit of the channel behind a decoder line source.
struct SourceInfo {
    int channel;  // FrameChannel
    int maskBit;  // FrameRecord::ChannelMask
    bool analog;
};

bool SourceOf(int source, SourceInfo& info)
{
    switch (source) {
        case 1:
            info = {ChanA1, 1, true};
            return true;
        case 2:
            info = {ChanD1, 4, false};
            return true;
        case 3:
            info = {ChanA2, 2, true};
            return true;
        case 4:
            info = {ChanD2, 8, false};
            return true;
        default:
            return false;
    }
}

struct Buffers {
    const std::vector<std::int32_t>* first;
    const std::vector<std::int32_t>* second;
};

Buffers BuffersOf(const FrameBuffers& b, int channel)
{
    switch (channel) {
        case ChanA1:
            return {&b.A1_First, &b.A1_Second};
        case ChanA2:
            return {&b.A2_First, &b.A2_Second};
        case ChanD1:
            return {&b.D1_First, &b.D1_Second};
        default:
            return {&b.D2_First, &b.D2_Second};
    }
}

bool Shown(const ScopeSettings& s, int channel)
{
    switch (channel) {
        case ChanA1:
            return s.CH_A1;
        case ChanA2:
            return s.CH_A2;
        case ChanD1:
            return s.CH_D1;
        default:
            return s.CH_D2;
    }
}

// A code of the current scale in the frame's scale. A scale of 0 (nothing
// composed, or a frame record without it) leaves the code as it is.
double ToFrameScale(int code, int zero, std::int32_t uvNow, int frameZero, std::int32_t uvFrame)
{
    if (uvNow <= 0 || uvFrame <= 0) return code;
    const double scaled = static_cast<double>(code - zero) * uvNow / uvFrame;
    return static_cast<double>(RoundHalfAway(scaled) + frameZero);
}

// Values per line and width of one value, by format and data bits.
struct TextLayout {
    int perLine, width;
};

TextLayout LayoutFor(int display, int dataBits)
{
    const int size = dataBits <= 8 ? 0 : dataBits <= 16 ? 1 : 2;
    static constexpr TextLayout kHex[3] = {{16, 2}, {8, 4}, {4, 8}};
    static constexpr TextLayout kDec[3] = {{8, 4}, {4, 6}, {2, 11}};
    if (display == 2) return {32, 1};
    return display == 1 ? kDec[size] : kHex[size];
}

void AppendTable(std::string& out, const char* name, std::span<const DecodedChar> t, int display, int dataBits,
                 bool russian)
{
    if (t.empty()) return;
    const auto errors = std::count_if(t.begin(), t.end(), [](const DecodedChar& c) { return c.Flags != 0; });
    char buf[64];
    std::snprintf(buf, sizeof buf,
                  russian ? " (Данных - %zu, ошибок - %td)\r\n\r\n" : " (Data - %zu, errors - %td)\r\n\r\n", t.size(),
                  errors);
    out += name;
    out += buf;

    const TextLayout layout = LayoutFor(display, dataBits);
    for (std::size_t i = 0; i < t.size(); ++i) {
        const std::size_t column = i % static_cast<std::size_t>(layout.perLine);
        if (column == 0) {
            if (i != 0) out += "\r\n";
            std::snprintf(buf, sizeof buf, "0x%03zX:  ", i);
            out += buf;
        } else if (display != 2) {
            out += ',';
        }
        const std::uint32_t v = t[i].Value;
        if (display == 2)
            out += v >= 32 && v <= 127 ? static_cast<char>(v) : '-';
        else if (display == 1)
            std::snprintf(buf, sizeof buf, "%*u", layout.width, static_cast<unsigned>(v)), out += buf;
        else
            std::snprintf(buf, sizeof buf, "%0*X", layout.width, static_cast<unsigned>(v)), out += buf;
    }
    out += "\r\n\r\n";
}

}  // namespace

DecodedTables::DecodedTables() : RxChars(DecodedTableSize), TxChars(DecodedTableSize) {}

int DecodeUart(std::span<const std::int32_t> first, std::span<const std::int32_t> second, int n, std::uint32_t divider,
               double lo, double hi, bool inv, const UartFormat& format, std::span<DecodedChar> out)
{
    std::int64_t valid =
        std::min<std::int64_t>({n, static_cast<std::int64_t>(first.size()), static_cast<std::int64_t>(second.size())});
    // The valid samples end at the first missing one.
    for (std::int64_t i = 0; i < valid; ++i) {
        if (first[static_cast<std::size_t>(i)] == MissingSample || second[static_cast<std::size_t>(i)] == MissingSample)
            valid = i;
    }
    if (divider == 0 || valid <= 0 || format.bitRate == 0) return 0;
    const double spb = 1e8 / divider / format.bitRate;
    if (spb < 4) return 0;

    UartFormat f = format;
    f.dataBits = std::clamp(f.dataBits, 2, 32);
    f.stopBits = std::clamp(f.stopBits, 1, 2);
    const Line line{first.data(), second.data(), valid, lo, hi, inv ? 1 : 0};
    const int cap = static_cast<int>(std::min<std::size_t>(out.size(), DecodedTableSize));

    int count = 0;
    std::int64_t from = 0;
    while (count < cap) {
        const std::int64_t start = FindStart(line, from);
        if (start < 0) break;
        const CharResult r = ReadChar(line, start, spb, f);
        if (r.step == Step::End) break;
        if (r.step == Step::Char) out[static_cast<std::size_t>(count++)] = r.c;
        from = r.next;
    }
    return count;
}

bool DecoderLineUsable(const ScopeSettings& s, const FrameSet& frame, int source)
{
    SourceInfo src{};
    return SourceOf(source, src) && Shown(s, src.channel) && (frame.rec.ChannelMask & src.maskBit) != 0;
}

LineThresholds DecoderLineThresholds(const ScopeSettings& s, const AcqConfig& acq, const FrameSet& frame, int source)
{
    SourceInfo src{};
    if (!SourceOf(source, src) || !src.analog) return {};
    // The trigger comparator's window, so the decoder sees the trigger's levels.
    AcqConfig window;
    EncodeTrigger(s, window);
    const FrameRecord& r = frame.rec;
    if (src.channel == ChanA1)
        return {ToFrameScale(window.Trig_Lo_A1, s.A1_Zero, acq.uV_Div_A1, r.A1_Zero, r.uV_Div_A1),
                ToFrameScale(window.Trig_Hi_A1, s.A1_Zero, acq.uV_Div_A1, r.A1_Zero, r.uV_Div_A1)};
    return {ToFrameScale(window.Trig_Lo_A2, s.A2_Zero, acq.uV_Div_A2, r.A2_Zero, r.uV_Div_A2),
            ToFrameScale(window.Trig_Hi_A2, s.A2_Zero, acq.uV_Div_A2, r.A2_Zero, r.uV_Div_A2)};
}

bool DecodeFrameSerial(const ScopeSettings& s, const AcqConfig& acq, const FrameSet& frame, DecodedTables& t)
{
    if (s.Dec_Type == 0 || frame.rec.FrameLen == 0) return false;
    t.RxCount = 0;
    t.TxCount = 0;
    if (s.Dec_Type != 1) return true;

    UartFormat f;
    f.bitRate = static_cast<std::uint32_t>(std::max(s.Dec_Baud_Rate, 0));
    f.dataBits = s.Dec_Data_Bits;
    f.parity = s.Dec_PRTY;
    f.stopBits = s.Dec_Stop_Bits;
    f.msbFirst = s.Dec_MSB_First != 0;

    auto decode = [&](int source, bool inv, std::vector<DecodedChar>& table) {
        SourceInfo src{};
        if (!DecoderLineUsable(s, frame, source) || !SourceOf(source, src)) return 0;
        const LineThresholds th = DecoderLineThresholds(s, acq, frame, source);
        const Buffers b = BuffersOf(frame.buf, src.channel);
        return DecodeUart(*b.first, *b.second, frame.rec.ValidLen, static_cast<std::uint32_t>(frame.rec.Divider), th.lo,
                          th.hi, inv, f, table);
    };
    t.RxCount = decode(s.Dec_RXD, s.Dec_RXD_Inv != 0, t.RxChars);
    t.TxCount = decode(s.Dec_TXD, s.Dec_TXD_Inv != 0, t.TxChars);
    return true;
}

void AppendDecoderText(const ScopeSettings& s, const DecodedTables& t, std::string& out)
{
    const int display = std::clamp(s.Dec_Display, 0, 2);
    AppendTable(out, "RXD", t.Rx(), display, s.Dec_Data_Bits, s.Russian);
    AppendTable(out, "TXD", t.Tx(), display, s.Dec_Data_Bits, s.Russian);
}

std::string DecoderText(const ScopeSettings& s, const DecodedTables& t)
{
    std::string text;
    AppendDecoderText(s, t, text);
    return text;
}

bool DecoderTextHolder::Set(std::string_view text)
{
    if (text == text_) return false;
    text_.assign(text);
    return true;
}

bool DecoderTextHolder::Update(const ScopeSettings& s, const DecodedTables& t)
{
    scratch_.clear();
    AppendDecoderText(s, t, scratch_);
    if (scratch_ == text_) return false;
    text_.swap(scratch_);
    return true;
}

}  // namespace kr40
