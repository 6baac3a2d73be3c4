#include "tables/pargen_table.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "core/integer_text.h"
#include "core/table_file.h"
#include "tables/pargen_schema.h"

namespace mk {

namespace {

using namespace pargen_file;

// Each octet goes into its field as soon as it is read, so a missing b3 keeps the new b1 and b2
// and leaves b3 and b4 as they were, like every other field read before a failure.
void read_octets(const RowReader& row, OctetTexts& octets) {
    for (std::size_t i = 0; i < octets.size(); ++i)
        octets[i] = row.attr(pargen_file::octets[i]);
}

// A list position from the file; a value outside the list selects no item.
int list_position(const RowReader& row, std::size_t items) {
    const int pos = str_to_int(row.text());
    return pos >= 0 && static_cast<std::size_t>(pos) < items ? pos : kNoListItem;
}

// Positions 0 to 15: every value must be there; the first failure ends the load. Each value goes
// into the record as soon as it is read, so a failure keeps the values read before it.
void read_required(const TableDocument& doc, TParGen& r) {
    r.idA = doc.row(idA).text();
    r.boudA = doc.row(BoudA).text();
    r.idB = doc.row(idB).text();
    r.boudB = doc.row(BoudB).text();
    r.timeoutsdo = doc.row(timeoutsdo).text();
    r.baudmodbus = list_position(doc.row(baudmodbus), kSerialBaudRates.size());
    r.parity = list_position(doc.row(parity), kParities.size());
    // The line type in the file must be a number, but the gateway's line is always RS-485.
    str_to_int(doc.row(ser).text());
    r.ser = SerialLine::Rs485;
    r.devid = doc.row(devid).text();
    read_octets(doc.row(devnetip), r.devnetip);
    read_octets(doc.row(devnetsubnetmask), r.devnetsubnetmask);
    r.readCommunity = doc.row(read_community).attr(name);
    r.writeCommunity = doc.row(write_community).attr(name);
    read_octets(doc.row(snmptrap_ip1), r.snmptrapIp1);
    read_octets(doc.row(snmptrap_ip2), r.snmptrapIp2);
    read_octets(doc.row(snmptrap_ip3), r.snmptrapIp3);
}

// Positions 16 to 21 came later to the file; an absent element or attribute falls back.
void read_optional(const TableDocument& doc, TParGen& r) {
    r.operationalAtStart = is_true_text(doc.optional_attr(operational_at_start, start));
    r.networkStart = is_true_text(doc.optional_attr(network_start, start));
    r.networkStartModbus = is_true_text(doc.optional_attr(network_start_modbus, start));
    r.modbusStartAddress = doc.optional_attr(modbus_start_address, address).value_or("0");
    const auto delay_text = doc.optional_attr(delay_network_start, delay);
    // The spin field holds 0 to 255 only; a larger or negative value in the file is limited.
    r.delay = std::clamp(delay_text ? str_to_int_def(*delay_text, 0) : 0, 0, kMaxStartDelay);
    r.typePdo = pdo_layout_of(doc) != 0 ? 1 : 0;
}

void write_octets(TableWriter::Row row, const OctetTexts& texts) {
    for (std::size_t i = 0; i < texts.size(); ++i)
        row.set(octets[i], texts[i]);
}

const char* bool_text(bool value) {
    return value ? "true" : "false";
}

TableWriter build(const TParGen& r) {
    TableWriter w(schema);
    const auto add = [&](Position p) { return w.add_row(elements[p]); };
    add(idA).set_text(r.idA);
    add(BoudA).set_text(r.boudA);
    add(idB).set_text(r.idB);
    add(BoudB).set_text(r.boudB);
    add(timeoutsdo).set_text(r.timeoutsdo);
    add(baudmodbus).set_text(std::to_string(r.baudmodbus));
    add(parity).set_text(std::to_string(r.parity));
    add(ser).set_text("1");
    add(devid).set_text(r.devid);
    write_octets(add(devnetip), r.devnetip);
    write_octets(add(devnetsubnetmask), r.devnetsubnetmask);
    add(read_community).set(name, r.readCommunity);
    add(write_community).set(name, r.writeCommunity);
    write_octets(add(snmptrap_ip1), r.snmptrapIp1);
    write_octets(add(snmptrap_ip2), r.snmptrapIp2);
    write_octets(add(snmptrap_ip3), r.snmptrapIp3);
    add(operational_at_start).set(start, bool_text(r.operationalAtStart));
    add(network_start).set(start, bool_text(r.networkStart));
    add(network_start_modbus).set(start, bool_text(r.networkStartModbus));
    add(modbus_start_address).set(address, r.modbusStartAddress);
    add(delay_network_start).set(delay, std::to_string(r.delay));
    add(network_type_PDO).set(type_PDO, r.typePdo == 0 ? "0" : "1");
    return w;
}

} // namespace

bool is_true_text(const std::optional<std::string>& text) {
    if (!text)
        return false;
    std::string lower = *text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower == "true";
}

int pdo_layout_of(const TableDocument& doc) {
    const auto text = doc.optional_attr(pargen_file::network_type_PDO, pargen_file::type_PDO);
    return text ? str_to_int_def(*text, 0) : 0;
}

int load_pdo_layout(const std::filesystem::path& project_dir) {
    int layout = 0;
    NullSink quiet;
    load_document(
        pargen_file::schema.path_in(project_dir), quiet,
        [&](const TableDocument& doc) { layout = pdo_layout_of(doc); }, kSilentReading);
    return layout;
}

ParGenLoad load_pargen(const std::filesystem::path& path, TParGen& record, MessageSink& sink,
                       IncompleteFiles* incomplete) {
    const LoadOutcome outcome = load_document(
        path, sink,
        [&](const TableDocument& doc) {
            read_required(doc, record);
            read_optional(doc, record);
        },
        {}, incomplete);
    if (outcome != LoadOutcome::Loaded)
        record.ser = SerialLine::Rs485;
    switch (outcome) {
    case LoadOutcome::FileMissing:
        return ParGenLoad::FileMissing;
    case LoadOutcome::ReadError:
        return ParGenLoad::ReadError;
    case LoadOutcome::Loaded:
        break;
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
