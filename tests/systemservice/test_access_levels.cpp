// Access-level policy: every rule's exact SetAccessLevelsReq sequence
// (variable, instance, levels present only when non-zero, role kSystem, as
// the fake "ConfigSrvc" received them), and the reads and writes of the
// rules that have them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "systemservice/syssrvAccessLevels.h"
#include "tests/systemservice/call_trace.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using std::string;
using std::vector;

constexpr int U = 10;  // kUser
constexpr int A = 20;  // kAdmin
constexpr int S = 30;  // kSystem

struct Row {
  string name;
  int instance;
  int read;
  int write;
};

vector<string> lines(const vector<Row>& rows) {
  vector<string> out;
  for (const Row& r : rows) out.push_back(accessLine(r.name, r.instance, r.read, r.write));
  return out;
}

vector<Row> same(const vector<string>& names, int read, int write) {
  vector<Row> out;
  for (const string& n : names) out.push_back({n, 0, read, write});
  return out;
}

vector<Row> operator+(vector<Row> a, const vector<Row>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class AccessLevelsTest : public CallbacksTest {
 protected:
  vector<string> sent() { return accessLines(peer().requests()); }
  vector<string> all() { return transcript(peer().requests()); }
};

// ---- network ----

vector<Row> dnsRows(int serverWrite) {
  return vector<Row>{{"system.network.domainname", 0, 0, A},
                     {"system.network.dnsserver", 0, 0, serverWrite},
                     {"system.network.dnsserver", 1, 0, serverWrite},
                     {"system.network.dnsserver", 2, 0, serverWrite},
                     {"system.network.dnsserver", 3, 0, serverWrite}};
}

const vector<string> kIpv4Vars = {"system.network.wired.ipv4nic.address", "system.network.wired.ipv4nic.subnetmask",
                                  "system.network.wired.ipv4nic.defaultgateway"};

TEST_F(AccessLevelsTest, Ipv4ClientLocksStaticAddressThenAppliesDnsRule) {
  set_ipv4_access_levels("Client");
  // The address-mode questions (not built yet) answer "not manual", so the
  // DNS servers are locked.
  EXPECT_EQ(sent(), lines(same(kIpv4Vars, 0, S) + dnsRows(S)));
  EXPECT_EQ(syssrvCallTrace(), (vector<string>{"isIPv4Manual()", "isIPv6Enabled()", "isIPv6Manual()"}));
}

TEST_F(AccessLevelsTest, Ipv4OtherModesGiveStaticAddressToAdministrators) {
  for (const char* mode : {"Off", "client", "DHCP", ""}) {
    peer().clearRequests();
    set_ipv4_access_levels(mode);
    EXPECT_EQ(sent(), lines(same(kIpv4Vars, 0, A) + dnsRows(S))) << mode;
  }
}

TEST_F(AccessLevelsTest, Ipv6LocksAddressesUnlessEnabledAndManual) {
  // The placeholders report IPv6 disabled: locked.
  set_ipv6_access_levels();
  EXPECT_EQ(sent(), lines(same({"system.network.wired.ipv6nic.linklocal", "system.network.wired.ipv6nic.sitelocal",
                                "system.network.wired.ipv6nic.globaladdress",
                                "system.network.wired.ipv6nic.defaultgateway"},
                               0, S) +
                          dnsRows(S)));
}

TEST_F(AccessLevelsTest, DnsServersWritableOnlyWhileSomeAddressingIsManual) {
  struct Case {
    bool v4, v6on, v6manual;
    int serverWrite;
  };
  const Case cases[] = {
      {false, false, false, S}, {true, false, false, A}, {false, true, false, S}, {false, false, true, S},
      {false, true, true, A},   {true, true, true, A},   {true, true, false, A},  {true, false, true, A},
  };
  for (const Case& c : cases) {
    peer().clearRequests();
    set_dns_access_levels(c.v4, c.v6on, c.v6manual);
    EXPECT_EQ(sent(), lines(dnsRows(c.serverWrite))) << c.v4 << c.v6on << c.v6manual;
  }
}

TEST_F(AccessLevelsTest, AutonegTrueHidesSpeedAndDuplexSettingsOtherwiseOpen) {
  const vector<string> vars = {"system.network.wired.ethernet.portspeed", "system.network.wired.ethernet.duplexmode"};
  set_autoneg_access_levels("True");
  EXPECT_EQ(sent(), lines(same(vars, A, S)));
  // Lower case is another value.
  peer().clearRequests();
  set_autoneg_access_levels("true");
  EXPECT_EQ(sent(), lines(same(vars, U, A)));
  peer().clearRequests();
  set_autoneg_access_levels("False");
  EXPECT_EQ(sent(), lines(same(vars, U, A)));
}

TEST_F(AccessLevelsTest, Dot1xFalseHidesCredentials) {
  const vector<string> vars = {"system.network.wired.dot1x.userid", "system.network.wired.dot1x.password"};
  set_dot1x_access_levels("False");
  EXPECT_EQ(sent(), lines(same(vars, S, S)));
  peer().clearRequests();
  set_dot1x_access_levels("false");
  EXPECT_EQ(sent(), lines(same(vars, U, A)));
  peer().clearRequests();
  set_dot1x_access_levels("True");
  EXPECT_EQ(sent(), lines(same(vars, U, A)));
}

TEST_F(AccessLevelsTest, VlanFalseHidesIdAndPriorities) {
  const vector<string> vars = {"system.network.wired.vlan.vlanid", "system.network.wired.vlan.audiopriority",
                               "system.network.wired.vlan.videopriority", "system.network.wired.vlan.controlpriority"};
  set_vlan_access_levels("False");
  EXPECT_EQ(sent(), lines(same(vars, S, S)));
  peer().clearRequests();
  set_vlan_access_levels("True");
  EXPECT_EQ(sent(), lines(same(vars, U, A)));
}

// ---- time, call, office 365 ----

TEST_F(AccessLevelsTest, TimeServerAddressesOpenOnlyInManualMode) {
  set_timeserver_access_levels("Manual");
  EXPECT_EQ(sent(), lines({{"time.timeserver.address", 0, U, A}, {"time.timeserver.address", 1, U, A}}));
  for (const char* mode : {"Auto", "manual", "Off"}) {
    peer().clearRequests();
    set_timeserver_access_levels(mode);
    EXPECT_EQ(sent(), lines({{"time.timeserver.address", 0, S, S}, {"time.timeserver.address", 1, S, S}})) << mode;
  }
}

TEST_F(AccessLevelsTest, InCallLocksTimeSettingsAndManualAddressesIgnoringCase) {
  peer().set("time.timeserver.mode", "MANUAL");
  set_in_call_access_levels(true);
  EXPECT_EQ(all(), (vector<string>{"read time.timeserver.mode#0", accessLine("time.timeserver.address", 0, U, S),
                                   accessLine("time.timeserver.address", 1, U, S),
                                   accessLine("time.timeserver.mode", 0, U, S),
                                   accessLine("time.timezone", 0, U, S)}));
  peer().clearRequests();
  set_in_call_access_levels(false);
  EXPECT_EQ(sent(), lines({{"time.timeserver.address", 0, U, A},
                           {"time.timeserver.address", 1, U, A},
                           {"time.timeserver.mode", 0, U, A},
                           {"time.timezone", 0, U, A}}));
}

TEST_F(AccessLevelsTest, InCallLeavesAutomaticTimeServerAddressesAlone) {
  peer().set("time.timeserver.mode", "Auto");
  set_in_call_access_levels(true);
  EXPECT_EQ(sent(), lines({{"time.timeserver.mode", 0, U, S}, {"time.timezone", 0, U, S}}));
  // An unreadable mode counts as not manual.
  peer().breakReads("time.timeserver.mode");
  peer().clearRequests();
  set_in_call_access_levels(false);
  EXPECT_EQ(sent(), lines({{"time.timeserver.mode", 0, U, A}, {"time.timezone", 0, U, A}}));
}

TEST_F(AccessLevelsTest, Office365LocksRemoteControlSettingsWhileEnabled) {
  const vector<string> vars = {"system.remote.audioconfirmation",     "system.remote.numerickeypadfunction",
                               "system.remote.channelid",             "system.remote.hangupkeylongpressfunc",
                               "system.remote.starbuttonfunction",    "system.remote.poundbuttonfunction",
                               "system.remote.usenoncorvaleremote"};
  set_in_office_365_access_levels(true);
  EXPECT_EQ(sent(), lines(same(vars, U, S)));
  peer().clearRequests();
  set_in_office_365_access_levels(false);
  EXPECT_EQ(sent(), lines(same(vars, U, A)));
}

// ---- remote access ----

TEST_F(AccessLevelsTest, TelnetPortOptionsOpenWhileEitherShellIsOn) {
  const vector<string> vars = {"security.remoteaccess.telnet.pddebugportidletimeoutenabled",
                               "security.remoteaccess.telnet.apiportidletimeoutenabled",
                               "security.remoteaccess.telnet.apiport", "security.remoteaccess.telnet.pddebugport"};
  struct Case {
    const char* telnet;
    const char* ssh;
    int write;
  };
  const Case cases[] = {{"True", "False", U}, {"False", "True", U}, {"True", "True", U},
                        {"False", "False", S}, {"true", "TRUE", S}, {"", "", S}};
  for (const Case& c : cases) {
    peer().clearRequests();
    set_telnet_portoptions_access_levels(c.telnet, c.ssh);
    EXPECT_EQ(sent(), lines(same(vars, U, c.write))) << c.telnet << "/" << c.ssh;
  }
}

TEST_F(AccessLevelsTest, RemoteLogServerSettingsFollowTheSwitch) {
  const vector<string> vars = {"system.log.remotelog.serveraddress", "system.log.remotelog.serverprotocol"};
  set_remote_log_access_levels("True");
  EXPECT_EQ(sent(), lines(same(vars, U, A)));
  peer().clearRequests();
  set_remote_log_access_levels("False");
  EXPECT_EQ(sent(), lines(same(vars, A, S)));
}

// ---- modular room: 44 requests in order ----

vector<Row> modularRoomRows(int connection, int level, const vector<Row>& tail) {
  vector<Row> rows = same({"system.modularroom.secondary.connection.allowexpiredcertificates",
                           "system.modularroom.secondary.connection.allownonSSL"},
                          connection, connection);
  rows = rows + same({"management.snmp.enabled", "comm.Callsetting.debug.sipdebug", "comm.Callsetting.debug.h323debug",
                      "security.authentication.lockout.accountlockout.user.lockoutattempts",
                      "security.authentication.lockout.accountlockout.user.lockouttime",
                      "security.authentication.lockout.accountlockout.user.failedloginwindow",
                      "security.accesscontrol.userloginrequired", "security.authentication.accounts.useraccount.id",
                      "security.authentication.accounts.useraccount.remotepassword",
                      "security.authentication.accounts.useraccount.localpassword"},
                     level, level);
  const string user = "security.authentication.accounts.useraccount.passwordpolicy.";
  for (const char* s : {"minlength", "lowercasecount", "uppercasecount", "numbercount", "specialcharcount",
                        "rejectprevpasswordvalue", "minimumage", "maximumage", "minimumtobechangedchars",
                        "maximumrepeatedcharsallowed", "expirationwarning", "cancontainidorreverse"}) {
    rows.push_back({user + s, 0, A, level});
  }
  const string meeting = "security.authentication.accounts.meeting.passwordpolicy.";
  for (const char* s : {"minlength", "lowercasecount", "uppercasecount", "numbercount", "specialcharcount",
                        "rejectprevpasswordvalue", "minimumage", "maximumrepeatedcharsallowed"}) {
    rows.push_back({meeting + s, 0, A, level});
  }
  const string snmp = "security.authentication.accounts.snmppassword.passwordpolicy.";
  for (const char* s : {"minlength", "lowercasecount", "uppercasecount", "numbercount", "specialcharcount",
                        "rejectprevpasswordvalue", "minimumage", "maximumrepeatedcharsallowed",
                        "cancontainidorreverse"}) {
    rows.push_back({snmp + s, 0, A, level});
  }
  return rows + tail;
}

TEST_F(AccessLevelsTest, ModularRoomSecondarySendsItsFortyFourRequestsInOrder) {
  set_modularroom_mode_config_access_levels("Secondary");
  vector<string> expected = lines(modularRoomRows(
      A, S,
      same({"softupdate.pollingenabled", "security.remoteaccess.telnet.enabled", "security.remoteaccess.ssh.enabled"},
           S, S)));
  ASSERT_EQ(expected.size(), 44u);
  EXPECT_EQ(all(), expected);
}

TEST_F(AccessLevelsTest, ModularRoomDisabledLocksSecondaryConnectionAndOpensTheRest) {
  set_modularroom_mode_config_access_levels("Disabled");
  vector<string> expected =
      lines(modularRoomRows(S, A,
                            {{"softupdate.pollingenabled", 0, U, A},
                             {"security.remoteaccess.telnet.enabled", 0, U, U},
                             {"security.remoteaccess.ssh.enabled", 0, U, U}}));
  ASSERT_EQ(expected.size(), 44u);
  EXPECT_EQ(all(), expected);
}

TEST_F(AccessLevelsTest, ModularRoomOtherModeGivesAdministratorLevelsAndOpensShells) {
  for (const char* mode : {"Primary", "secondary", "disabled"}) {
    peer().clearRequests();
    set_modularroom_mode_config_access_levels(mode);
    EXPECT_EQ(all(), lines(modularRoomRows(A, A,
                                           {{"softupdate.pollingenabled", 0, U, A},
                                            {"security.remoteaccess.telnet.enabled", 0, U, U},
                                            {"security.remoteaccess.ssh.enabled", 0, U, U}})))
        << mode;
  }
}

// ---- serial port ----

const vector<string> kSerialVars = {"system.ports.serial.baud",     "system.ports.serial.parity",
                                    "system.ports.serial.databits", "system.ports.serial.stopbits",
                                    "system.ports.serial.flowcontrol", "system.ports.serial.camera"};

vector<Row> serialRows(const vector<std::pair<int, int>>& levels) {
  vector<Row> rows;
  for (size_t i = 0; i < kSerialVars.size(); ++i) rows.push_back({kSerialVars[i], 0, levels[i].first, levels[i].second});
  return rows;
}

TEST_F(AccessLevelsTest, SerialPortLevelsPerMode) {
  struct Case {
    const char* mode;
    vector<std::pair<int, int>> levels;
  };
  const Case cases[] = {
      {"Control", {{U, U}, {U, S}, {U, S}, {U, S}, {U, S}, {S, S}}},
      {"ClosedCaption", {{U, U}, {U, S}, {U, S}, {U, S}, {U, S}, {S, S}}},
      {"CameraControl", {{U, S}, {U, S}, {U, S}, {U, S}, {U, S}, {U, U}}},
      {"PassThru", {{U, U}, {U, U}, {U, S}, {U, U}, {U, U}, {S, S}}},
      {"Off", {{S, S}, {S, S}, {S, S}, {S, S}, {S, S}, {S, S}}},
  };
  for (const Case& c : cases) {
    peer().clearRequests();
    set_serial_port_params_access_levels(c.mode);
    EXPECT_EQ(all(), lines(serialRows(c.levels))) << c.mode;
  }
  EXPECT_TRUE(logLines("message").empty());
}

TEST_F(AccessLevelsTest, SerialPortUnknownModeSendsNothingAndLogs) {
  for (const char* mode : {"control", "", "Off\n"}) {
    set_serial_port_params_access_levels(mode);
  }
  EXPECT_TRUE(peer().requests().empty());
  const string expected =
      line(3, "message", "set_serial_port_params_access_levels did not get a valid RS-232 mode!!!");
  EXPECT_EQ(logLines("message"), (vector<string>{expected, expected, expected}));
}

// ---- log space chain ----

TEST_F(AccessLevelsTest, LogSpaceConfiguredWritesTenPercentMoreThanTheLogsHold) {
  peer().set("system.log.maxfilesize", "10");
  peer().set("system.log.maxfiles", "5");
  peer().set("system.log.spacemonitoring.threshold", "80");
  set_logspace_configured();
  EXPECT_EQ(all(), (vector<string>{"read system.log.maxfilesize#0", "read system.log.maxfiles#0",
                                   "write system.log.spacemonitoring.max#0=55 role=30",
                                   "read system.log.spacemonitoring.threshold#0",
                                   "write system.log.spacemonitoring.enable#0=True role=30",
                                   accessLine("system.log.spacemonitoring.autotransfer.transferfrequency", 0, U, A)}));

  peer().set("system.log.maxfilesize", "3");
  peer().set("system.log.maxfiles", "3");
  peer().set("system.log.spacemonitoring.threshold", "Off");
  peer().clearRequests();
  set_logspace_configured();
  EXPECT_EQ(all(),
            (vector<string>{"read system.log.maxfilesize#0", "read system.log.maxfiles#0",
                            "write system.log.spacemonitoring.max#0=9 role=30",
                            "read system.log.spacemonitoring.threshold#0",
                            "write system.log.spacemonitoring.autotransfer.transferfrequency#0=Manual role=30",
                            "write system.log.spacemonitoring.enable#0=False role=30",
                            accessLine("system.log.spacemonitoring.autotransfer.transferfrequency", 0, A, S)}));
}

TEST_F(AccessLevelsTest, LogSpaceConfiguredWithUnreadableLimitsWritesZero) {
  peer().breakReads("system.log.maxfilesize");
  peer().set("system.log.maxfiles", "abc");
  set_logspace_configured();
  vector<string> t = all();
  ASSERT_GE(t.size(), 3u);
  EXPECT_EQ(t[2], "write system.log.spacemonitoring.max#0=0 role=30");
}

TEST_F(AccessLevelsTest, LogSpaceFrequencyRuleLogsAFailedLevelRequest) {
  peer().noAnswer(kMsgIdConfigIFSetAccessLevelsReq, "system.log.spacemonitoring.autotransfer.transferfrequency");
  set_logspace_transfer_frequency_access_levels("Off");
  EXPECT_EQ(logLines("message"),
            (vector<string>{line(3, "message",
                                 "set_logspace_transfer_frequency_access_levels: setting the levels of "
                                 "system.log.spacemonitoring.autotransfer.transferfrequency failed, err=-1")}));
}

TEST_F(AccessLevelsTest, LogSpaceMonitorRuleRunsTheChainWithStoredValues) {
  peer().set("system.log.spacemonitoring.autotransfer.transferfrequency", "AutoAtThreshold");
  peer().set("system.log.spacemonitoring.autotransfer.foldernameoption", "Custom");
  set_logspace_monitor_access_levels("True");
  EXPECT_EQ(all(), (vector<string>{accessLine("system.log.spacemonitoring.threshold", 0, U, A),
                                   "read system.log.spacemonitoring.autotransfer.transferfrequency#0",
                                   accessLine("system.log.spacemonitoring.autotransfer.foldernameoption", 0, U, A),
                                   "read system.log.spacemonitoring.autotransfer.foldernameoption#0",
                                   accessLine("system.log.spacemonitoring.autotransfer.foldername", 0, U, U)}));
}

TEST_F(AccessLevelsTest, LogSpaceChainTakesOtherValueCasesForFailedReads) {
  peer().breakReads("system.log.spacemonitoring.autotransfer.transferfrequency");
  peer().set("system.log.spacemonitoring.autotransfer.foldernameoption", "custom");
  set_logspace_monitor_access_levels("true");
  EXPECT_EQ(all(), (vector<string>{accessLine("system.log.spacemonitoring.threshold", 0, A, A),
                                   "read system.log.spacemonitoring.autotransfer.transferfrequency#0",
                                   accessLine("system.log.spacemonitoring.autotransfer.foldernameoption", 0, A, A),
                                   "read system.log.spacemonitoring.autotransfer.foldernameoption#0",
                                   accessLine("system.log.spacemonitoring.autotransfer.foldername", 0, A, A)}));
}

TEST_F(AccessLevelsTest, LogSpaceTransferAndFolderRulesAlone) {
  peer().set("system.log.spacemonitoring.autotransfer.foldernameoption", "Date");
  set_logspace_transfer_access_levels("AutoAtThreshold");
  EXPECT_EQ(all(), (vector<string>{accessLine("system.log.spacemonitoring.autotransfer.foldernameoption", 0, U, A),
                                   "read system.log.spacemonitoring.autotransfer.foldernameoption#0",
                                   accessLine("system.log.spacemonitoring.autotransfer.foldername", 0, A, A)}));
  peer().clearRequests();
  set_logspace_transfer_folder_access_levels("Custom");
  EXPECT_EQ(all(), (vector<string>{accessLine("system.log.spacemonitoring.autotransfer.foldername", 0, U, U)}));
}

// The wire form itself, not only its reading: an absent level is absent,
// not 0, and nothing else travels.
TEST_F(AccessLevelsTest, RequestsCarryExactlyTheFieldsOfTheRule) {
  set_dns_access_levels(true, false, false);
  vector<CfgRequest> reqs = peer().requests();
  ASSERT_EQ(reqs.size(), 5u);
  ConfigIF::SetAccessLevelsReq expected;
  expected.set_name("SystemSrvc");
  expected.set_role(CommonIF::kSystem);
  ConfigIF::Node* node = expected.add_instance()->add_node();
  node->set_name("system.network.domainname");
  node->set_instance(0);
  expected.set_write_level(CommonIF::kAdmin);
  EXPECT_EQ(reqs[0].payload, expected.SerializeAsString());
  node->set_name("system.network.dnsserver");
  node->set_instance(3);
  EXPECT_EQ(reqs[4].payload, expected.SerializeAsString());
}

}  // namespace
