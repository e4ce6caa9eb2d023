// The hardware clock: RTC_SET_TIME on "/dev/rtc0", which keeps UTC. The
// driver copies the whole 36-byte record the request number names.
#include <fcntl.h>
#include <linux/rtc.h>
#include <unistd.h>

#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvTimeSteps.h"

namespace {
const char kRtcComponent[] = "DevMgrRtc";
}  // namespace

void set_rtc_time(const struct tm& utc) {
  struct rtc_time rtc = {};
  rtc.tm_sec = utc.tm_sec;
  rtc.tm_min = utc.tm_min;
  rtc.tm_hour = utc.tm_hour;
  rtc.tm_mday = utc.tm_mday;
  rtc.tm_mon = utc.tm_mon;
  rtc.tm_year = utc.tm_year;
  rtc.tm_wday = utc.tm_wday;
  rtc.tm_yday = utc.tm_yday;
  rtc.tm_isdst = 0;
  const int fd = sysio().open("/dev/rtc0", O_WRONLY);
  if (fd < 0) {
    logwarn(kRtcComponent, "In RTC Set Time opening driver node /dev/rtc failed.\n");
    return;
  }
  if (sysio().ioctl(fd, RTC_SET_TIME, &rtc) < 0) logwarn(kRtcComponent, "In RTC Set Time Ioctl RTC_SET_TIME failed.\n");
  close(fd);
}
