// The test master window driven by its handlers against a scripted slave on 127.0.0.1.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "fake_slave.h"
#include "regprobe/window_texts.h"
#include "regprobe/windows/TfrmAbout.h"
#include "regprobe/windows/TfrmMain.h"
#include "regprobe/windows/qt_messages.h"
#include "test_dir.h"
#include "test_files.h"

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
        set_port(slave.port());
        set("edTimeOut", "2000");
        window.client().ErrorLogPath = dir.path() / "errorlog.txt";
        set("edIP", "127.0.0.1");
    }
    template <typename W = QLineEdit> W* w(const char* name) {
        auto* found = window.findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void set(const char* edit, const char* text) { w(edit)->setText(QString::fromUtf8(text)); }
    void set_port(std::uint16_t port) { w("edPort")->setText(QString::number(port)); }
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

TEST_F(TfrmMainTest, ExtendedPanelKeepsTheWindowOnA1280x720Screen) {
    window.show();
    const QSize hidden = window.size();
    window.ViewEstendedFunctionClick();
    window.layout()->activate();
    // Room left for a title bar and a panel of the desktop.
    EXPECT_LE(window.height(), 720 - 60);
    EXPECT_LE(window.width(), 1280);
    EXPECT_LE(window.height(), hidden.height() + 60) << "the panel goes beside the tests";
    window.ViewEstendedFunctionClick();
    window.layout()->activate();
    EXPECT_EQ(window.size(), hidden);
}

// Every Tab stop of the window, with the extended panel hidden and shown, is a control that
// assistive technology names: nothing without a name takes the focus between the last field and
// the first.
TEST_F(TfrmMainTest, EveryTabStopIsANamedControl) {
    window.show();
    for (const char* panel : {"hidden", "shown"}) {
        SCOPED_TRACE(panel);
        window.layout()->activate();
        QStringList unnamed;
        int stops = 0;
        QWidget* at = &window;
        do {
            at = at->nextInFocusChain();
            if (at == &window || !at->isVisibleTo(&window) || !at->isEnabled() ||
                !(at->focusPolicy() & Qt::TabFocus))
                continue;
            ++stops;
            QAccessibleInterface* control = QAccessible::queryAccessibleInterface(at);
            if (!control || control->text(QAccessible::Name).isEmpty())
                unnamed << QString::fromLatin1(at->metaObject()->className());
        } while (at != &window && stops < 200);
        EXPECT_GT(stops, 10);
        EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(' ').toStdString();
        window.ViewEstendedFunctionClick();
    }
    window.hide();
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
    set_port(unused_port());
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
    set_port(slave.port());
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

TEST_F(TfrmMainTest, ExtendedControlsStartOffWithTheirLabelsAsNames) {
    const struct {
        const char* object;
        const char* name;
    } named[] = {{"cbValueFormat", "Value format"},
                 {"cbWordOrder", "Word order"},
                 {"edPort", "Port"},
                 {"edTimeOut", "Time-out ms"},
                 {"cbLogToFile", "Log to file"},
                 {"edLogFile", "Log to file"},
                 {"cbShowTraffic", "Show traffic"},
                 {"memoTraffic", "Show traffic"},
                 {"btnCopyTraffic", "Copy"}};
    for (const auto& n : named)
        EXPECT_EQ(w<QWidget>(n.object)->accessibleName(), QString::fromUtf8(n.name)) << n.object;
    // Assistive technology hears a list's label as its name and its choice as its value.
    for (const char* combo : {"cbValueFormat", "cbWordOrder"}) {
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(w<QWidget>(combo));
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->text(QAccessible::Name), w<QWidget>(combo)->accessibleName()) << combo;
        EXPECT_EQ(list->text(QAccessible::Value), w<QComboBox>(combo)->currentText()) << combo;
    }
    // The labels are the fields' buddies too.
    for (const auto& n : std::span(named).first(4)) {
        const auto labels = window.findChildren<QLabel*>();
        EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](const QLabel* l) {
            return l->text() == QString::fromUtf8(n.name) && l->buddy() == w<QWidget>(n.object);
        })) << n.object;
    }
    // The Tab key goes from the response area to the traffic view beside it, then the rows below.
    QStringList chain;
    for (QWidget* at = w<QWidget>("memoResponse")->nextInFocusChain(); chain.size() < 9;
         at = at->nextInFocusChain())
        if (!at->objectName().isEmpty() && at->focusPolicy() & Qt::TabFocus)
            chain << at->objectName();
    EXPECT_EQ(chain.join(' ').toStdString(),
              "cbShowTraffic btnCopyTraffic memoTraffic cbValueFormat cbWordOrder edPort "
              "edTimeOut cbLogToFile edLogFile");
    TfrmMain fresh(messages);
    auto* format = fresh.findChild<QComboBox*>("cbValueFormat");
    EXPECT_EQ(format->currentText(), QStringLiteral("Hex"));
    EXPECT_EQ(format->count(), 7);
    EXPECT_FALSE(fresh.findChild<QComboBox*>("cbWordOrder")->isEnabled());
    EXPECT_EQ(fresh.findChild<QLineEdit*>("edPort")->text(), QStringLiteral("502"));
    EXPECT_EQ(fresh.findChild<QLineEdit*>("edTimeOut")->text(), QStringLiteral("15000"));
    EXPECT_EQ(fresh.findChild<QLineEdit*>("edLogFile")->text(), QStringLiteral("regprobe-log.csv"));
    EXPECT_FALSE(fresh.findChild<QCheckBox*>("cbLogToFile")->isChecked());
    EXPECT_FALSE(fresh.findChild<QCheckBox*>("cbShowTraffic")->isChecked());
    EXPECT_EQ(fresh.findChild<QPlainTextEdit*>("memoTraffic")->maximumBlockCount(), 1000);
    EXPECT_FALSE(fresh.client().OnFrame);

    // All of it off: a tick answers as before, writes no log and shows no frame.
    regs[3] = 0x8000;
    set("edReadReg", "3");
    window.Timer1Timer();
    EXPECT_EQ(w<QPlainTextEdit>("memoResponse")->toPlainText(),
              QStringLiteral("Register value(s) read:\n     3: 0x8000"));
    EXPECT_TRUE(w<QPlainTextEdit>("memoTraffic")->toPlainText().isEmpty());
    EXPECT_FALSE(std::filesystem::exists("regprobe-log.csv"));
}

TEST_F(TfrmMainTest, ValueFormatAppliesToTheReadBoxAndTheResponseArea) {
    regs[10] = 0x4049;
    regs[11] = 0x0FDB;
    regs[12] = 0xFFFF;
    set("edReadReg", "10");
    set("edBlockLength", "3");
    auto* format = w<QComboBox>("cbValueFormat");
    format->setCurrentText(QStringLiteral("32-bit float"));
    EXPECT_TRUE(w<QComboBox>("cbWordOrder")->isEnabled());
    window.btnReadClick();
    EXPECT_EQ(
        messages.take(),
        (std::vector<Shown>{{"Register value(s) read:\r\n     10: 3.1415927\r\n     12: 0xFFFF",
                             MessageKind::Plain}}));
    window.Timer1Timer();
    auto* memo = w<QPlainTextEdit>("memoResponse");
    EXPECT_EQ(memo->toPlainText(),
              QStringLiteral("Register value(s) read:\n     10: 3.1415927\n     12: 0xFFFF"));
    // A new choice shows the last response again at once.
    format->setCurrentText(QStringLiteral("Signed"));
    EXPECT_FALSE(w<QComboBox>("cbWordOrder")->isEnabled());
    EXPECT_EQ(
        memo->toPlainText(),
        QStringLiteral("Register value(s) read:\n     10: 16457\n     11: 4059\n     12: -1"));
    format->setCurrentText(QStringLiteral("32-bit unsigned"));
    w<QComboBox>("cbWordOrder")->setCurrentText(QStringLiteral("Low word first"));
    EXPECT_EQ(memo->toPlainText(),
              QStringLiteral("Register value(s) read:\n     10: 266027081\n     12: 0xFFFF"));
}

TEST_F(TfrmMainTest, TimerLogsOneCsvLinePerRequest) {
    const auto path = dir.path() / "poll.csv";
    w("edLogFile")->setText(QString::fromStdString(path.string()));
    w<QCheckBox>("cbLogToFile")->setChecked(true);
    w<QComboBox>("cbValueFormat")->setCurrentText(QStringLiteral("Unsigned"));
    regs[40] = 0x8000;
    regs[41] = 7;
    set("edReadReg", "40");
    set("edBlockLength", "2");
    window.Timer1Timer();
    set("edReadReg", "5000"); // the slave's exception answer
    window.Timer1Timer();
    set_port(unused_port());
    window.Timer1Timer();
    EXPECT_EQ(messages.take(),
              (std::vector<Shown>{{"Connection refused.", MessageKind::ErrorBox}}));
    set("edBlockLength", "x"); // nothing sent, nothing logged
    window.Timer1Timer();
    messages.take();

    const QString log = QString::fromStdString(mk::test::read_file(path));
    const QString stamp = QStringLiteral(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)");
    const QRegularExpression lines(QStringLiteral("^") + stamp + QStringLiteral(",40,32768,7\n") +
                                   stamp + QStringLiteral(",5000,Read operation failed!\n") +
                                   stamp + QStringLiteral(",5000,Connection refused\\.\n$"));
    EXPECT_TRUE(lines.match(log).hasMatch()) << log.toStdString();
}

TEST_F(TfrmMainTest, UnwritableLogIsSwitchedOffOnceAndThePollGoesOn) {
    const struct {
        const char* what;
        std::filesystem::path path;
        const char* reason;
    } cases[] = {
        {"a folder", dir.path(), "Is a directory"},
        {"in a missing folder", dir.path() / "missing" / "poll.csv", "No such file or directory"},
        {"empty", "", "No such file or directory"}};
    set("edReadReg", "1");
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        window.btnClearCountClick();
        w("edLogFile")->setText(QString::fromStdString(k.path.string()));
        w<QCheckBox>("cbLogToFile")->setChecked(true);
        window.Timer1Timer();
        window.Timer1Timer();
        EXPECT_EQ(messages.take(), (std::vector<Shown>{{"Cannot write file " + k.path.string() +
                                                            " (" + k.reason + ")",
                                                        MessageKind::ErrorBox}}));
        EXPECT_FALSE(w<QCheckBox>("cbLogToFile")->isChecked());
        EXPECT_EQ(w<QLabel>("lblTotRequest")->text(), QStringLiteral("Tot. request : 2"));
        EXPECT_EQ(w<QLabel>("lblTotResponse")->text(), QStringLiteral("Tot. response ok : 2"));
    }
}

TEST_F(TfrmMainTest, TrafficShowsTheFramesTheSlaveSawAndItsAnswers) {
    regs[40] = 0x00FF;
    regs[41] = 0x1234;
    set("edReadReg", "40");
    set("edBlockLength", "2");
    window.btnReadClick(); // traffic off: nothing shown
    w<QCheckBox>("cbShowTraffic")->setChecked(true);
    window.Timer1Timer();
    set("edWriteReg", "11");
    set("edNewValue", "$ABCD");
    window.btnWriteClick();
    w<QCheckBox>("cbShowTraffic")->setChecked(false);
    window.Timer1Timer();
    messages.take();

    const auto requests = slave.requests();
    ASSERT_EQ(requests.size(), 4u);
    const auto hex = [](const Bytes& b) {
        QString t;
        for (auto x : b)
            t += QStringLiteral(" %1").arg(x, 2, 16, QLatin1Char('0')).toUpper();
        return t;
    };
    const QStringList lines = w<QPlainTextEdit>("memoTraffic")->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 4) << lines.join('\n').toStdString();
    const QString time = QStringLiteral(R"(^\d\d:\d\d:\d\d\.\d{3} )");
    const QString expected[] = {
        QStringLiteral("Tx:") + hex(requests[1]),
        QStringLiteral("Rx: 00 00 00 00 00 07 07 03 04 00 FF 12 34"),
        QStringLiteral("Tx:") + hex(requests[2]),
        QStringLiteral("Rx:") + hex(requests[2]), // a single write is answered with its echo
    };
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(QRegularExpression(time).match(lines[i]).hasMatch()) << i;
        EXPECT_EQ(lines[i].mid(13), expected[i]) << i;
    }
}

TEST_F(TfrmMainTest, ResponseTimesAndConnectionFields) {
    set("edReadReg", "1");
    for (const char* label : {"lblLastMs", "lblMinMs", "lblAvgMs", "lblMaxMs"})
        EXPECT_TRUE(w<QLabel>(label)->text().endsWith(QStringLiteral(" ms : -"))) << label;
    window.Timer1Timer();
    window.Timer1Timer();
    EXPECT_EQ(window.responseTimes().count(), 2u);
    EXPECT_GT(window.responseTimes().max().count(), 0);
    EXPECT_EQ(w<QLabel>("lblMaxMs")->text().toStdString(), window.responseTimes().max_text());
    window.btnClearCountClick();
    EXPECT_EQ(window.responseTimes().count(), 0u);

    // Port and time-out are taken from the fields at each request.
    set_port(unused_port());
    window.btnReadClick();
    set("edPort", "70000");
    window.btnReadClick();
    set_port(slave.port());
    set("edTimeOut", "-1");
    window.btnWriteClick();
    EXPECT_EQ(
        messages.take(),
        (std::vector<Shown>{{"Connection refused.", MessageKind::ErrorBox},
                            {"'70000' is not a valid port (1 to 65535)", MessageKind::ErrorBox},
                            {"'' is not a valid integer value", MessageKind::ErrorBox}}));
    set("edNewValue", "5");
    set("edWriteReg", "2");
    window.btnWriteClick();
    set("edTimeOut", "1234");
    window.btnWriteClick();
    EXPECT_EQ(messages.take().back().text, "Write register write successful!");
    EXPECT_EQ(window.client().TimeOut, 1234u);
    EXPECT_EQ(window.client().Port, slave.port());
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
