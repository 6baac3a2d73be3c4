#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "image/banks.h"
#include "test_files.h"

namespace mk::test {

inline std::vector<std::uint8_t> bytes_at(const Banks& banks, int bank, std::size_t offset,
                                          std::size_t count) {
    const auto b = banks.bank(bank);
    return {b.begin() + static_cast<std::ptrdiff_t>(offset),
            b.begin() + static_cast<std::ptrdiff_t>(offset + count)};
}

inline std::vector<std::uint8_t> hex(std::initializer_list<int> values) {
    std::vector<std::uint8_t> out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

// A complete pargen.xml as the communication window writes it; `replace` swaps one child.
inline std::string pargen_xml(const std::string& type_pdo = "0",
                              const std::string& read_community = "harbor") {
    return "<ParametriGenerali><idA>1</idA><BoudA>125</BoudA><idB>1</idB><BoudB>250</BoudB>"
           "<timeoutsdo>1000</timeoutsdo><baudmodbus>3</baudmodbus><parity>0</parity>"
           "<ser>1</ser><devid>1</devid>"
           "<devnetip b1=\"192\" b2=\"168\" b3=\"0\" b4=\"10\"/>"
           "<devnetsubnetmask b1=\"255\" b2=\"255\" b3=\"255\" b4=\"0\"/>"
           "<devnet_snmp_read_community name=\"" +
           read_community +
           "\"/><devnet_snmp_read_community name=\"lantern\"/>"
           "<snmptrap_ip1 b1=\"10\" b2=\"0\" b3=\"0\" b4=\"1\"/>"
           "<snmptrap_ip2 b1=\"0\" b2=\"0\" b3=\"0\" b4=\"0\"/>"
           "<snmptrap_ip3 b1=\"0\" b2=\"0\" b3=\"0\" b4=\"0\"/>"
           "<operational_at_start start=\"True\"/><network_start start=\"yes\"/>"
           "<network_start_modbus start=\"TRUE\"/><network_start_modbus address=\"0x1234\"/>"
           "<delay_network_start delay=\"7\"/><network_type_PDO type_PDO=\"" +
           type_pdo + "\"/></ParametriGenerali>";
}

// One sdo.xml row with the attributes in the order the SDO window writes them.
inline std::string sdo_row(const std::string& conf, const std::string& index_a,
                           const std::string& dev = "5", const std::string& index_b = "0x2000",
                           const std::string& sub_b = "1", const std::string& nbyte = "4") {
    return "<row conf=\"" + conf + "\" IndexA=\"" + index_a + "\" SubindexA=\"0\" devIDB=\"" + dev +
           "\" IndexB=\"" + index_b + "\" SubindexB=\"" + sub_b + "\" nbyteB=\"" + nbyte +
           "\" mnemonico=\"m\"/>";
}

} // namespace mk::test
