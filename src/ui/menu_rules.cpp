#include "ui/menu_rules.h"

namespace kr40 {

bool TransferRateVisible(int firmwareVersion)
{
    return firmwareVersion < 0 || firmwareVersion >= 213;
}

bool SchmittItemsVisible(int firmwareVersion)
{
    return firmwareVersion < 0 || firmwareVersion >= 212;
}

ViewMenuState ViewMenuOnOpen(bool haveMainTrace, bool haveReferenceTrace)
{
    return {haveReferenceTrace, haveReferenceTrace, haveMainTrace || haveReferenceTrace};
}

StartupVisibility StartupVisibilityOf(const ScopeSettings& s)
{
    const bool service = s.Debug_kr || s.No_Excuse;
    return {service || s.TDC_Clbr, service, 47, service ? 2047 : 1997};
}

}  // namespace kr40
