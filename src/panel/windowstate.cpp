#include "windowstate.h"

#include "form718.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace WindowState {

namespace {

// Enables or disables a group of controls in order. Qt hands the keyboard
// focus of a control it disables to the next one in the tab chain, through
// the focus handlers of every field on the way; the operator's next keys
// would then pick settings in a list they never chose. A report disables
// controls while the operator may be typing, so the focus goes to the
// window itself instead, where keys do nothing.
template <std::size_t N>
void SetEnabled(QWidget *const (&group)[N], bool enabled)
{
    if (!enabled) {
        QWidget *const window = group[0]->window();
        QWidget *const focus = window->focusWidget();
        for (QWidget *control : group) {
            if (focus && (focus == control || control->isAncestorOf(focus))) {
                window->setFocus(Qt::OtherFocusReason);
                break;
            }
        }
    }
    for (QWidget *control : group)
        control->setEnabled(enabled);
}

} // namespace

void EnableInterface(Form718 &ui, bool enabled)
{
    EnableSetTime(ui, enabled);
    ShowLockState(ui, enabled);
    ui.lblGeneratorTime->setText(QStringLiteral("Not Connected"));
    QWidget *const group[] = {
        ui.cmbReadMode,     ui.cmbGenerateMode,  ui.chkFreeze,
        ui.chkReaderEnable, ui.chkLeapYear,      ui.chkBinarySeconds,
        ui.cmbControlFunction, ui.cmbTimeZone,   ui.txtOffset,
    };
    SetEnabled(group, enabled);
}

void EnableSetTime(Form718 &ui, bool enabled)
{
    QWidget *const group[] = {ui.txtDay, ui.txtHour, ui.txtMinute, ui.txtSecond, ui.cmdSetTime};
    SetEnabled(group, enabled);
}

void ShowLockState(Form718 &ui, bool locked)
{
    // Every status report shows the lock again. QLabel repaints a pixmap set
    // anew even when it is the one shown, and the frames behind the lamp with
    // it; the caption it leaves alone when the text is unchanged.
    const QPixmap &lamp = ui.ListImage(locked ? 1 : 2);
    if (ui.imgLock->pixmap().cacheKey() != lamp.cacheKey())
        ui.imgLock->setPixmap(lamp);
    ui.lblLock->setText(locked ? QStringLiteral("Locked") : QStringLiteral("Unlocked"));
}

void LoadClockIntoFields(Form718 &ui, const QDateTime &localTime)
{
    const QDate date = localTime.date();
    const QTime time = localTime.time();
    const auto twoDigits = [](int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    ui.txtYear->setText(QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0')));
    ui.txtDay->setText(QString::number(date.dayOfYear()));
    ui.txtHour->setText(twoDigits(time.hour()));
    ui.txtMinute->setText(twoDigits(time.minute()));
    ui.txtSecond->setText(twoDigits(time.second()));
}

} // namespace WindowState
