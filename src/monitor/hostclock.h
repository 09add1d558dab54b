#pragma once

#include <sys/timex.h>

// Whether the kernel says the computer's clock is synchronised (adjtimex,
// which only reads it here: the monitor cannot set the clock). A unit's
// offset, and a phase measured against this clock, are only as good as it.
inline bool hostClockSynchronised()
{
    timex state{};
    const int clock = ::adjtimex(&state);
    return clock != -1 && clock != TIME_ERROR && !(state.status & STA_UNSYNC);
}
