#include "ui/grid_editing.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QTableView>
#include <algorithm>

#include "ui/integer_cell_delegate.h"
#include "ui/qt_text.h"
#include "ui/text_grid_model.h"

namespace mk {

QString cellBlockText(const QList<QStringList>& rows) {
    QStringList lines;
    lines.reserve(rows.size());
    for (const QStringList& cells : rows)
        lines.append(cells.join(QLatin1Char('\t')));
    return lines.join(QLatin1Char('\n'));
}

QList<QStringList> cellBlockOf(const QString& text) {
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (plain.endsWith(QLatin1Char('\n')))
        plain.chop(1);
    QList<QStringList> rows;
    for (const QString& line : plain.split(QLatin1Char('\n')))
        rows.append(line.split(QLatin1Char('\t')));
    return rows;
}

namespace {

// The rectangle of cells the selection spans, or the current cell when nothing is selected.
struct Block {
    int top = 0;
    int left = 0;
    int bottom = -1;
    int right = -1;
    bool empty() const { return bottom < top || right < left; }
};

Block selectedBlock(const QTableView* view) {
    const QModelIndexList cells = view->selectionModel()->selectedIndexes();
    Block b;
    if (cells.isEmpty()) {
        const QModelIndex current = view->currentIndex();
        if (current.isValid())
            b = {current.row(), current.column(), current.row(), current.column()};
        return b;
    }
    b = {cells.first().row(), cells.first().column(), cells.first().row(), cells.first().column()};
    for (const QModelIndex& c : cells) {
        b.top = std::min(b.top, c.row());
        b.left = std::min(b.left, c.column());
        b.bottom = std::max(b.bottom, c.row());
        b.right = std::max(b.right, c.column());
    }
    return b;
}

QModelIndexList selectedOrCurrent(const QTableView* view) {
    QModelIndexList cells = view->selectionModel()->selectedIndexes();
    if (cells.isEmpty() && view->currentIndex().isValid())
        cells.append(view->currentIndex());
    return cells;
}

// Puts `text` into the cell as typing would: through the rule of the cell's editor, if any.
void putText(QTableView* view, const QModelIndex& cell, const QString& text) {
    if (!(cell.flags() & Qt::ItemIsEditable))
        return;
    QString kept = text;
    if (const auto* d = qobject_cast<const CellRuleDelegate*>(view->itemDelegateForIndex(cell)))
        kept = qs(d->rule()(ss(text)));
    view->model()->setData(cell, kept, Qt::EditRole);
}

// The changes of one block operation are one step of the grid's history.
class OneStep {
public:
    OneStep(QAbstractItemModel* model, const QString& text)
        : model_(qobject_cast<TextGridModel*>(model)) {
        if (model_)
            model_->beginStep(text);
    }
    ~OneStep() {
        if (model_)
            model_->endStep();
    }
    OneStep(const OneStep&) = delete;
    OneStep& operator=(const OneStep&) = delete;

private:
    TextGridModel* model_;
};

} // namespace

GridEditing::GridEditing(QTableView* view) : QObject(view), view_(view) {
    view->installEventFilter(this);
}

void GridEditing::clearSelectedCells() {
    const OneStep step(view_->model(), QStringLiteral("Delete"));
    for (const QModelIndex& cell : selectedOrCurrent(view_))
        putText(view_, cell, QString());
}

void GridEditing::copySelectedCells() {
    const Block b = selectedBlock(view_);
    if (b.empty())
        return;
    const QItemSelectionModel* selection = view_->selectionModel();
    const bool anySelected = selection->hasSelection();
    QList<QStringList> rows;
    for (int r = b.top; r <= b.bottom; ++r) {
        QStringList cells;
        for (int c = b.left; c <= b.right; ++c) {
            const QModelIndex cell = view_->model()->index(r, c);
            const bool taken = !anySelected || selection->isSelected(cell);
            cells.append(taken ? cell.data(Qt::EditRole).toString() : QString());
        }
        rows.append(cells);
    }
    QApplication::clipboard()->setText(cellBlockText(rows));
}

void GridEditing::pasteCells() {
    const QString text = QApplication::clipboard()->text();
    const Block b = selectedBlock(view_);
    if (text.isEmpty() || b.empty())
        return;
    const QList<QStringList> rows = cellBlockOf(text);
    QAbstractItemModel* model = view_->model();
    const OneStep step(model, QStringLiteral("Paste"));
    if (rows.size() == 1 && rows.first().size() == 1) {
        for (const QModelIndex& cell : selectedOrCurrent(view_))
            putText(view_, cell, rows.first().first());
        return;
    }
    for (int i = 0; i < rows.size() && b.top + i < model->rowCount(); ++i) {
        const QStringList& cells = rows[i];
        for (int j = 0; j < cells.size() && b.left + j < model->columnCount(); ++j)
            putText(view_, model->index(b.top + i, b.left + j), cells[j]);
    }
}

bool GridEditing::eventFilter(QObject* watched, QEvent* event) {
    // A key a cell's editor passed on to the grid is the editor's, not the grid's.
    if (watched != view_ || QApplication::focusWidget() != view_)
        return QObject::eventFilter(watched, event);
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const bool clear = (key->key() == Qt::Key_Delete || key->key() == Qt::Key_Backspace) &&
                       (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    const bool copy = key->matches(QKeySequence::Copy);
    const bool cut = key->matches(QKeySequence::Cut);
    const bool paste = key->matches(QKeySequence::Paste);
    if (!clear && !copy && !cut && !paste)
        return QObject::eventFilter(watched, event);
    // The grid takes these keys before any shortcut of the window could.
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    if (copy || cut)
        copySelectedCells();
    if (clear || cut)
        clearSelectedCells();
    if (paste)
        pasteCells();
    return true;
}

} // namespace mk
