#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <chrono>

#include "core/edit_session.h"
#include "core/message_sink.h"
#include "core/project_state.h"
#include "emcy_window_support.h"
#include "tables/emcy_schema.h"
#include "tables/emcy_table.h"
#include "tables/windows/TFemcyMB2.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::read_file;
using mk::test::write_file;

namespace {

namespace fs = std::filesystem;
using mk::test::child;
using mk::test::clickRow;
using mk::test::typeInto;

std::string row(const std::string& id, const std::string& code, const std::string& reg) {
    return "<row ID_EMCY=\"" + id + "\" EMCY_Error_Code=\"" + code + "\" Error_Register=\"" + reg +
           "\"/>";
}

class EmcyWindow : public ::testing::Test {
protected:
    EmcyWindow() {
        state.project_dir = dir.path();
        list = child<QTreeView>(&window, "emcyList");
        id = child<QLineEdit>(&window, "idEmcyEdit");
        code = child<QLineEdit>(&window, "errorCodeEdit");
        reg = child<QLineEdit>(&window, "errorRegisterEdit");
    }
    ~EmcyWindow() override { window.hide(); }

    fs::path file() const { return state.table_path(mk::emcy_file::schema); }
    void open(const std::string& xml) {
        write_file(file(), xml);
        open();
    }
    void open() {
        // Opening the window (not restoring it) reloads the files.
        window.hide();
        window.show();
    }
    void press(const char* name) {
        QTest::mouseClick(child<QPushButton>(&window, name), Qt::LeftButton);
    }
    void enter(const QString& i, const QString& c, const QString& r) {
        typeInto(id, i);
        typeInto(code, c);
        typeInto(reg, r);
    }
    QString line(int r) const {
        return mk::test::cellText(list, r, 0) + "|" + mk::test::cellText(list, r, 1) + "|" +
               mk::test::cellText(list, r, 2);
    }
    QString fields() const { return id->text() + "|" + code->text() + "|" + reg->text(); }
    std::vector<std::string> takeMessages() {
        auto texts = sink.texts();
        sink.entries.clear();
        return texts;
    }

    mk::test::TempDir dir;
    mk::ProjectState state;
    mk::RecordingSink sink;
    mk::TFemcyMB2 window{state, sink};
    QTreeView* list;
    QLineEdit* id;
    QLineEdit* code;
    QLineEdit* reg;
};

TEST_F(EmcyWindow, ShowsTheListFieldsAndButtonsUnderTheirNames) {
    QAbstractItemModelTester tester(list->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    open("<EMCY>" + row("5", "0x1000", "0x01") + "</EMCY>");
    EXPECT_EQ(window.windowTitle(), "Set Translate EMCY");
    const char* headers[] = {"ID EMCY", "Error Code", "Error Register"};
    ASSERT_EQ(list->model()->columnCount(), 3);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(list->model()->headerData(c, Qt::Horizontal).toString(), headers[c]);
    EXPECT_EQ(id->accessibleName(), "ID EMCY");
    EXPECT_EQ(code->accessibleName(), "EMCY Error Code");
    EXPECT_EQ(reg->accessibleName(), "Error Register");
    EXPECT_EQ(child<QPushButton>(&window, "newEmcyButton")->text(), "New EMCY");
    EXPECT_EQ(child<QPushButton>(&window, "deleteEmcyButton")->text(), "Delete EMCY");
    EXPECT_EQ(child<QPushButton>(&window, "modifyEmcyButton")->text(), "Modify EMCY");
    EXPECT_EQ(window.okButton()->text(), "OK");
    EXPECT_EQ(window.cancelButton()->text(), "Cancel");
    // A single page: no tab bar.
    EXPECT_FALSE(window.pages()->tabBar()->isVisible());

    // The model stays consistent through every change the window makes.
    enter("6", "1", "1");
    press("newEmcyButton");
    clickRow(list, 0);
    enter("7", "1", "1");
    press("modifyEmcyButton");
    clickRow(list, 1);
    press("deleteEmcyButton");
    EXPECT_EQ(list->model()->rowCount(), 1);
    EXPECT_EQ(line(0), "7|0x0001|0x01");
    EXPECT_TRUE(sink.entries.empty());
}

TEST_F(EmcyWindow, NewRowsAreCanonicalAndTheFieldsKeepTheirText) {
    open();
    EXPECT_TRUE(sink.entries.empty()); // a missing file is an empty list, silently
    enter("0x1A", "4096", "1");
    press("newEmcyButton");
    EXPECT_EQ(line(0), "26|0x1000|0x01");
    EXPECT_EQ(fields(), "0x1A|4096|1");
    press("newEmcyButton");
    EXPECT_EQ(takeMessages(),
              std::vector<std::string>{"Error!!! These values are already present."});
    EXPECT_EQ(list->model()->rowCount(), 1);

    enter("26", "-1", "");
    press("newEmcyButton");
    EXPECT_EQ(takeMessages(), std::vector<std::string>{mk::kMsgEmcyErrorCodeRange.data()});
    EXPECT_EQ(list->model()->rowCount(), 1);
}

TEST_F(EmcyWindow, PickingFillsTheFieldsWithTheTextsAsRead) {
    open("<EMCY>" + row("5", "0x1000", "0x01") + row(" 7", "0x0a00", "$1") + "</EMCY>");
    clickRow(list, 1);
    EXPECT_EQ(fields(), " 7|0x0a00|$1");
    // A row read in another form is replaced by its canonical text; a canonical row is not.
    press("modifyEmcyButton");
    EXPECT_EQ(line(1), "7|0x0A00|0x01");
    EXPECT_EQ(list->currentIndex().row(), 1);
    clickRow(list, 0);
    EXPECT_EQ(fields(), "5|0x1000|0x01");
    press("modifyEmcyButton");
    EXPECT_EQ(takeMessages(),
              std::vector<std::string>{"Error!!! These values are already present."});
    // 2560 as 0x0A00 now exists in canonical form.
    enter("7", "2560", "1");
    press("newEmcyButton");
    EXPECT_EQ(takeMessages(),
              std::vector<std::string>{"Error!!! These values are already present."});

    // The fields follow the row the arrow keys move to; Return picks the current row again.
    enter("9", "9", "9");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(fields(), "7|0x0A00|0x01");
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(fields(), "5|0x1000|0x01");
    enter("9", "9", "9");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(fields(), "5|0x1000|0x01");
}

TEST_F(EmcyWindow, OkWritesTheListInOrderAndCancelDiscards) {
    const std::string onDisk = "<EMCY>" + row("1", "0x0a00", "0x01") + row("2", "2", "2") +
                               row("3", "0x0003", "0x03") + "</EMCY>";
    open(onDisk);
    clickRow(list, 1);
    press("deleteEmcyButton");
    EXPECT_EQ(list->model()->rowCount(), 2);
    EXPECT_EQ(fields(), "2|2|2"); // deleting keeps the fields
    sink.answers = {true};        // discard the deletion
    window.BitBtn2Click();
    EXPECT_EQ(takeMessages(), std::vector<std::string>{mk::kMsgDiscardChanges.data()});
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(read_file(file()), onDisk);

    open();
    EXPECT_EQ(list->model()->rowCount(), 3);
    clickRow(list, 1);
    press("deleteEmcyButton");
    EXPECT_EQ(mk::test::selectedLine(list), -1);
    // Without a selection "Delete EMCY" does nothing and "Modify EMCY" only checks.
    press("deleteEmcyButton");
    enter("4", "4", "4");
    press("modifyEmcyButton");
    press("newEmcyButton");
    QTest::mouseClick(window.okButton(), Qt::LeftButton);
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(read_file(file()), "<EMCY>" + row("1", "0x0a00", "0x01") +
                                     row("3", "0x0003", "0x03") + row("4", "0x0004", "0x04") +
                                     "</EMCY>");
    EXPECT_TRUE(sink.entries.empty());

    // An empty list writes an empty root.
    open();
    for (int i = 0; i < 3; ++i) {
        clickRow(list, 0);
        press("deleteEmcyButton");
    }
    window.BitBtn1Click();
    EXPECT_EQ(read_file(file()), "<EMCY/>");
}

TEST_F(EmcyWindow, FileReadInPartIsReportedAndOkLeavesItAlone) {
    const std::string broken = "<EMCY>" + row("1", "1", "1") +
                               "<row ID_EMCY=\"2\" Error_Register=\"1\"/>" + row("3", "3", "3") +
                               "</EMCY>";
    open(broken);
    EXPECT_EQ(takeMessages(),
              std::vector<std::string>{
                  "Error in reading file XML (emcydef.xml, row 2: no attribute EMCY_Error_Code)"});
    EXPECT_EQ(list->model()->rowCount(), 1);
    window.BitBtn1Click();
    EXPECT_EQ(takeMessages(), std::vector<std::string>{mk::incomplete_file_message("emcydef.xml")});
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(read_file(file()), broken);
}

TEST_F(EmcyWindow, TenThousandRowsOpenAndEditQuickly) {
    std::string xml = "<EMCY>";
    for (int i = 0; i < 10000; ++i)
        xml += row(std::to_string(i % 127 + 1), std::to_string(i), "0x00");
    const auto start = std::chrono::steady_clock::now();
    open(xml + "</EMCY>");
    EXPECT_EQ(list->model()->rowCount(), 10000);
    clickRow(list, 0);
    enter("1", "0", "0");
    press("newEmcyButton");
    EXPECT_EQ(list->model()->rowCount(), 10001);
    window.BitBtn1Click();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_TRUE(sink.entries.empty());
}

TEST_F(EmcyWindow, TabWalksEveryControlOnceAndComesBack) {
    open("<EMCY/>");
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const QStringList expected = {"List of EMCY",   "ID EMCY",  "EMCY Error Code",
                                  "Error Register", "New EMCY", "Delete EMCY",
                                  "Modify EMCY",    "OK",       "Cancel"};
    EXPECT_EQ(mk::test::tabWalk(list).join(" | ").toStdString(),
              expected.join(" | ").toStdString());
}

} // namespace
