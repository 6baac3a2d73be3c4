#include "transfer/freexl_workbook.h"

#include <freexl.h>

#include <algorithm>
#include <limits>

#include "transfer/workbook_stream.h"

namespace mk {

namespace {

// FreeXL asks for its handle to be closed even when opening failed.
struct HandleCloser {
    void operator()(const void* handle) const {
        if (handle)
            freexl_close(handle);
    }
};
using Handle = std::unique_ptr<const void, HandleCloser>;

Cell cell_text(const FreeXL_CellValue& value) {
    switch (value.type) {
    case FREEXL_CELL_INT:
        return number_text(static_cast<std::int64_t>(value.value.int_value));
    case FREEXL_CELL_DOUBLE:
        return number_text(value.value.double_value);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME:
        return std::string(value.value.text_value ? value.value.text_value : "");
    default: // FREEXL_CELL_NULL and anything FreeXL adds later
        return std::nullopt;
    }
}

// Reads the whole workbook with FreeXL and sends it as a workbook stream, in pieces as it goes.
// False when the file cannot be read or the stream cannot be sent whole.
bool send_workbook(StreamPipe& pipe, const char* path) {
    const void* raw = nullptr;
    const int rc = freexl_open(path, &raw);
    Handle handle(raw); // released on every path from here on
    if (rc != FREEXL_OK || !raw)
        return false;
    unsigned int count = 0;
    if (freexl_get_info(handle.get(), FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK)
        return false;
    // FreeXL numbers sheets with an unsigned short.
    count = std::min<unsigned int>(count, std::numeric_limits<unsigned short>::max() + 1u);
    std::vector<std::string> names;
    for (unsigned int i = 0; i < count; ++i) {
        const char* name = nullptr;
        if (freexl_get_worksheet_name(handle.get(), static_cast<unsigned short>(i), &name) !=
            FREEXL_OK)
            return false;
        names.emplace_back(name ? name : "");
    }

    WorkbookStreamWriter stream(pipe.out, count);
    for (unsigned int i = 0; i < count; ++i) {
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (freexl_select_active_worksheet(handle.get(), static_cast<unsigned short>(i)) !=
                FREEXL_OK ||
            freexl_worksheet_dimensions(handle.get(), &rows, &columns) != FREEXL_OK) {
            stream.unreadable_sheet(names[i]);
            continue;
        }
        stream.begin_sheet(names[i], rows, columns);
        std::vector<Cell> cells(columns);
        for (unsigned int r = 0; r < rows; ++r) {
            bool read = true;
            for (unsigned short c = 0; c < columns && read; ++c) {
                FreeXL_CellValue value;
                read = freexl_get_cell_value(handle.get(), r, c, &value) == FREEXL_OK;
                if (read)
                    cells[c] = cell_text(value);
            }
            if (!read) {
                stream.unreadable_rest();
                break;
            }
            stream.row(cells);
            if (!pipe.flush())
                return false;
        }
    }
    return pipe.flush(0);
}

} // namespace

ReadResult send_xls(StreamPipe& pipe, const char* path) {
    return send_workbook(pipe, path) ? ReadResult::Sent : ReadResult::NotXls;
}

std::unique_ptr<Workbook> FreexlWorkbookReader::open(const std::filesystem::path& path) {
    return decode_workbook_stream(
        read_in_child(path, limits_, send_xls, [](ReadResult) { return kNotAWorkbookReason; }));
}

} // namespace mk
