#pragma once

#include "transfer/reading_process.h"
#include "transfer/workbook.h"

namespace mk {

// Reads the files "Import" offers: .xls workbooks (FreeXL), .xlsx and .ods workbooks (liborcus)
// and CSV files as the export writes them. The format is decided by the file's content, not by
// its name: the compound-file signature of .xls, a zip archive that liborcus recognises as
// .xlsx or .ods, or text without control characters for CSV. Every format is read in the
// short-lived child process of read_in_child, the limits applying to all alike; a file that is
// none of them, or a damaged one, makes open() throw WorkbookError with a reason that names the
// format it was taken for, or lists them all.
class SpreadsheetReader : public WorkbookReader {
public:
    SpreadsheetReader() = default;
    explicit SpreadsheetReader(WorkbookReadLimits limits) : limits_(limits) {}

    std::unique_ptr<Workbook> open(const std::filesystem::path& path) override;

private:
    WorkbookReadLimits limits_;
};

} // namespace mk
