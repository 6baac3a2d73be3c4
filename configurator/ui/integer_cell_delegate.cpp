#include "ui/integer_cell_delegate.h"

#include <QColor>
#include <QLineEdit>
#include <QPainter>
#include <QPen>
#include <optional>
#include <string>

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

QWidget* MarkedCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                          const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    auto* line = qobject_cast<QLineEdit*>(editor);
    const auto* model = qobject_cast<const TextGridModel*>(index.model());
    if (!line || !model || index.column() < 1)
        return editor;
    // The text being typed is checked as if it stood in the cell: the editor is framed, and
    // says why, while the text would be refused.
    const auto row = static_cast<std::size_t>(index.row());
    const auto column = static_cast<std::size_t>(index.column() - 1);
    const QColor frame = cellMarkFrame(option.palette);
    connect(line, &QLineEdit::textChanged, line,
            [line, model, row, column, frame](const QString& text) {
                const std::optional<std::string> fault = model->faultWith(row, column, ss(text));
                const QString why = fault ? qs(*fault) : QString();
                line->setToolTip(why);
                line->setAccessibleDescription(why);
                line->setStyleSheet(
                    fault ? QStringLiteral("QLineEdit { border: 2px solid %1; }").arg(frame.name())
                          : QString());
            });
    return editor;
}

QWidget* CellRuleDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    QWidget* editor = MarkedCellDelegate::createEditor(parent, option, index);
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
