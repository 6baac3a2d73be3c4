#include "transfer/spreadsheet_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "transfer/csv_import.h"
#include "transfer/freexl_workbook.h"
#include "transfer/orcus_workbook.h"
#include "transfer/workbook_stream.h"

namespace mk {

namespace {

constexpr std::string_view kCompoundFile = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr std::string_view kZip = "PK\x03\x04";

// The whole file into `content`; false when it cannot be read or is larger than `max_bytes`
// (the limit of the stream bounds the file as well).
bool read_whole(const char* path, std::size_t max_bytes, std::string& content) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[64 * 1024];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (static_cast<std::size_t>(n) > max_bytes - content.size()) {
            ok = false;
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ok;
}

// In the reading process: decides the format by the content and sends the workbook.
ReadResult send_spreadsheet(StreamPipe& pipe, const char* path) {
    std::string content;
    if (!read_whole(path, pipe.max_bytes(), content))
        return ReadResult::NoFormat;
    const std::string_view bytes = content;
    if (bytes.substr(0, kCompoundFile.size()) == kCompoundFile) {
        content.clear();
        return send_xls(pipe, path);
    }
    if (bytes.substr(0, kZip.size()) == kZip) {
        if (is_ods(bytes))
            return send_ods(pipe, bytes);
        if (is_xlsx(bytes))
            return send_xlsx(pipe, bytes);
        return ReadResult::NoFormat;
    }
    if (is_csv_text(bytes))
        return send_csv(pipe, bytes, std::filesystem::path(path).stem().string());
    return ReadResult::NoFormat;
}

const char* failure_reason(ReadResult result) {
    switch (result) {
    case ReadResult::NotXls:
        return kNotAWorkbookReason;
    case ReadResult::NotXlsx:
        return kNotXlsxReason;
    case ReadResult::NotOds:
        return kNotOdsReason;
    case ReadResult::NotCsv:
        return kNotCsvReason;
    default:
        return kNoSpreadsheetReason;
    }
}

} // namespace

std::unique_ptr<Workbook> SpreadsheetReader::open(const std::filesystem::path& path) {
    std::string stream = read_in_child(path, limits_, send_spreadsheet, failure_reason);
    try {
        return decode_workbook_stream(std::move(stream));
    } catch (const WorkbookError&) {
        throw WorkbookError(kNoSpreadsheetReason);
    }
}

} // namespace mk
