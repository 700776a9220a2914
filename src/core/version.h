#pragma once

namespace kr40 {

// The program's version as the settings files and the About box show it (2.27).
inline constexpr int SoftwareVersion = 227;

}  // namespace kr40
