#include "transfer/csv_import.h"

#include <algorithm>
#include <string>

#include "transfer/csv_export.h"
#include "transfer/workbook_stream.h"

namespace mk {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string as_utf8(std::string_view bytes) {
    if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        bytes.remove_prefix(kByteOrderMark.size());
    return is_utf8(bytes) ? std::string(bytes) : from_windows_1252(bytes);
}

} // namespace

bool is_csv_text(std::string_view bytes) {
    return !bytes.empty() && std::none_of(bytes.begin(), bytes.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return (b < 0x20 && b != '\t' && b != '\n' && b != '\r') || b == 0x7F;
    });
}

CsvSheet parse_csv(std::string_view bytes) {
    const std::string text = as_utf8(bytes);
    CsvSheet sheet;
    std::vector<Cell> row;
    std::string field;
    bool quoted = false; // the field began with a quote
    bool any = false;    // the line holds something (a field, a comma or a quote)
    const auto end_field = [&] {
        row.push_back(field.empty() && !quoted ? Cell{} : Cell{field});
        field.clear();
        quoted = false;
    };
    const auto end_row = [&] {
        end_field();
        sheet.columns = std::max(sheet.columns, row.size());
        sheet.rows.push_back(std::move(row));
        row.clear();
        any = false;
    };
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"' && field.empty() && !quoted) {
            // A quoted field runs to the quote that is not doubled.
            quoted = any = true;
            std::size_t j = i + 1;
            for (;;) {
                if (j >= text.size()) {
                    sheet.unreadable_from = sheet.rows.size();
                    return sheet;
                }
                if (text[j] == '"') {
                    if (j + 1 < text.size() && text[j + 1] == '"') {
                        field += '"';
                        j += 2;
                        continue;
                    }
                    break;
                }
                field += text[j++];
            }
            i = j + 1;
        } else if (c == ',') {
            end_field();
            any = true;
            ++i;
        } else if (c == '\r' || c == '\n') {
            end_row();
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        } else {
            field += c;
            any = true;
            ++i;
        }
    }
    if (any)
        end_row();
    // Blank lines at the end of a file edited by hand are no rows.
    while (!sheet.rows.empty() && sheet.rows.back().size() == 1 && !sheet.rows.back()[0])
        sheet.rows.pop_back();
    return sheet;
}

ReadResult send_csv(StreamPipe& pipe, std::string_view content, std::string_view sheet_name) {
    const CsvSheet sheet = parse_csv(content);
    if (sheet.columns > 0xFFFF)
        return ReadResult::NotCsv;
    WorkbookStreamWriter stream(pipe.out, 1);
    const std::size_t rows = sheet.unreadable_from ? *sheet.unreadable_from + 1 : sheet.rows.size();
    stream.begin_sheet(sheet_name, static_cast<std::uint32_t>(rows),
                       static_cast<std::uint32_t>(sheet.columns), true);
    for (const std::vector<Cell>& row : sheet.rows) {
        stream.row(row);
        if (!pipe.flush())
            return ReadResult::NotCsv;
    }
    if (sheet.unreadable_from)
        stream.unreadable_rest();
    return pipe.flush(0) ? ReadResult::Sent : ReadResult::NotCsv;
}

} // namespace mk
