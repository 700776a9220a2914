#include "device/link_state.h"

namespace kr40 {

void TakeSecondStatistics(LinkCounters& c)
{
    for (int i = 0; i < StatCount; ++i) c.lastSecond[i] = c.current[i].exchange(0);
}

}  // namespace kr40
