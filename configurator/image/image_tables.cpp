#include "image/image_tables.h"

#include <cstdio>

#include "tables/emcy_table.h"
#include "tables/emcy_word_table.h"
#include "tables/pargen_table.h"
#include "tables/rpdo_table.h"
#include "tables/sdo_table.h"
#include "tables/tpdo_table.h"

namespace mk {

namespace {

// Column titles that no column list of the table layer holds: the row number column of the
// grids, the labels of the stored-PDO and EMCY word windows, and the fields the image keeps
// that no editor shows.
namespace title {
constexpr std::string_view row_number = "N";
constexpr std::string_view sdo_sub_address = "SubindexA"; // kept in the image, not in the grid
constexpr std::string_view stored_pdo = "PDO";
constexpr std::string_view stored_index = "Index MODBUS";
constexpr std::string_view stored_subindex = "subindex";
constexpr std::string_view stored_high = "High MODBUS Byte";
constexpr std::string_view stored_low = "Low MODBUS Byte";
constexpr std::string_view emcy_registers = "Registers";
constexpr std::string_view emcy = "EMCY";
constexpr std::string_view emcy_high = "Hi Byte of Modbus Register";
constexpr std::string_view emcy_low = "Lo Byte of Modbus Register";
constexpr std::string_view register_row = "Register row";
constexpr std::string_view high_slot = "Hi Byte slot";
constexpr std::string_view low_slot = "Lo Byte slot";
constexpr std::string_view posind = "posind"; // written by the builder, not in the grid
constexpr std::string_view n_tpdo = "n_tpdo";
} // namespace title

const std::vector<std::string_view> kPdoByteChoices = {"none", "B1", "B2", "B3", "B4",
                                                       "B5",   "B6", "B7", "B8"};
const std::vector<std::string_view> kEmcyByteChoices(kByteChoices.begin(), kByteChoices.end());

std::string_view sdo_title(std::size_t column) {
    return kSdoColumns[column].title;
}

ImageColumn dec(std::string_view t) {
    return {t, CellForm::Decimal, 0, nullptr};
}
ImageColumn hex(std::string_view t, int width) {
    return {t, CellForm::Hex, width, nullptr};
}
ImageColumn choice(std::string_view t, const std::vector<std::string_view>& names) {
    return {t, CellForm::Choice, 0, &names};
}
ImageColumn slot(std::string_view t) {
    return {t, CellForm::Slot, 0, nullptr};
}

std::string dotted(const std::array<std::uint8_t, 4>& o) {
    return std::to_string(o[0]) + "." + std::to_string(o[1]) + "." + std::to_string(o[2]) + "." +
           std::to_string(o[3]);
}

} // namespace

std::string json_string(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", u);
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

namespace {

std::string two(int v) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02d", v);
    return buffer;
}

ImageParameter number(std::string_view key, std::string_view label, unsigned value) {
    return {key, label, std::to_string(value), std::to_string(value)};
}

ImageParameter text(std::string_view key, std::string_view label, const std::string& value) {
    return {key, label, value, json_string(value)};
}

// A list position with the item it selects in the window.
template <std::size_t N>
ImageParameter listed(std::string_view key, std::string_view label, unsigned value,
                      const std::array<const char*, N>& items) {
    ImageParameter p = number(key, label, value);
    if (value < N)
        p.text += std::string(" (") + items[value] + ")";
    return p;
}

ImageParameter flag(std::string_view key, std::string_view label, std::uint8_t value) {
    if (value > 1)
        return number(key, label, value);
    return {key, label, value ? "true" : "false", value ? "true" : "false"};
}

std::vector<ImageParameter> parameters_of(const ImageParameters& p) {
    const ImageStamp s = decode_stamp(p.date_word, p.time_word);
    const std::string date = "20" + two(s.year) + "-" + two(s.month) + "-" + two(s.day);
    const std::string time = two(s.hour) + ":" + two(s.minute) + ":" + two(s.second);
    return {
        number("idA", "DevID (bus A)", p.idA),
        number("BoudA", "Baud rate (bus A), kbit/s", p.BoudA),
        number("idB", "DevID (bus B)", p.idB),
        number("BoudB", "Baud rate (bus B), kbit/s", p.BoudB),
        number("timeoutsdo", "SDO Timeout (1/10 ms)", p.timeoutsdo),
        listed("baudmodbus", "Baudrate (serial)", p.baudmodbus, kSerialBaudRates),
        listed("parity", "Parity (serial)", p.parity, kParities),
        number("ser", "Serial line type", p.ser),
        number("devid", "DevID (serial)", p.devid),
        text("devnetip", "IP", dotted(p.devnetip)),
        text("devnetsubnetmask", "SubNet Mask", dotted(p.devnetsubnetmask)),
        text("read_community", "Community name Read", p.read_community),
        text("write_community", "Community name Write", p.write_community),
        text("snmptrap_ip1", "IP 1 for SNMP traps", dotted(p.snmptrap_ip[0])),
        text("snmptrap_ip2", "IP 2 for SNMP traps", dotted(p.snmptrap_ip[1])),
        text("snmptrap_ip3", "IP 3 for SNMP traps", dotted(p.snmptrap_ip[2])),
        flag("operational_at_start", "Set Operational State at Start-Up", p.operational_at_start),
        flag("network_start", "Network Start at Start-Up", p.network_start),
        flag("network_start_modbus", "Can Start on Modbus command", p.network_start_modbus),
        number("modbus_start_address", "Add. Word modbus", p.modbus_start_address),
        number("delay_network_start", "Delay (0-255 sec.)", p.delay_network_start),
        text("build_date", "Build date", date),
        text("build_time", "Build time", time),
    };
}

ImageTable sdo_table(const std::vector<SdoEntry>& entries) {
    ImageTable t{"SDO access table",
                 "sdo",
                 {dec(title::row_number), dec(sdo_title(0)), dec(sdo_title(1)), dec(sdo_title(2)),
                  dec(sdo_title(3)), dec(sdo_title(4)), hex(sdo_title(5), 4), dec(sdo_title(6)),
                  dec(sdo_title(7)), dec(title::sdo_sub_address)},
                 {}};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const SdoEntry& e = entries[i];
        t.rows.push_back({static_cast<std::uint32_t>(i), e.IndexA,
                          static_cast<std::uint32_t>(e.conf >> 5),
                          static_cast<std::uint32_t>(e.conf & 0x07),
                          static_cast<std::uint32_t>((e.conf >> 4) & 1), e.devIDB, e.IndexB,
                          e.SubindexB, e.nbyteB, e.SubindexA});
    }
    return t;
}

ImageTable stored_pdo_table(const std::vector<StoredPdoRow>& rows) {
    ImageTable t{"Stored-PDO table",
                 "stored_pdo",
                 {dec(title::row_number), dec(title::stored_pdo), dec(title::stored_index),
                  dec(title::stored_subindex), choice(title::stored_high, kPdoByteChoices),
                  choice(title::stored_low, kPdoByteChoices)},
                 {}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const StoredPdoRow& r = rows[i];
        t.rows.push_back({static_cast<std::uint32_t>(i), r.nrpdo, r.index, r.subindex,
                          static_cast<std::uint32_t>(r.poscomp >> 4),
                          static_cast<std::uint32_t>(r.poscomp & 0x0F)});
    }
    return t;
}

ImageTable emcy_table(const std::vector<EmcyRecord>& records) {
    ImageTable t{"EMCY table",
                 "emcy",
                 {dec(title::row_number), dec(kEmcyColumnTitles[0]), hex(kEmcyColumnTitles[1], 4),
                  hex(kEmcyColumnTitles[2], 2), dec(title::emcy_registers)},
                 {}};
    for (std::size_t i = 0; i < records.size(); ++i) {
        const EmcyRecord& r = records[i];
        t.rows.push_back({static_cast<std::uint32_t>(i), r.id, r.error_code, r.error_register,
                          static_cast<std::uint32_t>(r.mappings.size())});
    }
    return t;
}

// Every mapping of every EMCY record with the register row it names, in register-row order.
ImageTable emcy_word_table(const std::vector<EmcyRecord>& records) {
    ImageTable t{"EMCY word table",
                 "emcy_word",
                 {dec(title::emcy), dec(kRegisterColumnTitle),
                  choice(title::emcy_high, kEmcyByteChoices),
                  choice(title::emcy_low, kEmcyByteChoices), dec(title::register_row),
                  slot(title::high_slot), slot(title::low_slot)},
                 {}};
    for (std::size_t i = 0; i < records.size(); ++i) {
        for (const EmcyMapping& m : records[i].mappings)
            t.rows.push_back({static_cast<std::uint32_t>(i), m.reg,
                              static_cast<std::uint32_t>(m.selection >> 4),
                              static_cast<std::uint32_t>(m.selection & 0x0F), m.register_row,
                              m.hi_slot, m.lo_slot});
    }
    return t;
}

ImageTable receive_pdo_table(const std::vector<ReceivePdoRow>& rows) {
    ImageTable t{"Receive-PDO table",
                 "receive_pdo",
                 {dec(title::row_number), hex(kRpdoColumns[0].title, 3), dec(kRpdoColumns[1].title),
                  dec(kRpdoColumns[2].title), dec(title::posind), dec(title::n_tpdo)},
                 {}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ReceivePdoRow& r = rows[i];
        t.rows.push_back({static_cast<std::uint32_t>(i), r.cobid, r.id_dev_orig, r.dimension,
                          r.posind, r.n_tpdo});
    }
    return t;
}

ImageTable transmit_pdo_table(const std::vector<TransmitPdoRow>& rows) {
    ImageTable t{"Transmit-PDO table",
                 "transmit_pdo",
                 {dec(title::row_number), hex(kTpdoColumns[0].title, 3), dec(kTpdoColumns[1].title),
                  dec(kTpdoColumns[2].title)},
                 {}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TransmitPdoRow& r = rows[i];
        t.rows.push_back({static_cast<std::uint32_t>(i), r.cob_id, r.dimension, r.sma});
    }
    return t;
}

} // namespace

ImageView view_of(const ConfigurationImage& image) {
    return {parameters_of(image.parameters),
            {sdo_table(image.sdo), stored_pdo_table(image.stored_pdo), emcy_table(image.emcy),
             emcy_word_table(image.emcy), receive_pdo_table(image.receive_pdo),
             transmit_pdo_table(image.transmit_pdo)}};
}

std::string cell_text(const ImageColumn& column, std::uint32_t value) {
    switch (column.form) {
    case CellForm::Hex: {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "0x%0*X", column.width, static_cast<unsigned>(value));
        return buffer;
    }
    case CellForm::Choice:
        if (column.choices && value < column.choices->size() && !(*column.choices)[value].empty())
            return std::string((*column.choices)[value]);
        return std::to_string(value);
    case CellForm::Slot:
        return value == kNoByteSlot ? "none" : std::to_string(value);
    case CellForm::Decimal:
        break;
    }
    return std::to_string(value);
}

bool is_build_stamp(std::string_view key) {
    return key == "build_date" || key == "build_time";
}

} // namespace mk
