// The steps of setting the time, each of which a failure of another does
// not stop. Main thread only.
#pragma once

#include <ctime>

// Sets the hardware clock "/dev/rtc0" from the UTC breakdown `utc`; failures
// are logged warnings.
void set_rtc_time(const struct tm& utc);

// Tells the Android side about the new time `t`: the date and time broadcasts
// in the device's local time, each logged first.
void broadcast_time_change(time_t t);
