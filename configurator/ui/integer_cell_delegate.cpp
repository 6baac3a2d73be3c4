#include "ui/integer_cell_delegate.h"

#include <QLineEdit>

#include "core/integer_text.h"
#include "ui/qt_text.h"

namespace mk {

QWidget* CellRuleDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        const CellRule rule = rule_;
        connect(line, &QLineEdit::textEdited, line, [line, rule](const QString& text) {
            const QString kept = qs(rule(ss(text)));
            if (kept != text)
                line->setText(kept);
        });
    }
    return editor;
}

IntegerCellDelegate::IntegerCellDelegate(QObject* parent)
    : CellRuleDelegate(&filter_integer_cell, parent) {}

} // namespace mk
