#include "tables/emcy_table.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "core/edit_session.h"
#include "core/integer_text.h"
#include "core/table_file.h"
#include "tables/emcy_schema.h"
#include "tables/emcy_table_reading.h"

namespace mk {

namespace emcy_reading {

ReadFault fault(std::string_view file_name, std::string_view where) {
    return {std::string(file_name), reading_error_text(file_name, where)};
}

Opened open_text(std::string_view xml, std::string_view file_name) {
    try {
        return {TableDocument::parse(xml), std::nullopt};
    } catch (const TableReadError& e) {
        return {std::nullopt, fault(file_name, e.where())};
    }
}

Opened open_file(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return {};
    try {
        return {TableDocument::load(path), std::nullopt};
    } catch (const TableReadError& e) {
        // Not well-formed, too large, or not readable at all: nothing of it can be shown.
        return {std::nullopt, fault(path.filename().string(), e.where())};
    }
}

std::optional<ReadFault> read_emcy_rows(const TableDocument& doc, EmcyTable& table) {
    std::size_t position = 0;
    for (const RowReader& r : doc.rows()) {
        ++position;
        EmcyRow row;
        std::string* const fields[] = {&row.id, &row.error_code, &row.error_register};
        for (std::size_t i = 0; i < emcy_file::attributes.size(); ++i) {
            const char* name = emcy_file::attributes[i];
            auto text = r.optional_attr(name);
            if (!text)
                return fault(emcy_file::schema.file_name,
                             ", row " + std::to_string(position) + ": no attribute " + name);
            *fields[i] = std::move(*text);
        }
        table.append_as_read(std::move(row));
    }
    return std::nullopt;
}

} // namespace emcy_reading

std::string EmcyRow::display_text() const {
    return id + '\t' + error_code + '\t' + error_register;
}

std::string incomplete_file_message(std::string_view file_name) {
    return std::string(kEmcyVoice) + incomplete_file_text(file_name);
}

namespace {

std::string hex_text(std::int32_t value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%0*X", digits, static_cast<unsigned>(value));
    return buffer;
}

} // namespace

EmcyCheck canonical_emcy_row(const EmcyRow& typed) {
    const std::int32_t id = str_to_int_def(typed.id, -1);
    if (id < 1 || id > 127)
        return {std::nullopt, kMsgEmcyIdRange};
    const std::int32_t code = str_to_int_def(typed.error_code, -1);
    if (code < 0 || code > 0xFFFF)
        return {std::nullopt, kMsgEmcyErrorCodeRange};
    const std::int32_t reg = str_to_int_def(typed.error_register, -1);
    if (reg < 0 || reg > 0xFF)
        return {std::nullopt, kMsgEmcyErrorRegisterRange};
    return {EmcyRow{std::to_string(id), hex_text(code, 4), hex_text(reg, 2)}, {}};
}

std::optional<std::string_view> EmcyTable::check(const EmcyRow& typed,
                                                 std::optional<EmcyRow>& canonical) const {
    EmcyCheck c = canonical_emcy_row(typed);
    if (!c.row)
        return c.message;
    // Equality is textual: a row read as 0x0a00 differs from the canonical 0x0A00.
    const std::string text = c.row->display_text();
    const bool present = std::any_of(rows_.begin(), rows_.end(),
                                     [&](const EmcyRow& r) { return r.display_text() == text; });
    if (present)
        return kMsgEmcyAlreadyPresent;
    canonical = std::move(c.row);
    return std::nullopt;
}

std::optional<std::string_view> EmcyTable::add(const EmcyRow& typed) {
    std::optional<EmcyRow> canonical;
    if (auto failure = check(typed, canonical))
        return failure;
    rows_.push_back(std::move(*canonical));
    return std::nullopt;
}

std::optional<std::string_view> EmcyTable::modify(std::optional<std::size_t> selected,
                                                  const EmcyRow& typed) {
    std::optional<EmcyRow> canonical;
    if (auto failure = check(typed, canonical))
        return failure;
    if (selected && *selected < rows_.size())
        rows_[*selected] = std::move(*canonical);
    return std::nullopt;
}

void EmcyTable::remove(std::optional<std::size_t> selected) {
    if (selected && *selected < rows_.size())
        rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(*selected));
}

namespace {

EmcyTable read_table(emcy_reading::Opened opened, MessageSink& sink) {
    EmcyTable table;
    if (opened.doc)
        opened.fault = emcy_reading::read_emcy_rows(*opened.doc, table);
    if (opened.fault) {
        sink.show(opened.fault->message, MessageKind::Error);
        table.set_fault(std::move(*opened.fault));
    }
    return table;
}

TableWriter writer_for(const EmcyTable& table) {
    TableWriter writer(emcy_file::schema);
    for (const EmcyRow& r : table.rows()) {
        using namespace emcy_file;
        writer.add_row(schema)
            .set(ID_EMCY, r.id)
            .set(EMCY_Error_Code, r.error_code)
            .set(Error_Register, r.error_register);
    }
    return writer;
}

} // namespace

EmcyTable load_emcy_table(const std::filesystem::path& path, MessageSink& sink) {
    return read_table(emcy_reading::open_file(path), sink);
}

EmcyTable parse_emcy_table(std::string_view xml, MessageSink& sink) {
    return read_table(emcy_reading::open_text(xml, emcy_file::schema.file_name), sink);
}

std::string serialize_emcy_table(const EmcyTable& table) {
    return writer_for(table).serialize();
}

void save_emcy_table(const EmcyTable& table, const std::filesystem::path& path) {
    if (table.fault())
        throw UserError(incomplete_file_message(emcy_file::schema.file_name));
    writer_for(table).save(path);
}

} // namespace mk
