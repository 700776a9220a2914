#pragma once
// Form_S_Decoders: the serial decoder dialog, a view over DecoderDialogModel.
// Every change is stored and redrawn at once; Cancel rolls the fifteen
// decoder settings back. The text window follows the decoded frames.

#include <QDialog>
#include <array>
#include <functional>
#include <string>

#include "acquisition/settings_effect.h"
#include "decoders/decoder_dialog_model.h"

class QComboBox;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace kr40 {

struct ScopeState;

class TForm_S_Decoders : public QDialog {
    Q_OBJECT
public:
    // `carry` carries out the effect of every change and of the Cancel
    // roll-back (the main window passes its Carry); without one it goes to
    // the state.
    TForm_S_Decoders(ScopeState& st, std::function<void(const SettingsEffect&)> carry, QWidget* parent);

    // Menu_SerialDecodersClick: BusyEvent while open, modal show, Cancel
    // roll-back. Returns whether the dialog ended with OK.
    bool Run();

    const DecoderDialogModel& Model() const { return m_; }

private:
    void FormShow();
    void ToWidgets();
    void Changed(DecControl control, int value);
    void Edited(DecEdit edit, const QString& text);
    void Carry(const SettingsEffect& e);
    void ShowText();

    ScopeState& st_;
    std::function<void(const SettingsEffect&)> carry_;
    DecoderDialogModel m_;
    bool syncing_ = false;

    std::array<QLabel*, DecControlCount> labels_{};
    std::array<QComboBox*, DecControlCount> lists_{};   // lists only
    std::array<QCheckBox*, DecControlCount> checks_{};  // check boxes only
    std::array<QRadioButton*, 2> order_{};              // RadioGroup_MSB_First
    QLabel* orderTitle_ = nullptr;
    std::array<QLabel*, DecEditCount> editLabels_{};
    std::array<QLineEdit*, DecEditCount> edits_{};
    QPlainTextEdit* memo_ = nullptr;
    std::string shownText_;  // what the text window shows
    QTimer* textTimer_ = nullptr;
    QPushButton *ok_ = nullptr, *cancel_ = nullptr;
};

}  // namespace kr40
