#include "trigger/trigger_encoding.h"

#include <algorithm>

#include "acquisition/acq_config.h"
#include "acquisition/scope_settings.h"
#include "core/rounding.h"
#include "trigger/trigger_tables.h"

namespace kr40 {

namespace {

struct Window {
    std::uint8_t lo, hi;
};

// The comparator window around a level. Both thresholds stay within 1..255,
// so a level of 0 with noise reject off gives 1..1, not an inverted 1..0.
Window Thresholds(double level, int hyst)
{
    const int L = static_cast<int>(std::clamp<std::int64_t>(RoundHalfAway(level), 0, 255));
    const int lo = L <= hyst ? 1 : L - hyst;
    const int hi = std::clamp(L + hyst, 1, 255);
    return {static_cast<std::uint8_t>(lo), static_cast<std::uint8_t>(hi)};
}

enum : std::uint8_t {
    TPlusRuntRise = 0x01,
    TPlusRuntFall = 0x02,
    TPlusVideo = 0x10,
    TPlusCount = 0x20,
    TPlusCountEn = 0x40,
};

}  // namespace

void EncodeTrigger(const ScopeSettings& s, AcqConfig& a)
{
    const int hyst = HystSteps[std::clamp(s.Hyst, 0, 9)].codes;
    const Window w1 = Thresholds(s.Lev_A1, hyst);
    const Window w2 = Thresholds(s.Lev_A2, hyst);
    a.Trig_Lo_A1 = w1.lo;
    a.Trig_Hi_A1 = w1.hi;
    a.Trig_Lo_A2 = w2.lo;
    a.Trig_Hi_A2 = w2.hi;

    a.TPlus_Flags = 0;
    a.Trig_N = 1;
    a.Trig_Lev_Bits = 0;

    const int source = s.Sel(Group::TrigSource);
    const int sourceBit = source >= 0 ? (1 << source) : 0;
    const bool otherEn = (s.Lev_Mask & 0x0F & ~sourceBit) != 0;

    a.Mode_Flags &= static_cast<std::uint8_t>(~0x78);
    if (s.Mode == 2 || s.Mode == 3 || s.Mode == 10) a.Mode_Flags |= 0x20;
    if (s.Mode == 3 || s.Mode == 4) a.Mode_Flags |= 0x40;

    if (!s.TPLUS) return;
    const std::uint32_t extraN = static_cast<std::uint32_t>(std::max(s.Extra_N, 1));
    if (s.Mode >= 1 && s.Mode <= 5) {
        if (s.T_Mode == 1)
            a.Mode_Flags |= 0x18;
        else if (s.T_Mode == 2)
            a.Mode_Flags |= 0x08;
        a.T_Lo = static_cast<std::uint32_t>(s.Tmin) * static_cast<std::uint32_t>(s.Tmult);
        a.T_Hi = static_cast<std::uint32_t>(s.Tmax) * static_cast<std::uint32_t>(s.Tmult);
        if (s.Mode == 3) a.TPlus_Flags |= s.Edge ? TPlusRuntFall : TPlusRuntRise;
        if (s.Mode == 5 && s.T_Mode != 0) {
            a.TPlus_Flags |= TPlusCount;
            a.Trig_N = extraN;
        }
    } else if (s.Mode == 6) {
        a.TPlus_Flags |= TPlusCount | TPlusCountEn;
        if (otherEn) a.Trig_N = extraN;
    } else if (s.Mode == 10) {
        a.TPlus_Flags |= TPlusVideo;
        a.Trig_N = extraN;
    }
    a.Trig_Lev_Bits = static_cast<std::uint8_t>(((s.Lev_Mask << 4) | s.Levels) & 0xFF);
}

}  // namespace kr40
