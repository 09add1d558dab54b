#include "settimeeditor.h"

#include "controlgroup.h"
#include "ui_frm718.h"

#include "device/ports/portservice.h"
#include "device/protocol/commands.h"
#include "device/common/numbertext.h"

#include <QDateTime>
#include <QFocusEvent>

using namespace Frames;
using Ports::SendCommand;
using NumberText::zeroPadded;

SetTimeEditor::SetTimeEditor(Ui::frm718 &ui, PortService &Comm, QObject *parent)
    : QObject(parent)
    , ui(ui)
    , Comm(Comm)
{
    connect(ui.cmdSetTime, &QPushButton::clicked, this, &SetTimeEditor::cmdSetTime_Click);
    for (QLineEdit *field : {ui.txtDay, ui.txtHour, ui.txtMinute, ui.txtSecond, ui.txtYear})
        field->installEventFilter(this);
}

namespace {

// The first year the unit can be set to; a year byte could say 2000 on.
constexpr int FirstSettableYear = 2009;

// The field's background: yellow marks a value out of range, white is a
// field the operator has moved into since.
const QColor ErrorMark{255, 255, 0};
const QColor FocusMark{255, 255, 255};

// A field's value: the number its text begins with (0 if none), rounded to a
// whole number with halves going to the even neighbour.
double fieldValue(const QLineEdit *field)
{
    return NumberText::roundHalfEven(NumberText::read(field->text()).value);
}

void markField(QLineEdit *field, const QColor &colour)
{
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, colour);
    field->setPalette(palette);
}

// Checks one field against its range: a good value is written back with at
// least `digits` digits, a bad one as its plain whole number, and marked.
bool checkField(QLineEdit *field, double low, double high, int digits)
{
    const double value = fieldValue(field);
    if (value < low || value > high) {
        field->setText(NumberText::wholeNumberText(value));
        markField(field, ErrorMark);
        return false;
    }
    field->setText(zeroPadded(qint64(value), digits));
    return true;
}

} // namespace

bool SetTimeEditor::ValidateSetTime()
{
    bool result = true;

    // The year: 9 to 99 stand for 2009 to 2099; 2009 to 2099 stay as typed.
    const double year = fieldValue(ui.txtYear);
    if (year >= yearByte(FirstSettableYear) && year <= yearByte(LastYear)) {
        ui.txtYear->setText(QString::number(yearOf(quint8(year))));
    } else if (year < FirstSettableYear || year > LastYear) {
        ui.txtYear->setText(NumberText::wholeNumberText(year));
        markField(ui.txtYear, ErrorMark);
        result = false;
    }

    // Every field is examined, so every bad one is marked by one press.
    result = checkField(ui.txtDay, 1, 366, 3) && result;
    result = checkField(ui.txtHour, 0, 23, 2) && result;
    result = checkField(ui.txtMinute, 0, 59, 2) && result;
    result = checkField(ui.txtSecond, 0, 59, 2) && result;
    return result;
}

void SetTimeEditor::cmdSetTime_Click()
{
    if (!ValidateSetTime())
        return;
    const int day = int(fieldValue(ui.txtDay));
    SendCommand(Comm, SetTime,
                setTimePayload(day, int(fieldValue(ui.txtHour)), int(fieldValue(ui.txtMinute)),
                               int(fieldValue(ui.txtSecond))));
    const char year = char(yearByte(int(NumberText::roundHalfEven(NumberText::read(ui.txtYear->text()).value))));
    SendCommand(Comm, SetYear, QByteArrayView(&year, 1));
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
        fieldFocused(field);
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

void SetTimeEditor::EnableSetTime(bool enabled)
{
    enableGroup({ui.txtDay, ui.txtHour, ui.txtMinute, ui.txtSecond, ui.cmdSetTime}, enabled);
}

void SetTimeEditor::LoadClockIntoFields(const QDateTime &localTime)
{
    const QDate date = localTime.date();
    const QTime time = localTime.time();
    ui.txtYear->setText(zeroPadded(date.year(), 4));
    ui.txtDay->setText(QString::number(date.dayOfYear()));
    ui.txtHour->setText(zeroPadded(time.hour(), 2));
    ui.txtMinute->setText(zeroPadded(time.minute(), 2));
    ui.txtSecond->setText(zeroPadded(time.second(), 2));
}

void SetTimeEditor::fieldFocused(QLineEdit *field)
{
    markField(field, FocusMark);
    field->setSelection(0, int(field->text().size()));
}
