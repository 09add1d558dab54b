#include "device/lines/unitline.h"

#include <ctime>

namespace {

struct Described
{
    LineFailure failure;
    const char *name;
    const char *text;
};

constexpr Described Failures[] = {
    {LineFailure::None, "", ""},
    {LineFailure::Missing, "missing", "no such device"},
    {LineFailure::Permission, "permission", "permission denied"},
    {LineFailure::Busy, "busy", "the device is in use"},
    {LineFailure::Unusable, "unusable", "the device is no serial line it can use"},
    {LineFailure::NoSuchName, "no-such-name", "the name does not resolve"},
    {LineFailure::Unreachable, "unreachable", "no answer from the device server"},
    {LineFailure::Refused, "refused", "the device server refused the connection"},
    {LineFailure::Closed, "closed", "the line was closed at its far end"},
    {LineFailure::Protocol, "protocol", "the device server broke the Telnet protocol"},
    {LineFailure::Flood, "flood", "the device server sent far more than a unit can"},
};

const Described &described(LineFailure failure)
{
    for (const Described &d : Failures) {
        if (d.failure == failure)
            return d;
    }
    return Failures[0];
}

} // namespace

const char *failureName(LineFailure failure)
{
    return described(failure).name;
}

const char *failureText(LineFailure failure)
{
    return described(failure).text;
}

qint64 UnitLine::realtimeNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}
