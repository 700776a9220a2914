// The screen picture as PNG and as a Windows bitmap: headers, every pixel, and
// the choice of format by the file name.

#include "files/image_file.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <vector>

#include "support/temp_dir.h"

namespace kr40 {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// A 3x2 picture of distinct colours in 0xAARRGGBB words, rows of 16 bytes
// (one unused pixel, filled with a colour that must not show up). The alpha
// bytes vary and must be ignored.
class Picture {
public:
    static constexpr int kWidth = 3, kHeight = 2, kStride = 16;
    static constexpr std::uint32_t kColours[kHeight][kWidth] = {
        {0xFF102030, 0x00FF0000, 0x8000FF00},
        {0xFF0000FF, 0x12FFFFFF, 0xFF010203},
    };

    Picture() : bytes_(kStride * kHeight)
    {
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < 4; ++x) {
                const std::uint32_t v = x < kWidth ? kColours[y][x] : 0xFFABCDEF;
                std::memcpy(&bytes_[y * kStride + x * 4], &v, 4);
            }
        }
    }
    PixelView view() const { return {bytes_.data(), kWidth, kHeight, kStride}; }

private:
    std::vector<std::uint8_t> bytes_;
};

std::uint32_t Be32(const std::string& s, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<std::uint8_t>(s[at + i]);
    return v;
}

std::uint32_t Le32(const std::string& s, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(s[at + i]);
    return v;
}

std::uint16_t Le16(const std::string& s, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(s[at]) | static_cast<std::uint8_t>(s[at + 1]) << 8);
}

const std::string kPngSignature("\x89PNG\r\n\x1a\n", 8);

TEST(ImageFileTest, PngIsEightBitRgbAndDecodesToTheSamePixels)
{
    const Picture pic;
    const std::string png = EncodePng(pic.view());
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(0, 8), kPngSignature);
    EXPECT_EQ(Be32(png, 8), 13u);
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(Be32(png, 16), 3u);
    EXPECT_EQ(Be32(png, 20), 2u);
    EXPECT_EQ(static_cast<int>(png[24]), 8);  // bit depth
    EXPECT_EQ(static_cast<int>(png[25]), PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(static_cast<int>(png[28]), PNG_INTERLACE_NONE);
    EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size())) << image.message;
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << image.message;
    ASSERT_EQ(image.width, 3u);
    ASSERT_EQ(image.height, 2u);
    for (int y = 0; y < Picture::kHeight; ++y) {
        for (int x = 0; x < Picture::kWidth; ++x) {
            const std::uint32_t v = Picture::kColours[y][x];
            const std::uint8_t* p = &rgb[(y * Picture::kWidth + x) * 3];
            EXPECT_EQ(p[0], (v >> 16) & 0xFF) << x << "," << y;
            EXPECT_EQ(p[1], (v >> 8) & 0xFF) << x << "," << y;
            EXPECT_EQ(p[2], v & 0xFF) << x << "," << y;
        }
    }
}

TEST(ImageFileTest, BmpHeaderAndPaddedBottomUpRows)
{
    const Picture pic;
    const std::string bmp = EncodeBmp(pic.view());
    // Rows of 3 pixels take 9 bytes, padded to 12.
    ASSERT_EQ(bmp.size(), 54u + 2 * 12);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(Le32(bmp, 2), bmp.size());
    EXPECT_EQ(Le32(bmp, 6), 0u);
    EXPECT_EQ(Le32(bmp, 10), 54u);
    EXPECT_EQ(Le32(bmp, 14), 40u);
    EXPECT_EQ(Le32(bmp, 18), 3u);
    EXPECT_EQ(Le32(bmp, 22), 2u);  // positive: bottom-up
    EXPECT_EQ(Le16(bmp, 26), 1u);
    EXPECT_EQ(Le16(bmp, 28), 24u);
    EXPECT_EQ(Le32(bmp, 30), 0u);  // no compression
    EXPECT_EQ(Le32(bmp, 34), 24u);
    EXPECT_EQ(Le32(bmp, 46), 0u);  // no palette
    const std::string pixels(
        // The bottom row first, blue-green-red, then the padding.
        "\xFF\x00\x00"
        "\xFF\xFF\xFF"
        "\x03\x02\x01"
        "\x00\x00\x00"
        "\x30\x20\x10"
        "\x00\x00\xFF"
        "\x00\xFF\x00"
        "\x00\x00\x00",
        24);
    EXPECT_EQ(bmp.substr(54), pixels);
}

TEST(ImageFileTest, NoPictureGivesNoContent)
{
    const std::uint8_t pixel[4] = {};
    const PixelView views[] = {
        {nullptr, 1, 1, 4}, {pixel, 0, 1, 4}, {pixel, 1, 0, 4}, {pixel, 2, 1, 4},  // stride shorter than a row
    };
    for (const PixelView& v : views) {
        EXPECT_EQ(EncodePng(v), "");
        EXPECT_EQ(EncodeBmp(v), "");
    }
    TempDir dir;
    std::string error;
    EXPECT_FALSE(WriteScreenImage(dir / "empty.png", views[1], &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(dir / "empty.png"));
}

TEST(ImageFileTest, OnlyABmpExtensionGivesABitmap)
{
    const Picture pic;
    const std::string bmp = EncodeBmp(pic.view());
    const std::string png = EncodePng(pic.view());
    const std::pair<const char*, bool> cases[] = {
        {"a.bmp", true},  {"b.BMP", true}, {"c.Bmp", true},      {"d.png", false},
        {"e.jpg", false}, {"f", false},    {"g.bmp.png", false}, {"h.png.bmp", true},
    };
    TempDir dir;
    for (const auto& [name, isBmp] : cases) {
        std::string error;
        ASSERT_TRUE(WriteScreenImage(dir / name, pic.view(), &error)) << name << ": " << error;
        EXPECT_EQ(TempDir::Read(dir / name), isBmp ? bmp : png) << name;
    }
}

TEST(ImageFileTest, MissingFolderFailsAndLeavesNothing)
{
    const Picture pic;
    TempDir dir;
    for (const char* name : {"x.png", "x.bmp"}) {
        std::string error;
        EXPECT_FALSE(WriteScreenImage(dir / "missing" / name, pic.view(), &error)) << name;
        EXPECT_FALSE(error.empty()) << name;
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
}  // namespace kr40
