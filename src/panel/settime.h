#pragma once

#include <QColor>
#include <QObject>

class PortService;
class QLineEdit;
struct Form718;

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
    static inline const QColor ErrorMark{255, 255, 0};
    static inline const QColor FocusMark{255, 255, 255};

    SetTimeEditor(Form718 &ui, PortService &Comm, QObject *parent);

    // Checks and rewrites all five fields, the year too while it is hidden;
    // true when all hold acceptable values.
    bool ValidateSetTime();

    void cmdSetTime_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FieldFocused(QLineEdit *field);

    Form718 &m_ui;
    PortService &m_comm;
    QLineEdit *m_selectOnPress = nullptr;
};

// A field's value: the number its text begins with (0 if none), rounded to a
// whole number with halves going to the even neighbour.
double FieldValue(const QLineEdit *field);

// Gives a text field the background colour that marks it.
void MarkField(QLineEdit *field, const QColor &colour);
