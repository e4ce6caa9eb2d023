// Publishing a DNS record to the platform: the Android properties
// "net.dns.search", "net.dns1".."net.dns4" and the change counter
// "net.dnschange" that tells resolvers to reload, and "/data/etc/resolv.conf":
//
//   search <domain>
//   nameserver <server>      one line per non-empty slot, in slot order
//
// The file is left empty when there is no domain. Values come from DHCP
// servers and administrators: a domain or server that would add a line, and
// a server that is not an address, never reach the file.
#include <arpa/inet.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvQuote.h"

namespace {

const char kResolvConf[] = "/data/etc/resolv.conf";
const char* const kServerProps[kMaxDnsServers] = {"net.dns1", "net.dns2", "net.dns3", "net.dns4"};

bool isAddress(const char* text) {
  unsigned char addr[sizeof(struct in6_addr)];
  return inet_pton(AF_INET, text, addr) == 1 || inet_pton(AF_INET6, text, addr) == 1;
}

// The file's bytes; empty when there is no domain (or none it may hold).
std::string resolvConfText(const ConfiguredOptions& options) {
  if (options.domainName[0] == '\0' || !file_value_ok("resolv.conf search domain", options.domainName)) return "";
  std::string text = std::string("search ") + options.domainName + "\n";
  for (int i = 0; i < kMaxDnsServers; ++i) {
    const char* server = options.dnsServers[i];
    if (server[0] == '\0') continue;
    if (!isAddress(server)) {
      logwarn(nullptr, "writeResolvConf: name server [%d] (%s) is not an address, not written\n", i,
              log_text(server).c_str());
      continue;
    }
    text += std::string("nameserver ") + server + "\n";
  }
  return text;
}

}  // namespace

void writeResolvConf(ConfiguredOptions* options) {
  if (options == nullptr) return;
  // Replaced whole (a temporary beside it, then a rename), so that a resolver
  // never reads half a file; one that cannot be written is left as it was.
  if (!sysio_write_file_atomic(kResolvConf, resolvConfText(*options))) {
    logdebug(nullptr, "writeResolvConf: %s not written, errno %d\n", kResolvConf, errno);
  }
}

void setPropOptions(ConfiguredOptions* options) {
  if (options == nullptr) return;
  setProp("net.dns.search", options->domainName);
  for (int i = 0; i < kMaxDnsServers; ++i) setPropDnsServer(kServerProps[i], options->dnsServers[i]);
}

void refreshPropOptions() {
  char value[kPropValueMax] = "";
  getProp("net.dnschange", value);
  // Unset counts as 0. Readers only watch for a change: unsigned arithmetic
  // lets any value, however long, count on without overflow.
  char next[16];
  snprintf(next, sizeof next, "%d", static_cast<int>(strtoull(value, nullptr, 10) + 1));
  setProp("net.dnschange", next);
}

int setProp(const char* name, const char* value) {
  int rc = sysio().property_set(name, value);
  if (rc != 0) logwarn("syssrvDhcp", "Failed to set property (%s) to (%s), err %d\n", name, log_text(value).c_str(), rc);
  return rc;
}

int getProp(const char* name, char* buffer) {
  int len = sysio().property_get(name, buffer);
  if (len == 0) logwarn(nullptr, "Failed to get property (%s) to (%s), err %d\n", name, buffer, len);
  return len;
}

void setPropDnsServer(const char* name, const char* server) {
  bool none = server == nullptr || server[0] == '\0' || strcmp(server, "0.0.0.0") == 0 || strcmp(server, "::") == 0;
  setProp(name, none ? "" : server);
}
