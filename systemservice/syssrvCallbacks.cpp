// Callbacks of the configuration service and the out-of-box reset; see
// syssrvCallbacks.h.
//
// The configuration service waits for the validate and on-change answers
// before it goes on with the change, so every rule here runs while it waits;
// the rules' own configuration requests are answered meanwhile because the
// service serves them independently of the pending callback.
#include "systemservice/syssrvCallbacks.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ConfigIF.pb.h"
#include "OS/logmsg.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvAccessLevels.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvHostname.h"
#include "systemservice/syssrvLan.h"
#include "systemservice/syssrvLocale.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageReply.h"
#include "systemservice/syssrvQuote.h"
#include "systemservice/syssrvShell.h"
#include "systemservice/syssrvWpad.h"

namespace {

const char kComponent[] = "message";

const char kModularRoomMode[] = "system.modularroom.mode";
const char kWebProxyEnabled[] = "system.proxy.webproxy.enabled";

// The answer part shared by the validate and on-change responses; no rule
// has an error text to add.
void fillRetMessage(ConfigIF::ReturnMessage* ret, int error, bool reboot, const std::string& serverContext) {
  ret->set_error(error);
  ret->set_server_context(serverContext);
  ret->set_client_name(kSyssrvEndpoint);
  ret->set_reboot_required(reboot);
}

// Name, instance and first value of a callback request; the configuration
// service always sends at least one value.
struct CallbackVar {
  std::string name;
  int instance = 0;
  std::string value;
  bool hasValue = false;
};

CallbackVar callbackVar(const ConfigIF::InstValue& iv) {
  CallbackVar v;
  v.instance = buildCfgVarName(v.name, iv.instance());
  if (iv.value_size() > 0) {
    v.value = iv.value(0);
    v.hasValue = true;
  }
  return v;
}

bool startsWithNoCase(const char* s, const char* prefix) { return strncasecmp(s, prefix, strlen(prefix)) == 0; }

// ------------------------------------------------------------- validation

syssrvValidation acceptWithReboot(const std::string&, const std::string&) { return {0, true}; }

void restorePpcip() { read_and_restore_config("system.ppcipenabled"); }

struct ModeAction {
  const char* value;
  void (*apply)();
};

// What an allowed modular-room mode change prepares before the reboot.
const ModeAction kModularRoomModeActions[] = {
    {"Secondary", syssrvApplySecondaryModeSettings},
    {"Disabled", restorePpcip},
};

// Modular rooms need the newer boards (hardware version 20 on) of the
// models that have the ports for them; developers may try it anywhere.
bool modularRoomAllowed(const char* hwVersion) {
  if (m_bDevfeatures) return true;
  bool model = eModel == kCedar110 || eModel == kLumenPro || eModel == kCedar;
  return model && atoi(hwVersion) > 19;
}

syssrvValidation validateModularRoomMode(const std::string& name, const std::string& value) {
  char hwVersion[15] = "";
  config_read("system.info.hardwareversion", hwVersion, sizeof hwVersion, nullptr);
  if (!modularRoomAllowed(hwVersion)) {
    logdebug(kComponent, "(%s) var %s, val %s not allowed for Model, %d eModel, HWVer=%s\n",
             "config_dynamic_validate", log_text(name).c_str(), log_text(value).c_str(), static_cast<int>(eModel),
             log_text(hwVersion).c_str());
    logwarn(kComponent, "(%s) failed validation var %s, val %s, err %s\n", "config_dynamic_validate",
            log_text(name).c_str(), log_text(value).c_str(), "");
    return {CommonIF::kErrNotYetSupported, false};
  }
  for (const ModeAction& a : kModularRoomModeActions) {
    if (value == a.value) {
      a.apply();
      break;
    }
  }
  return {0, true};
}

struct ValidateRule {
  const char* name;
  syssrvValidation (*check)(const std::string& name, const std::string& value);
};

// Variables whose proposed values need more than a plain yes. Every change
// of the modular-room settings takes effect only after a reboot.
const ValidateRule kValidateRules[] = {
    {kModularRoomMode, validateModularRoomMode},
    {"system.modularroom.secondary.connection.allowexpiredcertificates", acceptWithReboot},
    {"system.modularroom.secondary.connection.allownonSSL", acceptWithReboot},
};

// -------------------------------------------------------------- on-change

void ruleIpv4(const std::string& v) { set_ipv4_access_levels(v); }
void ruleModularRoom(const std::string& v) { set_modularroom_mode_config_access_levels(v); }
void ruleIpv6(const std::string&) { set_ipv6_access_levels(); }
void ruleAutoneg(const std::string& v) { set_autoneg_access_levels(v); }
void ruleDot1x(const std::string& v) { set_dot1x_access_levels(v); }
void ruleVlan(const std::string& v) { set_vlan_access_levels(v); }
void ruleTimeServer(const std::string& v) { set_timeserver_access_levels(v); }
void ruleLogSpaceMonitor(const std::string& v) { set_logspace_monitor_access_levels(v); }
void ruleLogSpaceTransfer(const std::string& v) { set_logspace_transfer_access_levels(v); }
void ruleLogSpaceFolder(const std::string& v) { set_logspace_transfer_folder_access_levels(v); }
void ruleLogSpaceThreshold(const std::string& v) { set_logspace_transfer_frequency_access_levels(v); }
void ruleRemoteLog(const std::string& v) { set_remote_log_access_levels(v); }
void ruleSerialPort(const std::string& v) { set_serial_port_params_access_levels(v); }

// The intrusion detection service reads the fixed ports at start only.
void ruleFirewallPorts(const std::string&) {
  char nids[32] = "";
  config_read("security.nids.enabled", nids, sizeof nids, nullptr);
  if (strcmp(nids, "True") == 0) {
    stop_NIDS();
    start_NIDS();
  }
}

void ruleCountry(const std::string& v) {
  const char* zone = get_timezone_info(v.c_str());
  if (zone == nullptr) return;
  logdebug(kComponent, "config_write : %s  \n", log_text(zone).c_str());
  config_write("time.timezone", zone, kSystem);
}

// Works from the stored values of all three switches, not from the one in
// the request, because the service applies a batch one variable at a time.
void ruleRemoteAccess(const std::string&) {
  char telnet[32] = "";
  char ssh[32] = "";
  char sshService[32] = "";
  bool ok = config_read("security.remoteaccess.telnet.enabled", telnet, sizeof telnet, nullptr) == 0;
  ok = config_read("security.remoteaccess.ssh.enabled", ssh, sizeof ssh, nullptr) == 0 && ok;
  ok = config_read("security.remoteaccess.sshservice.enabled", sshService, sizeof sshService, nullptr) == 0 && ok;
  if (ok) {
    // With no remote shell left, idle time-outs cannot be switched back on
    // by anyone, so they are turned off on the user's behalf.
    if (startsWithNoCase(telnet, "false") && startsWithNoCase(ssh, "false")) {
      config_write("security.remoteaccess.telnet.pddebugportidletimeoutenabled", "false", kUser);
      config_write("security.remoteaccess.telnet.apiportidletimeoutenabled", "false", kUser);
    }
    enable_sshd(startsWithNoCase(sshService, "true"));
  }
  set_telnet_portoptions_access_levels(telnet, ssh);
}

// The debug port must never share the API port.
void ruleTelnetApiPort(const std::string&) {
  char port[32] = "";
  if (config_read("security.remoteaccess.telnet.apiport", port, sizeof port, nullptr) != 0) return;
  config_write("security.remoteaccess.telnet.pddebugport", startsWithNoCase(port, "23") ? "24" : "23", kSystem);
}

// The cipher list is fixed when the TLS stacks start.
void ruleCipherAesCbc(const std::string&) {
  logdebug("SysSrv", "reboot the system as security.enablecipheraescbc has been changed by user.\n");
  sysio().system("/system/bin/reboot");
}

struct OnChangeRule {
  const char* names[3];
  bool instanceZeroOnly;
  void (*apply)(const std::string& value);
};

// First match wins; a row whose instance condition fails lets the name
// fall through to the later rows.
const OnChangeRule kOnChangeRules[] = {
    {{"system.network.wired.ipv4nic.mode"}, true, ruleIpv4},
    {{kModularRoomMode}, true, ruleModularRoom},
    {{"system.network.wired.ipv6nic.enabled", "system.network.wired.ipv6nic.mode"}, true, ruleIpv6},
    {{"system.network.wired.ethernet.autoneg"}, true, ruleAutoneg},
    {{"system.network.wired.dot1x.enabled"}, true, ruleDot1x},
    {{"system.network.wired.vlan.enabled"}, true, ruleVlan},
    {{"time.timeserver.mode"}, false, ruleTimeServer},
    {{"system.log.spacemonitoring.enable"}, false, ruleLogSpaceMonitor},
    {{"system.log.spacemonitoring.autotransfer.transferfrequency"}, false, ruleLogSpaceTransfer},
    {{"system.log.spacemonitoring.autotransfer.foldernameoption"}, false, ruleLogSpaceFolder},
    {{"system.log.spacemonitoring.threshold"}, false, ruleLogSpaceThreshold},
    {{"system.log.remotelog.enabled"}, false, ruleRemoteLog},
    {{"comm.Firewall.fixedports", "comm.Firewall.fixedportstcplow", "comm.Firewall.fixedportsudplow"}, false,
     ruleFirewallPorts},
    {{"location.country"}, false, ruleCountry},
    {{"security.remoteaccess.telnet.enabled", "security.remoteaccess.ssh.enabled",
      "security.remoteaccess.sshservice.enabled"},
     false, ruleRemoteAccess},
    {{"security.remoteaccess.telnet.apiport"}, false, ruleTelnetApiPort},
    {{"system.ports.serial.mode"}, false, ruleSerialPort},
    {{"security.enablecipheraescbc"}, false, ruleCipherAesCbc},
};

// A changed discovery setting invalidates the running delegate and the
// discovered PAC file; discovery starts again on the next batch end.
void followUpDiscoverySetting() {
  if (delegate_running == 1) {
    delegate_dns_set_post();
    stop_delegate();
  }
  StopWpad();
}

// The proxy may authenticate with the SIP account's credentials.
void followUpSipCredentials() {
  char proxy[32] = "";
  char useSfb[32] = "";
  config_read(kWebProxyEnabled, proxy, sizeof proxy, nullptr);
  config_read("system.proxy.usesfbcredentials", useSfb, sizeof useSfb, nullptr);
  if (strcasecmp(proxy, "True") == 0 && strcasecmp(useSfb, "True") == 0) StartWpad();
}

struct FollowUpRule {
  const char* names[3];
  void (*apply)();
};

// Proxy consequences, checked for every name after the on-change rules.
const FollowUpRule kProxyFollowUps[] = {
    {{"system.proxy.wpadenabled", "system.proxy.pacfile.url"}, followUpDiscoverySetting},
    {{"comm.NICs.SipNic.sipusername", "comm.NICs.SipNic.sippassword", "comm.NICs.SipNic.sipaccountname"},
     followUpSipCredentials},
};

template <size_t N>
bool nameIn(const char* const (&names)[N], const std::string& name) {
  for (const char* n : names) {
    if (n != nullptr && name == n) return true;
  }
  return false;
}

// ------------------------------------------------------------------ submit

void startWpadIfProxyEnabled() {
  char proxy[64] = "";
  if (config_read(kWebProxyEnabled, proxy, sizeof proxy, nullptr) != 0) {
    logerr(kComponent, "%s() failed reading config var %s\n", "config_submit_notify", kWebProxyEnabled);
    return;
  }
  if (strcasecmp(proxy, "True") == 0) {
    logdebug(kComponent, "Calling StartWpad. config_submit_notify\n");
    StartWpad();
    return;
  }
  StopWpad();
  if (delegate_running == 1) {
    delegate_dns_set_post();
    stop_delegate();
  }
}

// After a LAN restart with a static address, nothing else will look for a
// proxy, so discovery is started here.
void restartLanAndDiscovery() {
  restart_LAN();
  char proxy[32] = "";
  char mode[64] = "";
  config_read(kWebProxyEnabled, proxy, sizeof proxy, nullptr);
  config_read("system.network.wired.ipv4nic.mode", mode, sizeof mode, nullptr);
  if (strcasecmp(proxy, "true") == 0 && strcmp(mode, "Off") == 0) {
    logdebug(kComponent, "config_submit_notify kCfgVarDHCPOption is : %s\n", mode);
    StartWpad();
  }
}

void endNetworkBatch() {
  if (m_LanDirtyBit == 1) {
    restartLanAndDiscovery();
  } else if (m_IPv6DirtyBit == 1) {
    restart_IPv6Only();
  } else {
    if (m_DnsDirtyBit == 1) updateDnsConfig();
    return;
  }
  syssrvLanRestart();
  if (m_LanDirtyBit == 1 || m_IPv6DirtyBit == 1 || m_DnsDirtyBit == 1) updateDnsConfig();
}

}  // namespace

// ----------------------------------------------------------------- rules

syssrvValidation syssrvValidateChange(const std::string& name, int instance, const std::string& value) {
  syssrvValidation verdict;
  if (instance != 0) return verdict;
  for (const ValidateRule& r : kValidateRules) {
    if (name == r.name) {
      verdict = r.check(name, value);
      break;
    }
  }
  if (verdict.error == 0 && verdict.reboot) logdebug(kComponent, "(%s)set reboot required flag \n", "config_dynamic_validate");
  return verdict;
}

void syssrvApplyOnChange(const std::string& name, int instance, const std::string& value) {
  if (name == "system.proxy.pacfile.lastupdatedtime") {
    logdebug(kComponent, "Launch Delegate service on PacFileUpdatedTime\n");
  }
  const OnChangeRule* match = nullptr;
  for (const OnChangeRule& r : kOnChangeRules) {
    if (nameIn(r.names, name) && (!r.instanceZeroOnly || instance == 0)) {
      match = &r;
      break;
    }
  }
  if (match != nullptr) {
    match->apply(value);
  } else {
    logerr(kComponent, "config_on_change unknown var %s %d\n", log_text(name).c_str(), instance);
  }
  for (const FollowUpRule& f : kProxyFollowUps) {
    if (nameIn(f.names, name)) f.apply();
  }
}

void syssrvSubmitBatch(const std::string& name, SubmitType type) {
  if (name == "system.proxy.webproxysubmit" && type == kSubmitEnd) {
    startWpadIfProxyEnabled();
    return;
  }
  logdebug(kComponent, "config_submit_notify: cfgVarName=%s type=%s dirtyBit=%d,%d,%d\n", log_text(name).c_str(),
           type == kSubmitStart ? "SubmitStart" : "SubmitEnd", m_LanDirtyBit, m_IPv6DirtyBit, m_DnsDirtyBit);
  if (type == kSubmitStart) {
    m_DnsDirtyBit = 0;
    m_LanDirtyBit = 0;
    m_IPv6DirtyBit = 0;
    return;
  }
  // The bits stay set until the next batch starts: changes notified after
  // the end of a batch still belong to it.
  endNetworkBatch();
}

std::vector<std::string> syssrvValidatedNames() {
  std::vector<std::string> out;
  for (const ValidateRule& r : kValidateRules) out.push_back(r.name);
  return out;
}

std::vector<std::string> syssrvOnChangeNames() {
  std::vector<std::string> out;
  auto add = [&out](const char* const* names, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      if (names[i] != nullptr) out.push_back(names[i]);
    }
  };
  for (const OnChangeRule& r : kOnChangeRules) add(r.names, 3);
  for (const FollowUpRule& f : kProxyFollowUps) add(f.names, 3);
  return out;
}

void syssrvResetToOutOfBox() {
  SysIo& io = sysio();
  io.system("rm /opt/corvale/misc/presets/*.png");
  io.unlink("/opt/corvale/cdr/localcdr.db");
  io.unlink("/data/local/bootanimation.zip");
  io.system("./clear-language-files");
  logdebug(kComponent, "reset_config_notify - remove multicodec_systemid.dat file.\n");
  io.unlink("/opt/corvale/dat/multicodec_systemid.dat");
  logdebug(kComponent, "reset_config_notify - set android language to en and country to US\n");
  char cmd[128];
  snprintf(cmd, sizeof cmd, "%s %s\n", "setprop persist.sys.country", "US");
  io.system(cmd);
  snprintf(cmd, sizeof cmd, "%s %s\n", "setprop persist.sys.language", "en");
  io.system(cmd);
}

// ---------------------------------------------------------------- handlers

void config_dynamic_validate(void* /*pContext*/, const MSG_Message* msg) {
  ConfigIF::DynamicValidateReq req;
  if (!syssrvParseRequest(msg, &req)) {
    logerr(kComponent, "(%s) parse error\n", __func__);
    return;
  }
  CallbackVar v = callbackVar(req.instance_val());
  logdebug(kComponent, "(%s) var %s, val %s\n", __func__, log_text(v.name).c_str(), log_value(v.name, v.value).c_str());
  // A request without a value proposes nothing to check.
  syssrvValidation verdict = v.hasValue ? syssrvValidateChange(v.name, v.instance, v.value) : syssrvValidation();

  ConfigIF::DynamicValidateRsp rsp;
  fillRetMessage(rsp.mutable_ret_message(), verdict.error, verdict.reboot, req.server_context());
  static const syssrvAllocFailure kAllocFailed = {"(config_dynamic_validate) rsp msg allocation error\n",
                                                  LOG_LEVEL_ERR};
  syssrvSendReply(msg, kMsgIdConfigIFDynamicValidateRsp, rsp, "(config_dynamic_validate) reply send error\n",
                  kComponent, &kAllocFailed);
}

void config_on_change(void* /*pContext*/, const MSG_Message* msg) {
  ConfigIF::OnChangeReq req;
  if (!syssrvParseRequest(msg, &req)) {
    logdebug(kComponent, "config_on_change parse error\n");
    return;
  }
  CallbackVar v = callbackVar(req.instance_val());
  // Only a lower-case "password" in the name hides the value here.
  bool secret = v.name.find("password") != std::string::npos;
  logdebug(kComponent, "config_on_change: varName:%s val:%s\n", log_text(v.name).c_str(),
           secret ? kSecretMask : log_text(v.value).c_str());
  if (v.hasValue) {
    syssrvApplyOnChange(v.name, v.instance, v.value);
  } else {
    logerr(kComponent, "config_on_change unknown var %s %d\n", log_text(v.name).c_str(), v.instance);
  }

  ConfigIF::OnChangeRsp rsp;
  fillRetMessage(rsp.mutable_ret_message(), 0, false, req.server_context());
  static const syssrvAllocFailure kAllocFailed = {"config_on_change rsp msg allocation error\n", LOG_LEVEL_DEBUG};
  syssrvSendReply(msg, kMsgIdConfigIFOnChangeRsp, rsp, "config_on_change reply send error\n", kComponent,
                  &kAllocFailed);
}

void config_submit_notify(void* /*pContext*/, const MSG_Message* msg) {
  ConfigIF::SubmitNtfy ntfy;
  if (!syssrvParseRequest(msg, &ntfy)) {
    logerr(kComponent, "config_submit_notify: parse error\n");
    return;
  }
  std::string name;
  buildCfgVarName(name, ntfy.instance());
  syssrvSubmitBatch(name, ntfy.type());
}

void reset_config_notify(void* /*pContext*/, const MSG_Message* msg) {
  syssrvResetToOutOfBox();
  SystemIF::SetOobRsp rsp;
  rsp.set_error(CommonIF::kErrNoError);
  syssrvSendReply(msg, kMsgIdSystemIFSetOobRsp, rsp, "reset_config_notify: Reply Send Error\n", kComponent,
                  &kSyssrvAllocSilent);
}
