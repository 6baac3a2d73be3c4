// The communication parameters window over real project folders; handlers are called directly.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "controls/windows/TRangeEdit.h"
#include "core/edit_session.h"
#include "core/project_state.h"
#include "core/table_file.h"
#include "tables/windows/TFpargen.h"
#include "test_dir.h"
#include "test_files.h"

using mk::test::read_file;
using mk::test::write_file;

namespace {

namespace fs = std::filesystem;
using mk::TFpargen;

class FpargenWindow : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(projectA());
        fs::create_directory(projectB());
        state.project_dir = projectA();
    }
    fs::path projectA() const { return dir.path() / "A"; }
    fs::path projectB() const { return dir.path() / "B"; }
    fs::path pargen() const { return state.project_dir / "pargen.xml"; }
    void write(const std::string& text) const { write_file(pargen(), text); }
    std::string read() const { return read_file(pargen()); }
    static void setOctets(const TFpargen::OctetEdits& edits, std::array<const char*, 4> v) {
        for (std::size_t i = 0; i < 4; ++i)
            edits[i]->setText(QString::fromUtf8(v[i]));
    }
    std::string lastMessage() const {
        return sink.entries.empty() ? std::string() : sink.entries.back().text;
    }
    static QStringList octets(const TFpargen::OctetEdits& edits) {
        QStringList out;
        for (auto* e : edits)
            out << e->text();
        return out;
    }

    mk::test::TempDir dir;
    mk::ProjectState state;
    mk::RecordingSink sink;
    QString address = QStringLiteral("unset");
    TFpargen window{state, sink, [this](const QString& a) { address = a; }};
};

TEST_F(FpargenWindow, NewProjectShowsDefaultsAndOkWritesThem) {
    window.FormShow();
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"File XML not found"});
    EXPECT_EQ(window.windowTitle(), "SET COMMUNICATION");
    EXPECT_EQ(window.devIdA()->text(), "1");
    EXPECT_EQ(window.baudA()->currentText(), "10");
    EXPECT_EQ(octets(window.ipEdits()), QStringList({"0", "0", "0", "0"}));
    EXPECT_EQ(octets(window.subnetEdits()), QStringList({"255", "255", "255", "0"}));
    EXPECT_EQ(window.serialBaud()->currentText(), "9600");
    EXPECT_TRUE(window.serial485()->isChecked());
    EXPECT_TRUE(window.layout15x3()->isChecked());
    EXPECT_EQ(window.delay()->value(), 0);
    EXPECT_EQ(window.modbusStartAddress()->text(), "1");
    EXPECT_EQ(window.ipEdits()[0]->MaxVal(), 255);

    state.pdo_layout = 7;
    window.BitBtn1Click();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(state.pdo_layout, 0);
    EXPECT_EQ(address, "0.0.0.0");
    EXPECT_EQ(read(), mk::serialize_pargen(mk::TParGen{}));
}

TEST_F(FpargenWindow, OkSetsLayoutAndAddressAndReopeningShowsTheSameValues) {
    window.FormShow();
    setOctets(window.ipEdits(), {"10", "0", "0", "7"});
    window.baudA()->setCurrentText("95");
    window.layout8x8()->setChecked(true);
    window.networkStartModbus()->setChecked(true);
    window.delay()->setValue(12);
    window.BitBtn1Click();
    EXPECT_EQ(address, "10.0.0.7");
    EXPECT_EQ(state.pdo_layout, 1);

    mk::RecordingSink otherSink;
    TFpargen fresh(state, otherSink, {});
    fresh.FormShow();
    EXPECT_TRUE(otherSink.entries.empty());
    EXPECT_EQ(octets(fresh.ipEdits()), QStringList({"10", "0", "0", "7"}));
    EXPECT_EQ(fresh.baudA()->currentText(), "95");
    EXPECT_TRUE(fresh.layout8x8()->isChecked());
    EXPECT_TRUE(fresh.networkStartModbus()->isChecked());
    EXPECT_EQ(fresh.delay()->value(), 12);
    EXPECT_EQ(fresh.record().typePdo, 1);
    EXPECT_EQ(mk::serialize_pargen(fresh.record()), read());
}

TEST_F(FpargenWindow, LoadingNeverChangesTheLayoutOption) {
    mk::TParGen r;
    r.typePdo = 1;
    mk::save_pargen(pargen(), r);
    state.pdo_layout = 0;
    window.FormShow();
    EXPECT_TRUE(window.layout8x8()->isChecked());
    EXPECT_EQ(state.pdo_layout, 0);
    window.BitBtn2Click();
    EXPECT_EQ(window.result(), QDialog::Rejected);
    EXPECT_EQ(state.pdo_layout, 0);
    EXPECT_EQ(address, "unset");
}

TEST_F(FpargenWindow, SixteenChildFileAndOutOfListPositions) {
    write("<ParametriGenerali><idA>3</idA><BoudA>500</BoudA><idB>1</idB><BoudB>250</BoudB>"
          "<timeoutsdo>10</timeoutsdo><baudmodbus>9</baudmodbus><parity>0</parity><ser>0</ser>"
          "<devid>1</devid><devnetip b1=\"300\" b2=\"1a\" b3=\"1A\" b4=\"4\"/>"
          "<devnetsubnetmask b1=\"255\" b2=\"255\" b3=\"255\" b4=\"0\"/>"
          "<devnet_snmp_read_community name=\"r\"/><devnet_snmp_read_community name=\"w\"/>"
          "<snmptrap_ip1 b1=\"0\" b2=\"0\" b3=\"0\" b4=\"0\"/>"
          "<snmptrap_ip2 b1=\"0\" b2=\"0\" b3=\"0\" b4=\"0\"/>"
          "<snmptrap_ip3 b1=\"0\" b2=\"0\" b3=\"0\" b4=\"9\"/></ParametriGenerali>");
    window.networkStart()->setChecked(true);
    window.layout8x8()->setChecked(true);
    window.FormShow();
    EXPECT_TRUE(sink.entries.empty());
    EXPECT_EQ(window.devIdA()->text(), "3");
    EXPECT_EQ(window.serialBaud()->currentIndex(), -1);
    EXPECT_TRUE(window.serial485()->isChecked());
    EXPECT_FALSE(window.operationalAtStart()->isChecked());
    EXPECT_FALSE(window.networkStart()->isChecked());
    EXPECT_EQ(window.modbusStartAddress()->text(), "0");
    EXPECT_TRUE(window.layout15x3()->isChecked());
    // Octet texts go through the field's rules: above 255 stays, a lower-case letter is no
    // digit, an upper-case A stays as typed text would.
    EXPECT_EQ(octets(window.ipEdits()), QStringList({"300", "1", "1A", "4"}));
    EXPECT_EQ(window.trapEdits(2)[3]->text(), "9");

    // What the gateway cannot take is refused at OK, one field after the other.
    const std::string before = read();
    window.BitBtn1Click();
    EXPECT_EQ(read(), before);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Value not valid in IP octet 1: 300 "
                                                     "(a whole number from 0 to 255)"});
    window.ipEdits()[0]->setText("3");
    window.BitBtn1Click();
    EXPECT_EQ(lastMessage(), "Value not valid in IP octet 3: 1A (a whole number from 0 to 255)");
    EXPECT_NE(window.result(), QDialog::Accepted);
    window.ipEdits()[2]->setText("1");
    window.BitBtn1Click();
    const auto doc = mk::TableDocument::load(pargen());
    ASSERT_EQ(doc.row_count(), 22u);
    EXPECT_EQ(doc.row(5).text(), "-1");
    EXPECT_EQ(doc.row(7).text(), "1");
    EXPECT_EQ(doc.row(11).attr("name"), "r");
    EXPECT_EQ(doc.row(12).attr("name"), "w");
    EXPECT_EQ(doc.row(19).attr("address"), "0");
    EXPECT_EQ(address, "3.1.1.4");
}

TEST_F(FpargenWindow, ReadingErrorShowsDefaultsForWhatWasNotReadAndOkRefuses) {
    window.FormShow(); // defaults, no file
    window.modbusStartAddress()->setText("77");
    write("<ParametriGenerali><idA>5</idA><BoudA>20</BoudA><idB>1</idB><BoudB>250</BoudB>"
          "<timeoutsdo>10</timeoutsdo><baudmodbus>1</baudmodbus><parity>0</parity><ser>abc</ser>"
          "</ParametriGenerali>");
    sink.entries.clear();
    window.FormShow();
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Error in reading file XML"});
    EXPECT_EQ(window.devIdA()->text(), "5");
    EXPECT_EQ(window.serialBaud()->currentText(), "2400");
    // Not what the window showed before: that may have been another project's.
    EXPECT_EQ(window.modbusStartAddress()->text(), "1");
    EXPECT_TRUE(window.serial485()->isChecked());
    // The positions after the fault would be lost: "OK" refuses, the file stays as it is.
    const std::string damaged = read();
    sink.entries.clear();
    window.BitBtn1Click();
    EXPECT_EQ(sink.texts(), std::vector<std::string>{mk::incomplete_file_text("pargen.xml")});
    EXPECT_EQ(read(), damaged);

    sink.entries.clear();
    write("this is not XML");
    window.FormShow();
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Error in reading file XML"});
    EXPECT_EQ(window.devIdA()->text(), "1");
}

TEST_F(FpargenWindow, ProjectWithoutFileShowsTheDefaultsNotTheOtherProjectsValues) {
    mk::TParGen r;
    r.idA = "42";
    r.devnetip = {"10", "1", "2", "3"};
    r.readCommunity = "projectA";
    mk::save_pargen(pargen(), r);
    window.FormShow();
    EXPECT_TRUE(sink.entries.empty());
    window.BitBtn2Click();

    state.project_dir = projectB();
    window.FormShow();
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"File XML not found"});
    EXPECT_EQ(window.devIdA()->text(), "1");
    window.BitBtn1Click();
    EXPECT_EQ(read(), mk::serialize_pargen(mk::TParGen{}));
    EXPECT_EQ(address, "0.0.0.0");
}

TEST_F(FpargenWindow, FailedSaveKeepsTheWindowOpenAndChangesNothing) {
    window.FormShow();
    window.layout8x8()->setChecked(true);
    fs::remove_all(projectA());
    sink.entries.clear();
    window.setResult(QDialog::Rejected);
    window.BitBtn1Click();
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].kind, mk::MessageKind::Error);
    EXPECT_EQ(state.pdo_layout, 0);
    EXPECT_EQ(address, "unset");
    EXPECT_NE(window.result(), QDialog::Accepted);
}

TEST_F(FpargenWindow, HeldGroupsAreHiddenAndSnmpIsOfferedApart) {
    window.show();
    EXPECT_FALSE(window.busBGroup()->isVisible());
    EXPECT_FALSE(window.serialGroup()->isVisible());
    EXPECT_FALSE(window.snmpGroup()->isVisible());
    EXPECT_TRUE(window.ipEdits()[0]->isVisible());
    window.snmpButton()->click();
    EXPECT_TRUE(window.snmpGroup()->isVisible());
    EXPECT_TRUE(window.trapEdits(0)[0]->isVisible());
    EXPECT_EQ(window.trapEdits(1)[2]->objectName(), "sn2_ipb3");
    setOctets(window.trapEdits(0), {"10", "1", "2", "3"});
    window.snmpButton()->click();
    EXPECT_FALSE(window.snmpGroup()->isVisible());
    EXPECT_EQ(window.record().snmptrapIp1, (mk::OctetTexts{"10", "1", "2", "3"}));
    window.hide();
}

TEST_F(FpargenWindow, EnterOnAFieldInErrorDoesNotSave) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.FormShow();
    mk::TRangeEdit* ip1 = window.ipEdits()[0];
    ip1->setFocus();
    ip1->selectAll();
    QTest::keyClick(ip1, Qt::Key_Minus);
    ASSERT_EQ(ip1->text(), "-");
    window.BitBtn1Click();
    EXPECT_FALSE(fs::exists(pargen()));
    EXPECT_TRUE(ip1->hasFocus());
    EXPECT_EQ(lastMessage(), "Value not valid in IP octet 1: - (a whole number from 0 to 255)");

    // Typed out of range and taken with Enter: the default button's OK names the field too.
    ip1->selectAll();
    QTest::keyClicks(ip1, "300");
    QTest::keyClick(ip1, Qt::Key_Return);
    EXPECT_FALSE(fs::exists(pargen()));
    EXPECT_TRUE(ip1->hasFocus());
    EXPECT_EQ(lastMessage(), "Value not valid in IP octet 1: 300 (a whole number from 0 to 255)");
    window.hide();
}

// Octets that the window holds from an earlier showing, or that come from the file, are checked
// at OK like typed ones: a refused OK names the field, puts the focus there and writes nothing.
TEST_F(FpargenWindow, OkChecksEveryOctetAndWritesNothingOnError) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_EQ(sink.texts(), std::vector<std::string>{"File XML not found"});
    window.ipEdits()[0]->setText("300"); // left behind by an earlier Cancel
    window.okButton()->setFocus();
    window.BitBtn1Click();
    EXPECT_FALSE(fs::exists(pargen()));
    EXPECT_EQ(address, "unset");
    EXPECT_NE(window.result(), QDialog::Accepted);
    EXPECT_EQ(lastMessage(), "Value not valid in IP octet 1: 300 (a whole number from 0 to 255)");
    EXPECT_TRUE(window.ipEdits()[0]->hasFocus());

    // From the file: the SNMP group is folded away, so the refusal opens it on the field.
    mk::TParGen r;
    r.devnetip = {"10", "0", "0", "-1"};
    r.snmptrapIp2 = {"1", "2", "12.5", "4"};
    mk::save_pargen(pargen(), r);
    const std::string before = read();
    window.FormShow();
    window.BitBtn1Click();
    EXPECT_EQ(lastMessage(), "Value not valid in IP octet 4: -1 (a whole number from 0 to 255)");
    EXPECT_TRUE(window.ipEdits()[3]->hasFocus());
    window.ipEdits()[3]->setText("4");
    window.okButton()->setFocus();
    window.BitBtn1Click();
    EXPECT_EQ(
        lastMessage(),
        "Value not valid in IP 2 for SNMP traps octet 3: 12.5 (a whole number from 0 to 255)");
    EXPECT_TRUE(window.snmpGroup()->isVisible());
    EXPECT_TRUE(window.snmpButton()->isChecked());
    EXPECT_TRUE(window.trapEdits(1)[2]->hasFocus());
    EXPECT_EQ(read(), before);
    EXPECT_EQ(state.pdo_layout, 0);

    window.trapEdits(1)[2]->setText("3");
    window.BitBtn1Click();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(address, "10.0.0.4");
    window.hide();
}

// The SNMP group cannot be folded away over a field in error: the focus would stay in a field
// the user can no longer see.
TEST_F(FpargenWindow, SnmpGroupStaysOpenWhileItHoldsAFieldInError) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::mouseClick(window.snmpButton(), Qt::LeftButton);
    ASSERT_TRUE(window.snmpGroup()->isVisible());
    mk::TRangeEdit* trap = window.trapEdits(0)[1];
    QTest::mouseClick(trap, Qt::LeftButton);
    ASSERT_TRUE(trap->hasFocus());
    trap->selectAll();
    QTest::keyClicks(trap, "999");
    sink.entries.clear();
    QTest::mouseClick(window.snmpButton(), Qt::LeftButton);
    EXPECT_TRUE(window.snmpGroup()->isVisible());
    EXPECT_TRUE(window.snmpButton()->isChecked());
    EXPECT_TRUE(trap->isVisible());
    EXPECT_TRUE(trap->hasFocus());
    EXPECT_EQ(lastMessage(),
              "Value not valid in IP 1 for SNMP traps octet 2: 999 (a whole number from 0 to 255)");

    // Corrected, the group folds away and the keys reach visible fields again.
    trap->selectAll();
    QTest::keyClicks(trap, "99");
    QTest::mouseClick(window.snmpButton(), Qt::LeftButton);
    EXPECT_FALSE(window.snmpGroup()->isVisible());
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    EXPECT_TRUE(focused->isVisible());
    EXPECT_EQ(window.record().snmptrapIp1[1], "99");
    window.hide();
}

TEST_F(FpargenWindow, OctetsAreWholeNumbersWideEnoughForTheirText) {
    QFont large = QApplication::font();
    large.setPixelSize(40);
    window.setFont(large);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    mk::TRangeEdit* ip = window.ipEdits()[1];
    ip->setFocus();
    ip->selectAll();
    QTest::keyClicks(ip, "12.5");
    EXPECT_EQ(ip->text(), "125");
    EXPECT_TRUE(ip->IsInteger());

    // The room for text inside the frame holds the widest octet, whatever the font.
    for (mk::TRangeEdit* e : window.subnetEdits()) {
        QStyleOptionFrame frame;
        frame.initFrom(e);
        frame.rect = e->rect();
        frame.lineWidth = e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, e);
        const QRect contents = e->style()->subElementRect(QStyle::SE_LineEditContents, &frame, e);
        const QMargins margins = e->textMargins();
        const int room = contents.width() - margins.left() - margins.right() - 4;
        EXPECT_GE(room, e->fontMetrics().horizontalAdvance(QStringLiteral("255")))
            << e->objectName().toStdString();
    }
    window.hide();
}

TEST_F(FpargenWindow, RestoringAMinimisedWindowKeepsTheEdits) {
    mk::TParGen r;
    r.idA = "42";
    mk::save_pargen(pargen(), r);
    window.show();
    ASSERT_EQ(window.devIdA()->text(), "42");
    window.devIdA()->setText("5");
    // Restoring sends the window a show event of its own; only a real opening reloads the file.
    window.setWindowState(Qt::WindowMinimized);
    window.setWindowState(Qt::WindowNoState);
    EXPECT_EQ(window.devIdA()->text(), "5");
    window.hide();
    window.show();
    EXPECT_EQ(window.devIdA()->text(), "42");
    window.hide();
}

// Tab walks the window in reading order: bus A from top to bottom, the address fields, the SDO
// timeout, the SNMP group when it is shown, then the buttons.
TEST_F(FpargenWindow, TabFollowsTheVisualOrder) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.snmpButton()->setChecked(true);
    window.devIdA()->setFocus();
    QStringList seen;
    for (int i = 0; i < 40 && (seen.isEmpty() || QApplication::focusWidget() != window.devIdA());
         ++i) {
        QWidget* w = QApplication::focusWidget();
        const auto* button = qobject_cast<QAbstractButton*>(w);
        seen << (button ? button->text() : w->accessibleName());
        QTest::keyClick(w, Qt::Key_Tab);
    }
    QStringList expected = {"DevID",
                            "Baud rate",
                            "Set Operational State at Start-Up",
                            "Network Start at Start-Up",
                            "Delay",
                            "Can Start on Modbus command",
                            "Add. Word modbus ",
                            "15 RPDO and 3 TPDO"};
    for (const char* label : {"IP", "SubNet Mask"})
        for (int i = 1; i <= 4; ++i)
            expected << QStringLiteral("%1 octet %2").arg(QLatin1String(label)).arg(i);
    expected << "SDO Timeout (1/10 ms)"
             << "Community name Read"
             << "Community name Write";
    for (int t = 1; t <= 3; ++t)
        for (int i = 1; i <= 4; ++i)
            expected << QStringLiteral("IP %1 for SNMP traps octet %2").arg(t).arg(i);
    expected << "SNMP settings"
             << "OK"
             << "Cancel";
    EXPECT_EQ(seen.join(" | ").toStdString(), expected.join(" | ").toStdString());
    window.hide();
}

TEST_F(FpargenWindow, ATypedBitRateIsKeptAsTyped) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QLineEdit* typed = window.baudA()->lineEdit();
    typed->setFocus();
    typed->selectAll();
    QTest::keyClicks(typed, "12"); // "125" is in the list; 12 must not become it
    QTest::keyClick(typed, Qt::Key_Tab);
    EXPECT_EQ(window.record().boudA, "12");
    window.hide();
}

// The baud rate list is the next stop after DevID and can be typed into: with nothing typed in
// it, Ctrl+Z there takes back the window's last change; a rate typed in it is taken back first by
// the list's own field, then Ctrl+Z goes on to the window's steps.
TEST_F(FpargenWindow, UndoKeysReachTheWindowFromTheEditableBaudRateList) {
    mk::save_pargen(pargen(), mk::TParGen{});
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const mk::TParGen opened = window.record();
    const auto undo = [] {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    };
    window.devIdA()->setFocus();
    window.devIdA()->selectAll();
    QTest::keyClicks(window.devIdA(), "7");
    QTest::keyClick(window.devIdA(), Qt::Key_Tab);
    ASSERT_TRUE(window.baudA()->hasFocus());
    const mk::TParGen typed = window.record();
    ASSERT_NE(typed, opened);

    undo();
    EXPECT_EQ(window.record(), opened);
    EXPECT_EQ(window.devIdA()->text(), QString::fromStdString(opened.idA));

    window.baudA()->lineEdit()->selectAll();
    QTest::keyClicks(QApplication::focusWidget(), "33");
    EXPECT_EQ(window.baudA()->currentText(), "33");
    undo();
    EXPECT_EQ(window.baudA()->currentText(), QString::fromStdString(opened.boudA))
        << "the field's own Undo goes first";
    window.hide();
}

// Every change of a field, list, check or choice is one step: Ctrl+Z takes the steps back one by
// one to what the file gave (so Cancel has nothing to ask), Ctrl+Y and Ctrl+Shift+Z make them
// again, a new change drops what was undone, and the next opening starts with no history.
TEST_F(FpargenWindow, UndoAndRedoTakeEveryChangeBackOneByOne) {
    mk::save_pargen(pargen(), mk::TParGen{});
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const mk::TParGen opened = window.record();
    const auto key = [](Qt::Key k, Qt::KeyboardModifiers m = Qt::ControlModifier) {
        QTest::keyClick(QApplication::focusWidget(), k, m);
    };
    window.devIdA()->setFocus();
    window.devIdA()->selectAll();
    QTest::keyClicks(window.devIdA(), "7");
    key(Qt::Key_Tab, Qt::NoModifier);
    const mk::TParGen typed = window.record();
    QTest::mouseClick(window.operationalAtStart(), Qt::LeftButton);
    const mk::TParGen ticked = window.record();
    QTest::mouseClick(window.layout8x8(), Qt::LeftButton);
    ASSERT_NE(window.record(), ticked);
    ASSERT_NE(ticked, typed);
    ASSERT_NE(typed, opened);

    key(Qt::Key_Z);
    EXPECT_EQ(window.record(), ticked);
    key(Qt::Key_Z);
    EXPECT_EQ(window.record(), typed);
    key(Qt::Key_Z);
    EXPECT_EQ(window.record(), opened);
    key(Qt::Key_Y);
    EXPECT_EQ(window.record(), typed);
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(window.record(), ticked);
    QTest::mouseClick(window.networkStart(), Qt::LeftButton);
    const mk::TParGen changed = window.record();
    key(Qt::Key_Y);
    EXPECT_EQ(window.record(), changed) << "a new change drops what was undone";
    key(Qt::Key_Z);
    key(Qt::Key_Z);
    key(Qt::Key_Z);
    EXPECT_EQ(window.record(), opened);
    window.reject(); // nothing left to ask about: the window closes
    EXPECT_TRUE(sink.entries.empty()) << lastMessage();
    EXPECT_TRUE(sink.questions.empty());
    EXPECT_FALSE(window.isVisible());

    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::mouseClick(window.networkStart(), Qt::LeftButton);
    key(Qt::Key_Z);
    key(Qt::Key_Z);
    EXPECT_EQ(window.record(), opened) << "the history of the last opening is gone";
    window.hide();
}

} // namespace
