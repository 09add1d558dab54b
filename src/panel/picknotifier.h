#pragma once

#include <QObject>

class QComboBox;

// One notification per selection of a pick list, the way the operator means
// it: an operator's pick raises picked() exactly once, also when the picked
// entry was already selected (a pick is a pick), and a change of selection
// made by the program raises it once too.
//
// Qt reports an operator's pick as currentIndexChanged (only if the position
// moved) followed by activated, both inside the handling of one input event,
// and a program's change as currentIndexChanged alone. The notifier counts
// the input events that reach the list and its popup; an activation inside
// the same input event as a change it has already reported is the tail of
// that pick and is not reported again.
class PickNotifier : public QObject
{
    Q_OBJECT

public:
    explicit PickNotifier(QComboBox *list);

signals:
    void picked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onIndexChanged();
    void onActivated();

    quint64 m_inputSerial = 0;
    quint64 m_changeSerial = 0;
    bool m_changeReported = false;
};
