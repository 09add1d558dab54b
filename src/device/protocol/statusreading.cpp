#include "device/protocol/statusreading.h"

#include "device/protocol/commands.h"
#include "device/protocol/lists.h"
#include "device/protocol/reports.h"

#include <iterator>

namespace {

// The position when it is within a list of `count` entries, else the fallback.
int within(int position, std::size_t count, int fallback)
{
    return position < int(count) ? position : fallback;
}

} // namespace

StatusReading readStatus(const quint8 *report, bool hasDate)
{
    using namespace Frames;
    const quint8 flags = report[3];
    StatusReading r;
    r.locked = flags & ReaderLockedBit;
    r.gpsOffered = flags & GpsAvailableBit;
    r.freeze = flags & OutputFreezeBit;
    r.readerEnabled = flags & ReaderEnabledBit;
    r.binarySeconds = flags & BinarySecondsBit;
    r.leapYear = !hasDate && (report[4] & LeapYearBit);
    r.timeZone = within(report[0], std::size(Lists::TimeZones), Lists::FallbackTimeZone);
    r.readMode = within(report[1], r.gpsOffered ? std::size(Lists::ReadModes) : Lists::GpsReadMode, 0);
    r.generateMode = within(report[2], std::size(Lists::GenerateModes), 0);
    r.controlFunction = hasDate ? within(report[4], std::size(Lists::ControlFunctions), 0)
                                : (r.binarySeconds ? Lists::PassThrough : 0);
    r.offset = offsetFromDigits(report + 5);
    return r;
}
