#include "tables/windows/TFSdoMB.h"

#include <QPushButton>
#include <QTableView>

#include "tables/sdo_schema.h"
#include "transfer/sdo_transfer.h"

namespace mk {

TFSdoMB::TFSdoMB(const ProjectState& state, MessageSink& sink, QWidget* parent)
    : EditorDialog(QStringLiteral("TFSdoMB"), QStringLiteral("SDO"), sink, Transfer::ExportImport,
                   parent),
      state_(state), model_(new SdoGridModel(kSdoColumns, this, &sdo_cell_faults)) {
    resize(960, 640);
    addGridPage(QStringLiteral("CanA-ModBus"), model_);
    // Every column one eleventh of the grid's width.
    setColumnWidthRule([](int width, int) { return width / 11; });
}

void TFSdoMB::FormShow() {
    // Every opening starts from the file: edits of an earlier, cancelled opening are gone.
    const std::filesystem::path file = state_.table_path(sdo_file::schema);
    session().open(file);
    model_->loadTable(load_sdo_table(file, sink_, session().incomplete()));
    grid()->scrollToTop();
    grid()->setCurrentIndex(model_->index(0, 1));
    okButton()->setFocus();
}

bool TFSdoMB::validate() {
    if (const auto failure = validate_sdo_table(model_->table())) {
        sink_.show(*failure, MessageKind::Warning);
        return false;
    }
    return true;
}

void TFSdoMB::save() {
    save_sdo_table(model_->table(), state_.table_path(sdo_file::schema));
}

std::string TFSdoMB::document() const {
    return serialize_sdo_table(model_->table());
}

bool TFSdoMB::edited() const {
    return model_->edited();
}

std::filesystem::path TFSdoMB::transferFolder() const {
    return state_.project_dir;
}

void TFSdoMB::exportTable() {
    export_sdo_csv(model_->table(), state_.project_dir);
}

void TFSdoMB::importWorkbook(const std::filesystem::path& workbook) {
    SdoTable table;
    const auto problem = import_sdo_workbook(table, reader_, workbook);
    // The grid shows what was taken, even when the import stopped early: the message says so.
    model_->setTable(std::move(table));
    if (problem)
        sink_.show(*problem, MessageKind::Warning);
}

} // namespace mk
