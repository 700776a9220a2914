#include "instruments/zero_model.h"

#include <algorithm>

#include "acquisition/scope_settings.h"
#include "core/rounding.h"

namespace kr40 {

namespace {
constexpr double LowCode = 1360;   // lower DAC calibration code
constexpr double CodeSpan = 1680;  // 3040 - 1360
}  // namespace

std::uint32_t OffsetDacCode(const ScopeSettings& s, int channel, std::int32_t rangeUv)
{
    if ((channel != 1 && channel != 2) || rangeUv <= 0) return OffsetDacUncalibrated;
    const double p1 = channel == 1 ? s.Z_A1P1 : s.Z_A2P1;
    const double p2 = channel == 1 ? s.Z_A1P2 : s.Z_A2P2;
    const double sh = channel == 1 ? s.Z_A1SH : s.Z_A2SH;
    const double zero = channel == 1 ? s.A1_Zero : s.A2_Zero;
    if (p1 == p2) return OffsetDacUncalibrated;
    const double k = 50000.0 / rangeUv;
    const std::int64_t code = RoundHalfAway((zero * 16 - p1 - sh * k) * CodeSpan / (p2 - p1) + LowCode);
    // A wild record (hand-edited file) must not wrap into a huge unsigned code.
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(code, 0, OffsetDacMax));
}

}  // namespace kr40
