#include <gtest/gtest.h>

#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "firmware/windows/gathered_messages_box.h"

namespace mk {
namespace {

TEST(GatheredMessagesBox, ListsTheGatheredMessagesAndCopiesThem) {
    RecordingSink boxes;
    GatheringSink run(boxes, 1);
    EXPECT_EQ(gathered_messages_box(nullptr, run), nullptr);
    run.show("shown", MessageKind::Error);
    EXPECT_EQ(gathered_messages_box(nullptr, run), nullptr);
    for (int i = 0; i < 3; ++i)
        run.show("Error in conversion string", MessageKind::Information);
    run.show("File EMCY xml not found", MessageKind::Information);

    const std::unique_ptr<QDialog> box(gathered_messages_box(nullptr, run));
    ASSERT_TRUE(box);
    EXPECT_EQ(box->windowTitle(), "Firmware Mosaicor");
    auto* list = box->findChild<QPlainTextEdit*>("gatheredList");
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->isReadOnly());
    EXPECT_EQ(list->toPlainText(),
              "Error in conversion string (3 times)\nFile EMCY xml not found\n");
    EXPECT_EQ(list->accessibleName(), "4 more messages of this run:");
    auto* copy = box->findChild<QPushButton*>("copyButton");
    ASSERT_TRUE(copy);
    QGuiApplication::clipboard()->clear();
    QTest::mouseClick(copy, Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              "4 more messages of this run:\nError in conversion string (3 times)\n"
              "File EMCY xml not found\n");
}

} // namespace
} // namespace mk
