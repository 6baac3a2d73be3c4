#include "ui/integer_cell_delegate.h"

#include <QLineEdit>

#include "core/integer_text.h"
#include "ui/qt_text.h"

namespace mk {

QWidget* IntegerCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                           const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        connect(line, &QLineEdit::textEdited, line, [line](const QString& text) {
            const QString kept = qs(filter_integer_cell(ss(text)));
            if (kept != text)
                line->setText(kept);
        });
    }
    return editor;
}

} // namespace mk
