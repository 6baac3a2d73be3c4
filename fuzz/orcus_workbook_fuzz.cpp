// .xlsx and .ods workbooks as the reading process reads them with liborcus: what the library
// hands over (sheets, shared strings, cells, formula results, cell addresses) is taken into a
// workbook stream that decodes, whatever the file. The library runs here in-process; in the
// program it runs in the child process, where a fault of its own ends only that process.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "transfer/orcus_workbook.h"
#include "transfer/workbook_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    // The first byte picks the format, the rest is the file.
    const std::string_view content(reinterpret_cast<const char*>(data) + 1, size - 1);
    const int fd = ::memfd_create("orcus_stream", 0);
    if (fd < 0)
        __builtin_trap();
    mk::ReadResult result;
    {
        mk::StreamPipe pipe(fd, std::size_t{16} << 20);
        result = data[0] & 1 ? mk::send_ods(pipe, content) : mk::send_xlsx(pipe, content);
    }
    if (result == mk::ReadResult::Sent) {
        std::string out(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
        if (::pread(fd, out.data(), out.size(), 0) != static_cast<ssize_t>(out.size()))
            __builtin_trap();
        auto book = mk::decode_workbook_stream(std::move(out)); // throws on a malformed stream
        const std::size_t sheets = book->sheet_names().size();
        for (std::size_t s = 0; s < sheets; ++s) {
            try {
                book->select_sheet(s);
            } catch (const mk::WorkbookError&) {
                continue; // a sheet the library never read
            }
            for (std::size_t r = 0; r < book->row_count(); ++r)
                (void)book->error_in_row(r, book->column_count());
        }
    }
    ::close(fd);
    return 0;
}
