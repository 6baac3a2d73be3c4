#include <gtest/gtest.h>

#include "firmware/gathered_messages.h"
#include "firmware/update_sequence.h"
#include "firmware_test_support.h"
#include "test_dir.h"
#include "test_files.h"

namespace mk {
namespace {

namespace fs = std::filesystem;

TEST(GatheredMessages, AfterTenMessagesTheRestOfTheRunIsGatheredIntoOneList) {
    // 1800 SDO rows whose every number is "abc": seven conversion messages per row.
    test::TempDir dir;
    fs::create_directories(dir.path() / "bin");
    std::string sdo = "<sdo>";
    for (int i = 0; i < 1800; ++i)
        sdo += "<row conf=\"abc\" IndexA=\"abc\" SubindexA=\"abc\" devIDB=\"abc\" IndexB=\"abc\" "
               "SubindexB=\"abc\" nbyteB=\"abc\" mnemonico=\"m\"/>";
    test::write_file(dir.path() / "sdo.xml", sdo + "</sdo>");
    test::write_file(dir.path() / "pargen.xml", test::pargen_xml());

    RecordingSink boxes;
    GatheringSink run(boxes);
    Banks banks;
    ASSERT_TRUE(build_and_write_banks(dir.path(), banks, run, FixedClock({2024, 3, 5})));
    EXPECT_EQ(boxes.texts(), std::vector<std::string>(10, "Error in conversion string"));
    // 12600 conversion messages, 10 of them shown; then the missing files in build order.
    EXPECT_EQ(run.gathered_count(), 1800u * 7 - 10 + 4);
    EXPECT_EQ(run.heading(), "12594 more messages of this run:");
    EXPECT_EQ(run.gathered_text(), "Error in conversion string (12590 times)\n"
                                   "File SDO PDO xml not found\n"
                                   "File EMCY xml not found\n"
                                   "File reader PDO xml not found\n"
                                   "File Transmit PDO xml not found\n");
}

TEST(GatheredMessages, AShortRunShowsEveryMessageAndGathersNothing) {
    RecordingSink boxes;
    GatheringSink run(boxes, 3);
    run.show("one", MessageKind::Information);
    run.show("two", MessageKind::Warning);
    run.show("three", MessageKind::Error);
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(boxes.entries[1].kind, MessageKind::Warning);
    EXPECT_EQ(run.gathered_count(), 0u);
    EXPECT_EQ(run.gathered_text(), "");

    run.show("four", MessageKind::Error);
    run.show("five", MessageKind::Error);
    run.show("five", MessageKind::Error);
    run.show("four", MessageKind::Error);
    EXPECT_EQ(boxes.entries.size(), 3u);
    EXPECT_EQ(run.heading(), "4 more messages of this run:");
    EXPECT_EQ(run.gathered_text(), "four\nfive (2 times)\nfour\n");
}

} // namespace
} // namespace mk
