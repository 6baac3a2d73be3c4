#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>
#include <tuple>

#include "core/edit_session.h"
#include "core/message_sink.h"
#include "core/project_state.h"
#include "emcy_window_support.h"
#include "tables/emcy_schema.h"
#include "tables/emcy_table.h"
#include "tables/emcy_word_schema.h"
#include "tables/emcy_word_table.h"
#include "tables/windows/TFWEmcyMB2.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::read_file;
using mk::test::write_file;

namespace {

namespace fs = std::filesystem;
using mk::test::child;
using mk::test::clickRow;
using mk::test::typeInto;

std::string emcyRows(int count) {
    std::string xml = "<EMCY>";
    for (int i = 1; i <= count; ++i)
        xml += "<row ID_EMCY=\"" + std::to_string(i) +
               "\" EMCY_Error_Code=\"0x1000\" Error_Register=\"0x01\"/>";
    return xml + "</EMCY>";
}

std::string dati(int word, int byte) {
    return "<Dati Dati_Word=\"" + std::to_string(word) + "\" Dati_Byte=\"" + std::to_string(byte) +
           "\"/>";
}

class WordWindow : public ::testing::Test {
protected:
    WordWindow() {
        state.project_dir = dir.path();
        emcyList = child<QTreeView>(&window, "emcyList");
        registerList = child<QTreeView>(&window, "registerList");
        number = child<QLineEdit>(&window, "registerEdit");
    }
    ~WordWindow() override { window.hide(); }

    fs::path wordFile() const { return state.table_path(mk::emcy_word_file::schema); }
    void open(const std::string& emcy, const std::string& word) {
        write_file(state.table_path(mk::emcy_file::schema), emcy);
        write_file(wordFile(), word);
        // Opening the window (not restoring it) reloads the files.
        window.hide();
        window.show();
    }
    void press(const char* name) {
        QTest::mouseClick(child<QPushButton>(&window, name), Qt::LeftButton);
    }
    void choose(const char* group, int byteNumber) {
        const std::string name = std::string(group) + std::to_string(byteNumber);
        mk::test::clickChoice(child<QRadioButton>(&window, name.c_str()));
    }
    int chosen(const char* group) const {
        for (int n = 0; n <= 5; ++n) {
            const std::string name = std::string(group) + std::to_string(n);
            if (child<QRadioButton>(&window, name.c_str())->isChecked())
                return n;
        }
        return -1;
    }
    // The register list as the user reads it.
    std::vector<int> registers() const {
        std::vector<int> out;
        for (int r = 0; r < registerList->model()->rowCount(); ++r)
            out.push_back(mk::test::cellText(registerList, r).toInt());
        return out;
    }
    std::vector<std::string> takeMessages() {
        auto texts = sink.texts();
        sink.entries.clear();
        return texts;
    }
    void newMapping(int hi, int lo, const QString& reg) {
        choose("hiByte", hi);
        choose("loByte", lo);
        typeInto(number, reg);
        press("newButton");
    }

    mk::test::TempDir dir;
    mk::ProjectState state;
    mk::RecordingSink sink;
    mk::TFWEmcyMB2 window{state, sink};
    QTreeView* emcyList;
    QTreeView* registerList;
    QLineEdit* number;
};

TEST_F(WordWindow, ShowsItsListsFieldAndByteGroups) {
    QAbstractItemModelTester emcyTester(emcyList->model(),
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester registerTester(registerList->model(),
                                            QAbstractItemModelTester::FailureReportingMode::Fatal);
    open(emcyRows(2), "<EMCY_Word><EMCY_ROW>" + dati(7, 1) + "</EMCY_ROW></EMCY_Word>");
    EXPECT_EQ(window.windowTitle(), "Word EMCY");
    const char* headers[] = {"ID EMCY", "Error Code", "Error Register"};
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(emcyList->model()->headerData(c, Qt::Horizontal).toString(), headers[c]);
    EXPECT_EQ(registerList->model()->columnCount(), 1);
    EXPECT_EQ(registerList->model()->headerData(0, Qt::Horizontal).toString(), "Modbus Register");
    QStringList labels;
    for (const QLabel* l : window.findChildren<QLabel*>())
        labels << l->text();
    for (const char* text :
         {"List of EMCY", "List of Modbus Register", "Number of Modbus Register"})
        EXPECT_TRUE(labels.contains(text)) << text;
    EXPECT_EQ(emcyList->accessibleName(), "List of EMCY");
    EXPECT_EQ(number->accessibleName(), "Number of Modbus Register");
    EXPECT_EQ(child<QGroupBox>(&window, "hiByteGroup")->title(), "Hi Byte of Modbus Register");
    EXPECT_EQ(child<QGroupBox>(&window, "loByteGroup")->title(), "Lo Byte of Modbus Register");
    const char* choices[] = {"None",       "First Byte",  "Second Byte",
                             "Third Byte", "Fourth Byte", "Fifth Byte"};
    for (int n = 0; n <= 5; ++n)
        EXPECT_EQ(child<QRadioButton>(&window, ("loByte" + std::to_string(n)).c_str())->text(),
                  choices[n]);
    for (const char* b : {"newButton", "modifyButton", "deleteButton"})
        EXPECT_FALSE(child<QPushButton>(&window, b)->text().isEmpty());

    // Opening selects no EMCY row, lists no register, and sets both groups to "None".
    EXPECT_EQ(mk::test::selectedLine(emcyList), -1);
    EXPECT_TRUE(registers().empty());
    EXPECT_EQ(chosen("hiByte"), 0);
    EXPECT_EQ(chosen("loByte"), 0);
    // Space picks the row under the keyboard cursor, as a focused list shows it before any
    // selection.
    emcyList->selectionModel()->setCurrentIndex(emcyList->model()->index(0, 0),
                                                QItemSelectionModel::NoUpdate);
    QTest::keyClick(emcyList, Qt::Key_Space);
    EXPECT_EQ(mk::test::selectedLine(emcyList), 0);
    EXPECT_EQ(registers(), std::vector<int>{7});
    clickRow(emcyList, 0);
    newMapping(1, 2, "8");
    clickRow(emcyList, 1);
    EXPECT_TRUE(registers().empty());
    EXPECT_TRUE(sink.entries.empty());
}

TEST_F(WordWindow, PickingARegisterShowsItsNumberAndBytes) {
    open(emcyRows(1), "<EMCY_Word><EMCY_ROW>" + dati(100, 0x21) + dati(101, 102) + dati(102, 80) +
                          "</EMCY_ROW></EMCY_Word>");
    clickRow(emcyList, 0);
    EXPECT_EQ(registers(), (std::vector<int>{100, 101, 102}));
    EXPECT_EQ(mk::test::selectedLine(registerList), -1);
    clickRow(registerList, 0);
    EXPECT_EQ(number->text(), "100");
    EXPECT_EQ(chosen("hiByte"), 2);
    EXPECT_EQ(chosen("loByte"), 1);
    // Both nibbles of 102 (0x66) lie outside 1 to 5.
    clickRow(registerList, 1);
    EXPECT_EQ(number->text(), "101");
    EXPECT_EQ(chosen("hiByte"), 0);
    EXPECT_EQ(chosen("loByte"), 0);
    clickRow(registerList, 2);
    EXPECT_EQ(chosen("hiByte"), 5);
    EXPECT_EQ(chosen("loByte"), 0);
}

TEST_F(WordWindow, NewTakesTheGroupsAndTheFieldAndOkWritesThem) {
    open(emcyRows(2), "<EMCY_Word/>");
    // Both groups on "None" is reported first, even with no EMCY row selected.
    typeInto(number, "abc");
    press("newButton");
    clickRow(emcyList, 0);
    choose("hiByte", 5);
    press("newButton");
    EXPECT_EQ(takeMessages(),
              (std::vector<std::string>{mk::kMsgSelectByte.data(), mk::kMsgRegisterRange.data()}));
    newMapping(5, 0, "0");
    newMapping(0, 1, "65535");
    EXPECT_EQ(registers(), (std::vector<int>{0, 65535}));
    EXPECT_EQ(mk::test::selectedLine(registerList), -1);
    clickRow(emcyList, 1);
    newMapping(3, 3, "0xFFFF");
    EXPECT_EQ(takeMessages(), std::vector<std::string>{mk::kMsgRegisterUsed.data()});
    newMapping(3, 3, "100");
    window.BitBtn1Click();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(read_file(wordFile()), "<EMCY_Word><EMCY_ROW>" + dati(0, 80) + dati(65535, 1) +
                                         "</EMCY_ROW><EMCY_ROW>" + dati(100, 0x33) +
                                         "</EMCY_ROW></EMCY_Word>");
    EXPECT_TRUE(sink.entries.empty());
}

TEST_F(WordWindow, ModifyAndDeleteActOnTheSelectedMapping) {
    open(emcyRows(2), "<EMCY_Word><EMCY_ROW>" + dati(100, 1) + dati(101, 2) +
                          "</EMCY_ROW><EMCY_ROW>" + dati(200, 3) + "</EMCY_ROW></EMCY_Word>");
    clickRow(emcyList, 0);
    clickRow(registerList, 0);
    // The same number with another byte choice is accepted.
    choose("hiByte", 4);
    press("modifyButton");
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_EQ(mk::test::selectedLine(registerList), -1);
    // Picking another EMCY row clears the register selection.
    clickRow(registerList, 1);
    clickRow(emcyList, 1);
    press("modifyButton");
    press("deleteButton");
    EXPECT_EQ(takeMessages(), (std::vector<std::string>{mk::kMsgSelectRegister.data(),
                                                        mk::kMsgSelectRegister.data()}));
    clickRow(registerList, 0);
    typeInto(number, "101");
    press("modifyButton");
    EXPECT_EQ(takeMessages(), std::vector<std::string>{mk::kMsgRegisterUsed.data()});
    typeInto(number, "201");
    press("modifyButton");
    EXPECT_EQ(registers(), std::vector<int>{201});

    // Arrow keys in the EMCY list keep the register list in step with the selected row.
    emcyList->setFocus();
    QTest::keyClick(emcyList, Qt::Key_Up);
    EXPECT_EQ(registers(), (std::vector<int>{100, 101}));
    // The field and the byte groups follow the register the arrow keys move to.
    clickRow(registerList, 0);
    registerList->setFocus();
    QTest::keyClick(registerList, Qt::Key_Down);
    EXPECT_EQ(number->text(), "101");
    clickRow(registerList, 1);
    press("deleteButton");
    EXPECT_EQ(registers(), std::vector<int>{100});
    EXPECT_TRUE(sink.entries.empty());

    // "Cancel" discards, once the user agrees: the next opening shows the file again.
    sink.answers = {true};
    window.BitBtn2Click();
    EXPECT_EQ(takeMessages(), std::vector<std::string>{mk::kMsgDiscardChanges.data()});
    window.show();
    clickRow(emcyList, 0);
    EXPECT_EQ(registers(), (std::vector<int>{100, 101}));
    window.BitBtn1Click();
    EXPECT_EQ(read_file(wordFile()), "<EMCY_Word><EMCY_ROW>" + dati(100, 1) + dati(101, 2) +
                                         "</EMCY_ROW><EMCY_ROW>" + dati(200, 3) +
                                         "</EMCY_ROW></EMCY_Word>");
}

TEST_F(WordWindow, WordFileReadInPartIsReportedAndOkLeavesItAlone) {
    const std::string word = "<EMCY_Word><EMCY_ROW>" + dati(1, 1) +
                             "<Dati Dati_Word=\"70000\" Dati_Byte=\"1\"/>" + dati(3, 3) +
                             "</EMCY_ROW><EMCY_ROW>" + dati(4, 4) + "</EMCY_ROW></EMCY_Word>";
    open(emcyRows(2), word);
    EXPECT_EQ(takeMessages(), std::vector<std::string>{
                                  "Error in reading file XML (emcyword.xml, group 1, mapping 2: "
                                  "Dati_Word 70000 is outside 0 to 65535)"});
    clickRow(emcyList, 0);
    EXPECT_EQ(registers(), std::vector<int>{1});
    window.BitBtn1Click();
    EXPECT_EQ(takeMessages(),
              std::vector<std::string>{mk::incomplete_file_message("emcyword.xml")});
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(read_file(wordFile()), word);
}

} // namespace

namespace {

// Tab enters each byte group at its chosen byte and follows the page in reading order, whatever
// bytes are chosen, also when picking a register chose them.
TEST_F(WordWindow, TabWalksEveryControlOnceAndComesBack) {
    open(emcyRows(1),
         "<EMCY_Word><EMCY_ROW>" + dati(100, 0x43) + dati(101, 5) + "</EMCY_ROW></EMCY_Word>");
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (const auto& [mapping, hiText, loText] : {std::tuple{-1, "None", "None"},
                                                  {0, "Fourth Byte", "Third Byte"},
                                                  {1, "None", "Fifth Byte"}}) {
        SCOPED_TRACE(std::string(hiText) + "/" + loText);
        if (mapping >= 0) {
            clickRow(emcyList, 0);
            clickRow(registerList, mapping);
        }
        const QStringList expected = {"List of EMCY",
                                      "List of Modbus Register",
                                      "Number of Modbus Register",
                                      QStringLiteral("Hi Byte of Modbus Register: ") + hiText,
                                      QStringLiteral("Lo Byte of Modbus Register: ") + loText,
                                      "New",
                                      "Modify",
                                      "Delete",
                                      "OK",
                                      "Cancel"};
        EXPECT_EQ(mk::test::tabWalk(emcyList).join(" | ").toStdString(),
                  expected.join(" | ").toStdString());
    }
}

} // namespace
