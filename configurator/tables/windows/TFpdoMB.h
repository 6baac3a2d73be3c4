#pragma once

#include "core/project_state.h"
#include "tables/rpdo_table.h"
#include "transfer/spreadsheet_reader.h"
#include "ui/editor_dialog.h"
#include "ui/text_grid_model.h"

namespace mk {

using RpdoGridModel = GridModel<RpdoTable>;

// The receive-PDO translation table editor (caption "RPDO"): one tab "CanA-ModBus" with a grid
// of 15 or 8 rows, as the PDO layout option in force says at each opening, grown to show every
// row the file holds. Cells take integer text only. "OK" writes `rpdodef.xml` in ascending
// COB-ID order. "Import" fills the grid from a workbook's `rpdodef` sheet, "Export" writes
// `rpdodef.csv`.
class TFpdoMB : public EditorDialog {
    Q_OBJECT
public:
    TFpdoMB(const ProjectState& state, MessageSink& sink, QWidget* parent = nullptr);

    RpdoGridModel* model() const { return model_; }

    void FormShow() override; // opening: N empty rows, then the file

private:
    bool validate() override;
    void save() override;
    std::string document() const override;
    bool edited() const override;
    std::filesystem::path transferFolder() const override;
    void exportTable() override;
    void importWorkbook(const std::filesystem::path& workbook) override;

    const ProjectState& state_;
    RpdoGridModel* model_;
    SpreadsheetReader reader_;
};

} // namespace mk
