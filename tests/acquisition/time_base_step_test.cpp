#include "acquisition/time_base_step.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "acquisition/scope_tables.h"

namespace kr40 {
namespace {

// The steps between a 2 and a 5 are the only ones by 2.5.
const std::set<std::pair<std::string, std::string>> kSteps25 = {
    {"5S", "2S"},     {"500mS", "200mS"}, {"50mS", "20mS"}, {"5mS", "2mS"},
    {"05mS", "02mS"}, {"50uS", "20uS"},   {"5uS", "2uS"},   {"05uS", "02uS"},
};

TEST(TimeBaseStepTest, WalksTheButtonsBothWays)
{
    ScopeSettings s;
    s.Sel(Group::TimeBase) = 0;
    double product = 1;
    for (int i = 1; i < TimeBaseCount; ++i) {
        const double q = TimeBaseStep(s, true);
        ASSERT_EQ(s.Sel(Group::TimeBase), i);
        const bool by25 = kSteps25.count({TimeBases[i - 1].key, TimeBases[i].key}) > 0;
        EXPECT_EQ(q, by25 ? 2.5 : 2.0) << TimeBases[i - 1].key << " -> " << TimeBases[i].key;
        product *= q;
    }
    EXPECT_EQ(product, 20e9 / 50);
    EXPECT_EQ(TimeBaseStep(s, true), 1.0);  // 50 nS is the fastest
    EXPECT_EQ(s.Sel(Group::TimeBase), TimeBaseCount - 1);

    for (int i = TimeBaseCount - 2; i >= 0; --i) {
        const double q = TimeBaseStep(s, false);
        ASSERT_EQ(s.Sel(Group::TimeBase), i);
        const bool by25 = kSteps25.count({TimeBases[i].key, TimeBases[i + 1].key}) > 0;
        EXPECT_EQ(q, by25 ? 2.5 : 2.0) << TimeBases[i + 1].key << " -> " << TimeBases[i].key;
    }
    EXPECT_EQ(TimeBaseStep(s, false), 1.0);  // 20 S is the slowest
    EXPECT_EQ(s.Sel(Group::TimeBase), 0);
}

TEST(TimeBaseStepTest, NoSelectionCountsAsTheFastest)
{
    ScopeSettings s;
    s.Sel(Group::TimeBase) = -1;
    EXPECT_EQ(TimeBaseStep(s, true), 1.0);
    EXPECT_EQ(s.Sel(Group::TimeBase), -1);
    EXPECT_EQ(TimeBaseStep(s, false), 2.0);  // 50 nS -> 0.1 uS
    EXPECT_EQ(s.Sel(Group::TimeBase), TimeBaseIndex("01uS"));
}

}  // namespace
}  // namespace kr40
