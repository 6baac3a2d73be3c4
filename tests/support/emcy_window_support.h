#pragma once

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QStringList>
#include <QTest>
#include <QTreeView>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "test_files.h"

namespace mk::test {

// What a user does in the EMCY windows: clicks on list rows, types into fields.

template <typename T> T* child(const QWidget* window, const char* name) {
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        ADD_FAILURE() << "no control named " << name;
    return found;
}

inline void clickRow(QTreeView* view, int row) {
    const QRect rect = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
}

// A radio button takes clicks on its indicator and text only, so the click goes to the left end.
inline void clickChoice(QAbstractButton* choice) {
    QTest::mouseClick(choice, Qt::LeftButton, {}, QPoint(6, choice->height() / 2));
}

inline void typeInto(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

inline QString cellText(const QTreeView* view, int row, int column = 0) {
    return view->model()->index(row, column).data().toString();
}

inline int selectedLine(const QTreeView* view) {
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

// What Tab passes through, starting from `first` until the focus comes back to it: a button by
// its text (a choice with its group's title), any other control by its accessible name.
inline QStringList tabWalk(QWidget* first) {
    first->setFocus();
    QStringList seen;
    for (int i = 0; i < 40 && (seen.isEmpty() || QApplication::focusWidget() != first); ++i) {
        QWidget* w = QApplication::focusWidget();
        const auto* button = qobject_cast<QAbstractButton*>(w);
        const auto* box = qobject_cast<QGroupBox*>(w->parentWidget());
        const QString name = button ? button->text() : w->accessibleName();
        seen << (box && button ? box->title() + ": " + name : name);
        QTest::keyClick(w, Qt::Key_Tab);
    }
    return seen;
}

} // namespace mk::test
