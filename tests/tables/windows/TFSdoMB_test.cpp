#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/edit_session.h"
#include "core/message_sink.h"
#include "core/project_state.h"
#include "tables/sdo_schema.h"
#include "tables/sdo_table.h"
#include "tables/windows/TFSdoMB.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::write_file;

using mk::test::read_file;

namespace {

namespace fs = std::filesystem;
using mk::TFSdoMB;

// Grid columns: N, then the SDO columns in their declared order.
enum SdoTableModel {
    N,
    AddrWord,
    HiWord,
    LoWord,
    RW,
    ID,
    Index,
    SubIndex,
    NByte,
    Mnemonico,
    ColumnCount
};

class SdoWindow : public ::testing::Test {
protected:
    SdoWindow() {
        state.project_dir = dir.path();
        window = std::make_unique<TFSdoMB>(state, sink);
    }
    fs::path file() const { return state.table_path(mk::sdo_file::schema); }
    void writeFile(const std::string& xml) { write_file(file(), xml); }
    // What the user types into a cell.
    void type(int row, int column, const QString& text) {
        ASSERT_TRUE(model()->setData(model()->index(row, column), text));
    }
    QString cell(int row, int column) const {
        return model()->data(model()->index(row, column)).toString();
    }
    mk::SdoGridModel* model() const { return window->model(); }

    mk::test::TempDir dir;
    mk::ProjectState state;
    mk::RecordingSink sink;
    std::unique_ptr<TFSdoMB> window;
};

TEST_F(SdoWindow, ModelBehavesForAnyView) {
    QAbstractItemModelTester tester(model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model()->rowCount(), 1500);
    EXPECT_EQ(model()->columnCount(), SdoTableModel::ColumnCount);
    type(3, SdoTableModel::Mnemonico, QStringLiteral("città"));
    model()->setTable(mk::SdoTable());
    writeFile("<sdo><row conf=\"148\" IndexA=\"1\" devIDB=\"1\" IndexB=\"4096\" SubindexB=\"0\" "
              "nbyteB=\"1\"/></sdo>");
    window->FormShow();
    EXPECT_EQ(cell(0, SdoTableModel::HiWord), "4");
}

TEST_F(SdoWindow, GridShowsTitlesNumbersAndShading) {
    const char* titles[] = {"N",  "Addr Word", "Hi Word",  "Lo Word", "R/W",
                            "ID", "Index",     "SubIndex", "nByte",   "mnemonico"};
    for (int c = 0; c < SdoTableModel::ColumnCount; ++c)
        EXPECT_EQ(model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
    EXPECT_EQ(cell(0, SdoTableModel::N), "0");
    EXPECT_EQ(cell(1499, SdoTableModel::N), "1499");
    EXPECT_FALSE(model()->flags(model()->index(5, SdoTableModel::N)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model()->setData(model()->index(5, SdoTableModel::N), "9"));
    EXPECT_TRUE(model()->flags(model()->index(5, SdoTableModel::Mnemonico)) & Qt::ItemIsEditable);
    // A label cut short by its narrow column can be read whole from its tooltip.
    type(5, SdoTableModel::Mnemonico, QStringLiteral("Analog input 1, più lungo"));
    EXPECT_EQ(model()->data(model()->index(5, SdoTableModel::Mnemonico), Qt::ToolTipRole),
              QStringLiteral("Analog input 1, più lungo"));

    const auto shade = [&](int column) {
        return model()->data(model()->index(0, column), Qt::BackgroundRole);
    };
    EXPECT_EQ(shade(SdoTableModel::AddrWord), shade(SdoTableModel::LoWord));
    EXPECT_EQ(shade(SdoTableModel::ID), shade(SdoTableModel::Mnemonico));
    EXPECT_NE(shade(SdoTableModel::AddrWord), shade(SdoTableModel::ID));
    EXPECT_EQ(model()
                  ->headerData(SdoTableModel::Index, Qt::Horizontal, Qt::ForegroundRole)
                  .value<QBrush>()
                  .color(),
              QColor(0, 0, 128));

    EXPECT_EQ(window->windowTitle(), "SDO");
    EXPECT_EQ(window->pages()->tabText(0), "CanA-ModBus");
    EXPECT_TRUE(window->exportButton()->isEnabled());
    EXPECT_TRUE(window->importButton()->isEnabled());
}

TEST_F(SdoWindow, OpeningReloadsTheFileAndFocusesOk) {
    writeFile("<sdo><row conf=\"17\" IndexA=\"0x10\" devIDB=\"3\" IndexB=\"0x1000\" "
              "SubindexB=\"1\" nbyteB=\"2\" mnemonico=\"pump\"/></sdo>");
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(QApplication::focusWidget(), window->okButton());
    EXPECT_EQ(cell(0, SdoTableModel::AddrWord), "0x10");
    EXPECT_EQ(cell(0, SdoTableModel::HiWord), "0");
    EXPECT_EQ(cell(0, SdoTableModel::RW), "1");
    EXPECT_EQ(cell(0, SdoTableModel::LoWord), "1");
    EXPECT_EQ(cell(0, SdoTableModel::Mnemonico), "pump");

    // Cancel discards the edits once the user agrees: the next opening shows the file again.
    type(0, SdoTableModel::Mnemonico, "changed");
    type(1, SdoTableModel::AddrWord, "5");
    sink.answers = {true};
    window->BitBtn2Click();
    EXPECT_EQ(sink.questions, std::vector<std::string>{mk::kMsgDiscardChanges.data()});
    EXPECT_FALSE(window->isVisible());
    window->FormShow();
    EXPECT_EQ(cell(0, SdoTableModel::Mnemonico), "pump");
    EXPECT_EQ(cell(1, SdoTableModel::AddrWord), "");
}

TEST_F(SdoWindow, MissingFileStartsEmptyAndOkCreatesIt) {
    window->FormShow();
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"File XML not found"});
    window->BitBtn1Click();
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_EQ(read_file(file()), "<sdo/>");
}

TEST_F(SdoWindow, OkSavesSortedAndTheNextOpeningShowsTheRows) {
    window->FormShow();
    sink.entries.clear();
    const QStringList rows[] = {
        {"300", "4", "4", "1", "5", "0x2000", "0", "4", "valvola, \"uscita\" <1> & più"},
        {"0x64", "0", "0", "0", "0x7F", "4096", "0x01", "1", ""},
        {"$A", "1", "2", "0", "1", "0x1000", "255", "2", "ten"},
    };
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 9; ++c)
            type(r, SdoTableModel::AddrWord + c, rows[r][c]);
    window->BitBtn1Click();
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_EQ(window->result(), QDialog::Accepted);

    window->FormShow();
    const int order[] = {2, 1, 0}; // 10, 100, 300
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 9; ++c)
            EXPECT_EQ(cell(r, SdoTableModel::AddrWord + c), rows[order[r]][c]) << r << "," << c;
    EXPECT_EQ(cell(3, SdoTableModel::AddrWord), "");
}

TEST_F(SdoWindow, BadValueShowsItsMessageAndWritesNothing) {
    writeFile("<sdo/>");
    window->show();
    window->FormShow();
    sink.entries.clear();
    const QStringList good = {"1", "0", "0", "0", "1", "0x1000", "0", "1", ""};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 9; ++c)
            type(r, SdoTableModel::AddrWord + c, good[c]);
    type(3, SdoTableModel::NByte, "3");
    window->BitBtn1Click();
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Value of range [1,2,4] column nByte row 4"});
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(read_file(file()), "<sdo/>");
    EXPECT_EQ(cell(3, SdoTableModel::NByte), "3");

    sink.entries.clear();
    type(3, SdoTableModel::NByte, "4");
    type(1, SdoTableModel::HiWord, "");
    window->BitBtn1Click();
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"'' is not a valid integer value"});
    EXPECT_EQ(sink.entries[0].kind, mk::MessageKind::Error);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(read_file(file()), "<sdo/>");
    window->hide();
}

TEST_F(SdoWindow, CellStillBeingEditedIsPartOfTheSave) {
    window->show();
    window->FormShow();
    const QStringList good = {"7", "0", "0", "0", "1", "0x1000", "0", "1"};
    for (int c = 0; c < 8; ++c)
        type(0, SdoTableModel::AddrWord + c, good[c]);
    QTableView* grid = window->grid();
    grid->setFocus();
    grid->setCurrentIndex(model()->index(0, SdoTableModel::Mnemonico));
    // The first key opens the cell's editor, the rest go into it.
    QTest::keyClick(grid, Qt::Key_T);
    auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(grid->currentIndex()));
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "yped");
    window->BitBtn1Click();
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_NE(read_file(file()).find("mnemonico=\"typed\""), std::string::npos);
}

TEST_F(SdoWindow, ResizingGivesEveryColumnAnEleventhOfTheGrid) {
    window->resize(1000, 500);
    window->show();
    window->grid()->horizontalHeader()->resizeSection(SdoTableModel::Mnemonico, 300);
    window->resize(1200, 600);
    QApplication::processEvents();
    const int expected = window->grid()->width() / 11;
    for (int c = 0; c < SdoTableModel::ColumnCount; ++c)
        EXPECT_EQ(window->grid()->columnWidth(c), expected) << c;
    window->hide();
}

// Import and export: the chooser stands in for the file-open dialog and records where it starts.
class SdoTransfer : public SdoWindow {
protected:
    SdoTransfer() {
        writeFile("<sdo><row conf=\"0\" IndexA=\"7\" devIDB=\"1\" IndexB=\"4096\" SubindexB=\"0\" "
                  "nbyteB=\"1\" mnemonico=\"from file\"/></sdo>");
        window->FormShow();
        window->setWorkbookChooser([this](QWidget*, const QString& folder) {
            startedIn = folder;
            return answer;
        });
    }
    QPushButton* button(const char* name) const {
        return window->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    QString answer;
    QString startedIn;
};

TEST_F(SdoTransfer, ImportFillsTheGridSilentlyAndLeavesTheFileAlone) {
    ASSERT_TRUE(button("importButton")->isEnabled());
    const std::string before = read_file(file());
    answer = QStringLiteral(MK_WORKBOOKS_DIR "/sdo_doubles.xls");
    QTest::mouseClick(button("importButton"), Qt::LeftButton);
    EXPECT_EQ(startedIn, QString::fromStdString(dir.path().string()));
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_EQ(cell(0, SdoTableModel::AddrWord), QStringLiteral("100"));
    EXPECT_EQ(cell(0, SdoTableModel::Mnemonico), QStringLiteral("valve, outlet"));
    EXPECT_EQ(cell(1, SdoTableModel::HiWord), QStringLiteral("31"));
    EXPECT_EQ(cell(4, SdoTableModel::AddrWord), QStringLiteral("500"));
    EXPECT_EQ(cell(4, SdoTableModel::SubIndex), QStringLiteral("2.5"));
    EXPECT_EQ(read_file(file()), before);

    // Cancelling the dialog changes nothing.
    answer.clear();
    window->BtnImportClick();
    EXPECT_EQ(cell(0, SdoTableModel::AddrWord), QStringLiteral("100"));
    EXPECT_TRUE(sink.entries.empty());
}

TEST_F(SdoTransfer, AWorkbookWithoutTheSheetEmptiesTheGridAndSaysSo) {
    answer = QStringLiteral(MK_WORKBOOKS_DIR "/no_sheet.xls");
    window->BtnImportClick();
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"No sheet named sdo in the workbook"});
    EXPECT_EQ(sink.entries[0].kind, mk::MessageKind::Warning);
    EXPECT_EQ(cell(0, SdoTableModel::AddrWord), QString());
    // "OK" would now write an empty table: the user has been told why it is empty.
}

TEST_F(SdoTransfer, ExportWritesTheCsvQuietlyAndReportsAFileThatCannotBeWritten) {
    ASSERT_TRUE(button("exportButton")->isEnabled());
    QTest::mouseClick(button("exportButton"), Qt::LeftButton);
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_EQ(read_file(dir.path() / "sdo.csv"),
              "conf,IndexA,SubindexA,devIDB,IndexB,SubindexB,nbyteB,mnemonico\r\n"
              "0,7,0,1,4096,0,1,from file\r\n");

    fs::remove(dir.path() / "sdo.csv");
    fs::create_directories(dir.path() / "sdo.csv" / "inside");
    window->BtnExportClick();
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].kind, mk::MessageKind::Error);
    EXPECT_NE(sink.entries[0].text.find("sdo.csv"), std::string::npos) << sink.entries[0].text;
    EXPECT_EQ(cell(0, SdoTableModel::Mnemonico), QStringLiteral("from file"));
}

} // namespace

TEST_F(SdoWindow, RowsCopiedFromASpreadsheetPasteAndDeleteClearsABlock) {
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->FormShow();
    QTableView* grid = window->grid();
    grid->setFocus();
    grid->setCurrentIndex(model()->index(0, SdoTableModel::AddrWord));
    QApplication::clipboard()->setText("7\t0\t0\t0\t1\t0x1000\t0\t1\tpompa\r\n"
                                       "8\t0\t0\t0\t1\t0x1001\t0\t1\tvalvola\r\n");
    QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(cell(1, SdoTableModel::Index), "0x1001");
    EXPECT_EQ(cell(1, SdoTableModel::Mnemonico), "valvola");
    EXPECT_EQ(cell(2, SdoTableModel::AddrWord), "");
    // Clearing the second row's cells leaves the first row alone and the table one row long.
    grid->selectionModel()->select(QItemSelection(model()->index(1, SdoTableModel::AddrWord),
                                                  model()->index(1, SdoTableModel::Mnemonico)),
                                   QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(grid, Qt::Key_Delete);
    EXPECT_EQ(cell(1, SdoTableModel::Mnemonico), "");
    EXPECT_EQ(cell(0, SdoTableModel::Mnemonico), "pompa");
    window->BitBtn1Click();
    EXPECT_EQ(window->result(), QDialog::Accepted);
    const std::string saved = read_file(file());
    EXPECT_NE(saved.find("mnemonico=\"pompa\""), std::string::npos);
    EXPECT_EQ(saved.find("valvola"), std::string::npos);
}
