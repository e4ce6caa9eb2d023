// The once-at-start application of the stored configuration, run inside
// syssrvMessageInit after the callbacks are registered, so that every
// subsystem starts in its configured state before the first change can
// arrive; and the default-password check that main runs afterwards.
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "OS/linux/psosapi/ptimer.h"
#include "OS/logmsg.h"
#include "systemservice/syssrvAccessLevels.h"
#include "systemservice/syssrvAlerts.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvHostname.h"
#include "systemservice/syssrvLed.h"
#include "systemservice/syssrvLocale.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvProvisioning.h"
#include "systemservice/syssrvShell.h"
#include "systemservice/syssrvStartup.h"
#include "systemservice/syssrvWpad.h"

namespace {

// Buffer sizes hold the longest value a step uses plus the terminator.
constexpr int kWordLen = 64;       // modes, flags, short names
constexpr int kShortLen = 32;      // "sshservice" switch
constexpr int kVersionLen = 16;    // hardware version
constexpr int kLongLen = 257;      // host names, addresses, passwords

// Discovery of the provisioning server gets this long after start before
// it is reported as failed: DHCP, DNS and the server lookups all have to
// finish first.
constexpr unsigned int kProvisioningDiscoveryMs = 90000;

// ---- login banner: each setting is read only while the one before it
// could be read, so a broken service leaves the banner as it was.

struct syssrvBannerRow {
  const char* var;
  void (*set)(const std::string& value);
};

const syssrvBannerRow kBannerSettings[] = {
    {"security.banner.enabled", [](const std::string& v) { gSshBanner.EnableBanner(v == "True"); }},
    {"security.banner.bannertext", [](const std::string& v) { gSshBanner.EnableDodMode(v == "DoD"); }},
    {"security.banner.localsecuritybanner", [](const std::string& v) { gSshBanner.SetNormalText(v); }},
    {"security.banner.DoD", [](const std::string& v) { gSshBanner.SetDodText(v); }},
};

void applyBanner() {
  for (const syssrvBannerRow& row : kBannerSettings) {
    std::string value;
    if (config_read_inst_std_str(row.var, value, nullptr, 0) != 0) break;
    row.set(value);
  }
  gSshBanner.ApplyChanges();
}

// ---- remote access

void applyRemoteAccess() {
  char telnet[kWordLen] = "";
  char ssh[kWordLen] = "";
  char sshService[kShortLen] = "";
  if (config_read("security.remoteaccess.telnet.enabled", telnet, sizeof telnet, nullptr) == 0 &&
      config_read("security.remoteaccess.ssh.enabled", ssh, sizeof ssh, nullptr) == 0 &&
      config_read("security.remoteaccess.sshservice.enabled", sshService, sizeof sshService, nullptr) == 0) {
    // Without any remote shell there is no session to time out.
    if (strncasecmp(telnet, "false", 5) == 0 && strncasecmp(ssh, "false", 5) == 0) {
      config_write("security.remoteaccess.telnet.pddebugportidletimeoutenabled", "false", kUser);
      config_write("security.remoteaccess.telnet.apiportidletimeoutenabled", "false", kUser);
    }
    enable_sshd(strncasecmp(sshService, "true", 4) == 0);
    set_telnet_portoptions_access_levels(telnet, ssh);
  }
  telnetd_cfg_change(0);
}

// ---- certificate request: the subject's alternative names start from the
// common name and the IPv4 address; the others are filled in by the user.

struct syssrvCsrRow {
  const char* target;
  const char* source;  // null: the field starts empty
};

const syssrvCsrRow kCsrFields[] = {
    {"system.pki.csr.sanfqdn", "system.pki.csr.commonname"},
    {"system.pki.csr.sanaddtlname", nullptr},
    {"system.pki.csr.sanipv4addr", "system.network.wired.ipv4nic.address"},
    {"system.pki.csr.sanipv4dnsaddr", "system.network.wired.ipv4nic.address"},
    {"system.pki.csr.sanipv6globaladdr", nullptr},
    {"system.pki.csr.sanipv6sitelocaladdr", nullptr},
    {"system.pki.csr.sanipv6linklocaladdr", nullptr},
};

void initCsrFields() {
  const char* lastSource = nullptr;
  std::string value;
  for (const syssrvCsrRow& row : kCsrFields) {
    if (row.source == nullptr) {
      value.clear();
    } else if (lastSource == nullptr || strcmp(lastSource, row.source) != 0) {
      // Consecutive rows with one source share one read.
      value = config_read_str(row.source, kLongLen);
    }
    lastSource = row.source;
    config_write(row.target, value.c_str(), kSystem);
  }
}

// ---- proxy discovery and provisioning on an address that is already there

void startNetworkServices() {
  std::string webProxy = config_read_str("system.proxy.webproxy.enabled", kWordLen);
  if (strcasecmp(webProxy.c_str(), "false") == 0) {
    logdebug(nullptr, "%s: Webproxy is disabled.\n", "syssrvMessageInit");
  } else {
    logdebug(nullptr, "%s: Webproxy is Enabled.\n", "syssrvMessageInit");
  }

  // DHCP finished before this service started: no change will come to
  // start DNS, provisioning and proxy discovery, so start them now.
  std::string v4 = config_read_str("system.network.wired.ipv4nic.dhcp.state", kWordLen);
  std::string v6 = config_read_str("system.network.wired.ipv6nic.dhcp.state", kWordLen);
  if (strcasecmp(v4.c_str(), "bound") == 0 || strcasecmp(v6.c_str(), "bound") == 0) {
    updateDnsConfig();
    discoverProvisioning();
    logdebug(nullptr, "Calling StartWpad. SYSSRVMESSAGE INIT\n");
    StartWpad();
  }
  // A static address is there from the start as well.
  if (config_read_str("system.network.wired.ipv4nic.mode", kWordLen) == "Off") {
    logdebug(nullptr, "Calling StartWpad During Startup for StaticIP. SYSSRVMESSAGE INIT\n");
    StartWpad();
  }
}

// ---- modular room: a secondary unit shows its pairing state in blue

void showPairingState() {
  if (strcasecmp(config_read_str("system.modularroom.mode", kWordLen).c_str(), "Secondary") != 0) return;
  const char kPairing[] = "system.modularroom.secondary.pairing.state";
  std::string state = config_read_str(kPairing, kWordLen);
  if (state == "UnPaired") {
    loginfo(nullptr, "modroom status on startup var %s[%s] - Blinking Blue\n", kPairing, state.c_str());
    setLedState(kLedUnPaired);
  } else if (state == "Connected" || state == "Paired") {
    loginfo(nullptr, "modroom status on startup var %s[%s] - Solid Blue\n", kPairing, state.c_str());
    setLedState(kLedPaired);
  }
}

void setOptions(const char* name, std::initializer_list<const char*> texts, int defaultIndex) {
  config_options_t options;
  memset(&options, 0, sizeof options);
  for (const char* text : texts) {
    snprintf(options.option[options.numOptions], sizeof options.option[0], "%s", text);
    ++options.numOptions;
  }
  options.defaultIndex = defaultIndex;
  config_set_options(name, &options, kStartup);
}

}  // namespace

void initModelSpecific(eModelT model) {
  if (model == kHalden) {
    std::string hw = config_read_str("system.info.hardwareversion", kVersionLen);
    const char kHangup[] = "system.remote.hangupkeylongpressfunc";
    if (hw != "1" && hw != "0") {
      setOptions(kHangup, {"None", "Power_Off", "Sleep"}, 1);
    } else {
      // The first two hardware versions can neither power off from the
      // remote nor drive CEC.
      setOptions(kHangup, {"None", "Sleep"}, 1);
      config_write("video.cec.cecenable", "False", kStartup);
      config_setAccessLevels("video.cec.cecenable", 0, kStartup, kUser, kSystem);
    }
    // Its infrared filter sits in the FPGA.
    snprintf(ir_filter_sys_file, sizeof ir_filter_sys_file, "%s", "/proc/crvl_fpga_ir_fltr");
  }

  config_write("system.info.eulafile", "eula", kStartup);

  // Only the Birch has an embedded switch to configure.
  if (model != kBirch) config_setAccessLevels("system.network.embeddedswitch", 0, kStartup, kStartup, kStartup);

  // Only these boards, from hardware version 20 on, can take part in a
  // modular room; developers may try it on anything.
  int hwVersion = atoi(config_read_str("system.info.hardwareversion", kVersionLen).c_str());
  bool capable = ((model == kCedar || model == kCedar110 || model == kLumenPro) && hwVersion >= 20);
  if (m_bDevfeatures || capable) {
    config_setAccessLevels("system.modularroom.mode", 0, kSystem, kAdmin, kAdmin);
  } else {
    config_setAccessLevels("system.modularroom.mode", 0, kSystem, kSystem, kSystem);
  }
}

void syssrvStartupConfig() {
  initSystemConfig();
  initModelSpecific(eModel);
  applyBanner();

  outOfBox = config_read_str("system.info.outofbox", kWordLen) == "True";

  set_timeserver_access_levels(config_read_str("time.timeserver.mode", kWordLen));

  char channelId[kWordLen] = "";
  config_read("system.remote.channelid", channelId, sizeof channelId, nullptr);
  update_remote_channel_id(channelId);

  char timezone[kWordLen] = "";
  config_read("time.timezone", timezone, sizeof timezone, nullptr);
  set_timezone(timezone, 1);
  set_locale(1);
  set_country_params();

  if (outOfBox) {
    // The set-up wizard names the unit; the name is its host and H.323
    // name too, and the unit stays awake while it is being set up.
    char systemName[kLongLen] = "";
    config_read("system.info.systemname", systemName, sizeof systemName, nullptr);
    if (systemName[0] != '\0') {
      config_write("comm.NICs.H323Nic.h323name", systemName, kSystem);
      set_hostname(systemName);
    }
    config_write("system.sleeptimeout", "0", kSystem);
  } else {
    set_modularroom_mode_config_access_levels(config_read_str("system.modularroom.mode", kWordLen));
  }

  // Again: the out-of-box and modular-room rules above may have changed
  // levels that differ by model.
  initModelSpecific(eModel);

  applyRemoteAccess();

  if (config_read_str("security.nids.enabled", kWordLen) == "True") start_NIDS();

  registerProcessMonitorNotifications();
  update_logspace_management(nullptr, nullptr);

  char beacon[kWordLen] = "";
  config_read("system.discovery.broadcastbeacon", beacon, sizeof beacon, nullptr);
  update_amx_beacon(beacon);

  initCsrFields();

  discoverProvisioningTimeout = RealTimeMilliSeconds() + kProvisioningDiscoveryMs;
  config_register_change_notify("system.network.wired.ipv4nic.dhcp.state", 0, kChangeNotify);
  config_register_change_notify("system.network.wired.ipv6nic.dhcp.state", 0, kChangeNotify);

  startNetworkServices();
  showPairingState();
}

void checkDefaultPassword() {
  char value[kWordLen] = "";
  bool lumenPro = config_read("system.info.model", value, sizeof value, nullptr) == 0 &&
                  strncasecmp(value, "LUMENPRO", 8) == 0;
  bool outOfTheBox = config_read("system.info.outofbox", value, sizeof value, nullptr) == 0 &&
                     strncasecmp(value, "true", 4) == 0;

  // A unit must not be reachable with a password everyone knows: until the
  // administrator chooses one, the serial number on the unit's label is it.
  static const char* const kPasswords[] = {
      "security.authentication.accounts.adminaccount.remotepassword",
      "security.authentication.accounts.adminaccount.localpassword",
  };
  for (const char* name : kPasswords) {
    char password[kLongLen] = "";
    bool isDefault = false;
    if (config_read(name, password, sizeof password, &isDefault) != 0 || !isDefault) continue;
    if (!outOfTheBox && !lumenPro) continue;
    char serial[kLongLen] = "";
    if (config_read("system.info.serialnumber", serial, sizeof serial, nullptr) != 0) continue;
    do_config_write(name, serial);
  }
}
