#include "ui/link_label.h"

#include <QFocusEvent>

namespace mk {

namespace {

// A plain label with links takes the focus once for itself and once more for its link (going
// backwards, twice for a link at its start). This one holds one link: it puts the keyboard on the
// link as Tab (or Shift+Tab) enters it and leaves at the next Tab or Shift+Tab, so the link is
// one Tab stop either way; Return opens it.
class LinkLabel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
    void focusInEvent(QFocusEvent* event) override {
        QLabel::focusInEvent(event);
        if (event->reason() == Qt::TabFocusReason)
            QLabel::focusNextPrevChild(true);
        else if (event->reason() == Qt::BacktabFocusReason)
            QLabel::focusNextPrevChild(false);
    }
};

} // namespace

QLabel* makeLinkLabel(const QString& target, const QString& text, QWidget* parent) {
    auto* l = new LinkLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(target, text), parent);
    l->setTextFormat(Qt::RichText);
    l->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    return l;
}

} // namespace mk
