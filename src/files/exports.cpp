#include "files/exports.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "core/value_format.h"

namespace kr40 {
namespace {

constexpr const char* kNames[] = {"A1", "A2", "D1", "D2"};
constexpr const char* kEol = "\r\n";

// Positions to write. A record read from a damaged file may claim more than
// the buffers hold; the buffers bound it.
int Positions(const FrameRecord& r)
{
    return std::clamp(r.ValidLen, 0, FrameCapacity);
}

bool HasChannel(const FrameRecord& r, int channel)
{
    return (r.ChannelMask >> channel) & 1;
}

void AppendNumber(std::string& out, std::int64_t value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

// Divider is stored as a signed field but counts as unsigned: a divider
// above 2^31 must not come out as a negative time.
std::string TimeStepText(const FrameRecord& r)
{
    const double ns = static_cast<double>(static_cast<std::uint32_t>(r.Divider)) * 10.0;
    return FormatValue(ns, UnitKind::Time, -4);
}

std::string VoltageStepText(std::int32_t uvPerDiv)
{
    return FormatValue(uvPerDiv * 0.03125, UnitKind::Voltage, -4);
}

}  // namespace

bool HasExportData(const FrameRecord& r, int channel)
{
    if (r.ValidLen <= 0) return false;
    if (channel == -1) return (r.ChannelMask & 0xF) != 0;
    return channel >= ChanA1 && channel <= ChanD2 && HasChannel(r, channel);
}

std::string TextExport(const FrameSet& f)
{
    const FrameRecord& r = f.rec;
    const bool pairs = r.PairFlag != 0;
    std::string out;
    out += "Oscilloscope data. ";
    out += kEol;
    out += "Time step = " + TimeStepText(r) + kEol;
    if (HasChannel(r, ChanA1)) {
        out += "Voltage step A1 = " + VoltageStepText(r.uV_Div_A1) + kEol;
        out += "Zero level A1 = " + std::to_string(r.A1_Zero) + kEol;
    }
    if (HasChannel(r, ChanA2)) {
        out += "Voltage step A2 = " + VoltageStepText(r.uV_Div_A2) + kEol;
        out += "Zero level A2 = " + std::to_string(r.A2_Zero) + kEol;
    }
    out += kEol;

    int channels[4];
    int count = 0;
    out += "N";
    for (int ch = ChanA1; ch <= ChanD2; ++ch) {
        if (!HasChannel(r, ch)) continue;
        channels[count++] = ch;
        out += '\t';
        out += kNames[ch];
        if (pairs) out += "(min,max)";
    }
    out += kEol;
    out += kEol;

    const int n = Positions(r);
    // Roughly the widest line, so the text grows without copying.
    out.reserve(out.size() + static_cast<std::size_t>(n) * (8 + count * (pairs ? 8 : 4)));
    for (int i = 0; i < n; ++i) {
        AppendNumber(out, i);
        for (int k = 0; k < count; ++k) {
            out += '\t';
            AppendNumber(out, f.buf.First(channels[k])[i]);
            if (pairs) {
                out += ", ";
                AppendNumber(out, f.buf.Second(channels[k])[i]);
                out += '\t';
            }
        }
        out += kEol;
    }
    return out;
}

std::string RawChannelBytes(const FrameSet& f, int channel)
{
    std::string out;
    if (channel < ChanA1 || channel > ChanD2) return out;
    const bool pairs = f.rec.PairFlag != 0;
    const int n = Positions(f.rec);
    const std::int32_t* first = f.buf.First(channel);
    const std::int32_t* second = f.buf.Second(channel);
    out.reserve(static_cast<std::size_t>(n) * (pairs ? 2 : 1));
    for (int i = 0; i < n; ++i) {
        // The file ends at the first empty entry (or a 255, which the
        // instrument never sends as a sample).
        if (first[i] > 254) break;
        out += static_cast<char>(first[i] & 0xFF);
        if (pairs) {
            if (second[i] > 254) break;
            out += static_cast<char>(second[i] & 0xFF);
        }
    }
    return out;
}

std::string RawCompanionText(const FrameSet& f, int channel, const std::filesystem::path& binFile)
{
    const FrameRecord& r = f.rec;
    std::string out;
    out += "Oscilloscope binary file = " + binFile.filename().string() + kEol;
    out += "Time step = " + TimeStepText(r) + kEol;
    out += r.PairFlag != 0 ? "Peak detector on, bytes per sample = 2" : "Peak detector off, bytes per sample = 1";
    out += kEol;
    if (channel == ChanA1 || channel == ChanA2) {
        const bool a1 = channel == ChanA1;
        out += "Voltage step = " + VoltageStepText(a1 ? r.uV_Div_A1 : r.uV_Div_A2) + kEol;
        out += "Zero level = " + std::to_string(a1 ? r.A1_Zero : r.A2_Zero) + kEol;
        out += kEol;
    }
    return out;
}

std::filesystem::path CompanionTextPath(const std::filesystem::path& binFile)
{
    return std::filesystem::path(binFile).replace_extension(".txt");
}

}  // namespace kr40
