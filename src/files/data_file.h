#pragma once
// Waveform data files (".krd"): the bytes of a file holding the main frame,
// the spectra stored with it and optionally the reference frame, and the
// decoder that turns such bytes back into frames. No file access here; the
// window reads and writes whole files and shows the messages.
//
// Layout: the tag "KRD_KR40:" and a 0 byte; the main FrameRecord (164 bytes
// as held in memory, byte 135 cleared, checksum at 160); the samples of each
// channel of the record's mask in the order A1, A2, D1, D2, for i = 0..N-1
// (N = ValidLen) one byte of the first buffer and, with the pair flag, one of
// the second (255 and above, the empty marker too, as 0xFF); the A1 and A2
// spectra as F/2 little-endian single floats each; then optionally
// "KRD_KR40_BG:", a 0 byte, the reference record and its samples.
//
// The record is copied byte for byte: FrameRecord is trivially copyable with
// a fixed layout, and frame.h asserts a little-endian target.
//
// Record bytes 132..147 describe the spectra: 132 and 133 the A1 and A2
// present flags (0 or 1), 134 unused, 135 cleared on writing and outside the
// checksum, 136 the spectrum size F (points), 140 and 144 the A1 and A2
// accumulation counts. A channel's spectrum is stored only when its flag is
// 1 and its count is at least 2.
//
// Reading never trusts the file. A record is refused (BadRecord or
// BadReferenceRecord) when
//   - FrameLen lies outside 0..FrameCapacity, or ValidLen outside 0..FrameLen
//     (the samples stored must fit the frame they belong to);
//   - the pair flag is not 0 or 1;
//   - the channel mask has bits above bit 3;
//   - a spectrum flag is not 0 or 1, or a count is negative;
//   - a spectrum is stored (flag 1, count >= 2) and F is not a power of two
//     in 2..32768 (F is not looked at otherwise).
// Accepted records are brought into the ranges the screen and the analysis
// rely on: PreLen and RingEnd are clamped into 0..FrameLen (a trigger or a
// ring end outside the frame only moves a marker). Divider is taken as it is:
// a live frame can hold any value there (0 when the decimation echo wraps),
// and its readers already take any value without harm. Digital samples
// keep the byte stored (a file may hold values other than 0 and 1). Spectrum
// values that are not finite or negative (a power sum never is) read as 0.
//
// A file cut short inside the samples or the spectra is not an error: the
// loop in progress ends early and whatever follows finds no bytes (entries
// not read stay empty, a spectrum keeps the values read). A file that ends
// inside a record fails that record's checksum.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/frame.h"

namespace kr40 {

// The largest spectrum a file holds, in points.
inline constexpr int kDataFileMaxSpectrumPoints = 32768;

// The spectrum of one channel stored with a frame: the accumulation count and
// the power sums of F/2 bins. Decoded, `present` tells that values were
// stored (flag 1, count >= 2); a cut file may give fewer than F/2 of them.
struct StoredSpectrum {
    bool present = false;
    int count = 0;
    std::vector<double> values;
};

struct DataFileSpectra {
    int points = 0;                    // F; decoded, 0 unless a spectrum was stored
    std::array<StoredSpectrum, 2> ch;  // A1, A2
};

// The largest file the encoder writes: four channels of FrameCapacity pairs
// in both frames and two spectra of 32768 points. The decoder ignores bytes
// after what the records describe, so a reader may stop at this size.
inline constexpr std::size_t kDataFileMaxBytes = 10 + 164 + 4 * 2 * std::size_t{FrameCapacity} +
                                                 2 * 4 * std::size_t{kDataFileMaxSpectrumPoints / 2} + 13 + 164 +
                                                 4 * 2 * std::size_t{FrameCapacity};

// The bytes of a data file: the main frame with the spectra and, when `ref`
// is not null, the reference frame. The spectrum fields of the main record
// (bytes 132..147) are written from `spectra`: a flag of 1 for a present
// channel, F = spectra.points, the counts (negative ones as 0). A channel's
// values are stored when it is present with a count of at least 2; its
// values beyond those given are written as 0. When `spectra.points` is not a
// size a file can hold, no spectrum is stored and both flags are written 0.
// The reference record's bytes 132..147 are written as held. Samples are
// taken only from 0..FrameCapacity-1, whatever the record says.
std::string EncodeDataFile(const FrameSet& main, const DataFileSpectra& spectra, const FrameSet* ref);

enum class DataFileError {
    None,
    OldGeneration,       // the tag of the older file generation, "KRD:"
    InvalidFormat,       // any other tag
    BadRecord,           // the main record holds impossible counts
    MainCrc,             // the main record's checksum fails (or the record is cut)
    BadReferenceRecord,  // the reference record holds impossible counts
    ReferenceCrc,        // the reference record's checksum fails (or the record is cut)
};

struct DataFileContent {
    FrameSet main;
    DataFileSpectra spectra;
    bool hasReference = false;
    FrameSet reference;
};

// Decodes a data file into `out`; both frames (records and buffers) and the
// spectra are cleared first. The buffers are cleared only below their
// `filled` (see FrameBuffers), so a caller that stored samples in them must
// have raised it. On success the frames hold what the file holds and
// hasReference tells whether it had a reference part.
//
// On failure `out` holds cleared frames (and no reference), and the error
// tells what the program's own frames become: OldGeneration and
// InvalidFormat read nothing (its frames stay as they are); BadRecord and
// MainCrc empty its main frame; BadReferenceRecord and ReferenceCrc empty its
// main and reference frames.
DataFileError DecodeDataFile(std::string_view bytes, DataFileContent& out);

// The record checksum: the wrapping sum of the first 40 little-endian 32-bit
// words, with byte 135 taken as 0.
std::uint32_t RecordChecksum(const FrameRecord& r);

}  // namespace kr40
