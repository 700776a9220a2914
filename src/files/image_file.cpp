#include "files/image_file.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <limits>
#include <vector>

#include "files/safe_file.h"

namespace kr40 {
namespace {

bool Usable(const PixelView& img)
{
    return img.bits != nullptr && img.width > 0 && img.height > 0 &&
           img.stride >= static_cast<std::ptrdiff_t>(img.width) * 4;
}

std::uint32_t PixelAt(const PixelView& img, int x, int y)
{
    std::uint32_t v;
    std::memcpy(&v, img.bits + y * img.stride + static_cast<std::ptrdiff_t>(x) * 4, sizeof v);
    return v;
}

// Where libpng's output goes. A failed append is remembered and turned into a
// libpng error outside the try block, so no exception crosses the C library.
struct PngSink {
    std::string bytes;
};

void PngWrite(png_structp png, png_bytep data, png_size_t length)
{
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    bool ok = true;
    try {
        sink->bytes.append(reinterpret_cast<const char*>(data), length);
    } catch (...) {
        ok = false;
    }
    if (!ok) png_error(png, "out of memory");
}

void PngFlush(png_structp) {}

// Errors end the encoding through the jump buffer; nothing is printed.
[[noreturn]] void PngFail(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void PngWarn(png_structp, png_const_charp) {}

// Kept apart from EncodePng so that nothing with a destructor lives between
// setjmp and a jump back to it (the row buffer and the sink belong to the
// caller).
bool EncodePngInto(const PixelView& img, PngSink& sink, std::vector<png_byte>& row)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFail, PngWarn);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &sink, PngWrite, PngFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(img.width), static_cast<png_uint_32>(img.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            const std::uint32_t v = PixelAt(img, x, y);
            row[3 * x] = static_cast<png_byte>(v >> 16);
            row[3 * x + 1] = static_cast<png_byte>(v >> 8);
            row[3 * x + 2] = static_cast<png_byte>(v);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

void PutLe16(std::string& out, std::size_t at, std::uint32_t v)
{
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void PutLe32(std::string& out, std::size_t at, std::uint32_t v)
{
    PutLe16(out, at, v & 0xFFFF);
    PutLe16(out, at + 2, v >> 16);
}

bool IsBmpName(const std::filesystem::path& path)
{
    std::string ext = path.extension().string();
    for (char& c : ext) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return ext == ".BMP";
}

}  // namespace

std::string EncodePng(const PixelView& img)
{
    if (!Usable(img)) return {};
    PngSink sink;
    std::vector<png_byte> row(static_cast<std::size_t>(img.width) * 3);
    if (!EncodePngInto(img, sink, row)) return {};
    return std::move(sink.bytes);
}

std::string EncodeBmp(const PixelView& img)
{
    if (!Usable(img)) return {};
    constexpr std::size_t kHeaderSize = 14 + 40;
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(img.width) * 3 + 3) / 4 * 4;
    const std::uint64_t imageBytes = rowBytes * static_cast<std::uint64_t>(img.height);
    if (kHeaderSize + imageBytes > std::numeric_limits<std::uint32_t>::max()) return {};

    std::string out(kHeaderSize + imageBytes, '\0');
    // File header.
    out[0] = 'B';
    out[1] = 'M';
    PutLe32(out, 2, static_cast<std::uint32_t>(out.size()));
    PutLe32(out, 10, kHeaderSize);
    // Info header: positive height for rows stored bottom-up, one plane,
    // 24 bits, no compression, 96 dpi.
    PutLe32(out, 14, 40);
    PutLe32(out, 18, static_cast<std::uint32_t>(img.width));
    PutLe32(out, 22, static_cast<std::uint32_t>(img.height));
    PutLe16(out, 26, 1);
    PutLe16(out, 28, 24);
    PutLe32(out, 34, static_cast<std::uint32_t>(imageBytes));
    PutLe32(out, 38, 3780);
    PutLe32(out, 42, 3780);

    for (int y = 0; y < img.height; ++y) {
        std::size_t at = kHeaderSize + static_cast<std::size_t>(img.height - 1 - y) * rowBytes;
        for (int x = 0; x < img.width; ++x) {
            const std::uint32_t v = PixelAt(img, x, y);
            out[at++] = static_cast<char>(v & 0xFF);
            out[at++] = static_cast<char>((v >> 8) & 0xFF);
            out[at++] = static_cast<char>((v >> 16) & 0xFF);
        }
    }
    return out;
}

bool WriteScreenImage(const std::filesystem::path& path, const PixelView& img, std::string* error)
{
    const std::string bytes = IsBmpName(path) ? EncodeBmp(img) : EncodePng(img);
    if (bytes.empty()) {
        if (error) *error = "the picture cannot be encoded";
        return false;
    }
    return WriteFileWhole(path, bytes, error);
}

}  // namespace kr40
