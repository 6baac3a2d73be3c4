#pragma once

#include <QAbstractTableModel>
#include <cstddef>
#include <vector>

#include "tables/emcy_table.h"
#include "tables/emcy_word_table.h"

namespace mk {

// The EMCY rows as both EMCY windows list them: three read-only columns "ID EMCY", "Error Code"
// and "Error Register" showing the row's texts. The window changes the list row by row, so a
// view keeps its selection across a change that does not remove the selected row.
class EmcyListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { IdEmcy, ErrorCode, ErrorRegister, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    const std::vector<EmcyRow>& rows() const { return rows_; }
    void setRows(std::vector<EmcyRow> rows);
    void appendRow(EmcyRow row);
    void replaceRow(std::size_t position, EmcyRow row);
    void removeRowAt(std::size_t position);

private:
    std::vector<EmcyRow> rows_;
};

// The register numbers of one EMCY row's mappings, in mapping order, in decimal: one read-only
// column "Modbus Register".
class RegisterListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Refills the list; no line stays selected.
    void setMappings(std::vector<TWordObj> mappings);

private:
    std::vector<TWordObj> mappings_;
};

} // namespace mk
