// The configurator's windows on a small or scaled screen, and its lists for assistive technology.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <memory>

#include "core/message_sink.h"
#include "core/project_state.h"
#include "firmware/windows/TFModifyFileSx.h"
#include "shell/windows/TFAbout.h"
#include "shell/windows/TFMosaicoreFirmWare.h"
#include "shell/windows/TFPing.h"
#include "shell/windows/TFsaveproj.h"
#include "tables/windows/TFInfopdoMB.h"
#include "tables/windows/TFSdoMB.h"
#include "tables/windows/TFTPdoMB.h"
#include "tables/windows/TFWEmcyMB2.h"
#include "tables/windows/TFemcyMB2.h"
#include "tables/windows/TFpargen.h"
#include "tables/windows/TFpdoMB.h"
#include "test_dir.h"
#include "ui/labelled_combo.h"
#include "ui/screen_fit.h"

namespace {

class Windows : public ::testing::Test {
protected:
    Windows() { state.project_dir = dir.path(); }
    mk::test::TempDir dir;
    mk::ProjectState state;
    mk::RecordingSink sink;
};

// 1280×1024 at a scale factor of 2 leaves 640×512 logical pixels: every window, frame included,
// fits there; what does not fit at the start size scrolls.
TEST_F(Windows, EveryWindowFitsASmallScreen) {
    const QRect small(0, 0, 640, 512);
    mk::TFMosaicoreFirmWare main(state, dir.path(), sink);
    const std::pair<const char*, std::function<std::unique_ptr<QWidget>()>> windows[] = {
        {"main", [&] { return std::unique_ptr<QWidget>(); }},
        {"sdo", [&] { return std::make_unique<mk::TFSdoMB>(state, sink); }},
        {"rpdo", [&] { return std::make_unique<mk::TFpdoMB>(state, sink); }},
        {"stored pdo", [&] { return std::make_unique<mk::TFInfopdoMB>(state, sink); }},
        {"tpdo", [&] { return std::make_unique<mk::TFTPdoMB>(state, sink); }},
        {"emcy", [&] { return std::make_unique<mk::TFemcyMB2>(state, sink); }},
        {"word emcy", [&] { return std::make_unique<mk::TFWEmcyMB2>(state, sink); }},
        {"pargen", [&] { return std::make_unique<mk::TFpargen>(state, sink, nullptr); }},
        {"pargen with SNMP",
         [&] {
             auto w = std::make_unique<mk::TFpargen>(state, sink, nullptr);
             w->snmpButton()->setChecked(true);
             return w;
         }},
        {"firmware",
         [&] {
             return std::make_unique<mk::TFModifyFileSx>(state, sink,
                                                         mk::detached_program_starter());
         }},
        {"new project", [&] { return std::make_unique<mk::TFsaveproj>(state, sink); }},
        {"about", [&] { return std::make_unique<mk::TFAbout>(); }},
        {"ping", [&] { return std::make_unique<mk::TFPing>(); }},
    };
    for (const auto& [name, make] : windows) {
        SCOPED_TRACE(name);
        std::unique_ptr<QWidget> made = make();
        QWidget* w = made ? made.get() : &main;
        w->move(300, 200);
        mk::fitIntoArea(w, small);
        EXPECT_LE(w->minimumSizeHint().width() + mk::kFrameAllowanceWidth, small.width());
        EXPECT_LE(w->minimumSizeHint().height() + mk::kFrameAllowanceHeight, small.height());
        const QRect framed(w->pos(),
                           w->size() + QSize(mk::kFrameAllowanceWidth, mk::kFrameAllowanceHeight));
        EXPECT_TRUE(small.contains(framed))
            << framed.x() << "," << framed.y() << " " << framed.width() << "x" << framed.height();
    }
}

// A list is announced by its label, its value is what it shows; an editable list's field too.
TEST_F(Windows, ListsAreNamedAfterTheirLabels) {
    mk::nameCombosAfterLabels();
    mk::TFpargen pargen(state, sink, nullptr);
    mk::TFModifyFileSx firmware(state, sink, mk::detached_program_starter());
    const QList<QComboBox*> pargenLists = pargen.findChildren<QComboBox*>();
    ASSERT_FALSE(pargenLists.isEmpty());
    ASSERT_EQ(firmware.findChildren<QComboBox*>().size(), 1);
    for (QComboBox* combo : pargenLists + firmware.findChildren<QComboBox*>()) {
        SCOPED_TRACE(combo->accessibleName().toStdString());
        ASSERT_FALSE(combo->accessibleName().isEmpty());
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(combo);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->role(), QAccessible::ComboBox);
        EXPECT_EQ(a->text(QAccessible::Name), combo->accessibleName());
        EXPECT_EQ(a->text(QAccessible::Value), combo->currentText());
        if (combo->isEditable()) {
            EXPECT_EQ(combo->lineEdit()->accessibleName(), combo->accessibleName());
        }
        ASSERT_GE(a->childCount(), 1);
        EXPECT_EQ(a->child(0)->object(), static_cast<QObject*>(combo->view()));
        EXPECT_EQ(a->indexOfChild(a->child(a->childCount() - 1)), a->childCount() - 1);
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(firmware.findChild<QComboBox*>())
                  ->text(QAccessible::Value),
              "COM1");
}

} // namespace
