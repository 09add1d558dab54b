#include "controlgroup.h"

#include <QWidget>

void enableGroup(std::initializer_list<QWidget *> controls, bool enabled)
{
    if (!enabled && controls.size() > 0) {
        QWidget *const window = (*controls.begin())->window();
        QWidget *const focus = window->focusWidget();
        for (QWidget *control : controls) {
            if (focus && (focus == control || control->isAncestorOf(focus))) {
                window->setFocus(Qt::OtherFocusReason);
                break;
            }
        }
    }
    for (QWidget *control : controls)
        control->setEnabled(enabled);
}
