#include "ui/text_grid_model.h"

#include <QBrush>
#include <QColor>

#include "ui/qt_text.h"

namespace mk {

namespace {

// Shading of the two column groups and the read-only row numbers; navy titles for CANopen.
const QColor kModbusShade(0xFF, 0xF4, 0xD6);
const QColor kCanopenShade(0xE3, 0xEE, 0xFF);
const QColor kNumberShade(0xEC, 0xEC, 0xEC);
const QColor kNotedRowShade(0xF5, 0xB8, 0x8A);
const QColor kNavy(0x00, 0x00, 0x80);

QVariant shadeBrush(Shade shade) {
    switch (shade) {
    case Shade::Modbus:
        return QBrush(kModbusShade);
    case Shade::Canopen:
        return QBrush(kCanopenShade);
    case Shade::None:
        break;
    }
    return {};
}

} // namespace

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
            return QBrush(note ? kNotedRowShade : kNumberShade);
        if (note && (role == Qt::ToolTipRole || role == Qt::AccessibleDescriptionRole))
            return qs(*note);
        return {};
    }
    const auto column = static_cast<std::size_t>(index.column() - 1);
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
        return shadeBrush(look(column).shade);
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
    if (typed != text) {
        text = std::move(typed);
        emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    }
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
        return QBrush(kNavy);
    return {};
}

Qt::ItemFlags TextGridModel::flags(const QModelIndex& index) const {
    if (!validIndex(index))
        return Qt::NoItemFlags;
    const Qt::ItemFlags shown = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    return index.column() == 0 ? shown : shown | Qt::ItemIsEditable;
}

} // namespace mk
