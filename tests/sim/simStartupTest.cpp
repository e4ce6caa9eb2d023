// Start-up of the real daemon against the real configuration service: the
// callback registrations as configsrvc recorded them, and the unit's
// identity published from the environment.
#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <string>
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
// made twice, and two the other tests here do not reach. Then the identity
// as the start-up environment gives it, through the real service; the
// derivation of each value is the identity module's test.
TEST_F(SimTest, StartUpRegistersEachCallbackOnceWithItsKindAndPublishesTheIdentity) {
  bringUp();
  std::vector<Reg> got = recordedRegistrations(app->configLog());
  std::map<int, int> perKind;
  for (const Reg& r : got) ++perKind[r.second];
  EXPECT_EQ(perKind, (std::map<int, int>{{kDynamicValidator, 3}, {kOnChange, 28}, {kChangeNotify, 87}, {kSubmit, 2}}));
  EXPECT_EQ(std::set<Reg>(got.begin(), got.end()).size(), got.size()) << "a callback registered twice";
  for (const Reg& r : {Reg{"system.proxy.webproxysubmit", kSubmit},
                       Reg{"system.network.wired.ipv4nic.dhcp.state", kChangeNotify}}) {
    EXPECT_NE(std::find(got.begin(), got.end(), r), got.end()) << r.first << " kind " << r.second;
  }
  const std::pair<const char*, const char*> expected[] = {
      {"system.info.model", "CEDAR"}, {"system.info.humanreadablemodel", "TrueSummit Ensemble 150"},
      {"system.info.serialnumber", "8G21874A0F21CD"},
      {"system.info.crvlstandardversion", "release - 4.2.1.0318-412017"},
      // Out of box with default passwords: the serial number becomes the
      // administrator's password.
      {"security.authentication.accounts.adminaccount.localpassword", "8G21874A0F21CD"},
  };
  for (const auto& e : expected) EXPECT_EQ(app->configGet(e.first), e.second) << e.first;
}

// Lower case selects the model's row; encryption off forces the call
// setting to an option the real seed must accept; a missing serial number
// is logged and the rest still published.
TEST_F(SimTest, MissingSerialNumberIsLoggedAndTheRestStillPublished) {
  bringUp("birch", {{"PROJECTPHASE", "beta"}, {"ENCRYPTION_ENABLE", "false"}}, {"CORVALE_SERIALNUM"});
  EXPECT_GE(simFind(app->daemonLog(), "<3>syssrv: hd[0]: CORVALE_SERIALNUM not set in environment."), 0);
  EXPECT_EQ(app->configGet("system.info.serialnumber"), "");
  EXPECT_EQ(app->configGet("system.info.model"), "birch");
  EXPECT_EQ(app->configGet("system.info.humanreadableversion"), "beta - 4.2.1.0318-412017");
  EXPECT_EQ(app->configGet("comm.Callsetting.callFeatures.encryptionenable"), "Off");
  EXPECT_EQ(app->configGet("system.info.builddate"), "2024-03-18 14:22:05");
}
