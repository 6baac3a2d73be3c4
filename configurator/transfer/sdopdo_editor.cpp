#include "transfer/sdopdo_editor.h"

#include "core/integer_text.h"
#include "tables/sdopdo_schema.h"
#include "transfer/sdopdo_transfer.h"

namespace mk {

void StoredPdoEditor::open(const std::filesystem::path& project_dir, MessageSink& sink,
                           IncompleteFiles* incomplete) {
    lines_.clear();
    pdo_.reset();
    line_.reset();
    edit.clear();
    choice = {};
    table_ = load_stored_pdo_table(project_dir, sink, incomplete);
    loaded_ = table_;
}

std::optional<std::string> StoredPdoEditor::import_workbook(WorkbookReader& reader,
                                                            const std::filesystem::path& workbook) {
    // No PDO stays selected: its lines would no longer stand for its entries.
    lines_.clear();
    pdo_.reset();
    line_.reset();
    edit.clear();
    choice = {};
    return import_sdopdo_workbook(table_, reader, workbook);
}

void StoredPdoEditor::select_pdo(std::size_t pdo) {
    if (pdo >= table_.pdos.size())
        return;
    pdo_ = pdo;
    line_.reset();
    lines_.clear();
    const std::size_t count = table_.pdos[pdo].entries.size();
    for (std::size_t i = 0; i < count; ++i)
        lines_.push_back("Ind MB " + std::to_string(i));
    edit.clear();
    choice = {};
}

void StoredPdoEditor::select_entry(std::size_t line) {
    if (!pdo_ || line >= lines_.size())
        return;
    line_ = line;
    const TClIndMB& entry = table_.pdos[*pdo_].entries[line];
    edit = entry.index;
    choice = byte_choice_of(str_to_int(entry.poscomp));
}

bool StoredPdoEditor::new_entry(MessageSink& sink) {
    if (!pdo_ || !index_is_unique(table_, edit, nullptr, sink))
        return false;
    std::vector<TClIndMB>& entries = table_.pdos[*pdo_].entries;
    lines_.push_back("Ind Mb " + std::to_string(entries.size()));
    entries.push_back({edit, poscomp_text(choice)});
    line_ = lines_.size() - 1;
    return true;
}

bool StoredPdoEditor::modify(MessageSink& sink) {
    if (!pdo_ || !line_)
        return false;
    const EntryRef self{*pdo_, *line_};
    if (!index_is_unique(table_, edit, &self, sink))
        return false;
    table_.pdos[*pdo_].entries[*line_] = {edit, poscomp_text(choice)};
    return true;
}

bool StoredPdoEditor::remove() {
    if (!pdo_ || !line_)
        return false;
    std::vector<TClIndMB>& entries = table_.pdos[*pdo_].entries;
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(*line_));
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*line_));
    line_.reset();
    return true;
}

void StoredPdoEditor::copy() {
    clipboard_ = {edit, poscomp_text(choice)};
}

void StoredPdoEditor::paste() {
    edit = clipboard_.index;
    choice = byte_choice_of(str_to_int(clipboard_.poscomp));
}

void StoredPdoEditor::save(const std::filesystem::path& project_dir) const {
    save_stored_pdo_table(table_, sdopdo_file::schema.path_in(project_dir));
}

void StoredPdoEditor::restore(const Snapshot& s) {
    table_ = s.table;
    lines_ = s.lines;
    pdo_ = s.pdo;
    line_ = s.line;
    edit = s.edit;
    choice = s.choice;
}

} // namespace mk
