#include "statusdisplay.h"

#include "form718.h"
#include "panelstate.h"
#include "windowstate.h"

#include "device/lists.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

using namespace Module1;

namespace {

// At least two digits; a value above 99 keeps all of its digits.
void AppendTwoDigits(QString &text, int value)
{
    if (value < 10)
        text += QLatin1Char('0');
    text += QString::number(value);
}

Qt::CheckState BoxState(bool ticked)
{
    return ticked ? Qt::Checked : Qt::Unchecked;
}

// Selects an entry, or the fallback when the position is beyond the list.
void SelectPosition(QComboBox *list, int position, int fallback)
{
    list->setCurrentIndex(position < list->count() ? position : fallback);
}

// Withdraws a list's last entry. If it was selected, the list is left with
// nothing selected, as if the entry had never been picked; Qt would
// otherwise move the selection to a neighbour that nobody chose.
void RemoveLastEntry(QComboBox *list)
{
    const int last = list->count() - 1;
    if (list->currentIndex() == last)
        list->setCurrentIndex(-1);
    list->removeItem(last);
}

} // namespace

StatusDisplay::StatusDisplay(Form718 &ui, PanelState &state)
    : m_ui(ui)
    , m_state(state)
{
}

QString StatusDisplay::GeneratorTimeText(const quint8 *report, bool withDate)
{
    QString text;
    text.reserve(32);
    text += QString::number(report[0]);
    AppendTwoDigits(text, report[1]);
    text += QLatin1Char(' ');
    AppendTwoDigits(text, report[2]);
    text += QLatin1Char(':');
    AppendTwoDigits(text, report[3]);
    text += QLatin1Char(':');
    AppendTwoDigits(text, report[4]);
    if (withDate) {
        text += QLatin1String("   |   ");
        AppendTwoDigits(text, report[6]);
        text += QLatin1Char('-');
        AppendTwoDigits(text, report[7]);
        text += QLatin1Char('-');
        text += QString::number(2000 + report[5]);
    }
    return text;
}

void StatusDisplay::ShowGeneratorTime(const quint8 *report, qint16 count)
{
    // The unit's kind is learnt once, from the first time report of the run.
    if (!m_state.TimeFormatKnown) {
        m_state.TimeFormatKnown = -1;
        m_state.TimeReportHasDate = (count == TimeReportLongLength) ? 1 : 0;
    }
    m_ui.lblGeneratorTime->setText(GeneratorTimeText(report, m_state.TimeReportHasDate == 1));
}

void StatusDisplay::ApplyStatus(const quint8 *report)
{
    const quint8 flags = report[3];
    const bool locked = flags & ReaderLockedBit;
    WindowState::EnableSetTime(m_ui, !locked);
    WindowState::ShowLockState(m_ui, locked);

    if (!m_state.RefreshPending || !m_state.TimeFormatKnown)
        return;

    const bool hasDate = m_state.TimeReportHasDate == 1;
    SetEncodedYearAvailable(m_state.TimeReportHasDate);
    WindowState::EnableInterface(m_ui, true);
    m_ui.lblGeneratorTime->setText(QString());

    m_state.RefreshPending = 0;
    // The writes below raise the controls' own notifications; with the flag
    // up they send nothing back to the unit.
    const ApplyingStatusScope applying(m_state);

    SetGpsAvailable(flags & GpsAvailableBit);

    m_ui.chkFreeze->setCheckState(BoxState(flags & OutputFreezeBit));
    m_ui.chkReaderEnable->setCheckState(BoxState(flags & ReaderEnabledBit));
    m_ui.chkBinarySeconds->setCheckState(BoxState(flags & BinarySecondsBit));

    // A unit without date reports tells "Pass-Through" by the binary
    // seconds bit; one with dates sends the list position.
    if (!hasDate)
        m_ui.cmbControlFunction->setCurrentIndex((flags & BinarySecondsBit) ? 1 : 0);
    else
        SelectPosition(m_ui.cmbControlFunction, report[4], 0);

    // A unit with dates takes its year from the year field, one without needs
    // the leap-year flag instead.
    if (!hasDate) {
        m_ui.lblYear->hide();
        m_ui.txtYear->hide();
        m_ui.frameSetTime->move(Form718::Pixels(Form718::SetTimeLeftWithoutYear),
                                m_ui.frameSetTime->y());
        m_ui.chkLeapYear->show();
        m_ui.chkLeapYear->setCheckState(BoxState(report[4] & LeapYearBit));
    } else {
        m_ui.frameSetTime->move(Form718::Pixels(Form718::SetTimeLeftWithYear),
                                m_ui.frameSetTime->y());
        m_ui.lblYear->show();
        m_ui.txtYear->show();
        m_ui.chkLeapYear->hide();
    }

    // Positions above the list fall back to "-6 (Central)".
    constexpr int LastTimeZone = 48;
    constexpr int CentralTime = 12;
    m_ui.cmbTimeZone->setCurrentIndex(report[0] <= LastTimeZone ? report[0] : CentralTime);
    SelectPosition(m_ui.cmbReadMode, report[1], 0);
    SelectPosition(m_ui.cmbGenerateMode, report[2], 0);

    // Each digit should be 0 to 9; other values are shown as the weighted sum
    // they make, which an int always holds.
    ShowOffset(report[5] * 1000 + report[6] * 100 + report[7] * 10 + report[8]);
}

void StatusDisplay::ShowOffset(int offset)
{
    m_ui.txtOffset->setText(QString::number(offset));
}

void StatusDisplay::SetGpsAvailable(bool available)
{
    QComboBox *list = m_ui.cmbReadMode;
    if (available && list->count() == 6)
        list->addItem(QString::fromLatin1(Lists::ReadModes[6]));
    else if (!available && list->count() == 7)
        RemoveLastEntry(list);
}

void StatusDisplay::SetEncodedYearAvailable(qint16 timeReportHasDate)
{
    QComboBox *list = m_ui.cmbControlFunction;
    if (timeReportHasDate == 1 && list->count() == 2)
        list->addItem(QString::fromLatin1(Lists::ControlFunctions[2]));
    else if (timeReportHasDate != 1 && list->count() == 3)
        RemoveLastEntry(list);
}
