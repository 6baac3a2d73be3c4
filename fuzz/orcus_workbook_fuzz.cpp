// .xlsx and .ods workbooks as the reading process reads them with liborcus, and .xlsx read part
// by part through its zip reader and XML parser: what is handed over (sheets, shared strings,
// cells, formula results, cell addresses) is taken into a workbook stream that decodes, whatever
// the file. The library runs here in-process; in the program it runs in the child process,
// where a fault of its own ends only that process.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "transfer/orcus_workbook.h"
#include "transfer/workbook_stream.h"

namespace {

// liborcus's zip reader allocates what an entry claims as its unpacked size before unpacking
// (findings/orcus_zip_entry_claims_3_5_gb.xlsx). The reading process bounds its address space
// for that, so the allocation fails there; under the sanitizer here it would end the run, so
// inputs with an entry that claims more than 16 MB, packed or unpacked, are passed over.
bool claims_a_huge_entry(std::string_view zip) {
    const auto u32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(zip[at + static_cast<std::size_t>(i)]);
        return v;
    };
    for (std::size_t at = 0; at + 28 <= zip.size(); ++at) {
        // Packed and unpacked sizes: the library allocates by either.
        if (zip.compare(at, 4, "PK\x03\x04") == 0 &&
            std::max(u32(at + 18), u32(at + 22)) > (16u << 20))
            return true;
        if (zip.compare(at, 4, "PK\x01\x02") == 0 &&
            std::max(u32(at + 20), u32(at + 24)) > (16u << 20))
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    // The first byte picks the format (bit 0: .ods; bit 1: .xlsx read part by part, as
    // workbooks liborcus's own reader misses are read), the rest is the file.
    const std::string_view content(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (claims_a_huge_entry(content))
        return 0;
    const int fd = ::memfd_create("orcus_stream", 0);
    if (fd < 0)
        __builtin_trap();
    mk::ReadResult result;
    {
        mk::StreamPipe pipe(fd, std::size_t{16} << 20);
        result = data[0] & 1   ? mk::send_ods(pipe, content)
                 : data[0] & 2 ? mk::send_xlsx_parts(pipe, content)
                               : mk::send_xlsx(pipe, content);
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
