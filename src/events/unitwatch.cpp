#include "unitwatch.h"

UnitWatch::UnitWatch(QObject *parent)
    : QObject(parent)
{
    m_silence.setSingleShot(true);
    m_silence.setInterval(SilenceMs);
    connect(&m_silence, &QTimer::timeout, this, [this] {
        m_silent = true;
        emit silent();
        if (!m_lost)
            emit happened(UnitEvent::UnitSilent);
    });
}

void UnitWatch::lineOpened()
{
    m_silence.stop();
    m_open = true;
    m_reported = m_silent = m_lockKnown = false;
}

void UnitWatch::lineLost(LineFailure failure)
{
    m_silence.stop();
    if (m_open && m_reported && !m_lost) {
        m_lost = true;
        m_told = failure;
        emit happened(UnitEvent::LineLost);
    }
    m_open = m_reported = m_silent = m_lockKnown = false;
}

void UnitWatch::openFailed(LineFailure failure)
{
    if (m_open || failure == m_told)
        return;
    m_lost = true;
    m_told = failure;
    emit happened(UnitEvent::LineLost);
}

void UnitWatch::forget()
{
    m_silence.stop();
    m_open = m_reported = m_lost = m_silent = m_lockKnown = false;
    m_told = LineFailure::None;
}

void UnitWatch::heard()
{
    m_silence.start();
    if (m_lost)
        emit happened(UnitEvent::LineBack);
    else if (m_silent)
        emit happened(UnitEvent::UnitReporting);
    m_reported = true;
    m_lost = m_silent = false;
    m_told = LineFailure::None;
}

void UnitWatch::timeReport()
{
    heard();
}

void UnitWatch::statusReport(bool locked)
{
    heard();
    if (m_lockKnown && locked != m_locked)
        emit happened(locked ? UnitEvent::LockRegained : UnitEvent::LockLost);
    m_lockKnown = true;
    m_locked = locked;
}
