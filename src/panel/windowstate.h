#pragma once

class QDateTime;
struct Form718;

// Window state operations shared by the port selection, the status display
// and start-up.
namespace WindowState {

// Enables or disables the settings controls and the set-time editor as one
// group, shows the lock lamp as locked exactly when enabled, and writes "Not
// Connected" into the generator time whatever the argument. The port list,
// the year field and the frame of the set-time fields are left alone.
void EnableInterface(Form718 &ui, bool enabled);

// The day, hour, minute and second fields and the Set button; not the year.
void EnableSetTime(Form718 &ui, bool enabled);

// Green lamp and "Locked", or grey lamp and "Unlocked".
void ShowLockState(Form718 &ui, bool locked);

// Writes a local date and time into the set-time fields: four-digit year, day
// of the year without leading zeros, two-digit hour, minute and second.
void LoadClockIntoFields(Form718 &ui, const QDateTime &localTime);

} // namespace WindowState
