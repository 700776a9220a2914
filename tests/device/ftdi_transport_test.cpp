#include "device/ftdi_transport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/eventually.h"
#include "support/scripted_prompts.h"

#ifdef __linux__
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#endif

namespace kr40 {
namespace {

using test::ScriptedPrompts;

#ifdef __linux__
long CurrentThreadId()
{
    return static_cast<long>(syscall(SYS_gettid));
}
// True while the thread sleeps in the kernel (state S in its stat line).
bool ThreadAsleep(long tid)
{
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(in, line);
    const std::size_t name = line.rfind(')');
    return name != std::string::npos && name + 2 < line.size() && line[name + 2] == 'S';
}
#else
long CurrentThreadId()
{
    return 1;
}
bool ThreadAsleep(long)
{
    return true;  // not observable here: the close may then come after the read
}
#endif

// ---------------------------------------------------------------------------
// A fake bridge library: chosen libraries and entry points present, a
// scripted device list, and every call recorded with its arguments.

struct EntryName {
    const char* name;
    FT_STATUS missingCode;
};

// Native resolution order; the "lin_" bridge has the first twelve.
constexpr EntryName kNativeEntries[] = {
    {"FT_Open", 110},
    {"FT_Close", 111},
    {"FT_Read", 112},
    {"FT_Write", 113},
    {"FT_GetQueueStatus", 114},
    {"FT_ResetDevice", 115},
    {"FT_SetBaudRate", 116},
    {"FT_SetTimeouts", 117},
    {"FT_SetLatencyTimer", 118},
    {"FT_ListDevices", 119},
    {"FT_OpenEx", 120},
    {"FT_CreateDeviceInfoList", 121},
    {"FT_CyclePort", 130},
    {"FT_SetDataCharacteristics", 131},
    {"FT_GetModemStatus", 132},
    {"FT_SetFlowControl", 133},
    {"FT_SetRts", 134},
    {"FT_SetChars", 135},
    {"FT_SetEventNotification", 136},
    {"FTID_GetChipIDFromHandle", 140},
};
constexpr int kBridgeEntryCount = 12;

struct FakeDevice {
    std::string description;
    FT_DWORD location = 0;
    FT_STATUS openStatus = FT_OK;
    FT_STATUS descriptionStatus = FT_OK;
};

constexpr std::uintptr_t kHandleBase = 0x1000;

FT_HANDLE HandleOf(std::size_t index)
{
    return reinterpret_cast<FT_HANDLE>(kHandleBase + index);
}

std::string Dev(FT_HANDLE h)
{
    return "dev" + std::to_string(reinterpret_cast<std::uintptr_t>(h) - kHandleBase);
}

std::string Hex(unsigned v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%#x", v);
    return buf;
}

class FakeProvider : public DeviceProvider {
public:
    static inline FakeProvider* current = nullptr;

    FakeProvider() { current = this; }
    ~FakeProvider() override { current = nullptr; }

    // Script.
    std::set<std::string> present = {"ftd2xx", "ftchipid"};
    std::set<std::string> missing;  // symbols as asked for, "lin_" prefix included
    std::vector<FakeDevice> devices;
    FT_STATUS createListStatus = FT_OK;
    FT_DWORD modemStatus = 0;
    std::uint32_t chipId = 0xC0FFEE01;
    FT_DWORD queued = 0;
    FT_STATUS writeStatus = FT_OK;
    std::string readBytes = "abc";
    std::function<void()> duringRead;  // runs inside FT_Read (from the reading thread)
    std::atomic<bool> readInFlight{false};
    std::atomic<bool> closedDuringRead{false};

    // Record.
    std::vector<std::string> loads, unloads, calls;
    void* eventParam = nullptr;
    std::string written;

    bool Load(std::string_view library) override
    {
        loads.emplace_back(library);
        if (present.count(std::string(library)) == 0) return false;
        loaded_.insert(std::string(library));
        return true;
    }
    void Unload(std::string_view library) override
    {
        unloads.emplace_back(library);
        loaded_.erase(std::string(library));
    }
    void* Resolve(std::string_view library, std::string_view symbol) override;

    std::vector<std::string> CallsStartingWith(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const auto& c : calls) {
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        }
        return out;
    }

private:
    std::set<std::string> loaded_;
};

FakeProvider& F()
{
    return *FakeProvider::current;
}

FT_STATUS FakeOpen(int index, FT_HANDLE* h)
{
    F().calls.push_back("Open(" + std::to_string(index) + ")");
    if (index < 0 || static_cast<std::size_t>(index) >= F().devices.size()) return FT_DEVICE_NOT_FOUND;
    const FT_STATUS s = F().devices[index].openStatus;
    if (s == FT_OK) *h = HandleOf(index);
    return s;
}
FT_STATUS FakeClose(FT_HANDLE h)
{
    if (F().readInFlight) F().closedDuringRead = true;
    F().calls.push_back("Close(" + Dev(h) + ")");
    return FT_OK;
}
FT_STATUS FakeRead(FT_HANDLE h, void* buffer, FT_DWORD toRead, FT_DWORD* read)
{
    if (F().duringRead) {
        F().readInFlight = true;
        F().duringRead();
        F().readInFlight = false;
    } else {
        F().calls.push_back("Read(" + Dev(h) + "," + std::to_string(toRead) + ")");
    }
    const std::size_t n = std::min<std::size_t>(toRead, F().readBytes.size());
    std::memcpy(buffer, F().readBytes.data(), n);
    *read = static_cast<FT_DWORD>(n);
    return FT_OK;
}
FT_STATUS FakeWrite(FT_HANDLE h, void* buffer, FT_DWORD toWrite, FT_DWORD* written)
{
    F().calls.push_back("Write(" + Dev(h) + ")");
    F().written.append(static_cast<const char*>(buffer), toWrite);
    *written = toWrite;
    return F().writeStatus;
}
FT_STATUS FakeGetQueueStatus(FT_HANDLE h, FT_DWORD* rx)
{
    F().calls.push_back("GetQueueStatus(" + Dev(h) + ")");
    *rx = F().queued;
    return FT_OK;
}
FT_STATUS FakeResetDevice(FT_HANDLE h)
{
    F().calls.push_back("ResetDevice(" + Dev(h) + ")");
    return FT_OK;
}
FT_STATUS FakeSetBaudRate(FT_HANDLE h, FT_DWORD baud)
{
    F().calls.push_back("SetBaudRate(" + Dev(h) + "," + std::to_string(baud) + ")");
    return FT_OK;
}
FT_STATUS FakeSetTimeouts(FT_HANDLE h, FT_DWORD r, FT_DWORD w)
{
    F().calls.push_back("SetTimeouts(" + Dev(h) + "," + std::to_string(r) + "," + std::to_string(w) + ")");
    return FT_OK;
}
FT_STATUS FakeSetLatencyTimer(FT_HANDLE h, std::uint8_t ms)
{
    F().calls.push_back("SetLatencyTimer(" + Dev(h) + "," + std::to_string(ms) + ")");
    return FT_OK;
}
FT_STATUS FakeListDevices(void* arg1, void* arg2, FT_DWORD flags)
{
    const auto index = static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(arg1));
    if (flags == (FT_LIST_BY_INDEX | FT_OPEN_BY_LOCATION)) {
        F().calls.push_back("ListDevices(" + std::to_string(index) + ",location)");
        if (index >= F().devices.size()) return FT_DEVICE_NOT_FOUND;
        *static_cast<FT_DWORD*>(arg2) = F().devices[index].location;
        return FT_OK;
    }
    if (flags == (FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION)) {
        F().calls.push_back("ListDevices(" + std::to_string(index) + ",description)");
        if (index >= F().devices.size()) return FT_DEVICE_NOT_FOUND;
        const FakeDevice& d = F().devices[index];
        std::strncpy(static_cast<char*>(arg2), d.description.c_str(), 63);
        return d.descriptionStatus;
    }
    F().calls.push_back("ListDevices(unexpected flags " + Hex(flags) + ")");
    return FT_INVALID_PARAMETER;
}
FT_STATUS FakeOpenEx(void* arg, FT_DWORD flags, FT_HANDLE* h)
{
    const auto location = static_cast<FT_DWORD>(reinterpret_cast<std::uintptr_t>(arg));
    F().calls.push_back("OpenEx(" + Hex(location) + "," + std::to_string(flags) + ")");
    for (std::size_t i = 0; i < F().devices.size(); ++i) {
        if (F().devices[i].location != location) continue;
        const FT_STATUS s = F().devices[i].openStatus;
        if (s == FT_OK) *h = HandleOf(i);
        return s;
    }
    return FT_DEVICE_NOT_FOUND;
}
FT_STATUS FakeCreateDeviceInfoList(FT_DWORD* count)
{
    F().calls.push_back("CreateDeviceInfoList");
    *count = static_cast<FT_DWORD>(F().devices.size());
    return F().createListStatus;
}
FT_STATUS FakeCyclePort(FT_HANDLE h)
{
    F().calls.push_back("CyclePort(" + Dev(h) + ")");
    return FT_OK;
}
FT_STATUS FakeSetDataCharacteristics(FT_HANDLE h, std::uint8_t bits, std::uint8_t stop, std::uint8_t parity)
{
    F().calls.push_back("SetDataCharacteristics(" + Dev(h) + "," + std::to_string(bits) + "," + std::to_string(stop) +
                        "," + std::to_string(parity) + ")");
    return FT_OK;
}
FT_STATUS FakeGetModemStatus(FT_HANDLE h, FT_DWORD* status)
{
    F().calls.push_back("GetModemStatus(" + Dev(h) + ")");
    *status = F().modemStatus;
    return FT_OK;
}
FT_STATUS FakeSetFlowControl(FT_HANDLE h, std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff)
{
    F().calls.push_back("SetFlowControl(" + Dev(h) + "," + Hex(mode) + "," + Hex(xon) + "," + Hex(xoff) + ")");
    return FT_OK;
}
FT_STATUS FakeSetRts(FT_HANDLE h)
{
    F().calls.push_back("SetRts(" + Dev(h) + ")");
    return FT_OK;
}
FT_STATUS FakeSetChars(FT_HANDLE h, std::uint8_t ev, std::uint8_t evOn, std::uint8_t err, std::uint8_t errOn)
{
    F().calls.push_back("SetChars(" + Dev(h) + "," + Hex(ev) + "," + std::to_string(evOn) + "," + Hex(err) + "," +
                        std::to_string(errOn) + ")");
    return FT_OK;
}
FT_STATUS FakeSetEventNotification(FT_HANDLE h, FT_DWORD mask, void* param)
{
    F().calls.push_back("SetEventNotification(" + Dev(h) + "," + std::to_string(mask) + ")");
    F().eventParam = param;
    return FT_OK;
}
FT_STATUS FakeGetChipId(FT_HANDLE h, std::uint32_t* id)
{
    F().calls.push_back("GetChipId(" + Dev(h) + ")");
    *id = F().chipId;
    return FT_OK;
}

template <class Fn>
void* P(Fn fn)
{
    return reinterpret_cast<void*>(fn);
}

void* FakeProvider::Resolve(std::string_view library, std::string_view symbol)
{
    if (loaded_.count(std::string(library)) == 0 || missing.count(std::string(symbol)) != 0) return nullptr;
    std::string name(symbol);
    if (library == "lin_ftd2xx") {
        if (name.rfind("lin_", 0) != 0) return nullptr;
        name = name.substr(4);
        bool inBridge = false;
        for (int i = 0; i < kBridgeEntryCount; ++i) inBridge = inBridge || name == kNativeEntries[i].name;
        if (!inBridge) return nullptr;
    } else if ((library == "ftchipid") != (name == "FTID_GetChipIDFromHandle")) {
        return nullptr;  // each native entry point lives in one library only
    }
    static const std::vector<std::pair<std::string, void*>> table = {
        {"FT_Open", P<FT_Open_t>(FakeOpen)},
        {"FT_Close", P<FT_Close_t>(FakeClose)},
        {"FT_Read", P<FT_Read_t>(FakeRead)},
        {"FT_Write", P<FT_Write_t>(FakeWrite)},
        {"FT_GetQueueStatus", P<FT_GetQueueStatus_t>(FakeGetQueueStatus)},
        {"FT_ResetDevice", P<FT_ResetDevice_t>(FakeResetDevice)},
        {"FT_SetBaudRate", P<FT_SetBaudRate_t>(FakeSetBaudRate)},
        {"FT_SetTimeouts", P<FT_SetTimeouts_t>(FakeSetTimeouts)},
        {"FT_SetLatencyTimer", P<FT_SetLatencyTimer_t>(FakeSetLatencyTimer)},
        {"FT_ListDevices", P<FT_ListDevices_t>(FakeListDevices)},
        {"FT_OpenEx", P<FT_OpenEx_t>(FakeOpenEx)},
        {"FT_CreateDeviceInfoList", P<FT_CreateDeviceInfoList_t>(FakeCreateDeviceInfoList)},
        {"FT_CyclePort", P<FT_CyclePort_t>(FakeCyclePort)},
        {"FT_SetDataCharacteristics", P<FT_SetDataCharacteristics_t>(FakeSetDataCharacteristics)},
        {"FT_GetModemStatus", P<FT_GetModemStatus_t>(FakeGetModemStatus)},
        {"FT_SetFlowControl", P<FT_SetFlowControl_t>(FakeSetFlowControl)},
        {"FT_SetRts", P<FT_SetRts_t>(FakeSetRts)},
        {"FT_SetChars", P<FT_SetChars_t>(FakeSetChars)},
        {"FT_SetEventNotification", P<FT_SetEventNotification_t>(FakeSetEventNotification)},
        {"FTID_GetChipIDFromHandle", P<FTID_GetChipIDFromHandle_t>(FakeGetChipId)},
    };
    for (const auto& [n, fn] : table) {
        if (n == name) return fn;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------

constexpr const char* kTrue = "Digital Oscilloscope KR40";
constexpr const char* kOlder = "Digital Oscilloscope";
constexpr const char* kCaption = "kr40";

class TransportTest : public ::testing::Test {
protected:
    FakeProvider fake;
    ScriptedPrompts prompts;
    TransportState state;
    ManualResetEvent rx;
    OpenOptions options{.caption = kCaption, .rxEvent = &rx};

    void UseBridge() { fake.present = {"lin_ftd2xx", "ftd2xx", "ftchipid"}; }
    FT_STATUS Open() { return OpenScopeDevice(state, fake, prompts, options); }
    std::vector<std::string> Opens() const { return fake.CallsStartingWith("OpenEx"); }
};

// --- Libraries and entry points ---------------------------------------------

TEST(TransportResolve, EachMissingNativeEntryPointGivesItsCode)
{
    for (std::size_t i = 0; i < std::size(kNativeEntries); ++i) {
        SCOPED_TRACE(kNativeEntries[i].name);
        // Alone, and with every later one missing too (the first missing wins).
        for (bool laterMissing : {false, true}) {
            FakeProvider fake;
            fake.devices = {{kTrue, 0x11}};
            for (std::size_t j = i; j < (laterMissing ? std::size(kNativeEntries) : i + 1); ++j) {
                fake.missing.insert(kNativeEntries[j].name);
            }
            ScriptedPrompts prompts;
            TransportState state;
            EXPECT_EQ(OpenScopeDevice(state, fake, prompts, {}), kNativeEntries[i].missingCode);
            EXPECT_TRUE(fake.calls.empty());
            EXPECT_TRUE(state.DriverNative);
            EXPECT_FALSE(state.DeviceHandleOpen);
        }
    }
}

TEST(TransportResolve, EachMissingBridgeEntryPointGivesItsCode)
{
    for (int i = 0; i < kBridgeEntryCount; ++i) {
        SCOPED_TRACE(kNativeEntries[i].name);
        for (bool laterMissing : {false, true}) {
            FakeProvider fake;
            fake.present = {"lin_ftd2xx"};
            fake.devices = {{kTrue, 0x11}};
            for (int j = i; j < (laterMissing ? kBridgeEntryCount : i + 1); ++j) {
                fake.missing.insert(std::string("lin_") + kNativeEntries[j].name);
            }
            ScriptedPrompts prompts;
            TransportState state;
            EXPECT_EQ(OpenScopeDevice(state, fake, prompts, {}), kNativeEntries[i].missingCode);
            EXPECT_TRUE(fake.calls.empty());
            EXPECT_TRUE(state.DriverWine);
        }
    }
}

TEST_F(TransportTest, LibraryLoading)
{
    struct Case {
        std::set<std::string> present;
        FT_STATUS result;
        std::vector<std::string> loads, unloads;
        bool wine, native;
    };
    const Case cases[] = {
        {{}, 100, {"lin_ftd2xx", "ftd2xx"}, {}, false, false},
        {{"ftd2xx"}, 101, {"lin_ftd2xx", "ftd2xx", "ftchipid"}, {"ftd2xx"}, false, false},
        {{"ftchipid"}, 100, {"lin_ftd2xx", "ftd2xx"}, {}, false, false},
        {{"ftd2xx", "ftchipid"}, FT_OK, {"lin_ftd2xx", "ftd2xx", "ftchipid"}, {}, false, true},
        {{"lin_ftd2xx", "ftd2xx", "ftchipid"}, FT_OK, {"lin_ftd2xx"}, {}, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.present));
        FakeProvider fake;
        fake.present = c.present;
        fake.devices = {{kTrue, 0x11}};
        TransportState s;
        EXPECT_EQ(OpenScopeDevice(s, fake, prompts, options), c.result);
        EXPECT_EQ(fake.loads, c.loads);
        EXPECT_EQ(fake.unloads, c.unloads);
        EXPECT_EQ(s.DriverWine, c.wine);
        EXPECT_EQ(s.DriverNative, c.native);
    }
}

TEST_F(TransportTest, LibrariesAreLoadedOnceButRetriedAfterAFailedLoad)
{
    fake.present = {"ftd2xx"};
    fake.devices = {{kTrue, 0x11}};
    EXPECT_EQ(Open(), kNoChipIdLibrary);

    fake.present.insert("ftchipid");
    fake.loads.clear();
    EXPECT_EQ(Open(), FT_OK);
    EXPECT_EQ(fake.loads, (std::vector<std::string>{"lin_ftd2xx", "ftd2xx", "ftchipid"}));

    fake.loads.clear();
    EXPECT_EQ(Open(), FT_OK);
    EXPECT_TRUE(fake.loads.empty());
}

// --- Device search -----------------------------------------------------------

TEST_F(TransportTest, NoDeviceOrListFailure)
{
    for (bool bridge : {false, true}) {
        SCOPED_TRACE(bridge ? "bridge" : "native");
        for (FT_STATUS listStatus : {FT_OK, FT_IO_ERROR}) {
            FakeProvider fake;
            if (bridge) fake.present = {"lin_ftd2xx"};
            fake.createListStatus = listStatus;
            if (listStatus != FT_OK) fake.devices = {{kTrue, 0x11}};
            TransportState s;
            options.debug = true;
            EXPECT_EQ(OpenScopeDevice(s, fake, prompts, options),
                      listStatus == FT_OK ? FT_DEVICE_NOT_FOUND : listStatus);
            EXPECT_EQ(fake.calls, std::vector<std::string>{"CreateDeviceInfoList"});
            EXPECT_TRUE(prompts.messages.empty());
            EXPECT_EQ(s.TransferMode, 0);
        }
    }
}

TEST_F(TransportTest, SearchWithoutQuestions)
{
    struct Case {
        const char* name;
        std::vector<FakeDevice> devices;
        FT_STATUS result;
        std::vector<std::string> opens;
    };
    const Case cases[] = {
        {"foreign device alone is opened", {{"FT232R USB UART", 0x21}}, FT_OK, {"OpenEx(0x21,4)"}},
        {"blank description is foreign", {{"", 0x21}}, FT_OK, {"OpenEx(0x21,4)"}},
        {"case differs: foreign", {{"digital oscilloscope kr40", 0x21}}, FT_OK, {"OpenEx(0x21,4)"}},
        {"true device after a foreign one", {{"FT232R USB UART", 0x11}, {kTrue, 0x22}}, FT_OK, {"OpenEx(0x22,4)"}},
        {"true device before a foreign one", {{kTrue, 0x22}, {"FT232R USB UART", 0x11}}, FT_OK, {"OpenEx(0x22,4)"}},
        {"true device fails to open: foreign one taken",
         {{kTrue, 0x11, FT_DEVICE_NOT_OPENED}, {"Other", 0x22}},
         FT_OK,
         {"OpenEx(0x11,4)", "OpenEx(0x22,4)"}},
        {"open failure is the result", {{kTrue, 0x11, FT_DEVICE_NOT_OPENED}}, FT_DEVICE_NOT_OPENED, {"OpenEx(0x11,4)"}},
        {"foreign open failure is the result", {{"Other", 0x11, FT_IO_ERROR}}, FT_IO_ERROR, {"OpenEx(0x11,4)"}},
        {"a later untaken device resets the result",
         {{kTrue, 0x11, FT_DEVICE_NOT_OPENED}, {kOlder, 0x22}},
         FT_DEVICE_NOT_FOUND,
         {"OpenEx(0x11,4)"}},
        {"unreadable description is skipped", {{kTrue, 0x11, FT_OK, FT_IO_ERROR}}, FT_DEVICE_NOT_FOUND, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeProvider fake;
        fake.devices = c.devices;
        TransportState s;
        EXPECT_EQ(OpenScopeDevice(s, fake, prompts, options), c.result);
        EXPECT_EQ(fake.CallsStartingWith("OpenEx"), c.opens);
        EXPECT_EQ(s.DeviceHandleOpen, c.result == FT_OK);
    }
}

TEST_F(TransportTest, OlderInstrumentAloneIsRefusedWithItsBox)
{
    fake.devices = {{kOlder, 0x11}};
    EXPECT_EQ(Open(), FT_DEVICE_NOT_FOUND);
    EXPECT_TRUE(Opens().empty());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, kCaption);
    EXPECT_EQ(prompts.messages[0].text, "KR4001 device found. \r\nPlease, use KR4001 software.");
    EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Error);
    EXPECT_EQ(prompts.messages[0].buttons, PromptButtons::Ok);
}

TEST_F(TransportTest, DebugAsksBeforeOpeningTheTrueDevice)
{
    for (PromptAnswer answer : {PromptAnswer::No, PromptAnswer::Yes}) {
        FakeProvider fake;
        fake.devices = {{kTrue, 0x1234}};
        ScriptedPrompts prompts;
        prompts.answers = {answer};
        TransportState s;
        options.debug = true;
        const bool yes = answer == PromptAnswer::Yes;
        EXPECT_EQ(OpenScopeDevice(s, fake, prompts, options), yes ? FT_OK : FT_DEVICE_NOT_FOUND);
        EXPECT_EQ(fake.CallsStartingWith("OpenEx"),
                  yes ? std::vector<std::string>{"OpenEx(0x1234,4)"} : std::vector<std::string>{});
        // One device: no count box, and the true device is no candidate of the second pass.
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].caption, kCaption);
        EXPECT_EQ(prompts.messages[0].text,
                  "True device found.\r\nDescription = 'Digital Oscilloscope KR40'  \r\nDev_Index = 0\r\n"
                  "Dev_Loc = 4660\r\nOpen ?");
        EXPECT_EQ(prompts.messages[0].buttons, PromptButtons::YesNo);
        EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Question);
    }
}

TEST_F(TransportTest, DebugShowsTheCountFromTwoDevices)
{
    options.debug = true;
    fake.devices = {{"Other", 0x11}, {kTrue, 0x22}};
    prompts.answers = {PromptAnswer::Ok, PromptAnswer::Yes};
    EXPECT_EQ(Open(), FT_OK);
    EXPECT_EQ(Opens(), std::vector<std::string>{"OpenEx(0x22,4)"});
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[0].text, "Number of devices = 2. ");
    EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Warning);
    EXPECT_EQ(prompts.messages[0].buttons, PromptButtons::Ok);
    EXPECT_NE(prompts.messages[1].text.find("\r\nDev_Index = 1\r\nDev_Loc = 34\r\n"), std::string::npos);
}

TEST_F(TransportTest, ForeignDeviceQuestion)
{
    struct Case {
        bool debug, noExcuse;
        const char* description;
        PromptAnswer answer;
        FT_STATUS result;
    };
    const Case cases[] = {
        {false, true, "FT232R USB UART", PromptAnswer::Yes, FT_OK},
        {false, true, "FT232R USB UART", PromptAnswer::No, FT_DEVICE_NOT_FOUND},
        {true, false, "FT232R USB UART", PromptAnswer::Yes, FT_OK},
        // Asked in place of the older-instrument box.
        {false, true, kOlder, PromptAnswer::Yes, FT_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.description) + (c.debug ? " debug" : " no_excuse") +
                     (c.answer == PromptAnswer::Yes ? " yes" : " no"));
        FakeProvider fake;
        fake.devices = {{c.description, 0x11}};
        ScriptedPrompts prompts;
        prompts.answers = {c.answer};
        TransportState s;
        options.debug = c.debug;
        options.noExcuse = c.noExcuse;
        EXPECT_EQ(OpenScopeDevice(s, fake, prompts, options), c.result);
        EXPECT_EQ(fake.CallsStartingWith("OpenEx").size(), c.result == FT_OK ? 1u : 0u);
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].caption, kCaption);
        EXPECT_EQ(prompts.messages[0].text, "Other device found.\r\nDescription = '" + std::string(c.description) +
                                                "'  \r\nDev_Index = 0\r\nDev_Loc = 17\r\nTry to open ?");
        EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Warning);
        EXPECT_EQ(prompts.messages[0].buttons, PromptButtons::YesNo);
    }
}

// --- Port set-up -------------------------------------------------------------

TEST_F(TransportTest, NativeSetUpOrderAndValues)
{
    fake.devices = {{"Other", 0x11}, {kTrue, 0x42}};
    state.ChipId = 7;
    EXPECT_EQ(Open(), FT_OK);
    const std::vector<std::string> expected = {
        "CreateDeviceInfoList",    "ListDevices(0,location)",          "ListDevices(0,description)",
        "ListDevices(1,location)", "ListDevices(1,description)",       "OpenEx(0x42,4)",
        "ResetDevice(dev1)",       "SetBaudRate(dev1,2000000)",        "SetDataCharacteristics(dev1,8,0,0)",
        "GetModemStatus(dev1)",    "SetFlowControl(dev1,0,0x13,0x17)", "SetTimeouts(dev1,500,500)",
        "SetLatencyTimer(dev1,2)", "SetChars(dev1,0xff,1,0,0)",        "SetEventNotification(dev1,1)",
        "GetChipId(dev1)",
    };
    EXPECT_EQ(fake.calls, expected);
    EXPECT_EQ(fake.eventParam, &rx);
    EXPECT_EQ(state.DeviceHandle, HandleOf(1));
    EXPECT_TRUE(state.DeviceHandleOpen);
    EXPECT_TRUE(state.DeviceOpened);
    EXPECT_EQ(state.ChipId, fake.chipId);
    EXPECT_EQ(state.TransferMode, 1);
}

TEST_F(TransportTest, FlowControlFollowsCtsAndFlowCtrlOff)
{
    struct Case {
        FT_DWORD modem;
        bool flowCtrlOff;
        const char* flowCall;
        bool rts;
        int mode;
    };
    const Case cases[] = {
        {0x10, false, "SetFlowControl(dev0,0x100,0x13,0x17)", true, 2},
        {0x6010, false, "SetFlowControl(dev0,0x100,0x13,0x17)", true, 2},  // line status bits beside CTS
        {0x10, true, "SetFlowControl(dev0,0,0x13,0x17)", false, 1},
        {0x00, false, "SetFlowControl(dev0,0,0x13,0x17)", false, 1},
        {0xEF, false, "SetFlowControl(dev0,0,0x13,0x17)", false, 1},  // everything but CTS
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Hex(c.modem) + (c.flowCtrlOff ? " off" : ""));
        FakeProvider fake;
        fake.devices = {{kTrue, 0x11}};
        fake.modemStatus = c.modem;
        TransportState s;
        options.flowCtrlOff = c.flowCtrlOff;
        EXPECT_EQ(OpenScopeDevice(s, fake, prompts, options), FT_OK);
        EXPECT_EQ(fake.CallsStartingWith("SetFlowControl"), std::vector<std::string>{c.flowCall});
        const std::vector<std::string> rts = fake.CallsStartingWith("SetRts");
        ASSERT_EQ(rts.size(), c.rts ? 1u : 0u);
        if (c.rts) {
            // RTS follows the flow-control call directly.
            auto flow = std::find(fake.calls.begin(), fake.calls.end(), c.flowCall);
            ASSERT_NE(flow + 1, fake.calls.end());
            EXPECT_EQ(*(flow + 1), "SetRts(dev0)");
        }
        EXPECT_EQ(s.TransferMode, c.mode);
    }
}

TEST_F(TransportTest, BridgeOpensDeviceZeroWhateverItsDescription)
{
    UseBridge();
    options.debug = true;
    fake.devices = {{"USB <-> Serial", 0x11}, {kTrue, 0x22}};
    EXPECT_EQ(Open(), FT_OK);
    const std::vector<std::string> expected = {
        "CreateDeviceInfoList",      "Open(0)",
        "ResetDevice(dev0)",         "SetBaudRate(dev0,2000000)",
        "SetTimeouts(dev0,500,500)", "SetLatencyTimer(dev0,2)",
    };
    EXPECT_EQ(fake.calls, expected);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, kCaption);
    EXPECT_EQ(prompts.messages[0].text, "Linux Wine Driver loaded\r\nNumber of devices = 2. ");
    EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Warning);
    EXPECT_EQ(prompts.messages[0].buttons, PromptButtons::Ok);
    EXPECT_EQ(state.ChipId, kBridgeChipId);
    EXPECT_EQ(state.TransferMode, 1);
    EXPECT_TRUE(state.DeviceOpened);
    EXPECT_EQ(state.DeviceHandle, HandleOf(0));
}

TEST_F(TransportTest, BridgeOpenFailureIsReturned)
{
    UseBridge();
    fake.devices = {{kTrue, 0x11, FT_DEVICE_NOT_OPENED}};
    EXPECT_EQ(Open(), FT_DEVICE_NOT_OPENED);
    EXPECT_FALSE(state.DeviceHandleOpen);
    EXPECT_FALSE(state.DeviceOpened);
    EXPECT_EQ(state.TransferMode, 0);
    EXPECT_TRUE(fake.CallsStartingWith("ResetDevice").empty());
}

TEST_F(TransportTest, ReconnectClosesThePreviousHandleFirst)
{
    for (bool bridge : {false, true}) {
        SCOPED_TRACE(bridge ? "bridge" : "native");
        FakeProvider fake;
        if (bridge) fake.present = {"lin_ftd2xx"};
        fake.devices = {{kTrue, 0x11}};
        TransportState s;
        ASSERT_EQ(OpenScopeDevice(s, fake, prompts, options), FT_OK);

        fake.calls.clear();
        ASSERT_EQ(OpenScopeDevice(s, fake, prompts, options), FT_OK);
        ASSERT_GE(fake.calls.size(), 2u);
        EXPECT_EQ(fake.calls[0], "Close(dev0)");
        EXPECT_EQ(fake.calls[1], "CreateDeviceInfoList");

        // A failed search leaves no handle behind, and nothing to close next time.
        fake.devices.clear();
        fake.calls.clear();
        EXPECT_EQ(OpenScopeDevice(s, fake, prompts, options), FT_DEVICE_NOT_FOUND);
        EXPECT_EQ(fake.calls, (std::vector<std::string>{"Close(dev0)", "CreateDeviceInfoList"}));
        EXPECT_FALSE(s.DeviceHandleOpen);
        fake.calls.clear();
        EXPECT_EQ(OpenScopeDevice(s, fake, prompts, options), FT_DEVICE_NOT_FOUND);
        EXPECT_EQ(fake.calls, std::vector<std::string>{"CreateDeviceInfoList"});
        EXPECT_TRUE(s.DeviceOpened);  // never cleared
    }
}

// --- The call layer ------------------------------------------------------------

TEST_F(TransportTest, LinkWithoutOpenHandleAnswersInvalidHandle)
{
    // Entry points resolved, but the search failed: no handle.
    ASSERT_EQ(Open(), FT_DEVICE_NOT_FOUND);
    ASSERT_NE(state.api.Write, nullptr);
    // And a handle flag without entry points (nothing resolved).
    TransportState unresolved;
    unresolved.DeviceHandleOpen = true;
    unresolved.DeviceHandle = HandleOf(0);

    for (TransportState* s : {&state, &unresolved}) {
        TransportLink link(*s);
        fake.calls.clear();
        s->LinkStatus = FT_OK;
        char buf[4];
        FT_DWORD n = 99;
        EXPECT_EQ(link.Read(buf, 4, &n), FT_INVALID_HANDLE);
        EXPECT_EQ(n, 0u);
        EXPECT_EQ(s->LinkStatus, FT_OK);  // reads do not touch the link status
        n = 99;
        EXPECT_EQ(link.Write("x", 1, &n), FT_INVALID_HANDLE);
        EXPECT_EQ(n, 0u);
        EXPECT_EQ(s->LinkStatus, FT_INVALID_HANDLE);
        s->LinkStatus = FT_OK;
        EXPECT_EQ(link.GetQueueStatus(&n), FT_INVALID_HANDLE);
        EXPECT_EQ(s->LinkStatus, FT_INVALID_HANDLE);
        EXPECT_TRUE(fake.calls.empty());
    }
}

TEST_F(TransportTest, LinkCallsGoToTheOpenHandle)
{
    fake.devices = {{"Other", 0x11}, {kTrue, 0x22}};
    ASSERT_EQ(Open(), FT_OK);
    TransportLink link(state);
    fake.calls.clear();

    fake.queued = 7;
    FT_DWORD n = 0;
    EXPECT_EQ(link.GetQueueStatus(&n), FT_OK);
    EXPECT_EQ(n, 7u);
    EXPECT_EQ(state.LinkStatus, FT_OK);

    EXPECT_EQ(link.Write("\xFA\x01", 2, &n), FT_OK);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(fake.written, "\xFA\x01");
    fake.writeStatus = FT_IO_ERROR;
    EXPECT_EQ(link.Write("z", 1, &n), FT_IO_ERROR);
    EXPECT_EQ(state.LinkStatus, FT_IO_ERROR);

    char buf[8] = {};
    EXPECT_EQ(link.Read(buf, 8, &n), FT_OK);
    EXPECT_EQ(std::string(buf, n), "abc");
    EXPECT_EQ(state.LinkStatus, FT_IO_ERROR);

    EXPECT_EQ(fake.calls,
              (std::vector<std::string>{"GetQueueStatus(dev1)", "Write(dev1)", "Write(dev1)", "Read(dev1,8)"}));
}

TEST_F(TransportTest, CloseForExit)
{
    fake.devices = {{kTrue, 0x11}};
    ASSERT_EQ(Open(), FT_OK);
    state.LinkStatus = FT_OK;
    fake.calls.clear();

    EXPECT_EQ(CloseScopeDevice(state), FT_OK);
    EXPECT_EQ(fake.calls, std::vector<std::string>{"Close(dev0)"});
    EXPECT_EQ(state.LinkStatus, FT_INVALID_HANDLE);
    EXPECT_FALSE(state.DeviceHandleOpen);

    // Nothing reaches the library afterwards, and a second close does nothing.
    TransportLink link(state);
    FT_DWORD n;
    EXPECT_EQ(link.GetQueueStatus(&n), FT_INVALID_HANDLE);
    EXPECT_EQ(CloseScopeDevice(state), FT_OK);
    EXPECT_EQ(fake.calls, std::vector<std::string>{"Close(dev0)"});
}

TEST_F(TransportTest, CloseWaitsForACallInFlight)
{
    // The user interface closes (or reopens) the device while the acquisition
    // thread is inside a read: the handle must outlive the read.
    fake.devices = {{kTrue, 0x11}};
    ASSERT_EQ(Open(), FT_OK);
    std::atomic<bool> reading{false}, release{false};
    fake.duringRead = [&] {
        reading = true;
        test::Eventually([&] { return release.load(); });
    };
    TransportLink link(state);
    std::thread worker([&] {
        char buf[4];
        FT_DWORD n = 0;
        link.Read(buf, sizeof buf, &n);
    });
    const bool readStarted = test::Eventually([&] { return reading.load(); });
    std::atomic<long> closerId{0};
    std::thread closer([&] {
        closerId = CurrentThreadId();
        CloseScopeDevice(state);
    });
    // The closer's only place to sleep is the handle lock the read holds.
    const bool closerWaits = test::Eventually([&] { return closerId != 0 && ThreadAsleep(closerId); });
    release = true;
    worker.join();
    closer.join();
    EXPECT_TRUE(readStarted);
    EXPECT_TRUE(closerWaits);
    EXPECT_FALSE(fake.closedDuringRead);
    EXPECT_FALSE(state.DeviceHandleOpen);
}

// --- The error box -------------------------------------------------------------

TEST(UsbError, TextsInBothLanguages)
{
    struct Case {
        FT_STATUS status;
        bool russian;
        const char* caption;
        const char* text;
    };
    const Case cases[] = {
        {1, false, "USB Error - 1", "Invalid handle."},
        {1, true, "Ошибка USB - 1", "Неверный дескриптор."},
        {2, false, "USB Error - 2", "Device not found."},
        {2, true, "Ошибка USB - 2", "Устройство не найдено."},
        {3, false, "USB Error - 3", "Device not opened. Make sure serial port driver is not loaded \r\n"},
        {3, true, "Ошибка USB - 3", "Device not opened. Make sure serial port driver is not loaded \r\n"},
        {4, false, "USB Error - 4", "Error - 4"},
        {4, true, "Ошибка USB - 4", "Ошибка - 4"},
        {100, false, "USB Error - 100", "Can't load ftd2xx.dll or lin_ftd2xx.dll.so"},
        {100, true, "Ошибка USB - 100", "Can't load ftd2xx.dll or lin_ftd2xx.dll.so"},
        {101, false, "USB Error - 101", "Can't load ftchipid.dll"},
        {101, true, "Ошибка USB - 101", "Can't load ftchipid.dll"},
        {110, false, "USB Error - 110", "Ftd2xx.dll error.\r\nCan't find FT_Open"},
        {110, true, "Ошибка USB - 110", "Ftd2xx.dll error.\r\nCan't find FT_Open"},
        {136, false, "USB Error - 136", "Ftd2xx.dll error.\r\nCan't find FT_SetEventNotification"},
        {136, true, "Ошибка USB - 136", "Ftd2xx.dll error.\r\nCan't find FT_SetEventNotification"},
        {140, false, "USB Error - 140", "Error - 140"},
        {140, true, "Ошибка USB - 140", "Ошибка - 140"},
        {122, false, "USB Error - 122", "Error - 122"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.status) + (c.russian ? " ru" : " en"));
        ScriptedPrompts prompts;
        ShowUsbError(prompts, c.status, c.russian);
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].caption, c.caption);
        EXPECT_EQ(prompts.messages[0].text, c.text);
        EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Error);
        EXPECT_EQ(prompts.messages[0].buttons, PromptButtons::Ok);
    }
}

TEST(UsbError, NamesEveryMissingBridgeLibraryEntryPoint)
{
    for (const EntryName& e : kNativeEntries) {
        if (e.missingCode == 140) continue;  // chip-ID library: plain "Error - 140"
        ScriptedPrompts prompts;
        ShowUsbError(prompts, e.missingCode, false);
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].text, std::string("Ftd2xx.dll error.\r\nCan't find ") + e.name);
    }
}

}  // namespace
}  // namespace kr40
