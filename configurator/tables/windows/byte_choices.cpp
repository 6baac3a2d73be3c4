#include "tables/windows/byte_choices.h"

#include <QAbstractButton>
#include <QButtonGroup>

namespace mk {

void tabToChosenByte(QButtonGroup* group) {
    const auto follow = [group] {
        const QList<QAbstractButton*> choices = group->buttons();
        const QAbstractButton* chosen = group->checkedButton();
        if (!chosen && !choices.isEmpty())
            chosen = choices.first();
        for (QAbstractButton* b : choices)
            b->setFocusPolicy(b == chosen ? Qt::StrongFocus : Qt::ClickFocus);
    };
    follow();
    QObject::connect(group, &QButtonGroup::buttonToggled, group, follow);
}

} // namespace mk
