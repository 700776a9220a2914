#pragma once
// The OK and Cancel buttons at the foot of the program's dialogs.

class QDialog;
class QHBoxLayout;
class QPushButton;

namespace kr40 {

// Makes the two buttons (named Button_OK and Button_Cancel, neither a default
// button, Cancel also taking Escape) and returns their row, right-aligned.
// The caller sets their captions.
QHBoxLayout* OkCancelRow(QDialog& dialog, QPushButton*& ok, QPushButton*& cancel);

}  // namespace kr40
