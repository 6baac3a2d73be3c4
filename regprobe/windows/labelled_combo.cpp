#include "regprobe/windows/labelled_combo.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

namespace rp {

namespace {

class LabelledComboAccessible final : public QAccessibleWidget {
public:
    explicit LabelledComboAccessible(QComboBox* combo)
        : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name:
            // A list without a name of its own is known by what it shows, as before.
            return combo()->accessibleName().isEmpty() ? value() : combo()->accessibleName();
        case QAccessible::Value:
            return value();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    // The list that drops down, then the edit field of an editable combo box.
    int childCount() const override { return combo()->lineEdit() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(combo()->view());
        if (index == 1 && combo()->lineEdit())
            return QAccessible::queryAccessibleInterface(combo()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child)
            return -1;
        if (child->object() == combo()->view())
            return 0;
        if (combo()->lineEdit() && child->object() == combo()->lineEdit())
            return 1;
        return -1;
    }

    QStringList actionNames() const override {
        return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction())
            combo()->view()->isVisible() ? combo()->hidePopup() : combo()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    QComboBox* combo() const { return static_cast<QComboBox*>(widget()); }
    QString value() const {
        return combo()->isEditable() ? combo()->lineEdit()->text() : combo()->currentText();
    }
};

// Every combo box: its interface is made (and kept) as soon as the list gets its first item,
// before the window names it.
QAccessibleInterface* labelledComboFactory(const QString& key, QObject* object) {
    auto* combo = qobject_cast<QComboBox*>(object);
    if (key == QLatin1String("QComboBox") && combo)
        return new LabelledComboAccessible(combo);
    return nullptr;
}

} // namespace

void nameCombosAfterLabels() {
    static const bool installed = [] {
        QAccessible::installFactory(labelledComboFactory);
        return true;
    }();
    (void)installed;
}

} // namespace rp
