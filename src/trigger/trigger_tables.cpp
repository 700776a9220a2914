#include "trigger/trigger_tables.h"

namespace kr40 {

const std::array<HystStep, 10> HystSteps = {{
    {{"Off", "Выкл."}, 0},
    {{"0,1 Div", "0,1 дел"}, 2},
    {{"0,2 Div", "0,2 дел"}, 3},
    {{"0,5 Div", "0,5 дел"}, 8},
    {{"1 Div", "1 дел"}, 16},
    {{"1.5 Div", "1.5 дел"}, 24},
    {{"2 Div", "2 дел"}, 32},
    {{"2.5 Div", "2.5 дел"}, 40},
    {{"3 Div", "3 дел"}, 48},
    {{"3.5 Div", "3.5 дел"}, 56},
}};

const std::array<TimeRangeButton, 6> TimeRanges = {{
    {"SpeedButton_T10uS", "10 uS", 1},
    {"SpeedButton_T100uS", "0.1 mS", 10},
    {"SpeedButton_T1mS", "1 mS", 100},
    {"SpeedButton_T10mS", "10 mS", 1000},
    {"SpeedButton_T100mS", "0.1 S", 10000},
    {"SpeedButton_T1S", "1 S", 100000},
}};

}  // namespace kr40
