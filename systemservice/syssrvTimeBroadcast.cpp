// The Android side learns of a new time from four broadcasts, in this order:
//   am broadcast -a corvale.intent.action.setup.SET_DATE --ei year Y --ei month M --ei day D
//   am broadcast -a android.intent.action.DATE_CHANGED
//   am broadcast -a corvale.intent.action.setup.SET_TIME --ei hour H --ei minute MIN
//   am broadcast -a android.intent.action.TIME_SET
// Date and time are local (the month counted from 0), as the settings
// screens show them. Results are not checked: nothing depends on them.
#include <cstdio>

#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvTimeSteps.h"

namespace {

constexpr size_t kCmdLen = 128;

void run_am(const char* cmd) {
  logdebug(nullptr, "doing AM command: %s\n", cmd);
  sysio().system(cmd);
}

}  // namespace

void broadcast_time_change(time_t t) {
  struct tm local = {};
  sysio().local_time(t, &local);
  char cmd[kCmdLen];
  snprintf(cmd, sizeof cmd, "am broadcast -a %s --ei %s %d --ei %s %d --ei %s %d\n",
           "corvale.intent.action.setup.SET_DATE", "year", local.tm_year + 1900, "month", local.tm_mon, "day",
           local.tm_mday);
  run_am(cmd);
  snprintf(cmd, sizeof cmd, "am broadcast -a %s\n", "android.intent.action.DATE_CHANGED");
  run_am(cmd);
  snprintf(cmd, sizeof cmd, "am broadcast -a %s --ei %s %d --ei %s %d\n", "corvale.intent.action.setup.SET_TIME",
           "hour", local.tm_hour, "minute", local.tm_min);
  run_am(cmd);
  snprintf(cmd, sizeof cmd, "am broadcast -a %s\n", "android.intent.action.TIME_SET");
  run_am(cmd);
}
