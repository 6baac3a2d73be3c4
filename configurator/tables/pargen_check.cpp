#include "tables/pargen_check.h"

#include <algorithm>

namespace mk {

namespace {

constexpr int kMaxOctet = 255;

bool is_octet_text(const std::string& text) {
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const auto first = text.find_first_not_of('0');
    if (first == std::string::npos)
        return true;
    const std::string digits = text.substr(first);
    return digits.size() <= 3 && std::stoi(digits) <= kMaxOctet;
}

std::string message_for(ParGenRanged field, int octet, const std::string& text) {
    std::string where = ranged_label(field);
    if (field != ParGenRanged::Delay)
        where += " octet " + std::to_string(octet + 1);
    return "Value not valid in " + where + ": " + text + " (a whole number from 0 to 255)";
}

} // namespace

const char* ranged_label(ParGenRanged field) {
    switch (field) {
    case ParGenRanged::DevNetIp:
        return "IP";
    case ParGenRanged::SubnetMask:
        return "SubNet Mask";
    case ParGenRanged::SnmpTrap1:
        return "IP 1 for SNMP traps";
    case ParGenRanged::SnmpTrap2:
        return "IP 2 for SNMP traps";
    case ParGenRanged::SnmpTrap3:
        return "IP 3 for SNMP traps";
    case ParGenRanged::Delay:
        return "Delay";
    }
    return "";
}

std::vector<ParGenRangeError> pargen_range_errors(const TParGen& r) {
    std::vector<ParGenRangeError> errors;
    if (r.delay < 0 || r.delay > kMaxStartDelay)
        errors.push_back(
            {ParGenRanged::Delay, 0, message_for(ParGenRanged::Delay, 0, std::to_string(r.delay))});
    const std::pair<ParGenRanged, const OctetTexts*> addresses[] = {
        {ParGenRanged::DevNetIp, &r.devnetip},
        {ParGenRanged::SubnetMask, &r.devnetsubnetmask},
        {ParGenRanged::SnmpTrap1, &r.snmptrapIp1},
        {ParGenRanged::SnmpTrap2, &r.snmptrapIp2},
        {ParGenRanged::SnmpTrap3, &r.snmptrapIp3}};
    for (const auto& [field, octets] : addresses)
        for (int i = 0; i < 4; ++i) {
            const std::string& text = (*octets)[static_cast<std::size_t>(i)];
            if (!is_octet_text(text))
                errors.push_back({field, i, message_for(field, i, text)});
        }
    return errors;
}

} // namespace mk
