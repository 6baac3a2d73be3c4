#include "tables/windows/TFpdoMB.h"

#include <QPushButton>
#include <QTableView>
#include <cmath>

#include "tables/rpdo_schema.h"
#include "transfer/rpdo_transfer.h"
#include "ui/integer_cell_delegate.h"

namespace mk {

TFpdoMB::TFpdoMB(const ProjectState& state, MessageSink& sink, QWidget* parent)
    : EditorDialog(QStringLiteral("TFpdoMB"), QStringLiteral("RPDO"), sink, Transfer::ExportImport,
                   parent),
      state_(state), model_(new RpdoGridModel(kRpdoColumns, this, &rpdo_cell_faults)) {
    resize(560, 520);
    addGridPage(QStringLiteral("CanA-ModBus"), model_);
    // Every cell takes integer text: a key that makes it anything else empties the cell.
    grid()->setItemDelegate(new IntegerCellDelegate(grid()));
    // Every column the grid's width shared out, less 10 pixels.
    setColumnWidthRule([](int width, int columns) {
        return static_cast<int>(std::lround(static_cast<double>(width) / columns)) - 10;
    });
}

void TFpdoMB::FormShow() {
    // The row count follows the PDO layout option as it stands now; the grid is rebuilt from the
    // file, so nothing typed before a "Cancel" survives.
    const std::filesystem::path file = state_.table_path(rpdo_file::schema);
    session().open(file);
    model_->loadTable(
        load_rpdo_table(file, rpdo_layout_rows(state_.pdo_layout), sink_, session().incomplete()));
    grid()->scrollToTop();
    grid()->setCurrentIndex(model_->index(0, 1));
    okButton()->setFocus();
}

bool TFpdoMB::validate() {
    // No ranges are checked; a COB-ID that is not integer text stops the save itself.
    return true;
}

void TFpdoMB::save() {
    save_rpdo_table(model_->table(), state_.table_path(rpdo_file::schema));
}

std::string TFpdoMB::document() const {
    return serialize_rpdo_table(model_->table());
}

bool TFpdoMB::edited() const {
    return model_->edited();
}

std::filesystem::path TFpdoMB::transferFolder() const {
    return state_.project_dir;
}

void TFpdoMB::exportTable() {
    export_rpdo_csv(model_->table(), state_.project_dir);
}

void TFpdoMB::importWorkbook(const std::filesystem::path& workbook) {
    RpdoTable table = model_->table();
    const auto problem = import_rpdo_workbook(table, reader_, workbook);
    // The grid shows what was taken, even when the import stopped early: the message says so.
    model_->setTable(std::move(table));
    if (problem)
        sink_.show(*problem, MessageKind::Warning);
}

} // namespace mk
