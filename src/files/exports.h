#pragma once
// The frame as text and raw bytes for other programs: a tab-separated table of
// every channel, and the bytes of one channel with a short text beside them.
// These build the contents only; the caller asks for the names and writes the
// files (WriteFileWhole).

#include <filesystem>
#include <string>

#include "acquisition/frame.h"

namespace kr40 {

// True when the frame holds samples (ValidLen > 0) and the channel's bit is in
// the channel mask; channel -1 asks for any of the four channels.
bool HasExportData(const FrameRecord& r, int channel);

// The tab-separated table of every channel in the mask: header, column line
// and one line per position, every line ending in CR LF. Empty entries are
// written as stored (2147483647).
std::string TextExport(const FrameSet& f);

// The low bytes of one channel's values (first and second of each pair in a
// pair frame), ending before the first value above 254. Empty for a channel
// outside ChanA1..ChanD2.
std::string RawChannelBytes(const FrameSet& f, int channel);

// The text file that describes a raw file of `channel`: its name (without
// folder), time step, bytes per sample and, for A1 and A2, the voltage step
// and zero level.
std::string RawCompanionText(const FrameSet& f, int channel, const std::filesystem::path& binFile);

// Where that text goes: the raw file's name with the extension ".txt".
std::filesystem::path CompanionTextPath(const std::filesystem::path& binFile);

}  // namespace kr40
