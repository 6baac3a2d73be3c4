#include "ui/text_grid_model.h"

#include <QBrush>
#include <QColor>
#include <QGuiApplication>
#include <QPalette>

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
