// Start-up of the real daemon against the real configuration service: the
// callback registrations as configsrvc recorded them, and the unit's
// identity published from the environment.
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "tests/sim/simFixture.h"

namespace {

constexpr int kDynamicValidator = 1;
constexpr int kOnChange = 2;
constexpr int kChangeNotify = 3;
constexpr int kSubmit = 6;

using Reg = std::pair<std::string, int>;

void add(std::vector<Reg>* out, int kind, std::initializer_list<const char*> names) {
  for (const char* n : names) out->push_back({n, kind});
}

// Every registration of the start-up configuration, in the order it is made.
std::vector<Reg> expectedRegistrations() {
  std::vector<Reg> r;
  add(&r, kChangeNotify,
      {"time.timeserver.mode", "time.timeformat", "time.timeserver.address", "time.timezone", "location.language",
       "location.country", "system.info.systemname", "security.remoteaccess.telnet.enabled",
       "system.remote.channelid", "system.info.outofbox", "system.discovery.broadcastbeacon",
       "video.monitor[1].signalType", "video.monitor[1].Resolution", "system.network.icmpoutpacketrate",
       "system.network.enableecho", "system.network.enableunreachabletx", "system.network.ignoreredirect",
       "system.network.ipv6dadcount", "system.network.wired.ipv6nic.moflag", "security.banner.enabled",
       "security.banner.bannertext", "security.banner.DoD", "security.banner.localsecuritybanner",
       "management.provisioning.inserverdiscoverystatus", "softupdate.dirtybit", "system.proxy.pacfile.expirytime",
       "system.proxy.webproxy.blockbasicauth", "management.provisioning.discoverycomplete",
       "system.modularroom.secondary.pairing.state"});
  add(&r, kChangeNotify,
      {"system.log.filename", "system.log.maxfilesize", "system.log.maxfiles", "system.log.level",
       "system.log.remotelog.enabled", "system.log.remotelog.serveraddress", "system.log.remotelog.serverprotocol",
       "comm.Callsetting.callFeatures.fips140enable", "security.disabletlsversionone",
       "system.log.spacemonitoring.enable", "system.log.spacemonitoring.max", "system.log.spacemonitoring.usedpercent",
       "system.log.spacemonitoring.threshold", "system.log.spacemonitoring.autotransfer.transferfrequency",
       "system.log.spacemonitoring.autotransfer.foldernameoption",
       "system.log.spacemonitoring.autotransfer.foldername", "system.log.spacemonitoring.autotransfer.inprogress"});
  add(&r, kSubmit, {"system.proxy.webproxysubmit"});
  add(&r, kChangeNotify, {"system.proxy.webproxy.enabled", "system.proxy.pacfile.lastupdatedtime"});
  add(&r, kSubmit, {"system.network.submit"});
  add(&r, kChangeNotify,
      {"system.network.hostname", "system.network.domainname", "system.network.wired.devicename",
       "system.network.wired.ethernet.autoneg", "system.network.wired.ethernet.portspeed",
       "system.network.wired.ethernet.duplexmode", "system.network.wired.dot1x.enabled",
       "system.network.wired.dot1x.userid", "system.network.wired.dot1x.password",
       "system.network.wired.lldp.mednetworkpolicy.enabled", "system.network.wired.vlan.enabled",
       "system.network.wired.vlan.vlanid", "system.network.wired.vlan.videopriority",
       "system.network.wired.vlan.audiopriority", "system.network.wired.vlan.controlpriority",
       "system.network.wired.ipv4nic.mode", "system.network.wired.ipv4nic.address",
       "system.network.wired.ipv4nic.subnetmask", "system.network.wired.ipv4nic.defaultgateway",
       "system.network.wired.ipv4nic.dhcp.dnsserver", "system.network.dnsserver", "system.network.embeddedswitch",
       "system.network.wired.ipv6nic.enabled", "system.network.wired.ipv6nic.mode",
       "system.network.wired.ipv6nic.defaultgateway", "system.network.wired.ipv6nic.enableslaac",
       "system.network.wired.ipv6nic.linklocal", "system.network.wired.ipv6nic.sitelocal",
       "system.network.wired.ipv6nic.globaladdress", "comm.Qos.tos.tosoam", "security.nids.enabled",
       "security.profile", "security.remoteaccess.telnet.pddebugport"});
  add(&r, kDynamicValidator,
      {"system.modularroom.mode", "system.modularroom.secondary.connection.allowexpiredcertificates",
       "system.modularroom.secondary.connection.allownonSSL"});
  add(&r, kOnChange,
      {"system.network.wired.ipv4nic.mode", "system.network.wired.ipv6nic.enabled",
       "system.network.wired.ipv6nic.mode", "system.network.wired.ethernet.autoneg",
       "system.network.wired.dot1x.enabled", "system.network.wired.vlan.enabled", "time.timeserver.mode",
       "location.country", "system.log.spacemonitoring.enable", "system.log.spacemonitoring.threshold",
       "system.log.spacemonitoring.autotransfer.transferfrequency",
       "system.log.spacemonitoring.autotransfer.foldernameoption", "system.log.remotelog.enabled",
       "comm.Firewall.fixedportstcplow", "comm.Firewall.fixedportsudplow", "comm.Firewall.fixedports",
       "security.remoteaccess.telnet.enabled", "security.remoteaccess.ssh.enabled",
       "security.remoteaccess.sshservice.enabled", "system.ports.serial.mode",
       "security.remoteaccess.telnet.apiport"});
  add(&r, kChangeNotify,
      {"system.uboot.skipvideo", "uicontrol.apps.home.office365uienabled", "system.maxventilation",
       "system.systemmode.enableitpenginemode"});
  add(&r, kOnChange,
      {"system.proxy.wpadenabled", "system.proxy.pacfile.url", "comm.NICs.SipNic.sipusername",
       "comm.NICs.SipNic.sippassword", "comm.NICs.SipNic.sipaccountname", "security.enablecipheraescbc",
       "system.modularroom.mode"});
  add(&r, kChangeNotify,
      {"system.network.wired.ipv4nic.dhcp.state", "system.network.wired.ipv6nic.dhcp.state"});
  return r;
}

// What configsrvc recorded for the client "SystemSrvc", in order.
std::vector<Reg> recordedRegistrations(const std::vector<std::string>& log) {
  static const std::regex line(R"(^configsrvc: SystemSrvc registered (.+)\[0\] type ([0-9]+)$)");
  std::vector<Reg> out;
  std::smatch m;
  for (const std::string& l : log) {
    if (std::regex_match(l, m, line)) out.push_back({m[1].str(), std::stoi(m[2].str())});
  }
  return out;
}

std::string describe(const std::vector<Reg>& regs) {
  std::string s;
  for (size_t i = 0; i < regs.size(); ++i) {
    s += "  " + std::to_string(i + 1) + ". " + regs[i].first + " kind " + std::to_string(regs[i].second) + "\n";
  }
  return s;
}

}  // namespace

TEST_F(SimTest, EveryRegistrationOfStartUpIsPresentWithItsKindInOrder) {
  bringUp();
  std::vector<Reg> expected = expectedRegistrations();
  ASSERT_EQ(expected.size(), 120u);
  std::vector<Reg> got = recordedRegistrations(app->configLog());
  EXPECT_EQ(got, expected) << "recorded by configsrvc:\n" << describe(got);
  // Nothing refused: a registration configsrvc turned down would be
  // missing above, and the daemon would have logged the refusal.
  for (const std::string& l : app->configLog()) {
    EXPECT_EQ(l.find("RegisterClientCallbackReq: database refused"), std::string::npos) << l;
  }
}

TEST_F(SimTest, IdentityVariablesAreSetFromTheEnvironment) {
  bringUp();
  const std::vector<std::pair<const char*, const char*>> expected = {
      {"system.info.model", "CEDAR"},
      {"system.info.humanreadablemodel", "TrueSummit Ensemble 150"},
      {"system.info.serialnumber", "8G21874A0F21CD"},
      {"system.info.hardwareversion", "12"},
      {"system.info.devfeatures", "false"},
      {"system.info.encryptionenable", "True"},
      {"security.remoteaccess.web.httpenabled", "False"},
      {"system.info.system", "TrueSummit"},
      {"system.info.buildtype", "release"},
      {"system.info.version", "4.2.1.0318"},
      {"system.info.build", "412017"},
      {"system.info.builddate", "2024-03-18 14:22:05"},
      {"system.info.humanreadableversion", "release - 4.2.1.0318-412017"},
      {"system.info.crvlstandardversion", "release - 4.2.1.0318-412017"},
      {"system.info.eulafile", "eula"},
  };
  for (const auto& e : expected) EXPECT_EQ(app->configGet(e.first), e.second) << e.first;
  // The link-local address is published from the query (run through the
  // stand-ins of ip and busybox inside the root), cleared again by the LAN
  // initialisation in automatic IPv6 mode, and published once more from
  // the root's /proc/net/if_inet6 by the LAN module's address scan, eight
  // passes after the link is first read up.
  const char kLinkLocal[] = "system.network.wired.ipv6nic.linklocal";
  EXPECT_GE(simFind(app->daemonLog(), "Clear out configuration variables on IPv6 addresses and gateway during "
                                      "start-up in IPv6-auto mode."),
            0);
  EXPECT_TRUE(simWaitFor([&] { return app->configGet(kLinkLocal) == "fe80::2e0:dbff:fe4a:21cd/64"; }, 30000))
      << app->configGet(kLinkLocal);
  // The unit is out of box with default passwords: the serial number
  // becomes the administrator's password.
  EXPECT_EQ(app->configGet("security.authentication.accounts.adminaccount.localpassword"), "8G21874A0F21CD");
  std::vector<std::string> journal = app->journal();
  EXPECT_GE(simFind(journal, "ip addr show dev eth0 | busybox sed -n 's/.*inet6 \\(.*\\) scope link.*/\\1/p'"), 0);
  EXPECT_GE(simFind(app->fileLines("/var/journal/standins.log"), "/system/bin/ip addr show dev eth0"), 0);
}

TEST_F(SimTest, BoardIdInLowerCaseSelectsItsModelRowAndIsPublishedAsGiven) {
  bringUp("birch", {{"PROJECTPHASE", "beta"}, {"ENCRYPTION_ENABLE", "false"}});
  EXPECT_EQ(app->configGet("system.info.model"), "birch");
  EXPECT_EQ(app->configGet("system.info.humanreadablemodel"), "TrueSummit Ensemble 170");
  EXPECT_EQ(app->configGet("system.info.humanreadableversion"), "beta - 4.2.1.0318-412017");
  // Encryption off: web access over http, call encryption forced off.
  EXPECT_EQ(app->configGet("security.remoteaccess.web.httpenabled"), "True");
  EXPECT_EQ(app->configGet("comm.Callsetting.callFeatures.encryptionenable"), "Off");
  EXPECT_EQ(app->configGet("management.provisioning.ubootencyptionenabled"), "False");
}

TEST_F(SimTest, MissingSerialNumberIsLoggedAndTheRestStillPublished) {
  bringUp("CEDAR", {}, {"CORVALE_SERIALNUM"});
  std::vector<std::string> log = app->daemonLog();
  EXPECT_GE(simFind(log, "<3>syssrv: hd[0]: CORVALE_SERIALNUM not set in environment."), 0);
  EXPECT_EQ(app->configGet("system.info.serialnumber"), "");
  EXPECT_EQ(app->configGet("system.info.model"), "CEDAR");
  EXPECT_EQ(app->configGet("system.info.builddate"), "2024-03-18 14:22:05");
}
