#pragma once
// The FPGA configuration image the program loads at every connection
// (generated at build time by tools/make_fpga_image.cpp).

#include <array>
#include <cstdint>

namespace kr40 {

inline constexpr std::size_t FpgaImageSize = 102016;
extern const std::array<std::uint8_t, FpgaImageSize> FpgaImage;

}  // namespace kr40
