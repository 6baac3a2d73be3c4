// The main of the logic tests. A run in which every selected test skipped (a peer that cannot be
// had) ends with 77, which CTest reports as skipped; a run with any test passed or failed ends as
// GoogleTest says.
#include <gtest/gtest.h>

#include "test_main.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return mk::test::run_all_tests();
}
