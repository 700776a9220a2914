#pragma once
// Form_ColorSet: the twelve screen colours, each change shown live; Cancel
// puts back the colours the dialog opened with.

#include <QDialog>
#include <array>
#include <functional>

#include "acquisition/scope_settings.h"

class QLabel;

namespace kr40 {

struct ScopeState;
class Prompts;

class TForm_ColorSet : public QDialog {
    Q_OBJECT
public:
    // `applyAndRedraw` is the main window's apply-and-redraw entry.
    TForm_ColorSet(ScopeState& st, Prompts& prompts, std::function<void()> applyAndRedraw, QWidget* parent);

    // Shows the dialog modally (FormShow first). Returns true when the
    // settings file must be written: every close but Cancel.
    bool Run();

private:
    void FormShow();
    void PaintSwatches();
    void RoleClicked(int role);
    void DefaultClicked();

    ScopeState& st_;
    Prompts& prompts_;
    std::function<void()> apply_;
    std::array<QLabel*, ColorCount> swatches_{};
};

}  // namespace kr40
