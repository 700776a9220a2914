#pragma once
// Form_TDCCalibrate: the TDC calibration run over TdcCalibration.

#include "instruments/cal_run_dialog.h"
#include "instruments/tdc_calibration.h"

namespace kr40 {

class TForm_TDCCalibrate : public CalRunDialog {
    Q_OBJECT
public:
    TForm_TDCCalibrate(ScopeState& st, const FrameSet& live, QWidget* parent);
    const TdcCalibration& Calibration() const { return m_; }

protected:
    void FormShow() override;
    CalStep StartRun() override;
    void CancelRun() override { m_.Cancel(); }
    CalRun& Model() override { return m_; }
    CalDialogView View() const override;

private:
    TdcCalibration m_;
};

}  // namespace kr40
