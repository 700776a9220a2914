#pragma once
// Form_GeneratorSet: the generator modulation dialog, a view over
// GenModModel. Every change is applied at once so the generator follows;
// Cancel rolls the nine modulation settings back.

#include <QDialog>
#include <array>
#include <functional>
#include <map>
#include <string>

#include "acquisition/settings_effect.h"
#include "generator/gen_modulation.h"

class QAbstractButton;
class QCheckBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace kr40 {

struct ScopeState;

class TForm_GeneratorSet : public QDialog {
    Q_OBJECT
public:
    // `carry` carries out the effect of every change and of the roll-back
    // (the main window passes its Carry); without one it goes to the state.
    TForm_GeneratorSet(ScopeState& st, std::function<void(const SettingsEffect&)> carry, QWidget* parent);

    // Menu_GeneratorSetClick: BusyEvent while open, modal show, Cancel
    // roll-back. Returns whether the dialog ended with OK.
    bool Run();

    const GenModModel& Model() const { return m_; }

private:
    void FormShow();
    void ToWidgets();
    void Changed(ModControl control, int value);
    void Carry(const SettingsEffect& e);
    QAbstractButton* Button(const std::string& name) const;

    ScopeState& st_;
    std::function<void(const SettingsEffect&)> carry_;
    GenModModel m_;
    bool syncing_ = false;

    std::map<std::string, QAbstractButton*> buttons_;
    QLabel *typeLabel_, *sourceLabel_, *freqLabel_, *paramLabel_;
    QCheckBox* inv_;
    QScrollBar *fast_, *slow_, *param_;
    QPushButton *ok_, *cancel_;
};

}  // namespace kr40
