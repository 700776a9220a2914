#pragma once
// AboutBox: the product name and the software, firmware and FPGA versions.

#include <QDialog>

namespace kr40 {

struct ScopeState;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    TAboutBox(ScopeState& st, QWidget* parent);

private:
    void FormShow();
    ScopeState& st_;
};

}  // namespace kr40
