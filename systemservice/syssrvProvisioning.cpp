// Provisioning discovery: the ZUN and DMS provisioning servers of the
// network the unit has joined, found through SRV lookups in the unit's domain
// (asked of the DNS service "DnsSrvc") and through the DHCPv4 boot-server and
// TFTP-server options. What is found, and the outcome, go to the
// configuration; a unit still out of the box also tests whether its cloud
// and ZTP servers answer.
//
// Runs on the main thread and blocks it while the DNS service looks up.
#include <strings.h>

#include <string>

#include "DnsIF.pb.h"
#include "OS/logmsg.h"
#include "platform/msg/MSG.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvProvisioning.h"

namespace {

const char kComponent[] = "provisioning";
const char kDnsSrvc[] = "DnsSrvc";
const char kZun[] = "_zunconfig";
const char kDms[] = "_dmsconfig";
// Values of this module are read with at most 63 characters.
constexpr int kValueLen = 64;

const char kDomainVar[] = "system.network.domainname";
const char kBootServerVar[] = "system.network.wired.ipv4nic.dhcp.bootserver";
const char kTftpServerVar[] = "system.network.wired.ipv4nic.dhcp.tftpserver";
const char kStatusVar[] = "management.provisioning.inserverdiscoverystatus";
const char kLldpEnabledVar[] = "system.network.wired.lldp.mednetworkpolicy.enabled";
const char kLldpStatusVar[] = "system.network.wired.lldp.mednetworkpolicy.status";
const char kOutOfBoxVar[] = "system.info.outofbox";
// Emptied before each run, so that a server no longer advertised goes.
const char* const kFoundVars[] = {"management.provisioning.zun.server", "management.provisioning.dms.user",
                                  "management.provisioning.dms.password", "management.provisioning.dms.server"};

bool lookUpAndStore(const char* service, const char* domain) {
  std::string target;
  return provisioningDnsSrvLookup(service, domain, kDnsSrvTimeoutMs, &target) &&
         parseUrlForProvisionServerDetails(target.c_str(), service) == 0;
}

bool dhcpOptionStored(const char* var) {
  char url[kValueLen] = "";
  return config_read(var, url, sizeof url, nullptr) == 0 && parseUrlForProvisionServerDetails(url, kDms) == 0;
}

// An LLDP-MED network policy may still change the network: while one is
// enabled and none has arrived, the discovery's outcome is not final.
bool lldpMedPending() {
  const std::string enabled = config_read_str(kLldpEnabledVar, kValueLen);
  const std::string status = config_read_str(kLldpStatusVar, kValueLen);
  return strcasecmp(enabled.c_str(), "false") != 0 && strcasecmp(status.c_str(), "Uninitialized") == 0;
}

}  // namespace

int provisioningMsgInit(const char* pMsgEndpointSenderName) {
  MSG_Endpoint id = 0;
  int rc = MSG_OpenRemoteSync(pMsgEndpointSenderName != nullptr ? pMsgEndpointSenderName : "", kDnsSrvc, -1, &id);
  if (rc != 0) logerr(kComponent, "%s() MSG_OpenRemoteSync failed with err = %d\n", "provisioningMsgInit", rc);
  return rc;
}

bool provisioningDnsSrvLookup(const char* service, const char* domain, int timeoutMs, std::string* target) {
  DnsIF::DnsSrvReq req;
  req.set_service(service);
  req.set_protocol("_tcp");
  req.set_domain_name(domain);
  DnsIF::DnsSrvRsp rsp;
  // A failed exchange leaves `rsp` empty: no error field, so a failure too.
  syssrvMessageSendWaitResponse(req, &rsp, kDnsSrvc, timeoutMs);
  if (!rsp.has_error() || rsp.error() != 0 || !rsp.has_target()) {
    logerr(kComponent, "%s() DNS SRV request for %s failed\n", "discoverProvisioning", service);
    return false;
  }
  *target = rsp.target();
  return true;
}

void discoverProvisioning() {
  static const char kFunc[] = "discoverProvisioning";
  bool zun = false;
  bool dms = false;
  char domain[kValueLen] = "";
  if (config_read(kDomainVar, domain, sizeof domain, nullptr) != 0) {
    logerr(kComponent, "%s() failed reading config var %s\n", kFunc, kDomainVar);
  } else if (domain[0] == '\0') {
    logwarn(kComponent, "%s() could not discover provisioning server because config var %s was empty\n", kFunc,
            kDomainVar);
  } else {
    for (const char* var : kFoundVars) config_write(var, "", kStartup);
    zun = lookUpAndStore(kZun, domain);
    // The DHCP options name the DMS server directly; DNS is the last resort.
    dms = dhcpOptionStored(kBootServerVar) || dhcpOptionStored(kTftpServerVar) || lookUpAndStore(kDms, domain);
  }
  if (!lldpMedPending()) config_write(kStatusVar, zun || dms ? "COMPLETE" : "FAILED", kStartup);
  if (strcasecmp(config_read_str(kOutOfBoxVar, kValueLen).c_str(), "true") == 0) {
    determineCloudServerAccessibility("cloud");
    determineCloudServerAccessibility("ztp");
  }
}
