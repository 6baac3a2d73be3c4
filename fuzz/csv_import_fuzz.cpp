// CSV files as the import reads them: any bytes give rows whose cells hold well-formed UTF-8,
// the stream made of them decodes, and an import from it ends in a table or a message.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "transfer/csv_export.h"
#include "transfer/csv_import.h"
#include "transfer/rpdo_transfer.h"
#include "transfer/workbook_stream.h"

namespace {

// The stream as the reading process would send it, kept in a memory file.
std::string stream_of(std::string_view bytes) {
    const int fd = ::memfd_create("csv_stream", 0);
    if (fd < 0)
        __builtin_trap();
    {
        mk::StreamPipe pipe(fd, std::size_t{64} << 20);
        if (mk::send_csv(pipe, bytes, "list") != mk::ReadResult::Sent)
            __builtin_trap();
    }
    std::string out(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
    if (::pread(fd, out.data(), out.size(), 0) != static_cast<ssize_t>(out.size()))
        __builtin_trap();
    ::close(fd);
    return out;
}

struct StreamReader : mk::WorkbookReader {
    std::string bytes;
    std::unique_ptr<mk::Workbook> open(const std::filesystem::path&) override {
        return mk::decode_workbook_stream(bytes);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const mk::CsvSheet sheet = mk::parse_csv(bytes);
    for (const auto& row : sheet.rows) {
        if (row.size() > sheet.columns)
            __builtin_trap();
        for (const mk::Cell& cell : row)
            if (cell && !mk::is_utf8(*cell))
                __builtin_trap();
    }
    StreamReader reader;
    reader.bytes = stream_of(bytes);
    mk::RpdoTable table(15, {});
    (void)mk::import_rpdo_workbook(table, reader, {});
    return 0;
}
