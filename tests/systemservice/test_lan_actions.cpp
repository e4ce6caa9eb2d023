// Restarts and the other runs of the network script: restart_LAN with its
// discovery status, proxy-discovery stop and notification; the IPv6-only
// restart, type of service, boot and shutdown.
#include <string>
#include <vector>

#include "tests/systemservice/call_trace.h"
#include "systemservice/syssrvLan.h"
#include "tests/systemservice/test_lan_fixture.h"

namespace {

using std::string;
using std::vector;
using Strings = vector<string>;

using LanActionTest = LanTest;

TEST_F(LanActionTest, PlainScriptRunsTouchNothingElse) {
  restart_IPv6Only();
  set_tos();
  stop_LAN();
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --restartv6only", "/system/bin/startnetwork --settos",
                                       "/system/bin/startnetwork --shutdown"}));
  EXPECT_TRUE(requests().empty());
  EXPECT_TRUE(notifications().empty());
  EXPECT_TRUE(syssrvCallTrace().empty());
}

TEST_F(LanActionTest, ScriptFailuresAreIgnored) {
  rec().on_prefix("/system/bin/startnetwork").exit_code(1);
  restart_IPv6Only();
  rec().on_prefix("/system/bin/startnetwork").fail();
  set_tos();
  EXPECT_EQ(rec().commands().size(), 2u);
}

TEST_F(LanActionTest, RestartWithTheLinkUpStopsProxyDiscoveryRunsTheScriptAndTellsTheState) {
  for (const char* proxy : {"true", "TRUE", "True"}) {
    SCOPED_TRACE(proxy);
    syssrvLan_testing_reset();
    peer().set(kProxyVar, proxy);
    primeCarrier("1\n");
    restart_LAN();
    EXPECT_TRUE(logged(7, "restart_LAN ENTER - LAN state = 1"));
    EXPECT_EQ(requests(), (Strings{write(kDiscoveryVar, "INCOMPLETE"), read(kProxyVar)}));
    EXPECT_EQ(syssrvCallTrace(), (Strings{"StopWpad()"}));
    // Only the restart: the link itself did not change.
    EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --restart"}));
    EXPECT_EQ(notifications(), (vector<bool>{true}));
    EXPECT_TRUE(logged(7, "restart_LAN - send notification LAN state = 1"));
    EXPECT_FALSE(logged(7, "lan_state_change_notify 1"));
  }
}

TEST_F(LanActionTest, RestartLeavesProxyDiscoveryAloneUnlessExactlyTrue) {
  for (const char* proxy : {"false", "", "true ", "yes", "1"}) {
    SCOPED_TRACE(proxy);
    syssrvLan_testing_reset();
    peer().set(kProxyVar, proxy);
    primeCarrier("1\n");
    restart_LAN();
    EXPECT_TRUE(syssrvCallTrace().empty());
    EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --restart"}));
    EXPECT_EQ(notifications(), (vector<bool>{true}));
  }
}

TEST_F(LanActionTest, RestartWithTheLinkDownFailsDiscoveryAndTellsDown) {
  peer().set(kModeVar, "Off");
  peer().set(kProxyVar, "false");
  primeCarrier("0\n");
  restart_LAN();
  EXPECT_TRUE(logged(7, "restart_LAN ENTER - LAN state = 0"));
  EXPECT_EQ(requests(), (Strings{write(kDiscoveryVar, "FAILED"), read(kProxyVar)}));
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --restart"}));
  EXPECT_EQ(notifications(), (vector<bool>{false}));
  EXPECT_TRUE(logged(7, "restart_LAN - send notification LAN state = 0"));
}

TEST_F(LanActionTest, RestartBeforeAnyReadingCountsTheLinkAsDown) {
  carrier("1\n");
  restart_LAN();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kDiscoveryVar, "FAILED"), read(kProxyVar)}));
  EXPECT_EQ(notifications(), (vector<bool>{false}));
}

TEST_F(LanActionTest, RestartThatFindsTheLinkChangedRunsTheLinkActionFirst) {
  peer().set(kModeVar, "Off");
  peer().set(kDiscoveryVar, "SUCCESS");
  primeCarrier("1\n");
  carrier("0\n");
  restart_LAN();
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --linkdown", "/system/bin/startnetwork --restart"}));
  EXPECT_EQ(notifications(), (vector<bool>{false, false}));
}

TEST_F(LanActionTest, StartPollsTheCarrierAndSetsTheDiscoveryStatus) {
  primeCarrier("1\n");
  start_LAN();
  EXPECT_EQ(requests(), (Strings{write(kDiscoveryVar, "INCOMPLETE")}));
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --boot"}));
  EXPECT_TRUE(notifications().empty());

  syssrvLan_testing_reset();
  peer().set(kModeVar, "Off");
  primeCarrier("0\n");
  start_LAN();
  EXPECT_EQ(requests(), (Strings{write(kDiscoveryVar, "FAILED")}));
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --boot"}));
}

TEST_F(LanActionTest, LinkActionsCalledDirectly) {
  start_LAN_on_linkup();
  EXPECT_EQ(requests(), (Strings{write(kDiscoveryVar, "INCOMPLETE")}));
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --linkup"}));
  forget();
  stop_LAN_on_linkdown();
  EXPECT_EQ(requests(), (Strings{read(kDiscoveryVar), write(kDiscoveryVar, "FAILED")}));
  EXPECT_EQ(syssrvCallTrace(), (Strings{"StopWpad()"}));
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --linkdown"}));
  forget();
  // An unreadable status is not "INCOMPLETE": left alone.
  peer().breakReads(kDiscoveryVar);
  stop_LAN_on_linkdown();
  EXPECT_EQ(requests(), (Strings{read(kDiscoveryVar)}));
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --linkdown"}));
}

TEST_F(LanActionTest, NotificationThenTheLinkAction) {
  lan_state_change_notify(1);
  EXPECT_EQ(notifications(), (vector<bool>{true}));
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --linkup"}));
  forget();
  lan_state_change_notify(0);
  EXPECT_EQ(notifications(), (vector<bool>{false}));
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --linkdown"}));
  // Any non-zero state counts as up.
  forget();
  lan_state_change_notify(7);
  EXPECT_EQ(notifications(), (vector<bool>{true}));
  EXPECT_TRUE(logged(7, "lan_state_change_notify 7"));
}

}  // namespace
