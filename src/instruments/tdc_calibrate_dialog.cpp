#include "instruments/tdc_calibrate_dialog.h"

#include "state/scope_state.h"

namespace kr40 {

TForm_TDCCalibrate::TForm_TDCCalibrate(ScopeState& st, const FrameSet& live, QWidget* parent)
    : CalRunDialog(st, live, 6, parent)
{
    setObjectName("Form_TDCCalibrate");
}

void TForm_TDCCalibrate::FormShow()
{
    const DeviceIdentity id = st_.link.identity.Get();
    m_.Show(st_.settings, id.FirmVer, id.TdcFresh, id.Tdc);
}

CalStep TForm_TDCCalibrate::StartRun()
{
    return m_.Start(st_.settings, st_.acq);
}

CalDialogView TForm_TDCCalibrate::View() const
{
    const TdcCalView& t = m_.View();
    return CalDialogView{t.caption,
                         t.instruction,
                         t.status,
                         t.result,
                         t.start,
                         t.ok,
                         t.cancel,
                         t.startEnabled,
                         t.okEnabled,
                         true,
                         t.progress,
                         t.progressMax,
                         t.focus == TdcCalView::Focus::Ok};
}

}  // namespace kr40
