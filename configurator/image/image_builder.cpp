#include "image/image_builder.h"

#include <optional>
#include <string>
#include <vector>

#include "core/file_kind.h"
#include "core/integer_text.h"
#include "core/table_file.h"
#include "core/user_error.h"
#include "image/field_value.h"
#include "image/image_writer.h"
#include "tables/emcy_schema.h"
#include "tables/emcy_word_schema.h"
#include "tables/emcy_word_table.h"
#include "tables/pargen_schema.h"
#include "tables/pargen_table.h"
#include "tables/rpdo_schema.h"
#include "tables/sdo_schema.h"
#include "tables/sdopdo_schema.h"
#include "tables/tpdo_schema.h"

namespace mk {

namespace {

namespace fs = std::filesystem;

// Capacity of bank 1, as the device expects the tables.
constexpr std::size_t kBank1End = kBankSize;

struct Build {
    const fs::path& dir;
    Banks& banks;
    MessageSink& sink;
    const Clock& clock;
    ImageWriter out;
    const TableStandIn* stand_in = nullptr;
    std::array<std::uint16_t, kDirectoryWords> words{};

    std::uint16_t& word(int number) { return words[static_cast<std::size_t>(number - 1)]; }
    std::uint16_t fv(std::string_view text) { return field_value(text, sink); }
    // A dangling link or a loop of links in the file's place is named beside the message.
    void missing(std::string_view message, const fs::path& file) {
        sink.show(std::string(message) + not_a_file_note(file), MessageKind::Information);
    }
    bool stood_in(const fs::path& file) const {
        return stand_in && file.filename() == stand_in->file_name;
    }
    bool present(const fs::path& file) const {
        std::error_code ec;
        return stood_in(file) || fs::exists(file, ec);
    }
    TableDocument load(const fs::path& file) const {
        return stood_in(file) ? TableDocument::parse(stand_in->document)
                              : TableDocument::load(file);
    }
};

std::string reading_error(const fs::path& file) {
    return reading_error_text(file.filename().string());
}

// Reads one table file for the build. A file that cannot be read, or a row without an attribute
// the build needs, stops the build with the reading error naming the file.
template <typename Read> void read_table(const Build& b, const fs::path& file, Read read) {
    try {
        read(b.load(file));
    } catch (const TableReadError&) {
        throw UserError(reading_error(file));
    }
}

// The EMCY section reads two files at once; each failure names its own file.
TableDocument load_table(const Build& b, const fs::path& file) {
    try {
        return b.load(file);
    } catch (const TableReadError&) {
        throw UserError(reading_error(file));
    }
}

std::string attr_of(const RowReader& row, const char* name, const fs::path& file) {
    if (auto text = row.optional_attr(name))
        return *text;
    throw UserError(reading_error(file));
}

// The count tests of the stored-PDO and receive-PDO sections read their text twice more after
// the row was written, so a text that is not a number is reported three times in all.
std::uint16_t counted_value(Build& b, std::string_view text) {
    b.fv(text);
    return b.fv(text);
}

// The SDO access table: one 9-byte entry per row of sdo.xml whose conf text is not empty.
void sdo_section(Build& b) {
    b.out.seek(1, 0);
    b.out.set_region("SDO access table", kBank1End);
    std::uint16_t count = 0;
    const fs::path file = sdo_file::schema.path_in(b.dir);
    if (!b.present(file)) {
        b.missing(kMsgSdoXmlNotFound, file);
    } else {
        read_table(b, file, [&](const TableDocument& doc) {
            using namespace sdo_file;
            for (const RowReader& row : doc.rows()) {
                const std::string packed = row.attr(conf);
                if (packed.empty())
                    continue;
                b.out.reserve(kSdoEntrySize);
                b.out.u8(b.fv(packed));
                b.out.be16(b.fv(row.attr(IndexA)));
                b.out.u8(b.fv(row.attr(SubindexA)));
                b.out.u8(b.fv(row.attr(devIDB)));
                b.out.be16(b.fv(row.attr(IndexB)));
                b.out.u8(b.fv(row.attr(SubindexB)));
                b.out.u8(b.fv(row.attr(nbyteB)));
                ++count;
            }
        });
    }
    b.word(dir_word::sdo_start) = 0;
    b.word(dir_word::sdo_count) = count;
    b.word(dir_word::sdo_size) = static_cast<std::uint16_t>(count * kSdoEntrySize);
}

// The stored-PDO rows: 5 bytes each, in bank 1 right after the SDO entries.
void stored_pdo_section(Build& b) {
    b.out.set_region("stored-PDO table", kBank1End);
    const fs::path file = sdopdo_file::schema.path_in(b.dir);
    if (!b.present(file)) {
        b.missing(kMsgSdoPdoXmlNotFound, file);
        return;
    }
    const auto start = static_cast<std::uint16_t>(b.out.position());
    std::uint16_t count = 0;
    read_table(b, file, [&](const TableDocument& doc) {
        for (const RowReader& row : doc.rows()) {
            b.out.reserve(kStoredPdoRowSize);
            b.out.be16(b.fv(row.attr(sdopdo_file::index)));
            b.out.u8(b.fv(row.attr(sdopdo_file::subindex)));
            const std::string pdo_number = row.attr(sdopdo_file::nrpdo);
            b.out.u8(b.fv(pdo_number));
            b.out.u8(b.fv(row.attr(sdopdo_file::poscomp)));
            if ((counted_value(b, pdo_number) & 0x80) == 0)
                ++count;
        }
    });
    b.word(dir_word::stored_start) = start;
    b.word(dir_word::stored_count) = count;
    b.word(dir_word::stored_end) = static_cast<std::uint16_t>(start + kStoredPdoRowSize * count);
}

struct EmcyMapping {
    std::uint16_t row;
    std::uint8_t selection;
    std::uint16_t reg;
    std::uint16_t hi_slot;
    std::uint16_t lo_slot;
};

struct EmcyEntry {
    std::uint8_t id;
    std::uint16_t code;
    std::uint8_t error_register;
    std::vector<EmcyMapping> mappings;
};

// EMCY numbers are strict integer text: a text that is not one stops the build.
std::int32_t emcy_number(const RowReader& row, const char* name, const fs::path& file) {
    return str_to_int(attr_of(row, name, file));
}

constexpr std::size_t kMaxMappingsPerEntry = 255;

std::string byte_number_message(const std::string& selection) {
    return "Error in EMCY Word: Dati_Byte " + selection +
           " names a message byte above 5. Build stopped.";
}

std::string count_of(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::vector<EmcyEntry> read_emcy(Build& b, std::uint16_t& register_rows) {
    std::vector<EmcyEntry> entries;
    const fs::path def_file = emcy_file::schema.path_in(b.dir);
    const fs::path word_file = emcy_word_file::schema.path_in(b.dir);
    if (!b.present(def_file)) {
        b.missing(kMsgEmcyXmlNotFound, def_file);
        return entries;
    }
    if (!b.present(word_file)) {
        b.missing(kMsgEmcyWordXmlNotFound, word_file);
        return entries;
    }
    const TableDocument defs = load_table(b, def_file);
    const TableDocument words = load_table(b, word_file);
    std::uint16_t slot_counter = 0;
    const auto in_def = [&](const RowReader& row, const char* name) {
        return emcy_number(row, name, def_file);
    };
    const WordGroups groups = word_groups(words, defs.row_count());
    auto def = defs.rows().begin();
    for (const RowReader& group : groups.paired) {
        const RowReader row = *def++;
        EmcyEntry e;
        e.id = static_cast<std::uint8_t>(in_def(row, emcy_file::ID_EMCY));
        e.code = static_cast<std::uint16_t>(in_def(row, emcy_file::EMCY_Error_Code));
        e.error_register = static_cast<std::uint8_t>(in_def(row, emcy_file::Error_Register));
        // Byte slots are given per entry: byte numbers 1 to 5 each get one on first use.
        std::array<int, kEmcyMessageBytes + 1> slot;
        slot.fill(-1);
        auto slot_of = [&](int byte_number) -> std::uint16_t {
            if (byte_number == 0)
                return kNoByteSlot;
            auto& s = slot[static_cast<std::size_t>(byte_number)];
            if (s < 0)
                s = slot_counter++;
            return static_cast<std::uint16_t>(s);
        };
        for (const RowReader& m : group.children()) {
            EmcyMapping map{};
            map.row = register_rows++;
            const std::string selection_text = attr_of(m, emcy_word_file::Dati_Byte, word_file);
            map.selection = static_cast<std::uint8_t>(str_to_int(selection_text));
            map.reg =
                static_cast<std::uint16_t>(emcy_number(m, emcy_word_file::Dati_Word, word_file));
            const int lo = map.selection & 0x0F;
            const int hi = map.selection >> 4;
            if (lo > kEmcyMessageBytes || hi > kEmcyMessageBytes)
                throw UserError(byte_number_message(selection_text));
            map.lo_slot = slot_of(lo);
            map.hi_slot = slot_of(hi);
            e.mappings.push_back(map);
        }
        if (e.mappings.size() > kMaxMappingsPerEntry)
            throw ImageCapacityError(
                "Error in EMCY Word: more than 255 Modbus registers for one EMCY. Build stopped.");
        entries.push_back(std::move(e));
    }
    // Text between the groups is no group: paired with a row it would shift every later group
    // to the wrong EMCY row.
    if (groups.stray_at)
        throw UserError(reading_error(word_file));
    // Rows and groups are paired by position; those beyond the shorter file have no partner and
    // stay out of the image, which the user must know.
    const std::size_t rows_left = defs.row_count() - groups.paired.size();
    if (rows_left + groups.surplus > 0)
        b.sink.show(emcy_left_out_message(entries.size(), rows_left, groups.surplus),
                    MessageKind::Warning);
    return entries;
}

// The EMCY records and then their register rows, in bank 2 from offset 0.
void emcy_section(Build& b) {
    std::uint16_t register_rows = 0;
    const std::vector<EmcyEntry> entries = read_emcy(b, register_rows);
    b.out.seek(2, 0);
    b.out.set_region("EMCY table", kBank2TablesEnd);
    for (const EmcyEntry& e : entries) {
        b.out.reserve(kEmcyRecordHeadSize + kEmcyMappingSize * e.mappings.size());
        b.out.u8(e.id);
        b.out.le16(e.code);
        b.out.u8(e.error_register);
        b.out.u8(static_cast<std::uint16_t>(e.mappings.size()));
        for (const EmcyMapping& m : e.mappings) {
            b.out.le16(m.row);
            b.out.u8(m.selection);
        }
    }
    const auto register_table = static_cast<std::uint16_t>(b.out.position());
    b.out.set_region("EMCY register table", kBank2TablesEnd);
    for (const EmcyEntry& e : entries) {
        for (const EmcyMapping& m : e.mappings) {
            b.out.reserve(kEmcyRegisterRowSize);
            b.out.le16(m.reg);
            b.out.le16(m.hi_slot);
            b.out.le16(m.lo_slot);
        }
    }
    b.word(dir_word::emcy_start) = 0;
    b.word(dir_word::emcy_count) = static_cast<std::uint16_t>(entries.size());
    b.word(dir_word::emcy_start_copy) = 0;
    b.word(dir_word::emcy_count_copy) = static_cast<std::uint16_t>(entries.size());
    b.word(dir_word::register_start) = register_table;
    b.word(dir_word::register_count) = register_rows;
    b.word(dir_word::register_start_copy) = register_table;
    b.word(dir_word::register_count_copy) = register_rows;
}

// The receive-PDO table: 6 bytes per row, right after the EMCY register table.
void receive_pdo_section(Build& b) {
    b.out.set_region("receive-PDO table", kBank2TablesEnd);
    const auto start = static_cast<std::uint16_t>(b.out.position());
    std::uint16_t count = 0;
    const fs::path file = rpdo_file::schema.path_in(b.dir);
    if (!b.present(file)) {
        b.missing(kMsgReaderPdoXmlNotFound, file);
    } else {
        read_table(b, file, [&](const TableDocument& doc) {
            using namespace rpdo_file;
            for (const RowReader& row : doc.rows()) {
                b.out.reserve(kReceivePdoRowSize);
                const std::string cob = row.attr(cobid);
                b.out.be16(b.fv(cob));
                b.out.u8(b.fv(row.attr(id_dev_orig)));
                b.out.u8(b.fv(row.attr(dimension)));
                b.out.u8(b.fv(row.attr(posind)));
                b.out.u8(b.fv(row.attr(n_tpdo)));
                if (counted_value(b, cob) != 0)
                    ++count;
            }
        });
    }
    b.word(dir_word::receive_start) = start;
    b.word(dir_word::receive_count) = count;
    b.word(dir_word::receive_end) = static_cast<std::uint16_t>(start + kReceivePdoRowSize * count);
    b.word(dir_word::receive_count_copy) = count;
}

void address_field(Build& b, const TableDocument& doc, pargen_file::Position position) {
    const RowReader row = doc.row(position);
    for (const char* octet : pargen_file::octets)
        b.out.u8(b.fv(row.attr(octet)));
}

// The first 13 characters, one byte each (Latin-1; characters beyond it become "?"), then zero
// bytes up to 14.
void name_field(Build& b, const std::string& utf8) {
    std::size_t written = 0;
    for (std::size_t i = 0; i < utf8.size() && written < kNameLength; ++written) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        std::uint16_t byte = c;
        std::size_t length = 1;
        if (c >= 0x80) {
            length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            const bool latin1 = length == 2 && c <= 0xC3 && i + 1 < utf8.size();
            byte = latin1
                       ? static_cast<std::uint16_t>(
                             ((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F))
                       : '?';
        }
        b.out.u8(byte);
        i += length;
    }
    for (; written < kNameFieldSize; ++written)
        b.out.u8(0);
}

// The start flags came later to the file; an absent one is cleared.
void flag_field(Build& b, const TableDocument& doc, pargen_file::Position position) {
    b.out.u8(is_true_text(doc.optional_attr(position, pargen_file::start)) ? 1 : 0);
}

void write_parameters(Build& b, const TableDocument& doc) {
    using namespace pargen_file;
    const auto text = [&](Position p) { return doc.row(p).text(); };
    b.out.seek(2, kParameterBlockOffset);
    b.out.set_region("parameter block", kTransmitTableOffset);
    b.out.reserve(kTransmitTableOffset - kParameterBlockOffset);
    b.out.u8(b.fv(text(ser)));
    b.out.be16(b.fv(text(baudmodbus)));
    b.out.u8(b.fv(text(parity)));
    b.out.u8(b.fv(text(devid)));
    b.out.be16(b.fv(text(BoudA)));
    b.out.u8(b.fv(text(idA)));
    b.out.be16(b.fv(text(BoudB)));
    b.out.u8(b.fv(text(idB)));
    b.out.be16(b.fv(text(timeoutsdo)));
    address_field(b, doc, devnetip);
    address_field(b, doc, devnetsubnetmask);
    const BuildStamp stamp = b.clock.now();
    b.out.le16(build_date_word(stamp));
    b.out.le16(build_time_word(stamp));
    name_field(b, doc.row(read_community).attr(name));
    name_field(b, doc.row(write_community).attr(name));
    address_field(b, doc, snmptrap_ip1);
    address_field(b, doc, snmptrap_ip2);
    address_field(b, doc, snmptrap_ip3);
    for (std::uint16_t w : b.words)
        b.out.be16(w);
    flag_field(b, doc, operational_at_start);
    flag_field(b, doc, network_start);
    flag_field(b, doc, network_start_modbus);
    const auto start_address = doc.optional_attr(modbus_start_address, address);
    b.out.be16(start_address ? b.fv(*start_address) : 0);
    const auto start_delay = doc.optional_attr(delay_network_start, delay);
    b.out.u8(start_delay ? b.fv(*start_delay) : 0);
}

// The parameter block with the build stamp and the table directory, at 16184.
void parameter_section(Build& b) {
    const fs::path file = pargen_file::schema.path_in(b.dir);
    if (!b.present(file)) {
        b.missing(kMsgParametresXmlNotFound, file);
        return;
    }
    read_table(b, file, [&](const TableDocument& doc) { write_parameters(b, doc); });
}

// The transmit-PDO table after the parameter block, up to the end of bank 2.
void transmit_pdo_section(Build& b) {
    b.out.set_region("transmit-PDO table", kBankSize);
    const fs::path file = tpdo_file::schema.path_in(b.dir);
    if (!b.present(file)) {
        b.missing(kMsgTransmitPdoXmlNotFound, file);
        return;
    }
    read_table(b, file, [&](const TableDocument& doc) {
        using namespace tpdo_file;
        const std::size_t rows = doc.row_count();
        b.out.reserve(1 + kTransmitPdoRowSize * rows);
        b.out.u8(static_cast<std::uint16_t>(rows));
        for (const RowReader& row : doc.rows()) {
            b.out.be16(b.fv(row.attr(COB_ID)));
            b.out.u8(b.fv(row.attr(Dimension)));
            b.out.be16(b.fv(row.attr(SMA)));
        }
    });
}

} // namespace

std::string emcy_left_out_message(std::size_t paired, std::size_t rows_left,
                                  std::size_t groups_left) {
    const std::string rows = count_of(paired + rows_left, "row", "rows");
    const std::string groups = count_of(paired + groups_left, "group", "groups");
    const std::string left =
        rows_left > 0
            ? count_of(rows_left, "row of emcydef.xml was", "rows of emcydef.xml were")
            : count_of(groups_left, "group of emcyword.xml was", "groups of emcyword.xml were");
    const std::string held = paired == 0 ? "no EMCY entries"
                                         : "the " + count_of(paired, "EMCY entry", "EMCY entries") +
                                               " paired by position";
    return "EMCY tables of different length: emcydef.xml has " + rows + ", emcyword.xml " + groups +
           ". The image holds " + held + "; " + left + " left out.";
}

void build_image(const std::filesystem::path& project_dir, Banks& banks, MessageSink& sink,
                 const Clock& clock) {
    build_image(project_dir, banks, sink, clock, TableStandIn{});
}

void build_image(const std::filesystem::path& project_dir, Banks& banks, MessageSink& sink,
                 const Clock& clock, const TableStandIn& stand_in) {
    banks.clear();
    Build b{project_dir,
            banks,
            sink,
            clock,
            ImageWriter(banks),
            stand_in.file_name.empty() ? nullptr : &stand_in};
    sdo_section(b);
    stored_pdo_section(b);
    emcy_section(b);
    receive_pdo_section(b);
    parameter_section(b);
    transmit_pdo_section(b);
}

std::array<std::uint16_t, kDirectoryWords> read_table_directory(const Banks& banks) {
    std::array<std::uint16_t, kDirectoryWords> words{};
    const auto bank2 = banks.bank(2);
    for (std::size_t i = 0; i < kDirectoryWords; ++i) {
        const std::size_t at = kTableDirectoryOffset + 2 * i;
        words[i] = static_cast<std::uint16_t>((bank2[at] << 8) | bank2[at + 1]);
    }
    return words;
}

} // namespace mk
