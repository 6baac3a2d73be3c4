#pragma once

#include "core/project_state.h"
#include "tables/sdo_table.h"
#include "transfer/spreadsheet_reader.h"
#include "ui/editor_dialog.h"
#include "ui/text_grid_model.h"

namespace mk {

using SdoGridModel = GridModel<SdoTable>;

// The SDO access table editor (caption "SDO"): one tab "CanA-ModBus" with the 1500-row grid.
// Every opening reloads `sdo.xml`; "OK" validates the whole table and rewrites the file.
// "Import" fills the grid from a workbook's `sdo` sheet, "Export" writes `sdo.csv`; neither
// touches `sdo.xml` until "OK".
class TFSdoMB : public EditorDialog {
    Q_OBJECT
public:
    TFSdoMB(const ProjectState& state, MessageSink& sink, QWidget* parent = nullptr);

    SdoGridModel* model() const { return model_; }

    void FormShow() override; // opening: empty grid, then the file

private:
    bool validate() override;
    void save() override;
    std::string document() const override;
    bool edited() const override;
    std::filesystem::path transferFolder() const override;
    void exportTable() override;
    void importWorkbook(const std::filesystem::path& workbook) override;

    const ProjectState& state_;
    SdoGridModel* model_;
    SpreadsheetReader reader_;
};

} // namespace mk
