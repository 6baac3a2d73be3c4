#include "ui/find_bar.h"

#include <QAbstractItemModel>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <optional>

#include "core/integer_text.h"
#include "ui/qt_text.h"

namespace mk {

namespace {

// Blanks around a search text are no part of what the user looks for.
std::optional<std::int32_t> numberOf(const QString& text) {
    return parse_integer_text(ss(text.trimmed()));
}

} // namespace

bool cellMatches(const QString& cell, const QString& query) {
    const QString wanted = query.trimmed();
    if (wanted.isEmpty())
        return false;
    if (const auto value = numberOf(wanted))
        if (const auto held = numberOf(cell))
            return *held == *value;
    return cell.contains(wanted, Qt::CaseInsensitive);
}

GridFindBar::GridFindBar(QTableView* grid, QWidget* parent)
    : QWidget(parent), grid_(grid), field_(new QLineEdit(this)), status_(new QLabel(this)) {
    setObjectName(QStringLiteral("findBar"));
    field_->setObjectName(QStringLiteral("findEdit"));
    field_->setAccessibleName(QStringLiteral("Find"));
    field_->setClearButtonEnabled(true);
    status_->setObjectName(QStringLiteral("findStatus"));
    auto* label = new QLabel(QStringLiteral("Find"), this);
    label->setBuddy(field_);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->addWidget(label);
    layout->addWidget(field_, 1);
    layout->addWidget(status_, 1);
    field_->installEventFilter(this);
    connect(field_, &QLineEdit::textEdited, status_, &QLabel::clear);
    hide();
}

void GridFindBar::open() {
    show();
    field_->setFocus(Qt::ShortcutFocusReason);
    field_->selectAll();
}

bool GridFindBar::findNext(bool forward) {
    const QAbstractItemModel* model = grid_->model();
    const int rows = model->rowCount();
    const int columns = model->columnCount() - 1; // the row numbers are not searched
    if (rows == 0 || columns <= 0 || field_->text().trimmed().isEmpty()) {
        status_->clear();
        return false;
    }
    const QString query = field_->text();
    // Cells in reading order; the row numbers in column 0 are left out.
    const int count = rows * columns;
    const QModelIndex current = grid_->currentIndex();
    int at = current.isValid() && current.column() > 0
                 ? current.row() * columns + current.column() - 1
                 : (forward ? -1 : count);
    for (int step = 0; step < count; ++step) {
        at = ((forward ? at + 1 : at - 1) % count + count) % count;
        const QModelIndex cell = model->index(at / columns, at % columns + 1);
        if (cellMatches(cell.data(Qt::EditRole).toString(), query)) {
            grid_->setCurrentIndex(cell);
            grid_->scrollTo(cell);
            status_->clear();
            return true;
        }
    }
    status_->setText(QStringLiteral("Not found"));
    return false;
}

bool GridFindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched != field_ || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    // Enter searches and Escape closes the bar; neither reaches the window, where they would
    // press a button or close it. The grid takes the keyboard back.
    switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        findNext();
        return true;
    case Qt::Key_Escape:
        hide();
        grid_->setFocus(Qt::OtherFocusReason);
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

} // namespace mk
