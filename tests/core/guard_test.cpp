#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "core/guard.h"
#include "core/integer_text.h"
#include "core/user_error.h"

namespace {

TEST(Guard, UserErrorsShowTheirTextOtherFailuresAFixedOne) {
    mk::RecordingSink sink;
    EXPECT_TRUE(mk::run_guarded(sink, [] {}));
    EXPECT_FALSE(mk::run_guarded(sink, [] { mk::str_to_int("12a"); }));
    EXPECT_FALSE(mk::run_guarded(sink, [] { throw std::bad_alloc(); }));
    EXPECT_FALSE(mk::run_guarded(sink, [] { throw std::runtime_error("raw library text"); }));
    EXPECT_FALSE(mk::run_guarded(sink, [] { throw 42; }));
    const std::string fixed(mk::kMsgUnexpectedFailure);
    EXPECT_EQ(sink.texts(), (std::vector<std::string>{"'12a' is not a valid integer value", fixed,
                                                      fixed, fixed}));
    for (const auto& e : sink.entries)
        EXPECT_EQ(e.kind, mk::MessageKind::Error);
}

TEST(IntegerCellFilter, KeepsIntegerTextAndTheHexPrefixEmptiesTheRest) {
    EXPECT_EQ(mk::filter_integer_cell("12"), "12");
    EXPECT_EQ(mk::filter_integer_cell("0"), "0");
    EXPECT_EQ(mk::filter_integer_cell("0x"), "0x");
    EXPECT_EQ(mk::filter_integer_cell("0x1F"), "0x1F");
    EXPECT_EQ(mk::filter_integer_cell("0x1FG"), "");
    // Other prefixes and a lone sign are not integer text yet, so they cannot be started.
    EXPECT_EQ(mk::filter_integer_cell("$"), "");
    EXPECT_EQ(mk::filter_integer_cell("x"), "");
    EXPECT_EQ(mk::filter_integer_cell("-"), "");
    EXPECT_EQ(mk::filter_integer_cell(""), "");
}

} // namespace
