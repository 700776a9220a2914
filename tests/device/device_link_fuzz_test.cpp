// Random and mutated bytes through the whole receive path: the receiver, the
// packet checks and the frame decoder, for several seeds and frame shapes.
// Under AddressSanitizer and UBSan any stray access or undefined operation
// fails the run; here the counters must also add up and every accepted frame
// must keep the frame's invariants.
//
// KR40_FUZZ_BYTES sets the bytes fed over all seeds (default 10^7; `make
// sanitize` feeds 10^8).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <random>
#include <string>

#include "acquisition/frame.h"
#include "acquisition/scope_tables.h"
#include "device/device_link.h"
#include "simulator/frame_builder.h"
#include "simulator/sim_registers.h"
#include "state/compose.h"
#include "state/scope_state.h"
#include "support/device_stub.h"

namespace kr40 {
namespace {

constexpr std::uint64_t kDefaultFuzzBytes = 10'000'000;

struct Shape {
    const char* name;
    std::uint32_t seed;
    bool channels[4];  // A1, A2, D1, D2
    int smplItem;
    bool peak;
    bool trigger;  // on A1; off, the instrument sends frames untriggered
    int timeBase;  // -1: the default
};

const Shape kShapes[] = {
    {"four_channels_10000_triggered", 20261209, {true, true, true, true}, Smpl10000, false, true, -1},
    {"pair_A2_D1_20000", 7741, {false, true, true, false}, SmplMax, false, false, -1},
    {"peak_detect_5000", 990331, {true, true, true, true}, Smpl5000, true, false, 10},
    {"pair_A1_2000_roll", 4242, {true, false, false, false}, Smpl2000, false, false, TimeBase100ms},
};
constexpr std::size_t kSeeds = std::size(kShapes);

void PrintTo(const Shape& shape, std::ostream* os)
{
    *os << shape.name << " seed " << shape.seed;
}

std::uint64_t FuzzBytesPerSeed()
{
    std::uint64_t total = kDefaultFuzzBytes;
    if (const char* env = std::getenv("KR40_FUZZ_BYTES"); env && *env) total = std::strtoull(env, nullptr, 10);
    return total / kSeeds;
}

class LinkFuzz : public ::testing::TestWithParam<Shape> {
protected:
    ScopeState st;
    test::DeviceStub dev;
    FrameSet live;
    RecorderStream recorder;
    DeviceLink link{dev, st, live, recorder, [](int) {}};
    std::mt19937 rng;

    std::uint8_t Byte() { return static_cast<std::uint8_t>(rng()); }
    std::size_t Below(std::size_t n) { return n == 0 ? 0 : rng() % n; }

    // A frame as the instrument sends it for the registers the link wrote
    // into the stub, split into type, payload and status; now and then a
    // newer one.
    struct Frame {
        std::uint8_t type = 0;
        std::vector<std::uint8_t> payload;
        std::array<std::uint8_t, StatusLength> status{};
    };
    sim::FrameBuilder builder;
    std::uint64_t tick = 1000;
    Frame real;
    const Frame& RealFrame(bool fresh)
    {
        if (!fresh && !real.payload.empty()) return real;
        tick += 1'000'000;  // 10 ms on: a roll frame has something new
        sim::SimRegisters regs;
        std::copy_n(dev.memory.begin() + 0x7F00, regs.page.size(), regs.page.begin());
        const std::vector<std::uint8_t> wire = builder.Acquire(regs, tick, 0);
        EXPECT_GT(wire.size(), 2u + StatusRawLength + 1);
        if (wire.size() <= 2u + StatusRawLength + 1) return real;
        real.type = wire[1];
        real.payload.assign(wire.begin() + 2, wire.end() - StatusRawLength - 1);
        NibbleDecode(std::span(wire).subspan(wire.size() - StatusRawLength - 1, StatusRawLength), real.status.data());
        return real;
    }
    std::vector<std::uint8_t> Encode(const Frame& f) { return EncodeMainPacket(f.type, f.payload, f.status); }

    // A status block whose fields lie, with the current sequence number
    // (mostly) and, half of the time, counts that fit the frame.
    std::array<std::uint8_t, StatusLength> Status()
    {
        std::array<std::uint8_t, StatusLength> s{};
        for (auto& b : s) b = Byte();
        s[0x45] = rng() % 16 ? st.link.SettingsSeq.load() : Byte();
        if (rng() % 2) {
            const int n = st.acq.Smpl_N;
            const int pre = static_cast<int>(Below(static_cast<std::size_t>(n) + 1));
            s[0x08] = pre & 0xFF, s[0x09] = static_cast<std::uint8_t>(pre >> 8);
            s[0x0A] = (n - pre) & 0xFF, s[0x0B] = static_cast<std::uint8_t>((n - pre) >> 8);
        }
        return s;
    }
    std::size_t PayloadLength(std::uint8_t type) const
    {
        PacketReceiver shape;
        shape.SetFrameShape(st.acq.Smpl_N, st.acq.Mode_Flags & 1);
        return shape.PayloadLength(type);
    }
    // A main packet of any channel bits with a good checksum; payload bytes
    // 0..254 (255 is the packet mark).
    std::vector<std::uint8_t> MainPacket()
    {
        const std::uint8_t type = static_cast<std::uint8_t>(0x80 | (rng() & 0x0F));
        std::vector<std::uint8_t> payload(PayloadLength(type));
        for (auto& b : payload) b = static_cast<std::uint8_t>(rng() % 255);
        return EncodeMainPacket(type, payload, Status());
    }
    std::vector<std::uint8_t> ServicePacket()
    {
        std::array<std::uint8_t, ServiceLength> d{};
        for (auto& b : d) b = Byte();
        d[1] = static_cast<std::uint8_t>(rng() % 6);
        return EncodeServicePacket(d);
    }
    // Byte flips to any value (255 included), a cut, or bytes slipped in.
    void Mutate(std::vector<std::uint8_t>& p)
    {
        const int flips = static_cast<int>(rng() % 4);
        for (int i = 0; i < flips && !p.empty(); ++i) p[Below(p.size())] = Byte();
        if (rng() % 3 == 0) p.resize(Below(p.size()));
        if (rng() % 4 == 0 && !p.empty()) {
            const std::size_t at = Below(p.size());
            for (int k = 1 + static_cast<int>(rng() % 3); k > 0; --k)
                p.insert(p.begin() + static_cast<std::ptrdiff_t>(at), Byte());
        }
    }

    std::vector<std::uint8_t> Chunk()
    {
        std::vector<std::uint8_t> chunk;
        switch (rng() % 8) {
            case 0:  // noise of every byte value, with extra marks
                chunk.resize(1 + Below(4096));
                for (auto& b : chunk) b = rng() % 64 == 0 ? PacketMark : Byte();
                break;
            case 1:  // a frame as the instrument sends it
                chunk = Encode(RealFrame(rng() % 8 == 0));
                break;
            case 2: {  // the same with status fields that lie, checksum good
                Frame f = RealFrame(false);
                for (int i = 1 + static_cast<int>(rng() % 4); i > 0; --i) f.status[Below(StatusLength)] = Byte();
                chunk = Encode(f);
                break;
            }
            case 3: {  // payload bytes of every value, or one mark inside it
                Frame f = RealFrame(false);
                if (rng() % 2) {
                    for (auto& b : f.payload) b = Byte();
                } else if (!f.payload.empty()) {
                    f.payload[Below(f.payload.size())] = PacketMark;
                }
                chunk = Encode(f);
                break;
            }
            case 4:  // a frame mutated on the wire
                chunk = Encode(RealFrame(false));
                Mutate(chunk);
                break;
            case 5: {  // any channel bits, a random status, raw status bytes of every value
                chunk = MainPacket();
                if (rng() % 2)
                    for (std::size_t i = chunk.size() - 1 - StatusRawLength; i + 1 < chunk.size(); ++i)
                        chunk[i] = Byte();
                break;
            }
            case 6:  // a service packet, mutated or not
                chunk = ServicePacket();
                if (rng() % 2) Mutate(chunk);
                break;
            case 7: {  // any type byte, any length
                chunk = {PacketMark, Byte()};
                chunk.resize(2 + Below(2 * PacketReceiver::MaxPayload / 4));
                for (std::size_t i = 2; i < chunk.size(); ++i) chunk[i] = static_cast<std::uint8_t>(rng() % 255);
                break;
            }
        }
        return chunk;
    }

    // What frame.h promises of a decoded frame; a few samples are looked at.
    void CheckFrame()
    {
        const FrameRecord& r = live.rec;
        ASSERT_GE(r.FrameLen, 0);
        ASSERT_LE(r.FrameLen, FrameCapacity);
        ASSERT_GE(r.PreLen, 0);
        ASSERT_LE(r.PreLen, r.FrameLen);
        ASSERT_GE(r.ValidLen, 0);
        ASSERT_LE(r.ValidLen, r.FrameLen);
        ASSERT_EQ(r.ChannelMask & ~0x0F, 0);
        ASSERT_GE(live.buf.filled, 0);
        ASSERT_LE(live.buf.filled, FrameCapacity);
        for (int k = 0; k < 8; ++k) {
            const int i = static_cast<int>(Below(FrameCapacity));
            for (int ch = 0; ch < 4; ++ch) {
                for (const std::int32_t v : {live.buf.First(ch)[i], live.buf.Second(ch)[i]}) {
                    if (v == MissingSample) continue;
                    ASSERT_LT(i, live.buf.filled) << "channel " << ch;
                    ASSERT_GE(v, 0) << "channel " << ch << " index " << i;
                    ASSERT_LE(v, ch < 2 ? 254 : 1) << "channel " << ch << " index " << i;
                }
            }
        }
    }
};

TEST_P(LinkFuzz, SurvivesRandomAndMutatedStreams)
{
    const Shape& shape = GetParam();
    rng.seed(shape.seed);
    ScopeSettings& s = st.settings;
    s.CH_A1 = shape.channels[0];
    s.CH_A2 = shape.channels[1];
    s.CH_D1 = shape.channels[2];
    s.CH_D2 = shape.channels[3];
    s.Sel(Group::SmplN) = shape.smplItem;
    s.SmplPeakDet = shape.peak;
    s.Trig_On = shape.trigger;
    if (shape.timeBase >= 0) s.Sel(Group::TimeBase) = shape.timeBase;
    s.Run_Down = true;
    link.LoadFpga();
    ASSERT_TRUE(st.link.DeviceReady);
    ApplySettings(st);
    link.SendSettingsPacket();
    ASSERT_TRUE(st.link.SettingsAcked);

    const LinkCounters& c = st.link.counters;
    const std::uint32_t bytesBefore = c.current[StatDriverBytes];
    const std::uint32_t framesBefore = c.current[StatMainPackets];
    const std::uint64_t target = FuzzBytesPerSeed();
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t fed = 0;
    while (fed < target) {
        const std::vector<std::uint8_t> chunk = Chunk();
        fed += chunk.size();
        const std::uint32_t frames = c.current[StatMainPackets];
        // Now and then in two reads, so that a packet spans them.
        const std::size_t cut = rng() % 4 == 0 ? Below(chunk.size()) : chunk.size();
        dev.Queue({chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(cut)});
        while (dev.Waiting() != 0) link.ReceiveBytes();
        dev.Queue({chunk.begin() + static_cast<std::ptrdiff_t>(cut), chunk.end()});
        while (dev.Waiting() != 0) link.ReceiveBytes();
        if (c.current[StatMainPackets] != frames) {
            ASSERT_NO_FATAL_FAILURE(CheckFrame());
        }
        st.requests.Running = true;  // a random service packet may not stop us
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    EXPECT_EQ(c.current[StatDriverBytes] - bytesBefore, fed);  // every byte was read and parsed
    EXPECT_GT(c.current[StatMainPackets], framesBefore);
    EXPECT_GT(c.malformedFrames, 0u);
    EXPECT_GT(c.current[StatChecksumFailures], 0u);
    EXPECT_GT(c.current[StatLeakageBytes], 0u);
    std::printf(
        "[ fuzz     ] %s seed %u: %llu bytes, %u frames accepted, %u malformed, %u checksum failures, "
        "%u leaked bytes, %.1f s\n",
        shape.name, shape.seed, static_cast<unsigned long long>(fed), c.current[StatMainPackets] - framesBefore,
        c.malformedFrames.load(), c.current[StatChecksumFailures].load(), c.current[StatLeakageBytes].load(), seconds);

    // A good frame after all that still decodes.
    live.rec.ValidLen = 0;
    dev.Queue(Encode(RealFrame(true)));
    link.ReceiveBytes();
    EXPECT_GT(live.rec.ValidLen, 0);
}

INSTANTIATE_TEST_SUITE_P(Seeds, LinkFuzz, ::testing::ValuesIn(kShapes),
                         [](const ::testing::TestParamInfo<Shape>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kr40
