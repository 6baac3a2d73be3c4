#pragma once

#include <string>
#include <vector>

#include "tables/pargen_table.h"

namespace mk {

// The values of the communication parameters that have a range: the four octets of each of the
// five addresses and the start delay.
enum class ParGenRanged { DevNetIp, SubnetMask, SnmpTrap1, SnmpTrap2, SnmpTrap3, Delay };

struct ParGenRangeError {
    ParGenRanged field = ParGenRanged::DevNetIp;
    int octet = 0; // 0 to 3 within an address; 0 for the delay
    std::string message;
};

// The field's name as the window labels it ("IP", "SubNet Mask", "IP 1 for SNMP traps", ...).
const char* ranged_label(ParGenRanged field);

// Every ranged value the gateway cannot take, in the window's reading order, each with the
// message that names it. An octet must be a whole number from 0 to 255 in decimal digits: the
// image builder reads anything else (a fraction, a sign, a letter) as no value at all, and a
// larger number would lose its high bits in the byte it fills.
std::vector<ParGenRangeError> pargen_range_errors(const TParGen& record);

} // namespace mk
