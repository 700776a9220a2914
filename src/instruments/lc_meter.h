#pragma once
// Form_LCMeter's model: the fixed measuring configuration (generator sine as
// the test signal, A1 alone at 200 mV/div, 10000 samples at 10 ms/div), the
// buttons' state machine and the calibration table. The measurement itself
// is not part of this program yet; the information text says so.

#include <array>
#include <string>
#include <vector>

#include "core/texts.h"

namespace kr40 {

struct AcqConfig;
struct ScopeSettings;

// A complex number as a pair of doubles.
struct LcComplex {
    double re = 0, im = 0;
    LcComplex& operator*=(const LcComplex& o);
    LcComplex& operator-=(const LcComplex& o);
};

struct LcMeterView {
    std::string caption, calibrate, start, stop, exit;  // caption and button captions
    std::vector<std::string> memo;                      // Memo_Info, one entry per line
    std::string labelZ;                                 // Label_Z
    bool calibrateEnabled = true, startEnabled = false, stopEnabled = false;
    int progress = 0;
};

class LcMeter {
public:
    // FormShow: texts, memo, table reset, channel items (A1 only) and the
    // configuration written into `acq` (and A1_Zero into `s`). The caller
    // turns the running flag on and the single flag off, publishes `acq`
    // afterwards and focuses Exit.
    void Show(ScopeSettings& s, AcqConfig& acq);
    void Calibrate();  // Button_ClbrClick
    void Start();      // Button_StartClick
    void Stop();       // Button_StopClick
    void Close();      // FormClose: the measuring flag clears

    bool Measuring() const;
    bool RestartPending() const;
    bool CalibrateRequested() const;
    const std::array<LcComplex, 6>& Offsets() const;
    const std::array<LcComplex, 6>& Factors() const;
    const LcMeterView& View() const;

private:
    void ResetTable();

    LcMeterView view_;
    bool measuring_ = false;
    bool restart_ = true;
    bool calibrate_ = false;  // Calibrate was pressed since the dialog opened
    std::array<LcComplex, 6> offsets_{};
    std::array<LcComplex, 6> factors_ = {{{1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}}};
};

}  // namespace kr40
