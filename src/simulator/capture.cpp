#include "simulator/capture.h"

#include "acquisition/frame.h"
#include "device/link_state.h"
#include "device/receiver.h"
#include "simulator/frame_builder.h"
#include "simulator/sim_registers.h"
#include "state/scope_state.h"

namespace kr40::sim {

namespace {

struct Decoder : PacketHandler {
    ScopeState& st;
    FrameSet& frame;
    RecorderStream recorder;
    bool ok = false;
    Decoder(ScopeState& s, FrameSet& f) : st(s), frame(f) {}
    void OnService(std::span<const std::uint8_t, ServiceLength>) override {}
    void OnMain(std::uint8_t type, std::span<const std::uint8_t> payload,
                std::span<const std::uint8_t, StatusLength> status) override
    {
        DecodeContext ctx;
        ctx.acq = &st.acq;
        ctx.A1_Zero = st.settings.A1_Zero;
        ctx.A2_Zero = st.settings.A2_Zero;
        ctx.Lev_A1 = st.settings.Lev_A1;
        ctx.Lev_A2 = st.settings.Lev_A2;
        ok = DecodeFrame(type, payload, status, ctx, frame, recorder) == DecodeResult::Ok;
    }
};

}  // namespace

bool CaptureFrame(ScopeState& st, FrameSet& frame, SignalOptions sources, std::uint64_t tick)
{
    AcqConfig a = st.acq;
    a.Ch_Mask |= 0x80;  // acquiring
    SimRegisters regs;
    ApplyBlocks(regs, SettingsBlocks(a, {}));
    FrameBuilder builder(sources);
    const std::vector<std::uint8_t> wire = builder.Acquire(regs, tick, 0);
    if (wire.empty()) return false;
    PacketReceiver rx;
    rx.SetFrameShape(a.Smpl_N, a.Mode_Flags & 0x01);
    Decoder d(st, frame);
    LinkCounters counters;
    rx.Feed(wire.data(), wire.size(), d, counters);
    return d.ok;
}

}  // namespace kr40::sim
