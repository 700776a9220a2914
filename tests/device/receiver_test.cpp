#include "device/receiver.h"

#include <gtest/gtest.h>

#include <random>

#include "device/link_state.h"

namespace kr40 {
namespace {

struct Recorder : PacketHandler {
    std::vector<std::array<std::uint8_t, ServiceLength>> services;
    struct Main {
        std::uint8_t type;
        std::vector<std::uint8_t> payload;
        std::array<std::uint8_t, StatusLength> status;
    };
    std::vector<Main> mains;
    void OnService(std::span<const std::uint8_t, ServiceLength> d) override
    {
        services.emplace_back();
        std::copy(d.begin(), d.end(), services.back().begin());
    }
    void OnMain(std::uint8_t type, std::span<const std::uint8_t> payload,
                std::span<const std::uint8_t, StatusLength> status) override
    {
        Main m{type, {payload.begin(), payload.end()}, {}};
        std::copy(status.begin(), status.end(), m.status.begin());
        mains.push_back(std::move(m));
    }
};

std::array<std::uint8_t, ServiceLength> ServiceBytes(std::uint8_t kind)
{
    std::array<std::uint8_t, ServiceLength> d{};
    for (int i = 0; i < ServiceLength; ++i) d[i] = static_cast<std::uint8_t>(i * 7);
    d[1] = kind;
    return d;
}

std::array<std::uint8_t, StatusLength> StatusBytes()
{
    std::array<std::uint8_t, StatusLength> s{};
    for (int i = 0; i < StatusLength; ++i) s[i] = static_cast<std::uint8_t>(255 - i);
    return s;
}

// Payload bytes never hold the mark.
std::vector<std::uint8_t> Payload(std::size_t n)
{
    std::vector<std::uint8_t> p(n);
    for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(i % 255);
    return p;
}

class ReceiverTest : public ::testing::Test {
protected:
    PacketReceiver rx;
    Recorder got;
    LinkCounters counters;
    void Feed(const std::vector<std::uint8_t>& bytes) { rx.Feed(bytes.data(), bytes.size(), got, counters); }
    std::uint32_t Count(StatCounter c) { return counters.current[c]; }
};

TEST_F(ReceiverTest, ServiceAndMainPacketsArriveWhole)
{
    rx.SetFrameShape(2000, false);
    const auto svc = ServiceBytes(4);
    const auto status = StatusBytes();
    const std::uint8_t type = 0x80 | 0x0F;
    const std::vector<std::uint8_t> payload = Payload(rx.PayloadLength(type));
    EXPECT_EQ(payload.size(), 2000u + 2000 + 500 + 500);

    std::vector<std::uint8_t> stream = EncodeServicePacket(svc);
    const std::vector<std::uint8_t> main = EncodeMainPacket(type, payload, status);
    stream.insert(stream.end(), main.begin(), main.end());
    // Fed a byte at a time: the state survives between reads.
    for (std::uint8_t b : stream) rx.Feed(&b, 1, got, counters);

    ASSERT_EQ(got.services.size(), 1u);
    EXPECT_EQ(got.services[0], svc);
    ASSERT_EQ(got.mains.size(), 1u);
    EXPECT_EQ(got.mains[0].type, type);
    EXPECT_EQ(got.mains[0].payload, payload);
    EXPECT_EQ(got.mains[0].status, status);
    EXPECT_EQ(Count(StatLeakageBytes), 0u);
    EXPECT_EQ(Count(StatChecksumFailures), 0u);
}

TEST_F(ReceiverTest, PayloadLengths)
{
    struct Case {
        int n;
        bool pair;
        std::uint8_t type;
        std::size_t len;
    } cases[] = {
        {5000, false, 0x81, 5000},       {5000, false, 0x83, 10000}, {5000, false, 0x84, 1250},
        {5000, true, 0x8F, 5000 + 1250}, {20000, true, 0x85, 12500}, {2000, false, 0x80, 0},
        {10000, false, 0x8C, 5000},
    };
    for (const Case& c : cases) {
        rx.SetFrameShape(c.n, c.pair);
        EXPECT_EQ(rx.PayloadLength(c.type), c.len) << std::hex << int(c.type);
    }
}

TEST_F(ReceiverTest, EmptyPayloadGoesStraightToTheStatus)
{
    const auto status = StatusBytes();
    Feed(EncodeMainPacket(0x80, {}, status));
    ASSERT_EQ(got.mains.size(), 1u);
    EXPECT_TRUE(got.mains[0].payload.empty());
    EXPECT_EQ(got.mains[0].status, status);
}

TEST_F(ReceiverTest, ChecksumOfFFMatchesFE)
{
    // A main packet whose true XOR is 0xFF: the instrument sends 0xFE.
    rx.SetFrameShape(4, false);
    const auto status = StatusBytes();
    std::vector<std::uint8_t> payload = {1, 2, 3, 0};
    const std::vector<std::uint8_t> probe = EncodeMainPacket(0x81, payload, status);
    std::uint8_t x = 0;
    for (std::size_t i = 1; i + 1 < probe.size(); ++i) x ^= probe[i];
    payload[3] = static_cast<std::uint8_t>(x ^ 0xFF);  // now the XOR is 0xFF
    ASSERT_NE(payload[3], PacketMark);
    const std::vector<std::uint8_t> wire = EncodeMainPacket(0x81, payload, status);
    EXPECT_EQ(wire.back(), 0xFE);
    Feed(wire);
    ASSERT_EQ(got.mains.size(), 1u);
    EXPECT_EQ(got.mains[0].payload, payload);
}

TEST_F(ReceiverTest, BadPacketsAreCountedNotDelivered)
{
    rx.SetFrameShape(2000, false);
    std::vector<std::uint8_t> bad = EncodeServicePacket(ServiceBytes(4));
    bad.back() ^= 0x01;
    Feed(bad);
    // A kind above 5 fails the raw-byte test even with a good checksum.
    Feed(EncodeServicePacket(ServiceBytes(6)));
    std::vector<std::uint8_t> badMain = EncodeMainPacket(0x81, Payload(2000), StatusBytes());
    badMain[10] ^= 0x01;
    Feed(badMain);
    EXPECT_TRUE(got.services.empty());
    EXPECT_TRUE(got.mains.empty());
    EXPECT_EQ(Count(StatChecksumFailures), 3u);
}

TEST_F(ReceiverTest, MarkInsidePayloadAbortsAndCountsLeakage)
{
    rx.SetFrameShape(2000, false);
    std::vector<std::uint8_t> wire = EncodeMainPacket(0x81, Payload(2000), StatusBytes());
    // Cut the packet after 100 payload bytes; a new service packet follows.
    wire.resize(2 + 100);
    const std::vector<std::uint8_t> svc = EncodeServicePacket(ServiceBytes(3));
    wire.insert(wire.end(), svc.begin(), svc.end());
    Feed(wire);
    EXPECT_EQ(got.services.size(), 1u);
    EXPECT_EQ(Count(StatLeakageBytes), 1u + 100u);

    // Inside the status block: the whole payload counts as well.
    std::vector<std::uint8_t> w2 = EncodeMainPacket(0x81, Payload(2000), StatusBytes());
    w2.resize(2 + 2000 + 30);
    w2.push_back(PacketMark);
    Feed(w2);
    EXPECT_EQ(Count(StatLeakageBytes), 101u + 1u + 2000u + 30u);
}

TEST_F(ReceiverTest, BytesOutsidePacketsAreLeakage)
{
    Feed({0x01, 0x02, 0x03});              // before any mark
    Feed({PacketMark, 0x33, 0x10, 0x11});  // unknown type: what follows is leakage
    EXPECT_EQ(Count(StatLeakageBytes), 5u);
    const std::vector<std::uint8_t> svc = EncodeServicePacket(ServiceBytes(0));
    Feed(svc);
    Feed({0x42});  // after a complete packet
    EXPECT_EQ(got.services.size(), 1u);
    EXPECT_EQ(Count(StatLeakageBytes), 6u);
}

TEST_F(ReceiverTest, RandomBytesNeverHurt)
{
    // The heavy randomised run lives in the link fuzz test; this one checks
    // that a good packet after garbage still arrives.
    std::mt19937 rng(7);
    std::vector<std::uint8_t> junk(100000);
    for (auto& b : junk) b = static_cast<std::uint8_t>(rng());
    rx.SetFrameShape(20000, false);
    Feed(junk);
    const std::vector<std::uint8_t> svc = EncodeServicePacket(ServiceBytes(4));
    Feed(svc);
    ASSERT_FALSE(got.services.empty());
    EXPECT_EQ(got.services.back(), ServiceBytes(4));
}

}  // namespace
}  // namespace kr40
