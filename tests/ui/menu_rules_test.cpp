#include "ui/menu_rules.h"

#include <gtest/gtest.h>

namespace kr40 {
namespace {

TEST(MenuRulesTest, FirmwareDependentItems)
{
    struct Case {
        int firmware;
        bool transferRate, schmitt;
    };
    const Case cases[] = {
        {-1, true, true},     // not yet reported
        {105, false, false},  //
        {211, false, false},  //
        {212, false, true},   // Schmitt items from 212, transfer rate from 213
        {213, true, true},    //
        {227, true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TransferRateVisible(c.firmware), c.transferRate) << c.firmware;
        EXPECT_EQ(SchmittItemsVisible(c.firmware), c.schmitt) << c.firmware;
    }
}

TEST(MenuRulesTest, ReferenceItemsFollowTheTracesHeld)
{
    struct Case {
        bool main, reference;
        bool view, clr, swap;
    };
    const Case cases[] = {
        {false, false, false, false, false},
        {true, false, false, false, true},
        {false, true, true, true, true},
        {true, true, true, true, true},
    };
    for (const Case& c : cases) {
        const ViewMenuState v = ViewMenuOnOpen(c.main, c.reference);
        EXPECT_EQ(v.bgViewEnabled, c.view) << c.main << c.reference;
        EXPECT_EQ(v.bgClrEnabled, c.clr) << c.main << c.reference;
        EXPECT_EQ(v.bgDoEnabled, c.swap) << c.main << c.reference;
    }
}

TEST(MenuRulesTest, ServiceFlagsAtStartup)
{
    struct Case {
        bool debug, tdc, noExcuse;
        bool tdcMenu, recorder;
        int amplitudeMax;
    };
    const Case cases[] = {
        {false, false, false, false, false, 1997},
        {false, true, false, true, false, 1997},  // TDC_Clbr shows the calibration only
        {true, false, false, true, true, 2047},
        {false, false, true, true, true, 2047},
    };
    for (const Case& c : cases) {
        ScopeSettings s;
        s.Debug_kr = c.debug;
        s.TDC_Clbr = c.tdc;
        s.No_Excuse = c.noExcuse;
        const StartupVisibility v = StartupVisibilityOf(s);
        EXPECT_EQ(v.tdcCalibrate, c.tdcMenu);
        EXPECT_EQ(v.recorder, c.recorder);
        EXPECT_EQ(v.amplitudeMin, 47);
        EXPECT_EQ(v.amplitudeMax, c.amplitudeMax);
    }
}

}  // namespace
}  // namespace kr40
