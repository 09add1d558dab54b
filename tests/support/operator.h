#pragma once

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QTest>

// What an operator does, as input events rather than calls.
namespace Operator {

// Opens the list with a click near its left edge, scrolls the entry into
// view, and clicks it near its right end. The popup ignores a release too
// close to the click that opened it, as it would under a real hand.
inline bool Pick(QComboBox *list, int index)
{
    QTest::mouseClick(list, Qt::LeftButton, {}, QPoint(3, list->height() / 2));
    QAbstractItemView *view = list->view();
    if (!QTest::qWaitForWindowExposed(view->window()))
        return false;
    const QModelIndex item = view->model()->index(index, list->modelColumn(), list->rootModelIndex());
    view->scrollTo(item);
    const QRect entry = view->visualRect(item);
    if (!entry.isValid() || !view->viewport()->rect().contains(entry.center()))
        return false;
    const auto pointAt = [&] {
        const QRect rect = view->visualRect(item);
        return QPoint(qMin(rect.right(), view->viewport()->width()) - 12, rect.center().y());
    };
    QTest::mouseMove(view->viewport(), pointAt() - QPoint(4, 0));  // a pointer already there would not move
    // A popup taller than the screen may scroll under the first hover.
    const QPoint at = pointAt();
    QTest::mouseMove(view->viewport(), at);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    return !view->isVisible();
}

// Clicks a check box on its box.
inline void Click(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

} // namespace Operator
