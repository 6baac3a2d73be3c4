#include "firmware/image_builder.h"

#include <optional>
#include <string>
#include <vector>

#include "firmware/field_value.h"
#include "firmware/image_writer.h"
#include "tables/integer_text.h"
#include "tables/table_file.h"
#include "tables/user_error.h"

namespace mk {

namespace {

namespace fs = std::filesystem;

// Capacity of each region, as the device expects the tables.
constexpr std::size_t kBank1End = kBankSize;
constexpr std::size_t kBank2TablesEnd = kParameterBlockOffset;
constexpr std::size_t kNameFieldSize = 14;
constexpr std::size_t kNameLength = 13;

struct Build {
    const fs::path& dir;
    Banks& banks;
    MessageSink& sink;
    const Clock& clock;
    ImageWriter out;
    std::array<std::uint16_t, kDirectoryWords> words{};

    std::uint16_t& word(int number) { return words[static_cast<std::size_t>(number - 1)]; }
    std::uint16_t fv(std::string_view text) { return field_value(text, sink); }
    void missing(std::string_view message) { sink.show(message, MessageKind::Information); }
};

std::string reading_error(const fs::path& file) {
    return std::string(kMsgErrorReading) + " (" + file.filename().string() + ")";
}

bool present(const fs::path& file) {
    std::error_code ec;
    return fs::exists(file, ec);
}

TableDocument load_table(const fs::path& file) {
    try {
        return TableDocument::load(file);
    } catch (const TableReadError&) {
        throw UserError(reading_error(file));
    }
}

// An attribute the build needs: its absence stops the build.
std::string attr(pugi::xml_node row, const char* name, const fs::path& file) {
    const pugi::xml_attribute a = row.attribute(name);
    if (!a)
        throw UserError(reading_error(file));
    return a.value();
}

std::size_t child_count(pugi::xml_node node) {
    std::size_t n = 0;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        ++n;
    return n;
}

// The count tests of the stored-PDO and receive-PDO sections read their text twice more after
// the row was written, so a text that is not a number is reported three times in all.
std::uint16_t counted_value(Build& b, std::string_view text) {
    b.fv(text);
    return b.fv(text);
}

// Section 1: one 9-byte entry per row of sdo.xml whose conf text is not empty.
void sdo_section(Build& b) {
    b.out.seek(1, 0);
    b.out.set_region("SDO access table", kBank1End);
    std::uint16_t count = 0;
    const fs::path file = b.dir / "sdo.xml";
    if (!present(file)) {
        b.missing(kMsgSdoXmlNotFound);
    } else {
        const TableDocument doc = load_table(file);
        for (pugi::xml_node row = doc.root().first_child(); row; row = row.next_sibling()) {
            const std::string conf = attr(row, "conf", file);
            if (conf.empty())
                continue;
            b.out.reserve(9);
            b.out.u8(b.fv(conf));
            b.out.be16(b.fv(attr(row, "IndexA", file)));
            b.out.u8(b.fv(attr(row, "SubindexA", file)));
            b.out.u8(b.fv(attr(row, "devIDB", file)));
            b.out.be16(b.fv(attr(row, "IndexB", file)));
            b.out.u8(b.fv(attr(row, "SubindexB", file)));
            b.out.u8(b.fv(attr(row, "nbyteB", file)));
            ++count;
        }
    }
    b.word(1) = 0;
    b.word(2) = count;
    b.word(3) = static_cast<std::uint16_t>(count * 9);
}

// Section 2: 5 bytes per row of sdopdo.xml, in bank 1 right after the SDO entries.
void stored_pdo_section(Build& b) {
    b.out.set_region("stored-PDO table", kBank1End);
    const fs::path file = b.dir / "sdopdo.xml";
    if (!present(file)) {
        b.missing(kMsgSdoPdoXmlNotFound);
        return;
    }
    const TableDocument doc = load_table(file);
    const auto start = static_cast<std::uint16_t>(b.out.position());
    std::uint16_t count = 0;
    for (pugi::xml_node row = doc.root().first_child(); row; row = row.next_sibling()) {
        b.out.reserve(5);
        b.out.be16(b.fv(attr(row, "index", file)));
        b.out.u8(b.fv(attr(row, "subindex", file)));
        const std::string nrpdo = attr(row, "nrpdo", file);
        b.out.u8(b.fv(nrpdo));
        b.out.u8(b.fv(attr(row, "poscomp", file)));
        if ((counted_value(b, nrpdo) & 0x80) == 0)
            ++count;
    }
    b.word(17) = start;
    b.word(18) = count;
    b.word(19) = static_cast<std::uint16_t>(start + 5 * count);
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
std::int32_t emcy_number(pugi::xml_node row, const char* name, const fs::path& file) {
    return str_to_int(attr(row, name, file));
}

constexpr int kEmcyMessageBytes = 5;
constexpr std::size_t kMaxMappingsPerEntry = 255;

std::string byte_number_message(const std::string& selection) {
    return "Error in EMCY Word: Dati_Byte " + selection +
           " names a message byte above 5. Build stopped.";
}

std::vector<EmcyEntry> read_emcy(Build& b, std::uint16_t& register_rows) {
    std::vector<EmcyEntry> entries;
    const fs::path def_file = b.dir / "emcydef.xml";
    const fs::path word_file = b.dir / "emcyword.xml";
    if (!present(def_file)) {
        b.missing(kMsgEmcyXmlNotFound);
        return entries;
    }
    if (!present(word_file)) {
        b.missing(kMsgEmcyWordXmlNotFound);
        return entries;
    }
    const TableDocument defs = load_table(def_file);
    const TableDocument words = load_table(word_file);
    std::uint16_t slot_counter = 0;
    pugi::xml_node def = defs.root().first_child();
    pugi::xml_node group = words.root().first_child();
    for (; def && group; def = def.next_sibling(), group = group.next_sibling()) {
        // Text between the groups is no group: paired with a row it would shift every later
        // group to the wrong EMCY row.
        if (group.type() != pugi::node_element)
            throw UserError(reading_error(word_file));
        EmcyEntry e;
        e.id = static_cast<std::uint8_t>(emcy_number(def, "ID_EMCY", def_file));
        e.code = static_cast<std::uint16_t>(emcy_number(def, "EMCY_Error_Code", def_file));
        e.error_register = static_cast<std::uint8_t>(emcy_number(def, "Error_Register", def_file));
        // Byte slots are given per entry: byte numbers 1 to 5 each get one on first use.
        std::array<int, kEmcyMessageBytes + 1> slot;
        slot.fill(-1);
        auto slot_of = [&](int byte_number) -> std::uint16_t {
            if (byte_number == 0)
                return 0xFFFF;
            auto& s = slot[static_cast<std::size_t>(byte_number)];
            if (s < 0)
                s = slot_counter++;
            return static_cast<std::uint16_t>(s);
        };
        for (pugi::xml_node m = group.first_child(); m; m = m.next_sibling()) {
            EmcyMapping map{};
            map.row = register_rows++;
            const std::string selection_text = attr(m, "Dati_Byte", word_file);
            map.selection = static_cast<std::uint8_t>(str_to_int(selection_text));
            map.reg = static_cast<std::uint16_t>(emcy_number(m, "Dati_Word", word_file));
            const int lo = map.selection & 0x0F;
            const int hi = map.selection >> 4;
            if (lo > kEmcyMessageBytes || hi > kEmcyMessageBytes)
                throw UserError(byte_number_message(selection_text));
            map.lo_slot = slot_of(lo);
            map.hi_slot = slot_of(hi);
            e.mappings.push_back(map);
        }
        if (e.mappings.size() > kMaxMappingsPerEntry)
            throw UserError("Error in EMCY Word: more than 255 Modbus registers for one EMCY. "
                            "Build stopped.");
        entries.push_back(std::move(e));
    }
    return entries;
}

// Section 3: the EMCY records and then the register rows, in bank 2 from offset 0.
void emcy_section(Build& b) {
    std::uint16_t register_rows = 0;
    const std::vector<EmcyEntry> entries = read_emcy(b, register_rows);
    b.out.seek(2, 0);
    b.out.set_region("EMCY table", kBank2TablesEnd);
    for (const EmcyEntry& e : entries) {
        b.out.reserve(5 + 3 * e.mappings.size());
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
            b.out.reserve(6);
            b.out.le16(m.reg);
            b.out.le16(m.hi_slot);
            b.out.le16(m.lo_slot);
        }
    }
    b.word(5) = 0;
    b.word(6) = static_cast<std::uint16_t>(entries.size());
    b.word(7) = 0;
    b.word(8) = static_cast<std::uint16_t>(entries.size());
    b.word(9) = register_table;
    b.word(10) = register_rows;
    b.word(11) = register_table;
    b.word(12) = register_rows;
}

// Section 4: 6 bytes per row of rpdodef.xml, right after the EMCY register table.
void receive_pdo_section(Build& b) {
    b.out.set_region("receive-PDO table", kBank2TablesEnd);
    const auto start = static_cast<std::uint16_t>(b.out.position());
    std::uint16_t count = 0;
    const fs::path file = b.dir / "rpdodef.xml";
    if (!present(file)) {
        b.missing(kMsgReaderPdoXmlNotFound);
    } else {
        const TableDocument doc = load_table(file);
        for (pugi::xml_node row = doc.root().first_child(); row; row = row.next_sibling()) {
            b.out.reserve(6);
            const std::string cobid = attr(row, "cobid", file);
            b.out.be16(b.fv(cobid));
            b.out.u8(b.fv(attr(row, "id_dev_orig", file)));
            b.out.u8(b.fv(attr(row, "dimension", file)));
            b.out.u8(b.fv(attr(row, "posind", file)));
            b.out.u8(b.fv(attr(row, "n_tpdo", file)));
            if (counted_value(b, cobid) != 0)
                ++count;
        }
    }
    b.word(13) = start;
    b.word(14) = count;
    b.word(15) = static_cast<std::uint16_t>(start + 6 * count);
    b.word(16) = count;
}

// The children of the pargen.xml root, by position.
class Parameters {
public:
    Parameters(const TableDocument& doc, const fs::path& file) : file_(file) {
        for (pugi::xml_node c = doc.root().first_child(); c; c = c.next_sibling())
            children_.push_back(c);
    }
    pugi::xml_node child(std::size_t position) const {
        if (position >= children_.size())
            throw UserError(reading_error(file_));
        return children_[position];
    }
    std::string text(std::size_t position) const { return child(position).text().get(); }
    std::string attr(std::size_t position, const char* name) const {
        return mk::attr(child(position), name, file_);
    }
    // Children 16 to 20 came later to the file; when absent they read as nothing.
    std::optional<std::string> optional_attr(std::size_t position, const char* name) const {
        if (position >= children_.size())
            return std::nullopt;
        const pugi::xml_attribute a = children_[position].attribute(name);
        if (!a)
            return std::nullopt;
        return std::string(a.value());
    }

private:
    const fs::path& file_;
    std::vector<pugi::xml_node> children_;
};

void address_field(Build& b, const Parameters& p, std::size_t position) {
    for (const char* octet : {"b1", "b2", "b3", "b4"})
        b.out.u8(b.fv(p.attr(position, octet)));
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

void flag_field(Build& b, const Parameters& p, std::size_t position) {
    const auto text = p.optional_attr(position, "start");
    std::string lower = text.value_or("");
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    b.out.u8(lower == "true" ? 1 : 0);
}

// Section 5: the parameter block with the build stamp and the table directory, at 16184.
void parameter_section(Build& b) {
    const fs::path file = b.dir / "pargen.xml";
    if (!present(file)) {
        b.missing(kMsgParametresXmlNotFound);
        return;
    }
    const TableDocument doc = load_table(file);
    const Parameters p(doc, file);
    b.out.seek(2, kParameterBlockOffset);
    b.out.set_region("parameter block", kTransmitTableOffset);
    b.out.reserve(kTransmitTableOffset - kParameterBlockOffset);
    b.out.u8(b.fv(p.text(7)));
    b.out.be16(b.fv(p.text(5)));
    b.out.u8(b.fv(p.text(6)));
    b.out.u8(b.fv(p.text(8)));
    b.out.be16(b.fv(p.text(1)));
    b.out.u8(b.fv(p.text(0)));
    b.out.be16(b.fv(p.text(3)));
    b.out.u8(b.fv(p.text(2)));
    b.out.be16(b.fv(p.text(4)));
    address_field(b, p, 9);
    address_field(b, p, 10);
    const BuildStamp stamp = b.clock.now();
    b.out.le16(build_date_word(stamp));
    b.out.le16(build_time_word(stamp));
    name_field(b, p.attr(11, "name"));
    name_field(b, p.attr(12, "name"));
    address_field(b, p, 13);
    address_field(b, p, 14);
    address_field(b, p, 15);
    for (std::uint16_t w : b.words)
        b.out.be16(w);
    flag_field(b, p, 16);
    flag_field(b, p, 17);
    flag_field(b, p, 18);
    const auto address = p.optional_attr(19, "address");
    b.out.be16(address ? b.fv(*address) : 0);
    const auto delay = p.optional_attr(20, "delay");
    b.out.u8(delay ? b.fv(*delay) : 0);
}

// Section 6: the transmit-PDO table after the parameter block, up to the end of bank 2.
void transmit_pdo_section(Build& b) {
    b.out.set_region("transmit-PDO table", kBankSize);
    const fs::path file = b.dir / "Transmit_Pdo.xml";
    if (!present(file)) {
        b.missing(kMsgTransmitPdoXmlNotFound);
        return;
    }
    const TableDocument doc = load_table(file);
    const std::size_t rows = child_count(doc.root());
    b.out.reserve(1 + 5 * rows);
    b.out.u8(static_cast<std::uint16_t>(rows));
    for (pugi::xml_node row = doc.root().first_child(); row; row = row.next_sibling()) {
        b.out.be16(b.fv(attr(row, "COB-ID", file)));
        b.out.u8(b.fv(attr(row, "Dimension", file)));
        b.out.be16(b.fv(attr(row, "SMA", file)));
    }
}

} // namespace

void build_image(const std::filesystem::path& project_dir, Banks& banks, MessageSink& sink,
                 const Clock& clock) {
    banks.clear();
    Build b{project_dir, banks, sink, clock, ImageWriter(banks), {}};
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
