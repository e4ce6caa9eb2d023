// Logging configuration: builds the command line of the syslog start script
// from the logging settings and launches it, at most once a second and
// never while a launch is still running.
//
// Commands run from here (through the seam):
//   /system/xbin/pidof startsyslog >/dev/null 2>&1
//   /system/bin/startsyslog --logfile /data/log/messages --maxfilesize 1024 --maxfiles 30
//       --loglevel <level> [--remotelogserver <address> --remoteandlocal] &
#include "systemservice/syssrvLogging.h"

#include <strings.h>

#include <string>

#include "OS/linux/psosapi/ptimer.h"
#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvQuote.h"

bool didLoggingUpdate = false;
LoggingLinks loggingLinks = {nullptr, nullptr};

namespace {

const char kRemoteEnableVar[] = "system.log.remotelog.enabled";
const char kRemoteProtocolVar[] = "system.log.remotelog.serverprotocol";
const char kRemoteServerVar[] = "system.log.remotelog.serveraddress";
const char kLevelVar[] = "system.log.level";
const char kFipsVar[] = "comm.Callsetting.callFeatures.fips140enable";
const char kTlsOneVar[] = "security.disabletlsversionone";

const char kRunningCheck[] = "/system/xbin/pidof startsyslog >/dev/null 2>&1";
const char kStartCommand[] = "/system/bin/startsyslog --logfile /data/log/messages --maxfilesize 1024 --maxfiles 30";
const char* const kLevels[] = {"Debug", "Info", "Warning", "Error", "Critical"};
// A burst of changes within this many milliseconds launches the script once.
constexpr UInt32 kRelaunchGuardMs = 1000;
constexpr int kValueLen = 64;

UInt32 lastUpdateLoggingTime = 0;
LanState loggingLanState = LAN_DOWN;

bool read_var(const char* name, char (&value)[kValueLen]) {
  value[0] = '\0';
  return config_read(name, value, kValueLen, nullptr) == 0;
}

bool is_name(const char* name, const char* var) { return strcasecmp(name, var) == 0; }

// 0: a setting needed to decide could not be read; 1: nothing to do for
// this change; -1: go on and launch.
int filter_change(const char* name) {
  char enabled[kValueLen], protocol[kValueLen];
  if (!read_var(kRemoteEnableVar, enabled)) {
    loginfo(nullptr, "update_logging: config read failed for kCfgVarRemoteSyslogEnable\n");
    return 0;
  }
  if (!read_var(kRemoteProtocolVar, protocol)) {
    logerr(nullptr, "update_logging: config read failed for kCfgVarRemoteSyslogServerProtocol\n");
    return 0;
  }
  const bool remoteOff = strcasecmp(enabled, "false") == 0;
  if ((is_name(name, kRemoteServerVar) || is_name(name, kRemoteProtocolVar)) && remoteOff) return 1;
  // These matter only to a TLS connection to the remote server.
  if ((is_name(name, kFipsVar) || is_name(name, kTlsOneVar)) && (remoteOff || strcasecmp(protocol, "tls") != 0)) {
    return 1;
  }
  return -1;
}

// The level as read (its case kept) when it is one of the names, else Debug.
std::string level_option() {
  char level[kValueLen];
  if (!read_var(kLevelVar, level)) {
    loginfo(nullptr, "update_logging: config read failed for kCfgVarSyslogLevel, defaulting log level to Debug\n");
    return kLevels[0];
  }
  for (const char* known : kLevels) {
    if (strcasecmp(level, known) == 0) return level;
  }
  loginfo(nullptr,
          "update_logging: invalid data for kCfgVarSyslogLevel received: %s, exptected: %s, defaulting log leval to "
          "Debug\n",
          log_text(level).c_str(), "One of Debug, Info, Warning, Error and Critical");
  return kLevels[0];
}

// The remote-server options, "" when remote logging is off or unusable.
std::string remote_options() {
  char enabled[kValueLen];
  if (!read_var(kRemoteEnableVar, enabled)) {
    loginfo(nullptr,
            "update_logging: config read failed for kCfgVarRemoteSyslogEnable, logging restarts without remote "
            "logging\n");
    return "";
  }
  if (strcasecmp(enabled, "true") != 0) {
    if (strcasecmp(enabled, "false") != 0) {
      loginfo(nullptr,
              "update_logging: invalid data for kCfgVarRemoteSyslogEnable received: %s, exptected: %s, logging "
              "restarts without remote logging\n",
              log_text(enabled).c_str(), "one of True or False");
    }
    return "";
  }
  char server[kValueLen];
  if (!read_var(kRemoteServerVar, server)) {
    loginfo(nullptr,
            "update_logging: config read failed for kCfgVarRemoteSyslogServer, logging restarts without remote "
            "logging\n");
    return "";
  }
  return " --remotelogserver " + shell_word(server) + " --remoteandlocal";
}

}  // namespace

int update_logging(const char* name, const char* value) {
  const UInt32 now = RealTimeMilliSeconds();
  logdebug(nullptr, "update_logging: name: %s value: %s\n", name ? log_text(name).c_str() : "(null)",
           value ? log_value(name ? name : "", value).c_str() : "(null)");
  if (name != nullptr) {
    int filtered = filter_change(name);
    if (filtered >= 0) return filtered;
  }
  // Unsigned difference: right across the wrap of the millisecond clock.
  if (sysio().system(kRunningCheck) == 0 || now - lastUpdateLoggingTime < kRelaunchGuardMs) {
    loginfo(nullptr, "update_logging: startsyslog is already running, so don't run it again\n");
    return 1;
  }
  lastUpdateLoggingTime = now;
  std::string command = kStartCommand;
  if (loggingLinks.logspaceConfigured != nullptr) loggingLinks.logspaceConfigured();
  command += " --loglevel " + level_option();
  command += remote_options();
  command += " &";
  logdebug(nullptr, "update_logging: Running command line: %s\n", log_text(command).c_str());
  sysio().system(command.c_str());
  return 1;
}

bool bLoggingRestartNeeded(LanState lan_state) {
  char enabled[kValueLen];
  if (!read_var(kRemoteEnableVar, enabled)) {
    logerr(nullptr, "bLoggingRestartNeeded: config read of remote syslog failed\n");
    return false;
  }
  if (strcasecmp(enabled, "true") != 0) return false;
  const bool usable = loggingLinks.lanUsable != nullptr && loggingLinks.lanUsable() != 0;
  if (usable && lan_state == LAN_UP && loggingLanState == LAN_DOWN) {
    loggingLanState = LAN_UP;
    return true;
  }
  if (!usable && lan_state == LAN_DOWN && loggingLanState == LAN_UP) loggingLanState = LAN_DOWN;
  return false;
}

void syssrvLogging_testing_reset() {
  didLoggingUpdate = false;
  lastUpdateLoggingTime = 0;
  loggingLanState = LAN_DOWN;
}
