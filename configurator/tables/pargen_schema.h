#pragma once

#include <array>
#include <cstddef>

#include "core/table_file.h"

// The layout of pargen.xml, the communication parameters: one record kept as the 22 children of
// the root, always taken by position. Positions 0 to 8 keep their value as element text, the
// others in attributes.
namespace mk::pargen_file {

enum Position : std::size_t {
    idA,
    BoudA,
    idB,
    BoudB,
    timeoutsdo,
    baudmodbus,
    parity,
    ser,
    devid,
    devnetip,
    devnetsubnetmask,
    read_community,
    write_community,
    snmptrap_ip1,
    snmptrap_ip2,
    snmptrap_ip3,
    operational_at_start,
    network_start,
    network_start_modbus,
    modbus_start_address,
    delay_network_start,
    network_type_PDO,
    kPositions
};

// The element written at each position. Two names occur twice (the read and write communities,
// the Modbus start flag and its address); readers go by position only.
inline constexpr std::array<const char*, kPositions> elements = {
    "idA",
    "BoudA",
    "idB",
    "BoudB",
    "timeoutsdo",
    "baudmodbus",
    "parity",
    "ser",
    "devid",
    "devnetip",
    "devnetsubnetmask",
    "devnet_snmp_read_community",
    "devnet_snmp_read_community",
    "snmptrap_ip1",
    "snmptrap_ip2",
    "snmptrap_ip3",
    "operational_at_start",
    "network_start",
    "network_start_modbus",
    "network_start_modbus",
    "delay_network_start",
    "network_type_PDO",
};

// Attributes of the positions that have them.
inline constexpr std::array<const char*, 4> octets = {"b1", "b2", "b3", "b4"}; // addresses
inline constexpr const char* name = "name";                                    // communities
inline constexpr const char* start = "start";                                  // 16, 17, 18
inline constexpr const char* address = "address";                              // 19
inline constexpr const char* delay = "delay";                                  // 20
inline constexpr const char* type_PDO = "type_PDO";                            // 21

// The record is not a list of rows: the schema has no row element of its own.
inline constexpr std::array<const char*, 0> attributes = {};
inline constexpr TableSchema schema{"pargen.xml", "ParametriGenerali", nullptr, attributes};

} // namespace mk::pargen_file
