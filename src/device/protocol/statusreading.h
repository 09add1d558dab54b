#pragma once

#include <QtGlobal>

// What a status report says of the unit, as the window shows it: the lock,
// and the settings as list positions (an entry that only some units have is
// offered or withdrawn first, and a position beyond its list falls back to
// the one the window selects instead), check boxes and the offset.
struct StatusReading
{
    bool locked = false;
    bool gpsOffered = false;
    bool freeze = false;
    bool readerEnabled = false;
    bool binarySeconds = false;
    bool leapYear = false;  // only from a unit without dated time reports
    int timeZone = 0;
    int readMode = 0;
    int generateMode = 0;
    int controlFunction = 0;
    int offset = 0;  // the weighted sum of the four digits, also of digits above 9
};

// `hasDate`: the unit's time reports carry year and date. A unit with dated
// reports sends its control function as a position in byte 4; one without
// tells "Pass-Through" by the binary-seconds bit and sends the leap-year bit
// in byte 4.
StatusReading readStatus(const quint8 *report, bool hasDate);
