#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "core/edit_session.h"
#include "core/message_sink.h"
#include "core/project_state.h"
#include "emcy_window_support.h"
#include "tables/windows/TFInfopdoMB.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::read_file;

namespace {

namespace fs = std::filesystem;
using mk::TFInfopdoMB;
using Texts = std::vector<std::string>;

std::string entryRow(const std::string& index, const std::string& nrpdo,
                     const std::string& poscomp) {
    return "<row index=\"" + index + "\" subindex=\"0\" nrpdo=\"" + nrpdo + "\" poscomp=\"" +
           poscomp + "\"/>";
}

class InfopdoWindow : public ::testing::Test {
protected:
    InfopdoWindow() {
        state.project_dir = dir.path();
        write("sdo.xml", "<sdo><row conf=\"0\" IndexA=\"100\" SubindexA=\"0\" devIDB=\"1\" "
                         "IndexB=\"0x1000\" SubindexB=\"0\" nbyteB=\"1\"/></sdo>");
        write("rpdodef.xml", "<rpdodef><row cobid=\"0x181\" id_dev_orig=\"1\" dimension=\"8\"/>"
                             "<row cobid=\"0x201\" id_dev_orig=\"2\" dimension=\"4\"/></rpdodef>");
        write("sdopdo.xml", "<sdopdo>" + entryRow("10", "1", "33") + entryRow("11", "1", "2") +
                                entryRow("12", "1", "3") + entryRow("20", "3", "1") + "</sdopdo>");
        window = std::make_unique<TFInfopdoMB>(state, sink);
    }
    ~InfopdoWindow() override { window->hide(); }
    void write(const char* name, const std::string& xml) {
        std::ofstream(dir.path() / name, std::ios::binary) << xml;
    }
    template <typename T> T* child(const char* name) const {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Opening says that the entry of PDO 3 will not be kept: rpdodef.xml has two PDOs.
    void open() {
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        EXPECT_EQ(sink.texts(), Texts{mk::entries_beyond_pdos_message(1, 2)});
        sink.entries.clear();
    }
    void press(const char* button) {
        QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
    }
    void clickLine(QListWidget* list, int row) {
        QListWidgetItem* item = list->item(row);
        ASSERT_NE(item, nullptr);
        const QRect r = list->visualItemRect(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    }
    QStringList lines(QListWidget* list) const {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }
    bool checked(const char* radio) const { return child<QRadioButton>(radio)->isChecked(); }

    mk::test::TempDir dir;
    mk::ProjectState state;
    mk::RecordingSink sink;
    std::unique_ptr<TFInfopdoMB> window;
};

TEST_F(InfopdoWindow, OpensWithThePdoListAndNothingSelected) {
    open();
    EXPECT_EQ(window->windowTitle(), "INFOPDO");
    EXPECT_EQ(window->pages()->tabText(0), "CanA-ModBus");
    EXPECT_EQ(QApplication::focusWidget(), window->okButton());
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_EQ(lines(child<QListWidget>("pdoList")), (QStringList{"0x181", "0x201"}));
    EXPECT_EQ(child<QListWidget>("entriesList")->count(), 0);
    EXPECT_TRUE(checked("highGroup0"));
    EXPECT_TRUE(checked("lowGroup0"));
    EXPECT_EQ(child<QGroupBox>("highGroup")->title(), "Selected PDO Byte");
    EXPECT_TRUE(window->exportButton()->isEnabled());
    EXPECT_TRUE(window->importButton()->isEnabled());
    // The lists and the field are named by their headings, as a screen reader announces them.
    EXPECT_EQ(child<QListWidget>("entriesList")->accessibleName(), "MODBUS");
    EXPECT_EQ(child<QListWidget>("pdoList")->accessibleName(), "Correlated Index PDO MODBUS");
    EXPECT_EQ(child<QLineEdit>("indexEdit")->accessibleName(), "Index MODBUS");
}

TEST_F(InfopdoWindow, SelectEditDeleteNewAndSave) {
    open();
    auto* pdos = child<QListWidget>("pdoList");
    auto* entries = child<QListWidget>("entriesList");
    auto* index = child<QLineEdit>("indexEdit");
    clickLine(pdos, 0);
    EXPECT_EQ(lines(entries), (QStringList{"Ind MB 0", "Ind MB 1", "Ind MB 2"}));
    clickLine(entries, 0);
    EXPECT_EQ(index->text(), "10");
    EXPECT_TRUE(checked("highGroup2"));
    EXPECT_TRUE(checked("lowGroup1"));

    clickLine(entries, 1);
    press("deleteButton");
    EXPECT_EQ(lines(entries), (QStringList{"Ind MB 0", "Ind MB 2"}));

    // A new entry typed with real keys: the SDO address 100 is refused, 0x30 is taken.
    index->clear();
    QTest::keyClicks(index, "100");
    press("newButton");
    EXPECT_EQ(sink.texts(), Texts{"Index or Subindex Not Valid,Ind MB Already Exists"});
    index->clear();
    QTest::keyClicks(index, "0x30");
    QTest::mouseClick(child<QRadioButton>("highGroup8"), Qt::LeftButton);
    QTest::mouseClick(child<QRadioButton>("lowGroup4"), Qt::LeftButton);
    press("newButton");
    EXPECT_EQ(lines(entries), (QStringList{"Ind MB 0", "Ind MB 2", "Ind Mb 2"}));
    EXPECT_EQ(entries->currentRow(), 2);

    press("okButton");
    EXPECT_EQ(window->result(), QDialog::Accepted);
    // PDO 3's row is dropped: rpdodef.xml has two PDOs.
    EXPECT_EQ(read_file(dir.path() / "sdopdo.xml"), "<sdopdo>" + entryRow("10", "1", "33") +
                                                        entryRow("12", "1", "3") +
                                                        entryRow("0x30", "1", "132") + "</sdopdo>");
}

TEST_F(InfopdoWindow, CopyPasteAndModifyAcrossPdos) {
    open();
    auto* index = child<QLineEdit>("indexEdit");
    // Paste before any copy: the field empties, then the empty poscomp is refused.
    index->setText("55");
    QTest::mouseClick(child<QRadioButton>("lowGroup5"), Qt::LeftButton);
    press("pasteButton");
    EXPECT_EQ(sink.texts(), Texts{"'' is not a valid integer value"});
    EXPECT_EQ(index->text(), "");
    EXPECT_TRUE(checked("lowGroup5"));
    sink.entries.clear();

    clickLine(child<QListWidget>("pdoList"), 0);
    clickLine(child<QListWidget>("entriesList"), 2);
    press("copyButton");
    clickLine(child<QListWidget>("pdoList"), 1);
    EXPECT_EQ(index->text(), "");
    press("pasteButton");
    EXPECT_EQ(index->text(), "12");
    EXPECT_TRUE(checked("highGroup0"));
    EXPECT_TRUE(checked("lowGroup3"));
    // The pasted index belongs to PDO 1's entry already.
    press("newButton");
    EXPECT_EQ(sink.texts(), Texts{"Index or Subindex Not Valid"});
    index->setText("13");
    press("newButton");
    EXPECT_EQ(child<QListWidget>("entriesList")->count(), 1);

    // The clipboard outlives a cancelled opening.
    sink.answers = {true}; // discard the new entry
    sink.entries.clear();
    window->BitBtn2Click();
    EXPECT_EQ(sink.texts(), Texts{mk::kMsgDiscardChanges.data()});
    sink.entries.clear();
    open();
    press("pasteButton");
    EXPECT_EQ(index->text(), "12");
}

TEST_F(InfopdoWindow, MissingFilesAreEachReported) {
    fs::remove(dir.path() / "sdo.xml");
    fs::remove(dir.path() / "sdopdo.xml");
    window->FormShow();
    EXPECT_EQ(sink.texts(), (Texts{"File XML not found", "File XML not found"}));
    window->BitBtn1Click();
    EXPECT_EQ(read_file(dir.path() / "sdopdo.xml"), "<sdopdo/>");
}

TEST_F(InfopdoWindow, ImportEmptiesTheFieldsAndReplacesTheEntries) {
    open();
    auto* pdos = child<QListWidget>("pdoList");
    auto* entries = child<QListWidget>("entriesList");
    clickLine(pdos, 0);
    clickLine(entries, 0);
    ASSERT_EQ(child<QLineEdit>("indexEdit")->text(), "10");
    window->setWorkbookChooser(
        [](QWidget*, const QString&) { return QStringLiteral(MK_WORKBOOKS_DIR "/sdopdo.xls"); });
    press("importButton");
    // The sheet's PDO number 0 ends the import before its last row, and the window says so.
    const Texts ended{"Import stopped at sheet row 6: PDO number 0 is 0 modulo 128, which ends the "
                      "import; 1 sheet row after it was not read"};
    EXPECT_EQ(sink.texts(), ended);
    EXPECT_EQ(entries->count(), 0);
    EXPECT_EQ(child<QLineEdit>("indexEdit")->text(), "");
    EXPECT_TRUE(checked("highGroup0"));
    EXPECT_TRUE(checked("lowGroup0"));
    EXPECT_EQ(lines(pdos), (QStringList{"0x181", "0x201"}));
    clickLine(pdos, 1);
    EXPECT_EQ(lines(entries), (QStringList{"Ind MB 0", "Ind MB 1"}));
    clickLine(entries, 0);
    EXPECT_EQ(child<QLineEdit>("indexEdit")->text(), "0x10");
    EXPECT_TRUE(checked("highGroup1"));
    EXPECT_TRUE(checked("lowGroup2"));

    press("exportButton");
    EXPECT_EQ(sink.texts(), ended);
    EXPECT_EQ(read_file(dir.path() / "sdopdo.csv"), "200,1,33,\r\n0x10,2,18,\r\n203,2,4,\r\n");
}

} // namespace

namespace {

TEST_F(InfopdoWindow, KeyboardReachesTheFieldFromTheListsAndTabbingSelectsNothing) {
    open();
    auto* entries = child<QListWidget>("entriesList");
    auto* pdos = child<QListWidget>("pdoList");
    auto* index = child<QLineEdit>("indexEdit");
    // Tab goes from the entries to the PDOs to "Index MODBUS", as they stand on the page.
    entries->setFocus();
    QTest::keyClick(entries, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), pdos);
    QTest::keyClick(pdos, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), index);

    // A PDO chosen, an index typed: going back through the entries list with the keyboard
    // only passes it, and the typed index stays.
    clickLine(pdos, 0);
    index->setFocus();
    QTest::keyClicks(index, "77");
    QTest::keyClick(index, Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), entries);
    EXPECT_EQ(index->text(), "77");
    EXPECT_TRUE(sink.entries.empty());
    // The arrow keys still choose an entry, from the line the keyboard cursor is on.
    QTest::keyClick(entries, Qt::Key_Down);
    EXPECT_EQ(index->text(), "11");
    QTest::keyClick(entries, Qt::Key_Up);
    EXPECT_EQ(index->text(), "10");
}

// Tab enters each byte group at its chosen byte and then follows the page as it reads, whatever
// bytes are chosen, also when selecting an entry chose them (they once sent Tab from the field
// to "Delete").
TEST_F(InfopdoWindow, TabEntersEachGroupAtItsChoiceInReadingOrder) {
    open();
    for (const auto& [line, high, low] :
         {std::tuple{-1, "none", "none"}, {0, "B2", "B1"}, {2, "none", "B3"}}) {
        SCOPED_TRACE(std::string(high) + "/" + low);
        if (line >= 0) {
            clickLine(child<QListWidget>("pdoList"), 0);
            clickLine(child<QListWidget>("entriesList"), line);
        }
        const QString group = QStringLiteral("Selected PDO Byte: ");
        const QStringList expected = {"MODBUS",       "Correlated Index PDO MODBUS",
                                      "Index MODBUS", group + high,
                                      group + low,    "Delete",
                                      "New",          "Modify",
                                      "Copy",         "Paste",
                                      "OK",           "Cancel",
                                      "Export",       "Import"};
        EXPECT_EQ(mk::test::tabWalk(child<QListWidget>("entriesList")).join(" | ").toStdString(),
                  expected.join(" | ").toStdString());
    }
}

} // namespace
