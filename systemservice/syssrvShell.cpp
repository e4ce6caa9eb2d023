// Remote access daemons: the secure shell, telnet and network intrusion
// detection. Nothing here remembers whether a daemon runs: every call decides
// again from the configuration and issues its command. Commands issued:
//   start sshd | start sshd_nocbc          stop sshd | stop sshd_nocbc
//   /opt/corvale/bin/starttelnetd [<port>] &
//   kill `pidof telnetd`
//   /system/bin/nids --start | --stop
// and SIGTERM (then SIGKILL) to every process named like the secure shell
// service when it is stopped, sessions included.
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <strings.h>

#include "OS/logmsg.h"
#include "multicodec_util/multicodec_sysids.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvProcess.h"
#include "systemservice/syssrvQuote.h"
#include "systemservice/syssrvShell.h"

namespace {

const char kSshComponent[] = "ENABLE_SSHD";
const char kTelnetCommand[] = "/opt/corvale/bin/starttelnetd ";
const char kDebugPortVar[] = "security.remoteaccess.telnet.pddebugport";
constexpr int kFlagLen = 32;
constexpr int kPortLen = 32;
constexpr int kModeLen = 64;

// Stopping the secure shell waits for each of its processes to leave: a
// process still there kSigtermPolls polls after its SIGTERM gets SIGKILL, and
// after kStopPolls polls in all the loop gives up, so a process that cannot
// be ended holds the main loop for at most kStopPolls * kPollUs.
constexpr int kSigtermPolls = 10;
constexpr int kStopPolls = 50;
constexpr uint64_t kPollUs = 100000;

// Only the first 31 bytes of the link's target were ever compared.
constexpr size_t kInitLinkLen = 31;

// A device-conversion boot links "/init.rc" to the conversion's init file;
// the remote shells are then left alone.
bool device_conversion_boot() {
  std::string target;
  if (sysio().readlink("/init.rc", &target) < 0) return false;
  return target.substr(0, kInitLinkLen).find("devconvert") != std::string::npos;
}

// Ends every process whose program name contains `service` (the daemon and
// each of its sessions), one at a time, lowest pid first.
void stop_processes(const std::string& service) {
  pid_t current = 0;
  int polls = 0;
  for (int i = 0; i < kStopPolls; ++i) {
    const pid_t pid = findPid(service.c_str());
    if (pid == 0) return;
    if (pid != current) {
      current = pid;
      polls = 0;
      logdebug(kSshComponent, "%s: stopping %s current session and pid of %s is %d\n", "enable_sshd", service.c_str(),
               service.c_str(), static_cast<int>(pid));
      sysio().kill(pid, SIGTERM);
    } else if (++polls == kSigtermPolls) {
      logwarn(kSshComponent, "%s: pid %d of %s ignored SIGTERM, sending SIGKILL\n", "enable_sshd",
              static_cast<int>(pid), service.c_str());
      sysio().kill(pid, SIGKILL);
    }
    sysio().sleep_us(kPollUs);
  }
  logerr(kSshComponent, "%s: %s still running after %d polls, giving up\n", "enable_sshd", service.c_str(), kStopPolls);
}

bool starts_true(const char* value) { return strncasecmp(value, "true", 4) == 0; }

}  // namespace

void enable_sshd(bool bEnable) {
  uint32_t systemId = 0;
  const int idResult = read_codec_id(&systemId);
  const std::string service =
      config_read_str("security.enablecipheraescbc", kFlagLen) == "True" ? "sshd" : "sshd_nocbc";
  if (device_conversion_boot()) return;
  // A member of a multi-codec system keeps its secure shell whatever the
  // setting: the units reach each other through it.
  if (bEnable || (idResult == kCodecIdOk && systemId != 0)) {
    logdebug(nullptr, "%s: starting %s\n", "enable_sshd", service.c_str());
    sysio().system("start " + service);
    return;
  }
  logdebug(nullptr, "%s: stopping %s\n", "enable_sshd", service.c_str());
  sysio().system("stop " + service);
  stop_processes(service);
}

void start_telnetd() {
  std::string cmd = kTelnetCommand;
  char port[kPortLen] = "";
  std::string number;
  // Ordinary users may write the debug port: only the number parsed from
  // it reaches the command line, never its text.
  if (config_read(kDebugPortVar, port, sizeof port, nullptr) == 0 && decimal_text(port, 1, INT_MAX, &number)) {
    logdebug(nullptr, "start_telnetd: switching port enabled. Port= %d.\n", std::atoi(number.c_str()));
    cmd += number;
  }
  cmd += " & ";  // the script stays in the background
  sysio().system(cmd);
}

void stop_telnetd() {
  logdebug(nullptr, "stop_enabled: killing telnetd.\n");
  sysio().system("kill `pidof telnetd`");
}

void telnetd_cfg_change(int restart_telnet) {
  if (device_conversion_boot()) return;
  char enabled[kFlagLen] = "";
  if (config_read("security.remoteaccess.telnet.enabled", enabled, sizeof enabled, nullptr) != 0) return;
  if (starts_true(enabled)) {
    if (restart_telnet != 0) stop_telnetd();
    start_telnetd();
    return;
  }
  char mode[kModeLen] = "";
  // A secondary unit of a modular room is reached by telnet on a
  // development build.
  if (config_read("system.modularroom.mode", mode, sizeof mode, nullptr) == 0 && strcasecmp(mode, "Secondary") == 0 &&
      m_bDevfeatures) {
    logdebug(nullptr, "%s: Lumen+ is enabled _AND_ devfeatures==true, start telnet\n", "telnetd_cfg_change");
    start_telnetd();
    return;
  }
  logdebug(nullptr, "%s: Lumen+ is NOT enabled OR devfeatures!=true, stop telnet\n", "telnetd_cfg_change");
  stop_telnetd();
}

// While intrusion detection runs, the kernel console shows errors and worse
// only.
void start_NIDS() {
  sysio().system("/system/bin/nids --start");
  set_console_log_level(4);
}

void stop_NIDS() {
  sysio().system("/system/bin/nids --stop");
  set_console_log_level(7);
}
