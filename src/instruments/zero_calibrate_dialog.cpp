#include "instruments/zero_calibrate_dialog.h"

#include "state/scope_state.h"

namespace kr40 {

TForm_ZeroCalibrate::TForm_ZeroCalibrate(ScopeState& st, const FrameSet& live, QWidget* parent)
    : CalRunDialog(st, live, 2, parent)
{
    setObjectName("Form_ZeroCalibrate");
}

void TForm_ZeroCalibrate::FormShow()
{
    m_.Show(st_.settings, st_.settings.Debug_kr);
}

CalStep TForm_ZeroCalibrate::StartRun()
{
    return m_.Start(st_.settings, st_.acq);
}

CalDialogView TForm_ZeroCalibrate::View() const
{
    const ZeroCalView& z = m_.View();
    return CalDialogView{z.caption,
                         z.instruction,
                         z.status,
                         z.detail,
                         z.start,
                         z.ok,
                         z.cancel,
                         z.startEnabled,
                         z.okEnabled,
                         z.detailVisible,
                         z.progress,
                         z.progressMax,
                         z.focus == ZeroCalView::Focus::Ok};
}

}  // namespace kr40
