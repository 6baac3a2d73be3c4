#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

#include "core/message_sink.h"
#include "core/project_state.h"
#include "firmware/windows/update_device.h"
#include "image/banks.h"
#include "image/build_clock.h"
#include "tables/pargen_table.h"
#include "tables/windows/TFInfopdoMB.h"
#include "tables/windows/TFTPdoMB.h"
#include "tables/windows/TFpargen.h"
#include "tables/windows/TFpdoMB.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::read_file;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path kAssets = fs::path(QT_TESTCASE_SOURCEDIR).parent_path() / "assets";

Bytes readBytes(const fs::path& p) {
    const std::string text = read_file(p);
    return {text.begin(), text.end()};
}

Bytes slice(const Bytes& bank, std::size_t offset, std::size_t count) {
    return {bank.begin() + static_cast<std::ptrdiff_t>(offset),
            bank.begin() + static_cast<std::ptrdiff_t>(offset + count)};
}

// Word n (from 1) of the table directory at the end of bank 2, high byte first.
int directoryWord(const Bytes& bank2, int n) {
    const std::size_t at = 16249 + 2 * static_cast<std::size_t>(n - 1);
    return bank2.at(at) * 256 + bank2.at(at + 1);
}

// A user on a copy of the demo project, with the three PDO tables not yet made. The EMCY tables
// are left out too, so the receive-PDO rows stand at the start of bank 2.
class PdoEditorsToDevice : public ::testing::Test {
protected:
    PdoEditorsToDevice() {
        state.project_dir = dir.path() / "demo";
        fs::copy(kAssets / "demo", state.project_dir, fs::copy_options::recursive);
        fs::create_directories(state.project_dir / "bin");
        for (const char* name :
             {"rpdodef.xml", "sdopdo.xml", "Transmit_Pdo.xml", "emcydef.xml", "emcyword.xml"})
            fs::remove(state.project_dir / name);
        state.pdo_layout = mk::load_pdo_layout(state.project_dir);
    }
    template <typename Window> void open(Window& w) {
        w.show();
        QApplication::setActiveWindow(&w);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    }
    // Keys typed into a grid cell: the first key opens its editor, Return closes it.
    void typeCell(QTableView* grid, int row, int column, const QString& text) {
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(row, column));
        for (const QChar ch : text)
            QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
        // The cell's editor commits on Return through a queued call.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QApplication::processEvents();
        ASSERT_EQ(grid->model()->index(row, column).data().toString(), text);
    }
    template <typename T> T* child(QWidget& w, const char* name) {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    void clickLine(QListWidget* list, int row) {
        const QRect r = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    }

    mk::test::TempDir dir;
    mk::ProjectState state;
    mk::RecordingSink sink;
};

TEST_F(PdoEditorsToDevice, TypedTablesReachTheBanksAsTheBuildCommandMakesThem) {
    // Two receive PDOs, typed in the opposite order of their COB-IDs.
    mk::TFpdoMB rpdo(state, sink);
    open(rpdo);
    typeCell(rpdo.grid(), 0, 1, "0x282");
    typeCell(rpdo.grid(), 0, 2, "3");
    typeCell(rpdo.grid(), 0, 3, "4");
    typeCell(rpdo.grid(), 1, 1, "0x182");
    typeCell(rpdo.grid(), 1, 2, "2");
    typeCell(rpdo.grid(), 1, 3, "2");
    QTest::mouseClick(rpdo.okButton(), Qt::LeftButton);
    ASSERT_EQ(rpdo.result(), QDialog::Accepted);

    // Three registers: two for the first PDO in the file (0x182), one for the second.
    mk::TFInfopdoMB infopdo(state, sink);
    open(infopdo);
    auto* pdos = child<QListWidget>(infopdo, "pdoList");
    ASSERT_EQ(pdos->count(), 2);
    ASSERT_EQ(pdos->item(0)->text(), "0x182");
    auto* index = child<QLineEdit>(infopdo, "indexEdit");
    const auto store = [&](const char* text, const char* high, const char* low) {
        index->clear();
        QTest::keyClicks(index, text);
        QTest::mouseClick(child<QRadioButton>(infopdo, high), Qt::LeftButton);
        QTest::mouseClick(child<QRadioButton>(infopdo, low), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(infopdo, "newButton"), Qt::LeftButton);
    };
    clickLine(pdos, 0);
    store("400", "highGroup0", "lowGroup1");
    store("0x191", "highGroup2", "lowGroup1");
    clickLine(pdos, 1);
    store("402", "highGroup4", "lowGroup3");
    QTest::mouseClick(infopdo.okButton(), Qt::LeftButton);
    ASSERT_EQ(infopdo.result(), QDialog::Accepted);

    // One transmit PDO.
    mk::TFTPdoMB tpdo(state, sink);
    open(tpdo);
    typeCell(tpdo.grid(), 0, 1, "0x203");
    typeCell(tpdo.grid(), 0, 2, "2");
    typeCell(tpdo.grid(), 0, 3, "300");
    QTest::mouseClick(tpdo.okButton(), Qt::LeftButton);
    ASSERT_EQ(tpdo.result(), QDialog::Accepted);
    // Each window reported only its own file, which the user had not made yet.
    EXPECT_EQ(sink.texts(), std::vector<std::string>(3, "File XML not found"));

    // "Up date Device" up to the firmware window.
    sink.entries.clear();
    mk::Banks banks;
    const mk::FixedClock clock{mk::BuildStamp{2024, 3, 5, 14, 37, 9}};
    ASSERT_TRUE(mk::run_update_device_steps(state, banks, sink, clock));
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"File EMCY xml not found"});

    const Bytes bank1 = readBytes(state.project_dir / "bin" / "bank1.bin");
    const Bytes bank2 = readBytes(state.project_dir / "bin" / "bank2.bin");
    ASSERT_EQ(bank1.size(), 16384u);
    ASSERT_EQ(bank2.size(), 16384u);
    // Stored PDOs after the five SDO entries of the demo, ascending by index, 5 bytes each.
    EXPECT_EQ(slice(bank1, 45, 15), (Bytes{0x01, 0x90, 0, 1, 0x01, 0x01, 0x91, 0, 1, 0x21, //
                                           0x01, 0x92, 0, 2, 0x43}));
    EXPECT_EQ(directoryWord(bank2, 17), 45);
    EXPECT_EQ(directoryWord(bank2, 18), 3);
    EXPECT_EQ(directoryWord(bank2, 19), 60);
    // Receive PDOs from offset 0 of bank 2 (there are no EMCY tables), ascending by COB-ID.
    EXPECT_EQ(slice(bank2, 0, 12), (Bytes{0x01, 0x82, 2, 2, 0, 0, 0x02, 0x82, 3, 4, 0, 0}));
    EXPECT_EQ(directoryWord(bank2, 13), 0);
    EXPECT_EQ(directoryWord(bank2, 14), 2);
    EXPECT_EQ(directoryWord(bank2, 15), 12);
    EXPECT_EQ(directoryWord(bank2, 16), 2);
    // The transmit PDO after the parameter block: its count, then COB-ID, length, address.
    EXPECT_EQ(slice(bank2, 16293, 6), (Bytes{1, 0x02, 0x03, 2, 0x01, 0x2C}));

    // The headless build of the same project gives the same banks.
    const fs::path bin = state.project_dir / "bin";
    for (const char* name : {"bank1.bin", "bank2.bin"})
        fs::rename(bin / name, dir.path() / name);
    const std::string command = std::string(MK_BUILD_COMMAND) +
                                " --no-merge --time 2024-03-05T14:37:09 '" +
                                state.project_dir.string() + "' 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    EXPECT_EQ(readBytes(bin / "bank1.bin"), bank1);
    EXPECT_EQ(readBytes(bin / "bank2.bin"), bank2);
}

TEST_F(PdoEditorsToDevice, SwitchingTheLayoutChangesTheRowsOfBothGrids) {
    mk::TFpargen pargen(state, sink, {});
    mk::TFpdoMB rpdo(state, sink);
    mk::TFTPdoMB tpdo(state, sink);
    rpdo.FormShow();
    tpdo.FormShow();
    EXPECT_EQ(rpdo.model()->rowCount(), 15);
    EXPECT_EQ(tpdo.model()->rowCount(), 3);

    pargen.FormShow();
    pargen.layout8x8()->setChecked(true);
    pargen.BitBtn1Click();
    ASSERT_EQ(state.pdo_layout, 1);
    rpdo.FormShow();
    tpdo.FormShow();
    EXPECT_EQ(rpdo.model()->rowCount(), 8);
    EXPECT_EQ(tpdo.model()->rowCount(), 8);

    pargen.FormShow();
    pargen.layout15x3()->setChecked(true);
    pargen.BitBtn1Click();
    rpdo.FormShow();
    tpdo.FormShow();
    EXPECT_EQ(rpdo.model()->rowCount(), 15);
    EXPECT_EQ(tpdo.model()->rowCount(), 3);
}

} // namespace
