#pragma once

#include "core/project_state.h"
#include "tables/tpdo_table.h"
#include "ui/editor_dialog.h"
#include "ui/text_grid_model.h"

class QLabel;

namespace mk {

using TpdoGridModel = GridModel<TpdoTable>;

// The transmit-PDO table editor (caption "Transmit PDO"): a title band above a grid of 3 or 8
// rows, as the PDO layout option in force says at each opening, grown to show every row the
// file holds. Cells are free text; "OK" checks every row, then writes `Transmit_Pdo.xml` in
// grid order. A failed write keeps the window open with everything typed.
class TFTPdoMB : public EditorDialog {
    Q_OBJECT
public:
    TFTPdoMB(const ProjectState& state, MessageSink& sink, QWidget* parent = nullptr);

    TpdoGridModel* model() const { return model_; }

    void FormShow() override; // opening: N empty rows, then the file

private:
    bool validate() override;
    void save() override;
    std::string document() const override;
    bool edited() const override;

    const ProjectState& state_;
    TpdoGridModel* model_;
};

} // namespace mk
