#pragma once

class QButtonGroup;

namespace mk {

// Tab enters a group of byte choices at the chosen one (the first when none is chosen) and leaves
// it for the next control; the arrow keys move the choice inside the group. Only the chosen
// button takes the focus from Tab, so where Tab goes does not depend on which byte is chosen as
// long as the window's tab order lists every choice in reading order.
void tabToChosenByte(QButtonGroup* group);

} // namespace mk
