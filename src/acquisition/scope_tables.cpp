#include "acquisition/scope_tables.h"

namespace kr40 {

const std::array<TimeBaseRow, TimeBaseCount> TimeBases = {{
    {"20S", "20 S", 20'000'000'000ull}, {"10S", "10 S", 10'000'000'000ull}, {"5S", "5 S", 5'000'000'000ull},
    {"2S", "2 S", 2'000'000'000ull},    {"1S", "1 S", 1'000'000'000ull},    {"500mS", "0,5 S", 500'000'000ull},
    {"200mS", "0,2 S", 200'000'000ull}, {"100mS", "0,1 S", 100'000'000ull}, {"50mS", "50 mS", 50'000'000ull},
    {"20mS", "20 mS", 20'000'000ull},   {"10mS", "10 mS", 10'000'000ull},   {"5mS", "5 mS", 5'000'000ull},
    {"2mS", "2 mS", 2'000'000ull},      {"1mS", "1 mS", 1'000'000ull},      {"05mS", "0,5 mS", 500'000ull},
    {"02mS", "0,2 mS", 200'000ull},     {"01mS", "0,1 mS", 100'000ull},     {"50uS", "50 uS", 50'000ull},
    {"20uS", "20 uS", 20'000ull},       {"10uS", "10 uS", 10'000ull},       {"5uS", "5 uS", 5'000ull},
    {"2uS", "2 uS", 2'000ull},          {"1uS", "1 uS", 1'000ull},          {"05uS", "0,5 uS", 500ull},
    {"02uS", "0,2 uS", 200ull},         {"01uS", "0,1 uS", 100ull},         {"50nS", "50 nS", 50ull},
}};

const std::array<VoltsRow, VoltsCount> VoltsPerDiv = {{
    {"2V", 2'000'000, 3, {"2 V", "20 V", "200 V"}},
    {"1V", 1'000'000, 7, {"1 V", "10 V", "100 V"}},
    {"05V", 500'000, 6, {"0.5 V", "5 V", "50 V"}},
    {"02V", 200'000, 4, {"0.2 V", "2 V", "20 V"}},
    {"100mV", 100'000, 1, {"100 mV", "1 V", "10 V"}},
    {"50mV", 50'000, 0, {"50 mV", "0.5 V", "5 V"}},
}};

const std::array<MenuChoiceRow, 4> SampleCounts = {{
    {"Smpl_N_2000", "Menu_Smpl_2000", "2000", 2000},
    {"Smpl_N_5000", "Menu_Smpl_5000", "5000", 5000},
    {"Smpl_N_10000", "Menu_Smpl_10000", "10000", 10000},
    {"Smpl_N_20000", "Menu_Smpl_Max", "20000 (A or A+D)", 20000},
}};

const std::array<MenuChoiceRow, 5> DivisionChoices = {{
    {"Sig_10_Div", "Menu_10_Div", "10", 10},
    {"Sig_20_Div", "Menu_20_Div", "20", 20},
    {"Sig_50_Div", "Menu_50_Div", "50", 50},
    {"Sig_100_Div", "Menu_100_Div", "100", 100},
    {"Sig_200_Div", "Menu_200_Div", "200", 200},
}};

const std::array<MenuChoiceRow, 5> FrameRateChoices = {{
    {"FPS_8", "Menu_FPS_8", "8", 125},
    {"FPS_15", "Menu_FPS_15", "15", 66},
    {"FPS_25", "Menu_FPS_25", "25", 40},
    {"FPS_40", "Menu_FPS_40", "40", 25},
    {"FPS_NO_LIM", "Menu_FPS_NO_LIM", "No Limit", 10},
}};

const std::array<MenuChoiceRow, 7> TransferRateChoices = {{
    {"Rate_2Mbps", "Menu_Rate_2Mbps", "2", 0},
    {"Rate_1_75Mbps", "Menu_Rate_1_75Mbps", "1.75", 10},
    {"Rate_1_5Mbps", "Menu_Rate_1_5Mbps", "1.5", 12},
    {"Rate_1_25Mbps", "Menu_Rate_1_25Mbps", "1.25", 15},
    {"Rate_1Mbps", "Menu_Rate_1Mbps", "1", 19},
    {"Rate_0_75Mbps", "Menu_Rate_0_75Mbps", "0.75", 25},
    {"Rate_0_5Mbps", "Menu_Rate_0_5Mbps", "0.5", 39},
}};

namespace {
template <class Rows, class Match>
int IndexOf(const Rows& rows, Match match)
{
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (match(rows[i])) return static_cast<int>(i);
    return -1;
}
}  // namespace

int TimeBaseIndex(std::string_view key)
{
    return IndexOf(TimeBases, [&](const TimeBaseRow& r) { return key == r.key; });
}
int VoltsIndex(std::string_view suffix)
{
    return IndexOf(VoltsPerDiv, [&](const VoltsRow& r) { return suffix == r.suffix; });
}
int DivisionIndex(int divisions)
{
    return IndexOf(DivisionChoices, [&](const MenuChoiceRow& r) { return r.value == divisions; });
}

}  // namespace kr40
