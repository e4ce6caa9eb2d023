// While the web-proxy delegate runs, every name lookup goes to it at
// 127.0.0.1: the configured domain and servers are saved in persist_config
// and published again when it stops. The configuration itself is never
// changed here.
#include "OS/oslinux.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvMessage.h"

namespace {

void publish(ConfiguredOptions* options) {
  setPropOptions(options);
  refreshPropOptions();
  writeResolvConf(options);
}

}  // namespace

void delegate_dns_set_pre() {
  config_read("system.network.domainname", persist_config.domainName, kDomainNameLen, nullptr);
  for (int i = 0; i < kMaxDnsServers; ++i) {
    config_read_instance("system.network.dnsserver", persist_config.dnsServers[i], kDnsServerLen, nullptr, i);
  }
  ConfiguredOptions diverted = {};
  strlcpy(diverted.domainName, persist_config.domainName, kDomainNameLen);
  for (char* server : diverted.dnsServers) strlcpy(server, "127.0.0.1", kDnsServerLen);
  publish(&diverted);
}

void delegate_dns_set_post() { publish(&persist_config); }
