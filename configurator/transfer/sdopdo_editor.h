#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/message_sink.h"
#include "core/table_file.h"
#include "tables/sdopdo_table.h"
#include "transfer/workbook.h"

namespace mk {

// The editing state of the stored-PDO window without its widgets: the selected PDO, the lines
// of its entries list, the selected line, the "Index MODBUS" text, the two byte choices and the
// clipboard. The window copies its widgets in before an operation and shows the state after.
//
// Line i of the entries list always stands for entry i of the selected PDO. Lines made when a
// PDO is selected read "Ind MB " and the entry's position; a line added by "New" reads
// "Ind Mb " and the entry count before it; "Delete" removes a line without renumbering the
// others, so after deleting the middle one of three, "New" adds a second line ending in 2.
class StoredPdoEditor {
public:
    // Opening: reloads the three files and clears the selection, the edit text and the choices.
    // The clipboard lives on from earlier openings. Files that could not be read to their end,
    // as far as saving would lose their content, go into `incomplete`.
    void open(const std::filesystem::path& project_dir, MessageSink& sink,
              IncompleteFiles* incomplete = nullptr);

    const StoredPdoTable& table() const { return table_; }
    // Whether any entry differs from what the opening read.
    bool edited() const { return table_ != loaded_; }
    const std::vector<std::string>& lines() const { return lines_; }
    std::optional<std::size_t> selected_pdo() const { return pdo_; }
    std::optional<std::size_t> selected_line() const { return line_; }

    // The "Index MODBUS" text and the two "Selected PDO Byte" groups, as the user set them.
    std::string edit;
    ByteChoice choice;

    // Refills the lines with the PDO's entries and empties the edit text and the choices.
    void select_pdo(std::size_t pdo);
    // Shows the entry's index and byte choice. A poscomp that is not integer text throws
    // ConversionError after the index is shown.
    void select_entry(std::size_t line);

    // Each returns whether it changed an entry. All need what their button needs (a selected PDO
    // for "New", a selected entry for "Modify" and "Delete") and otherwise do nothing.
    bool new_entry(MessageSink& sink);
    bool modify(MessageSink& sink);
    bool remove();
    // "Copy" keeps the edit text and the choices; "Paste" puts the index into the edit text and
    // then the poscomp into the choices, throwing ConversionError when it is not integer text
    // (as it is before anything was copied).
    void copy();
    void paste();

    // "Import": empties the entries list, the selection, the edit text and the choices, then
    // replaces the PDOs' entries from the workbook's sdopdo sheet. The entries list stays empty
    // until a PDO is selected. Returns the message for the user when the import did not run to
    // the end.
    std::optional<std::string> import_workbook(WorkbookReader& reader,
                                               const std::filesystem::path& workbook);

    // Writes sdopdo.xml of the project from every entry.
    void save(const std::filesystem::path& project_dir) const;

    // What Undo and Redo put back: the entries, the lines and the selection, the edit text and
    // the choices. The clipboard and what the opening read are no part of it.
    struct Snapshot {
        StoredPdoTable table;
        std::vector<std::string> lines;
        std::optional<std::size_t> pdo;
        std::optional<std::size_t> line;
        std::string edit;
        ByteChoice choice;
        bool operator==(const Snapshot&) const = default;
    };
    Snapshot snapshot() const { return {table_, lines_, pdo_, line_, edit, choice}; }
    void restore(const Snapshot& s);

private:
    StoredPdoTable table_;
    StoredPdoTable loaded_;
    std::vector<std::string> lines_;
    std::optional<std::size_t> pdo_;
    std::optional<std::size_t> line_;
    TClIndMB clipboard_;
};

} // namespace mk
