// The test master window driven by its handlers against a scripted slave on 127.0.0.1.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "fake_slave.h"
#include "regprobe/window_texts.h"
#include "regprobe/windows/TfrmAbout.h"
#include "regprobe/windows/TfrmMain.h"
#include "regprobe/windows/qt_messages.h"
#include "test_dir.h"

namespace rp::test {
namespace {

struct Shown {
    std::string text;
    MessageKind kind;
    bool operator==(const Shown&) const = default;
};

class RecordingMessages : public Messages {
public:
    void show(std::string_view text, MessageKind kind) override {
        shown.push_back({std::string(text), kind});
    }
    std::vector<Shown> take() { return std::exchange(shown, {}); }
    std::vector<Shown> shown;
};

class TfrmMainTest : public ::testing::Test {
protected:
    TfrmMainTest() : slave(FakeSlave::with_registers(regs, lock)), window(messages) {
        window.client().Port = slave.port();
        window.client().TimeOut = 2000;
        window.client().ErrorLogPath = dir.path() / "errorlog.txt";
        set("edIP", "127.0.0.1");
    }
    template <typename W = QLineEdit> W* w(const char* name) {
        auto* found = window.findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void set(const char* edit, const char* text) { w(edit)->setText(QString::fromUtf8(text)); }
    std::uint16_t reg(std::uint16_t address) {
        std::lock_guard guard(lock);
        return regs[address];
    }
    void add_values(std::initializer_list<const char*> texts) {
        for (const char* t : texts) {
            set("edAddValue", t);
            window.btnAddValueClick();
        }
    }

    std::map<std::uint16_t, std::uint16_t> regs;
    std::mutex lock;
    FakeSlave slave;
    mk::test::TempDir dir;
    RecordingMessages messages;
    TfrmMain window;
};

TEST_F(TfrmMainTest, StartsWithTheDesignedDefaults) {
    TfrmMain fresh(messages);
    EXPECT_EQ(fresh.windowTitle(), QStringLiteral("Veltrisa  Modbus TCP master"));
    EXPECT_EQ(fresh.findChild<QLineEdit*>("edIP")->text(), QStringLiteral("192.168.0.1"));
    EXPECT_EQ(fresh.client().UnitID, 7);
    EXPECT_EQ(fresh.client().Port, 502);
    fresh.FormShow();
    EXPECT_EQ(fresh.findChild<QLabel*>("lblUnitId")->text(), QStringLiteral("7"));
    EXPECT_TRUE(fresh.findChild<QWidget*>("pnlExtended")->isHidden());
    EXPECT_FALSE(fresh.timer().isActive());
    EXPECT_EQ(fresh.timer().interval(), 1000);
}

TEST_F(TfrmMainTest, ChangeAddressKeepsTheLowByte) {
    set("edUnitId", "263");
    window.btnChangeAddressClick();
    EXPECT_EQ(window.client().UnitID, 7);
    EXPECT_EQ(w<QLabel>("lblUnitId")->text(), QStringLiteral("7"));
    set("edUnitId", "$11");
    window.btnChangeAddressClick();
    EXPECT_EQ(window.client().UnitID, 17);
    EXPECT_EQ(w<QLabel>("lblUnitId")->text(), QStringLiteral("17"));
    set("edUnitId", "1 7");
    window.btnChangeAddressClick();
    EXPECT_EQ(messages.take(),
              (std::vector<Shown>{{"'1 7' is not a valid integer value", MessageKind::ErrorBox}}));
    EXPECT_EQ(window.client().UnitID, 17);
}

TEST_F(TfrmMainTest, ReadShowsAddressesAndValues) {
    regs[40] = 0x00FF;
    regs[41] = 0x1234;
    set("edReadReg", "40");
    set("edBlockLength", "2");
    window.btnReadClick();
    EXPECT_EQ(messages.take(), (std::vector<Shown>{{"Register value(s) read:\r\n     40: 0x00FF"
                                                    "\r\n     41: 0x1234",
                                                    MessageKind::Plain}}));
    EXPECT_EQ(slave.requests().at(0), (Bytes{0, 0, 0, 0, 0, 6, 7, 3, 0, 40, 0, 2}));

    // A block of 0 or less sends nothing and says nothing.
    for (const char* n : {"0", "-3"}) {
        set("edBlockLength", n);
        window.btnReadClick();
    }
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(slave.requests().size(), 1u);

    // An exception answer (address past the slave's registers) fails and is logged.
    set("edBlockLength", "1");
    set("edReadReg", "5000");
    window.btnReadClick();
    EXPECT_EQ(messages.take(),
              (std::vector<Shown>{{"Read operation failed!", MessageKind::Plain}}));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "errorlog.txt"));
}

TEST_F(TfrmMainTest, WriteTruncatesTo16BitsAndReportsInAnErrorDialog) {
    for (const char* value : {"65535", "-1"}) {
        set("edWriteReg", "11");
        set("edNewValue", value);
        window.btnWriteClick();
        EXPECT_EQ(slave.requests().back(), (Bytes{0, 0, 0, 0, 0, 6, 7, 6, 0, 11, 0xFF, 0xFF}));
        EXPECT_EQ(messages.take(), (std::vector<Shown>{{"Write register write successful!",
                                                        MessageKind::ErrorDialog}}));
    }
    EXPECT_EQ(reg(11), 0xFFFF);
    // The new value is converted first; a bad text sends nothing.
    set("edNewValue", "0x");
    set("edWriteReg", "zz");
    window.btnWriteClick();
    EXPECT_EQ(messages.take(),
              (std::vector<Shown>{{"'0x' is not a valid integer value", MessageKind::ErrorBox}}));
    EXPECT_EQ(slave.requests().size(), 2u);
    // Refused by the slave: the failure text.
    set("edNewValue", "1");
    set("edWriteReg", "999");
    window.btnWriteClick();
    EXPECT_EQ(reg(999), 1);
    set("edWriteReg", "1000");
    window.btnWriteClick();
    EXPECT_EQ(messages.take(),
              (std::vector<Shown>{{"Write register write successful!", MessageKind::ErrorDialog},
                                  {"Write register write failed!", MessageKind::ErrorDialog}}));
}

TEST_F(TfrmMainTest, MultipleWriteTakesTheFirstListValues) {
    add_values({"1", "$2", "3", "junk"});
    ASSERT_EQ(w<QListWidget>("lbValues")->count(), 4);
    // Check marks are the user's notes: checked or not, the first entries go out.
    w<QListWidget>("lbValues")->item(1)->setCheckState(Qt::Checked);
    set("edMultiReg", "100");
    set("edMultiCount", "3");
    window.btnWriteMultiClick();
    EXPECT_EQ(messages.take(), (std::vector<Shown>{{"Write registers write successful!",
                                                    MessageKind::ErrorDialog}}));
    EXPECT_EQ(slave.requests().back(),
              (Bytes{0, 0, 0, 0, 0, 13, 7, 16, 0, 100, 0, 3, 6, 0, 1, 0, 2, 0, 3}));
    EXPECT_EQ(reg(102), 3);

    // The fourth entry is not a number; a sixth does not exist; 0 registers send nothing.
    set("edMultiCount", "4");
    window.btnWriteMultiClick();
    set("edMultiCount", "0");
    window.btnWriteMultiClick();
    w<QListWidget>("lbValues")->item(3)->setText("4");
    set("edMultiCount", "6");
    window.btnWriteMultiClick();
    EXPECT_EQ(messages.take(),
              (std::vector<Shown>{{"'junk' is not a valid integer value", MessageKind::ErrorBox},
                                  {"List index out of bounds (4)", MessageKind::ErrorBox}}));
    EXPECT_EQ(slave.requests().size(), 1u);
}

TEST_F(TfrmMainTest, ValueListEditing) {
    add_values({"5", "6", "7"});
    auto* list = w<QListWidget>("lbValues");
    // A check list: every entry comes with a check box, unchecked.
    for (int i = 0; i < list->count(); ++i) {
        const QListWidgetItem* item = list->item(i);
        EXPECT_TRUE(item->flags() & Qt::ItemIsUserCheckable) << i;
        EXPECT_TRUE(item->data(Qt::CheckStateRole).isValid()) << i;
        EXPECT_EQ(item->checkState(), Qt::Unchecked) << i;
    }
    window.btnDelValueClick(); // nothing selected
    EXPECT_EQ(list->count(), 3);
    list->setCurrentRow(1);
    window.btnDelValueClick();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("7"));
    window.btnDelAllValueClick();
    EXPECT_EQ(list->count(), 0);
}

TEST_F(TfrmMainTest, ExtendedPanelTimerAndCounters) {
    auto* panel = w<QWidget>("pnlExtended");
    auto* item = w<QAction>("ViewEstendedFunction");
    window.ViewEstendedFunctionClick();
    EXPECT_TRUE(item->isChecked());
    EXPECT_FALSE(panel->isHidden());
    window.ViewEstendedFunctionClick();
    EXPECT_FALSE(item->isChecked());
    EXPECT_TRUE(panel->isHidden());

    w<QCheckBox>("cbTimer")->setChecked(true);
    EXPECT_TRUE(window.timer().isActive());
    set("edTimeMs", "200");
    EXPECT_EQ(window.timer().interval(), 200);
    set("edTimeMs", "");
    EXPECT_EQ(messages.take(),
              (std::vector<Shown>{{"'' is not a valid integer value", MessageKind::ErrorBox}}));
    EXPECT_EQ(window.timer().interval(), 200);
    set("edTimeMs", "0");
    EXPECT_FALSE(window.timer().isActive());
    set("edTimeMs", "250");
    EXPECT_TRUE(window.timer().isActive());
    w<QCheckBox>("cbTimer")->setChecked(false);
    EXPECT_FALSE(window.timer().isActive());

    // Ticks read the read group's block and count.
    regs[3] = 0xCAFE;
    set("edReadReg", "3");
    window.Timer1Timer();
    window.Timer1Timer();
    EXPECT_EQ(window.requestCount(), 2);
    EXPECT_EQ(window.responseCount(), 2);
    EXPECT_EQ(w<QLabel>("lblTotRequest")->text(), QStringLiteral("Tot. request : 2"));
    EXPECT_EQ(w<QLabel>("lblTotResponse")->text(), QStringLiteral("Tot. response ok : 2"));
    EXPECT_EQ(w<QPlainTextEdit>("memoResponse")->toPlainText(),
              QStringLiteral("Register value(s) read:\n     3: 0xCAFE"));

    // A block of 0 only counts the request.
    set("edBlockLength", "0");
    window.Timer1Timer();
    EXPECT_EQ(w<QLabel>("lblTotRequest")->text(), QStringLiteral("Tot. request : 3"));
    EXPECT_EQ(window.responseCount(), 2);

    // The slave gone: every tick shows the connection error, the labels stay.
    set("edBlockLength", "1");
    window.client().Port = unused_port();
    window.Timer1Timer();
    window.Timer1Timer();
    EXPECT_EQ(messages.take(),
              (std::vector<Shown>{{"Connection refused.", MessageKind::ErrorBox},
                                  {"Connection refused.", MessageKind::ErrorBox}}));
    EXPECT_EQ(w<QLabel>("lblTotRequest")->text(), QStringLiteral("Tot. request : 3"));
    EXPECT_EQ(w<QLabel>("lblTotResponse")->text(), QStringLiteral("Tot. response ok : 2"));

    // ClearCount: the labels follow at the next tick.
    window.btnClearCountClick();
    EXPECT_EQ(window.requestCount(), 0);
    EXPECT_EQ(w<QLabel>("lblTotRequest")->text(), QStringLiteral("Tot. request : 3"));
    window.client().Port = slave.port();
    window.Timer1Timer();
    EXPECT_EQ(w<QLabel>("lblTotRequest")->text(), QStringLiteral("Tot. request : 1"));
    EXPECT_EQ(w<QLabel>("lblTotResponse")->text(), QStringLiteral("Tot. response ok : 1"));
}

TEST_F(TfrmMainTest, ControlsWithoutTextHaveAccessibleNames) {
    for (auto* e : window.findChildren<QLineEdit*>())
        EXPECT_FALSE(e->accessibleName().isEmpty()) << e->objectName().toStdString();
    EXPECT_EQ(w<QListWidget>("lbValues")->accessibleName(), QStringLiteral("Values"));
    EXPECT_EQ(w<QLineEdit>("edTimeMs")->accessibleName(), QStringLiteral("Time ms:"));
}

// The window is the program's frame, fits a 640×512 screen (1280×1024 at scale 2) with its
// extended panel open, and the Read button's menu, opened with the Menu key, is in the tree.
TEST_F(TfrmMainTest, FrameSizeAndTheReadMenuForAssistiveTechnology) {
    QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(&window);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->role(), QAccessible::Window);
    window.ViewEstendedFunctionClick();
    const QRect small(0, 0, 640, 512);
    window.move(100, 100);
    window.fitInto(small);
    EXPECT_TRUE(small.contains(QRect(window.pos(), window.size() + QSize(8, 36))))
        << window.width() << "x" << window.height();
    EXPECT_LE(window.minimumSizeHint().height(), 512 - 36);
    // On a large screen the whole page shows, nothing scrolls.
    window.fitInto(QRect(0, 0, 1920, 1200));
    const QWidget* page = w<QWidget>("pnlExtended")->parentWidget();
    EXPECT_EQ(window.size(), page->size());

    auto* read = w<QPushButton>("btnRead");
    window.show();
    read->setFocus();
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, read->rect().center(),
                              read->mapToGlobal(read->rect().center()));
    QApplication::sendEvent(read, &menuKey);
    auto* menu = read->findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(read);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(QAccessible::Name), "Read register");
    ASSERT_EQ(button->childCount(), 1);
    QAccessibleInterface* popup = button->child(0);
    EXPECT_EQ(popup->role(), QAccessible::PopupMenu);
    EXPECT_EQ(popup->text(QAccessible::Name), "Read register");
    ASSERT_EQ(popup->childCount(), 1);
    EXPECT_EQ(popup->child(0)->text(QAccessible::Name), "View estended function");
    menu->hide();
    window.hide();
}

TEST(RegprobePlainBox, LongReadResultStaysOnTheScreen) {
    // A read of 200 registers is 201 lines: the box must keep its OK button on the screen.
    const std::vector<std::uint16_t> values(200, 0x1234);
    const QString body = display_text(read_result_text(0, values));
    auto box = plain_box(nullptr, QStringLiteral("Regprobe"), body);
    box->adjustSize();
    EXPECT_LE(box->height(), 700);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Regprobe"));
    auto* text = box->findChild<QPlainTextEdit*>();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->toPlainText(), body);
    EXPECT_EQ(text->accessibleName(), QStringLiteral("Register value(s) read:"));
    ASSERT_NE(box->findChild<QPushButton*>(), nullptr);

    // A short result stays an ordinary message box.
    const QString shortBody = display_text(read_result_text(40, std::span(values).first(2)));
    auto small = plain_box(nullptr, QStringLiteral("Regprobe"), shortBody);
    auto* message = qobject_cast<QMessageBox*>(small.get());
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->text(), shortBody);
    EXPECT_EQ(message->icon(), QMessageBox::NoIcon);
}

// Each link of the About box is one stop for Tab and for Shift+Tab: web site, e-mail, OK.
TEST(AboutBox, EachLinkIsOneTabStopBothWays) {
    TfrmAbout about;
    about.show();
    about.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&about));
    QWidget* web = nullptr;
    QWidget* mail = nullptr;
    for (QLabel* l : about.findChildren<QLabel*>()) {
        if (l->accessibleName() == "Web site")
            web = l;
        if (l->accessibleName() == "E-mail")
            mail = l;
    }
    auto* ok = about.findChild<QPushButton*>();
    ASSERT_TRUE(web && mail && ok);
    const std::pair<Qt::Key, std::vector<QWidget*>> walks[] = {{Qt::Key_Tab, {web, mail, ok}},
                                                               {Qt::Key_Backtab, {ok, mail, web}}};
    for (const auto& [key, stops] : walks) {
        SCOPED_TRACE(key == Qt::Key_Tab ? "Tab" : "Shift+Tab");
        stops.front()->setFocus(key == Qt::Key_Tab ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        for (std::size_t i = 1; i < stops.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), key);
            EXPECT_EQ(QApplication::focusWidget(), stops[i]) << "stop " << i;
        }
    }
}

} // namespace
} // namespace rp::test
