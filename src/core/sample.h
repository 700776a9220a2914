#pragma once
// Sample values shared by the acquisition, display and analysis code.

#include <cstdint>

namespace kr40 {

// Marks an empty buffer entry: no sample was acquired at this position (or an
// interpolated value cannot be computed). Larger than any real sample code.
inline constexpr std::int32_t MissingSample = 0x7FFFFFFF;

}  // namespace kr40
