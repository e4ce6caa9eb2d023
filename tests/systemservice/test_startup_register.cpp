// The configuration callbacks registered at start: what the configuration
// service receives is the daemon's own list in order; the list registers
// every name once per kind and every name a callback rule acts on with the
// rule's kind; a few anchor rows; the four handlers at their places.
#include <map>
#include <set>

#include "systemservice/syssrvCallbacks.h"
#include "systemservice/syssrvConfigNotify.h"
#include "systemservice/syssrvStartup.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using std::string;
using std::vector;

class StartupRegisterTest : public CfgTest {};

TEST_F(StartupRegisterTest, ServiceReceivesTheListInOrderAndTheLogSpaceRuleRunsAfterTheChangeHandler) {
  syssrvRegisterConfigCallbacks();
  vector<string> expected;
  for (const syssrvRegistration& r : syssrvConfigRegistrations()) {
    if (r.name != nullptr) expected.push_back("register " + string(r.name) + " kind " + std::to_string(r.kind));
    if (r.handler == kMsgIdConfigIFConfigChangedNtfy) expected.push_back("read system.log.maxfilesize");
  }
  vector<string> got;
  for (const string& l : sent()) if (l.rfind("register ", 0) == 0 || l == "read system.log.maxfilesize") got.push_back(l);
  EXPECT_EQ(got, expected);
  EXPECT_TRUE(logged(7, "(syssrvMessageInit) MSG_RegisterCallback for config_dynamic_validate returned 0", "message"));
}

TEST_F(StartupRegisterTest, AnchorRowsAndHandlerPlaces) {
  vector<syssrvRegistration> list = syssrvConfigRegistrations();
  ASSERT_EQ(list.size(), 118u + 4u);
  vector<string> rows;
  for (size_t i : {0u, 29u, 47u, 50u, 51u, 85u, 88u, 120u, 121u}) {
    rows.push_back(list[i].name ? string(list[i].name) + "/" + std::to_string(list[i].kind) : "handler " + std::to_string(list[i].handler));
  }
  auto handler = [](MSG_Type type) { return "handler " + std::to_string(type); };
  EXPECT_EQ(rows, (vector<string>{"time.timeserver.mode/3", handler(kMsgIdConfigIFConfigChangedNtfy),
                                  "system.proxy.webproxysubmit/6", "system.network.submit/6", handler(kMsgIdConfigIFSubmitNtfy),
                                  "system.modularroom.mode/1", handler(kMsgIdConfigIFDynamicValidateReq),
                                  "system.modularroom.mode/2", handler(kMsgIdConfigIFOnChangeReq)}));
}

TEST_F(StartupRegisterTest, EveryNameOncePerKindAndEveryRuleRegisteredWithItsKind) {
  std::map<int, std::multiset<string>> byKind;
  for (const syssrvRegistration& r : syssrvConfigRegistrations()) if (r.name) byKind[r.kind].insert(r.name);
  for (const auto& [kind, names] : byKind)
    for (const string& n : names) EXPECT_EQ(names.count(n), 1u) << n << " kind " << kind;
  // A validate or on-change rule for a name not registered with its kind
  // never runs; a name registered without a rule only logs "unknown var".
  vector<string> validated = syssrvValidatedNames();
  vector<string> onChange = syssrvOnChangeNames();
  EXPECT_EQ(std::set<string>(validated.begin(), validated.end()), std::set<string>(byKind[1].begin(), byKind[1].end()));
  EXPECT_EQ(std::set<string>(onChange.begin(), onChange.end()), std::set<string>(byKind[2].begin(), byKind[2].end()));
  EXPECT_EQ(byKind[6], (std::multiset<string>{"system.proxy.webproxysubmit", "system.network.submit"}));
  // A name the change dispatcher routes but nobody registered never arrives.
  // The two DHCP states are registered by a later start-up step; the PAC
  // status and the MAC address are routed but registered by no one.
  const std::set<string> elsewhere = {"system.network.wired.ipv4nic.dhcp.state",
                                      "system.network.wired.ipv6nic.dhcp.state", "system.proxy.pacfile.status",
                                      "system.network.wired.ethernet.macaddress"};
  for (const string& routed : syssrvConfigNotifyRoutedNames()) {
    EXPECT_EQ(byKind[3].count(routed), elsewhere.count(routed) != 0 ? 0u : 1u) << routed;
  }
}

TEST_F(StartupRegisterTest, RefusedVariableDoesNotStopTheOthers) {
  peer().answerError(kMsgIdConfigIFRegisterClientCallbackReq, -7, "time.timeformat");
  syssrvRegisterConfigCallbacks();
  EXPECT_EQ(sent("register ").size(), 118u);
}

}  // namespace
