#include <gtest/gtest.h>

#include "tables/pargen_check.h"

namespace {

using mk::ParGenRanged;

std::vector<std::string> messages(const mk::TParGen& r) {
    std::vector<std::string> out;
    for (const auto& e : mk::pargen_range_errors(r))
        out.push_back(e.message);
    return out;
}

TEST(ParGenCheck, DefaultsAndWholeOctetsPass) {
    mk::TParGen r;
    EXPECT_TRUE(mk::pargen_range_errors(r).empty());
    r.devnetip = {"255", "007", "0", "000"};
    r.delay = 255;
    EXPECT_TRUE(mk::pargen_range_errors(r).empty());
}

TEST(ParGenCheck, EveryOctetTheBuilderCannotTakeIsNamedInReadingOrder) {
    mk::TParGen r;
    r.devnetip = {"256", "-1", "12.5", "1A"};
    r.devnetsubnetmask = {"", "0255", "1000", "255"};
    r.snmptrapIp3 = {"0", "0", "0", " 1"};
    r.delay = 300;
    EXPECT_EQ(messages(r),
              (std::vector<std::string>{
                  "Value not valid in Delay: 300 (a whole number from 0 to 255)",
                  "Value not valid in IP octet 1: 256 (a whole number from 0 to 255)",
                  "Value not valid in IP octet 2: -1 (a whole number from 0 to 255)",
                  "Value not valid in IP octet 3: 12.5 (a whole number from 0 to 255)",
                  "Value not valid in IP octet 4: 1A (a whole number from 0 to 255)",
                  "Value not valid in SubNet Mask octet 1:  (a whole number from 0 to 255)",
                  "Value not valid in SubNet Mask octet 3: 1000 (a whole number from 0 to 255)",
                  "Value not valid in IP 3 for SNMP traps octet 4:  1 (a whole number from 0 to "
                  "255)"}));
    const auto errors = mk::pargen_range_errors(r);
    EXPECT_EQ(errors.back().field, ParGenRanged::SnmpTrap3);
    EXPECT_EQ(errors.back().octet, 3);
}

} // namespace
