#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "transfer/workbook.h"

namespace mk::test {

// A workbook held in memory, for driving the import without files. Sheets keep their order;
// rows may be ragged (missing cells read as empty). `fail_at_row` makes reading that row fail,
// as a damaged file would; `open_fails` makes the open fail. `open_count` and `closed` let a
// test see that every opened workbook was released.
struct MemoryWorkbookReader : WorkbookReader {
    using Rows = std::vector<std::vector<Cell>>;

    std::vector<std::pair<std::string, Rows>> sheets;
    std::optional<std::size_t> fail_at_row;
    bool open_fails = false;
    int open_count = 0;
    int closed = 0;

    std::unique_ptr<Workbook> open(const std::filesystem::path&) override {
        ++open_count;
        if (open_fails)
            throw WorkbookError("the file cannot be read as an Excel workbook (.xls)");
        return std::make_unique<Book>(*this);
    }

private:
    struct Book : Workbook {
        explicit Book(MemoryWorkbookReader& reader) : reader_(reader) {}
        ~Book() override { ++reader_.closed; }
        std::vector<std::string> sheet_names() const override {
            std::vector<std::string> names;
            for (const auto& s : reader_.sheets)
                names.push_back(s.first);
            return names;
        }
        void select_sheet(std::size_t index) override { rows_ = &reader_.sheets.at(index).second; }
        std::size_t row_count() const override { return rows_->size(); }
        std::size_t column_count() const override {
            std::size_t n = 0;
            for (const auto& r : *rows_)
                n = std::max(n, r.size());
            return n;
        }
        std::vector<Cell> row(std::size_t index) const override {
            if (reader_.fail_at_row == index)
                throw WorkbookError("the sheet cannot be read");
            std::vector<Cell> cells = rows_->at(index);
            cells.resize(column_count());
            return cells;
        }
        MemoryWorkbookReader& reader_;
        const Rows* rows_ = nullptr;
    };
};

} // namespace mk::test
