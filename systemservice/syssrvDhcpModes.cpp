// The address-mode questions of the DNS and DHCP module, asked by the LAN
// module, the access-level policy and the change dispatcher. Each reads its
// variable afresh: the answer follows the configuration as it is now.
#include <strings.h>

#include <cstdlib>

#include "OS/logmsg.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvDhcp.h"

namespace {

// Mode and flag texts are read with at most 31 characters.
constexpr int kModeLen = 32;
// Router-advertisement flags: managed and other configuration.
constexpr unsigned long kManagedFlag = 0x80;
constexpr unsigned long kOtherFlag = 0x40;

bool modeIsOff(const char* name) {
  char mode[kModeLen] = "";
  if (config_read(name, mode, sizeof mode, nullptr) != 0) return false;
  return strcasecmp(mode, "Off") == 0;
}

}  // namespace

bool bMOFlagInited = false;
bool bMOFlagSetOnBoot = false;

int configReadBool(const char* name, bool* value) {
  char text[kModeLen] = "";
  int rc = config_read(name, text, sizeof text, nullptr);
  if (rc == 0) *value = strncasecmp(text, "true", 4) == 0;
  return rc;
}

bool isIPv6Enabled() {
  const char kVar[] = "system.network.wired.ipv6nic.enabled";
  bool enabled = false;
  int rc = configReadBool(kVar, &enabled);
  if (rc != 0) logwarn(nullptr, "Fail to read %s, err %d\n", kVar, rc);
  return enabled;
}

bool isIPv6Manual() { return modeIsOff("system.network.wired.ipv6nic.mode"); }

bool isIPv4Manual() { return modeIsOff("system.network.wired.ipv4nic.mode"); }

bool isMOFlagOn() {
  char text[kModeLen] = "";
  if (config_read("system.network.wired.ipv6nic.moflag", text, sizeof text, nullptr) != 0) return false;
  unsigned long flags = strtoul(text, nullptr, 10);
  return (flags & (kManagedFlag | kOtherFlag)) != 0;
}

bool isDependMO() {
  if (isIPv6Enabled() && !isIPv6Manual() && bMOFlagInited) return true;
  bMOFlagInited = true;
  return false;
}

bool isMONotSetOnBoot() {
  bool answer = !bMOFlagSetOnBoot && isIPv6Enabled() && !isIPv6Manual() && !isMOFlagOn();
  bMOFlagSetOnBoot = true;
  return answer;
}
