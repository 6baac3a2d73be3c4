#pragma once

namespace mk {

// On Linux Qt gives assistive technology a combo box's current text as its name, so a screen
// reader announces "125" instead of "Baud rate". Once installed (at program start, before any
// window is made), a combo box with an accessible name of its own is announced by that name,
// with its current text as its value; its list and its edit field stay its children, and
// "show menu" opens the list.
void nameCombosAfterLabels();

} // namespace mk
