#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/edit_session.h"
#include "core/message_sink.h"

class QAbstractItemModel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class QUndoStack;

namespace mk {

class GridFindBar;

// The shape every table editor shares: a modal dialog with tab pages above a button bar ("OK",
// "Cancel", and "Export", "Import" where the table has them). It owns
// - the reload on opening: FormShow runs when the window is opened, but not when it is restored
//   from the task bar, which would throw away what the user typed;
// - the grid page: a QTableView over a table's model, edited in place, with the column-width
//   rule applied whenever the grid is resized, and the block editing of GridEditing (Delete,
//   copy and paste of selected cells);
// - "OK" as one guarded step: a cell still being edited is committed first; then a file the
//   opening could not read to its end refuses the save (EditSession), validate() checks, the
//   build's capacity check warns of a table "Up date Device" would refuse, a file changed on disk
//   since the opening is not replaced without asking, and save() and accept() end it; a failure
//   or a "No" keeps the window open with nothing written;
// - the unsaved-changes question: "Cancel", Escape and the close button ask once before edits
//   are thrown away, and close at once when nothing changed;
// - "Export" and "Import" as guarded steps: the export, or the file-open dialog for .xls,
//   .xlsx, .ods and .csv files (starting in the project folder; cancelling does nothing) and
//   then the import;
// - the history of the window's changes: Ctrl+Z takes the last one back, Ctrl+Shift+Z and Ctrl+Y
//   make it again. Each opening starts with an empty history; a grid's model records its own
//   changes in it, other editors record each button's change with recordStep;
// - the find bar under the grid (Ctrl+F, F3 and Shift+F3).
// An editor declares its pages in its constructor and implements FormShow (opening the session
// on its file first), validate, save, document and edited.
class EditorDialog : public QDialog {
    Q_OBJECT
public:
    enum class Transfer { None, ExportImport };

    QTabWidget* pages() const { return pages_; }
    QTableView* grid() const { return grid_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    // Null when the table has no spreadsheet transfer.
    QPushButton* exportButton() const { return export_; }
    QPushButton* importButton() const { return import_; }
    // The window's changes since it was opened, for Undo and Redo.
    QUndoStack* history() const { return history_; }
    // Null for an editor without a grid.
    GridFindBar* findBar() const { return findBar_; }

    // Handlers shared by every editor.
    virtual void FormShow() = 0; // opening: reload the table file
    void FormResize();           // the column-width rule over the grid's width
    void BitBtn1Click();         // "OK": validate, save, close
    void BitBtn2Click();         // "Cancel"
    void BtnExportClick();       // "Export": the table as CSV into the project folder
    void BtnImportClick();       // "Import": the table from a workbook the user chooses

    // Asks for the workbook to import, starting in `folder`; an empty text when cancelled.
    // The program shows the file-open dialog; tests answer in its place.
    using WorkbookChooser = std::function<QString(QWidget* parent, const QString& folder)>;
    void setWorkbookChooser(WorkbookChooser chooser);

    // The reason "Up date Device" would stop for lack of room if `file` held `document`, or
    // nothing. The build lives above the table windows, so the program hands its check in.
    using CapacityCheck = std::function<std::optional<std::string>(
        const std::filesystem::path& file, std::string_view document)>;
    void setCapacityCheck(CapacityCheck check);

    // "Cancel", Escape and the close button: asks before throwing edits away.
    void reject() override;

protected:
    EditorDialog(const QString& objectName, const QString& caption, MessageSink& sink,
                 Transfer transfer, QWidget* parent);

    // A tab page holding the grid over `model`; the grid is named by the page for assistive
    // technology, since it has no label of its own.
    QTableView* addGridPage(const QString& title, QAbstractItemModel* model);
    // A field whose own Undo has nothing left to take back passes Ctrl+Z to the window, so the
    // window's last change can be undone while the keyboard is still in the field.
    void shareUndoKeys(QLineEdit* field);
    // Width of each column from the grid's width and the number of columns.
    void setColumnWidthRule(std::function<int(int gridWidth, int columns)> rule);

    // "OK": false when a check failed (its message already shown); throwing ends the step with
    // the error's text. save() writes the table file in full.
    virtual bool validate() = 0;
    virtual void save() = 0;
    // The document save() would write, for the capacity check.
    virtual std::string document() const = 0;
    // Whether the table differs from what the opening read.
    virtual bool edited() const = 0;

    // The file this window writes, from the opening on: FormShow opens it before reading.
    EditSession& session() { return session_; }

    // Editors with spreadsheet transfer implement the three below.
    // Where the file-open dialog starts and the CSV file goes: the project folder.
    virtual std::filesystem::path transferFolder() const { return {}; }
    // Writes the CSV file; throwing ends the step with the error's text, the table untouched.
    virtual void exportTable() {}
    // Fills the table from the chosen workbook.
    virtual void importWorkbook(const std::filesystem::path&) {}

    MessageSink& sink_;

    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void commitOpenEditor();
    void addHistoryKeys();
    void addFindKeys();
    // False when the user does not want to save a table the build would refuse.
    bool capacityAllows();

    QTabWidget* pages_;
    QTableView* grid_ = nullptr;
    QPushButton* ok_;
    QPushButton* cancel_;
    QPushButton* export_ = nullptr;
    QPushButton* import_ = nullptr;
    QUndoStack* history_;
    GridFindBar* findBar_ = nullptr;
    std::function<int(int, int)> columnWidth_;
    WorkbookChooser chooseWorkbook_;
    CapacityCheck capacityCheck_;
    EditSession session_;
};

} // namespace mk
