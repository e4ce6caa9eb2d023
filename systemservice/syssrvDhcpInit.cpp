// Start-up of the DNS and DHCP module: the first DNS configuration, and the
// IPv6 side restarted when DHCPv6 has no lease and no router advertisement
// asked for one. It restarts through the LAN module, hence its own file in
// the start-up module.
#include <cstring>

#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvLan.h"

namespace {

// Both values are read with at most 31 characters.
constexpr int kValueLen = 32;

}  // namespace

void syssrvDhcpInit() {
  updateDnsConfig();
  char value[kValueLen] = "";
  // Flags already set at start are the first report isDependMO absorbs.
  if (config_read("system.network.wired.ipv6nic.moflag", value, sizeof value, nullptr) == 0 &&
      strcmp(value, "0") != 0) {
    bMOFlagInited = true;
  }
  if (config_read("system.network.wired.ipv6nic.dhcp.state", value, sizeof value, nullptr) == 0 &&
      strcmp(value, "unbound") == 0 && isMONotSetOnBoot()) {
    restart_IPv6Only();
  }
}
