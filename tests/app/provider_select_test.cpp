#include "app/provider_select.h"

#include <gtest/gtest.h>

#include <memory>

#include "simulator/link_pacer.h"
#include "simulator/sim_provider.h"

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

// The simulated instrument of --simulate runs at the real link's speed;
// simulators that tests build themselves are unthrottled.
TEST(ProviderSelect, SimulatorIsPacedAtTheLinksSpeed)
{
    const std::unique_ptr<DeviceProvider> p = MakeProvider("sim");
    auto* simulator = dynamic_cast<sim::SimProvider*>(p.get());
    ASSERT_NE(simulator, nullptr);
    EXPECT_EQ(simulator->Instrument().Options().bytesPerSecond, sim::LinkBytesPerSecond);
    EXPECT_EQ(sim::SimProvider().Instrument().Options().bytesPerSecond, 0);
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
