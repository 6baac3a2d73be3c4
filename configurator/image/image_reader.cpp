#include "image/image_reader.h"

#include <algorithm>
#include <optional>

namespace mk {

namespace {

std::string num(std::size_t value) {
    return std::to_string(value);
}

// One bank, read only at places checked against its size.
class BankView {
public:
    BankView(std::span<const std::uint8_t> bytes, int number) : bytes_(bytes), number_(number) {}

    std::uint8_t u8(std::size_t at) const {
        if (at >= bytes_.size())
            throw ImageError("Bank " + num(static_cast<std::size_t>(number_)) +
                             ": a read at offset " + num(at) + " lies past the end of the bank");
        return bytes_[at];
    }
    std::uint16_t be16(std::size_t at) const {
        return static_cast<std::uint16_t>((u8(at) << 8) | u8(at + 1));
    }
    std::uint16_t le16(std::size_t at) const {
        return static_cast<std::uint16_t>(u8(at) | (u8(at + 1) << 8));
    }
    std::array<std::uint8_t, 4> octets(std::size_t at) const {
        return {u8(at), u8(at + 1), u8(at + 2), u8(at + 3)};
    }
    int number() const { return number_; }

private:
    std::span<const std::uint8_t> bytes_;
    int number_;
};

// A name field: Latin-1 bytes up to the first zero byte, within its first 13 bytes.
std::string name_field(const BankView& bank, std::size_t at) {
    std::string out;
    for (std::size_t i = 0; i < kNameLength; ++i) {
        const std::uint8_t c = bank.u8(at + i);
        if (c == 0)
            break;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

ImageParameters read_parameters(const BankView& b2) {
    namespace at = param_offset;
    ImageParameters p;
    p.ser = b2.u8(at::ser);
    p.baudmodbus = b2.be16(at::baudmodbus);
    p.parity = b2.u8(at::parity);
    p.devid = b2.u8(at::devid);
    p.BoudA = b2.be16(at::BoudA);
    p.idA = b2.u8(at::idA);
    p.BoudB = b2.be16(at::BoudB);
    p.idB = b2.u8(at::idB);
    p.timeoutsdo = b2.be16(at::timeoutsdo);
    p.devnetip = b2.octets(at::devnetip);
    p.devnetsubnetmask = b2.octets(at::devnetsubnetmask);
    p.date_word = b2.le16(at::date_word);
    p.time_word = b2.le16(at::time_word);
    p.read_community = name_field(b2, at::read_community);
    p.write_community = name_field(b2, at::write_community);
    p.snmptrap_ip = {b2.octets(at::snmptrap_ip1), b2.octets(at::snmptrap_ip2),
                     b2.octets(at::snmptrap_ip3)};
    p.operational_at_start = b2.u8(at::operational_at_start);
    p.network_start = b2.u8(at::network_start);
    p.network_start_modbus = b2.u8(at::network_start_modbus);
    p.modbus_start_address = b2.be16(at::modbus_start_address);
    p.delay_network_start = b2.u8(at::delay_network_start);
    return p;
}

std::size_t word_offset(int word) {
    return kTableDirectoryOffset + 2 * static_cast<std::size_t>(word - 1);
}

std::string word_place(int word) {
    return "table directory word " + num(static_cast<std::size_t>(word)) + " (bank 2, offset " +
           num(word_offset(word)) + ")";
}

// The words that repeat another or follow from others must agree with them.
void check_directory(const std::array<std::uint16_t, kDirectoryWords>& dir) {
    const auto w = [&](int n) { return dir[static_cast<std::size_t>(n - 1)]; };
    const auto expect = [&](int word, std::size_t expected, const std::string& because) {
        if (w(word) != (expected & 0xFFFFu))
            throw ImageError("The " + word_place(word) + " holds " + num(w(word)) + " where " +
                             num(expected & 0xFFFFu) + " was expected (" + because + ")");
    };
    using namespace dir_word;
    expect(sdo_size, kSdoEntrySize * w(sdo_count), "9 bytes for each SDO entry of word 2");
    expect(emcy_start_copy, w(emcy_start), "the same as word 5");
    expect(emcy_count_copy, w(emcy_count), "the same as word 6");
    expect(register_start_copy, w(register_start), "the same as word 9");
    expect(register_count_copy, w(register_count), "the same as word 10");
    expect(receive_end, w(receive_start) + kReceivePdoRowSize * w(receive_count),
           "word 13 plus 6 bytes for each receive-PDO row of word 14");
    expect(receive_count_copy, w(receive_count), "the same as word 14");
    expect(stored_end, w(stored_start) + kStoredPdoRowSize * w(stored_count),
           "word 17 plus 5 bytes for each stored-PDO row of word 18");
}

// The place a table takes in its bank, as the directory gives it.
struct Region {
    std::string table;
    std::string words; // the directory words that place it
    int bank;
    std::size_t start;
    std::size_t size;
    std::size_t limit; // the table must end at or before this offset
};

std::string span_text(const Region& r) {
    return "bank " + num(static_cast<std::size_t>(r.bank)) + ", offsets " + num(r.start) + " to " +
           num(r.start + r.size - 1);
}

void check_region(const Region& r) {
    if (r.size == 0)
        return;
    if (r.start + r.size > r.limit) {
        const std::string where = r.limit == kBankSize
                                      ? "the end of bank " + num(static_cast<std::size_t>(r.bank))
                                      : "the parameter block of bank 2";
        throw ImageError("The " + r.table + " (" + r.words + ": bank " +
                         num(static_cast<std::size_t>(r.bank)) + ", offset " + num(r.start) + ", " +
                         num(r.size) + " bytes) runs to offset " + num(r.start + r.size) +
                         ", past " + where + " at offset " + num(r.limit));
    }
}

void check_overlaps(const std::vector<Region>& regions) {
    for (std::size_t i = 0; i < regions.size(); ++i) {
        for (std::size_t j = i + 1; j < regions.size(); ++j) {
            const Region& a = regions[i];
            const Region& b = regions[j];
            if (a.bank != b.bank || a.size == 0 || b.size == 0)
                continue;
            if (a.start < b.start + b.size && b.start < a.start + a.size)
                throw ImageError("The " + b.table + " (" + span_text(b) + ", " + b.words +
                                 ") overlaps the " + a.table + " (" + span_text(a) + ", " +
                                 a.words + ")");
        }
    }
}

// The EMCY records, one after the other from their start; returns where the last one ends.
std::size_t read_emcy_records(const BankView& b2, std::size_t start, std::size_t count,
                              std::vector<EmcyRecord>& out) {
    std::size_t at = start;
    for (std::size_t i = 0; i < count; ++i) {
        const auto past = [&](std::size_t end) {
            if (end > kBank2TablesEnd)
                throw ImageError("EMCY record " + num(i + 1) + " of " + num(count) +
                                 " (bank 2, offset " + num(at) + ") runs to offset " + num(end) +
                                 ", past the parameter block of bank 2 at offset " +
                                 num(kBank2TablesEnd) + " (table directory words 5 and 6)");
        };
        past(at + kEmcyRecordHeadSize);
        EmcyRecord r;
        r.id = b2.u8(at);
        r.error_code = b2.le16(at + 1);
        r.error_register = b2.u8(at + 3);
        const std::size_t mappings = b2.u8(at + 4);
        past(at + kEmcyRecordHeadSize + kEmcyMappingSize * mappings);
        for (std::size_t j = 0; j < mappings; ++j) {
            const std::size_t m = at + kEmcyRecordHeadSize + kEmcyMappingSize * j;
            EmcyMapping map;
            map.register_row = b2.le16(m);
            map.selection = b2.u8(m + 2);
            r.mappings.push_back(map);
        }
        out.push_back(std::move(r));
        at += kEmcyRecordHeadSize + kEmcyMappingSize * mappings;
    }
    return at;
}

void join_register_rows(const BankView& b2, std::size_t start, std::size_t rows,
                        std::vector<EmcyRecord>& records) {
    for (std::size_t i = 0; i < records.size(); ++i) {
        for (std::size_t j = 0; j < records[i].mappings.size(); ++j) {
            EmcyMapping& m = records[i].mappings[j];
            if (m.register_row >= rows)
                throw ImageError("EMCY record " + num(i + 1) + ", mapping " + num(j + 1) +
                                 " names register row " + num(m.register_row) +
                                 ", but the EMCY register table (table directory word 10) has " +
                                 num(rows) + " rows");
            const std::size_t at = start + kEmcyRegisterRowSize * m.register_row;
            m.reg = b2.le16(at);
            m.hi_slot = b2.le16(at + 2);
            m.lo_slot = b2.le16(at + 4);
        }
    }
}

} // namespace

ImageStamp decode_stamp(std::uint16_t date_word, std::uint16_t time_word) {
    return {date_word & 0x7F, (date_word >> 7) & 0x0F, date_word >> 11,
            time_word & 0x1F, (time_word >> 5) & 0x3F, (time_word >> 11) * 2};
}

ConfigurationImage read_image(std::span<const std::uint8_t> bank1,
                              std::span<const std::uint8_t> bank2) {
    if (bank1.size() != kBankSize || bank2.size() != kBankSize)
        throw ImageError("A bank holds " +
                         num(bank1.size() != kBankSize ? bank1.size() : bank2.size()) +
                         " bytes instead of " + num(kBankSize));
    const BankView b1(bank1, 1);
    const BankView b2(bank2, 2);
    ConfigurationImage image;
    image.parameters = read_parameters(b2);
    for (std::size_t i = 0; i < kDirectoryWords; ++i)
        image.directory[i] = b2.be16(word_offset(static_cast<int>(i + 1)));
    check_directory(image.directory);
    const auto w = [&](int n) -> std::size_t {
        return image.directory[static_cast<std::size_t>(n - 1)];
    };
    using namespace dir_word;

    // The EMCY records have their size in their own bytes: read them first (each within the
    // tables' part of bank 2), then check every table's place at once.
    const std::size_t emcy_end = read_emcy_records(b2, w(emcy_start), w(emcy_count), image.emcy);
    const std::vector<Region> regions = {
        {"SDO access table", "table directory words 1 and 2", 1, w(sdo_start),
         kSdoEntrySize * w(sdo_count), kBankSize},
        {"stored-PDO table", "table directory words 17 and 18", 1, w(stored_start),
         kStoredPdoRowSize * w(stored_count), kBankSize},
        {"EMCY table", "table directory words 5 and 6", 2, w(emcy_start), emcy_end - w(emcy_start),
         kBank2TablesEnd},
        {"EMCY register table", "table directory words 9 and 10", 2, w(register_start),
         kEmcyRegisterRowSize * w(register_count), kBank2TablesEnd},
        {"receive-PDO table", "table directory words 13 and 14", 2, w(receive_start),
         kReceivePdoRowSize * w(receive_count), kBank2TablesEnd},
    };
    for (const Region& r : regions)
        check_region(r);
    check_overlaps(regions);
    join_register_rows(b2, w(register_start), w(register_count), image.emcy);

    for (std::size_t i = 0; i < w(sdo_count); ++i) {
        const std::size_t at = w(sdo_start) + kSdoEntrySize * i;
        image.sdo.push_back({b1.u8(at), b1.be16(at + 1), b1.u8(at + 3), b1.u8(at + 4),
                             b1.be16(at + 5), b1.u8(at + 7), b1.u8(at + 8)});
    }
    for (std::size_t i = 0; i < w(stored_count); ++i) {
        const std::size_t at = w(stored_start) + kStoredPdoRowSize * i;
        image.stored_pdo.push_back({b1.be16(at), b1.u8(at + 2), b1.u8(at + 3), b1.u8(at + 4)});
    }
    for (std::size_t i = 0; i < w(receive_count); ++i) {
        const std::size_t at = w(receive_start) + kReceivePdoRowSize * i;
        image.receive_pdo.push_back(
            {b2.be16(at), b2.u8(at + 2), b2.u8(at + 3), b2.u8(at + 4), b2.u8(at + 5)});
    }

    const std::size_t transmit_rows = b2.u8(kTransmitTableOffset);
    const std::size_t transmit_end = kTransmitTableOffset + 1 + kTransmitPdoRowSize * transmit_rows;
    if (transmit_end > kBankSize)
        throw ImageError("The transmit-PDO count (bank 2, offset " + num(kTransmitTableOffset) +
                         ") is " + num(transmit_rows) + ": its rows would run to offset " +
                         num(transmit_end) + ", past the end of bank 2 at offset " +
                         num(kBankSize));
    for (std::size_t r = 0; r < transmit_rows; ++r) {
        const std::size_t at = kTransmitTableOffset + 1 + kTransmitPdoRowSize * r;
        image.transmit_pdo.push_back({b2.be16(at), b2.u8(at + 2), b2.be16(at + 3)});
    }
    return image;
}

} // namespace mk
