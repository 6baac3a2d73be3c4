#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QBrush>
#include <QLineEdit>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionViewItem>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <memory>

#include "ui/integer_cell_delegate.h"
#include "ui/text_grid_model.h"

namespace {

// A small table of the shape the PDO grids have: a key column, a checked column, a label.
struct PdoRow {
    std::string cobid;
    std::string size;
    std::string note;
    const std::string& key() const { return cobid; }
    bool operator==(const PdoRow&) const = default;
};

const mk::Column<PdoRow> kPdoColumns[] = {
    {"cobid", &PdoRow::cobid, "cobid", [](std::int32_t v) { return v > 0; }, "bad cobid row ",
     mk::Shade::Modbus},
    {"size", &PdoRow::size, "size", [](std::int32_t v) { return v >= 1 && v <= 8; },
     "bad size row ", mk::Shade::Canopen},
    {"note", &PdoRow::note, nullptr, nullptr, {}, mk::Shade::None, true},
};

using PdoTable = mk::GridTable<PdoRow>;
using PdoModel = mk::GridModel<PdoTable>;

TEST(TextGridModel, PassesTheModelTesterAcrossRowCountsAndEdits) {
    PdoModel model(kPdoColumns);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 4);
    // The row count is set at each opening: 15 rows, then 8.
    model.setTable(PdoTable(15));
    EXPECT_EQ(model.rowCount(), 15);
    EXPECT_TRUE(model.setData(model.index(14, 1), QStringLiteral("0x181")));
    EXPECT_EQ(model.table().row(14).cobid, "0x181");
    model.setTable(PdoTable(8));
    EXPECT_EQ(model.rowCount(), 8);
    EXPECT_EQ(model.data(model.index(7, 0)).toString(), "7");
    EXPECT_EQ(model.data(model.index(7, 1)).toString(), "");
}

TEST(TextGridModel, RowNumbersTitlesShadingAndLabels) {
    PdoModel model(kPdoColumns);
    model.setTable(PdoTable(3));
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "N");
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), "size");
    EXPECT_FALSE(model.flags(model.index(1, 0)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.setData(model.index(1, 0), QStringLiteral("9")));
    EXPECT_TRUE(model.flags(model.index(1, 3)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.setData(model.index(1, 1), QStringLiteral("1"), Qt::DisplayRole));

    const auto background = [&](int column) {
        return model.data(model.index(0, column), Qt::BackgroundRole);
    };
    EXPECT_TRUE(background(0).isValid());
    EXPECT_NE(background(1), background(2));
    EXPECT_FALSE(background(3).isValid());
    EXPECT_EQ(model.headerData(2, Qt::Horizontal, Qt::ForegroundRole).value<QBrush>().color(),
              QColor(0, 0, 128));
    EXPECT_FALSE(model.headerData(1, Qt::Horizontal, Qt::ForegroundRole).isValid());

    // Only the label column shows its text as a tooltip, and only when there is text.
    model.setData(model.index(2, 3), QStringLiteral("pompa, più lunga"));
    model.setData(model.index(2, 2), QStringLiteral("8"));
    EXPECT_EQ(model.data(model.index(2, 3), Qt::ToolTipRole).toString(), "pompa, più lunga");
    EXPECT_FALSE(model.data(model.index(1, 3), Qt::ToolTipRole).isValid());
    EXPECT_FALSE(model.data(model.index(2, 2), Qt::ToolTipRole).isValid());
}

// A table that notes its rows from the third on, as the PDO grids note rows beyond the layout.
struct NotedTable : PdoTable {
    using PdoTable::PdoTable;
    std::optional<std::string> row_note(std::size_t i) const {
        return i >= 2 ? std::optional<std::string>("kept from the file") : std::nullopt;
    }
};

TEST(TextGridModel, NotedRowsAreMarkedInTheNumberColumn) {
    mk::GridModel<NotedTable> model(kPdoColumns);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setTable(NotedTable(4));
    const auto shade = [&](int row) { return model.data(model.index(row, 0), Qt::BackgroundRole); };
    EXPECT_EQ(shade(0), shade(1));
    EXPECT_NE(shade(1), shade(2));
    EXPECT_FALSE(model.data(model.index(1, 0), Qt::ToolTipRole).isValid());
    EXPECT_EQ(model.data(model.index(3, 0), Qt::ToolTipRole).toString(), "kept from the file");
    // Only the number cell carries the note; a table without notes marks nothing.
    EXPECT_FALSE(model.data(model.index(3, 1), Qt::ToolTipRole).isValid());
    PdoModel plain(kPdoColumns);
    plain.setTable(PdoTable(4));
    EXPECT_EQ(plain.data(plain.index(3, 0), Qt::BackgroundRole),
              plain.data(plain.index(0, 0), Qt::BackgroundRole));
}

// WCAG contrast ratio of two colours (1 to 21); 4.5 is the least for body text.
double contrast(const QColor& a, const QColor& b) {
    const auto channel = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const auto luminance = [&](const QColor& c) {
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QPalette darkPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
    p.setColor(QPalette::Base, QColor(0x23, 0x23, 0x23));
    p.setColor(QPalette::Text, QColor(0xEE, 0xEE, 0xEE));
    p.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::ButtonText, QColor(0xEE, 0xEE, 0xEE));
    return p;
}

struct PaletteCase {
    const char* name;
    QPalette (*palette)();
};

class GridShading : public ::testing::TestWithParam<PaletteCase> {
protected:
    void SetUp() override {
        saved_ = QApplication::palette();
        QApplication::setPalette(GetParam().palette());
    }
    void TearDown() override { QApplication::setPalette(saved_); }
    QPalette saved_;
};

// Every shaded cell and the CANopen titles read under light and dark palettes: the model gives
// a text colour wherever it gives a background, and the pair has at least the contrast of body
// text.
TEST_P(GridShading, ShadedCellsAndTitlesKeepTheirContrast) {
    mk::GridModel<NotedTable> model(kPdoColumns);
    model.setTable(NotedTable(3));
    const QPalette palette = QApplication::palette();
    for (const auto& [row, column] : {std::pair{0, 0}, {2, 0}, {0, 1}, {0, 2}}) {
        SCOPED_TRACE(testing::Message() << "row " << row << " column " << column);
        const QModelIndex index = model.index(row, column);
        const QVariant back = model.data(index, Qt::BackgroundRole);
        const QVariant fore = model.data(index, Qt::ForegroundRole);
        ASSERT_TRUE(back.isValid());
        ASSERT_TRUE(fore.isValid());
        EXPECT_GE(contrast(back.value<QBrush>().color(), fore.value<QBrush>().color()), 4.5);
        // Column shades stay close to the base colour, so the grid keeps the theme's look; a
        // noted row (row 2) stands apart.
        if (row != 2) {
            EXPECT_LT(contrast(back.value<QBrush>().color(), palette.color(QPalette::Base)), 1.8);
        }
    }
    // The label column keeps the view's own colours.
    EXPECT_FALSE(model.data(model.index(0, 3), Qt::ForegroundRole).isValid());
    const QColor title =
        model.headerData(2, Qt::Horizontal, Qt::ForegroundRole).value<QBrush>().color();
    EXPECT_GE(contrast(title, palette.color(QPalette::Button)), 4.5);
}

INSTANTIATE_TEST_SUITE_P(
    Palettes, GridShading,
    ::testing::Values(PaletteCase{"Light", [] { return QPalette(Qt::white); }},
                      PaletteCase{"Dark", darkPalette},
                      // Qt's palette derived from a dark button colour (black base).
                      PaletteCase{"DerivedDark", [] { return QPalette(QColor(0x2B, 0x2B, 0x2B)); }},
                      PaletteCase{"Fusion",
                                  [] {
                                      const std::unique_ptr<QStyle> fusion(
                                          QStyleFactory::create(QStringLiteral("Fusion")));
                                      return fusion->standardPalette();
                                  }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GridTable, ExtentEndsAtTheFirstEmptyKeyAndChecksFollowTheColumnList) {
    PdoTable table(4);
    table.row(0) = {"1", "9", ""};
    table.row(1) = {"2", "8", ""};
    table.row(3) = {"4", "1", ""};
    EXPECT_EQ(table.extent(), 2u);
    EXPECT_EQ(mk::first_range_failure<PdoRow>(table.row(0), kPdoColumns), "bad size row ");
    EXPECT_EQ(mk::first_range_failure<PdoRow>(table.row(1), kPdoColumns), std::nullopt);
    table.row(1).cobid = "0";
    EXPECT_EQ(mk::first_range_failure<PdoRow>(table.row(1), kPdoColumns), "bad cobid row ");
    EXPECT_THROW(mk::first_range_failure<PdoRow>(PdoRow{"1", "", ""}, kPdoColumns),
                 mk::ConversionError);
}

TEST(IntegerCellDelegate, EachKeyKeepsIntegerTextOrEmptiesTheCell) {
    PdoModel model(kPdoColumns);
    model.setTable(PdoTable(1));
    mk::IntegerCellDelegate delegate;
    QWidget parent;
    std::unique_ptr<QWidget> editor(
        delegate.createEditor(&parent, QStyleOptionViewItem(), model.index(0, 1)));
    auto* line = qobject_cast<QLineEdit*>(editor.get());
    ASSERT_NE(line, nullptr);
    QTest::keyClicks(line, "12");
    EXPECT_EQ(line->text(), "12");
    line->clear();
    QTest::keyClicks(line, "0x1F");
    EXPECT_EQ(line->text(), "0x1F");
    QTest::keyClick(line, Qt::Key_G);
    EXPECT_EQ(line->text(), "");
    QTest::keyClicks(line, "$");
    EXPECT_EQ(line->text(), "");
}

} // namespace
