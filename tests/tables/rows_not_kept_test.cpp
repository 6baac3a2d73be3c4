// Rows and entries a table file holds but the table will not keep when saved are said at
// opening, in one message with how many and why.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tables/emcy_word_table.h"
#include "tables/rpdo_table.h"
#include "tables/sdo_table.h"
#include "tables/sdopdo_table.h"
#include "tables/tpdo_table.h"
#include "test_dir.h"

namespace {

using Texts = std::vector<std::string>;

// An SDO file of `count` rows whose row `empty` (from 0) has an empty address.
std::string sdoRows(int count, int empty) {
    std::string xml = "<sdo>";
    for (int i = 0; i < count; ++i)
        xml += "<row IndexA=\"" + (i == empty ? "" : std::to_string(i + 1)) +
               "\" devIDB=\"1\" IndexB=\"4096\" SubindexB=\"0\" nbyteB=\"1\"/>";
    return xml + "</sdo>";
}

std::string rpdoRow(const std::string& cobid) {
    return "<row cobid=\"" + cobid + "\" id_dev_orig=\"1\"/>";
}

template <typename Open> std::function<Texts()> messagesOf(Open open) {
    return [open] {
        mk::RecordingSink sink;
        open(sink);
        return sink.texts();
    };
}

// The stored-PDO files of a project whose rpdodef.xml holds `pdos` rows; the entries are of
// PDOs 3, 2 and 127.
std::function<Texts()> storedPdoBeyondTheReceiveTable(int pdos) {
    return [pdos] {
        mk::test::TempDir dir;
        std::string rpdo = "<rpdodef>";
        for (int i = 1; i <= pdos; ++i)
            rpdo += rpdoRow(std::to_string(i));
        std::ofstream(dir.path() / "rpdodef.xml") << rpdo + "</rpdodef>";
        std::ofstream(dir.path() / "sdopdo.xml")
            << "<sdopdo><row index=\"1\" nrpdo=\"3\" poscomp=\"1\"/><row index=\"2\" "
               "nrpdo=\"2\" poscomp=\"1\"/><row index=\"3\" nrpdo=\"127\" poscomp=\"1\"/>"
               "</sdopdo>";
        std::ofstream(dir.path() / "sdo.xml") << "<sdo/>";
        mk::RecordingSink sink;
        mk::load_stored_pdo_table(dir.path(), sink);
        return sink.texts();
    };
}

std::function<Texts()> emcyWord(int rows, int groups) {
    return messagesOf([=](auto& sink) {
        std::string emcy = "<EMCY>";
        for (int i = 0; i < rows; ++i)
            emcy += "<row ID_EMCY=\"1\" EMCY_Error_Code=\"1\" Error_Register=\"1\"/>";
        std::string word = "<EMCY_Word>";
        for (int i = 0; i < groups; ++i)
            word += "<EMCY_ROW/>";
        mk::parse_emcy_word_table(emcy + "</EMCY>", word + "</EMCY_Word>", sink);
    });
}

struct NotKeptCase {
    const char* name;
    std::function<Texts()> open; // the messages of reading the files
    std::string message;
};

const NotKeptCase kCases[] = {
    {"sdo_row_with_empty_address",
     messagesOf([](auto& sink) { mk::parse_sdo_table(sdoRows(6, 2), sink); }),
     "The file holds 6 rows but row 3 has an empty Addr Word, where the table ends: the last 4 "
     "rows will not be kept when the table is saved"},
    // One message for both reasons: the rows from the empty address on include those past 1500.
    {"sdo_empty_address_and_past_1500_rows",
     messagesOf([](auto& sink) { mk::parse_sdo_table(sdoRows(1600, 9), sink); }),
     "The file holds 1600 rows but row 10 has an empty Addr Word, where the table ends: the last "
     "1591 rows will not be kept when the table is saved"},
    {"sdo_empty_address_past_1500_rows",
     messagesOf([](auto& sink) { mk::parse_sdo_table(sdoRows(1600, 1550), sink); }),
     mk::rows_not_kept_message(1600, 1500)},
    {"rpdo_row_with_empty_cobid", messagesOf([](auto& sink) {
         mk::parse_rpdo_table(
             "<rpdodef>" + rpdoRow("1") + rpdoRow("") + rpdoRow("3") + "</rpdodef>", 15, sink);
     }),
     "The file holds 3 rows but row 2 has an empty cobid, where the table ends: the last 2 rows "
     "will not be kept when the table is saved"},
    {"tpdo_row_with_empty_cob_id", messagesOf([](auto& sink) {
         mk::parse_tpdo_table("<Trasmit_PDO><row COB-ID=\"\" Dimension=\"8\" SMA=\"0\"/>"
                              "<row COB-ID=\"1\" Dimension=\"8\" SMA=\"0\"/></Trasmit_PDO>",
                              3, sink);
     }),
     "The file holds 2 rows but row 1 has an empty COB-ID, where the table ends: the last 2 rows "
     "will not be kept when the table is saved"},
    {"stored_pdo_entries_beyond_the_receive_table", storedPdoBeyondTheReceiveTable(2),
     "sdopdo.xml holds 2 entries for PDOs beyond the 2 rows of rpdodef.xml: they are not shown "
     "and will not be kept when the table is saved"},
    {"emcy_word_groups_beyond_the_emcy_rows", emcyWord(2, 4),
     "emcyword.xml holds 4 groups but emcydef.xml has 2 EMCY rows: the last 2 groups are not "
     "shown and will not be kept when the table is saved"},
    // One row, entry or group is said so, not as "1 rows".
    {"sdo_last_row_with_empty_address",
     messagesOf([](auto& sink) { mk::parse_sdo_table(sdoRows(3, 2), sink); }),
     "The file holds 3 rows but row 3 has an empty Addr Word, where the table ends: the last row "
     "will not be kept when the table is saved"},
    {"tpdo_one_row_with_empty_cob_id", messagesOf([](auto& sink) {
         mk::parse_tpdo_table(
             "<Trasmit_PDO><row COB-ID=\"\" Dimension=\"8\" SMA=\"0\"/></Trasmit_PDO>", 3, sink);
     }),
     "The file holds 1 row but row 1 has an empty COB-ID, where the table ends: the last row "
     "will not be kept when the table is saved"},
    {"sdo_one_row_past_1500",
     messagesOf([](auto& sink) { mk::parse_sdo_table(sdoRows(1501, -1), sink); }),
     "The file holds 1501 rows but the table shows 1500: the last row is not loaded and will not "
     "be kept when the table is saved"},
    {"stored_pdo_one_entry_beyond_one_receive_row", storedPdoBeyondTheReceiveTable(1),
     // PDO 2 and PDO 3 lie beyond the list; PDO 127 too.
     "sdopdo.xml holds 3 entries for PDOs beyond the 1 row of rpdodef.xml: they are not shown "
     "and will not be kept when the table is saved"},
    {"stored_pdo_one_entry_beyond_the_receive_table", storedPdoBeyondTheReceiveTable(126),
     "sdopdo.xml holds 1 entry for a PDO beyond the 126 rows of rpdodef.xml: it is not shown "
     "and will not be kept when the table is saved"},
    {"emcy_word_one_group_beyond_one_emcy_row", emcyWord(1, 2),
     "emcyword.xml holds 2 groups but emcydef.xml has 1 EMCY row: the last group is not shown "
     "and will not be kept when the table is saved"},
};

class RowsNotKept : public ::testing::TestWithParam<NotKeptCase> {};

TEST_P(RowsNotKept, AreSaidAtOpeningInOneMessage) {
    EXPECT_EQ(GetParam().open(), Texts{GetParam().message});
}

INSTANTIATE_TEST_SUITE_P(Tables, RowsNotKept, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
