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
#include "tables/rpdo_schema.h"
#include "tables/windows/TFpdoMB.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::write_file;

using mk::test::read_file;

namespace {

namespace fs = std::filesystem;
using mk::TFpdoMB;
using Texts = std::vector<std::string>;

enum Column { N, Cobid, IdDevOrig, Dimension };

std::string row(const std::string& cobid, const std::string& id, const std::string& dim) {
    return "<row cobid=\"" + cobid + "\" id_dev_orig=\"" + id + "\" dimension=\"" + dim +
           "\" posind=\"0\" n_tpdo=\"0\"/>";
}

class RpdoWindow : public ::testing::Test {
protected:
    RpdoWindow() {
        state.project_dir = dir.path();
        window = std::make_unique<TFpdoMB>(state, sink);
    }
    ~RpdoWindow() override { window->hide(); }
    fs::path file() const { return state.table_path(mk::rpdo_file::schema); }
    void writeFile(const std::string& xml) { write_file(file(), xml); }
    void type(int r, int c, const QString& text) {
        ASSERT_TRUE(model()->setData(model()->index(r, c), text));
    }
    QString cell(int r, int c) const { return model()->data(model()->index(r, c)).toString(); }
    mk::RpdoGridModel* model() const { return window->model(); }
    void open() {
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    // Real keys into a cell of the grid: the first key opens the cell's editor.
    QLineEdit* keys(int r, int c, const QString& text) {
        QTableView* grid = window->grid();
        grid->setFocus();
        grid->setCurrentIndex(model()->index(r, c));
        for (const QChar ch : text)
            QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
        return qobject_cast<QLineEdit*>(grid->indexWidget(grid->currentIndex()));
    }

    mk::test::TempDir dir;
    mk::ProjectState state;
    mk::RecordingSink sink;
    std::unique_ptr<TFpdoMB> window;
};

TEST_F(RpdoWindow, RowCountFollowsTheLayoutAtEveryOpening) {
    QAbstractItemModelTester tester(model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    writeFile("<rpdodef>" + row("0x181", "1", "8") + "</rpdodef>");
    window->FormShow();
    EXPECT_EQ(model()->rowCount(), 15);
    EXPECT_EQ(cell(14, N), "14");
    state.pdo_layout = 1;
    window->FormShow();
    EXPECT_EQ(model()->rowCount(), 8);
    EXPECT_EQ(cell(7, N), "7");
    EXPECT_EQ(cell(0, Cobid), "0x181");
    EXPECT_TRUE(sink.entries.empty());
}

TEST_F(RpdoWindow, CaptionHeadingsButtonsFocusAndColumnWidths) {
    open();
    EXPECT_EQ(window->windowTitle(), "RPDO");
    EXPECT_EQ(window->pages()->tabText(0), "CanA-ModBus");
    const char* titles[] = {"N", "cobid", "id_dev_orig", "dimension"};
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
    EXPECT_TRUE(window->exportButton()->isEnabled());
    EXPECT_TRUE(window->importButton()->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), window->okButton());
    EXPECT_EQ(sink.texts(), Texts{"File XML not found"});

    window->resize(803, 400);
    QApplication::processEvents();
    const int expected = qRound(window->grid()->width() / 4.0) - 10;
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(window->grid()->columnWidth(c), expected) << c;
}

TEST_F(RpdoWindow, KeyFilterKeepsIntegerTextOnly) {
    open();
    QLineEdit* editor = keys(0, Cobid, "12");
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "12");
    editor->clear();
    QTest::keyClicks(editor, "0x1F");
    EXPECT_EQ(editor->text(), "0x1F");
    QTest::keyClick(editor, Qt::Key_G);
    EXPECT_EQ(editor->text(), "");
    // "$" into an empty cell empties it; "0x" alone stays.
    editor = keys(1, Dimension, "$");
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "");
    QTest::keyClicks(editor, "0x");
    EXPECT_EQ(editor->text(), "0x");
}

TEST_F(RpdoWindow, OkWritesAscendingCobidsWithTheTextsAsTyped) {
    writeFile("<rpdodef/>");
    open();
    type(0, Cobid, "0x281");
    type(0, IdDevOrig, "3");
    type(1, Cobid, "0x181");
    type(2, Cobid, "0x201");
    type(2, Dimension, "8");
    // The last cell is still being edited when "OK" is pressed.
    QLineEdit* editor = keys(2, IdDevOrig, "2");
    ASSERT_NE(editor, nullptr);
    window->BitBtn1Click();
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_EQ(read_file(file()), "<rpdodef>" + row("0x181", "", "") + row("0x201", "2", "8") +
                                     row("0x281", "3", "") + "</rpdodef>");
}

TEST_F(RpdoWindow, BadCobidKeepsTheWindowOpenAndTheFile) {
    writeFile("<rpdodef>" + row("1", "1", "1") + "</rpdodef>");
    open();
    type(1, Cobid, "0x");
    window->BitBtn1Click();
    EXPECT_EQ(sink.texts(), Texts{"'0x' is not a valid integer value"});
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(cell(1, Cobid), "0x");
    EXPECT_EQ(read_file(file()), "<rpdodef>" + row("1", "1", "1") + "</rpdodef>");
}

TEST_F(RpdoWindow, RowsBeyondTheLayoutAreShownMarkedAndSaved) {
    QAbstractItemModelTester tester(model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    std::string xml = "<rpdodef>";
    for (int i = 0; i < 10; ++i)
        xml += row(std::to_string(0x181 + i), "1", "8");
    writeFile(xml + "</rpdodef>");
    state.pdo_layout = 1;
    window->FormShow();
    ASSERT_EQ(model()->rowCount(), 10);
    EXPECT_EQ(cell(9, Cobid), QString::number(0x181 + 9));
    EXPECT_FALSE(model()->data(model()->index(7, N), Qt::ToolTipRole).isValid());
    EXPECT_TRUE(
        model()->data(model()->index(8, N), Qt::ToolTipRole).toString().contains("Up date Device"));
    EXPECT_NE(model()->data(model()->index(8, N), Qt::BackgroundRole),
              model()->data(model()->index(7, N), Qt::BackgroundRole));
    window->BitBtn1Click();
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_EQ(read_file(file()), xml + "</rpdodef>");
    // Back under the wider layout the same file fits without marks.
    state.pdo_layout = 0;
    window->FormShow();
    EXPECT_EQ(model()->rowCount(), 15);
    EXPECT_FALSE(model()->data(model()->index(9, N), Qt::ToolTipRole).isValid());
}

TEST_F(RpdoWindow, CancelDiscardsWhatWasTyped) {
    writeFile("<rpdodef>" + row("0x181", "1", "8") + "</rpdodef>");
    open();
    type(0, Cobid, "0x999");
    sink.answers = {true};
    window->BitBtn2Click();
    EXPECT_EQ(sink.questions, std::vector<std::string>{mk::kMsgDiscardChanges.data()});
    EXPECT_FALSE(window->isVisible());
    open();
    EXPECT_EQ(cell(0, Cobid), "0x181");
}

TEST_F(RpdoWindow, ImportAndExportThroughTheButtons) {
    writeFile("<rpdodef>" + row("0x281", "9", "8") + "</rpdodef>");
    state.pdo_layout = 1;
    window->FormShow();
    QString startedIn;
    window->setWorkbookChooser([&](QWidget*, const QString& folder) {
        startedIn = folder;
        return QStringLiteral(MK_WORKBOOKS_DIR "/rpdodef_upper_case.xls");
    });
    QTest::mouseClick(window->importButton(), Qt::LeftButton);
    EXPECT_EQ(startedIn, QString::fromStdString(dir.path().string()));
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_EQ(model()->rowCount(), 8);
    EXPECT_EQ(cell(0, Cobid), "0x181");
    EXPECT_EQ(cell(1, Dimension), "0");
    EXPECT_EQ(cell(2, Cobid), "0x201");
    EXPECT_EQ(cell(3, Cobid), "");

    QTest::mouseClick(window->exportButton(), Qt::LeftButton);
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_EQ(read_file(dir.path() / "rpdodef.csv"),
              "cobid,id_dev_orig,en_bypass,posind,n_tpdo \r\n0x181,1,0,0,0\r\n641,2,0,0,0\r\n"
              "0x201,3,0,0,0\r\n");
    // Neither touched the table file.
    EXPECT_EQ(read_file(file()), "<rpdodef>" + row("0x281", "9", "8") + "</rpdodef>");

    window->setWorkbookChooser(
        [](QWidget*, const QString&) { return QStringLiteral(MK_WORKBOOKS_DIR "/truncated.xls"); });
    window->BtnImportClick();
    EXPECT_EQ(sink.texts(),
              Texts{"Import stopped: the file cannot be read as an Excel workbook (.xls)"});
    EXPECT_EQ(cell(0, Cobid), "");
}

} // namespace

namespace {

// Selects a block of the window's grid, as dragging over it or Shift with the arrows does.
void selectBlock(QTableView* grid, int top, int left, int bottom, int right) {
    QAbstractItemModel* m = grid->model();
    grid->setFocus();
    grid->setCurrentIndex(m->index(top, left));
    grid->selectionModel()->select(QItemSelection(m->index(top, left), m->index(bottom, right)),
                                   QItemSelectionModel::ClearAndSelect);
}

TEST_F(RpdoWindow, BlockPastedFromASpreadsheetKeepsIntegerTextOnlyAndDeleteClears) {
    open();
    sink.entries.clear();
    QApplication::clipboard()->setText("0x281\t2\t8\r\n0x181\tone\t0x\r\n$201\t3\t4 \r\n");
    selectBlock(window->grid(), 0, Cobid, 0, Cobid);
    QTest::keyClick(window->grid(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(cell(0, Cobid), "0x281");
    EXPECT_EQ(cell(1, IdDevOrig), ""); // "one" could not have been typed
    EXPECT_EQ(cell(1, Dimension), "0x");
    EXPECT_EQ(cell(2, Cobid), "$201");
    EXPECT_EQ(cell(2, Dimension), ""); // nor a trailing space
    selectBlock(window->grid(), 1, IdDevOrig, 2, Dimension);
    QTest::keyClick(window->grid(), Qt::Key_Delete);
    EXPECT_EQ(cell(1, Dimension), "");
    EXPECT_EQ(cell(2, IdDevOrig), "");
    EXPECT_EQ(cell(1, Cobid), "0x181");
    // The block copied back out is the grid's text, tab-separated.
    selectBlock(window->grid(), 0, Cobid, 1, IdDevOrig);
    QTest::keyClick(window->grid(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "0x281\t2\n0x181\t");
    window->BitBtn1Click();
    EXPECT_TRUE(sink.texts().empty());
    EXPECT_EQ(read_file(file()), "<rpdodef>" + row("0x181", "", "") + row("$201", "", "") +
                                     row("0x281", "2", "8") + "</rpdodef>");
}

} // namespace
