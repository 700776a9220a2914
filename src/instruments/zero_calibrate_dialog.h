#pragma once
// Form_ZeroCalibrate: the zero calibration run over ZeroCalibration.

#include "instruments/cal_run_dialog.h"
#include "instruments/zero_calibration.h"

namespace kr40 {

class TForm_ZeroCalibrate : public CalRunDialog {
    Q_OBJECT
public:
    TForm_ZeroCalibrate(ScopeState& st, const FrameSet& live, QWidget* parent);
    const ZeroCalibration& Calibration() const { return m_; }

protected:
    void FormShow() override;
    CalStep StartRun() override;
    void CancelRun() override { m_.Cancel(); }
    CalRun& Model() override { return m_; }
    CalDialogView View() const override;

private:
    ZeroCalibration m_;
};

}  // namespace kr40
