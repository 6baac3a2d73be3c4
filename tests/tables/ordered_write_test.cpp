#include <gtest/gtest.h>

#include "core/integer_text.h"
#include "tables/ordered_write.h"

namespace {

TEST(OrderedWrite, EqualKeysComeOutInReverseTableOrder) {
    EXPECT_EQ(mk::ordered_rows({"5", "3", "5"}), (std::vector<std::size_t>{1, 2, 0}));
    EXPECT_EQ(mk::ordered_rows({"0x10", "16", "$F", "-1"}), (std::vector<std::size_t>{3, 2, 1, 0}));
    EXPECT_TRUE(mk::ordered_rows({}).empty());
}

TEST(OrderedWrite, KeysAtAndAboveTheSearchStartAreWrittenOnce) {
    EXPECT_EQ(mk::ordered_rows({"0x999999", "1"}), (std::vector<std::size_t>{1, 0}));
    EXPECT_EQ(mk::ordered_rows({"0xA00000", "0x999999", "2", "0xA00000", "0x7FFFFFFF"}),
              (std::vector<std::size_t>{2, 1, 3, 0, 4}));
}

TEST(OrderedWrite, BadKeyStopsTheWholeSave) {
    EXPECT_THROW(mk::ordered_rows({"1", "abc"}), mk::ConversionError);
}

} // namespace
