#pragma once

#include "transfer/reading_process.h"
#include "transfer/workbook.h"

namespace mk {

// Reads .xls workbooks (the binary Excel format) with FreeXL. FreeXL runs in a short-lived
// child process that reads the whole workbook and sends it back through a pipe, so that a
// damaged or hostile file that breaks the library (it can write outside its buffers) takes
// down only that process. A child that crashes, fails, runs out of time or sends something
// malformed makes open() throw WorkbookError, as a file that is no workbook does.
class FreexlWorkbookReader : public WorkbookReader {
public:
    FreexlWorkbookReader() = default;
    explicit FreexlWorkbookReader(WorkbookReadLimits limits) : limits_(limits) {}

    std::unique_ptr<Workbook> open(const std::filesystem::path& path) override;

private:
    WorkbookReadLimits limits_;
};

// In the reading process: the .xls workbook at `path` as a workbook stream.
ReadResult send_xls(StreamPipe& pipe, const char* path);

} // namespace mk
