#include "tables/pargen_table.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "tables/integer_text.h"
#include "tables/table_file.h"

namespace mk {

namespace {

constexpr const char* kRoot = "ParametriGenerali";
constexpr std::array<const char*, 4> kOctetNames = {"b1", "b2", "b3", "b4"};

// Each octet goes into its field as soon as it is read, so a missing b3 keeps the new b1 and b2
// and leaves b3 and b4 as they were, like every other field read before a failure.
void read_octets(const RowReader& row, OctetTexts& octets) {
    for (std::size_t i = 0; i < octets.size(); ++i)
        octets[i] = row.attr(kOctetNames[i]);
}

// A list position from the file; a value outside the list selects no item.
int list_position(const RowReader& row, std::size_t items) {
    const int pos = str_to_int(row.text());
    return pos >= 0 && static_cast<std::size_t>(pos) < items ? pos : kNoListItem;
}

// Positions 0 to 15: every value must be there; the first failure ends the load. Each value goes
// into the record as soon as it is read, so a failure keeps the values read before it.
void read_required(const TableDocument& doc, TParGen& r) {
    r.idA = doc.row(0).text();
    r.boudA = doc.row(1).text();
    r.idB = doc.row(2).text();
    r.boudB = doc.row(3).text();
    r.timeoutsdo = doc.row(4).text();
    r.baudmodbus = list_position(doc.row(5), kSerialBaudRates.size());
    r.parity = list_position(doc.row(6), kParities.size());
    // The line type in the file must be a number, but the gateway's line is always RS-485.
    str_to_int(doc.row(7).text());
    r.ser = SerialLine::Rs485;
    r.devid = doc.row(8).text();
    read_octets(doc.row(9), r.devnetip);
    read_octets(doc.row(10), r.devnetsubnetmask);
    r.readCommunity = doc.row(11).attr("name");
    r.writeCommunity = doc.row(12).attr("name");
    read_octets(doc.row(13), r.snmptrapIp1);
    read_octets(doc.row(14), r.snmptrapIp2);
    read_octets(doc.row(15), r.snmptrapIp3);
}

// An attribute of one of the later positions, or nothing when the element or attribute is
// missing (files written before these parameters existed).
std::optional<std::string> optional_at(const TableDocument& doc, std::size_t pos,
                                       const char* name) {
    if (pos >= doc.row_count())
        return std::nullopt;
    return doc.row(pos).optional_attr(name);
}

bool is_true_text(const std::optional<std::string>& text) {
    if (!text)
        return false;
    std::string lower = *text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower == "true";
}

void read_optional(const TableDocument& doc, TParGen& r) {
    r.operationalAtStart = is_true_text(optional_at(doc, 16, "start"));
    r.networkStart = is_true_text(optional_at(doc, 17, "start"));
    r.networkStartModbus = is_true_text(optional_at(doc, 18, "start"));
    r.modbusStartAddress = optional_at(doc, 19, "address").value_or("0");
    const auto delay = optional_at(doc, 20, "delay");
    // The spin field holds 0 to 255 only; a larger or negative value in the file is limited.
    r.delay = std::clamp(delay ? str_to_int_def(*delay, 0) : 0, 0, kMaxStartDelay);
    const auto type = optional_at(doc, 21, "type_PDO");
    r.typePdo = (type ? str_to_int_def(*type, 0) : 0) != 0 ? 1 : 0;
}

void write_octets(TableWriter::Row row, const OctetTexts& octets) {
    for (std::size_t i = 0; i < octets.size(); ++i)
        row.set(kOctetNames[i], octets[i]);
}

const char* bool_text(bool value) {
    return value ? "true" : "false";
}

TableWriter build(const TParGen& r) {
    TableWriter w(kRoot);
    w.add_row("idA").set_text(r.idA);
    w.add_row("BoudA").set_text(r.boudA);
    w.add_row("idB").set_text(r.idB);
    w.add_row("BoudB").set_text(r.boudB);
    w.add_row("timeoutsdo").set_text(r.timeoutsdo);
    w.add_row("baudmodbus").set_text(std::to_string(r.baudmodbus));
    w.add_row("parity").set_text(std::to_string(r.parity));
    w.add_row("ser").set_text("1");
    w.add_row("devid").set_text(r.devid);
    write_octets(w.add_row("devnetip"), r.devnetip);
    write_octets(w.add_row("devnetsubnetmask"), r.devnetsubnetmask);
    // Both communities are written under the same element name; readers go by position.
    w.add_row("devnet_snmp_read_community").set("name", r.readCommunity);
    w.add_row("devnet_snmp_read_community").set("name", r.writeCommunity);
    write_octets(w.add_row("snmptrap_ip1"), r.snmptrapIp1);
    write_octets(w.add_row("snmptrap_ip2"), r.snmptrapIp2);
    write_octets(w.add_row("snmptrap_ip3"), r.snmptrapIp3);
    w.add_row("operational_at_start").set("start", bool_text(r.operationalAtStart));
    w.add_row("network_start").set("start", bool_text(r.networkStart));
    w.add_row("network_start_modbus").set("start", bool_text(r.networkStartModbus));
    w.add_row("network_start_modbus").set("address", r.modbusStartAddress);
    w.add_row("delay_network_start").set("delay", std::to_string(r.delay));
    w.add_row("network_type_PDO").set("type_PDO", r.typePdo == 0 ? "0" : "1");
    return w;
}

} // namespace

ParGenLoad load_pargen(const std::filesystem::path& path, TParGen& record, MessageSink& sink) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        sink.show(kMsgFileNotFound, MessageKind::Warning);
        record.ser = SerialLine::Rs485;
        return ParGenLoad::FileMissing;
    }
    try {
        const TableDocument doc = TableDocument::load(path);
        read_required(doc, record);
        read_optional(doc, record);
    } catch (const UserError&) {
        // Unreadable XML, a missing element or attribute, or a text that is not a number.
        sink.show(kMsgErrorReading, MessageKind::Error);
        record.ser = SerialLine::Rs485;
        return ParGenLoad::ReadError;
    }
    return ParGenLoad::Loaded;
}

std::string serialize_pargen(const TParGen& record) {
    return build(record).serialize();
}

void save_pargen(const std::filesystem::path& path, const TParGen& record) {
    build(record).save(path);
}

std::string device_address_of(const TParGen& record) {
    const auto& ip = record.devnetip;
    return ip[0] + "." + ip[1] + "." + ip[2] + "." + ip[3];
}

} // namespace mk
