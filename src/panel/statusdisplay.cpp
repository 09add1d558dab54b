#include "statusdisplay.h"

#include "artwork.h"
#include "controlgroup.h"
#include "settimeeditor.h"
#include "ui_frm718.h"

#include "device/protocol/commands.h"
#include "device/protocol/lists.h"
#include "device/common/numbertext.h"
#include "device/protocol/statusreading.h"

#include <QScopeGuard>

using namespace Frames;
using NumberText::zeroPadded;

namespace {

// With the year field beside them the set-time fields move right, to 960 in
// the layout's 1/1440-inch units (15 to a pixel).
constexpr int SetTimeLeftWithYear = 960 / 15;

Qt::CheckState boxState(bool ticked)
{
    return ticked ? Qt::Checked : Qt::Unchecked;
}

// Withdraws a list's last entry. If it was selected, the list is left with
// nothing selected, as if the entry had never been picked; Qt would
// otherwise move the selection to a neighbour that nobody chose.
void removeLastEntry(QComboBox *list)
{
    const int last = list->count() - 1;
    if (list->currentIndex() == last)
        list->setCurrentIndex(-1);
    list->removeItem(last);
}

// Appends a list's last entry, which only some units offer, or withdraws it;
// a list that does not hold all the other entries is left alone.
template <std::size_t N>
void offerLastEntry(QComboBox *list, const char *const (&entries)[N], bool offered)
{
    if (offered && list->count() == int(N) - 1)
        list->addItem(QString::fromLatin1(entries[N - 1]));
    else if (!offered && list->count() == int(N))
        removeLastEntry(list);
}

} // namespace

StatusDisplay::StatusDisplay(Ui::frm718 &ui, SetTimeEditor &setTime, QObject *parent)
    : QObject(parent)
    , ui(ui)
    , m_setTime(setTime)
    , m_setTimeLeftWithoutYear(ui.frameSetTime->x())
{
}

void StatusDisplay::showSilent()
{
    ShowLockState(false);
    ui.lblGeneratorTime->setText(QStringLiteral("No Reports"));
}

void StatusDisplay::ShowGeneratorTime(const quint8 *report, qint16 count)
{
    // The unit's kind is learnt once, from the first time report of the run.
    if (!TimeFormatKnown) {
        TimeFormatKnown = true;
        TimeReportHasDate = count == TimeReportLongLength;
    }
    ui.lblGeneratorTime->setText(generatorTimeText(report, TimeReportHasDate));
}

void StatusDisplay::ApplyStatus(const quint8 *report)
{
    const bool locked = readerLocked(report);
    m_setTime.EnableSetTime(!locked);
    ShowLockState(locked);

    if (!RefreshPending || !TimeFormatKnown)
        return;

    const bool hasDate = TimeReportHasDate;
    const StatusReading unit = readStatus(report, hasDate);
    SetEncodedYearAvailable(hasDate);
    EnableInterface(true);
    ui.lblGeneratorTime->setText(QString());

    RefreshPending = false;
    // The writes below raise the controls' own notifications; with the flag
    // up they send nothing back to the unit. It comes down however this
    // block is left.
    ApplyingStatus = true;
    const auto lower = qScopeGuard([this] { ApplyingStatus = false; });

    SetGpsAvailable(unit.gpsOffered);

    ui.chkFreeze->setCheckState(boxState(unit.freeze));
    ui.chkReaderEnable->setCheckState(boxState(unit.readerEnabled));
    ui.chkBinarySeconds->setCheckState(boxState(unit.binarySeconds));
    ui.cmbControlFunction->setCurrentIndex(unit.controlFunction);

    // A unit with dates takes its year from the year field, one without needs
    // the leap-year flag instead.
    if (!hasDate) {
        ui.lblYear->hide();
        ui.txtYear->hide();
        ui.frameSetTime->move(m_setTimeLeftWithoutYear, ui.frameSetTime->y());
        ui.chkLeapYear->show();
        ui.chkLeapYear->setCheckState(boxState(unit.leapYear));
    } else {
        ui.frameSetTime->move(SetTimeLeftWithYear, ui.frameSetTime->y());
        ui.lblYear->show();
        ui.txtYear->show();
        ui.chkLeapYear->hide();
    }

    ui.cmbTimeZone->setCurrentIndex(unit.timeZone);
    ui.cmbReadMode->setCurrentIndex(unit.readMode);
    ui.cmbGenerateMode->setCurrentIndex(unit.generateMode);
    ui.txtOffset->setText(QString::number(unit.offset));
}

void StatusDisplay::SetGpsAvailable(bool available)
{
    offerLastEntry(ui.cmbReadMode, Lists::ReadModes, available);
}

void StatusDisplay::SetEncodedYearAvailable(bool timeReportHasDate)
{
    offerLastEntry(ui.cmbControlFunction, Lists::ControlFunctions, timeReportHasDate);
}

const QPixmap &StatusDisplay::ImageList1(int image)
{
    return Artwork::lockLamp(image == 1);
}

void StatusDisplay::EnableInterface(bool enabled)
{
    m_setTime.EnableSetTime(enabled);
    ShowLockState(enabled);
    ui.lblGeneratorTime->setText(QStringLiteral("Not Connected"));
    enableGroup({ui.cmbReadMode, ui.cmbGenerateMode, ui.chkFreeze, ui.chkReaderEnable, ui.chkLeapYear,
                 ui.chkBinarySeconds, ui.cmbControlFunction, ui.cmbTimeZone, ui.txtOffset},
                enabled);
}

void StatusDisplay::ShowLockState(bool locked)
{
    // Every status report shows the lock again. QLabel repaints a pixmap set
    // anew even when it is the one shown, and the frames behind the lamp with
    // it; the caption it leaves alone when the text is unchanged.
    const QPixmap &lamp = ImageList1(locked ? 1 : 2);
    if (ui.imgLock->pixmap().cacheKey() != lamp.cacheKey())
        ui.imgLock->setPixmap(lamp);
    ui.lblLock->setText(locked ? QStringLiteral("Locked") : QStringLiteral("Unlocked"));
}

