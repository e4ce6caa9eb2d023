// Setting the wall-clock time: the hardware clock, the system clock, the
// logging configuration (syslogd stamps lines with the clock), the Android
// broadcasts and TimeChangeNtfy, in that order. Only a time-server mode
// refuses; a clock that cannot be set is logged and the rest goes on.
#include <strings.h>

#include <cerrno>
#include <cstring>

#include "CommonIF.pb.h"
#include "OS/logmsg.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvTime.h"
#include "systemservice/syssrvTimeSteps.h"

namespace {

const char kTimeServerModeVar[] = "time.timeserver.mode";

// In these modes the time comes from a time server.
bool time_from_server() {
  char mode[64] = "";
  config_read(kTimeServerModeVar, mode, sizeof mode, nullptr);
  return strcasecmp(mode, "auto") == 0 || strcasecmp(mode, "manual") == 0;
}

// Allocation failure is silent: nothing left the service.
void send_time_change(int64_t t) {
  SystemIF::TimeChangeNtfy ntfy;
  ntfy.set_secs(t);
  const size_t size = ntfy.ByteSizeLong();
  MSG_Message* out = MSG_AllocMsg(kMsgIdSystemIFTimeChangeNtfy, MSG_GetNextSequence(), static_cast<uint32_t>(size));
  if (out == nullptr) return;
  void* payload = MSG_GetPayloadMutable(out);
  if (size != 0 && (payload == nullptr || !ntfy.SerializeToArray(payload, static_cast<int>(size)))) {
    logerr(nullptr, "can't serialize SystemIF.TimeChangeNtfy\n");
    MSG_ReleaseMsg(out);
    return;
  }
  MSG_SendNotification(kSyssrvEndpoint, out);
}

}  // namespace

int SetSystemTime(long t) { return SetSystemTime64(t); }

int SetSystemTime64(int64_t t) {
  if (time_from_server()) {
    logdebug(nullptr, "SystemIFSetSystemTimeCmd - can't set time in auto or manual mode\n");
    return CommonIF::kErrBadState;
  }
  const time_t when = static_cast<time_t>(t);
  struct tm utc;
  if (static_cast<int64_t>(when) != t || gmtime_r(&when, &utc) == nullptr) {
    logerr(nullptr, "SystemIFSetSystemTimeCmd: time %lld out of range\n", static_cast<long long>(t));
    return CommonIF::kErrBadParameter;
  }
  utc.tm_isdst = 0;
  logdebug(nullptr, "SystemIFSetSystemTimeCmd: %4d-%02d-%02d:%02d:%02d:%02d\n", utc.tm_year + 1900, utc.tm_mon + 1,
           utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
  set_rtc_time(utc);

  const struct timespec ts = {when, 0};
  if (sysio().clock_settime(CLOCK_REALTIME, &ts) != 0) {
    logwarn(nullptr, "settimeofday returned = %s\n", strerror(errno));
  } else if (update_logging(nullptr, nullptr) == 0) {
    didLoggingUpdate = false;
    logerr(nullptr, "config_change_notify: syslogd not started after time is set\n");
  }

  broadcast_time_change(when);
  send_time_change(t);
  return CommonIF::kErrNoError;
}
