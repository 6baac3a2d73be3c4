#pragma once

#include <functional>

#include "core/project_state.h"
#include "tables/emcy_table.h"
#include "ui/editor_dialog.h"

class QLineEdit;
class QTreeView;

namespace mk {

class EmcyListModel;

// The EMCY translation table editor (caption "Set Translate EMCY"): the list of EMCY rows on the
// left, the fields "ID EMCY", "EMCY Error Code" and "Error Register" on the right with "New
// EMCY", "Delete EMCY" and "Modify EMCY" below them. Every opening reloads `emcydef.xml`; "OK"
// writes the list as it stands, "Cancel" discards it.
class TFemcyMB2 : public EditorDialog {
    Q_OBJECT
public:
    TFemcyMB2(const ProjectState& state, MessageSink& sink, QWidget* parent = nullptr);

    void FormShow() override;  // opening: empty list and fields, then the file
    void lvEmcyMouseUp();      // picking a row fills the fields with its texts
    void btnNewEmcyClick();    // "New EMCY": check the fields, append the row
    void btnDeleteEmcyClick(); // "Delete EMCY": remove the selected row
    void btnModifyEmcyClick(); // "Modify EMCY": check the fields, replace the selected row

private:
    bool validate() override; // nothing is checked at "OK"
    void save() override;
    std::string document() const override;
    bool edited() const override;
    EmcyRow typedRow() const;
    void showFailure(std::string_view message);
    // Runs one button's change of the list as one step of the window's history.
    void change(const QString& text, const std::function<void()>& action);

    const ProjectState& state_;
    EmcyTable table_;
    std::vector<EmcyRow> loaded_; // the rows as the opening read them
    EmcyListModel* model_;
    QTreeView* list_;
    QLineEdit* id_;
    QLineEdit* errorCode_;
    QLineEdit* errorRegister_;
};

} // namespace mk
