#pragma once

#include <QObject>

class PortService;
class QDateTime;
class QLineEdit;
namespace Ui {
class frm718;
}

// The "Set Time:" editor. Pressing "Set" checks every field at once: bad
// fields are rewritten as the whole number they hold and marked yellow, and
// nothing is sent; good fields are normalised ("005", "07", "2026") and the
// time and the year leave as two commands, back to back. A field that takes
// the focus from the operator (a click, Tab or Shift+Tab) loses its mark and
// has its whole text selected.
class SetTimeEditor : public QObject
{
    Q_OBJECT

public:
    SetTimeEditor(Ui::frm718 &ui, PortService &Comm, QObject *parent);

    // The day, hour, minute and second fields and the Set button; not the
    // year, which can be edited while the button is disabled.
    void EnableSetTime(bool enabled);

    // Writes a local date and time into the fields: four-digit year, day of
    // the year without leading zeros, two-digit hour, minute and second.
    void LoadClockIntoFields(const QDateTime &localTime);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Checks and rewrites all five fields, the year too while it is hidden;
    // true when all hold acceptable values.
    bool ValidateSetTime();
    void cmdSetTime_Click();
    void fieldFocused(QLineEdit *field);

    Ui::frm718 &ui;
    PortService &Comm;
    QLineEdit *m_selectOnPress = nullptr;
};
