#pragma once

#include <cstdint>
#include <string>

#include "tables/workbook.h"

namespace mk {

// Reads .xls workbooks (the binary Excel format) with FreeXL.
class FreexlWorkbookReader : public WorkbookReader {
public:
    std::unique_ptr<Workbook> open(const std::filesystem::path& path) override;
};

// A number cell as text: its shortest decimal form, so that 1000 stored as an integer and
// 1000.0 stored as a floating-point value both read "1000", and 0.1 reads "0.1".
std::string number_text(double value);
std::string number_text(std::int64_t value);

} // namespace mk
