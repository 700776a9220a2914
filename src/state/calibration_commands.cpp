#include "state/calibration_commands.h"

#include <mutex>

#include "acquisition/frame.h"
#include "core/prompts.h"
#include "core/texts.h"
#include "state/compose.h"
#include "state/scope_state.h"

namespace kr40 {

namespace {

constexpr TextPair kNotFound = {"Device not found.", "Устройство не найдено."};
constexpr TextPair kCalibrateError = {"Calibrate Error", "Ошибка калибровки"};

// The record fields in one order: P1, P2, SH of A1, then of A2.
constexpr std::array<int ScopeSettings::*, 6> kRecord = {
    &ScopeSettings::Z_A1P1, &ScopeSettings::Z_A1P2, &ScopeSettings::Z_A1SH,
    &ScopeSettings::Z_A2P1, &ScopeSettings::Z_A2P2, &ScopeSettings::Z_A2SH,
};

// After every dialog of this family: the buffers hold frames of the run's
// configuration, which mean nothing to the window.
void ClearBuffers(ScopeState& st, bool reference)
{
    std::lock_guard lock(st.liveMutex);
    st.live->buf.Clear();
    if (reference) st.ref->buf.Clear();
}

}  // namespace

bool CalibrationDeviceGuard(const ScopeState& st, Prompts& prompts)
{
    if (st.transport.DeviceOpened) return true;
    const bool ru = st.settings.Russian;
    prompts.Message(Tr(kCalibrateError, ru), Tr(kNotFound, ru), PromptIcon::Error, PromptButtons::Ok);
    return false;
}

void PublishCalConfig(ScopeState& st)
{
    st.link.FrameReady = false;
    PublishAcqConfig(st);
}

CalStep PollCalRun(ScopeState& st, const FrameSet& live, CalRun& run)
{
    if (!run.Running() || !st.link.FrameReady.exchange(false)) return CalStep::Wait;
    CalStep step;
    {
        std::lock_guard lock(st.liveMutex);
        const CalFrame frame{live.rec, live.buf, st.link.TdcReading};
        step = run.OnFrame(frame, st.settings, st.acq);
    }
    if (step == CalStep::Publish) PublishCalConfig(st);
    return step;
}

ZeroCalMenuSession::ZeroCalMenuSession(ScopeState& st)
    : st_(st),
      a1Zero_(st.settings.A1_Zero),
      a2Zero_(st.settings.A2_Zero),
      chA1_(st.settings.CH_A1),
      chA2_(st.settings.CH_A2)
{
    for (std::size_t i = 0; i < kRecord.size(); ++i) record_[i] = st.settings.*kRecord[i];
    st.settings.CH_A1 = st.settings.CH_A2 = true;
}

bool ZeroCalMenuSession::Finish(bool ok)
{
    ScopeSettings& s = st_.settings;
    if (!ok)
        for (std::size_t i = 0; i < kRecord.size(); ++i) s.*kRecord[i] = record_[i];
    ClearBuffers(st_, true);
    s.A1_Zero = a1Zero_;
    s.A2_Zero = a2Zero_;
    s.CH_A1 = chA1_;
    s.CH_A2 = chA2_;
    ApplySettings(st_);
    return ok;
}

TdcCalMenuSession::TdcCalMenuSession(ScopeState& st) : st_(st), chD1_(st.settings.CH_D1), chD2_(st.settings.CH_D2)
{
    st.settings.CH_D1 = st.settings.CH_D2 = true;
}

void TdcCalMenuSession::Finish(bool ok, const std::array<std::uint8_t, 4>& values)
{
    if (ok) {
        st_.link.TdcToWrite.Set(values);
        st_.link.TdcWriteRequest = true;
    }
    ClearBuffers(st_, true);
    st_.settings.CH_D1 = chD1_;
    st_.settings.CH_D2 = chD2_;
    ApplySettings(st_);
}

LcMeterMenuSession::LcMeterMenuSession(ScopeState& st)
    : st_(st),
      a1Zero_(st.settings.A1_Zero),
      channels_{st.settings.CH_A1, st.settings.CH_A2, st.settings.CH_D1, st.settings.CH_D2}
{
}

void LcMeterMenuSession::Finish()
{
    ScopeSettings& s = st_.settings;
    ClearBuffers(st_, false);
    s.A1_Zero = a1Zero_;
    s.CH_A1 = channels_[0];
    s.CH_A2 = channels_[1];
    s.CH_D1 = channels_[2];
    s.CH_D2 = channels_[3];
    ApplySettings(st_);
}

}  // namespace kr40
