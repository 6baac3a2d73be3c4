#include "ui/integer_cell_delegate.h"

#include <QLineEdit>
#include <QPainter>
#include <QPen>

#include "core/integer_text.h"
#include "ui/qt_text.h"
#include "ui/text_grid_model.h"

namespace mk {

void MarkedCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    if (!index.data(TextGridModel::FaultRole).isValid())
        return;
    painter->save();
    QPen pen(cellMarkFrame(option.palette));
    pen.setWidth(2);
    pen.setJoinStyle(Qt::MiterJoin);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(QRectF(option.rect).adjusted(1, 1, -1, -1));
    painter->restore();
}

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
