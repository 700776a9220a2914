#pragma once
// The screen picture as a PNG or Windows bitmap file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace kr40 {

// A picture held as rows of 32-bit pixels 0xAARRGGBB in memory order of the
// machine (as QImage::Format_RGB32 holds them: constBits(), bytesPerLine()).
// The alpha byte is ignored.
struct PixelView {
    const std::uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;  // bytes from one row to the next, at least 4 * width
};

// An 8-bit RGB PNG file. Empty when the view holds no picture or the encoder
// fails.
std::string EncodePng(const PixelView& img);

// A 24-bit Windows bitmap file, rows bottom-up, each padded to 4 bytes. Empty
// when the view holds no picture or it would not fit the format.
std::string EncodeBmp(const PixelView& img);

// Writes the picture under `path` as a whole: a bitmap when the extension is
// ".bmp" in any case, a PNG otherwise, whatever the extension says. On failure
// nothing is left at `path`, *error (if not null) gets a short reason and false
// is returned.
bool WriteScreenImage(const std::filesystem::path& path, const PixelView& img, std::string* error);

}  // namespace kr40
