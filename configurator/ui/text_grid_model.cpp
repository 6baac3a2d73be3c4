#include "ui/text_grid_model.h"

#include <QBrush>
#include <QColor>
#include <QGuiApplication>
#include <QPalette>
#include <QUndoCommand>
#include <QUndoStack>
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <tuple>

#include "ui/qt_text.h"

namespace mk {

namespace {

// The shading of the two column groups, the read-only row numbers and noted rows is a tint of
// the palette's base colour, so it stays a light tint on a light theme and a dark one on a dark
// theme; cells that get a background also get the palette's text colour, so the pair always
// reads. CANopen titles are navy, or light blue when the header is dark.
QColor tinted(QColor tint, qreal share) {
    const QColor base = QGuiApplication::palette().color(QPalette::Active, QPalette::Base);
    const auto mix = [share](int from, int to) {
        return qRound(from * (1.0 - share) + to * share);
    };
    return QColor(mix(base.red(), tint.red()), mix(base.green(), tint.green()),
                  mix(base.blue(), tint.blue()));
}

QColor shadeColour(Shade shade) {
    switch (shade) {
    case Shade::Modbus:
        return tinted(QColor(0xFF, 0xC4, 0x40), 0.2);
    case Shade::Canopen:
        return tinted(QColor(0x40, 0x80, 0xFF), 0.14);
    case Shade::None:
        break;
    }
    return {};
}

QColor numberShade() {
    return tinted(QGuiApplication::palette().color(QPalette::Active, QPalette::Text), 0.08);
}

QColor notedRowShade() {
    return tinted(QColor(0xF0, 0x80, 0x30), 0.45);
}

QBrush textBrush() {
    return QBrush(QGuiApplication::palette().color(QPalette::Active, QPalette::Text));
}

QColor canopenTitle() {
    const QColor header = QGuiApplication::palette().color(QPalette::Active, QPalette::Button);
    return header.lightnessF() >= 0.5 ? QColor(0x00, 0x00, 0x80) : QColor(0xA8, 0xC8, 0xFF);
}

} // namespace

QColor cellMarkTint(const QPalette& palette) {
    // Red laid over the cell's own background: light pink under dark text, deep red under light
    // text, so the text keeps its contrast under either kind of palette.
    const QColor base = palette.color(QPalette::Base);
    const bool dark = base.lightness() < 128;
    const QColor red(0xE0, 0x1B, 0x24);
    const double share = dark ? 0.45 : 0.22;
    const auto mix = [&](int b, int r) { return static_cast<int>(b + (r - b) * share + 0.5); };
    return QColor(mix(base.red(), red.red()), mix(base.green(), red.green()),
                  mix(base.blue(), red.blue()));
}

QColor cellMarkFrame(const QPalette& palette) {
    // A red that stands out against the tint: darker on light palettes, lighter on dark ones.
    return palette.color(QPalette::Base).lightness() < 128 ? QColor(0xFF, 0x7B, 0x7B)
                                                           : QColor(0xB0, 0x00, 0x14);
}

// Undo and redo of cell changes: one typed cell, or every cell of one block operation.
class TextGridModel::CellStep final : public QUndoCommand {
public:
    CellStep(TextGridModel& model, const QString& text, std::vector<CellChange> changes)
        : QUndoCommand(text), model_(model), changes_(std::move(changes)) {}

    void undo() override {
        for (auto c = changes_.rbegin(); c != changes_.rend(); ++c)
            model_.putCell(c->row, c->column, c->before);
        shown();
    }
    void redo() override {
        // The change was made before it was recorded.
        if (recorded_) {
            recorded_ = false;
            return;
        }
        for (const CellChange& c : changes_)
            model_.putCell(c.row, c.column, c.after);
        shown();
    }

private:
    void shown() {
        model_.recheck();
        std::size_t top = changes_.front().row, bottom = top;
        std::size_t left = changes_.front().column, right = left;
        for (const CellChange& c : changes_) {
            top = std::min(top, c.row);
            bottom = std::max(bottom, c.row);
            left = std::min(left, c.column);
            right = std::max(right, c.column);
        }
        emit model_.stepApplied(
            model_.index(static_cast<int>(top), static_cast<int>(left) + 1),
            model_.index(static_cast<int>(bottom), static_cast<int>(right) + 1));
    }

    TextGridModel& model_;
    std::vector<CellChange> changes_;
    bool recorded_ = true;
};

void TextGridModel::beginStep(const QString& text) {
    if (!pending_)
        pending_.emplace(text, std::vector<CellChange>{});
}

void TextGridModel::endStep() {
    if (!pending_)
        return;
    auto [text, changes] = std::move(*pending_);
    pending_.reset();
    if (changes.empty())
        return;
    recheck();
    record(text, std::move(changes));
}

void TextGridModel::record(const QString& text, std::vector<CellChange> changes) {
    if (history_)
        history_->push(new CellStep(*this, text, std::move(changes)));
}

void TextGridModel::putCell(std::size_t row, std::size_t column, std::string text) {
    cell(row, column) = std::move(text);
    const QModelIndex i = index(static_cast<int>(row), static_cast<int>(column) + 1);
    emit dataChanged(i, i, {Qt::DisplayRole, Qt::EditRole});
}

void TextGridModel::recheck(bool reset) {
    CellFaults found = checkCells();
    if (found == faults_)
        return;
    std::swap(faults_, found);
    if (reset)
        return;
    // Repaint the rectangle of the cells whose mark came, went or changed its message; both
    // lists are in row order, and a mark usually changes on the row being typed only.
    std::size_t top = SIZE_MAX, bottom = 0, left = SIZE_MAX, right = 0;
    const auto take = [&](const CellFault& f) {
        top = std::min(top, f.row);
        bottom = std::max(bottom, f.row);
        left = std::min(left, f.column);
        right = std::max(right, f.column);
    };
    const auto byPlace = [](const CellFault& a, const CellFault& b) {
        return std::tie(a.row, a.column, a.message) < std::tie(b.row, b.column, b.message);
    };
    std::vector<CellFault> changed;
    std::set_symmetric_difference(found.begin(), found.end(), faults_.begin(), faults_.end(),
                                  std::back_inserter(changed), byPlace);
    std::for_each(changed.begin(), changed.end(), take);
    if (changed.empty())
        return;
    emit dataChanged(
        index(static_cast<int>(top), static_cast<int>(left) + 1),
        index(static_cast<int>(bottom), static_cast<int>(right) + 1),
        {Qt::BackgroundRole, Qt::ToolTipRole, Qt::AccessibleDescriptionRole, FaultRole});
}

const std::string* TextGridModel::faultAt(std::size_t row, std::size_t column) const {
    const auto at = std::lower_bound(
        faults_.begin(), faults_.end(), std::pair(row, column),
        [](const CellFault& f, auto key) { return std::pair(f.row, f.column) < key; });
    return at != faults_.end() && at->row == row && at->column == column ? &at->message : nullptr;
}

QVariant TextGridModel::markData(const std::string& fault, int role) const {
    switch (role) {
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
    case FaultRole:
        return qs(fault);
    case Qt::BackgroundRole:
        return QBrush(cellMarkTint(QGuiApplication::palette()));
    default:
        return {};
    }
}

bool TextGridModel::validIndex(const QModelIndex& index) const {
    return index.isValid() && index.model() == this && !index.parent().isValid() &&
           index.row() >= 0 && index.row() < rowCount() && index.column() >= 0 &&
           index.column() < columnCount();
}

int TextGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(gridRows());
}

int TextGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(gridColumns()) + 1;
}

QVariant TextGridModel::data(const QModelIndex& index, int role) const {
    if (!validIndex(index))
        return {};
    const auto row = static_cast<std::size_t>(index.row());
    if (index.column() == 0) {
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return QString::number(index.row());
        const std::optional<std::string> note = rowNote(row);
        if (role == Qt::BackgroundRole)
            return QBrush(note ? notedRowShade() : numberShade());
        if (role == Qt::ForegroundRole)
            return textBrush();
        if (note && (role == Qt::ToolTipRole || role == Qt::AccessibleDescriptionRole))
            return qs(*note);
        return {};
    }
    const auto column = static_cast<std::size_t>(index.column() - 1);
    if (const std::string* fault = faultAt(row, column))
        if (QVariant mark = markData(*fault, role); mark.isValid())
            return mark;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return qs(cell(row, column));
    case Qt::ToolTipRole:
        // A free label rarely fits its column; its tooltip shows it whole.
        if (look(column).label && !cell(row, column).empty())
            return qs(cell(row, column));
        return {};
    case Qt::BackgroundRole:
        if (look(column).shade == Shade::None)
            return {};
        return QBrush(shadeColour(look(column).shade));
    case Qt::ForegroundRole:
        if (look(column).shade == Shade::None)
            return {};
        return textBrush();
    default:
        return {};
    }
}

bool TextGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!validIndex(index) || role != Qt::EditRole || index.column() == 0)
        return false;
    std::string& text =
        cell(static_cast<std::size_t>(index.row()), static_cast<std::size_t>(index.column() - 1));
    // A cell editor left without a change gives back the text it showed, which for bytes that
    // are not UTF-8 is not what the cell holds: such a cell keeps its bytes.
    std::string typed = kept(value.toString(), text);
    if (typed == text)
        return true;
    CellChange change{static_cast<std::size_t>(index.row()),
                      static_cast<std::size_t>(index.column() - 1), text, typed};
    putCell(change.row, change.column, std::move(typed));
    if (pending_) {
        pending_->second.push_back(std::move(change));
        return true;
    }
    recheck();
    record(QStringLiteral("Typing"), {std::move(change)});
    return true;
}

QVariant TextGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical) {
        if (role == Qt::DisplayRole && section >= 0 && section < rowCount())
            return section;
        return {};
    }
    if (section < 0 || section >= columnCount())
        return {};
    if (section == 0)
        return role == Qt::DisplayRole ? QVariant(QStringLiteral("N")) : QVariant();
    const ColumnLook c = look(static_cast<std::size_t>(section - 1));
    if (role == Qt::DisplayRole)
        return qs(c.title);
    if (role == Qt::ForegroundRole && c.shade == Shade::Canopen)
        return QBrush(canopenTitle());
    return {};
}

Qt::ItemFlags TextGridModel::flags(const QModelIndex& index) const {
    if (!validIndex(index))
        return Qt::NoItemFlags;
    const Qt::ItemFlags shown = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    return index.column() == 0 ? shown : shown | Qt::ItemIsEditable;
}

} // namespace mk
