#pragma once

namespace kr40 {

struct ScopeSettings;
struct AcqConfig;

// Comparator thresholds, advanced-trigger words and Mode_Flags bits 3-6 from
// the trigger settings. Runs inside ComposeAcqConfig after Pre_N/Post_N.
void EncodeTrigger(const ScopeSettings& s, AcqConfig& a);

}  // namespace kr40
