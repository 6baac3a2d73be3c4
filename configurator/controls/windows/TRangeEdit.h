#pragma once

#include <QColor>
#include <QLineEdit>
#include <functional>
#include <string>
#include <string_view>

#include "controls/range_text.h"

namespace mk {

class MessageSink;

// A one-line field for one number in a chosen base (decimal, binary, hexadecimal, octal or
// BCD). It filters the keys typed into it, keeps its text in a valid form, steps the value with
// Up and Down, checks its range when the user leaves it and shows a refused input by colouring
// its background. Changing the base can convert the value it holds.
class TRangeEdit : public QLineEdit {
    Q_OBJECT
public:
    // The host's key handler: runs after the field's own key handling with the key, or 0 when
    // the field consumed it.
    using KeyHandler = std::function<void(int key, Qt::KeyboardModifiers modifiers)>;

    explicit TRangeEdit(QWidget* parent = nullptr);

    long double Minval() const { return minval_; }
    void setMinval(long double value) { minval_ = value; }
    long double MaxVal() const { return maxval_; }
    void setMaxVal(long double value) { maxval_ = value; }
    bool IsInteger() const { return isInteger_; }
    void setIsInteger(bool value) { isInteger_ = value; }
    quint8 NumDec() const { return numDec_; }
    void setNumDec(quint8 value) { numDec_ = value; }
    QColor NormalColor() const { return normalColor_; }
    void setNormalColor(const QColor& color);
    QColor ErrorColor() const { return errorColor_; }
    void setErrorColor(const QColor& color) { errorColor_ = color; }
    TBase Base() const { return base_; }
    void setBase(TBase base);
    int LungBin() const { return lungBin_; }
    void setLungBin(int value) { setLength(lungBin_, value); }
    int LungDec() const { return lungDec_; }
    void setLungDec(int value) { setLength(lungDec_, value); }
    int LungEsa() const { return lungEsa_; }
    void setLungEsa(int value) { setLength(lungEsa_, value); }
    int LungOct() const { return lungOct_; }
    void setLungOct(int value) { setLength(lungOct_, value); }
    int LungBCD() const { return lungBcd_; }
    void setLungBCD(int value) { setLength(lungBcd_, value); }
    bool ConvertiValore() const { return convertiValore_; }
    void setConvertiValore(bool value) { convertiValore_ = value; }
    void setOnKeyDown(KeyHandler handler) { onKeyDown_ = std::move(handler); }

    // Where the field's conversion messages go; without one they appear in a message box.
    void setMessageSink(MessageSink* sink) { sink_ = sink; }

    // A range is set when the bounds differ or are both non-zero.
    bool hasRange() const { return maxval_ != minval_ || maxval_ != 0; }
    QString lastValidText() const { return QString::fromStdString(lastValid_); }
    long double lastInRangeValue() const { return lastInRange_; }
    QColor currentBackground() const;

    // The rules of leaving the field: reformats a number and checks it. When the field is in
    // error it flashes, takes the focus back while it is visible, and returns false. A text
    // that is not a number is left as it is and is no error here: the host decides whether it
    // can be saved. Hosts run it before they read a field that still has the focus (an OK taken
    // with Enter never moves the focus).
    bool Exit();

signals:
    // The host's change notification: every new text, before the field applies its rules.
    void Change(const QString& text);
    // Emitted after each error flash.
    void errorFlashed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void onTextChanged(const QString& text);
    void stepValue(int direction, Qt::KeyboardModifiers modifiers);
    bool leaveRules();
    void refuse(bool caretToEnd);
    void errorFlash();
    void setBackground(const QColor& color);
    void replaceText(const std::string& text);
    void showMessage(std::string_view text);
    int lengthLimit() const;
    char separatorFor(const std::string& text) const;
    long double currentValue() const;
    static void setLength(int& property, int value) {
        if (value >= 0)
            property = value;
    }

    long double minval_ = 0;
    long double maxval_ = 0;
    bool isInteger_ = false;
    quint8 numDec_ = 3;
    QColor normalColor_;
    QColor errorColor_ = Qt::red;
    TBase base_ = TBase::Decimale;
    int lungBin_ = 0;
    int lungDec_ = 0;
    int lungEsa_ = 0;
    int lungOct_ = 0;
    int lungBcd_ = 0;
    bool convertiValore_ = false;
    KeyHandler onKeyDown_;
    MessageSink* sink_ = nullptr;

    std::string lastValid_ = "0";
    long double lastInRange_ = 0;
    bool errorShown_ = false;
};

} // namespace mk
