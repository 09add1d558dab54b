#pragma once

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QTest>

// What an operator does, as input events rather than calls.
namespace Operator {

// Opens the list with a click and clicks the entry in its popup.
inline bool Pick(QComboBox *list, int index)
{
    QTest::mouseClick(list, Qt::LeftButton);
    QAbstractItemView *view = list->view();
    if (!QTest::qWaitForWindowExposed(view->window()))
        return false;
    const QRect entry = view->visualRect(view->model()->index(index, 0));
    if (!entry.isValid())
        return false;
    // The popup ignores the release of the click that opened it until the
    // pointer has moved over it, as a hand on the mouse would.
    QTest::mouseMove(view->viewport(), entry.center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, entry.center());
    return !view->isVisible();
}

// Clicks a check box on its box.
inline void Click(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

} // namespace Operator
