// Web proxy handling: with the proxy enabled, either the discovery program
// "wpad" finds the proxy, or a manual proxy gets a PAC file written here and
// the delegate started at once. The PAC file and the request to re-fetch it
// are in syssrvWpadPac.cpp; the expiry timer's callback, timerFunc, sits
// with the message layer.
//
// Commands: ./wpad (relative to the daemon's working directory); SIGTERM to
// a running "wpad" (SIGKILL when it stays); the delegate's
// (syssrvDelegate.cpp).
// Variables: reads the proxy settings and credentials; writes
// system.proxy.pacfile.status = "Unknown" after a manual PAC file.
#include <signal.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "OS/logmsg.h"
#include "OS/oslinux.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvHostname.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvWpad.h"

namespace {

const char kComponent[] = "SysrvWpad";
const char kEnabledVar[] = "system.proxy.webproxy.enabled";
const char kWpadProgram[] = "wpad";
constexpr int kFlagLen = 32;
constexpr int kAddressLen = 1024;

// SIGTERM ends "wpad" a moment later; a restart waits for it to leave, up
// to kWpadExitPolls polls, so that a fresh one is started and not reported
// as "already running". One that ignores SIGTERM is killed: left running,
// it would be reported as running for ever and discovery never restarted.
constexpr int kWpadExitPolls = 10;
constexpr uint64_t kWpadExitPollUs = 100000;

void stop_delegate_and_dns() {
  delegate_dns_set_post();
  stop_delegate();
}

// The format carries the line's end: the log facility holds a message
// whose format has none as the start of a line still to come.
void take_credential(const std::string& value, char* out, const char* what) {
  if (value.empty()) logwarn(nullptr, "proxy %s config is empty\n", what);
  strlcpy(out, value.c_str(), kDelegateCredentialLen);
}

void kill_wpad() {
  const pid_t pid = findPid(kWpadProgram);
  if (pid == 0) return;
  logdebug(nullptr, "killing Wpad.%d\n", static_cast<int>(pid));
  for (const int sig : {SIGTERM, SIGKILL}) {
    if (sig == SIGKILL) logwarn(kComponent, "Wpad.%d ignored SIGTERM, sending SIGKILL\n", static_cast<int>(pid));
    sysio().kill(pid, sig);
    for (int i = 0; i < kWpadExitPolls; ++i) {
      if (findPid(kWpadProgram) != pid) return;
      sysio().sleep_us(kWpadExitPollUs);
    }
  }
}

}  // namespace

void StartWpad() {
  if (strcasecmp(config_read_str(kEnabledVar, kFlagLen).c_str(), "false") == 0) {
    logdebug(nullptr, "%s: Webproxy is disabled.\n", "StartWpad");
    return;
  }
  const std::string autoconf = config_read_str("system.proxy.manual.autoconf", kFlagLen);
  const std::string address = config_read_str("system.proxy.manual.proxyaddress", kAddressLen);
  const int port = atoi(config_read_str("system.proxy.manual.proxyport", kFlagLen).c_str());
  StopWpad();
  if (isDelegateRunning() == 1) stop_delegate_and_dns();
  if (get_wpad_credentials() != 1) logdebug(nullptr, "Starting WPAD without user credentials\n");
  if (port >= 1 && strcasecmp(autoconf.c_str(), "false") == 0) {
    CreateManualPac(address.c_str(), port);
    char status[] = "Unknown";
    do_config_write("system.proxy.pacfile.status", status);
    delegate_dns_set_pre();
    start_delegate();
  } else if (findPid(kWpadProgram) == 0) {
    logdebug(nullptr, "Start Wpad. %d\n", 0);
    sysio().system("./wpad");
  } else {
    loginfo(nullptr, "%s: Wpad is already running.\n", "StartWpad");
  }
}

void StopWpad() {
  if (isDelegateRunning() == 1) stop_delegate_and_dns();
  if (PacExpiryTimer.TimerRunning()) PacExpiryTimer.TimerStop();
  kill_wpad();
  RemovePACFile();
}

int get_wpad_credentials() {
  if (strncasecmp(config_read_str(kEnabledVar, kFlagLen).c_str(), "False", 5) == 0) {
    logerr(kComponent, "cannot run delegate without web proxy enabled\n");
    return 0;
  }
  const bool sip = strncmp(config_read_str("system.proxy.usesfbcredentials", kFlagLen).c_str(), "False", 5) != 0;
  const std::string user = config_read_str(sip ? "comm.NICs.SipNic.sipaccountname" : "system.proxy.webproxy.username",
                                           kDelegateCredentialLen);
  const std::string password = config_read_str(sip ? "comm.NICs.SipNic.sippassword" : "system.proxy.webproxy.password",
                                               kDelegateCredentialLen);
  take_credential(user, delegate_uname, "username");
  take_credential(password, delegate_passwd, "password");
  return 1;
}
