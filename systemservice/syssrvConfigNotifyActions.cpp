// Row actions of the configuration change dispatcher that read further
// variables or write some back: remote-log address completion, delegate
// restart, PAC expiry, out-of-box and discovery-complete changes, and the
// DHCP rows. The language reset is in syssrvConfigNotifyLanguage.cpp.
#include <regex.h>
#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "OS/logmsg.h"
#include "OS/oslinux.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvConfigNotifyActions.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvHostname.h"
#include "systemservice/syssrvLan.h"
#include "systemservice/syssrvLocale.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvProvisioning.h"
#include "systemservice/syssrvQuote.h"
#include "systemservice/syssrvWpad.h"

namespace {

const char kWpadComponent[] = "SysrvWpad";

// Shapes of a server address that already carries a port.
const char* const kAddressWithPortPatterns[] = {
    // IPv6 address with port
    "^(\\[)?(.*\\:.*){7}(\\])?\\:([0-9]{1,5})$",
    // host name with port
    "^(([a-zA-Z0-9]|[a-zA-Z0-9][a-zA-Z0-9\\-]*[a-zA-Z0-9])\\.)*([A-Za-z]|[A-Za-z][A-Za-z0-9\\-]*[A-Za-z0-9])(\\:[0-9]+){1,}$",
    // IPv4 address with port
    "^[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}((((\\:)([0-9]{1,}))+))$",
};

// Default syslog ports: RFC 5426 (UDP), RFC 6587 (TCP), RFC 5425 (TLS).
struct ProtocolPort {
  const char* protocol;
  const char* port;
};
const ProtocolPort kRemoteLogPorts[] = {
    {"UDP", "514"},
    {"TCP", "601"},
    {"TLS", "6514"},
};

bool hasPort(const char* address) {
  for (const char* pattern : kAddressWithPortPatterns) {
    regex_t re;
    if (regcomp(&re, pattern, REG_EXTENDED | REG_NOSUB) != 0) {
      logerr(nullptr, "config_change_notify: bad address pattern %s\n", pattern);
      continue;
    }
    const bool match = regexec(&re, address, 0, nullptr, 0) == 0;
    regfree(&re);
    if (match) return true;
  }
  return false;
}

const char* defaultPort(const char* protocol) {
  for (const ProtocolPort& p : kRemoteLogPorts) {
    if (strcmp(p.protocol, protocol) == 0) return p.port;
  }
  return nullptr;
}

// The timer takes an int of milliseconds: 24.8 days at most. A longer
// expiry is cut to that; the PAC file is then fetched again early, which
// costs one download and loses nothing. Digits after optional blanks and a
// sign are taken, the rest ignored, as the appliance always did.
constexpr long long kMaxPacExpirySeconds = INT_MAX / 1000;

bool pacExpiryMs(const char* expiry, int* ms) {
  char* end = nullptr;
  errno = 0;
  long long seconds = strtoll(expiry, &end, 10);
  if (end == expiry || seconds < 0) return false;
  if (errno == ERANGE || seconds > kMaxPacExpirySeconds) {
    logwarn(kWpadComponent, "PAC expiry of %s s is beyond the timer's reach, armed for %lld s\n", log_text(expiry).c_str(),
            kMaxPacExpirySeconds);
    seconds = kMaxPacExpirySeconds;
  }
  *ms = static_cast<int>(seconds * 1000);
  return true;
}

bool startsWithTrue(const char* s) { return strncasecmp(s, "true", 4) == 0; }

// Reads at most `len` characters of `name` into buf[len + 1]; empty on
// failure.
void readInto(const char* name, char* buf, int len) { config_read(name, buf, len + 1, nullptr); }

void setServerTypeOptions(const char* const* types, int count) {
  // Zeroed: the service sends every option text up to its terminator.
  static config_options_t options;
  memset(&options, 0, sizeof options);
  for (int i = 0; i < count; ++i) strlcpy(options.option[i], types[i], CONFIG_OPTION_LEN);
  options.numOptions = count;
  options.defaultIndex = 0;
  config_set_options("management.provisioning.servertype", &options, kStartup);
}

// DHCP rows log the freshly read value under the variable's name.
std::string readAndLog(const NotifyChange& c, int len) {
  const std::string buf = notifyRead(c.name.c_str(), len);
  logdebug(nullptr, "config_change_notify: %s change: %s\n", c.name.c_str(), log_text(buf).c_str());
  return buf;
}

}  // namespace

std::string notifyRead(const char* name, int len) { return config_read_str(name, len + 1); }

void notifyLoggingResult(int updated, const char* failText) {
  if (updated) return;
  didLoggingUpdate = false;
  logerr(nullptr, "%s\n", failText);
}

void notifyRemoteLogAddress(const NotifyChange& c) {
  char address[100] = "";
  readInto("system.log.remotelog.serveraddress", address, 99);
  if (address[0] != '\0' && !hasPort(address)) {
    char protocol[32] = "";
    readInto("system.log.remotelog.serverprotocol", protocol, 31);
    const char* port = defaultPort(protocol);
    const size_t before = strlen(address);
    if (port != nullptr) {
      strlcat(address, ":", sizeof address);
      strlcat(address, port, sizeof address);
    } else {
      logwarn(nullptr, "config_change_notify: remote log protocol \"%s\" has no default port, address left as is\n",
              log_text(protocol).c_str());
    }
    // Only a lengthened address goes back: an empty, portless or unchanged one would re-notify this row for ever.
    if (strlen(address) != before) config_write("system.log.remotelog.serveraddress", address, kSystem);
  }
  notifyLoggingResult(update_logging(c.name.c_str(), address),
                      "config_change_notify: syslogd not started after remote logging enabled");
}

void notifyDelegateRestart() {
  if (delegate_running == 1) {
    delegate_dns_set_post();
    stop_delegate();
  }
  char enabled[32] = "";
  char autoconf[32] = "";
  char expiry[64] = "";
  char status[64] = "";
  readInto("system.proxy.webproxy.enabled", enabled, 31);
  readInto("system.proxy.manual.autoconf", autoconf, 31);
  readInto("system.proxy.pacfile.expirytime", expiry, 63);
  readInto("system.proxy.pacfile.status", status, 63);
  if (strcasecmp(enabled, "true") != 0) return;
  // With auto-configuration the delegate needs a PAC file to serve.
  const bool start = strcasecmp(autoconf, "false") == 0 ||
                     (strcasecmp(autoconf, "true") == 0 && strcmp(status, "Success") == 0);
  if (start) {
    delegate_dns_set_pre();
    start_delegate();
  }
}

void notifyPacExpiry(const NotifyChange&) {
  char expiry[64] = "";
  readInto("system.proxy.pacfile.expirytime", expiry, 63);
  if (strcasecmp(expiry, "NEWTIME_REQUEST") == 0) {
    logerr(kWpadComponent, "PAC file time is expired, triggering WPAD to fetch new PAC / PAC expiry\n");
    StartWpad();
    return;
  }
  if (expiry[0] == '\0') {
    logerr(kWpadComponent, "PAC time is alraedy expired in the server, displaying PAC is expired in the WEB-UI\n");
    return;
  }
  if (strcasecmp(expiry, "CURL_SEND_FAILED") == 0) {
    logerr(kWpadComponent, "PAC file download failed, Timer will not start\n");
    return;
  }
  int ms = 0;
  if (!pacExpiryMs(expiry, &ms)) {
    logerr(kWpadComponent, "PAC expiry time \"%s\" is not a number of seconds, timer not started\n",
           log_text(expiry).c_str());
    return;
  }
  if (IsTimerInitialised) {
    PacExpiryTimer.TimerStart(ms);
    loginfo(kWpadComponent, "PAC expiry timer thread started\n");
    return;
  }
  if (PacExpiryTimer.TimerInit(timerFunc, nullptr, ms, false) != 0) {
    logerr(kWpadComponent, "PAC expiry timer is not initialized and the timer thread is not started\n");
    return;
  }
  IsTimerInitialised = true;
  PacExpiryTimer.TimerStart();
  loginfo(kWpadComponent, "PAC expiry timer is initialized and the timer thread started\n");
}

void notifyOutOfBox(const NotifyChange& c) {
  outOfBox = (c.value == "True");
  char systemName[64] = "";
  readInto("system.info.systemname", systemName, 63);
  if (systemName[0] != '\0') config_write("comm.NICs.H323Nic.h323name", systemName, kSystem);
  set_country_params();
  if (outOfBox) {
    // No sleeping while someone is setting the unit up.
    config_write("system.sleeptimeout", "0", kSystem);
  } else {
    char model[16] = "";
    char mode[16] = "";
    readInto("system.info.model", model, 15);
    readInto("system.modularroom.mode", mode, 15);
    // The secondary unit of a modular room follows its primary's sleep.
    if (strcmp(model, "LUMENPRO") != 0 && strcmp(mode, "Secondary") != 0) {
      config_write("system.sleeptimeout", "3", kSystem);
    }
  }
  if (!outOfBox) {
    logdebug(nullptr, "config_change_notify: add CLOUD to provisioning server type options\n");
    static const char* const kTypes[] = {"QORT", "DMS", "CLOUD"};
    setServerTypeOptions(kTypes, 3);
  }
}

void notifyDiscoveryComplete(const NotifyChange& c) {
  char oob[64] = "";
  readInto("system.info.outofbox", oob, 63);
  if (startsWithTrue(oob)) outOfBox = true;
  logdebug(nullptr, "config_change_notify: discoverycomplete changed to %s, outOfBox=%d\n", log_text(c.value).c_str(),
           outOfBox ? 1 : 0);
  // A cloud server found during set-up is used; offering it again is not.
  if (outOfBox && startsWithTrue(c.value.c_str())) {
    logdebug(nullptr, "config_change_notify: remove CLOUD from provisioning server type options\n");
    static const char* const kTypes[] = {"QORT", "DMS"};
    setServerTypeOptions(kTypes, 2);
  }
}

void notifyIPv4DhcpState(const NotifyChange& c) {
  const std::string state = readAndLog(c, 63);
  updateDnsConfig();
  if (strcasecmp(state.c_str(), "bound") != 0) return;
  discoverProvisioning();
  char proxy[32] = "";
  readInto("system.proxy.webproxy.enabled", proxy, 31);
  if (strcasecmp(proxy, "true") == 0) {
    logdebug(nullptr, "Calling StartWpad config_change_notify: %s change: %s\n", c.name.c_str(),
             log_text(state).c_str());
    StartWpad();
  }
}

void notifyIPv6DhcpState(const NotifyChange& c) {
  const std::string state = readAndLog(c, 63);
  updateDnsConfig();
  if (strcasecmp(state.c_str(), "bound") == 0) {
    discoverProvisioning();
  } else if (strcasecmp(state.c_str(), "unbound") == 0 && isMONotSetOnBoot()) {
    restart_IPv6Only();
  }
}

void notifyIPv4DhcpDnsServer(const NotifyChange& c) {
  readAndLog(c, 16);
  updateDnsConfig();
}

void notifyIPv6MoFlag(const NotifyChange& c) {
  readAndLog(c, 63);
  if (isDependMO()) restart_IPv6Only();
}
