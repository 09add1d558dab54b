#include "settime.h"

#include "form718.h"

#include "device/commands.h"
#include "device/numbertext.h"

#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>

using namespace Module1;

double FieldValue(const QLineEdit *field)
{
    return NumberText::RoundHalfEven(NumberText::Read(field->text()).value);
}

void MarkField(QLineEdit *field, const QColor &colour)
{
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, colour);
    field->setPalette(palette);
}

namespace {

// Checks one field against its range: a good value is written back with at
// least `digits` digits, a bad one as its plain whole number, and marked.
bool CheckField(QLineEdit *field, double low, double high, int digits)
{
    const double value = FieldValue(field);
    if (value < low || value > high) {
        field->setText(NumberText::WholeNumberText(value));
        MarkField(field, SetTimeEditor::ErrorMark);
        return false;
    }
    field->setText(QStringLiteral("%1").arg(qint64(value), digits, 10, QLatin1Char('0')));
    return true;
}

} // namespace

SetTimeEditor::SetTimeEditor(Form718 &ui, PortService &Comm, QObject *parent)
    : QObject(parent)
    , m_ui(ui)
    , m_comm(Comm)
{
    connect(ui.cmdSetTime, &QPushButton::clicked, this, &SetTimeEditor::cmdSetTime_Click);
    for (QLineEdit *field : {ui.txtDay, ui.txtHour, ui.txtMinute, ui.txtSecond, ui.txtYear})
        field->installEventFilter(this);
}

bool SetTimeEditor::ValidateSetTime()
{
    bool result = true;

    // The year: 9 to 99 stand for 2009 to 2099; 2009 to 2099 stay as typed.
    const double year = FieldValue(m_ui.txtYear);
    if (year >= 9 && year <= 99) {
        m_ui.txtYear->setText(QString::number(qint64(year) + 2000));
    } else if (year < 2009 || year > 2099) {
        m_ui.txtYear->setText(NumberText::WholeNumberText(year));
        MarkField(m_ui.txtYear, ErrorMark);
        result = false;
    }

    // Every field is examined, so every bad one is marked by one press.
    result = CheckField(m_ui.txtDay, 1, 366, 3) && result;
    result = CheckField(m_ui.txtHour, 0, 23, 2) && result;
    result = CheckField(m_ui.txtMinute, 0, 59, 2) && result;
    result = CheckField(m_ui.txtSecond, 0, 59, 2) && result;
    return result;
}

void SetTimeEditor::cmdSetTime_Click()
{
    if (!ValidateSetTime())
        return;
    const int day = int(FieldValue(m_ui.txtDay));
    SendCommand(m_comm, SetTime,
                SetTimePayload(day, int(FieldValue(m_ui.txtHour)), int(FieldValue(m_ui.txtMinute)),
                               int(FieldValue(m_ui.txtSecond))));
    const double year = NumberText::Read(m_ui.txtYear->text()).value;
    const char yearByte = char(NumberText::RoundHalfEven(year - 2000));
    SendCommand(m_comm, SetYear, QByteArrayView(&yearByte, 1));
}

bool SetTimeEditor::eventFilter(QObject *watched, QEvent *event)
{
    // A field being destroyed is no longer a QLineEdit.
    auto *field = qobject_cast<QLineEdit *>(watched);
    if (!field)
        return false;
    switch (event->type()) {
    case QEvent::FocusIn: {
        // Only the operator moving into the field clears its mark and selects
        // its text. Focus that comes back on its own (the window activated
        // again, a message box or a menu closed) or that the program moves
        // leaves the field as the operator left it.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::MouseFocusReason && reason != Qt::TabFocusReason
            && reason != Qt::BacktabFocusReason && reason != Qt::ShortcutFocusReason)
            break;
        FieldFocused(field);
        // A click that brings the focus would place the caret and undo the
        // selection; that one press is kept from the field.
        if (reason == Qt::MouseFocusReason)
            m_selectOnPress = field;
        break;
    }
    case QEvent::MouseButtonPress:
        if (m_selectOnPress == field) {
            m_selectOnPress = nullptr;
            return true;
        }
        break;
    case QEvent::FocusOut:
        m_selectOnPress = nullptr;
        break;
    default:
        break;
    }
    return false;
}

void SetTimeEditor::FieldFocused(QLineEdit *field)
{
    MarkField(field, FocusMark);
    field->setSelection(0, int(field->text().size()));
}
