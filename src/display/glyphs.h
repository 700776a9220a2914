#pragma once
// The look of the speed buttons: their style sheet and the small pictures of
// the picture buttons (coupling, trigger edge, generator wave shapes, the
// trigger dialog's advanced modes).

#include <QIcon>

namespace kr40 {

// Style sheet for a panel of speed buttons: a button that is down reads as
// down at a glance, whatever the platform's style.
const char* SpeedButtonStyle();

QIcon CouplingIcon(bool ac);     // DC: a sine over a bar; AC: the sine alone
QIcon EdgeIcon(bool falling);    // a rising or a falling step
QIcon ShapeIcon(int shape);      // GenShapeItem
QIcon TrigModeIcon(int button);  // TrigModeButton: the falling one of a pair is the rising one upside down

}  // namespace kr40
