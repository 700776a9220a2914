#pragma once
// Form_FFTSet: the spectrum settings dialog, a view over FftSetModel. Every
// click is stored and carried out at once so the screen follows; Cancel
// rolls the eleven values back.

#include <QDialog>
#include <array>
#include <functional>
#include <vector>

#include "acquisition/settings_effect.h"
#include "analysis/fft_set.h"

class QAbstractButton;
class QGroupBox;
class QPushButton;

namespace kr40 {

struct ScopeState;

class TForm_FFTSet : public QDialog {
    Q_OBJECT
public:
    // `carry` carries out the effect of every change and of the Cancel
    // roll-back (the main window passes CarrySettingsEffect plus its redraw);
    // without one the effect is carried out on the state directly.
    TForm_FFTSet(ScopeState& st, std::function<void(const SettingsEffect&)> carry, QWidget* parent);

    // Menu_FFTSetClick: BusyEvent while open, modal show, Cancel roll-back.
    // Returns whether the dialog ended with OK.
    bool Run();

    const FftSetModel& Model() const { return m_; }

private:
    void FormShow();
    void ToWidgets();
    void Clicked(FftControl control, int value);
    void Carry(const SettingsEffect& e);

    ScopeState& st_;
    std::function<void(const SettingsEffect&)> carry_;
    FftSetModel m_;

    std::array<QGroupBox*, FftControlCount> groups_{};  // radio groups only
    // A group's radio items, or a check box as its only entry.
    std::array<std::vector<QAbstractButton*>, FftControlCount> buttons_{};
    QPushButton *ok_, *cancel_;
};

}  // namespace kr40
