#include "tables/windows/sdo_table_model.h"

#include <QBrush>
#include <QColor>

namespace mk {

namespace {

constexpr const char* kTitles[SdoTableModel::ColumnCount] = {
    "N", "Addr Word", "Hi Word", "Lo Word", "R/W", "ID", "Index", "SubIndex", "nByte", "mnemonico"};

// Shading of the two column groups, the read-only row numbers, and the CANopen titles.
const QColor kModbusShade(0xFF, 0xF4, 0xD6);
const QColor kCanopenShade(0xE3, 0xEE, 0xFF);
const QColor kNumberShade(0xEC, 0xEC, 0xEC);
const QColor kNavy(0x00, 0x00, 0x80);

bool validIndex(const QModelIndex& index) {
    return index.isValid() && !index.parent().isValid() && index.row() >= 0 &&
           index.row() < static_cast<int>(SdoTable::kRows) && index.column() >= 0 &&
           index.column() < SdoTableModel::ColumnCount;
}

} // namespace

SdoTableModel::SdoTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void SdoTableModel::setTable(SdoTable table) {
    beginResetModel();
    table_ = std::move(table);
    endResetModel();
}

int SdoTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.size());
}

int SdoTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SdoTableModel::data(const QModelIndex& index, int role) const {
    if (!validIndex(index))
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (column == N)
            return QString::number(index.row());
        return QString::fromStdString(
            table_.row(static_cast<std::size_t>(index.row())).*
            kSdoColumns[static_cast<std::size_t>(column - AddrWord)].field);
    case Qt::ToolTipRole:
        // The label is the one free text of a row and rarely fits its eleventh of the grid.
        if (column == Mnemonico) {
            const std::string& text = table_.row(static_cast<std::size_t>(index.row())).mnemonico;
            if (!text.empty())
                return QString::fromStdString(text);
        }
        return {};
    case Qt::BackgroundRole:
        if (column == N)
            return QBrush(kNumberShade);
        if (isModbusSide(column))
            return QBrush(kModbusShade);
        if (isCanopenSide(column))
            return QBrush(kCanopenShade);
        return {};
    default:
        return {};
    }
}

bool SdoTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!validIndex(index) || role != Qt::EditRole || index.column() == N)
        return false;
    std::string& cell = table_.row(static_cast<std::size_t>(index.row())).*
                        kSdoColumns[static_cast<std::size_t>(index.column() - AddrWord)].field;
    std::string text = value.toString().toStdString();
    if (text != cell) {
        cell = std::move(text);
        emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    }
    return true;
}

QVariant SdoTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical) {
        if (role == Qt::DisplayRole && section >= 0 && section < rowCount())
            return section;
        return {};
    }
    if (section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(kTitles[section]);
    if (role == Qt::ForegroundRole && isCanopenSide(section))
        return QBrush(kNavy);
    return {};
}

Qt::ItemFlags SdoTableModel::flags(const QModelIndex& index) const {
    if (!validIndex(index))
        return Qt::NoItemFlags;
    if (index.column() == N)
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemNeverHasChildren;
}

} // namespace mk
