#pragma once

#include "fakeport.h"
#include "testenv.h"

#include "panel/frm718.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

// The window's controls, found by name as an operator's tools find them.
struct Controls
{
    const QWidget &window;

    template <class T = QWidget>
    T *find(const QString &name) const { return window.findChild<T *>(name); }
    QComboBox *list(const QString &name) const { return find<QComboBox>(name); }
    QCheckBox *box(const QString &name) const { return find<QCheckBox>(name); }
    QLineEdit *field(const QString &name) const { return find<QLineEdit>(name); }
    QString text(const QString &label) const { return find<QLabel>(label)->text(); }
    QList<QMessageBox *> messages() const { return window.findChildren<QMessageBox *>(); }

    // The named controls at a glance, one word each: a list "position/entries", a box 1 or 0, a button, field or
    // label its text; "-" for a hidden control and "!" in front of a disabled one.
    QString state(const QString &names) const
    {
        QStringList words;
        for (const QString &name : names.split(' ')) {
            const QWidget *control = find(name);
            QString word;
            if (auto *list = qobject_cast<const QComboBox *>(control))
                word = QStringLiteral("%1/%2").arg(list->currentIndex()).arg(list->count());
            else if (auto *box = qobject_cast<const QCheckBox *>(control))
                word = QString::number(box->isChecked());
            else if (auto *button = qobject_cast<const QAbstractButton *>(control))
                word = button->text();
            else if (auto *field = qobject_cast<const QLineEdit *>(control))
                word = field->text();
            else if (auto *label = qobject_cast<const QLabel *>(control))
                word = label->text();
            words << (control->isHidden() ? QStringLiteral("-") : control->isEnabled() ? word : QLatin1Char('!') + word);
        }
        return words.join(QStringLiteral(", "));
    }

    QComboBox *cmbComports = list(QStringLiteral("cmbComports"));
    QLabel *lblGeneratorTime = find<QLabel>(QStringLiteral("lblGeneratorTime"));
};

// Shows a window and waits until it has the focus, as the operator's would.
inline bool showActive(QWidget *window)
{
    window->show();
    return QTest::qWaitForWindowActive(window);
}

// What an operator does, as input events rather than calls.
namespace Operator {

// Opens the list with a click near its left edge, scrolls the entry into view, and clicks it near its right end. The
// popup ignores a release too close to the click that opened it, as it would under a real hand.
inline bool pick(QComboBox *list, int index)
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
inline void click(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

} // namespace Operator
