// The effective DNS configuration: which name servers and which search
// domain the unit uses, decided from what the DHCPv4 and DHCPv6 clients
// obtained and what the administrator configured, written back into the
// configuration (as the start-up role, so that the administrator's write
// levels never stop it) and published unless the delegate owns resolution.
//
// Slot order is the order of preference: DHCPv4 first (its servers keep
// their instance positions), then DHCPv6, then the static servers that the
// addressing modes allow.
#include <arpa/inet.h>
#include <strings.h>

#include <cstring>

#include "OS/logmsg.h"
#include "OS/oslinux.h"
#include "systemservice/syssrvAlerts.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvQuote.h"

namespace {

const char kComponent[] = "updateDnsConfig";
const char kV4StateVar[] = "system.network.wired.ipv4nic.dhcp.state";
const char kV6StateVar[] = "system.network.wired.ipv6nic.dhcp.state";
const char kV4DomainVar[] = "system.network.wired.ipv4nic.dhcp.domainname";
const char kV6DomainVar[] = "system.network.wired.ipv6nic.dhcp.domainname";
const char kV4ServerVar[] = "system.network.wired.ipv4nic.dhcp.dnsserver";
const char kV6ServerVar[] = "system.network.wired.ipv6nic.dhcp.dnsserver";
const char kDomainVar[] = "system.network.domainname";
const char kServerVar[] = "system.network.dnsserver";
const char kV6EnabledVar[] = "system.network.wired.ipv6nic.enabled";
const char kSlaacVar[] = "system.network.wired.ipv6nic.enableslaac";

// A DHCP state is read with at most 31 characters, a DHCPv4 server with 15
// (the longest dotted quad).
constexpr int kStateLen = 32;
constexpr int kV4ServerLen = 16;

// What the DHCP clients report and whether IPv6 is on, read once per update.
struct DhcpView {
  bool v4Bound = false;
  bool v6Bound = false;
  bool v6Enabled = false;
};

// The new record and how many servers it holds so far. A source appends at
// position `count`.
struct Candidate {
  ConfiguredOptions options = {};
  int count = 0;
};

bool isBound(const char* name) {
  char state[kStateLen] = "";
  int rc = config_read(name, state, sizeof state, nullptr);
  if (rc != 0) logwarn(kComponent, "Fail to read %s, err %d\n", name, rc);
  return rc == 0 && strcasecmp(state, "bound") == 0;
}

DhcpView readDhcpView() {
  DhcpView view;
  view.v4Bound = isBound(kV4StateVar);
  view.v6Bound = isBound(kV6StateVar);
  int rc = configReadBool(kV6EnabledVar, &view.v6Enabled);
  if (rc != 0) logwarn(kComponent, "Fail to read %s, err %d\n", kV6EnabledVar, rc);
  return view;
}

// Copies the value into `out` (kDomainNameLen bytes); empty when unreadable.
void readDomain(const char* name, char* out) { config_read(name, out, kDomainNameLen, nullptr); }

// A server text that stands for "none".
bool isNoServer(const char* server) {
  return server[0] == '\0' || strcmp(server, "0.0.0.0") == 0 || strcmp(server, "::") == 0;
}

bool parsesAs(int family, const char* text) {
  unsigned char addr[sizeof(struct in6_addr)];
  return inet_pton(family, text, addr) == 1;
}

void takeDhcpv4(Candidate* c) {
  readDomain(kV4DomainVar, c->options.domainName);
  logdebug(nullptr, "Use Dhcpv4 domain name: %s\n", log_text(c->options.domainName).c_str());
  for (int i = 0; i < kMaxDnsServers; ++i) {
    char server[kV4ServerLen] = "";
    if (config_read_instance(kV4ServerVar, server, sizeof server, nullptr, i) != 0) continue;
    if (server[0] == '\0' || strcmp(server, "0.0.0.0") == 0) continue;
    strlcpy(c->options.dnsServers[i], server, kV4ServerLen);
    ++c->count;
    logdebug(nullptr, "Use Dhcpv4 DNS Server [%d]: %s, numDnsServers %d\n", i, log_text(server).c_str(), c->count);
  }
}

// DHCPv6 servers fill the slots from the current count on, instance by
// instance; an empty instance leaves its slot empty.
void takeDhcpv6(Candidate* c) {
  if (c->options.domainName[0] == '\0') {
    readDomain(kV6DomainVar, c->options.domainName);
    logdebug(nullptr, "Use Dhcpv6 domain name: %s\n", log_text(c->options.domainName).c_str());
  }
  for (int slot = c->count, instance = 0; slot < kMaxDnsServers; ++slot, ++instance) {
    char server[kDnsServerLen] = "";
    if (config_read_instance(kV6ServerVar, server, sizeof server, nullptr, instance) != 0) continue;
    if (server[0] == '\0' || strcmp(server, "::") == 0) continue;
    strlcpy(c->options.dnsServers[slot], server, kDnsServerLen);
    ++c->count;
    logdebug(nullptr, "Use Dhcpv6 DNS Server: [%d], %s, numDnsServers %d\n", slot, log_text(server).c_str(),
             c->count);
  }
}

ConfiguredOptions readConfigured() {
  ConfiguredOptions configured = {};
  readDomain(kDomainVar, configured.domainName);
  for (int i = 0; i < kMaxDnsServers; ++i) {
    char* slot = configured.dnsServers[i];
    if (config_read_instance(kServerVar, slot, kDnsServerLen, nullptr, i) != 0 || isNoServer(slot)) slot[0] = '\0';
  }
  return configured;
}

// Appends each configured server of `family`, in slot order, until four.
void appendStatic(Candidate* c, const ConfiguredOptions& configured, int family) {
  for (int i = 0; i < kMaxDnsServers && c->count < kMaxDnsServers; ++i) {
    if (!parsesAs(family, configured.dnsServers[i])) continue;
    strlcpy(c->options.dnsServers[c->count], configured.dnsServers[i], kDnsServerLen);
    ++c->count;
  }
}

// Static IPv6 servers stand beside automatic addressing only with SLAAC
// and no managed/other flag: a DHCPv6 server would otherwise supply them.
bool staticIPv6Allowed() {
  if (isIPv6Manual()) return true;
  bool slaac = false;
  configReadBool(kSlaacVar, &slaac);
  return slaac && !isMOFlagOn();
}

void takeStatic(Candidate* c, const ConfiguredOptions& configured, bool v6Enabled) {
  if (c->count < kMaxDnsServers && isIPv4Manual()) appendStatic(c, configured, AF_INET);
  if (c->count < kMaxDnsServers && v6Enabled && staticIPv6Allowed()) appendStatic(c, configured, AF_INET6);
}

void settleDomain(Candidate* c, const ConfiguredOptions& configured) {
  char* domain = c->options.domainName;
  const std::string shown = log_text(configured.domainName);
  if (domain[0] == '\0') {
    strlcpy(domain, configured.domainName, kDomainNameLen);
    logdebug(nullptr, "NO change to %s from (%s)\n", kDomainVar, shown.c_str());
  } else if (strcmp(domain, configured.domainName) != 0) {
    logdebug(nullptr, "Change domain name configuration from (%s) to (%s)\n", shown.c_str(),
             log_text(domain).c_str());
    config_write(kDomainVar, domain, kStartup);
  } else {
    logdebug(nullptr, "NO change to %s, stayed at (%s)\n", kDomainVar, shown.c_str());
  }
}

void writeServers(const Candidate& c, const ConfiguredOptions& configured) {
  for (int i = 0; i < kMaxDnsServers; ++i) {
    const char* now = c.options.dnsServers[i];
    const char* was = configured.dnsServers[i];
    if (strcmp(now, was) != 0) {
      logdebug(nullptr, "Change DNS configuration [%d] from %s to %s\n", i, log_text(was).c_str(),
               log_text(now).c_str());
      config_write_instance(kServerVar, now, kStartup, i);
    } else {
      logdebug(nullptr, "No change to DNS configuration [%d] stayed at (%s)\n", i, log_text(now).c_str());
    }
  }
}

}  // namespace

void updateDnsConfig() {
  Candidate c;
  const DhcpView view = readDhcpView();
  if (view.v4Bound) takeDhcpv4(&c);
  if (view.v6Enabled && view.v6Bound) takeDhcpv6(&c);
  const ConfiguredOptions configured = readConfigured();
  takeStatic(&c, configured, view.v6Enabled);
  settleDomain(&c, configured);
  if (c.count == 0) {
    logdebug(nullptr, "NO DNS server addresses\n");
    return;
  }
  writeServers(c, configured);
  if (isDelegateRunning()) {
    loginfo(nullptr, "Proxy enabled, skip DNS props update\n");
    return;
  }
  setPropOptions(&c.options);
  refreshPropOptions();
  writeResolvConf(&c.options);
}
