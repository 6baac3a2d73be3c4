#pragma once

#include <array>
#include <functional>
#include <optional>

#include "core/project_state.h"
#include "tables/emcy_word_table.h"
#include "ui/editor_dialog.h"

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QTreeView;

namespace mk {

class EmcyListModel;
class RegisterListModel;

// The EMCY word table editor (caption "Word EMCY"): "List of EMCY" (the rows of emcydef.xml,
// shown only), "List of Modbus Register" (the selected row's mappings), the field "Number of
// Modbus Register" and the groups "Hi Byte of Modbus Register" and "Lo Byte of Modbus Register",
// with "New", "Modify" and "Delete". Every opening rebuilds the table from the two files; "OK"
// writes emcyword.xml with one group per EMCY row, "Cancel" discards the edits.
class TFWEmcyMB2 : public EditorDialog {
    Q_OBJECT
public:
    TFWEmcyMB2(const ProjectState& state, MessageSink& sink, QWidget* parent = nullptr);

    void FormShow() override; // opening: everything cleared, then the two files
    void lvEmcyMouseUp();     // picking an EMCY row lists its registers, none selected
    void lvRegisterMouseUp(); // picking a register shows its number and byte choices
    void btnNewClick();       // "New": add a mapping to the selected EMCY row
    void btnModifyClick();    // "Modify": overwrite the selected mapping
    void btnDeleteClick();    // "Delete": remove the selected mapping

private:
    bool validate() override; // nothing is checked at "OK"
    void save() override;
    std::string document() const override;
    bool edited() const override;
    QGroupBox* byteGroup(const QString& title, const QString& name, QButtonGroup*& choices);
    void refillRegisters();
    int choice(const QButtonGroup* group) const;
    void setChoice(QButtonGroup* group, int byteNumber);
    // What Undo and Redo put back: every mapping, and the EMCY row selected when they changed.
    struct Shown {
        std::vector<EmcyWordEntry> entries;
        std::optional<std::size_t> emcy;
        bool operator==(const Shown&) const = default;
    };
    // Runs one button's change of the mappings as one step of the window's history.
    void change(const QString& text, const std::function<void()>& action);

    const ProjectState& state_;
    EmcyWordTable table_;
    std::vector<EmcyWordEntry> loaded_; // the entries as the opening read them
    EmcyListModel* emcyModel_;
    RegisterListModel* registerModel_;
    QTreeView* emcyList_;
    QTreeView* registerList_;
    QLineEdit* register_;
    QButtonGroup* hiByte_ = nullptr;
    QButtonGroup* loByte_ = nullptr;
};

} // namespace mk
