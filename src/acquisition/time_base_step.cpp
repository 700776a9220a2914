#include "acquisition/time_base_step.h"

#include "acquisition/scope_tables.h"

namespace kr40 {

double TimeBaseStep(ScopeSettings& s, bool faster)
{
    // The table runs from the slowest (20 S) to the fastest (50 nS) button.
    int from = s.Sel(Group::TimeBase);
    if (from < 0 || from >= TimeBaseCount) from = TimeBaseCount - 1;
    const int to = faster ? from + 1 : from - 1;
    if (to < 0 || to >= TimeBaseCount) return 1.0;

    SetGroupItem(s, Group::TimeBase, to, true);
    const double a = static_cast<double>(TimeBases[from].ns);
    const double b = static_cast<double>(TimeBases[to].ns);
    return a > b ? a / b : b / a;
}

}  // namespace kr40
