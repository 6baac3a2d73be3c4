#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>
#include <cstdlib>
#include <sys/wait.h>

#include "core/project_state.h"
#include "emcy_window_support.h"
#include "firmware/windows/update_device.h"
#include "firmware_test_support.h"
#include "image/image_builder.h"
#include "tables/windows/TFWEmcyMB2.h"
#include "tables/windows/TFemcyMB2.h"
#include "test_dir.h"
#include "test_files.h"

namespace mk {
namespace {

namespace fs = std::filesystem;
using test::child;
using test::clickRow;
using test::typeInto;

const fs::path kAssets = fs::path(QT_TESTCASE_SOURCEDIR).parent_path() / "assets";

// A user on a copy of the demo project that has no EMCY or PDO tables yet enters two EMCY rows and
// three register mappings in the two windows, then runs "Up date Device". Without the PDO tables
// the EMCY section is the only table in bank 2, so its bytes stand at known places.
class EmcyToDevice : public ::testing::Test {
protected:
    void SetUp() override {
        state.project_dir = dir.path() / "demo";
        fs::copy(kAssets / "demo", state.project_dir, fs::copy_options::recursive);
        fs::create_directory(state.project_dir / "bin");
        for (const char* name :
             {"emcydef.xml", "emcyword.xml", "rpdodef.xml", "sdopdo.xml", "Transmit_Pdo.xml"})
            fs::remove(state.project_dir / name);
    }

    void enterEmcyRows() {
        TFemcyMB2 window(state, sink);
        window.show();
        const auto type = [&](const char* id, const char* code, const char* reg) {
            typeInto(child<QLineEdit>(&window, "idEmcyEdit"), id);
            typeInto(child<QLineEdit>(&window, "errorCodeEdit"), code);
            typeInto(child<QLineEdit>(&window, "errorRegisterEdit"), reg);
            QTest::mouseClick(child<QPushButton>(&window, "newEmcyButton"), Qt::LeftButton);
        };
        type("2", "0x8110", "0x11");
        type("3", "20480", "1");
        QTest::mouseClick(window.okButton(), Qt::LeftButton);
        EXPECT_EQ(window.result(), QDialog::Accepted);
    }

    void enterMappings() {
        TFWEmcyMB2 window(state, sink);
        window.show();
        auto* emcy = child<QTreeView>(&window, "emcyList");
        const auto map = [&](int hi, int lo, const char* reg) {
            test::clickChoice(
                child<QRadioButton>(&window, ("hiByte" + std::to_string(hi)).c_str()));
            test::clickChoice(
                child<QRadioButton>(&window, ("loByte" + std::to_string(lo)).c_str()));
            typeInto(child<QLineEdit>(&window, "registerEdit"), reg);
            QTest::mouseClick(child<QPushButton>(&window, "newButton"), Qt::LeftButton);
        };
        clickRow(emcy, 0);
        map(2, 1, "400"); // "Second Byte" high, "First Byte" low
        map(0, 3, "401"); // "None" high, "Third Byte" low
        clickRow(emcy, 1);
        map(5, 4, "402"); // "Fifth Byte" high, "Fourth Byte" low
        QTest::mouseClick(window.okButton(), Qt::LeftButton);
        EXPECT_EQ(window.result(), QDialog::Accepted);
    }

    test::TempDir dir;
    ProjectState state;
    RecordingSink sink;
    Banks banks;
    FixedClock clock{BuildStamp{2024, 3, 5, 14, 37, 9}};
};

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(EmcyToDevice, EnteredTablesReachBankTwoAndTheCommandBuildsTheSameBytes) {
    enterEmcyRows();
    enterMappings();
    EXPECT_TRUE(sink.entries.empty());
    // The demo project ships exactly these two files.
    for (const char* file : {"emcydef.xml", "emcyword.xml"})
        EXPECT_EQ(test::read_file(state.project_dir / file),
                  test::read_file(kAssets / "demo" / file))
            << file;

    ASSERT_TRUE(run_update_device_steps(state, banks, sink, clock));
    EXPECT_EQ(sink.texts(), (std::vector<std::string>{"File SDO PDO xml not found",
                                                      "File reader PDO xml not found",
                                                      "File Transmit PDO xml not found"}));
    // EMCY records: ID, error code low byte first, error register, mapping count, then per
    // mapping its register row (low byte first) and byte selection.
    EXPECT_EQ(test::bytes_at(banks, 2, 0, 19),
              test::hex({0x02, 0x10, 0x81, 0x11, 0x02, 0x00, 0x00, 0x21, 0x01, 0x00, 0x03, 0x03,
                         0x00, 0x50, 0x01, 0x01, 0x02, 0x00, 0x54}));
    // Register rows: number, slot of the high nibble's byte, slot of the low nibble's byte. Slots
    // are given per EMCY row in order of first use, the low nibble before the high one.
    EXPECT_EQ(test::bytes_at(banks, 2, 19, 18),
              test::hex({0x90, 0x01, 0x01, 0x00, 0x00, 0x00,    // 400: hi byte 2, lo byte 1
                         0x91, 0x01, 0xFF, 0xFF, 0x02, 0x00,    // 401: no hi byte, lo byte 3
                         0x92, 0x01, 0x04, 0x00, 0x03, 0x00})); // 402: hi byte 5, lo byte 4
    const auto words = read_table_directory(banks);
    EXPECT_EQ(std::vector<std::uint16_t>(words.begin() + 4, words.begin() + 13),
              (std::vector<std::uint16_t>{0, 2, 0, 2, 19, 3, 19, 3, 37}));

    // The headless build of the same project writes the same bank files.
    const std::vector<fs::path> outputs = {"bin/bank1.bin", "bin/bank2.bin", "bin/bank3.bin",
                                           "bin/bank4.bin", "bin/bank5.bin", "bin/bankg.c"};
    std::vector<std::string> fromWindow;
    for (const fs::path& f : outputs)
        fromWindow.push_back(test::read_file(state.project_dir / f));
    EXPECT_EQ(fromWindow[1].substr(0, 37),
              std::string(reinterpret_cast<const char*>(banks.bank(2).data()), 37));
    for (const fs::path& f : outputs)
        fs::remove(state.project_dir / f);
    ASSERT_EQ(run(std::string(MK_BUILD_COMMAND) + " --no-merge --time 2024-03-05T14:37:09 '" +
                  state.project_dir.string() + "' 2>/dev/null"),
              0);
    for (std::size_t i = 0; i < outputs.size(); ++i)
        EXPECT_EQ(test::read_file(state.project_dir / outputs[i]), fromWindow[i]) << outputs[i];
}

} // namespace
} // namespace mk
