#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/integer_text.h"
#include "tables/sdopdo_table.h"
#include "test_dir.h"
#include "test_files.h"
#include "transfer/sdopdo_editor.h"

using mk::test::read_file;
using mk::test::write_file;

namespace {

namespace fs = std::filesystem;
using mk::ByteChoice;
using mk::RecordingSink;
using mk::StoredPdoEditor;
using mk::TClIndMB;
using Texts = std::vector<std::string>;

std::string entryRow(const std::string& index, const std::string& nrpdo,
                     const std::string& poscomp) {
    return "<row index=\"" + index + "\" subindex=\"0\" nrpdo=\"" + nrpdo + "\" poscomp=\"" +
           poscomp + "\"/>";
}

// A project folder with the three files the stored-PDO editor reads.
struct Project {
    mk::test::TempDir dir;
    explicit Project(int pdos, const std::string& entries = "",
                     const std::string& sdoIndexes = "") {
        std::string rpdo = "<rpdodef>";
        for (int i = 0; i < pdos; ++i)
            rpdo += "<row cobid=\"" + std::to_string(0x181 + i) +
                    "\" id_dev_orig=\"1\" dimension=\"8\" posind=\"0\" n_tpdo=\"0\"/>";
        write_file(dir.path() / "rpdodef.xml", rpdo + "</rpdodef>");
        write_file(dir.path() / "sdopdo.xml", "<sdopdo>" + entries + "</sdopdo>");
        write_file(dir.path() / "sdo.xml", "<sdo>" + sdoIndexes + "</sdo>");
    }
    fs::path file(const char* name) const { return dir.path() / name; }
};

std::string sdoRow(const std::string& indexA) {
    return "<row conf=\"0\" IndexA=\"" + indexA +
           "\" SubindexA=\"0\" devIDB=\"1\" IndexB=\"0x1000\" SubindexB=\"0\" nbyteB=\"1\"/>";
}

TEST(ByteChoice, PoscompNibbles) {
    EXPECT_EQ(mk::poscomp_text({2, 1}), "33");
    EXPECT_EQ(mk::byte_choice_of(33), (ByteChoice{2, 1}));
    EXPECT_EQ(mk::byte_choice_of(0), (ByteChoice{0, 0}));
    // Nibbles above 8 show as B8; bits above the first byte are not looked at.
    EXPECT_EQ(mk::byte_choice_of(0x9F), (ByteChoice{8, 8}));
    EXPECT_EQ(mk::byte_choice_of(0x1A3), (ByteChoice{8, 3}));
    EXPECT_EQ(mk::byte_choice_of(-1), (ByteChoice{8, 8}));
}

TEST(StoredPdoLoad, EntriesGoToThePdoOfTheirNumberModulo128) {
    Project p(2, entryRow("0x20", "2", "33") + entryRow("16", "129", "1") +
                     entryRow("40", "3", "0") + entryRow("17", "1", "2"));
    RecordingSink sink;
    const mk::StoredPdoTable t = mk::load_stored_pdo_table(p.dir.path(), sink);
    EXPECT_EQ(sink.texts(), Texts{mk::entries_beyond_pdos_message(1, 2)});
    ASSERT_EQ(t.pdos.size(), 2u);
    EXPECT_EQ(t.pdos[0].cobid, "385");
    EXPECT_EQ(t.pdos[1].number, 2);
    EXPECT_EQ(t.pdos[0].entries, (std::vector<TClIndMB>{{"16", "1"}, {"17", "2"}}));
    EXPECT_EQ(t.pdos[1].entries, (std::vector<TClIndMB>{{"0x20", "33"}}));
    // The row of PDO 3 is gone after saving; the others are written in index order.
    mk::save_stored_pdo_table(t, p.file("sdopdo.xml"));
    EXPECT_EQ(read_file(p.file("sdopdo.xml")), "<sdopdo>" + entryRow("16", "1", "1") +
                                                   entryRow("17", "1", "2") +
                                                   entryRow("0x20", "2", "33") + "</sdopdo>");
}

TEST(StoredPdoLoad, BadRowsStopTheirOwnFileWithItsMessage) {
    for (const std::string& bad : {entryRow("5", "0", "1"), entryRow("5", "abc", "1"),
                                   std::string("<row index=\"5\" nrpdo=\"1\"/>"),
                                   std::string("<row nrpdo=\"1\" poscomp=\"1\"/>")}) {
        Project p(1, entryRow("3", "1", "1") + bad + entryRow("4", "1", "1"));
        RecordingSink sink;
        const mk::StoredPdoTable t = mk::load_stored_pdo_table(p.dir.path(), sink);
        EXPECT_EQ(sink.texts(), Texts{"Error in reading file SDOPDO XML"}) << bad;
        EXPECT_EQ(t.pdos[0].entries, (std::vector<TClIndMB>{{"3", "1"}})) << bad;
    }
}

TEST(StoredPdoLoad, EachFileHasItsOwnMessages) {
    Project p(1);
    write_file(p.file("sdo.xml"), "<sdo>" + sdoRow("7") + "<row conf=\"0\"/></sdo>");
    write_file(p.file("rpdodef.xml"), "<rpdodef><row cobid=\"1\"/><row id_dev_orig=\"1\"/>");
    RecordingSink sink;
    mk::StoredPdoTable t = mk::load_stored_pdo_table(p.dir.path(), sink);
    EXPECT_EQ(sink.texts(),
              (Texts{"Error in reading file SDO XML", "Error in reading file PDO XML"}));
    EXPECT_EQ(t.sdo_indexes, Texts{"7"});
    EXPECT_TRUE(t.pdos.empty()); // the malformed file gives nothing

    mk::test::TempDir empty;
    RecordingSink missing;
    t = mk::load_stored_pdo_table(empty.path(), missing);
    EXPECT_EQ(missing.texts(), Texts(3, "File XML not found"));
    // An empty PDO list saves the root alone.
    EXPECT_EQ(mk::serialize_stored_pdo_table(t), "<sdopdo/>");
}

TEST(StoredPdoSave, EqualIndexesLaterInTheScanFirstAndBadIndexWritesNothing) {
    mk::StoredPdoTable t;
    t.pdos = {
        {"0x181", 1, {{"0x10", "1"}, {"5", "2"}}}, {"0x182", 2, {{"16", "3"}}}, {"0x183", 3, {}}};
    EXPECT_EQ(mk::serialize_stored_pdo_table(t), "<sdopdo>" + entryRow("5", "1", "2") +
                                                     entryRow("16", "2", "3") +
                                                     entryRow("0x10", "1", "1") + "</sdopdo>");
    Project p(1);
    write_file(p.file("sdopdo.xml"), "old");
    t.pdos[2].entries.push_back({"0x", "0"});
    EXPECT_THROW(mk::save_stored_pdo_table(t, p.file("sdopdo.xml")), mk::ConversionError);
    EXPECT_EQ(read_file(p.file("sdopdo.xml")), "old");
    // An index beyond the minimum search's start value still ends the save, last.
    t.pdos[2].entries.back().index = "0xA00000";
    const std::string text = mk::serialize_stored_pdo_table(t);
    EXPECT_GT(text.find("0xA00000"), text.find("0x10"));
}

TEST(StoredPdoUnique, SdoAddressesFirstThenOtherEntriesByValue) {
    mk::StoredPdoTable t;
    t.sdo_indexes = {"100", "16"};
    t.pdos = {{"0x181", 1, {{"0x20", "0"}}}, {"0x182", 2, {{"40", "0"}}}};
    RecordingSink sink;
    EXPECT_FALSE(mk::index_is_unique(t, "0x10", nullptr, sink));
    EXPECT_FALSE(mk::index_is_unique(t, "32", nullptr, sink));
    EXPECT_TRUE(mk::index_is_unique(t, "33", nullptr, sink));
    const mk::EntryRef self{0, 0};
    EXPECT_TRUE(mk::index_is_unique(t, "32", &self, sink));
    EXPECT_FALSE(mk::index_is_unique(t, "0x28", &self, sink));
    EXPECT_EQ(sink.texts(), (Texts{"Index or Subindex Not Valid,Ind MB Already Exists",
                                   "Index or Subindex Not Valid", "Index or Subindex Not Valid"}));
    EXPECT_THROW(mk::index_is_unique(t, "abc", nullptr, sink), mk::ConversionError);
    // With nothing to compare, any text passes.
    EXPECT_TRUE(mk::index_is_unique(mk::StoredPdoTable{}, "abc", nullptr, sink));
}

TEST(StoredPdoEditor, LinesKeepTheirNumbersAfterDeleteThenNew) {
    Project p(1, entryRow("10", "1", "1") + entryRow("11", "1", "2") + entryRow("12", "1", "3"));
    RecordingSink sink;
    StoredPdoEditor e;
    e.open(p.dir.path(), sink);
    EXPECT_FALSE(e.remove());
    e.select_pdo(0);
    EXPECT_EQ(e.lines(), (Texts{"Ind MB 0", "Ind MB 1", "Ind MB 2"}));
    e.select_entry(1);
    EXPECT_EQ(e.edit, "11");
    EXPECT_EQ(e.choice, (ByteChoice{0, 2}));
    ASSERT_TRUE(e.remove());
    EXPECT_EQ(e.lines(), (Texts{"Ind MB 0", "Ind MB 2"}));
    // Edit text and choices stay; the deleted index is free again.
    EXPECT_EQ(e.edit, "11");
    ASSERT_TRUE(e.new_entry(sink));
    EXPECT_EQ(e.lines(), (Texts{"Ind MB 0", "Ind MB 2", "Ind Mb 2"}));
    EXPECT_EQ(e.selected_line(), 2u);
    EXPECT_EQ(e.table().pdos[0].entries.back(), (TClIndMB{"11", "2"}));
    EXPECT_TRUE(sink.entries.empty());
}

TEST(StoredPdoEditor, NewAndModifyFollowTheUniquenessRule) {
    Project p(2, entryRow("10", "1", "1"), sdoRow("16"));
    RecordingSink sink;
    StoredPdoEditor e;
    e.open(p.dir.path(), sink);
    e.edit = "0x10";
    EXPECT_FALSE(e.new_entry(sink)); // no PDO selected: nothing happens
    EXPECT_TRUE(sink.entries.empty());
    e.select_pdo(1);
    e.edit = "0x10";
    EXPECT_FALSE(e.new_entry(sink));
    e.edit = "0xA";
    EXPECT_FALSE(e.new_entry(sink));
    EXPECT_EQ(sink.texts(), (Texts{"Index or Subindex Not Valid,Ind MB Already Exists",
                                   "Index or Subindex Not Valid"}));
    e.edit = "20";
    e.choice = {2, 1};
    ASSERT_TRUE(e.new_entry(sink));
    EXPECT_EQ(e.lines(), Texts{"Ind Mb 0"});
    // Modify without changing the index collides with nothing.
    e.choice = {3, 0};
    ASSERT_TRUE(e.modify(sink));
    EXPECT_EQ(e.table().pdos[1].entries[0], (TClIndMB{"20", "48"}));
    EXPECT_EQ(e.lines(), Texts{"Ind Mb 0"});
    e.save(p.dir.path());
    EXPECT_EQ(read_file(p.file("sdopdo.xml")),
              "<sdopdo>" + entryRow("10", "1", "1") + entryRow("20", "2", "48") + "</sdopdo>");
}

TEST(StoredPdoEditor, OversizedNibbleShowsB8AndModifyStoresIt) {
    Project p(1, entryRow("10", "1", "0x9C"));
    RecordingSink sink;
    StoredPdoEditor e;
    e.open(p.dir.path(), sink);
    e.select_pdo(0);
    e.select_entry(0);
    EXPECT_EQ(e.choice, (ByteChoice{8, 8}));
    ASSERT_TRUE(e.modify(sink));
    EXPECT_EQ(e.table().pdos[0].entries[0].poscomp, "136");
}

TEST(StoredPdoEditor, ClipboardOutlivesAnOpeningAndPasteBeforeCopyFails) {
    Project p(1, entryRow("10", "1", "bad"));
    RecordingSink sink;
    StoredPdoEditor e;
    e.open(p.dir.path(), sink);
    e.edit = "77";
    e.choice = {4, 5};
    // Paste before any Copy: the edit text empties, then the empty poscomp fails.
    EXPECT_THROW(e.paste(), mk::ConversionError);
    EXPECT_EQ(e.edit, "");
    EXPECT_EQ(e.choice, (ByteChoice{4, 5}));

    e.edit = "77";
    e.copy();
    e.open(p.dir.path(), sink);
    EXPECT_EQ(e.edit, "");
    EXPECT_EQ(e.choice, ByteChoice{});
    e.paste();
    EXPECT_EQ(e.edit, "77");
    EXPECT_EQ(e.choice, (ByteChoice{4, 5}));

    // Selecting an entry whose poscomp is not a number shows its index, then fails.
    e.select_pdo(0);
    EXPECT_THROW(e.select_entry(0), mk::ConversionError);
    EXPECT_EQ(e.edit, "10");
}

TEST(StoredPdoLoad, TenThousandEntries) {
    std::string entries;
    for (int i = 0; i < 10000; ++i)
        entries += entryRow(std::to_string(20000 - i), std::to_string(1 + i % 3), "33");
    Project p(2, entries);
    RecordingSink sink;
    const mk::StoredPdoTable t = mk::load_stored_pdo_table(p.dir.path(), sink);
    EXPECT_EQ(t.pdos[0].entries.size() + t.pdos[1].entries.size(), 6667u);
    mk::save_stored_pdo_table(t, p.file("sdopdo.xml"));
    const std::string text = read_file(p.file("sdopdo.xml"));
    const std::string last = entryRow("20000", "1", "33") + "</sdopdo>";
    ASSERT_GT(text.size(), last.size());
    EXPECT_EQ(text.substr(text.size() - last.size()), last);
}

} // namespace
