// Placeholder until the DNS and DHCP module is built; its address-mode
// questions are real already (syssrvDhcpModes.cpp).
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvPending.h"

void updateDnsConfig() { syssrvPending("updateDnsConfig"); }
void writeResolvConf(ConfiguredOptions* options) { syssrvPending("writeResolvConf", options); }
void setPropOptions(ConfiguredOptions* options) { syssrvPending("setPropOptions", options); }
void refreshPropOptions() { syssrvPending("refreshPropOptions"); }
int setProp(const char* name, const char* value) {
  syssrvPending("setProp", name, value);
  return 0;
}
// An empty value, as for a property that is not set.
int getProp(const char* name, char* buffer) {
  syssrvPending("getProp", name, buffer ? "ptr" : "null");
  if (buffer) buffer[0] = '\0';
  return 0;
}
void setPropDnsServer(const char* name, const char* server) { syssrvPending("setPropDnsServer", name, server); }
void syssrvDhcpInit() { syssrvPending("syssrvDhcpInit"); }
void delegate_dns_set_pre() { syssrvPending("delegate_dns_set_pre"); }
void delegate_dns_set_post() { syssrvPending("delegate_dns_set_post"); }
