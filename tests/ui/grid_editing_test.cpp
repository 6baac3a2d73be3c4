#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTest>
#include <algorithm>

#include "ui/grid_editing.h"
#include "ui/integer_cell_delegate.h"
#include "ui/text_grid_model.h"

namespace {

struct Row {
    std::string a;
    std::string b;
    std::string c;
    const std::string& key() const { return a; }
    bool operator==(const Row&) const = default;
};

const mk::Column<Row> kColumns[] = {
    {"a", &Row::a, "a"},
    {"b", &Row::b, "b"},
    {"c", &Row::c, "c"},
};

using Table = mk::GridTable<Row>;
using Model = mk::GridModel<Table>;

// A grid of four rows as the editors have it: row numbers in column 0, three text columns.
class GridEditingTest : public ::testing::Test {
protected:
    GridEditingTest() : model(kColumns) {
        Table t(4);
        t.row(0) = {"1", "2", "3"};
        t.row(1) = {"4", "5", "6"};
        t.row(2) = {"7", "8", "9"};
        model.setTable(t);
        view.setModel(&model);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        view.setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::AnyKeyPressed);
        new mk::GridEditing(&view);
        view.show();
        QApplication::setActiveWindow(&view);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&view));
        view.setFocus();
    }
    void select(int top, int left, int bottom, int right) {
        view.setCurrentIndex(model.index(top, left));
        view.selectionModel()->select(
            QItemSelection(model.index(top, left), model.index(bottom, right)),
            QItemSelectionModel::ClearAndSelect);
    }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(&view, Qt::Key(k), m);
    }
    std::string cell(int r, int c) const {
        return model.data(model.index(r, c)).toString().toStdString();
    }

    Model model;
    QTableView view;
};

TEST_F(GridEditingTest, DeleteAndBackspaceEmptyTheSelectedCellsOnly) {
    select(0, 1, 1, 2);
    key(Qt::Key_Delete);
    EXPECT_EQ(cell(0, 1), "");
    EXPECT_EQ(cell(0, 2), "");
    EXPECT_EQ(cell(1, 1), "");
    EXPECT_EQ(cell(1, 2), "");
    EXPECT_EQ(cell(0, 3), "3");
    EXPECT_EQ(cell(2, 1), "7");
    select(2, 3, 2, 3);
    key(Qt::Key_Backspace);
    EXPECT_EQ(cell(2, 3), "");
    // The row numbers are not cells of the table and stay.
    select(2, 0, 2, 1);
    key(Qt::Key_Delete);
    EXPECT_EQ(cell(2, 0), "2");
    EXPECT_EQ(cell(2, 1), "");
}

TEST_F(GridEditingTest, CopyGivesTabSeparatedRowsAndPasteSpreadsThemFromTheTopLeftCell) {
    select(0, 1, 1, 2);
    key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "1\t2\n4\t5");
    select(2, 2, 2, 2);
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(cell(2, 2), "1");
    EXPECT_EQ(cell(2, 3), "2");
    EXPECT_EQ(cell(3, 2), "4");
    EXPECT_EQ(cell(3, 3), "5");
    EXPECT_EQ(cell(2, 1), "7");
    EXPECT_EQ(cell(3, 1), "");

    // A block from a spreadsheet (CR LF, a line break after the last row): what falls beyond the
    // grid is left out, the row numbers are never overwritten.
    QApplication::clipboard()->setText("x\ty\tz\tbeyond\r\nu\tv\tw\r\nlost\r\n");
    select(2, 0, 2, 0);
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(cell(2, 0), "2");
    EXPECT_EQ(cell(2, 1), "y");
    EXPECT_EQ(cell(2, 2), "z");
    EXPECT_EQ(cell(2, 3), "beyond");
    EXPECT_EQ(cell(3, 1), "v");
    EXPECT_EQ(cell(3, 2), "w");
    EXPECT_EQ(cell(3, 3), "5");
    EXPECT_EQ(model.rowCount(), 4);

    // Cut empties what it copied; one copied cell fills every selected cell.
    select(0, 3, 0, 3);
    key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(cell(0, 3), "");
    select(1, 1, 3, 1);
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(cell(1, 1), "3");
    EXPECT_EQ(cell(2, 1), "3");
    EXPECT_EQ(cell(3, 1), "3");
}

TEST_F(GridEditingTest, PastedTextsFollowTheCellRuleOfTheGrid) {
    view.setItemDelegate(new mk::IntegerCellDelegate(&view));
    QApplication::clipboard()->setText("0x1F\t0x\tG\n12 \t$1a\t-5");
    select(0, 1, 0, 1);
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(cell(0, 1), "0x1F");
    EXPECT_EQ(cell(0, 2), "0x");
    EXPECT_EQ(cell(0, 3), "");
    EXPECT_EQ(cell(1, 1), "");
    EXPECT_EQ(cell(1, 2), "$1a");
    EXPECT_EQ(cell(1, 3), "-5");
}

TEST_F(GridEditingTest, KeysBelongToTheCellEditorWhileACellIsTyped) {
    select(0, 1, 0, 1);
    key(Qt::Key_9); // opens the cell's editor with "9"
    ASSERT_NE(view.indexWidget(view.currentIndex()), nullptr);
    QWidget* editor = QApplication::focusWidget();
    QTest::keyClick(editor, Qt::Key_Backspace);
    QTest::keyClick(editor, Qt::Key_4);
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents(); // the cell takes the editor's text once the key is done
    EXPECT_EQ(cell(0, 1), "4");
    EXPECT_EQ(cell(0, 2), "2");
}

// Pastes onto (0,1), the cell holding "1", with the grid as it starts: only the cells named
// change.
TEST_F(GridEditingTest, PastedBlocksChangeTheirOwnCellsOnly) {
    struct Row {
        const char* name;
        QString text;
        std::vector<std::pair<int, int>> cells; // changed, in the order of `values`
        std::vector<std::string> values;
    };
    const std::vector<Row> rows = {
        {"a final line end adds no row", "a\tb\n", {{0, 1}, {0, 2}}, {"a", "b"}},
        {"a final CR LF adds no row", "a\r\n", {{0, 1}}, {"a"}},
        {"one row of two cells", "a\tb", {{0, 1}, {0, 2}}, {"a", "b"}},
        {"one column of two cells", "a\nb", {{0, 1}, {1, 1}}, {"a", "b"}},
    };
    const Table start = model.table();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        model.setTable(start);
        QApplication::clipboard()->setText(row.text);
        select(0, 1, 0, 1);
        key(Qt::Key_V, Qt::ControlModifier);
        for (int r = 0; r < 4; ++r) {
            for (int c = 1; c < 4; ++c) {
                const auto changed =
                    std::find(row.cells.begin(), row.cells.end(), std::pair<int, int>{r, c});
                const std::string expected = changed == row.cells.end()
                                                 ? start.row(r).*kColumns[c - 1].field
                                                 : row.values[changed - row.cells.begin()];
                EXPECT_EQ(cell(r, c), expected) << "row " << r << ", column " << c;
            }
        }
    }
}

TEST_F(GridEditingTest, CopyTakesSelectedCellsOnlyAndDeleteWithCtrlClearsNothing) {
    // (0,1) and (1,2): the other two cells of their rectangle are copied as empty.
    select(0, 1, 0, 1);
    view.selectionModel()->select(model.index(1, 2), QItemSelectionModel::Select);
    key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "1\t\n\t5");

    for (const int k : {Qt::Key_Delete, Qt::Key_Backspace}) {
        SCOPED_TRACE(k == Qt::Key_Delete ? "Ctrl+Delete" : "Ctrl+Backspace");
        select(0, 1, 1, 2);
        key(k, Qt::ControlModifier);
        EXPECT_EQ(cell(0, 1), "1");
        EXPECT_EQ(cell(1, 2), "5");
    }
}

TEST(CellBlockText, RoundTripsBlocksWithEmptyCells) {
    const QList<QStringList> block = {{"a", "", "c"}, {"", "e", ""}};
    EXPECT_EQ(mk::cellBlockText(block), "a\t\tc\n\te\t");
    EXPECT_EQ(mk::cellBlockOf(mk::cellBlockText(block)), block);
    EXPECT_EQ(mk::cellBlockOf("one"), QList<QStringList>{{"one"}});
}

} // namespace
