#pragma once

#include <gtest/gtest.h>

namespace mk::test {

// RUN_ALL_TESTS(), with 77 for a run whose selected tests all skipped.
inline int run_all_tests() {
    const int result = RUN_ALL_TESTS();
    const auto* run = ::testing::UnitTest::GetInstance();
    if (result == 0 && run->successful_test_count() == 0 && run->skipped_test_count() > 0)
        return 77;
    return result;
}

} // namespace mk::test
