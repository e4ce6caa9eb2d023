// The IPv6 address variables of the wired LAN, kept in step with what the
// kernel holds for the interface: link-local, site-local (or unique-local),
// global address and the default gateway.
//
// Files read (opened once through sysio().fopen(), read from the start at
// each scan):
//   /proc/net/if_inet6     addresses, every eighth pass while the link is up
//   /proc/net/ipv6_route   routes, four passes after each address scan
#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "OS/logmsg.h"
#include "OS/oslinux.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvLan.h"

namespace {

const char kDeviceNameVar[] = "system.network.wired.devicename";
const char kLinkLocalVar[] = "system.network.wired.ipv6nic.linklocal";
const char kSiteLocalVar[] = "system.network.wired.ipv6nic.sitelocal";
const char kGlobalVar[] = "system.network.wired.ipv6nic.globaladdress";
const char kGatewayVar[] = "system.network.wired.ipv6nic.defaultgateway";

const char kIfInet6Path[] = "/proc/net/if_inet6";
const char kIpv6RoutePath[] = "/proc/net/ipv6_route";

// What the variables hold when no address of a kind is known.
const char kNoAddress[] = "::/128";
const char kNoGateway[] = "::";

// Address text, a slash and the prefix length; the gateway without prefix.
constexpr size_t kV6AddrLen = 48;
// /proc tables name the device in at most 31 characters here.
constexpr int kProcDevNameLen = 32;

// Scope bits of an /proc/net/if_inet6 line (the kernel's IPV6_ADDR_SCOPE_MASK).
constexpr unsigned kScopeMask = 0xF0;
constexpr unsigned kScopeHost = 0x10;
constexpr unsigned kScopeLink = 0x20;
constexpr unsigned kScopeSite = 0x40;
// Route flags of /proc/net/ipv6_route (RTF_GATEWAY, RTF_DEFAULT).
constexpr unsigned kRouteGateway = 0x0002;
constexpr unsigned kRouteDefault = 0x10000;

// The last values written to the configuration; empty: none known.
char v6LinkAddr[kV6AddrLen];
char v6SiteAddr[kV6AddrLen];
char v6ULAddr[kV6AddrLen];
char v6GlobalAddr[kV6AddrLen];
char v6GatewayAddr[kV6AddrLen];

FILE* fp_v6addr = nullptr;
FILE* fp_v6route = nullptr;

// The state given to the last syssrvLanUpdateStatus call.
int lanState = 0;
// Calls made with the link up; wraps at 256, a multiple of the scan period.
uint8_t timetick = 0;

// The address kinds the scans track, in the order they are settled, with
// the variable each is published in (unique-local shares the site-local one).
struct V6Kind {
  char* buffer;
  const char* variable;
};
const V6Kind kV6Kinds[] = {
    {v6LinkAddr, kLinkLocalVar},
    {v6SiteAddr, kSiteLocalVar},
    {v6ULAddr, kSiteLocalVar},
    {v6GlobalAddr, kGlobalVar},
};
enum V6KindIndex { kKindLink, kKindSite, kKindUla, kKindGlobal, kKindCount };

void remember(char* buffer, const char* text) { strlcpy(buffer, text, kV6AddrLen); }

void publish(const char* variable, const char* value) { config_write(variable, value, kSystem); }

// The device name as the /proc tables spell it; false when it cannot be read.
bool readDeviceName(char* dev) {
  dev[0] = '\0';
  return config_read(kDeviceNameVar, dev, kProcDevNameLen, nullptr) == 0;
}

// The whole table as it is now, from a handle opened on first use; false
// (logged) when it cannot be opened, and then it is tried again at the next
// scan. The bytes are taken with pread on the handle's descriptor rather
// than through the stream: a scan that stops early leaves the table in the
// stream's buffer, and a rewind then only moves inside that stale copy.
bool readTable(FILE** fp, const char* path, std::string* out) {
  out->clear();
  if (*fp == nullptr) {
    *fp = sysio().fopen(path, "re");
    if (*fp == nullptr) {
      logwarn(nullptr, "Could not open %s\n", path);
      return false;
    }
  }
  char buf[4096];
  for (;;) {
    ssize_t n = pread(fileno(*fp), buf, sizeof buf, static_cast<off_t>(out->size()));
    if (n <= 0) break;
    out->append(buf, static_cast<size_t>(n));
  }
  return true;
}

// Calls `parse` with each line of `table` until it returns false (a line
// that does not have the table's shape ends the scan, as the end does).
template <class Parse>
void forEachLine(const std::string& table, Parse parse) {
  size_t pos = 0;
  while (pos < table.size()) {
    size_t end = table.find('\n', pos);
    if (end == std::string::npos) end = table.size();
    if (!parse(table.substr(pos, end - pos).c_str())) return;
    pos = end + 1;
  }
}

// Four host-order words of a /proc table as IPv6 text (at most 47 characters).
void renderAddress(const unsigned words[4], char* out, size_t outLen) {
  struct in6_addr addr;
  uint32_t net[4];
  for (int i = 0; i < 4; ++i) net[i] = htonl(words[i]);
  memcpy(&addr, net, sizeof addr);
  char text[INET6_ADDRSTRLEN] = "";
  if (inet_ntop(AF_INET6, &addr, text, sizeof text) == nullptr) text[0] = '\0';
  strlcpy(out, text, outLen);
}

bool isUniqueLocal(const char* text) { return strncmp(text, "fc", 2) == 0 || strncmp(text, "fd", 2) == 0; }

// Publishes `text` for one kind unless it is what was published last.
void updateKind(V6KindIndex kind, const char* text) {
  const V6Kind& k = kV6Kinds[kind];
  if (strcmp(text, k.buffer) == 0) return;
  publish(k.variable, text);
  remember(k.buffer, text);
}

}  // namespace

void checkIPv6Addr() {
  char dev[kProcDevNameLen];
  if (!readDeviceName(dev)) return;
  std::string table;
  if (!readTable(&fp_v6addr, kIfInet6Path, &table)) return;

  bool seen[kKindCount] = {false, false, false, false};
  bool globalUnchanged = false;
  char candidate[kV6AddrLen] = "";
  forEachLine(table, [&](const char* line) {
    unsigned words[4];
    unsigned ifindex = 0, prefix = 0, scope = 0, flags = 0;
    char name[9];
    if (sscanf(line, "%8x%8x%8x%8x %2x %2x %2x %2x %8s", &words[0], &words[1], &words[2], &words[3], &ifindex,
               &prefix, &scope, &flags, name) != 9) {
      return false;
    }
    if (strcmp(name, dev) != 0) return true;
    const unsigned masked = scope & kScopeMask;
    if (masked == kScopeHost) return true;
    char addr[kV6AddrLen];
    char text[kV6AddrLen + 16];
    renderAddress(words, addr, sizeof addr);
    snprintf(text, sizeof text, "%s/%u", addr, prefix);
    // Kept as the remembered buffers hold it, so that comparisons agree.
    text[kV6AddrLen - 1] = '\0';

    if (masked == kScopeLink) {
      seen[kKindLink] = true;
      updateKind(kKindLink, text);
    } else if (masked == kScopeSite) {
      seen[kKindSite] = true;
      updateKind(kKindSite, text);
    } else if (isUniqueLocal(text)) {
      seen[kKindUla] = true;
      updateKind(kKindUla, text);
    } else {
      // Of several global addresses the one already published stays; else
      // the last one listed is taken.
      seen[kKindGlobal] = true;
      if (strcmp(text, v6GlobalAddr) == 0) {
        globalUnchanged = true;
      } else {
        remember(candidate, text);
      }
    }
    return true;
  });

  if (!globalUnchanged && candidate[0] != '\0') {
    remember(v6GlobalAddr, candidate);
    publish(kGlobalVar, v6GlobalAddr);
    logdebug(nullptr, "Updated %s with %s\n", kGlobalVar, v6GlobalAddr);
  }

  // Kinds that went away: forget them, and clear what the automatic modes
  // published (manual addresses are the administrator's to keep).
  int manual = -1;
  for (int kind = kKindLink; kind < kKindCount; ++kind) {
    const V6Kind& k = kV6Kinds[kind];
    if (k.buffer[0] == '\0' || seen[kind]) continue;
    k.buffer[0] = '\0';
    if (manual < 0) manual = isIPv6Manual() ? 1 : 0;
    if (manual == 0) publish(k.variable, kNoAddress);
  }
}

void checkIPv6GatewayAddr() {
  char dev[kProcDevNameLen];
  if (!readDeviceName(dev)) return;
  std::string table;
  if (!readTable(&fp_v6route, kIpv6RoutePath, &table)) return;

  char found[kV6AddrLen] = "";
  forEachLine(table, [&](const char* line) {
    char dst[80], dstPrefix[80], src[80], srcPrefix[80], metric[80], refCount[80], useCount[80];
    unsigned hop[4];
    unsigned flags = 0;
    char name[9];
    if (sscanf(line, "%79s %79s %79s %79s %8x%8x%8x%8x %79s %79s %79s %8x %8s", dst, dstPrefix, src, srcPrefix,
               &hop[0], &hop[1], &hop[2], &hop[3], metric, refCount, useCount, &flags, name) != 13) {
      return false;
    }
    if (strcmp(name, dev) != 0 || (flags & kRouteGateway) == 0) return true;
    renderAddress(hop, found, sizeof found);
    // The default route's next hop wins; else the last gateway route's.
    return (flags & kRouteDefault) == 0;
  });
  // No gateway is published as "::", once, like any other change.
  if (found[0] == '\0') remember(found, kNoGateway);
  if (strcmp(found, v6GatewayAddr) == 0) return;
  remember(v6GatewayAddr, found);
  publish(kGatewayVar, v6GatewayAddr);
}

void clearIPv6Config() {
  publish(kLinkLocalVar, kNoAddress);
  publish(kSiteLocalVar, kNoAddress);
  publish(kGlobalVar, kNoAddress);
  publish(kGatewayVar, kNoGateway);
  for (const V6Kind& k : kV6Kinds) k.buffer[0] = '\0';
  v6GatewayAddr[0] = '\0';
}

void syssrvLanInit() {
  if (isIPv6Manual()) return;
  logdebug(nullptr,
           "Clear out configuration variables on IPv6 addresses and gateway during start-up in IPv6-auto mode.\n");
  clearIPv6Config();
}

void syssrvLanRestart() {
  if (isIPv6Manual()) return;
  logdebug(nullptr,
           "Clear out configuration variables on IPv6 addresses and gateway during restart in IPv6-auto mode.\n");
  clearIPv6Config();
}

void syssrvLanUpdateStatus(int state) {
  if (state != lanState) {
    if (state == LAN_DOWN) {
      // Addresses of a dead link are withdrawn; the next scans after the
      // link returns publish the real ones again, as they differ from these.
      const bool hadGlobal = v6GlobalAddr[0] != '\0';
      for (const V6Kind& k : kV6Kinds) {
        if (k.buffer[0] != '\0') remember(k.buffer, kNoAddress);
      }
      if (hadGlobal) remember(v6GatewayAddr, kNoGateway);
      const bool anyKnown = v6LinkAddr[0] != '\0' || v6SiteAddr[0] != '\0' || v6ULAddr[0] != '\0' ||
                            v6GlobalAddr[0] != '\0' || v6GatewayAddr[0] != '\0';
      if (anyKnown && !isIPv6Manual()) {
        if (v6LinkAddr[0] != '\0') publish(kLinkLocalVar, v6LinkAddr);
        if (v6SiteAddr[0] != '\0') {
          publish(kSiteLocalVar, v6SiteAddr);
        } else if (v6ULAddr[0] != '\0') {
          publish(kSiteLocalVar, v6ULAddr);
        }
        if (v6GlobalAddr[0] != '\0') publish(kGlobalVar, v6GlobalAddr);
        if (v6GatewayAddr[0] != '\0') publish(kGatewayVar, v6GatewayAddr);
      }
    }
    lanState = state;
  }
  if (state != LAN_UP) return;
  // One call per pass: the address and gateway scans each run once every
  // eight passes, four passes apart, to keep /proc reads off most passes.
  ++timetick;
  if (timetick % 8 == 0) {
    checkIPv6Addr();
  } else if (timetick % 8 == 4) {
    checkIPv6GatewayAddr();
  }
}

void syssrvLanIPv6_testing_reset() {
  if (fp_v6addr != nullptr) fclose(fp_v6addr);
  if (fp_v6route != nullptr) fclose(fp_v6route);
  fp_v6addr = nullptr;
  fp_v6route = nullptr;
  for (const V6Kind& k : kV6Kinds) k.buffer[0] = '\0';
  v6GatewayAddr[0] = '\0';
  lanState = 0;
  timetick = 0;
}
