#pragma once

#include <sys/time.h>

// One sample of chrony's SOCK reference clock, as chrony's refclock_sock.c
// reads it: the system time of the measurement, and true time minus it; one
// datagram of exactly this layout, in the computer's own byte order and
// alignment.
struct SockSample
{
    timeval tv;
    double offset;
    int pulse;
    int leap;
    int pad;
    int magic;
};
inline constexpr int SockMagic = 0x534f434b;
