#pragma once

#include <functional>

#include "core/project_state.h"
#include "transfer/sdopdo_editor.h"
#include "transfer/spreadsheet_reader.h"
#include "ui/editor_dialog.h"

class QButtonGroup;
class QLineEdit;
class QListWidget;

namespace mk {

// The stored-PDO table editor (caption "INFOPDO"): on the tab "CanA-ModBus", the entries of the
// selected PDO ("MODBUS"), the receive PDOs ("Correlated" / "Index PDO MODBUS"), the "Index
// MODBUS" field and the two "Selected PDO Byte" groups, with "New", "Modify", "Delete", "Copy"
// and "Paste". Every opening reloads sdo.xml, rpdodef.xml and sdopdo.xml; "OK" writes
// sdopdo.xml. "Import" replaces the entries from a workbook's `sdopdo` sheet, "Export" writes
// `sdopdo.csv`. The window only mirrors its widgets into the editor logic and back.
class TFInfopdoMB : public EditorDialog {
    Q_OBJECT
public:
    TFInfopdoMB(const ProjectState& state, MessageSink& sink, QWidget* parent = nullptr);

    // Handlers, named after the control and the event.
    void FormShow() override;   // opening: the three files
    void lbPdoClick(int row);   // a PDO selected
    void lbIndMBClick(int row); // an entry selected
    void bbNewClick();
    void bbModifyClick();
    void bbDeleteClick();
    void bbCopyClick();
    void bbPasteClick();

private:
    bool validate() override;
    void save() override;
    std::string document() const override;
    bool edited() const override;
    std::filesystem::path transferFolder() const override;
    void exportTable() override;
    void importWorkbook(const std::filesystem::path& workbook) override;

    // The edit field and the groups into the editor, and the editor's state back to the widgets.
    void takeWidgets();
    void showEditor();
    void showEntries();
    // Runs one button's step on the editor with the widgets' current values, then shows the
    // result, also when the step ended in an error (a paste half done shows its index).
    void step(const std::function<void()>& action);
    // The same for a button that changes the table or the edit field: one step of the history.
    void change(const QString& text, const std::function<void()>& action);

    const ProjectState& state_;
    StoredPdoEditor editor_;
    SpreadsheetReader reader_;
    QListWidget* entries_;
    QListWidget* pdos_;
    QLineEdit* index_;
    QButtonGroup* high_;
    QButtonGroup* low_;
};

} // namespace mk
