#pragma once

namespace rp {

// On Linux Qt gives assistive technology a combo box's current text as its name, so a screen
// reader announces "Hex" instead of "Value format". Once installed (before the first combo box
// gets an item), a combo box with an accessible name of its own is announced by that name, with
// its current text as its value; its list stays its child and "show menu" opens it. Regprobe
// keeps its own copy: the two programs share no code.
void nameCombosAfterLabels();

} // namespace rp
