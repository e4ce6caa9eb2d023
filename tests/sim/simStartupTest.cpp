// Start-up of the real daemon against the real configuration service: the
// callback registrations as configsrvc recorded them, and the unit's
// identity published from the environment.
#include <algorithm>
#include <map>
#include <regex>
#include <set>
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

}  // namespace

// What configsrvc recorded, as a whole: each kind's count, no registration
// made twice, and the ones the road of a LAN change depends on.
TEST_F(SimTest, StartUpRegistersEachCallbackOnceWithItsKind) {
  bringUp();
  std::vector<Reg> got = recordedRegistrations(app->configLog());
  std::map<int, int> perKind;
  for (const Reg& r : got) ++perKind[r.second];
  EXPECT_EQ(perKind, (std::map<int, int>{{kDynamicValidator, 3}, {kOnChange, 28}, {kChangeNotify, 87}, {kSubmit, 2}}));
  EXPECT_EQ(std::set<Reg>(got.begin(), got.end()).size(), got.size()) << "a callback registered twice";
  for (const Reg& r : {Reg{"system.network.submit", kSubmit}, Reg{"system.proxy.webproxysubmit", kSubmit},
                       Reg{"system.network.wired.ipv4nic.mode", kOnChange},
                       Reg{"system.network.wired.ipv4nic.mode", kChangeNotify},
                       Reg{"system.network.wired.ipv4nic.dhcp.state", kChangeNotify},
                       Reg{"system.modularroom.mode", kDynamicValidator}}) {
    EXPECT_NE(std::find(got.begin(), got.end(), r), got.end()) << r.first << " kind " << r.second;
  }
  // Nothing refused: the daemon would have logged the refusal.
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
  // The link-local address is published from the query (ip and busybox
  // run inside the seal, on the kernel's eth0), cleared again by the LAN
  // initialisation in automatic IPv6 mode, and published once more from the
  // kernel's /proc/net/if_inet6 by the LAN module's address scan.
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
