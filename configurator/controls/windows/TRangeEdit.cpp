#include "controls/windows/TRangeEdit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMessageBox>
#include <QPalette>
#include <QThread>
#include <algorithm>

#include "core/message_sink.h"

namespace mk {

namespace {

constexpr Qt::KeyboardModifiers kChordModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

// Set while a field that is in error takes the focus back, so that the field the focus briefly
// went to does not run its own leaving check and pull the focus the other way.
bool reclaimingFocus = false;

bool isDigitKey(int key) {
    return key >= Qt::Key_0 && key <= Qt::Key_9;
}
bool isMinusKey(int key) {
    return key == Qt::Key_Minus;
}
// The keypad decimal point, the period key and the comma key.
bool isDecimalKey(int key) {
    return key == Qt::Key_Period || key == Qt::Key_Comma;
}

// Keys every base accepts: editing and navigation keys, the modifier and lock keys, F1 to F12.
bool isCommonKey(int key) {
    switch (key) {
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Insert:
    case Qt::Key_Delete:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        return true;
    default:
        return key >= Qt::Key_F1 && key <= Qt::Key_F12;
    }
}

bool isBaseDigitKey(TBase base, int key) {
    if (isDigitKey(key)) {
        const int digit = key - Qt::Key_0;
        switch (base) {
        case TBase::Decimale:
        case TBase::Esadecimale:
            return true;
        case TBase::Binario:
        case TBase::BCD:
            return digit <= 1;
        case TBase::Ottale:
            return digit <= 7;
        }
    }
    return base == TBase::Esadecimale && key >= Qt::Key_A && key <= Qt::Key_F;
}

// Clipboard and undo shortcuts edit the text like a paste does; their result goes through the
// text-change rules, so they are let through instead of being refused as letters.
bool isEditingShortcut(QKeyEvent* event) {
    return event->matches(QKeySequence::Copy) || event->matches(QKeySequence::Cut) ||
           event->matches(QKeySequence::Paste) || event->matches(QKeySequence::SelectAll) ||
           event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo);
}

int stepFor(Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers held = modifiers & kChordModifiers;
    if (held == Qt::AltModifier)
        return 10;
    if (held == Qt::ControlModifier)
        return 100;
    if (held == (Qt::ControlModifier | Qt::AltModifier))
        return 1000;
    return 1;
}

bool hasMisplacedMinus(const QString& text) {
    return text.lastIndexOf(QLatin1Char('-')) > 0;
}

} // namespace

TRangeEdit::TRangeEdit(QWidget* parent)
    : QLineEdit(QStringLiteral("0"), parent), normalColor_(palette().color(QPalette::Button)) {
    setBackground(normalColor_);
    connect(this, &QLineEdit::textChanged, this, &TRangeEdit::onTextChanged);
}

void TRangeEdit::setNormalColor(const QColor& color) {
    normalColor_ = color;
    setBackground(color);
}

QColor TRangeEdit::currentBackground() const {
    return palette().color(QPalette::Base);
}

void TRangeEdit::setBackground(const QColor& color) {
    errorShown_ = color == errorColor_ && color != normalColor_;
    QPalette p = palette();
    p.setColor(QPalette::Base, color);
    setPalette(p);
}

void TRangeEdit::errorFlash() {
    setBackground(errorColor_);
    repaint();
    QThread::msleep(50);
    setBackground(normalColor_);
    emit errorFlashed();
}

int TRangeEdit::lengthLimit() const {
    switch (base_) {
    case TBase::Decimale:
        return lungDec_;
    case TBase::Binario:
        return lungBin_;
    case TBase::Esadecimale:
        return lungEsa_;
    case TBase::Ottale:
        return lungOct_;
    case TBase::BCD:
        return lungBcd_;
    }
    return 0;
}

char TRangeEdit::separatorFor(const std::string& text) const {
    if (const auto own = range::separator_of(text))
        return *own;
    // A text without a separator is formatted with the desktop's decimal separator.
    const QString system = QLocale::system().decimalPoint();
    if (system == QLatin1String(","))
        return ',';
    return '.';
}

void TRangeEdit::replaceText(const std::string& text) {
    const QString t = QString::fromStdString(text);
    if (t != this->text())
        setText(t);
}

void TRangeEdit::showMessage(std::string_view text) {
    if (sink_) {
        sink_->show(text, MessageKind::Information);
        return;
    }
    QMessageBox::information(window(), QApplication::applicationName(),
                             QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void TRangeEdit::refuse(bool caretToEnd) {
    setBackground(errorColor_);
    const int caret = cursorPosition();
    replaceText(lastValid_);
    if (caretToEnd)
        end(false);
    else
        setCursorPosition(std::min(caret, static_cast<int>(text().size())));
}

void TRangeEdit::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers held = event->modifiers() & kChordModifiers;
    const bool decimalBase = base_ == TBase::Decimale;

    if (isEditingShortcut(event)) {
        QLineEdit::keyPressEvent(event);
        return;
    }

    bool permission = false;
    if (isMinusKey(key)) {
        if (text().startsWith(QLatin1Char('-')))
            replaceText(lastValid_);
        else
            permission = decimalBase;
        if (text().contains(QLatin1Char('-')))
            replaceText(lastValid_);
    }
    if (isDecimalKey(key)) {
        const QString t = text();
        const QString sel = selectedText();
        const bool hasSeparator = t.contains(QLatin1Char('.')) || t.contains(QLatin1Char(','));
        const bool selectionHoldsOne =
            sel.contains(QLatin1Char('.')) || sel.contains(QLatin1Char(','));
        permission = decimalBase && (!hasSeparator || selectionHoldsOne);
    }
    const bool arrow = key == Qt::Key_Up || key == Qt::Key_Down;
    if (arrow && !isReadOnly())
        stepValue(key == Qt::Key_Up ? 1 : -1, event->modifiers());

    bool refused = false;
    bool consumed = false;
    if (isCommonKey(key) || isBaseDigitKey(base_, key) || permission) {
        if (isInteger_ && isDecimalKey(key)) {
            refuse(false);
            refused = true;
        } else {
            lastValid_ = text().toStdString();
        }
    } else {
        refuse(true);
        refused = true;
        consumed = true;
    }
    // Shift+Alt with a digit and Ctrl+Alt+5 type other characters on some layouts.
    if (!refused && isDigitKey(key) && held == (Qt::ShiftModifier | Qt::AltModifier)) {
        refuse(false);
        refused = true;
    }
    if (!refused && key == Qt::Key_5 && held == (Qt::ControlModifier | Qt::AltModifier)) {
        refuse(false);
        refused = true;
    }
    if (!refused && hasMisplacedMinus(text()) && !permission) {
        refuse(false);
        refused = true;
    }

    if (onKeyDown_)
        onKeyDown_(consumed ? 0 : key, event->modifiers());

    if (refused || arrow) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TRangeEdit::keyReleaseEvent(QKeyEvent* event) {
    // A held key repeats its press only; the error colour stays until the real release.
    if (event->isAutoRepeat()) {
        QLineEdit::keyReleaseEvent(event);
        return;
    }
    int key = event->key();
    if (hasMisplacedMinus(text())) {
        key = 0;
        replaceText(lastValid_);
        errorFlash();
    }
    lastValid_ = text().toStdString();
    if (errorShown_ && !text().isEmpty()) {
        const bool keepsCaret = key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up ||
                                key == Qt::Key_Down || key == Qt::Key_Shift || key == Qt::Key_Home;
        if (!keepsCaret)
            end(false);
    }
    setBackground(normalColor_);
    event->accept();
}

void TRangeEdit::onTextChanged(const QString& text) {
    emit Change(text);
    const std::string current = text.toStdString();
    const range::TextRuleResult result =
        range::apply_text_rules(current, {base_, lengthLimit(), lastValid_, hasFocus()});
    if (result.text != current) {
        const int caret = cursorPosition();
        const int removed = static_cast<int>(text.size()) - static_cast<int>(result.text.size());
        // The rules run again on the new text (through this same handler) and find it stable.
        setText(QString::fromStdString(result.text));
        if (current.empty())
            // The "0" that replaces an emptied text is selected, so the next digit typed
            // replaces it instead of standing before it.
            selectAll();
        else
            setCursorPosition(
                std::clamp(caret - std::max(0, removed), 0, static_cast<int>(this->text().size())));
    } else if (base_ == TBase::Decimale && !range::is_bare_sign_or_separator(current)) {
        if (const auto value = range::read_decimal(current)) {
            const long double rounded = range::round_to_pattern(*value, numDec_);
            if (!hasRange() || (rounded >= minval_ && rounded <= maxval_))
                lastInRange_ = rounded;
        }
    }
    if (result.error_flash)
        errorFlash();
}

void TRangeEdit::stepValue(int direction, Qt::KeyboardModifiers modifiers) {
    const int step = stepFor(modifiers) * direction;
    const std::string original = text().toStdString();
    if (base_ == TBase::Decimale) {
        std::string t = original.empty() ? original : range::leading_number(original);
        // A sign or separator without digits counts as an empty text, whichever separator.
        if (range::is_bare_sign_or_separator(t))
            t.clear();
        long double value = t.empty() ? 0 : range::read_decimal(t).value_or(lastInRange_);
        value += step;
        if (hasRange()) {
            value = std::min(value, maxval_);
            value = std::max(value, minval_);
        }
        replaceText(range::format_number(value, numDec_, separatorFor(original)));
        return;
    }
    bool badBcd = false;
    const std::string value = range::value_of(original, base_, &badBcd);
    if (badBcd)
        showMessage(kMsgBadBcdOnStep);
    replaceText(range::write_in_base(range::decimal_add(value, step), base_));
}

long double TRangeEdit::currentValue() const {
    const std::string t = text().toStdString();
    if (const auto value = range::read_decimal(t)) {
        const long double rounded = range::round_to_pattern(*value, numDec_);
        if (!hasRange() || (rounded >= minval_ && rounded <= maxval_))
            return rounded;
    }
    return lastInRange_;
}

bool TRangeEdit::leaveRules() {
    std::string t = text().toStdString();
    if (base_ == TBase::Decimale) {
        if (t.empty())
            t = "0";
        // A text that is not a number (a pasted "12A" or "1E5") stays as it is: the user sees
        // what was pasted, and the host refuses to save what it cannot use.
        if (const auto value = range::read_decimal(t))
            t = range::format_number(*value, numDec_, separatorFor(t));
        replaceText(t);
        if (lungDec_ > 0)
            return true;
        const std::string shown = text().toStdString();
        if (shown == "-" || shown == "-." || shown == "-,")
            return false;
        // The range binds whenever one is set. Checking it only when both bounds are non-zero
        // let an octet field with the range 0 to 255 keep 300, which the device would then
        // receive as 44.
        if (hasRange()) {
            if (const auto v = range::read_decimal(shown); v && (*v > maxval_ || *v < minval_))
                return false;
        }
        return true;
    }
    if (t.empty())
        replaceText("0");
    if (base_ != TBase::BCD)
        return true;
    const std::string decoded = range::bcd_decode(text().toStdString());
    if (decoded.find('E') != std::string::npos)
        return false;
    // Without a range there are no bounds to lie between; only the digit groups are checked.
    if (!hasRange())
        return true;
    const long double v = range::read_decimal(range::trim_decimal(decoded)).value_or(0);
    return v > minval_ && v < maxval_;
}

bool TRangeEdit::Exit() {
    if (leaveRules()) {
        setBackground(normalColor_);
        return true;
    }
    errorFlash();
    // A field that is no longer visible (its group was folded away) cannot be corrected where
    // it is; pulling the focus back into it would leave the keys going nowhere the user sees.
    // While a group is being hidden its children still count as visible, so the check goes
    // through every parent up to the window.
    if (isVisibleTo(window()) && window()->isVisible()) {
        reclaimingFocus = true;
        setFocus(Qt::OtherFocusReason);
        reclaimingFocus = false;
        end(false);
    }
    return false;
}

void TRangeEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // The text the user finds on entering is the one to return to. A text the host assigned
    // would otherwise become the last valid text only at the first key release in the field, and
    // a refused first key (after a click into the field) would bring back an older text.
    lastValid_ = text().toStdString();
}

void TRangeEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // Switching to another window or opening a menu is not leaving the field.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    if (reclaimingFocus)
        return;
    Exit();
}

void TRangeEdit::setBase(TBase base) {
    const TBase old = base_;
    base_ = base;
    std::string next;
    if (!convertiValore_) {
        next = "0";
    } else {
        const range::ConversionResult r = range::convert_text(text().toStdString(), old, base,
                                                              range::integer_part(currentValue()));
        if (r.outcome == range::ConversionOutcome::NegativeDecimal) {
            base_ = TBase::Decimale;
            showMessage(kMsgValueMustBePositive);
            return;
        }
        if (r.outcome == range::ConversionOutcome::BadBcd) {
            base_ = TBase::BCD;
            showMessage(kMsgBadBcdOnConvert);
            return;
        }
        next = r.text;
    }
    // The keys, the sign and separator permissions all follow base_ from here on.
    lastValid_ = next;
    replaceText(next);
    lastValid_ = text().toStdString();
    setEnabled(true);
}

} // namespace mk
