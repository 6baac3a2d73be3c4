// The numeric field driven by key events, as the user types into it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>

#include "controls/windows/TRangeEdit.h"
#include "core/message_sink.h"

namespace {

using mk::TBase;
using mk::TRangeEdit;

class RangeEdit : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        field = new TRangeEdit(window.get());
        other = new TRangeEdit(window.get());
        layout->addWidget(field);
        layout->addWidget(other);
        field->setMessageSink(&sink);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        field->setFocus();
        ASSERT_TRUE(field->hasFocus());
    }

    // A configurator octet field: 0 to 255, everything else at its default.
    void makeOctet(const char* text) {
        field->setMaxVal(255);
        type(text);
    }
    // Sets the text as the user would leave it: assigned, then made the last valid text by a
    // key release.
    void type(const char* text) {
        field->setText(QString::fromUtf8(text));
        QTest::keyClick(field, Qt::Key_End);
    }
    void click(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(field, key, mods);
    }
    QString text() const { return field->text(); }

    std::unique_ptr<QWidget> window;
    TRangeEdit* field = nullptr;
    TRangeEdit* other = nullptr;
    mk::RecordingSink sink;
};

TEST_F(RangeEdit, NewFieldHoldsZeroInTheDecimalBase) {
    EXPECT_EQ(text(), "0");
    EXPECT_EQ(field->Base(), TBase::Decimale);
    EXPECT_EQ(field->NumDec(), 3);
    EXPECT_FALSE(field->hasRange());
    EXPECT_EQ(field->currentBackground(), field->NormalColor());
    field->setNormalColor(Qt::white);
    EXPECT_EQ(field->currentBackground(), QColor(Qt::white));
}

TEST_F(RangeEdit, TypingOverASelectionGivesThreeHundredWhichLeavingRefuses) {
    makeOctet("255");
    field->selectAll();
    QTest::keyClicks(field, "300");
    EXPECT_EQ(text(), "300");
    // Typing is free, but an octet outside 0 to 255 cannot be left behind.
    EXPECT_FALSE(field->Exit());
    EXPECT_EQ(text(), "300");
    field->selectAll();
    QTest::keyClicks(field, "-7");
    EXPECT_FALSE(field->Exit());
    field->selectAll();
    QTest::keyClicks(field, "255");
    EXPECT_TRUE(field->Exit());
}

TEST_F(RangeEdit, ArrowsStepWithinTheRange) {
    makeOctet("254");
    click(Qt::Key_Up);
    EXPECT_EQ(text(), "255");
    click(Qt::Key_Up);
    EXPECT_EQ(text(), "255");
    type("0");
    click(Qt::Key_Down);
    EXPECT_EQ(text(), "0");
    type("250");
    click(Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(text(), "255");
    type("200");
    click(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(text(), "100");
    click(Qt::Key_Down, Qt::ShiftModifier | Qt::AltModifier); // not an exact set: step 1
    EXPECT_EQ(text(), "99");
}

TEST_F(RangeEdit, WithoutARangeStepsHaveNoLimitAndKeepTheSeparator) {
    type("2,5");
    click(Qt::Key_Up, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(text(), "1002,5");
    type("0");
    click(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(text(), "-100");
    type("12AB");
    click(Qt::Key_Up);
    EXPECT_EQ(text(), "13");
    field->setText("-,");
    click(Qt::Key_Up);
    EXPECT_EQ(text(), "1");
    field->setReadOnly(true);
    click(Qt::Key_Up);
    EXPECT_EQ(text(), "1");
}

TEST_F(RangeEdit, DeletingEverythingLeavesZero) {
    type("123");
    field->selectAll();
    click(Qt::Key_Backspace);
    EXPECT_EQ(text(), "0");
    click(Qt::Key_7); // the 0 is selected and replaced
    EXPECT_EQ(text(), "7");
}

TEST_F(RangeEdit, MinusOnlyAtTheStart) {
    type("12");
    field->setCursorPosition(0);
    click(Qt::Key_Minus);
    EXPECT_EQ(text(), "-12");
    type("12");
    field->setCursorPosition(1);
    click(Qt::Key_Minus);
    EXPECT_EQ(text(), "12");

    type("-1.");
    QTest::keyPress(field, Qt::Key_Minus);
    EXPECT_EQ(text(), "-1.");
    EXPECT_EQ(field->currentBackground(), field->ErrorColor());
    QTest::keyRelease(field, Qt::Key_Minus);
    EXPECT_EQ(field->currentBackground(), field->NormalColor());
}

TEST_F(RangeEdit, OneSeparatorUnlessTheSelectionHoldsIt) {
    type("1.5");
    click(Qt::Key_Period);
    click(Qt::Key_Comma);
    EXPECT_EQ(text(), "1.5");
    field->setSelection(1, 1); // the "."
    click(Qt::Key_Comma);
    EXPECT_EQ(text(), "1,5");
    type("12");
    click(Qt::Key_Period, Qt::KeypadModifier);
    EXPECT_EQ(text(), "12.");

    field->setIsInteger(true);
    type("12");
    QTest::keyPress(field, Qt::Key_Period);
    EXPECT_EQ(field->currentBackground(), field->ErrorColor());
    EXPECT_EQ(text(), "12");
    QTest::keyRelease(field, Qt::Key_Period);
}

TEST_F(RangeEdit, RefusedKeysColourTheFieldUntilReleased) {
    type("12");
    int seen = -1;
    field->setOnKeyDown([&](int key, Qt::KeyboardModifiers) { seen = key; });
    field->setCursorPosition(1);
    QTest::keyPress(field, Qt::Key_G);
    EXPECT_EQ(field->currentBackground(), field->ErrorColor());
    EXPECT_EQ(seen, 0); // the field consumed the key
    EXPECT_EQ(field->cursorPosition(), 2);
    QTest::keyRelease(field, Qt::Key_G);
    EXPECT_EQ(field->currentBackground(), field->NormalColor());
    click(Qt::Key_A); // hexadecimal digits are not decimal keys
    EXPECT_EQ(text(), "12");
    click(Qt::Key_3, Qt::KeypadModifier);
    EXPECT_EQ(seen, int(Qt::Key_3));
    EXPECT_EQ(text(), "123");
    click(Qt::Key_4, Qt::ShiftModifier | Qt::AltModifier);
    click(Qt::Key_5, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(text(), "123");
}

TEST_F(RangeEdit, PastedAndAssignedTextsFollowTheTextRules) {
    type("0");
    field->selectAll();
    field->insert("1g2ab"); // what a paste does
    EXPECT_EQ(text(), "12AB");
    other->setText("7-8x");
    EXPECT_EQ(other->text(), "78");
    other->setText("");
    EXPECT_EQ(other->text(), "0");
}

TEST_F(RangeEdit, LeavingReformatsTheNumber) {
    type("12.34567");
    EXPECT_TRUE(field->Exit());
    EXPECT_EQ(text(), "12.346");
    field->setNumDec(5);
    type("12.34567");
    field->Exit();
    EXPECT_EQ(text(), "12.34567");
    type("1,50");
    field->Exit();
    EXPECT_EQ(text(), "1,5");
}

TEST_F(RangeEdit, LeavingASignAloneIsAnErrorThatKeepsTheFocus) {
    QSignalSpy flashes(field, &TRangeEdit::errorFlashed);
    type("-");
    other->setFocus();
    EXPECT_TRUE(field->hasFocus());
    EXPECT_EQ(flashes.count(), 1);
    EXPECT_EQ(field->cursorPosition(), 1);
    type("5");
    other->setFocus();
    EXPECT_TRUE(other->hasFocus());
}

TEST_F(RangeEdit, LeavingATextThatIsNotANumberKeepsIt) {
    // A pasted text keeps the digits and A to F; leaving neither rewrites nor refuses it, so the
    // host sees what the user pasted and decides whether it can be saved.
    makeOctet("5");
    field->selectAll();
    field->insert("1G2a");
    ASSERT_EQ(text(), "12A");
    QSignalSpy flashes(field, &TRangeEdit::errorFlashed);
    other->setFocus();
    EXPECT_TRUE(other->hasFocus());
    EXPECT_EQ(text(), "12A");
    EXPECT_EQ(flashes.count(), 0);
    field->setText("421E5");
    EXPECT_TRUE(field->Exit());
    EXPECT_EQ(text(), "421E5");
}

TEST_F(RangeEdit, AFieldInErrorThatIsHiddenLeavesTheFocusAlone) {
    // An error found while the field disappears (its group folded away) cannot be corrected
    // there: the focus goes on to a visible field instead of being pulled back.
    auto* group = new QWidget(window.get());
    auto* inner = new TRangeEdit(group);
    inner->setMaxVal(255);
    (new QVBoxLayout(group))->addWidget(inner);
    window->layout()->addWidget(group);
    group->show();
    inner->setFocus();
    ASSERT_TRUE(inner->hasFocus());
    inner->setText("300");
    group->hide();
    EXPECT_NE(QApplication::focusWidget(), inner);
    EXPECT_FALSE(inner->hasFocus());
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_TRUE(QApplication::focusWidget()->isVisible());
    EXPECT_FALSE(inner->Exit());
    EXPECT_NE(QApplication::focusWidget(), inner);
}

TEST_F(RangeEdit, BothBoundsSetCheckTheRangeOnLeaving) {
    field->setMinval(10);
    field->setMaxVal(20);
    type("25");
    EXPECT_FALSE(field->Exit());
    type("15");
    EXPECT_TRUE(field->Exit());
    field->setLungDec(4); // a length limit turns the check off
    type("25");
    EXPECT_TRUE(field->Exit());
}

TEST_F(RangeEdit, BaseChangesConvertTheValue) {
    field->setConvertiValore(true);
    type("25");
    field->setBase(TBase::Binario);
    EXPECT_EQ(text(), "11001");
    EXPECT_EQ(field->lastValidText(), "11001");
    click(Qt::Key_2); // not a binary key
    EXPECT_EQ(text(), "11001");
    field->setBase(TBase::Esadecimale);
    EXPECT_EQ(text(), "19");
    field->setBase(TBase::BCD);
    EXPECT_EQ(text(), "100101");
    field->setBase(TBase::Decimale);
    EXPECT_EQ(text(), "25");
    EXPECT_TRUE(sink.entries.empty());

    type("-3");
    field->setBase(TBase::Binario);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Il valore deve essere positivo !!!!"});
    EXPECT_EQ(field->Base(), TBase::Decimale);
    EXPECT_EQ(text(), "-3");

    type("12.7");
    field->setBase(TBase::Ottale);
    EXPECT_EQ(text(), "14");
}

TEST_F(RangeEdit, BadBcdGroupsAreReported) {
    field->setBase(TBase::BCD); // without conversion the text restarts at 0
    EXPECT_EQ(text(), "0");
    field->selectAll();
    QTest::keyClicks(field, "1010");
    EXPECT_EQ(text(), "1010");
    field->setConvertiValore(true);
    field->setBase(TBase::Esadecimale);
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"Codice BCD scorretto"});
    EXPECT_EQ(field->Base(), TBase::BCD);
    EXPECT_EQ(text(), "1010");
    click(Qt::Key_Up);
    EXPECT_EQ(sink.texts().back(), "Codice BCD scorreto");
    EXPECT_EQ(text(), "1");
}

TEST_F(RangeEdit, BcdFieldLeavingChecksGroupsAndBoundsStrictly) {
    field->setBase(TBase::BCD);
    type("1010");
    EXPECT_FALSE(field->Exit());
    type("1001");
    EXPECT_TRUE(field->Exit()); // no range: only the groups are checked
    field->setMaxVal(9);
    EXPECT_FALSE(field->Exit()); // 9 is a bound, and bounds are errors
    type("1000");
    EXPECT_TRUE(field->Exit());
}

TEST_F(RangeEdit, NonDecimalBasesStepWithoutAnUpperLimit) {
    field->setBase(TBase::Esadecimale);
    type("FF");
    click(Qt::Key_Up);
    EXPECT_EQ(text(), "100");
    type("5");
    click(Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(text(), "0");
    click(Qt::Key_B);
    EXPECT_EQ(text(), "0B");
}

TEST_F(RangeEdit, LengthLimitUndoesTheExtraCharacter) {
    field->setBase(TBase::Esadecimale);
    field->setLungEsa(2);
    field->setLungEsa(-1); // negative values leave the limit as it was
    EXPECT_EQ(field->LungEsa(), 2);
    field->selectAll();
    QTest::keyClicks(field, "ABC");
    EXPECT_EQ(text(), "AB");
}

TEST_F(RangeEdit, ATextTheHostAssignedSurvivesARefusedKey) {
    // The host fills the field while the user is elsewhere, then the user clicks into it (no key
    // is released in the field) and hits a wrong key: the assigned text must stay.
    other->setFocus();
    field->setText("192");
    field->setFocus(Qt::MouseFocusReason);
    click(Qt::Key_G);
    EXPECT_EQ(text(), "192");
}

} // namespace
