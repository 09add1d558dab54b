#pragma once

// The entries of the settings lists, in order. A setting travels to and
// from the unit as the position of its entry, never as the text.
namespace Lists {
extern const char *const ReadModes[7];         // the last, "GPS", only while the unit offers it
extern const char *const GenerateModes[3];
extern const char *const ControlFunctions[3];  // the last, "Encoded Year", only with dated reports
extern const char *const TimeZones[49];        // position p is (p - 24) / 2 hours from UTC
} // namespace Lists
