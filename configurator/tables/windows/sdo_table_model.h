#pragma once

#include <QAbstractTableModel>

#include "tables/sdo_table.h"

namespace mk {

// The SDO grid: the logic's table seen as ten columns, "N" (the row number, read-only) followed
// by the nine cells of each row. Edits go straight into the table's texts; nothing is checked
// until the window validates the whole table.
class SdoTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Columns {
        N,
        AddrWord,
        HiWord,
        LoWord,
        RW,
        ID,
        Index,
        SubIndex,
        NByte,
        Mnemonico,
        ColumnCount
    };

    // The two column groups the grid shades: the Modbus side and the CANopen side.
    static bool isModbusSide(int column) { return column >= AddrWord && column <= LoWord; }
    static bool isCanopenSide(int column) { return column >= ID && column <= Mnemonico; }

    explicit SdoTableModel(QObject* parent = nullptr);

    const SdoTable& table() const { return table_; }
    // Replaces every row (opening the window, importing a spreadsheet).
    void setTable(SdoTable table);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    SdoTable table_;
};

} // namespace mk
