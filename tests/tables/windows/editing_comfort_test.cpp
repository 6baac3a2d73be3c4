// Undo and redo in every editor, the marks on cells "OK" would refuse, and the find bar.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBrush>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <QUndoStack>
#include <cmath>
#include <functional>
#include <memory>

#include "core/message_sink.h"
#include "core/project_state.h"
#include "emcy_window_support.h"
#include "tables/windows/TFInfopdoMB.h"
#include "tables/windows/TFSdoMB.h"
#include "tables/windows/TFTPdoMB.h"
#include "tables/windows/TFWEmcyMB2.h"
#include "tables/windows/TFemcyMB2.h"
#include "tables/windows/TFpdoMB.h"
#include "test_dir.h"
#include "test_files.h"
#include "ui/find_bar.h"
#include "ui/text_grid_model.h"

namespace {

using mk::test::child;
using mk::test::clickRow;
using mk::test::typeInto;
using mk::test::write_file;

// Grid columns of the SDO window: N, Addr Word, Hi Word, Lo Word, R/W, ID, Index, SubIndex,
// nByte, mnemonico.
enum { AddrWord = 1, HiWord = 2, SubIndex = 7, Mnemonico = 9 };

std::string sdoRow(const char* addr, const char* sub, const char* label) {
    return std::string("<row conf=\"0\" IndexA=\"") + addr +
           "\" devIDB=\"1\" IndexB=\"0x1000\" SubindexB=\"" + sub + "\" nbyteB=\"2\" mnemonico=\"" +
           label + "\"/>";
}

// A project with every table file the windows read.
struct Project {
    Project() {
        state.project_dir = dir.path();
        std::string sdo = "<sdo>" + sdoRow("7", "0", "inlet") + sdoRow("8", "1", "outlet") +
                          sdoRow("0x64", "2", "Pump station") + sdoRow("9", "100", "spare");
        for (int i = 0; i < 1400; ++i)
            sdo += sdoRow(std::to_string(1000 + i).c_str(), "0", "filler");
        write("sdo.xml", sdo + sdoRow("$64", "0", "far") + "</sdo>");
        write("rpdodef.xml", "<rpdodef><row cobid=\"0x181\" id_dev_orig=\"1\" dimension=\"8\"/>"
                             "</rpdodef>");
        write("sdopdo.xml",
              "<sdopdo><row index=\"10\" subindex=\"0\" nrpdo=\"1\" poscomp=\"33\"/>"
              "<row index=\"11\" subindex=\"0\" nrpdo=\"1\" poscomp=\"2\"/></sdopdo>");
        write("emcydef.xml", "<EMCY><row ID_EMCY=\"5\" EMCY_Error_Code=\"0x1000\" "
                             "Error_Register=\"0x01\"/><row ID_EMCY=\"6\" "
                             "EMCY_Error_Code=\"0x2000\" Error_Register=\"0x02\"/></EMCY>");
        write("emcyword.xml", "<EMCY_Word><EMCY_ROW><Dati Dati_Word=\"100\" Dati_Byte=\"33\"/>"
                              "</EMCY_ROW><EMCY_ROW/></EMCY_Word>");
        write("Transmit_Pdo.xml", "<Trasmit_PDO><row COB-ID=\"0x181\" Dimension=\"8\" SMA=\"0\"/>"
                                  "</Trasmit_PDO>");
    }
    void write(const char* name, const std::string& xml) { write_file(dir.path() / name, xml); }

    mk::test::TempDir dir;
    mk::ProjectState state;
    mk::RecordingSink sink;
};

void open(mk::EditorDialog* window) {
    window->hide();
    window->show();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}

// The keys go where the user's keyboard is: the widget with the focus.
void keys(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

std::string str(const QStringList& list) {
    return list.join(QLatin1Char('|')).toStdString();
}

QStringList texts(const QAbstractItemModel* model) {
    QStringList all;
    for (int r = 0; r < model->rowCount(); ++r)
        for (int c = 0; c < model->columnCount(); ++c)
            all << model->index(r, c).data().toString();
    return all;
}

// One kind of change in one window: how to make it, and what of the window shows it.
struct Change {
    const char* name;
    std::function<std::unique_ptr<mk::EditorDialog>(Project&)> make;
    // What the user does before the change (selecting); Undo goes back to there.
    std::function<void(mk::EditorDialog&)> prepare;
    std::function<void(mk::EditorDialog&, Project&)> act;
    std::function<QStringList(mk::EditorDialog&, Project&)> shown;
};

void PrintTo(const Change& c, std::ostream* os) {
    *os << c.name;
}

template <typename W> std::unique_ptr<mk::EditorDialog> make(Project& p) {
    return std::make_unique<W>(p.state, p.sink);
}

void pick(mk::EditorDialog& w, int top, int left, int bottom, int right) {
    QTableView* grid = w.grid();
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(top, left));
    grid->selectionModel()->select(
        QItemSelection(grid->model()->index(top, left), grid->model()->index(bottom, right)),
        QItemSelectionModel::ClearAndSelect);
}

QStringList gridShown(mk::EditorDialog& w, Project&) {
    return texts(w.grid()->model());
}

void press(mk::EditorDialog& w, const char* button) {
    QTest::mouseClick(child<QPushButton>(&w, button), Qt::LeftButton);
}

void clickLine(QListWidget* list, int row) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
}

// The lists, the field and the groups as the window shows them, and every entry as "Export"
// writes it.
QStringList infopdoShown(mk::EditorDialog& w, Project& p) {
    w.BtnExportClick();
    QStringList shown{QString::fromStdString(mk::test::read_file(p.dir.path() / "sdopdo.csv"))};
    for (const char* name : {"entriesList", "pdoList"}) {
        auto* list = child<QListWidget>(&w, name);
        for (int i = 0; i < list->count(); ++i)
            shown << list->item(i)->text();
        shown << QString::number(list->currentRow());
    }
    shown << child<QLineEdit>(&w, "indexEdit")->text();
    for (const char* name : {"highGroup2", "lowGroup2", "highGroup0", "lowGroup0"})
        shown << QString::number(child<QAbstractButton>(&w, name)->isChecked());
    return shown;
}

void selectPdo(mk::EditorDialog& w) {
    clickLine(child<QListWidget>(&w, "pdoList"), 0);
}

void selectSecondEntry(mk::EditorDialog& w) {
    selectPdo(w);
    clickLine(child<QListWidget>(&w, "entriesList"), 1);
}

// The EMCY list, then the registers of each EMCY row as "Word EMCY" lists them.
QStringList emcyShown(mk::EditorDialog& w, Project&) {
    auto* emcy = child<QTreeView>(&w, "emcyList");
    QStringList shown = texts(emcy->model());
    if (auto* registers = w.findChild<QTreeView*>(QStringLiteral("registerList")))
        for (int row = 0; row < emcy->model()->rowCount(); ++row) {
            clickRow(emcy, row);
            shown << QStringLiteral("|") << texts(registers->model());
        }
    return shown;
}

const Change kChanges[] = {
    {"TypingInACell", make<mk::TFSdoMB>, nullptr,
     [](mk::EditorDialog& w, Project&) {
         pick(w, 1, HiWord, 1, HiWord);
         // The first key opens the cell's editor, which takes the others.
         for (const char k : {'7', '7', '7', '\r'})
             QTest::keyClick(QApplication::focusWidget(), k);
         // Enter commits the cell once the events queued so far have run.
         QApplication::processEvents();
     },
     gridShown},
    {"DeleteABlock", make<mk::TFSdoMB>, nullptr,
     [](mk::EditorDialog& w, Project&) {
         pick(w, 0, AddrWord, 2, Mnemonico);
         keys(Qt::Key_Delete, Qt::NoModifier);
     },
     gridShown},
    {"CutABlock", make<mk::TFTPdoMB>, nullptr,
     [](mk::EditorDialog& w, Project&) {
         pick(w, 0, 1, 0, 2);
         keys(Qt::Key_X);
     },
     gridShown},
    {"PasteABlock", make<mk::TFpdoMB>, nullptr,
     [](mk::EditorDialog& w, Project&) {
         QApplication::clipboard()->setText(QStringLiteral("0x201\t2\t4\n0x301\t3\t8\n"));
         pick(w, 1, 1, 1, 1);
         keys(Qt::Key_V);
     },
     gridShown},
    {"ImportAWorkbook", make<mk::TFSdoMB>, nullptr,
     [](mk::EditorDialog& w, Project&) {
         w.setWorkbookChooser([](QWidget*, const QString&) {
             return QStringLiteral(MK_WORKBOOKS_DIR "/sdo_doubles.xls");
         });
         w.BtnImportClick();
     },
     gridShown},
    {"StoredPdoNew", make<mk::TFInfopdoMB>,
     [](mk::EditorDialog& w) {
         selectPdo(w);
         typeInto(child<QLineEdit>(&w, "indexEdit"), QStringLiteral("12"));
         QTest::mouseClick(child<QAbstractButton>(&w, "lowGroup2"), Qt::LeftButton, {},
                           QPoint(6, 6));
     },
     [](mk::EditorDialog& w, Project&) { press(w, "newButton"); }, infopdoShown},
    {"StoredPdoModify", make<mk::TFInfopdoMB>,
     [](mk::EditorDialog& w) {
         selectSecondEntry(w);
         typeInto(child<QLineEdit>(&w, "indexEdit"), QStringLiteral("0x20"));
     },
     [](mk::EditorDialog& w, Project&) { press(w, "modifyButton"); }, infopdoShown},
    {"StoredPdoDelete", make<mk::TFInfopdoMB>, selectSecondEntry,
     [](mk::EditorDialog& w, Project&) { press(w, "deleteButton"); }, infopdoShown},
    {"StoredPdoPaste", make<mk::TFInfopdoMB>,
     [](mk::EditorDialog& w) {
         selectPdo(w);
         clickLine(child<QListWidget>(&w, "entriesList"), 0);
         press(w, "copyButton");
         clickLine(child<QListWidget>(&w, "entriesList"), 1);
     },
     [](mk::EditorDialog& w, Project&) { press(w, "pasteButton"); }, infopdoShown},
    {"StoredPdoImport", make<mk::TFInfopdoMB>, selectSecondEntry,
     [](mk::EditorDialog& w, Project& p) {
         w.setWorkbookChooser([](QWidget*, const QString&) {
             return QStringLiteral(MK_WORKBOOKS_DIR "/sdopdo.xls");
         });
         w.BtnImportClick();
         // The workbook ends with a row that stops the import, which the import says.
         ASSERT_EQ(p.sink.entries.size(), 1u);
         p.sink.entries.clear();
     },
     infopdoShown},
    {"EmcyNew", make<mk::TFemcyMB2>, nullptr,
     [](mk::EditorDialog& w, Project&) {
         typeInto(child<QLineEdit>(&w, "idEmcyEdit"), QStringLiteral("7"));
         typeInto(child<QLineEdit>(&w, "errorCodeEdit"), QStringLiteral("4096"));
         typeInto(child<QLineEdit>(&w, "errorRegisterEdit"), QStringLiteral("1"));
         press(w, "newEmcyButton");
     },
     emcyShown},
    {"EmcyModify", make<mk::TFemcyMB2>, nullptr,
     [](mk::EditorDialog& w, Project&) {
         clickRow(child<QTreeView>(&w, "emcyList"), 1);
         typeInto(child<QLineEdit>(&w, "errorRegisterEdit"), QStringLiteral("0x7F"));
         press(w, "modifyEmcyButton");
     },
     emcyShown},
    {"EmcyDelete", make<mk::TFemcyMB2>, nullptr,
     [](mk::EditorDialog& w, Project&) {
         clickRow(child<QTreeView>(&w, "emcyList"), 0);
         press(w, "deleteEmcyButton");
     },
     emcyShown},
    {"WordEmcyNew", make<mk::TFWEmcyMB2>, nullptr,
     [](mk::EditorDialog& w, Project&) {
         clickRow(child<QTreeView>(&w, "emcyList"), 1);
         typeInto(child<QLineEdit>(&w, "registerEdit"), QStringLiteral("200"));
         mk::test::clickChoice(child<QAbstractButton>(&w, "hiByte1"));
         press(w, "newButton");
     },
     emcyShown},
    {"WordEmcyModify", make<mk::TFWEmcyMB2>, nullptr,
     [](mk::EditorDialog& w, Project&) {
         clickRow(child<QTreeView>(&w, "emcyList"), 0);
         clickRow(child<QTreeView>(&w, "registerList"), 0);
         typeInto(child<QLineEdit>(&w, "registerEdit"), QStringLiteral("101"));
         press(w, "modifyButton");
     },
     emcyShown},
    {"WordEmcyDelete", make<mk::TFWEmcyMB2>, nullptr,
     [](mk::EditorDialog& w, Project&) {
         clickRow(child<QTreeView>(&w, "emcyList"), 0);
         clickRow(child<QTreeView>(&w, "registerList"), 0);
         press(w, "deleteButton");
     },
     emcyShown},
};

class UndoRedo : public ::testing::TestWithParam<Change> {};

// One change is one step: Ctrl+Z takes all of it back, Ctrl+Shift+Z and Ctrl+Y make it again,
// and the next opening starts with no history.
TEST_P(UndoRedo, TakesTheChangeBackAndMakesItAgain) {
    const Change& c = GetParam();
    Project project;
    const std::unique_ptr<mk::EditorDialog> window = c.make(project);
    open(window.get());
    if (c.prepare)
        c.prepare(*window);
    const std::string before = str(c.shown(*window, project));
    c.act(*window, project);
    const std::string after = str(c.shown(*window, project));
    ASSERT_NE(after, before);
    EXPECT_TRUE(project.sink.entries.empty()) << project.sink.entries.front().text;
    // A field with nothing of its own to undo leaves Ctrl+Z to the window.
    if (auto* field = window->findChild<QLineEdit*>(QStringLiteral("idEmcyEdit"))) {
        field->setText(field->text());
        field->setFocus();
    }
    keys(Qt::Key_Z);
    EXPECT_EQ(str(c.shown(*window, project)), before);
    keys(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(str(c.shown(*window, project)), after);
    keys(Qt::Key_Z);
    keys(Qt::Key_Y);
    EXPECT_EQ(str(c.shown(*window, project)), after);
    EXPECT_EQ(window->history()->count(), 1);

    open(window.get());
    EXPECT_FALSE(window->history()->canUndo());
    window->hide();
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfChange, UndoRedo, ::testing::ValuesIn(kChanges),
                         [](const auto& info) { return std::string(info.param.name); });

// The marks of the grids: they come and go as cells are typed, read "OK"'s text, and keep the
// text readable under light and dark palettes.
class CellMarks : public ::testing::Test {
protected:
    CellMarks() : window(project.state, project.sink) { open(&window); }
    ~CellMarks() override { window.hide(); }
    QModelIndex at(int row, int column) const { return window.model()->index(row, column); }
    void type(int row, int column, const char* text) {
        ASSERT_TRUE(window.model()->setData(at(row, column), QString::fromUtf8(text)));
    }
    QString mark(int row, int column) const {
        return at(row, column).data(mk::TextGridModel::FaultRole).toString();
    }

    Project project;
    mk::TFSdoMB window;
};

TEST_F(CellMarks, ComeAndGoAsACellIsTyped) {
    EXPECT_TRUE(window.model()->faults().empty());
    type(1, HiWord, "7");
    EXPECT_EQ(mark(1, HiWord), "Value of range [0..4] column Hi Word row 2");
    EXPECT_EQ(at(1, HiWord).data(Qt::ToolTipRole).toString(), mark(1, HiWord));
    EXPECT_EQ(at(1, HiWord).data(Qt::BackgroundRole).value<QBrush>().color(),
              mk::cellMarkTint(QApplication::palette()));
    type(1, HiWord, "3");
    EXPECT_TRUE(mark(1, HiWord).isEmpty());
    // While a cell is typed, its editor says what "OK" would say of the text so far.
    window.grid()->setFocus();
    window.grid()->setCurrentIndex(at(2, HiWord));
    QTest::keyClick(window.grid(), '5');
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->toolTip(), "Value of range [0..4] column Hi Word row 3");
    QTest::keyClick(editor, Qt::Key_Backspace);
    QTest::keyClick(editor, '4');
    EXPECT_EQ(editor->toolTip(), "");
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_FALSE(at(1, HiWord).data(Qt::ToolTipRole).isValid());
    // A new row is marked where it still lacks what "OK" needs; the label never is.
    type(1499, AddrWord, "x"); // below the table's end: not looked at
    type(1405, AddrWord, "0"); // the first empty row
    type(1405, Mnemonico, "anything");
    EXPECT_EQ(mark(1405, AddrWord),
              "Value of range [1..65535](hex 0x0001..0xFFFF ) column Addr Word row 1406");
    EXPECT_EQ(mark(1405, HiWord), "'' is not a valid integer value");
    EXPECT_TRUE(mark(1405, Mnemonico).isEmpty());
    EXPECT_TRUE(mark(1499, AddrWord).isEmpty());
    // Undo takes the mark away with the text.
    keys(Qt::Key_Z);
    keys(Qt::Key_Z);
    EXPECT_TRUE(mark(1405, AddrWord).isEmpty());
    EXPECT_TRUE(window.model()->faults().empty());
}

double luminance(const QColor& c) {
    const auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST_F(CellMarks, TintKeepsTheTextReadableUnderLightAndDarkPalettes) {
    QPalette light(QColor(0xEF, 0xEF, 0xEF), QColor(Qt::white));
    light.setColor(QPalette::Text, Qt::black);
    QPalette dark(QColor(0x35, 0x35, 0x35), QColor(0x1E, 0x1E, 0x1E));
    dark.setColor(QPalette::Text, QColor(0xE8, 0xE8, 0xE8));
    for (const QPalette& p : {light, dark}) {
        const QColor tint = mk::cellMarkTint(p);
        EXPECT_GE(contrast(p.color(QPalette::Text), tint), 4.5) << tint.name().toStdString();
        EXPECT_GT(tint.red(), tint.green() + 30) << "the tint reads as red";
        EXPECT_GE(contrast(mk::cellMarkFrame(p), p.color(QPalette::Base)), 3.0);
    }
}

// Each PDO grid marks by its own checks and has the find bar; the EMCY list has none.
TEST(PdoGrids, MarkByTheirOwnChecksAndHaveTheFindBar) {
    Project project;
    const auto markOf = [](mk::TextGridModel* m, int row, int column, const char* typed) {
        EXPECT_TRUE(m->setData(m->index(row, column), QString::fromLatin1(typed)));
        return m->index(row, column).data(mk::TextGridModel::FaultRole).toString().toStdString();
    };
    mk::TFTPdoMB tpdo(project.state, project.sink);
    tpdo.FormShow();
    EXPECT_EQ(markOf(tpdo.model(), 1, 2, "9"), "Error in row 2. Dimension must be between 1 and 8");
    mk::TFpdoMB rpdo(project.state, project.sink);
    rpdo.FormShow();
    EXPECT_EQ(markOf(rpdo.model(), 0, 1, "0x"), "'0x' is not a valid integer value");
    EXPECT_NE(tpdo.findBar(), nullptr);
    EXPECT_NE(rpdo.findBar(), nullptr);
    EXPECT_EQ(mk::TFemcyMB2(project.state, project.sink).findBar(), nullptr);
}

// Find: Ctrl+F, Enter and F3, a number by its value in any base, text without regard to case.
TEST(FindBar, JumpsToARegisterByItsNumberInAnyBase) {
    Project project;
    mk::TFSdoMB window(project.state, project.sink);
    open(&window);
    QTableView* grid = window.grid();
    grid->setFocus();
    keys(Qt::Key_F);
    auto* field = child<QLineEdit>(&window, "findEdit");
    ASSERT_TRUE(field->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), field);
    EXPECT_EQ(field->accessibleName(), "Find");
    const auto current = [&] {
        return std::pair(grid->currentIndex().row(), grid->currentIndex().column());
    };
    QTest::keyClicks(field, QStringLiteral("100"));
    keys(Qt::Key_Return, Qt::NoModifier);
    EXPECT_EQ(current(), std::pair(2, static_cast<int>(AddrWord))); // "0x64"
    keys(Qt::Key_F3, Qt::NoModifier);
    EXPECT_EQ(current(), std::pair(3, static_cast<int>(SubIndex))); // "100"
    keys(Qt::Key_F3, Qt::NoModifier);
    EXPECT_EQ(current(), std::pair(1404, static_cast<int>(AddrWord))); // "$64", far down
    EXPECT_TRUE(grid->viewport()->rect().contains(grid->visualRect(grid->currentIndex())));
    EXPECT_TRUE(grid->selectionModel()->isSelected(grid->currentIndex()));
    keys(Qt::Key_F3, Qt::NoModifier); // round again from the top
    EXPECT_EQ(current(), std::pair(2, static_cast<int>(AddrWord)));
    keys(Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(current(), std::pair(1404, static_cast<int>(AddrWord)));

    typeInto(field, QStringLiteral("PUMP"));
    keys(Qt::Key_Return, Qt::NoModifier);
    EXPECT_EQ(current(), std::pair(2, static_cast<int>(Mnemonico)));
    typeInto(field, QStringLiteral("nowhere"));
    keys(Qt::Key_Return, Qt::NoModifier);
    EXPECT_EQ(current(), std::pair(2, static_cast<int>(Mnemonico)));
    EXPECT_EQ(child<QLabel>(&window, "findStatus")->text(), "Not found");
    // Escape closes the bar, not the window.
    keys(Qt::Key_Escape, Qt::NoModifier);
    EXPECT_FALSE(field->isVisible());
    EXPECT_TRUE(window.isVisible());
    window.hide();
}

TEST(FindBar, MatchesNumbersByValueAndTextBySubstring) {
    EXPECT_TRUE(mk::cellMatches(QStringLiteral("0x64"), QStringLiteral(" 100 ")));
    EXPECT_TRUE(mk::cellMatches(QStringLiteral("100"), QStringLiteral("$64")));
    EXPECT_FALSE(mk::cellMatches(QStringLiteral("1000"), QStringLiteral("100")));
    EXPECT_TRUE(mk::cellMatches(QStringLiteral("valve 100"), QStringLiteral("100")));
    EXPECT_TRUE(mk::cellMatches(QStringLiteral("Città Alta"), QStringLiteral("CITTÀ")));
    EXPECT_FALSE(mk::cellMatches(QStringLiteral("anything"), QStringLiteral("  ")));
}

} // namespace
