#include "simulator/link_pacer.h"

#include <gtest/gtest.h>

#include <string>

#include "device/fpga_image.h"

namespace kr40::sim {
namespace {

using Clock = LinkPacer::Clock;
using std::chrono::microseconds;

const Clock::time_point T0{std::chrono::hours(1)};

Clock::time_point At(long long us)
{
    return T0 + microseconds(us);
}

// Steps on one pacer at 200000 bytes/s, 5 us a byte.
struct Step {
    long long atUs;
    std::size_t bytes;   // Release: bytes waiting; WriteDone: bytes written
    long long expected;  // Release: bytes let through; WriteDone: end of the write, us
};

TEST(LinkPacerTest, ReleaseLetsBytesThroughAtTheRate)
{
    const Step steps[] = {
        {0, 5000, 0},                    // nothing has crossed yet
        {10'000, 5000, 2000},            // 10 ms: 2000 bytes
        {10'000, 3000, 0},               // no time passed
        {10'002, 3000, 0},               // 0.4 byte: kept for later
        {10'004, 3000, 0},               // 0.8 byte
        {10'006, 3000, 1},               // 1.2 bytes: one crosses
        {20'006, 500, 500},              // fewer waiting than the link could carry
        {1'020'006, 1'000'000, 10'000},  // a pause saves up 50 ms at most
        {1'020'011, 1'000'000, 1},
    };
    LinkPacer pacer(LinkBytesPerSecond, T0);
    for (const Step& s : steps) {
        SCOPED_TRACE("at " + std::to_string(s.atUs) + " us");
        EXPECT_EQ(pacer.Release(At(s.atUs), s.bytes), static_cast<std::size_t>(s.expected));
    }
}

TEST(LinkPacerTest, WritesTakeTheirTimeOneAfterAnother)
{
    const Step steps[] = {
        {0, 2000, 10'000},       // 2000 bytes: 10 ms
        {0, 2000, 20'000},       // issued at once: queues behind the first
        {5'000, 1, 20'005},      // still behind
        {50'000, 1000, 55'000},  // the link was idle: starts now
        {55'000, 0, 55'000},
    };
    LinkPacer pacer(LinkBytesPerSecond, T0);
    for (const Step& s : steps) {
        SCOPED_TRACE("at " + std::to_string(s.atUs) + " us");
        EXPECT_EQ(pacer.WriteDone(At(s.atUs), s.bytes) - T0, microseconds(s.expected));
    }
}

// The FPGA load as the link sends it: the image nibble-coded (two wire bytes
// a byte) in chunks of 512 bytes, written back to back, takes about a second.
TEST(LinkPacerTest, TheFpgaImageTakesAboutASecond)
{
    LinkPacer pacer(LinkBytesPerSecond, T0);
    Clock::time_point done = T0;
    for (std::size_t at = 0; at < FpgaImageSize; at += 512)
        done = pacer.WriteDone(T0, 2 * std::min<std::size_t>(512, FpgaImageSize - at));
    EXPECT_EQ(done - T0, microseconds(2 * FpgaImageSize * 5));  // 1.02016 s
}

TEST(LinkPacerTest, UnthrottledPassesEverythingAtOnce)
{
    LinkPacer pacer(0, T0);
    EXPECT_FALSE(pacer.Paced());
    EXPECT_EQ(pacer.Release(T0, 123456), 123456u);
    EXPECT_EQ(pacer.WriteDone(At(7), 1'000'000), At(7));
}

}  // namespace
}  // namespace kr40::sim
