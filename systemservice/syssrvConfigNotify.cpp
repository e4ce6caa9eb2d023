// Configuration change dispatcher: decoding, the routing table, the common
// tail. Each row names its variables (or a predicate), the action, whether
// a match ends the search and whether the common tail follows.
#include "systemservice/syssrvConfigNotify.h"

#include <cstring>
#include <string>
#include <vector>

#include "ConfigIF.pb.h"
#include "OS/logmsg.h"
#include "OS/linux/psosapi/ptimer.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvAccessLevels.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvConfigNotifyActions.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvHostname.h"
#include "systemservice/syssrvLan.h"
#include "systemservice/syssrvLed.h"
#include "systemservice/syssrvLocale.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvPower.h"
#include "systemservice/syssrvPtp.h"
#include "systemservice/syssrvQuote.h"
#include "systemservice/syssrvShell.h"
#include "systemservice/syssrvStartup.h"
#include "systemservice/syssrvWpad.h"

namespace {

// Names whose changes need the LAN restarted at the end of the batch.
const char* const kLanNames[] = {
    "system.network.hostname",
    "system.network.domainname",
    "system.network.wired.devicename",
    "system.network.wired.ethernet.macaddress",
    "system.network.wired.ethernet.autoneg",
    "system.network.wired.ethernet.portspeed",
    "system.network.wired.ethernet.duplexmode",
    "system.network.wired.dot1x.enabled",
    "system.network.wired.dot1x.userid",
    "system.network.wired.dot1x.password",
    "system.network.wired.lldp.mednetworkpolicy.enabled",
    "system.network.wired.vlan.enabled",
    "system.network.wired.vlan.vlanid",
    "system.network.wired.vlan.videopriority",
    "system.network.wired.vlan.audiopriority",
    "system.network.wired.vlan.controlpriority",
    "system.network.wired.ipv4nic.mode",
    "system.network.wired.ipv4nic.address",
    "system.network.wired.ipv4nic.subnetmask",
    "system.network.wired.ipv4nic.defaultgateway",
    "system.network.dnsserver",
    "system.network.enableecho",
    "system.network.enableunreachabletx",
    "system.network.icmpoutpacketrate",
    "system.network.ignoreredirect",
};

const char* const kIPv6Names[] = {
    "system.network.wired.ipv6nic.enabled",     "system.network.wired.ipv6nic.mode",
    "system.network.wired.ipv6nic.defaultgateway", "system.network.wired.ipv6nic.enableslaac",
    "system.network.wired.ipv6nic.linklocal",   "system.network.wired.ipv6nic.globaladdress",
    "system.network.wired.ipv6nic.sitelocal",
};

template <size_t N>
bool inList(const char* name, const char* const (&list)[N]) {
  for (const char* n : list) {
    if (strcmp(n, name) == 0) return true;
  }
  return false;
}

// The certificate request carries the unit's addresses as subject
// alternative names; keep them in step with the configured ones.
const char* const kCsrIPv6Copies[][2] = {
    {"system.network.wired.ipv6nic.globaladdress", "system.pki.csr.sanipv6globaladdr"},
    {"system.network.wired.ipv6nic.sitelocal", "system.pki.csr.sanipv6sitelocaladdr"},
    {"system.network.wired.ipv6nic.linklocal", "system.pki.csr.sanipv6linklocaladdr"},
};

void restartLoggingAfter(const char* name, const char* value, const char* failText) {
  notifyLoggingResult(update_logging(name, value), failText);
}

// ---- one-call rows ----

void rowPacStatus(const NotifyChange& c) {
  const std::string& v = c.value;
  if ((v == "DownloadFailed" || v == "WpadFailed" || v == "Expired") && delegate_running == 1) {
    delegate_dns_set_post();
    stop_delegate();
  }
}

void rowPacUpdated(const NotifyChange&) {
  get_wpad_credentials();
  delegate_dns_set_pre();
  start_delegate();
}

void rowTimeServer(const NotifyChange&) {
  sysio().system("/system/bin/startntpd --stop");
  // ntpd needs a moment to release its socket before it can start again.
  sysio().sleep_us(1000000);
  sysio().system("/system/bin/startntpd --start");
  restartLoggingAfter(nullptr, nullptr, "config_change_notify: syslogd not started, after restarting ntpd");
}

void rowPairingState(const NotifyChange& c) {
  const char* name = c.name.c_str();
  if (c.value == "UnPaired") {
    loginfo(nullptr, "modroom config_on_change var %s[%d] - Blinking Blue\n", name, c.instance);
    setLedState(kLedUnPaired);
  } else if (c.value == "Connected" || c.value == "Paired") {
    loginfo(nullptr, "modroom config_on_change var %s[%d] - Solid Blue\n", name, c.instance);
    setLedState(kLedPaired);
  }
  // While paired, the primary unit owns the time: lock the settings here.
  eSecurityRole level = kSystem;
  if (c.value != "Connected") {
    logerr(nullptr, "modroom config_on_change var %s[%d] - stop ptp4l\n", name, c.instance);
    stop_ptp4l();
    level = kAdmin;
  }
  config_setAccessLevels("time.timeserver.mode", 0, kSystem, level, level);
  config_setAccessLevels("time.timezone", 0, kSystem, level, level);
}

void rowTimezone(const NotifyChange& c) {
  std::string tz = c.value;  // set_timezone may rewrite the key in place
  set_timezone(&tz[0], 0);
  restartLoggingAfter(nullptr, nullptr, "config_change_notify: syslogd not started, after setting timezone");
}

void rowCountry(const NotifyChange&) { set_country_params(); }
void rowLanguage(const NotifyChange&) { set_locale(0); }

void rowSystemName(const NotifyChange& c) {
  // After set-up the host name is the administrator's, not the system name's.
  if (outOfBox) set_hostname(c.value.c_str());
}

void rowTelnetEnabled(const NotifyChange&) { telnetd_cfg_change(0); }

void rowTelnetDebugPort(const NotifyChange& c) {
  logdebug(nullptr, "config_change_notify: PDDebugPort is changed (\"%s\")\n", c.name.c_str());
  telnetd_cfg_change(1);
}

void rowEmbeddedSwitch(const NotifyChange&) { set_embedded_switch(); }

void rowLoggingParams(const NotifyChange& c) {
  restartLoggingAfter(c.name.c_str(), c.value.c_str(),
                      "config_change_notify: syslogd not started after the change in logging params");
  if (c.name == "comm.Callsetting.callFeatures.fips140enable") notifyDelegateRestart();
}

void rowDisableTls1(const NotifyChange& c) {
  // 802.1X negotiates TLS: a change of the allowed versions must redo it.
  if (strcasecmp(notifyRead("system.network.wired.dot1x.enabled", 63).c_str(), "true") == 0) {
    restart_LAN();
    syssrvLanRestart();
    updateDnsConfig();
  }
  restartLoggingAfter(c.name.c_str(), c.value.c_str(),
                      "config_change_notify: syslogd not started after the change in disable TLSv1.0 param");
}

bool matchLogspace(const NotifyChange& c) { return update_logspace_management(c.name.c_str(), c.value.c_str()) != 0; }
bool matchLan(const NotifyChange& c) { return is_LAN_notify(c.name.c_str()) != 0; }
bool matchIPv6(const NotifyChange& c) { return is_IPv6_notify(c.name.c_str()) != 0; }

void rowNothing(const NotifyChange&) {}

void rowLan(const NotifyChange& c) {
  m_LanDirtyBit = 1;
  logdebug(nullptr, "config_change_notify: set LAN dirty bit (\"%s\")\n", c.name.c_str());
  if (eModel == kBirch && c.name == "system.network.wired.ipv4nic.address") set_frontpanel();
  if (c.name == "system.network.hostname" || c.name == "system.network.domainname") {
    logdebug(nullptr, "config_change_notify: set CommonName\n");
    set_commonname();
  }
}

void rowIPv6(const NotifyChange& c) {
  m_IPv6DirtyBit = 1;
  logdebug(nullptr, "config_change_notify: set IPv6 dirty bit (\"%s\")\n", c.name.c_str());
  if (eModel == kBirch && c.name == "system.network.wired.ipv6nic.globaladdress") set_frontpanel();
  if (notifyRead("system.network.wired.ipv6nic.enabled", 63) != "True") return;
  for (const auto& copy : kCsrIPv6Copies) {
    char addr[53] = "";
    // A failed read must not blank the certificate request's address.
    if (config_read(copy[0], addr, sizeof addr, nullptr) != 0) continue;
    config_write(copy[1], addr, kSystem);
  }
}

void rowBlockBasicAuth(const NotifyChange&) {
  // The delegate picks the new policy up when discovery starts it again.
  if (delegate_running == 1) {
    delegate_dns_set_post();
    stop_delegate();
  }
}

void rowTos(const NotifyChange&) { set_tos(); }
void rowIcmpRate(const NotifyChange&) { sysio().system("/system/bin/startnetwork --update_icmppacketrate"); }
void rowEcho(const NotifyChange&) { sysio().system("/system/bin/startnetwork --update_echo"); }
void rowUnreachable(const NotifyChange&) { sysio().system("/system/bin/startnetwork --update_destunreach"); }
void rowRedirect(const NotifyChange&) { sysio().system("/system/bin/startnetwork --update_redirect"); }
void rowDadCount(const NotifyChange&) { sysio().system("/system/bin/startnetwork --update_ipv6dadcount"); }

void rowRemoteChannel(const NotifyChange& c) {
  std::string id = c.value;
  update_remote_channel_id(&id[0]);
}

void rowBeacon(const NotifyChange& c) {
  std::string state = c.value;
  update_amx_beacon(&state[0]);
}

void rowMonitor1(const NotifyChange&) {
  if (eModel == kBirch) set_frontpanel();
}

void rowNids(const NotifyChange& c) {
  if (c.value == "True") {
    start_NIDS();
  } else {
    stop_NIDS();
  }
}

void rowSecurityProfile(const NotifyChange&) {
  set_frontpanel();
  SetHumanVersion();
}

void rowBannerEnabled(const NotifyChange& c) {
  gSshBanner.mbEnable = (c.value == "True");
  gSshBanner.ApplyChanges();
}

void rowBannerText(const NotifyChange& c) {
  gSshBanner.mbDodMode = (c.value == "DoD");
  gSshBanner.ApplyChanges();
}

void rowBannerLocal(const NotifyChange& c) {
  gSshBanner.mNormalText = c.value;
  gSshBanner.ApplyChanges();
}

void rowBannerDod(const NotifyChange& c) {
  gSshBanner.mDodText = c.value;
  gSshBanner.ApplyChanges();
}

void rowSkipVideo(const NotifyChange& c) {
  sysio().system(c.value == "True" ? "fw_setenv skipvideo true" : "fw_setenv skipvideo false");
}

void rowDiscoveryStatus(const NotifyChange& c) {
  // The main loop writes "FAILED" once this deadline passes.
  discoverProvisioningTimeout = (c.value == "INCOMPLETE") ? RealTimeMilliSeconds() + 90000 : 0;
}

void rowTimeFormat(const NotifyChange& c) { send_timeformat_notify(c.value); }
void rowOffice365(const NotifyChange& c) { set_in_office_365_access_levels(c.value == "True"); }

void rowMaxVentilation(const NotifyChange& c) {
  logdebug(nullptr, "config_change_notify: kCfgVarMaxVentilation changed to %s\n", log_text(c.value).c_str());
  set_thermal_management();
}

void rowEngineMode(const NotifyChange& c) {
  config_component_change("multicodecenginemode", c.value != "True", kStartup);
}

void rowLogAddress(const NotifyChange& c) { notifyRemoteLogAddress(c); }
void rowPacExpiry(const NotifyChange& c) { notifyPacExpiry(c); }
void rowOutOfBox(const NotifyChange& c) { notifyOutOfBox(c); }
void rowDiscoveryComplete(const NotifyChange& c) { notifyDiscoveryComplete(c); }
void rowIPv4DhcpState(const NotifyChange& c) { notifyIPv4DhcpState(c); }
void rowIPv6DhcpState(const NotifyChange& c) { notifyIPv6DhcpState(c); }
void rowIPv4DhcpDns(const NotifyChange& c) { notifyIPv4DhcpDnsServer(c); }
void rowMoFlag(const NotifyChange& c) { notifyIPv6MoFlag(c); }

// ---- the table ----

constexpr int kMaxRowNames = 6;

struct NotifyRow {
  const char* names[kMaxRowNames];              // exact names, unused slots null
  bool (*matches)(const NotifyChange&);         // instead of names, when set
  void (*action)(const NotifyChange&);
  bool endsSearch;
  bool runsTail;
};

// Searched in order: where a name fits two rows (the LAN settings that also
// have a row of their own further down) the first one wins.
const NotifyRow kNotifyRows[] = {
    /* A */ {{"system.proxy.pacfile.status"}, nullptr, rowPacStatus, false, true},
    /* B */ {{"system.proxy.pacfile.lastupdatedtime"}, nullptr, rowPacUpdated, false, true},
    /* 1 */ {{"time.timeserver.mode", "time.timeserver.address"}, nullptr, rowTimeServer, true, true},
    /* 2 */ {{"system.modularroom.secondary.pairing.state"}, nullptr, rowPairingState, true, true},
    /* 3 */ {{"time.timezone"}, nullptr, rowTimezone, true, true},
    /* 4 */ {{"location.country"}, nullptr, rowCountry, true, true},
    /* 5 */ {{"location.language"}, nullptr, rowLanguage, true, true},
    /* 6 */ {{"system.info.systemname"}, nullptr, rowSystemName, true, true},
    /* 7 */ {{"security.remoteaccess.telnet.enabled"}, nullptr, rowTelnetEnabled, true, true},
    /* 8 */ {{"security.remoteaccess.telnet.pddebugport"}, nullptr, rowTelnetDebugPort, true, true},
    /* 9 */ {{"system.network.embeddedswitch"}, nullptr, rowEmbeddedSwitch, true, true},
    /* 10 */
    {{"system.log.remotelog.serveraddress", "system.log.remotelog.serverprotocol"}, nullptr, rowLogAddress, true,
     true},
    /* 11 */
    {{"system.log.filename", "system.log.maxfilesize", "system.log.maxfiles", "system.log.level",
      "system.log.remotelog.enabled", "comm.Callsetting.callFeatures.fips140enable"},
     nullptr,
     rowLoggingParams,
     true,
     true},
    /* 12 */ {{"security.disabletlsversionone"}, nullptr, rowDisableTls1, true, true},
    /* 13 */ {{}, matchLogspace, rowNothing, true, false},
    /* 14 */ {{}, matchLan, rowLan, true, true},
    /* 15 */ {{}, matchIPv6, rowIPv6, true, true},
    /* 16 */ {{"system.proxy.pacfile.expirytime"}, nullptr, rowPacExpiry, true, true},
    /* 17 */ {{"system.proxy.webproxy.blockbasicauth"}, nullptr, rowBlockBasicAuth, true, true},
    /* 18 */ {{"system.network.wired.ipv4nic.dhcp.state"}, nullptr, rowIPv4DhcpState, true, true},
    /* 19 */ {{"system.network.wired.ipv6nic.dhcp.state"}, nullptr, rowIPv6DhcpState, true, true},
    /* 20 */ {{"system.network.wired.ipv4nic.dhcp.dnsserver"}, nullptr, rowIPv4DhcpDns, true, true},
    /* 21 */ {{"system.network.wired.ipv6nic.moflag"}, nullptr, rowMoFlag, true, true},
    /* 22 */ {{"comm.Qos.tos.tosoam"}, nullptr, rowTos, true, true},
    /* 23 */ {{"system.network.icmpoutpacketrate"}, nullptr, rowIcmpRate, true, true},
    /* 24 */ {{"system.network.enableecho"}, nullptr, rowEcho, true, true},
    /* 25 */ {{"system.network.enableunreachabletx"}, nullptr, rowUnreachable, true, true},
    /* 26 */ {{"system.network.ignoreredirect"}, nullptr, rowRedirect, true, true},
    /* 27 */ {{"system.network.ipv6dadcount"}, nullptr, rowDadCount, true, true},
    /* 28 */ {{"system.remote.channelid"}, nullptr, rowRemoteChannel, true, true},
    /* 29 */ {{"system.info.outofbox"}, nullptr, rowOutOfBox, true, true},
    /* 30 */ {{"management.provisioning.discoverycomplete"}, nullptr, rowDiscoveryComplete, true, true},
    /* 31 */ {{"system.discovery.broadcastbeacon"}, nullptr, rowBeacon, true, true},
    /* 32 */ {{"video.monitor[1].signalType", "video.monitor[1].Resolution"}, nullptr, rowMonitor1, true, true},
    /* 33 */ {{"security.nids.enabled"}, nullptr, rowNids, true, true},
    /* 34 */ {{"security.profile"}, nullptr, rowSecurityProfile, true, true},
    /* 35 */ {{"security.banner.enabled"}, nullptr, rowBannerEnabled, true, true},
    /* 36 */ {{"security.banner.bannertext"}, nullptr, rowBannerText, true, true},
    /* 37 */ {{"security.banner.localsecuritybanner"}, nullptr, rowBannerLocal, true, true},
    /* 38 */ {{"security.banner.DoD"}, nullptr, rowBannerDod, true, true},
    /* 39 */ {{"system.uboot.skipvideo"}, nullptr, rowSkipVideo, true, true},
    /* 40 */ {{"management.provisioning.inserverdiscoverystatus"}, nullptr, rowDiscoveryStatus, true, true},
    /* 41 */ {{"time.timeformat"}, nullptr, rowTimeFormat, true, true},
    /* 42 */ {{"uicontrol.apps.home.office365uienabled"}, nullptr, rowOffice365, true, true},
    /* 43 */ {{"system.maxventilation"}, nullptr, rowMaxVentilation, true, true},
    /* 44 */ {{"system.systemmode.enableitpenginemode"}, nullptr, rowEngineMode, true, true},
};

bool rowMatches(const NotifyRow& row, const NotifyChange& c) {
  if (row.matches != nullptr) return row.matches(c);
  for (const char* n : row.names) {
    if (n != nullptr && c.name == n) return true;
  }
  return false;
}

const char kTailAddressName[] = "system.network.wired.ipv4nic.address";
const char kTailUpdateName[] = "softupdate.dirtybit";

// Runs after every row but the log-space one, and for unrouted names.
void commonTail(const NotifyChange& c) {
  if (c.name == kTailAddressName) {
    char addr[16] = "";
    if (config_read(kTailAddressName, addr, sizeof addr, nullptr) == 0) {
      config_write("system.pki.csr.sanipv4addr", addr, kSystem);
      config_write("system.pki.csr.sanipv4dnsaddr", addr, kSystem);
    }
  }
  if (c.name == kTailUpdateName && c.value == "True") notifyLanguageReset();
}

}  // namespace

int is_LAN_notify(const char* varName) {
  if (varName == nullptr || !inList(varName, kLanNames)) return 0;
  logdebug(nullptr, "is_LAN_notify: %s is LAN setting\n", varName);
  return 1;
}

int is_IPv6_notify(const char* varName) {
  if (varName == nullptr || !inList(varName, kIPv6Names)) return 0;
  logdebug(nullptr, "config_change_notify: is_IPv6_notify=%s  is IPv6 setting\n", varName);
  return 1;
}

std::vector<std::string> syssrvConfigNotifyRoutedNames() {
  std::vector<std::string> names;
  auto add = [&names](const char* n) {
    for (const std::string& have : names) {
      if (have == n) return;
    }
    names.emplace_back(n);
  };
  for (const NotifyRow& row : kNotifyRows) {
    if (row.matches == matchLan) {
      for (const char* n : kLanNames) add(n);
    } else if (row.matches == matchIPv6) {
      for (const char* n : kIPv6Names) add(n);
    }
    for (const char* n : row.names) {
      if (n != nullptr) add(n);
    }
  }
  add(kTailAddressName);
  add(kTailUpdateName);
  return names;
}

void config_change_notify(void* pContext, const MSG_Message* msg) {
  (void)pContext;
  ConfigIF::ConfigChangedNtfy ntfy;
  if (msg == nullptr ||
      !ntfy.ParseFromArray(MSG_GetPayload(msg), static_cast<int>(MSG_GetPayloadBytes(msg)))) {
    logerr(nullptr, "config_change_notify: parse error\n");
    return;
  }
  NotifyChange c;
  c.instance = buildCfgVarName(c.name, ntfy.instance_val().instance());
  buildCfgVarValue(c.value, ntfy.instance_val());
  // Only a lower-case "password" in the name hides the value here.
  const bool secret = c.name.find("password") != std::string::npos;
  logdebug(nullptr, "config_change_notify: varName:%s val:%s\n", log_text(c.name).c_str(),
           secret ? kSecretMask : log_text(c.value).c_str());

  bool runTail = true;
  for (const NotifyRow& row : kNotifyRows) {
    if (!rowMatches(row, c)) continue;
    row.action(c);
    if (!row.runsTail) runTail = false;
    if (row.endsSearch) break;
  }
  if (runTail) commonTail(c);
}
