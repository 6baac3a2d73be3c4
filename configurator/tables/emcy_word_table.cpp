#include "tables/emcy_word_table.h"

#include <algorithm>

#include "core/counted.h"
#include "core/integer_text.h"
#include "core/table_file.h"
#include "tables/emcy_schema.h"
#include "tables/emcy_table_reading.h"
#include "tables/emcy_word_schema.h"

namespace mk {

std::uint8_t byte_selection(int hi, int lo) {
    return static_cast<std::uint8_t>(hi * 16 + lo);
}

namespace {

int choice_of(int nibble) {
    return nibble >= 1 && nibble <= kLastByte ? nibble : kNoByte;
}

} // namespace

int hi_byte_choice(std::uint8_t selection) {
    return choice_of(selection >> 4);
}

int lo_byte_choice(std::uint8_t selection) {
    return choice_of(selection & 0x0F);
}

const EmcyWordEntry* EmcyWordTable::entry_at(std::optional<std::size_t> entry) const {
    return entry && *entry < entries_.size() ? &entries_[*entry] : nullptr;
}

bool EmcyWordTable::register_used(std::uint16_t word, const TWordObj* except) const {
    for (const EmcyWordEntry& e : entries_)
        for (const TWordObj& m : e.mappings)
            if (&m != except && m.word == word)
                return true;
    return false;
}

namespace {

// The typed register number, or nothing when it is not a number from 0 to 65535.
std::optional<std::uint16_t> register_number(std::string_view text) {
    const std::int32_t v = str_to_int_def(text, -1);
    if (v < 0 || v > 0xFFFF)
        return std::nullopt;
    return static_cast<std::uint16_t>(v);
}

} // namespace

std::optional<std::string_view> EmcyWordTable::add(std::optional<std::size_t> entry, int hi, int lo,
                                                   std::string_view register_text) {
    if (hi == kNoByte && lo == kNoByte)
        return kMsgSelectByte;
    if (!entry_at(entry))
        return kMsgSelectEmcy;
    const auto word = register_number(register_text);
    if (!word)
        return kMsgRegisterRange;
    if (register_used(*word, nullptr))
        return kMsgRegisterUsed;
    entries_[*entry].mappings.push_back({*word, byte_selection(hi, lo)});
    return std::nullopt;
}

std::optional<std::string_view> EmcyWordTable::modify(std::optional<std::size_t> entry,
                                                      std::optional<std::size_t> mapping, int hi,
                                                      int lo, std::string_view register_text) {
    if (hi == kNoByte && lo == kNoByte)
        return kMsgSelectByte;
    const EmcyWordEntry* e = entry_at(entry);
    if (!e)
        return kMsgSelectEmcy;
    if (!mapping || *mapping >= e->mappings.size())
        return kMsgSelectRegister;
    const auto word = register_number(register_text);
    if (!word)
        return kMsgRegisterRange;
    TWordObj& target = entries_[*entry].mappings[*mapping];
    if (register_used(*word, &target))
        return kMsgRegisterUsed;
    target = {*word, byte_selection(hi, lo)};
    return std::nullopt;
}

std::optional<std::string_view> EmcyWordTable::remove(std::optional<std::size_t> entry,
                                                      std::optional<std::size_t> mapping) {
    const EmcyWordEntry* e = entry_at(entry);
    if (!e)
        return kMsgSelectEmcy;
    if (!mapping || *mapping >= e->mappings.size())
        return kMsgSelectRegister;
    auto& list = entries_[*entry].mappings;
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(*mapping));
    return std::nullopt;
}

WordGroups word_groups(const TableDocument& doc, std::size_t rows) {
    WordGroups groups;
    std::size_t position = 0;
    for (const RowReader& child : doc.rows()) {
        if (++position > rows) {
            groups.surplus += child.is_element() ? 1 : 0;
        } else if (!child.is_element()) {
            groups.stray_at = position;
            break;
        } else {
            groups.paired.push_back(child);
        }
    }
    return groups;
}

std::string groups_beyond_rows_message(std::size_t groups, std::size_t rows) {
    const std::size_t surplus = groups - rows;
    return std::string(emcy_word_file::schema.file_name) + " holds " +
           counted(groups, "group", "groups") + " but " + emcy_file::schema.file_name + " has " +
           counted(rows, "EMCY row", "EMCY rows") + ": " +
           the_last(surplus, "group is", "groups are") +
           " not shown and will not be kept when the table is saved";
}

namespace {

constexpr std::int32_t kMaxSelection = 0xFF;

// One number of a mapping: present, integer text, and within its field's width.
std::optional<std::string> read_number(const RowReader& m, const char* name, std::int32_t max,
                                       std::int32_t& value) {
    const auto text = m.optional_attr(name);
    if (!text)
        return std::string("no attribute ") + name;
    const auto v = parse_integer_text(*text);
    if (!v)
        return std::string(name) + " \"" + *text + "\" is not a valid integer value";
    if (*v < 0 || *v > max)
        return std::string(name) + " " + *text + " is outside 0 to " + std::to_string(max);
    value = *v;
    return std::nullopt;
}

// Reads the groups of emcyword.xml into the entries, by position; stops at the first mapping
// that cannot be taken as it stands, or at text between the groups. Groups beyond the EMCY rows
// belong to no row; `surplus` counts them.
std::optional<ReadFault> read_groups(const TableDocument& doc, std::vector<EmcyWordEntry>& entries,
                                     std::size_t& surplus) {
    const WordGroups groups = word_groups(doc, entries.size());
    for (std::size_t g = 0; g < groups.paired.size(); ++g) {
        const RowReader& group = groups.paired[g];
        std::size_t j = 0;
        for (const RowReader& m : group.children()) {
            ++j;
            std::int32_t word = 0;
            std::int32_t byte = 0;
            auto problem = read_number(m, emcy_word_file::Dati_Word, 0xFFFF, word);
            if (!problem)
                problem = read_number(m, emcy_word_file::Dati_Byte, kMaxSelection, byte);
            if (problem)
                return emcy_reading::fault(emcy_word_file::schema.file_name,
                                           ", group " + std::to_string(g + 1) + ", mapping " +
                                               std::to_string(j) + ": " + *problem);
            entries[g].mappings.push_back(
                {static_cast<std::uint16_t>(word), static_cast<std::uint8_t>(byte)});
        }
    }
    if (groups.stray_at)
        return emcy_reading::fault(emcy_word_file::schema.file_name,
                                   ", group " + std::to_string(*groups.stray_at) +
                                       ": text between the groups");
    surplus = groups.surplus;
    return std::nullopt;
}

EmcyWordTable read_table(emcy_reading::Opened def, emcy_reading::Opened word, MessageSink& sink) {
    EmcyWordTable table;
    // The EMCY rows come through the translation table's reader, so both windows list the same.
    EmcyTable rows;
    if (def.doc)
        def.fault = emcy_reading::read_emcy_rows(*def.doc, rows);
    for (const EmcyRow& r : rows.rows())
        table.entries_for_reading().push_back({r, {}});
    std::size_t surplus = 0;
    if (word.doc)
        word.fault = read_groups(*word.doc, table.entries_for_reading(), surplus);
    for (auto* f : {&def.fault, &word.fault}) {
        if (*f) {
            sink.show((*f)->message, MessageKind::Error);
            table.add_fault(std::move(**f));
        }
    }
    // Groups of rows that were not read are no surplus: saving is refused then.
    if (surplus > 0 && table.faults().empty())
        sink.show(
            groups_beyond_rows_message(table.entries().size() + surplus, table.entries().size()),
            MessageKind::Warning);
    return table;
}

TableWriter writer_for(const EmcyWordTable& table) {
    using namespace emcy_word_file;
    TableWriter writer(schema);
    for (const EmcyWordEntry& e : table.entries()) {
        TableWriter::Row group = writer.add_row(schema);
        for (const TWordObj& m : e.mappings)
            group.add_child(mapping_element)
                .set(Dati_Word, std::to_string(m.word))
                .set(Dati_Byte, std::to_string(m.byte));
    }
    return writer;
}

} // namespace

EmcyWordTable load_emcy_word_table(const std::filesystem::path& project_dir, MessageSink& sink) {
    return read_table(emcy_reading::open_file(emcy_file::schema.path_in(project_dir)),
                      emcy_reading::open_file(emcy_word_file::schema.path_in(project_dir)), sink);
}

EmcyWordTable parse_emcy_word_table(std::optional<std::string_view> emcy_xml,
                                    std::optional<std::string_view> word_xml, MessageSink& sink) {
    const auto open = [](std::optional<std::string_view> xml, const char* file_name) {
        return xml ? emcy_reading::open_text(*xml, file_name) : emcy_reading::Opened{};
    };
    return read_table(open(emcy_xml, emcy_file::schema.file_name),
                      open(word_xml, emcy_word_file::schema.file_name), sink);
}

std::string serialize_emcy_word_table(const EmcyWordTable& table) {
    return writer_for(table).serialize();
}

void save_emcy_word_table(const EmcyWordTable& table, const std::filesystem::path& path) {
    if (!table.faults().empty())
        throw UserError(incomplete_file_message(table.faults().front().file_name));
    writer_for(table).save(path);
}

} // namespace mk
