#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "transfer/workbook.h"

namespace mk {

// How far the reader lets the process that reads a workbook go.
struct WorkbookReadLimits {
    std::size_t max_bytes = std::size_t{64} << 20; // the whole workbook as sent to the program
    std::chrono::milliseconds time{10000};         // from the start to the process's exit
    // Called in the reading process before the file is opened; tests use it to make that
    // process die or hang. Must not return into anything but the reader.
    void (*in_reading_process)() = nullptr;
};

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

// A number cell as text: its shortest decimal form, so that 1000 stored as an integer and
// 1000.0 stored as a floating-point value both read "1000", and 0.1 reads "0.1".
std::string number_text(double value);
std::string number_text(std::int64_t value);

} // namespace mk
