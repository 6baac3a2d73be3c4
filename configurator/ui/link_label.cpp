#include "ui/link_label.h"

namespace mk {

QLabel* makeLinkLabel(const QString& target, const QString& text, QWidget* parent) {
    auto* l = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(target, text), parent);
    l->setTextFormat(Qt::RichText);
    l->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    return l;
}

} // namespace mk
