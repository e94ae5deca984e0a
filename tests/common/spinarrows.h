// The two arrows of a spin button: a state from which of them is enabled, and the half to
// press for each. Header-only over the controls: the code that includes it links
// sorvane_controls itself.
#pragma once

#include "ZSpinButton.h"

#include <QAbstractButton>
#include <QPoint>

namespace testcommon {

inline TZSpinButtonState Arrows(bool less, bool more) {
    TZSpinButtonState state;
    if (less) state |= zsbsLess;
    if (more) state |= zsbsMore;
    return state;
}

// The upper half steps up (more), the lower one down.
inline QAbstractButton* ArrowHalf(TZSpinButton* button, bool more) {
    return more ? button->UpperHalf() : button->LowerHalf();
}

// The middle of that half, in the button's coordinates: where a press lands on it.
inline QPoint ArrowCentre(TZSpinButton* button, bool more) {
    return ArrowHalf(button, more)->geometry().center();
}

} // namespace testcommon
