// Workbooks: any file the user picks ends in an import message or a table, never a crash, and
// the reader is released every time.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string_view>

#include <unistd.h>

#include "tables/freexl_workbook.h"
#include "tables/sdo_transfer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path xls =
        std::filesystem::temp_directory_path() / ("mk-fuzz-" + std::to_string(::getpid()) + ".xls");
    std::ofstream(xls, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    mk::FreexlWorkbookReader reader;
    mk::SdoTable table;
    (void)mk::import_sdo_workbook(table, reader, xls);
    return 0;
}
