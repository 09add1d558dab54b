#include "picknotifier.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>

PickNotifier::PickNotifier(QComboBox *list)
    : QObject(list)
{
    // Asking for the view creates the popup, whose own filters select the
    // entry; filters installed later run first, so ours see every input event
    // before the list acts on it.
    QAbstractItemView *view = list->view();
    list->installEventFilter(this);
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    connect(list, &QComboBox::currentIndexChanged, this, &PickNotifier::onIndexChanged);
    connect(list, &QComboBox::activated, this, &PickNotifier::onActivated);
}

bool PickNotifier::eventFilter(QObject *, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        ++m_inputSerial;
        break;
    default:
        break;
    }
    return false;
}

void PickNotifier::onIndexChanged()
{
    m_changeSerial = m_inputSerial;
    m_changeReported = true;
    emit picked();
}

void PickNotifier::onActivated()
{
    if (m_changeReported && m_changeSerial == m_inputSerial) {
        m_changeReported = false;
        return;
    }
    m_changeReported = false;
    emit picked();
}
