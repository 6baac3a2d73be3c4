#include "tables/windows/emcy_list_models.h"

#include "ui/qt_text.h"

namespace mk {

namespace {

static_assert(kEmcyColumnTitles.size() == EmcyListModel::ColumnCount);

bool isCell(const QModelIndex& index, std::size_t rows, int columns) {
    return index.isValid() && !index.parent().isValid() && index.row() >= 0 &&
           static_cast<std::size_t>(index.row()) < rows && index.column() >= 0 &&
           index.column() < columns;
}

} // namespace

int EmcyListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int EmcyListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant EmcyListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !isCell(index, rows_.size(), ColumnCount))
        return {};
    const EmcyRow& r = rows_[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
    case IdEmcy:
        return qs(r.id);
    case ErrorCode:
        return qs(r.error_code);
    default:
        return qs(r.error_register);
    }
}

QVariant EmcyListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return {};
    return QString::fromLatin1(kEmcyColumnTitles[static_cast<std::size_t>(section)]);
}

void EmcyListModel::setRows(std::vector<EmcyRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void EmcyListModel::appendRow(EmcyRow row) {
    const int at = static_cast<int>(rows_.size());
    beginInsertRows({}, at, at);
    rows_.push_back(std::move(row));
    endInsertRows();
}

void EmcyListModel::replaceRow(std::size_t position, EmcyRow row) {
    if (position >= rows_.size())
        return;
    rows_[position] = std::move(row);
    const int r = static_cast<int>(position);
    emit dataChanged(index(r, 0), index(r, ColumnCount - 1), {Qt::DisplayRole});
}

void EmcyListModel::removeRowAt(std::size_t position) {
    if (position >= rows_.size())
        return;
    const int r = static_cast<int>(position);
    beginRemoveRows({}, r, r);
    rows_.erase(rows_.begin() + r);
    endRemoveRows();
}

int RegisterListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(mappings_.size());
}

int RegisterListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
}

QVariant RegisterListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !isCell(index, mappings_.size(), 1))
        return {};
    return QString::number(mappings_[static_cast<std::size_t>(index.row())].word);
}

QVariant RegisterListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section != 0)
        return {};
    return QString::fromLatin1(kRegisterColumnTitle);
}

void RegisterListModel::setMappings(std::vector<TWordObj> mappings) {
    beginResetModel();
    mappings_ = std::move(mappings);
    endResetModel();
}

} // namespace mk
