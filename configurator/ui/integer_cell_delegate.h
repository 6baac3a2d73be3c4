#pragma once

#include <QStyledItemDelegate>

namespace mk {

// The cell editor of grid columns that take integer text: after every key the cell's text runs
// through filter_integer_cell, so a key that makes it anything but integer text (or "0x")
// empties the cell at once.
class IntegerCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
};

} // namespace mk
