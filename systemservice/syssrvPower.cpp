// Temperatures and the hardware monitor's thermal management.
//
// Reads the sensor files "/sys/corvaleuc-bus/devices/corvaleuc_hwmon/temp1"
// and ".../temp2" and keeps the readings in memory until they are logged.
// Runs, on the Birch model only, one of
//   echo 0 > /sys/corvaleuc-bus/devices/corvaleuc_hwmon/enable_thermal_mang
//   echo 1 > /sys/corvaleuc-bus/devices/corvaleuc_hwmon/enable_thermal_mang
// The service records temperatures and takes no action on them: regulating
// is the driver's job, which this module only switches on or off.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvPower.h"
#include "systemservice/syssrvQuote.h"

namespace {

const char* const kSensorFiles[] = {"/sys/corvaleuc-bus/devices/corvaleuc_hwmon/temp1",
                                    "/sys/corvaleuc-bus/devices/corvaleuc_hwmon/temp2"};

struct TemperatureRecordT {
  unsigned temp1;
  unsigned temp2;
  char time[32];
};

// At one call a second from the main loop: a sample about every five
// minutes, logged about once an hour.
constexpr int kCallsPerSample = 300;
constexpr int kCallsPerLog = 3600;

std::vector<TemperatureRecordT> temp_record;
int chk_temp_cnt = 0;
int log_temp_cnt = 0;

// "2026-12-06 12:00:00.123" in UTC.
void stampNow(char (&out)[32]) {
  struct timespec now = {0, 0};
  sysio().clock_gettime(CLOCK_REALTIME, &now);
  struct tm utc;
  char date[28] = "";
  if (gmtime_r(&now.tv_sec, &utc) != nullptr) strftime(date, sizeof date, "%F %H:%M:%S", &utc);
  snprintf(out, sizeof out, "%s.%03ld", date, static_cast<long>(now.tv_nsec / 1000000));
}

// The leading decimal number of the text as atoi reads it (0 without one),
// kept within an int.
int hardwareVersion(const std::string& text) {
  const long long v = strtoll(text.c_str(), nullptr, 10);
  return static_cast<int>(v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : v);
}

}  // namespace

unsigned get_temperature(short num) {
  if (num != 1 && num != 2) return 0;
  std::string text;
  if (!sysio_read_file(kSensorFiles[num - 1], &text, 64)) return 0;
  // One unsigned decimal value; anything else, or one past 32 bits, is no
  // reading.
  std::string digits;
  if (!decimal_text(text.substr(0, text.find_first_of("\r\n")), 0, 0xffffffffLL, &digits)) return 0;
  return static_cast<unsigned>(strtoull(digits.c_str(), nullptr, 10));
}

void monitor_temperature(bool bLoggingRequired) {
  if (!bLoggingRequired && chk_temp_cnt < kCallsPerSample) {
    ++chk_temp_cnt;
  } else {
    TemperatureRecordT r;
    r.temp1 = get_temperature(1);
    r.temp2 = get_temperature(2);
    stampNow(r.time);
    temp_record.push_back(r);
    chk_temp_cnt = 0;
  }
  if (!bLoggingRequired && log_temp_cnt < kCallsPerLog) {
    ++log_temp_cnt;
    return;
  }
  loginfo(nullptr, "Logging temperature records:\n");
  for (const TemperatureRecordT& r : temp_record) {
    loginfo(nullptr, "Time: %s, temp1: %d, temp2: %d\n", r.time, static_cast<int>(r.temp1), static_cast<int>(r.temp2));
  }
  log_temp_cnt = 0;
  temp_record.clear();
}

// Older Birch boards (hardware version 19 and below) may run their fans at
// full speed instead: maximum ventilation switches the driver's management
// off there.
void set_thermal_management() {
  const std::string maxVentilation = config_read_str("system.maxventilation", 16);
  const std::string model = config_read_str("system.info.model", 16);
  const int hwVersion = hardwareVersion(config_read_str("system.info.hardwareversion", 16));
  if (model != "BIRCH") return;
  const bool disable = hwVersion <= 19 && maxVentilation == "True";
  logdebug(nullptr, "MaxVentilation:%s Model:%s HWVersion:%d, set_thermal_management: %s\n",
           log_text(maxVentilation).c_str(), model.c_str(), hwVersion, disable ? "disabled" : "enabled");
  sysio().system(disable ? "echo 0 > /sys/corvaleuc-bus/devices/corvaleuc_hwmon/enable_thermal_mang"
                         : "echo 1 > /sys/corvaleuc-bus/devices/corvaleuc_hwmon/enable_thermal_mang");
}
