#include "app/provider_select.h"

#include <gtest/gtest.h>

namespace kr40 {
namespace {

// --- Provider choice -------------------------------------------------------------

TEST(ProviderSelect, MakesKnownProvidersOnly)
{
    EXPECT_NE(MakeProvider("d2xx"), nullptr);
#ifdef KR40_HAVE_LIBFTDI1
    EXPECT_NE(MakeProvider("ftdi"), nullptr);
    EXPECT_EQ(DefaultProviderName(), "ftdi");
#else
    EXPECT_EQ(MakeProvider("ftdi"), nullptr);
    EXPECT_EQ(DefaultProviderName(), "d2xx");
#endif
    EXPECT_NE(MakeProvider("sim"), nullptr);
    EXPECT_EQ(MakeProvider("D2XX"), nullptr);
    EXPECT_EQ(MakeProvider(""), nullptr);
}

// The command line accepts exactly the names MakeProvider can make.
TEST(ProviderSelect, BuiltInMatchesMakeProvider)
{
    for (const char* name : {"d2xx", "ftdi", "sim", "D2XX", "", "simulate"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ProviderBuiltIn(name), MakeProvider(name) != nullptr);
    }
    EXPECT_TRUE(ProviderBuiltIn(DefaultProviderName()));
}

}  // namespace
}  // namespace kr40
