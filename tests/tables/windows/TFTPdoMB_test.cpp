#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/message_sink.h"
#include "core/project_state.h"
#include "tables/tpdo_schema.h"
#include "tables/windows/TFTPdoMB.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::write_file;

using mk::test::read_file;

namespace {

namespace fs = std::filesystem;
using mk::TFTPdoMB;
using Texts = std::vector<std::string>;

enum Column { N, CobId, Dimension, Sma };

std::string row(const std::string& cob, const std::string& dim, const std::string& sma) {
    return "<row COB-ID=\"" + cob + "\" Dimension=\"" + dim + "\" SMA=\"" + sma + "\"/>";
}

class TpdoWindow : public ::testing::Test {
protected:
    TpdoWindow() {
        state.project_dir = dir.path();
        window = std::make_unique<TFTPdoMB>(state, sink);
    }
    ~TpdoWindow() override { window->hide(); }
    fs::path file() const { return state.table_path(mk::tpdo_file::schema); }
    void writeFile(const std::string& xml) { write_file(file(), xml); }
    void type(int r, int c, const QString& text) {
        ASSERT_TRUE(model()->setData(model()->index(r, c), text));
    }
    QString cell(int r, int c) const { return model()->data(model()->index(r, c)).toString(); }
    mk::TpdoGridModel* model() const { return window->model(); }
    void open() {
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    mk::test::TempDir dir;
    mk::ProjectState state;
    mk::RecordingSink sink;
    std::unique_ptr<TFTPdoMB> window;
};

TEST_F(TpdoWindow, LayoutGivesThreeOrEightRowsAndTwentyFileRowsAreAllShown) {
    QAbstractItemModelTester tester(model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    window->FormShow();
    EXPECT_EQ(model()->rowCount(), 3);
    EXPECT_EQ(sink.texts(), Texts{"File XML not found"});
    state.pdo_layout = 1;
    window->FormShow();
    EXPECT_EQ(model()->rowCount(), 8);

    std::string xml = "<Trasmit_PDO>";
    for (int i = 0; i < 20; ++i)
        xml += row(std::to_string(0x181 + i), "8", std::to_string(10 * i));
    writeFile(xml + "</Trasmit_PDO>");
    window->FormShow();
    ASSERT_EQ(model()->rowCount(), 20);
    EXPECT_EQ(cell(19, Sma), "190");
    EXPECT_TRUE(model()->data(model()->index(8, N), Qt::ToolTipRole).isValid());
    window->BitBtn1Click();
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_EQ(read_file(file()), xml + "</Trasmit_PDO>");
}

TEST_F(TpdoWindow, TitleBandHeadingsAndFreeTextCells) {
    open();
    EXPECT_EQ(window->windowTitle(), "Transmit PDO");
    auto* band = window->findChild<QLabel*>(QStringLiteral("titleBand"));
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(band->text(), "Transmit PDO");
    EXPECT_TRUE(band->isVisible());
    const char* titles[] = {"N", "COB-ID", "Dimension", "Start Modbus Address"};
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(model()->headerData(c, Qt::Horizontal).toString(), titles[c]);
    EXPECT_EQ(window->exportButton(), nullptr);
    EXPECT_EQ(window->importButton(), nullptr);
    // Free text: no filter empties a cell.
    QTableView* grid = window->grid();
    grid->setFocus();
    grid->setCurrentIndex(model()->index(0, CobId));
    QTest::keyClick(grid, Qt::Key_A);
    auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(grid->currentIndex()));
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "bc$");
    EXPECT_EQ(editor->text(), "abc$");
}

TEST_F(TpdoWindow, FailingRowsAreAllReportedInRowOrderAndNothingIsSaved) {
    writeFile("<Trasmit_PDO/>");
    state.pdo_layout = 1;
    open();
    sink.entries.clear();
    type(0, CobId, "0x7FF");
    type(0, Dimension, "8");
    type(0, Sma, "65535");
    type(1, CobId, "5000");
    type(2, CobId, "0x800");
    type(2, Dimension, "9");
    type(4, Dimension, "8");
    type(4, Sma, "-1");
    window->BitBtn1Click();
    EXPECT_EQ(sink.texts(),
              (Texts{"Error in row 3. Cob-id must be between 0x001 and 0x7FF",
                     "Error in row 3. Dimension must be between 1 and 8",
                     "Error in row 5. Cob-id must be between 0x001 and 0x7FF",
                     "Error in row 5. Start Modbus Address must be between 0 and 65535"}));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(read_file(file()), "<Trasmit_PDO/>");

    // Mended: rows 3 and 5 emptied; row 2 (5000 without a Dimension) passes and is saved.
    sink.entries.clear();
    for (int c : {CobId, Dimension, Sma}) {
        type(2, c, "");
        type(4, c, "");
    }
    window->BitBtn1Click();
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_EQ(read_file(file()), "<Trasmit_PDO>" + row("0x7FF", "8", "65535") +
                                     row("5000", "", "") + "</Trasmit_PDO>");
}

TEST_F(TpdoWindow, FailedSaveKeepsTheWindowOpenWithWhatWasTyped) {
    open();
    sink.entries.clear();
    // A folder where the file should be: the write cannot replace it.
    fs::create_directory(file());
    type(0, CobId, "0x181");
    type(0, Dimension, "8");
    type(0, Sma, "100");
    window->BitBtn1Click();
    EXPECT_EQ(sink.texts(), Texts{"Error in the save parameter"});
    EXPECT_TRUE(window->isVisible());
    EXPECT_NE(window->result(), QDialog::Accepted);
    EXPECT_EQ(cell(0, CobId), "0x181");
    EXPECT_TRUE(fs::is_directory(file()));
    // Once the obstacle is gone, the same "OK" saves.
    fs::remove(file());
    sink.entries.clear();
    window->BitBtn1Click();
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_EQ(read_file(file()), "<Trasmit_PDO>" + row("0x181", "8", "100") + "</Trasmit_PDO>");
}

TEST_F(TpdoWindow, FreeTextCellsTakeAPastedBlockAsItIsAndDeleteClears) {
    window->FormShow();
    open();
    QTableView* grid = window->grid();
    QApplication::clipboard()->setText("0x181\t8\t100\nabc\t 2\t\nlost\t1\t1");
    grid->setFocus();
    grid->setCurrentIndex(model()->index(1, CobId));
    QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(cell(1, CobId), "0x181");
    EXPECT_EQ(cell(2, CobId), "abc");
    EXPECT_EQ(cell(2, Dimension), " 2");
    EXPECT_EQ(model()->rowCount(), 3); // the third line had no row left to go to
    grid->setCurrentIndex(model()->index(2, CobId));
    QTest::keyClick(grid, Qt::Key_Delete);
    EXPECT_EQ(cell(2, CobId), "");
}

// The title band hides the page's tab bar; the focus must still come round to where it started
// instead of stopping on the hidden bar or staying among the grid's cells.
TEST_F(TpdoWindow, TabComesRoundThroughGridAndButtons) {
    open();
    QWidget* ok = window->okButton();
    ok->setFocus();
    QStringList seen;
    for (int i = 0; i < 12; ++i) {
        QWidget* w = QApplication::focusWidget();
        ASSERT_NE(w, nullptr);
        seen << w->objectName();
        QTest::keyClick(w, Qt::Key_Tab);
        if (QApplication::focusWidget() == ok)
            break;
    }
    EXPECT_EQ(QApplication::focusWidget(), ok) << seen.join(' ').toStdString();
    EXPECT_TRUE(seen.contains("cancelButton")) << seen.join(' ').toStdString();
    EXPECT_TRUE(seen.contains("grid")) << seen.join(' ').toStdString();
}

} // namespace
