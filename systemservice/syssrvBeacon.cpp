// The discovery beacon daemon: started without a shell with the model, the
// discovery API version and the MAC address as its arguments, stopped with
// SIGTERM and reaped before it is started again.
//
// Commands: fork_exec /opt/corvale/bin/amxbeacond <model> <apiversion> <mac> "" "" ""
#include <signal.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <strings.h>

#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvHostname.h"

namespace {

const char kBeaconProgram[] = "/opt/corvale/bin/amxbeacond";
constexpr int kValueLen = 64;  // each argument is read as 63 characters

// The beacon normally ends at once on SIGTERM. One that does not is given
// SIGKILL after kPolls polls, and forgotten after as many more, so the main
// loop is never held for more than a few seconds.
constexpr int kPolls = 20;
constexpr uint64_t kPollUs = 100000;

pid_t gBeaconPid = 0;

// Polls the beacon until it is reaped or cannot be waited for; true when it
// is gone.
bool reap_beacon() {
  for (int i = 0; i < kPolls; ++i) {
    int status = 0;
    if (waitOnChild(gBeaconPid, &status) != kTimeOut) return true;
    logdebug(nullptr, "Waiting for AMX beacon process to die...\n");
    sysio().sleep_us(kPollUs);
  }
  return false;
}

void stop_beacon() {
  logdebug(nullptr, "Killing AMX beacon daemon.\n");
  if (sysio().kill(gBeaconPid, SIGTERM) != 0) logerr(nullptr, "killing child failed: %s\n", strerror(errno));
  if (!reap_beacon()) {
    logwarn(nullptr, "AMX beacon process %d ignores SIGTERM, sending SIGKILL\n", static_cast<int>(gBeaconPid));
    sysio().kill(gBeaconPid, SIGKILL);
    if (!reap_beacon()) logerr(nullptr, "AMX beacon process %d did not end, forgetting it\n", static_cast<int>(gBeaconPid));
  }
  gBeaconPid = 0;
}

}  // namespace

void update_amx_beacon(char* state) {
  if (gBeaconPid > 0) stop_beacon();
  if (state == nullptr || strncasecmp(state, "true", 4) != 0) return;
  std::string model = config_read_str("system.info.humanreadablemodel", kValueLen);
  for (char& c : model) {
    if (c == ' ' || c == '\t') c = '_';
  }
  const std::string api = config_read_str("system.discovery.apiversion", kValueLen);
  const std::string mac = config_read_str("system.network.wired.ethernet.macaddress", kValueLen);
  logdebug(nullptr, "Starting AMX beacon daemon.\n");
  const char* argv[] = {kBeaconProgram, model.c_str(), api.c_str(), mac.c_str(), "", "", "", nullptr};
  if (forkExec(argv, &gBeaconPid) != kNoError) {
    gBeaconPid = 0;
    logdebug(nullptr, "Failed to start AMX beacon process.\n");
  }
}
