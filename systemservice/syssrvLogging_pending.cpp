// Placeholder until the logging configuration is built.
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvPending.h"

// Owned by the logging module; defined here until it arrives.
bool didLoggingUpdate = false;

// Reports "done" so that the main loop does not relaunch every pass and the
// dispatcher does not log a failed restart.
int update_logging(const char* name, const char* value) {
  syssrvPending("update_logging", name, value);
  return 1;
}
bool bLoggingRestartNeeded(LanState lan_state) {
  syssrvPending("bLoggingRestartNeeded", lan_state);
  return false;
}
