// Workbook streams: the .xls reader runs FreeXL in a child process and the program decodes what
// that process sends, trusting nothing in it (the process may have been broken by the file it
// read). Any bytes end in a WorkbookError or in a workbook whose every sheet and row can be
// read, and an import from it ends in a message or a table, never a crash.
//
// FreeXL itself is no longer fuzzed here: a fault inside it ends the child only.
// findings/freexl_open_stack_underflow.xls, on which FreeXL 1.0.6 writes below a stack buffer
// in freexl_open, is kept for the reader's test of exactly that.
#include <cstdint>
#include <string>

#include "transfer/sdo_transfer.h"
#include "transfer/workbook_stream.h"

namespace {

struct StreamReader : mk::WorkbookReader {
    std::string bytes;
    std::unique_ptr<mk::Workbook> open(const std::filesystem::path&) override {
        return mk::decode_workbook_stream(bytes);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    StreamReader reader;
    reader.bytes.assign(reinterpret_cast<const char*>(data), size);
    try {
        auto book = reader.open({});
        const std::size_t sheets = book->sheet_names().size();
        for (std::size_t s = 0; s < sheets; ++s) {
            try {
                book->select_sheet(s);
                for (std::size_t r = 0; r < book->row_count(); ++r)
                    if (book->row(r).size() != book->column_count())
                        __builtin_trap();
            } catch (const mk::WorkbookError&) {
            }
        }
    } catch (const mk::WorkbookError&) {
        return 0;
    }
    mk::SdoTable table;
    (void)mk::import_sdo_workbook(table, reader, {});
    return 0;
}
