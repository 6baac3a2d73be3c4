#pragma once

#include <QStyledItemDelegate>
#include <string>
#include <string_view>

namespace mk {

// What a cell keeps of a text typed or pasted into it: the text itself, or another (usually
// empty) text when the cell does not take it.
using CellRule = std::string (*)(std::string_view);

// How the editor grids paint a cell: as any item view does, and a cell the checks of "OK" would
// refuse with a frame in the mark's red around it. A cell's editor is framed the same way, with
// the message as its tooltip, while the text being typed would be refused.
class MarkedCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
};

// The cell editor of grid columns with a cell rule: after every key the cell's text runs through
// the rule, and the block paste of the grid applies the same rule to every pasted text, so a
// cell never holds what typing could not have put there.
class CellRuleDelegate : public MarkedCellDelegate {
    Q_OBJECT
public:
    explicit CellRuleDelegate(CellRule rule, QObject* parent = nullptr)
        : MarkedCellDelegate(parent), rule_(rule) {}

    CellRule rule() const { return rule_; }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;

private:
    CellRule rule_;
};

// The cell editor of grid columns that take integer text: a key that makes the text anything
// but integer text (or "0x") empties the cell at once.
class IntegerCellDelegate : public CellRuleDelegate {
    Q_OBJECT
public:
    explicit IntegerCellDelegate(QObject* parent = nullptr);
};

} // namespace mk
