// The device providers as far as they can be exercised without hardware.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device/ftdi1/rx_queue.h"
#include "device/provider_d2xx.h"
#include "support/scripted_prompts.h"
#ifdef KR40_HAVE_LIBFTDI1
#include "device/ftdi1/provider_ftdi1.h"
#endif

namespace kr40 {
namespace {

using namespace std::chrono_literals;

// --- D2XX ----------------------------------------------------------------------

TEST(D2xxProvider, UnknownOrAbsentLibraryDoesNotLoadAndResolvesNothing)
{
    auto provider = MakeD2xxProvider();
    EXPECT_FALSE(provider->Load("no_such_library"));
#ifndef _WIN32
    // The "lin_" bridge exists only under the Windows compatibility layer.
    EXPECT_FALSE(provider->Load("lin_ftd2xx"));
#endif
    EXPECT_EQ(provider->Resolve("lin_ftd2xx", "lin_FT_Open"), nullptr);
    // Nothing resolves from a library that was never loaded.
    EXPECT_EQ(provider->Resolve("ftd2xx", "FT_Open"), nullptr);
    EXPECT_EQ(provider->Resolve("ftchipid", "FTID_GetChipIDFromHandle"), nullptr);
    provider->Unload("lin_ftd2xx");  // harmless
}

// --- The libftdi1 receive queue -----------------------------------------------------

std::vector<std::uint8_t> Bytes(std::initializer_list<int> v)
{
    return std::vector<std::uint8_t>(v.begin(), v.end());
}

TEST(FtdiRxQueue, KeepsOrderAndTakesAtMostWhatIsAsked)
{
    RxQueue q;
    const auto a = Bytes({1, 2, 3});
    const auto b = Bytes({4, 5});
    q.Push(a.data(), a.size());
    q.Push(b.data(), b.size());
    EXPECT_EQ(q.Size(), 5u);

    std::uint8_t out[8] = {};
    EXPECT_EQ(q.Read(out, 4, 0ms), 4u);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 4), Bytes({1, 2, 3, 4}));
    EXPECT_EQ(q.Size(), 1u);

    // Fewer bytes than asked: the time-out passes and the rest is taken.
    EXPECT_EQ(q.Read(out, 8, 0ms), 1u);
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(q.Read(out, 8, 0ms), 0u);

    q.Push(a.data(), a.size());
    q.Clear();
    EXPECT_EQ(q.Size(), 0u);
}

TEST(FtdiRxQueue, ReadWaitsForBytesFromTheReader)
{
    RxQueue q;
    std::thread reader([&] {
        for (std::uint8_t i = 0; i < 6; ++i) q.Push(&i, 1);
    });
    std::uint8_t out[6] = {};
    const std::size_t n = q.Read(out, 6, 60s);
    reader.join();
    EXPECT_EQ(n, 6u);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 6), Bytes({0, 1, 2, 3, 4, 5}));
}

TEST(FtdiRxQueue, FailureEndsAWaitingRead)
{
    RxQueue q;
    const auto a = Bytes({9});
    q.Push(a.data(), a.size());
    std::thread reader([&] { q.Fail(); });
    std::uint8_t out[4] = {};
    const std::size_t n = q.Read(out, 4, 60s);
    reader.join();
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(out[0], 9);
    EXPECT_TRUE(q.Failed());
}

TEST(FtdiRxQueue, ArrivalSignalsTheNotificationEvent)
{
    RxQueue q;
    ManualResetEvent event;
    const auto a = Bytes({1});
    q.Push(a.data(), a.size());  // no event yet
    q.SetNotification(&event);
    q.Push(a.data(), 0);
    EXPECT_FALSE(event.IsSet());
    q.Push(a.data(), a.size());
    EXPECT_TRUE(event.IsSet());

    event.Reset();
    q.SetNotification(nullptr);
    q.Push(a.data(), a.size());
    EXPECT_FALSE(event.IsSet());
}

// --- The libftdi1 provider -------------------------------------------------------------

#ifdef KR40_HAVE_LIBFTDI1
TEST(Ftdi1Provider, AnswersTheNativeLibrariesOnly)
{
    auto provider = MakeFtdi1Provider();
    EXPECT_EQ(provider->Resolve("ftd2xx", "FT_Open"), nullptr);  // not loaded yet
    EXPECT_FALSE(provider->Load("lin_ftd2xx"));
    EXPECT_TRUE(provider->Load("ftd2xx"));
    EXPECT_TRUE(provider->Load("ftchipid"));
    EXPECT_NE(provider->Resolve("ftd2xx", "FT_SetEventNotification"), nullptr);
    EXPECT_NE(provider->Resolve("ftchipid", "FTID_GetChipIDFromHandle"), nullptr);
    EXPECT_EQ(provider->Resolve("ftd2xx", "FTID_GetChipIDFromHandle"), nullptr);
    EXPECT_EQ(provider->Resolve("ftd2xx", "FT_NoSuchCall"), nullptr);
    provider->Unload("ftd2xx");
    EXPECT_EQ(provider->Resolve("ftd2xx", "FT_Open"), nullptr);
}

TEST(Ftdi1Provider, StaleHandlesAreRefused)
{
    auto provider = MakeFtdi1Provider();
    ASSERT_TRUE(provider->Load("ftd2xx"));
    auto read = reinterpret_cast<FT_Read_t>(provider->Resolve("ftd2xx", "FT_Read"));
    auto write = reinterpret_cast<FT_Write_t>(provider->Resolve("ftd2xx", "FT_Write"));
    auto close = reinterpret_cast<FT_Close_t>(provider->Resolve("ftd2xx", "FT_Close"));
    auto queue = reinterpret_cast<FT_GetQueueStatus_t>(provider->Resolve("ftd2xx", "FT_GetQueueStatus"));
    int dummy = 0;
    FT_HANDLE bogus = &dummy;
    char buf[4];
    FT_DWORD n = 5;
    EXPECT_EQ(read(bogus, buf, 4, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(write(bogus, buf, 4, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(queue(bogus, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(close(bogus), FT_INVALID_HANDLE);
}

// These need a machine without an FTDI bridge attached.
TEST(Ftdi1Provider, WithoutADeviceNothingIsFound)
{
    auto provider = MakeFtdi1Provider();
    ASSERT_TRUE(provider->Load("ftd2xx"));
    auto count = reinterpret_cast<FT_CreateDeviceInfoList_t>(provider->Resolve("ftd2xx", "FT_CreateDeviceInfoList"));
    auto list = reinterpret_cast<FT_ListDevices_t>(provider->Resolve("ftd2xx", "FT_ListDevices"));
    FT_DWORD n = 99;
    ASSERT_EQ(count(&n), FT_OK);
    if (n != 0) GTEST_SKIP() << "an FTDI device is attached";
    FT_DWORD location = 0;
    EXPECT_EQ(list(nullptr, &location, FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION), FT_DEVICE_NOT_FOUND);

    // The whole search resolves every entry point and reports "Device not found".
    test::ScriptedPrompts prompts;
    TransportState state;
    EXPECT_EQ(OpenScopeDevice(state, *provider, prompts, {}), FT_DEVICE_NOT_FOUND);
    EXPECT_TRUE(state.DriverNative);
    EXPECT_TRUE(prompts.messages.empty());
}
#endif

}  // namespace
}  // namespace kr40
