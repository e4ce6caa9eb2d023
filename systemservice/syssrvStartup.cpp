// The configuration callbacks this service registers at start, in the order
// the configuration service receives them (it keeps that order), with the
// configuration service's four handlers registered on "SystemSrvc" at their
// places among them.
#include "systemservice/syssrvStartup.h"

#include "OS/logmsg.h"
#include "systemservice/syssrvMessage.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvAccessLevels.h"
#include "systemservice/syssrvCallbacks.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvConfigNotify.h"

namespace {

const char kComponent[] = "message";

// How a failed handler registration is reported: the change, submit and
// on-change handlers log an error only when it fails; the validator's
// result is always logged, at debug level.
enum syssrvHandlerLog {
  kLogOnFailure,
  kLogAlwaysDebug,
};

// A row is either a variable with its callback kind, or (name null) one of
// the configuration service's handlers with its message type.
struct syssrvRegRow {
  const char* name;
  CallbackType kind;
  MSG_Type handlerType;
  MSG_CallbackFunc handler;
  const char* handlerName;
  syssrvHandlerLog handlerLog;
  // Runs right after the handler is registered.
  void (*then)();
};

constexpr syssrvRegRow cn(const char* name) { return {name, kChangeNotify, 0, nullptr, nullptr, kLogOnFailure, nullptr}; }
constexpr syssrvRegRow sub(const char* name) { return {name, kSubmit, 0, nullptr, nullptr, kLogOnFailure, nullptr}; }
constexpr syssrvRegRow dv(const char* name) { return {name, kDynamicValidator, 0, nullptr, nullptr, kLogOnFailure, nullptr}; }
constexpr syssrvRegRow oc(const char* name) { return {name, kOnChange, 0, nullptr, nullptr, kLogOnFailure, nullptr}; }
constexpr syssrvRegRow handler(MSG_Type type, MSG_CallbackFunc fn, const char* fnName, syssrvHandlerLog log,
                               void (*then)() = nullptr) {
  return {nullptr, kChangeNotify, type, fn, fnName, log, then};
}

const syssrvRegRow kRegistrations[] = {
    cn("time.timeserver.mode"),
    cn("time.timeformat"),
    cn("time.timeserver.address"),
    cn("time.timezone"),
    cn("location.language"),
    cn("location.country"),
    cn("system.info.systemname"),
    cn("security.remoteaccess.telnet.enabled"),
    cn("system.remote.channelid"),
    cn("system.info.outofbox"),
    cn("system.discovery.broadcastbeacon"),
    cn("video.monitor[1].signalType"),
    cn("video.monitor[1].Resolution"),
    cn("system.network.icmpoutpacketrate"),
    cn("system.network.enableecho"),
    cn("system.network.enableunreachabletx"),
    cn("system.network.ignoreredirect"),
    cn("system.network.ipv6dadcount"),
    cn("system.network.wired.ipv6nic.moflag"),
    cn("security.banner.enabled"),
    cn("security.banner.bannertext"),
    cn("security.banner.DoD"),
    cn("security.banner.localsecuritybanner"),
    cn("management.provisioning.inserverdiscoverystatus"),
    cn("softupdate.dirtybit"),
    cn("system.proxy.pacfile.expirytime"),
    cn("system.proxy.webproxy.blockbasicauth"),
    cn("management.provisioning.discoverycomplete"),
    cn("system.modularroom.secondary.pairing.state"),

    handler(kMsgIdConfigIFConfigChangedNtfy, config_change_notify, "config_change_notify", kLogOnFailure,
            set_logspace_configured),

    cn("system.log.filename"),
    cn("system.log.maxfilesize"),
    cn("system.log.maxfiles"),
    cn("system.log.level"),
    cn("system.log.remotelog.enabled"),
    cn("system.log.remotelog.serveraddress"),
    cn("system.log.remotelog.serverprotocol"),
    cn("comm.Callsetting.callFeatures.fips140enable"),
    cn("security.disabletlsversionone"),
    cn("system.log.spacemonitoring.enable"),
    cn("system.log.spacemonitoring.max"),
    cn("system.log.spacemonitoring.usedpercent"),
    cn("system.log.spacemonitoring.threshold"),
    cn("system.log.spacemonitoring.autotransfer.transferfrequency"),
    cn("system.log.spacemonitoring.autotransfer.foldernameoption"),
    cn("system.log.spacemonitoring.autotransfer.foldername"),
    cn("system.log.spacemonitoring.autotransfer.inprogress"),
    sub("system.proxy.webproxysubmit"),
    cn("system.proxy.webproxy.enabled"),
    cn("system.proxy.pacfile.lastupdatedtime"),
    sub("system.network.submit"),

    handler(kMsgIdConfigIFSubmitNtfy, config_submit_notify, "config_submit_notify", kLogOnFailure),

    cn("system.network.hostname"),
    cn("system.network.domainname"),
    cn("system.network.wired.devicename"),
    cn("system.network.wired.ethernet.autoneg"),
    cn("system.network.wired.ethernet.portspeed"),
    cn("system.network.wired.ethernet.duplexmode"),
    cn("system.network.wired.dot1x.enabled"),
    cn("system.network.wired.dot1x.userid"),
    cn("system.network.wired.dot1x.password"),
    cn("system.network.wired.lldp.mednetworkpolicy.enabled"),
    cn("system.network.wired.vlan.enabled"),
    cn("system.network.wired.vlan.vlanid"),
    cn("system.network.wired.vlan.videopriority"),
    cn("system.network.wired.vlan.audiopriority"),
    cn("system.network.wired.vlan.controlpriority"),
    cn("system.network.wired.ipv4nic.mode"),
    cn("system.network.wired.ipv4nic.address"),
    cn("system.network.wired.ipv4nic.subnetmask"),
    cn("system.network.wired.ipv4nic.defaultgateway"),
    cn("system.network.wired.ipv4nic.dhcp.dnsserver"),
    cn("system.network.dnsserver"),
    cn("system.network.embeddedswitch"),
    cn("system.network.wired.ipv6nic.enabled"),
    cn("system.network.wired.ipv6nic.mode"),
    cn("system.network.wired.ipv6nic.defaultgateway"),
    cn("system.network.wired.ipv6nic.enableslaac"),
    cn("system.network.wired.ipv6nic.linklocal"),
    cn("system.network.wired.ipv6nic.sitelocal"),
    cn("system.network.wired.ipv6nic.globaladdress"),
    cn("comm.Qos.tos.tosoam"),
    cn("security.nids.enabled"),
    cn("security.profile"),
    cn("security.remoteaccess.telnet.pddebugport"),

    dv("system.modularroom.mode"),
    dv("system.modularroom.secondary.connection.allowexpiredcertificates"),
    dv("system.modularroom.secondary.connection.allownonSSL"),

    handler(kMsgIdConfigIFDynamicValidateReq, config_dynamic_validate, "config_dynamic_validate",
            kLogAlwaysDebug),

    oc("system.network.wired.ipv4nic.mode"),
    oc("system.network.wired.ipv6nic.enabled"),
    oc("system.network.wired.ipv6nic.mode"),
    oc("system.network.wired.ethernet.autoneg"),
    oc("system.network.wired.dot1x.enabled"),
    oc("system.network.wired.vlan.enabled"),
    oc("time.timeserver.mode"),
    oc("location.country"),
    oc("system.log.spacemonitoring.enable"),
    oc("system.log.spacemonitoring.threshold"),
    oc("system.log.spacemonitoring.autotransfer.transferfrequency"),
    oc("system.log.spacemonitoring.autotransfer.foldernameoption"),
    oc("system.log.remotelog.enabled"),
    oc("comm.Firewall.fixedportstcplow"),
    oc("comm.Firewall.fixedportsudplow"),
    oc("comm.Firewall.fixedports"),
    oc("security.remoteaccess.telnet.enabled"),
    oc("security.remoteaccess.ssh.enabled"),
    oc("security.remoteaccess.sshservice.enabled"),
    oc("system.ports.serial.mode"),
    oc("security.remoteaccess.telnet.apiport"),
    cn("system.uboot.skipvideo"),
    cn("uicontrol.apps.home.office365uienabled"),
    cn("system.maxventilation"),
    cn("system.systemmode.enableitpenginemode"),
    oc("system.proxy.wpadenabled"),
    oc("system.proxy.pacfile.url"),
    oc("comm.NICs.SipNic.sipusername"),
    oc("comm.NICs.SipNic.sippassword"),
    oc("comm.NICs.SipNic.sipaccountname"),
    oc("security.enablecipheraescbc"),
    oc("system.modularroom.mode"),

    handler(kMsgIdConfigIFOnChangeReq, config_on_change, "config_on_change", kLogOnFailure),
};

void registerHandler(const syssrvRegRow& row) {
  MSG_Callback cb = {row.handler, nullptr, row.handlerType, row.handlerType, 0};
  int rc = MSG_RegisterCallback(kSyssrvEndpoint, &cb);
  if (row.handlerLog == kLogAlwaysDebug) {
    logdebug(kComponent, "(%s) MSG_RegisterCallback for %s returned %d\n", "syssrvMessageInit", row.handlerName, rc);
  } else if (rc != 0) {
    // Start-up goes on: the other callbacks still work, and a missing
    // handler only leaves its messages unprocessed.
    logerr(kComponent, "MSG_RegisterCallback for %s failed: %d\n", row.handlerName, rc);
  }
  if (row.then != nullptr) row.then();
}

}  // namespace

std::vector<syssrvRegistration> syssrvConfigRegistrations() {
  std::vector<syssrvRegistration> out;
  for (const syssrvRegRow& row : kRegistrations) out.push_back({row.name, row.kind, row.handlerType});
  return out;
}

void syssrvRegisterConfigCallbacks() {
  for (const syssrvRegRow& row : kRegistrations) {
    if (row.name == nullptr) {
      registerHandler(row);
    } else {
      // A refused registration is logged by the client; the rest go on.
      config_register_change_notify(row.name, 0, row.kind);
    }
  }
}
