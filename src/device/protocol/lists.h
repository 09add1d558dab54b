#pragma once

#include <iterator>

// The entries of the settings lists, in order. A setting travels to and
// from the unit as the position of its entry, never as the text; the counts
// are the arrays' sizes (std::size).
namespace Lists {

inline constexpr const char *ReadModes[] = {
    "IRIG-A Analog", "IRIG-B Analog", "IRIG-G Analog", "IRIG-A TTL", "IRIG-B TTL", "IRIG-G TTL",
    "GPS",
};
// "GPS", the last read mode, is listed only while the unit offers it.
inline constexpr int GpsReadMode = 6;

inline constexpr const char *GenerateModes[] = {"IRIG-A", "IRIG-B", "IRIG-G"};

inline constexpr const char *ControlFunctions[] = {"Off", "Pass-Through", "Encoded Year"};
// "Pass-Through", which a unit without dated reports tells by a flag bit.
inline constexpr int PassThrough = 1;
// "Encoded Year", the last control function, is listed only for a unit with
// dated reports.
inline constexpr int EncodedYear = 2;

// Position p is (p - 24) / 2 hours from UTC. Region names follow a run of
// spaces, and +7.5 has always been written without its sign.
inline constexpr const char *TimeZones[] = {
    "-12", "-11.5", "-11", "-10.5", "-10      (Hawaii)", "-9.5", "-9",
    "-8.5", "-8        (Pacific)", "-7.5", "-7        (Mountain)", "-6.5", "-6        (Central)", "-5.5",
    "-5        (Eastern)", "-4.5", "-4        (Atlantic)", "-3.5", "-3", "-2.5", "-2",
    "-1.5", "-1", "-0.5", "0         (UTC)", "+0.5", "+1", "+1.5",
    "+2", "+2.5", "+3", "+3.5", "+4", "+4.5", "+5",
    "+5.5", "+6", "+6.5", "+7", "7.5", "+8       (W. Australia)", "+8.5",
    "+9", "+9.5    (C. Australia)", "+10     (E. Australia)", "+10.5", "+11", "+11.5", "+12",
};
inline constexpr int UtcTimeZone = 24;
// A time-zone position's offset from UTC: half an hour a step from UTC.
constexpr int zoneOffsetSeconds(int position) { return (position - UtcTimeZone) * 1800; }
// Shown for a reported position beyond the list: "-6 (Central)".
inline constexpr int FallbackTimeZone = 12;

static_assert(GpsReadMode == std::size(ReadModes) - 1 && EncodedYear == std::size(ControlFunctions) - 1,
              "the entries offered only by some units come last");

} // namespace Lists
