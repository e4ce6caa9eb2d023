// Access-level policy; see syssrvAccessLevels.h.
//
// The dependent variables of every rule are listed once below, in the
// order their requests go out; the configuration service applies them one
// by one, so the order is what a user interface watching the levels sees.
#include "systemservice/syssrvAccessLevels.h"

#include <strings.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "OS/logmsg.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvDhcp.h"

namespace {

const char kComponent[] = "message";

// Level 0 is not sent: the service keeps the level it has.
constexpr eSecurityRole kUnchanged = static_cast<eSecurityRole>(0);

struct AccessVar {
  const char* name;
  int instance;
};

template <size_t N>
void setLevels(const AccessVar (&vars)[N], eSecurityRole read, eSecurityRole write) {
  for (const AccessVar& v : vars) config_setAccessLevels(v.name, v.instance, kSystem, read, write);
}

void setLevel(const char* name, eSecurityRole read, eSecurityRole write) {
  config_setAccessLevels(name, 0, kSystem, read, write);
}

// ------------------------------------------------------------------ network

const AccessVar kIpv4StaticVars[] = {
    {"system.network.wired.ipv4nic.address", 0},
    {"system.network.wired.ipv4nic.subnetmask", 0},
    {"system.network.wired.ipv4nic.defaultgateway", 0},
};

const AccessVar kIpv6StaticVars[] = {
    {"system.network.wired.ipv6nic.linklocal", 0},
    {"system.network.wired.ipv6nic.sitelocal", 0},
    {"system.network.wired.ipv6nic.globaladdress", 0},
    {"system.network.wired.ipv6nic.defaultgateway", 0},
};

const AccessVar kDnsServerVars[] = {
    {"system.network.dnsserver", 0},
    {"system.network.dnsserver", 1},
    {"system.network.dnsserver", 2},
    {"system.network.dnsserver", 3},
};

const AccessVar kAutonegVars[] = {
    {"system.network.wired.ethernet.portspeed", 0},
    {"system.network.wired.ethernet.duplexmode", 0},
};

const AccessVar kDot1xVars[] = {
    {"system.network.wired.dot1x.userid", 0},
    {"system.network.wired.dot1x.password", 0},
};

const AccessVar kVlanVars[] = {
    {"system.network.wired.vlan.vlanid", 0},
    {"system.network.wired.vlan.audiopriority", 0},
    {"system.network.wired.vlan.videopriority", 0},
    {"system.network.wired.vlan.controlpriority", 0},
};

// ----------------------------------------------------------- time and call

const AccessVar kTimeServerAddressVars[] = {
    {"time.timeserver.address", 0},
    {"time.timeserver.address", 1},
};

const AccessVar kInCallTimeVars[] = {
    {"time.timeserver.mode", 0},
    {"time.timezone", 0},
};

const AccessVar kRemoteControlVars[] = {
    {"system.remote.audioconfirmation", 0},     {"system.remote.numerickeypadfunction", 0},
    {"system.remote.channelid", 0},             {"system.remote.hangupkeylongpressfunc", 0},
    {"system.remote.starbuttonfunction", 0},    {"system.remote.poundbuttonfunction", 0},
    {"system.remote.usenoncorvaleremote", 0},
};

// ------------------------------------------------------------ remote access

const AccessVar kTelnetPortOptionVars[] = {
    {"security.remoteaccess.telnet.pddebugportidletimeoutenabled", 0},
    {"security.remoteaccess.telnet.apiportidletimeoutenabled", 0},
    {"security.remoteaccess.telnet.apiport", 0},
    {"security.remoteaccess.telnet.pddebugport", 0},
};

const AccessVar kRemoteLogVars[] = {
    {"system.log.remotelog.serveraddress", 0},
    {"system.log.remotelog.serverprotocol", 0},
};

// ------------------------------------------------------------ modular room

const AccessVar kSecondaryConnectionVars[] = {
    {"system.modularroom.secondary.connection.allowexpiredcertificates", 0},
    {"system.modularroom.secondary.connection.allownonSSL", 0},
};

// A secondary unit is managed through its primary, so its own management and
// account settings are hidden there.
const AccessVar kSecondaryLockedVars[] = {
    {"management.snmp.enabled", 0},
    {"comm.Callsetting.debug.sipdebug", 0},
    {"comm.Callsetting.debug.h323debug", 0},
    {"security.authentication.lockout.accountlockout.user.lockoutattempts", 0},
    {"security.authentication.lockout.accountlockout.user.lockouttime", 0},
    {"security.authentication.lockout.accountlockout.user.failedloginwindow", 0},
    {"security.accesscontrol.userloginrequired", 0},
    {"security.authentication.accounts.useraccount.id", 0},
    {"security.authentication.accounts.useraccount.remotepassword", 0},
    {"security.authentication.accounts.useraccount.localpassword", 0},
};

const char* const kUserPolicySuffixes[] = {
    "minlength",      "lowercasecount", "uppercasecount",          "numbercount",
    "specialcharcount", "rejectprevpasswordvalue", "minimumage",   "maximumage",
    "minimumtobechangedchars", "maximumrepeatedcharsallowed", "expirationwarning", "cancontainidorreverse",
};

const char* const kMeetingPolicySuffixes[] = {
    "minlength",   "lowercasecount", "uppercasecount", "numbercount", "specialcharcount", "rejectprevpasswordvalue",
    "minimumage",  "maximumrepeatedcharsallowed",
};

const char* const kSnmpPolicySuffixes[] = {
    "minlength",  "lowercasecount", "uppercasecount",           "numbercount",          "specialcharcount",
    "rejectprevpasswordvalue", "minimumage", "maximumrepeatedcharsallowed", "cancontainidorreverse",
};

struct PasswordPolicy {
  const char* prefix;
  const char* const* suffixes;
  size_t count;
};

const PasswordPolicy kPasswordPolicies[] = {
    {"security.authentication.accounts.useraccount.passwordpolicy.", kUserPolicySuffixes,
     sizeof kUserPolicySuffixes / sizeof kUserPolicySuffixes[0]},
    {"security.authentication.accounts.meeting.passwordpolicy.", kMeetingPolicySuffixes,
     sizeof kMeetingPolicySuffixes / sizeof kMeetingPolicySuffixes[0]},
    {"security.authentication.accounts.snmppassword.passwordpolicy.", kSnmpPolicySuffixes,
     sizeof kSnmpPolicySuffixes / sizeof kSnmpPolicySuffixes[0]},
};

// -------------------------------------------------------------- serial port

constexpr int kSerialVarCount = 6;

const char* const kSerialVars[kSerialVarCount] = {
    "system.ports.serial.baud",     "system.ports.serial.parity",      "system.ports.serial.databits",
    "system.ports.serial.stopbits", "system.ports.serial.flowcontrol", "system.ports.serial.camera",
};

struct SerialLevels {
  eSecurityRole read;
  eSecurityRole write;
};

// Per mode, the levels of the six variables above in their order. The
// line parameters a mode drives itself are read-only for the user; the
// camera setting only matters in camera-control mode.
struct SerialModeRow {
  const char* mode;
  SerialLevels levels[kSerialVarCount];
};

const SerialModeRow kSerialModes[] = {
    {"Control",
     {{kUser, kUser}, {kUser, kSystem}, {kUser, kSystem}, {kUser, kSystem}, {kUser, kSystem}, {kSystem, kSystem}}},
    {"ClosedCaption",
     {{kUser, kUser}, {kUser, kSystem}, {kUser, kSystem}, {kUser, kSystem}, {kUser, kSystem}, {kSystem, kSystem}}},
    {"CameraControl",
     {{kUser, kSystem}, {kUser, kSystem}, {kUser, kSystem}, {kUser, kSystem}, {kUser, kSystem}, {kUser, kUser}}},
    {"PassThru",
     {{kUser, kUser}, {kUser, kUser}, {kUser, kSystem}, {kUser, kUser}, {kUser, kUser}, {kSystem, kSystem}}},
    {"Off",
     {{kSystem, kSystem},
      {kSystem, kSystem},
      {kSystem, kSystem},
      {kSystem, kSystem},
      {kSystem, kSystem},
      {kSystem, kSystem}}},
};

// ---------------------------------------------------------------- log space

const char kLogMaxFileSize[] = "system.log.maxfilesize";
const char kLogMaxFiles[] = "system.log.maxfiles";
const char kLogSpaceMax[] = "system.log.spacemonitoring.max";
const char kLogSpaceEnable[] = "system.log.spacemonitoring.enable";
const char kLogSpaceThreshold[] = "system.log.spacemonitoring.threshold";
const char kLogTransferFrequency[] = "system.log.spacemonitoring.autotransfer.transferfrequency";
const char kLogFolderNameOption[] = "system.log.spacemonitoring.autotransfer.foldernameoption";
const char kLogFolderName[] = "system.log.spacemonitoring.autotransfer.foldername";

// A controlling value read for the next rule of the chain; a failed read
// leaves it empty, which takes that rule's other-value case.
std::string readChainValue(const char* name) { return config_read_str(name, 32); }

// Decimal text of a log limit; anything that is not a number counts as 0.
long long logLimit(const char* name) { return strtoll(config_read_str(name, 64).c_str(), nullptr, 10); }

// The three questions are asked in a fixed order (argument evaluation order
// is not), so the reads they make are the same on every build.
void applyDnsRule() {
  bool ipv4Manual = isIPv4Manual();
  bool ipv6Enabled = isIPv6Enabled();
  bool ipv6Manual = isIPv6Manual();
  set_dns_access_levels(ipv4Manual, ipv6Enabled, ipv6Manual);
}

}  // namespace

// ------------------------------------------------------------------ network

void set_ipv4_access_levels(const std::string& mode) {
  setLevels(kIpv4StaticVars, kUnchanged, mode == "Client" ? kSystem : kAdmin);
  applyDnsRule();
}

void set_ipv6_access_levels() {
  setLevels(kIpv6StaticVars, kUnchanged, (isIPv6Enabled() && isIPv6Manual()) ? kAdmin : kSystem);
  applyDnsRule();
}

void set_dns_access_levels(bool ipv4Manual, bool ipv6Enabled, bool ipv6Manual) {
  setLevel("system.network.domainname", kUnchanged, kAdmin);
  // Servers learned from DHCP or router advertisements would overwrite what an
  // administrator typed, so they are only editable while some address is set
  // by hand.
  bool manual = ipv4Manual || (ipv6Enabled && ipv6Manual);
  setLevels(kDnsServerVars, kUnchanged, manual ? kAdmin : kSystem);
}

void set_autoneg_access_levels(const std::string& value) {
  if (value == "True") {
    setLevels(kAutonegVars, kAdmin, kSystem);
  } else {
    setLevels(kAutonegVars, kUser, kAdmin);
  }
}

void set_dot1x_access_levels(const std::string& value) {
  if (value == "False") {
    setLevels(kDot1xVars, kSystem, kSystem);
  } else {
    setLevels(kDot1xVars, kUser, kAdmin);
  }
}

void set_vlan_access_levels(const std::string& value) {
  if (value == "False") {
    setLevels(kVlanVars, kSystem, kSystem);
  } else {
    setLevels(kVlanVars, kUser, kAdmin);
  }
}

// ----------------------------------------------------------- time and call

void set_timeserver_access_levels(const std::string& value) {
  if (value == "Manual") {
    setLevels(kTimeServerAddressVars, kUser, kAdmin);
  } else {
    setLevels(kTimeServerAddressVars, kSystem, kSystem);
  }
}

void set_in_call_access_levels(bool inCall) {
  eSecurityRole write = inCall ? kSystem : kAdmin;
  char mode[64] = "";
  config_read("time.timeserver.mode", mode, sizeof mode, nullptr);
  // Addresses of an automatic time server stay hidden whatever the call
  // state; only manual ones are handed back after the call.
  if (strcasecmp(mode, "manual") == 0) setLevels(kTimeServerAddressVars, kUser, write);
  setLevels(kInCallTimeVars, kUser, write);
}

void set_in_office_365_access_levels(bool enabled) {
  setLevels(kRemoteControlVars, kUser, enabled ? kSystem : kAdmin);
}

// ------------------------------------------------------------ remote access

void set_telnet_portoptions_access_levels(const std::string& telnet, const std::string& ssh) {
  bool remoteShell = telnet == "True" || ssh == "True";
  setLevels(kTelnetPortOptionVars, kUser, remoteShell ? kUser : kSystem);
}

void set_remote_log_access_levels(const std::string& value) {
  if (value == "True") {
    setLevels(kRemoteLogVars, kUser, kAdmin);
  } else {
    setLevels(kRemoteLogVars, kAdmin, kSystem);
  }
}

// ------------------------------------------------------------ modular room

void set_modularroom_mode_config_access_levels(const std::string& mode) {
  eSecurityRole connection = mode == "Disabled" ? kSystem : kAdmin;
  setLevels(kSecondaryConnectionVars, connection, connection);

  eSecurityRole level = mode == "Secondary" ? kSystem : kAdmin;
  setLevels(kSecondaryLockedVars, level, level);

  for (const PasswordPolicy& policy : kPasswordPolicies) {
    for (size_t i = 0; i < policy.count; ++i) {
      std::string name = std::string(policy.prefix) + policy.suffixes[i];
      setLevel(name.c_str(), kAdmin, level);
    }
  }

  if (mode == "Secondary") {
    setLevel("softupdate.pollingenabled", kSystem, kSystem);
    setLevel("security.remoteaccess.telnet.enabled", kSystem, kSystem);
    setLevel("security.remoteaccess.ssh.enabled", kSystem, kSystem);
  } else {
    setLevel("softupdate.pollingenabled", kUser, kAdmin);
    setLevel("security.remoteaccess.telnet.enabled", kUser, kUser);
    setLevel("security.remoteaccess.ssh.enabled", kUser, kUser);
  }
}

// -------------------------------------------------------------- serial port

void set_serial_port_params_access_levels(const std::string& mode) {
  for (const SerialModeRow& row : kSerialModes) {
    if (mode != row.mode) continue;
    for (int i = 0; i < kSerialVarCount; ++i) setLevel(kSerialVars[i], row.levels[i].read, row.levels[i].write);
    return;
  }
  logerr(kComponent, "set_serial_port_params_access_levels did not get a valid RS-232 mode!!!\n");
}

// ---------------------------------------------------------------- log space

void set_logspace_configured() {
  // Ten per cent above what the rotated logs can hold, so that monitoring
  // only warns about space the logs did not account for.
  long long n = logLimit(kLogMaxFileSize) * logLimit(kLogMaxFiles);
  long long max = n + n / 10;
  if (max > INT_MAX) max = INT_MAX;
  if (max < INT_MIN) max = INT_MIN;
  char text[16];
  snprintf(text, sizeof text, "%d", static_cast<int>(max));
  config_write(kLogSpaceMax, text, kSystem);

  char threshold[64] = "";
  config_read(kLogSpaceThreshold, threshold, sizeof threshold, nullptr);
  set_logspace_transfer_frequency_access_levels(threshold);
}

void set_logspace_transfer_frequency_access_levels(std::string value) {
  int rc;
  if (value == "Off") {
    config_write(kLogTransferFrequency, "Manual", kSystem);
    config_write(kLogSpaceEnable, "False", kSystem);
    rc = config_setAccessLevels(kLogTransferFrequency, 0, kSystem, kAdmin, kSystem);
  } else {
    config_write(kLogSpaceEnable, "True", kSystem);
    rc = config_setAccessLevels(kLogTransferFrequency, 0, kSystem, kUser, kAdmin);
  }
  if (rc != 0) {
    logerr(kComponent, "set_logspace_transfer_frequency_access_levels: setting the levels of %s failed, err=%d\n",
           kLogTransferFrequency, rc);
  }
}

void set_logspace_monitor_access_levels(std::string value) {
  setLevel(kLogSpaceThreshold, value == "True" ? kUser : kAdmin, kAdmin);
  set_logspace_transfer_access_levels(readChainValue(kLogTransferFrequency));
}

void set_logspace_transfer_access_levels(std::string value) {
  setLevel(kLogFolderNameOption, value == "AutoAtThreshold" ? kUser : kAdmin, kAdmin);
  set_logspace_transfer_folder_access_levels(readChainValue(kLogFolderNameOption));
}

void set_logspace_transfer_folder_access_levels(std::string value) {
  eSecurityRole level = value == "Custom" ? kUser : kAdmin;
  setLevel(kLogFolderName, level, level);
}
