// The marks of the grid editors name the cells "OK" would refuse, with "OK"'s own text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/integer_text.h"
#include "tables/rpdo_table.h"
#include "tables/sdo_table.h"
#include "tables/tpdo_table.h"

namespace {

using mk::CellFault;
using mk::CellFaults;

mk::SdoRow goodSdoRow() {
    return {"100", "4", "4", "1", "127", "0x1000", "255", "4", "any text, even 'x'"};
}

// One faulty cell in an otherwise good SDO table, and the message "OK" shows for it.
struct SdoCase {
    const char* name;
    std::string mk::SdoRow::*field;
    std::size_t column;
    const char* text;
};

class SdoCellFault : public ::testing::TestWithParam<SdoCase> {};

TEST_P(SdoCellFault, MarksTheCellWithTheTextOkShows) {
    const SdoCase& c = GetParam();
    mk::SdoTable table;
    for (std::size_t i = 0; i < 5; ++i)
        table.row(i) = goodSdoRow();
    table.row(3).*c.field = c.text;
    std::string ok_says;
    try {
        ok_says = mk::validate_sdo_table(table).value_or("");
    } catch (const mk::ConversionError& e) {
        ok_says = e.what();
    }
    ASSERT_FALSE(ok_says.empty());
    EXPECT_EQ(mk::sdo_cell_faults(table), (CellFaults{{3, c.column, ok_says}}));
}

INSTANTIATE_TEST_SUITE_P(
    EveryCheckedColumn, SdoCellFault,
    ::testing::Values(SdoCase{"AddrWordZero", &mk::SdoRow::addr_word, 0, "0"},
                      SdoCase{"AddrWordNotANumber", &mk::SdoRow::addr_word, 0, "0x"},
                      SdoCase{"HiWordFive", &mk::SdoRow::hi_word, 1, "5"},
                      SdoCase{"LoWordEmpty", &mk::SdoRow::lo_word, 2, ""},
                      SdoCase{"RwTwo", &mk::SdoRow::rw, 3, "2"},
                      SdoCase{"IdZero", &mk::SdoRow::id, 4, "0"},
                      SdoCase{"IndexBelow0x1000", &mk::SdoRow::index, 5, "0x0FFF"},
                      SdoCase{"SubIndexWord", &mk::SdoRow::subindex, 6, "abc"},
                      SdoCase{"NByteThree", &mk::SdoRow::nbyte, 7, "3"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SdoCellFaults, OnlyCellsOkLooksAtAreMarked) {
    mk::SdoTable table;
    table.row(0) = goodSdoRow();
    table.row(0).hi_word = "9"; // every failing column of a row is marked, not only the first
    table.row(0).nbyte = "3";
    // Below the first empty Addr Word nothing is checked, whatever it holds.
    table.row(2) = {"0", "x", "x", "x", "x", "x", "x", "x", "x"};
    EXPECT_EQ(mk::sdo_cell_faults(table),
              (CellFaults{{0, 1, "Value of range [0..4] column Hi Word row 1"},
                          {0, 7, "Value of range [1,2,4] column nByte row 1"}}));
}

TEST(TpdoCellFaults, AreTheMessagesOfOkInTheirOrder) {
    mk::TpdoTable table(8, {});
    table.row(0) = {"0x800", "9", "65536"};
    table.row(1) = {"5000", "", "-1"}; // COB-ID untested without a Dimension
    table.row(3) = {"1", "8", "0"};
    table.row(5) = {"", "4", ""}; // below the first empty COB-ID, still tested
    const CellFaults faults = mk::tpdo_cell_faults(table);
    std::vector<std::string> texts;
    for (const CellFault& f : faults)
        texts.push_back(f.message);
    EXPECT_EQ(texts, mk::check_tpdo_table(table));
    std::vector<std::pair<std::size_t, std::size_t>> cells;
    for (const CellFault& f : faults)
        cells.emplace_back(f.row, f.column);
    EXPECT_EQ(cells, (std::vector<std::pair<std::size_t, std::size_t>>{
                         {0, 0}, {0, 1}, {0, 2}, {1, 2}, {5, 0}}));
}

TEST(RpdoCellFaults, OnlyACobIdThatStopsTheSaveIsMarked) {
    mk::RpdoTable table(15,
                        {{"0x181", "abc", "0x"}, {"0x", "1", "8"}, {"", "", ""}, {"zz", "", ""}});
    std::string ok_says;
    try {
        mk::serialize_rpdo_table(table);
    } catch (const mk::ConversionError& e) {
        ok_says = e.what();
    }
    EXPECT_EQ(mk::rpdo_cell_faults(table), (CellFaults{{1, 0, ok_says}}));
    table.row(1).cobid = "0x201";
    EXPECT_TRUE(mk::rpdo_cell_faults(table).empty());
}

} // namespace
