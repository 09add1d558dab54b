#include "lists.h"

namespace Lists {

const char *const ReadModes[7] = {
    "IRIG-A Analog", "IRIG-B Analog", "IRIG-G Analog", "IRIG-A TTL", "IRIG-B TTL", "IRIG-G TTL",
    "GPS",
};

const char *const GenerateModes[3] = {"IRIG-A", "IRIG-B", "IRIG-G"};

const char *const ControlFunctions[3] = {"Off", "Pass-Through", "Encoded Year"};

// Region names follow a run of spaces, and +7.5 has always been written
// without its sign.
const char *const TimeZones[49] = {
    "-12", "-11.5", "-11", "-10.5", "-10      (Hawaii)", "-9.5", "-9",
    "-8.5", "-8        (Pacific)", "-7.5", "-7        (Mountain)", "-6.5", "-6        (Central)", "-5.5",
    "-5        (Eastern)", "-4.5", "-4        (Atlantic)", "-3.5", "-3", "-2.5", "-2",
    "-1.5", "-1", "-0.5", "0         (UTC)", "+0.5", "+1", "+1.5",
    "+2", "+2.5", "+3", "+3.5", "+4", "+4.5", "+5",
    "+5.5", "+6", "+6.5", "+7", "7.5", "+8       (W. Australia)", "+8.5",
    "+9", "+9.5    (C. Australia)", "+10     (E. Australia)", "+10.5", "+11", "+11.5", "+12",
};

} // namespace Lists
