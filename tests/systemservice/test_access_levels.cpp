// Access-level policy: the levels every rule sends for each case of its
// controlling value, in order, and the rules that read or write as well.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "systemservice/syssrvAccessLevels.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using std::string;
using std::vector;

class AccessLevelsTest : public CfgTest {};

vector<string> each(const vector<string>& names, int read, int write) {
  vector<string> out;
  for (const string& n : names) out.push_back(levels(n, read, write));
  return out;
}

vector<string> operator+(vector<string> a, const vector<string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

vector<string> dns(int serverWrite) {
  vector<string> out = {levels("system.network.domainname", 0, A)};
  for (int i = 0; i < 4; ++i) out.push_back(levels("system.network.dnsserver", 0, serverWrite, i));
  return out;
}

const vector<string> kIpv4 = {"system.network.wired.ipv4nic.address", "system.network.wired.ipv4nic.subnetmask",
                              "system.network.wired.ipv4nic.defaultgateway"};
const vector<string> kIpv6 = {"system.network.wired.ipv6nic.linklocal", "system.network.wired.ipv6nic.sitelocal",
                              "system.network.wired.ipv6nic.globaladdress",
                              "system.network.wired.ipv6nic.defaultgateway"};
const vector<string> kSpeed = {"system.network.wired.ethernet.portspeed", "system.network.wired.ethernet.duplexmode"};
const vector<string> kDot1x = {"system.network.wired.dot1x.userid", "system.network.wired.dot1x.password"};
const vector<string> kVlan = {"system.network.wired.vlan.vlanid", "system.network.wired.vlan.audiopriority",
                              "system.network.wired.vlan.videopriority", "system.network.wired.vlan.controlpriority"};
const vector<string> kTelnet = {"security.remoteaccess.telnet.pddebugportidletimeoutenabled",
                                "security.remoteaccess.telnet.apiportidletimeoutenabled",
                                "security.remoteaccess.telnet.apiport", "security.remoteaccess.telnet.pddebugport"};
const vector<string> kRemoteLog = {"system.log.remotelog.serveraddress", "system.log.remotelog.serverprotocol"};
const vector<string> kTimeServer = {levels("time.timeserver.address", U, A), levels("time.timeserver.address", U, A, 1)};

vector<string> serial(const vector<std::pair<int, int>>& lv) {
  const char* names[] = {"baud", "parity", "databits", "stopbits", "flowcontrol", "camera"};
  vector<string> out;
  for (size_t i = 0; i < lv.size(); ++i) out.push_back(levels(string("system.ports.serial.") + names[i], lv[i].first, lv[i].second));
  return out;
}

TEST_F(AccessLevelsTest, EachRuleSendsItsLevelsInOrder) {
  // What the fake holds while `rule` runs, and the levels it must send.
  struct Row { const char* what; vector<std::pair<string, string>> stored; std::function<void()> rule;
               vector<string> expected; };
  const vector<Row> rows = {
      {"ipv4 Client", {}, [] { set_ipv4_access_levels("Client"); }, each(kIpv4, 0, S) + dns(S)},
      {"ipv4 client", {}, [] { set_ipv4_access_levels("client"); }, each(kIpv4, 0, A) + dns(S)},
      {"ipv4 static", {{"system.network.wired.ipv4nic.mode", "Off"}}, [] { set_ipv4_access_levels("Off"); },
       each(kIpv4, 0, A) + dns(A)},
      {"ipv6 disabled", {{"system.network.wired.ipv6nic.mode", "Off"}}, [] { set_ipv6_access_levels(); },
       each(kIpv6, 0, S) + dns(S)},
      {"ipv6 manual", {{"system.network.wired.ipv6nic.enabled", "True"}, {"system.network.wired.ipv6nic.mode", "off"}},
       [] { set_ipv6_access_levels(); }, each(kIpv6, 0, A) + dns(A)},
      {"ipv6 automatic", {{"system.network.wired.ipv6nic.enabled", "True"}}, [] { set_ipv6_access_levels(); },
       each(kIpv6, 0, S) + dns(S)},
      {"autoneg True", {}, [] { set_autoneg_access_levels("True"); }, each(kSpeed, A, S)},
      {"autoneg true", {}, [] { set_autoneg_access_levels("true"); }, each(kSpeed, U, A)},
      {"dot1x False", {}, [] { set_dot1x_access_levels("False"); }, each(kDot1x, S, S)},
      {"vlan False", {}, [] { set_vlan_access_levels("False"); }, each(kVlan, S, S)},
      {"timeserver Manual", {}, [] { set_timeserver_access_levels("Manual"); }, kTimeServer},
      {"timeserver manual", {}, [] { set_timeserver_access_levels("manual"); },
       {levels("time.timeserver.address", S, S), levels("time.timeserver.address", S, S, 1)}},
      {"in call, MANUAL", {{"time.timeserver.mode", "MANUAL"}}, [] { set_in_call_access_levels(true); },
       {levels("time.timeserver.address", U, S), levels("time.timeserver.address", U, S, 1),
        levels("time.timeserver.mode", U, S), levels("time.timezone", U, S)}},
      {"out of call, Auto", {{"time.timeserver.mode", "Auto"}}, [] { set_in_call_access_levels(false); },
       {levels("time.timeserver.mode", U, A), levels("time.timezone", U, A)}},
      {"office 365", {}, [] { set_in_office_365_access_levels(true); },
       each({"system.remote.audioconfirmation", "system.remote.numerickeypadfunction", "system.remote.channelid",
             "system.remote.hangupkeylongpressfunc", "system.remote.starbuttonfunction",
             "system.remote.poundbuttonfunction", "system.remote.usenoncorvaleremote"},
            U, S)},
      {"telnet on", {}, [] { set_telnet_portoptions_access_levels("True", "False"); }, each(kTelnet, U, U)},
      {"no shell", {}, [] { set_telnet_portoptions_access_levels("true", "TRUE"); }, each(kTelnet, U, S)},
      {"remote log True", {}, [] { set_remote_log_access_levels("True"); }, each(kRemoteLog, U, A)},
      {"remote log other", {}, [] { set_remote_log_access_levels("False"); }, each(kRemoteLog, A, S)},
      {"serial CameraControl", {}, [] { set_serial_port_params_access_levels("CameraControl"); },
       serial({{U, S}, {U, S}, {U, S}, {U, S}, {U, S}, {U, U}})},
      {"serial PassThru", {}, [] { set_serial_port_params_access_levels("PassThru"); },
       serial({{U, U}, {U, U}, {U, S}, {U, U}, {U, U}, {S, S}})},
      {"serial Off", {}, [] { set_serial_port_params_access_levels("Off"); },
       serial({{S, S}, {S, S}, {S, S}, {S, S}, {S, S}, {S, S}})},
      {"serial control", {}, [] { set_serial_port_params_access_levels("control"); }, {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    for (const auto& [name, value] : r.stored) peer().set(name, value);
    forget();
    r.rule();
    EXPECT_EQ(sent("levels "), r.expected);
    for (const auto& stored : r.stored) peer().set(stored.first, "");
  }
  EXPECT_TRUE(logged(3, "set_serial_port_params_access_levels did not get a valid RS-232 mode!!!", "message"));
}

TEST_F(AccessLevelsTest, ModularRoomRuleSendsFortyFourRequests) {
  struct Case { const char* mode; int connection, security, shells, polling[2]; };
  for (const Case& c : {Case{"Secondary", A, S, S, {S, S}}, Case{"Disabled", S, A, U, {U, A}},
                        Case{"Primary", A, A, U, {U, A}}}) {
    SCOPED_TRACE(c.mode);
    forget();
    set_modularroom_mode_config_access_levels(c.mode);
    vector<string> t = sent();
    ASSERT_EQ(t.size(), 44u);
    EXPECT_EQ(t[1], levels("system.modularroom.secondary.connection.allownonSSL", c.connection, c.connection));
    EXPECT_EQ(t[2], levels("management.snmp.enabled", c.security, c.security));
    EXPECT_EQ(t[12], levels("security.authentication.accounts.useraccount.passwordpolicy.minlength", A, c.security));
    EXPECT_EQ(t[41], levels("softupdate.pollingenabled", c.polling[0], c.polling[1]));
    EXPECT_EQ(t[43], levels("security.remoteaccess.ssh.enabled", c.shells, c.shells));
  }
}

TEST_F(AccessLevelsTest, LogSpaceChainPassesStoredValuesOn) {
  peer().set("system.log.maxfilesize", "10");
  peer().set("system.log.maxfiles", "5");
  peer().set("system.log.spacemonitoring.threshold", "Off");
  set_logspace_configured();
  EXPECT_EQ(sent(), (vector<string>{"read system.log.maxfilesize", "read system.log.maxfiles",
                                    "write system.log.spacemonitoring.max=55 as 30",
                                    "read system.log.spacemonitoring.threshold",
                                    "write system.log.spacemonitoring.autotransfer.transferfrequency=Manual as 30",
                                    "write system.log.spacemonitoring.enable=False as 30",
                                    levels("system.log.spacemonitoring.autotransfer.transferfrequency", A, S)}));

  // Monitor -> transfer -> folder; a failed read takes the other-value case.
  peer().set("system.log.spacemonitoring.autotransfer.transferfrequency", "AutoAtThreshold");
  peer().breakReads("system.log.spacemonitoring.autotransfer.foldernameoption");
  forget();
  set_logspace_monitor_access_levels("True");
  EXPECT_EQ(sent(), (vector<string>{levels("system.log.spacemonitoring.threshold", U, A),
                                    "read system.log.spacemonitoring.autotransfer.transferfrequency",
                                    levels("system.log.spacemonitoring.autotransfer.foldernameoption", U, A),
                                    "read system.log.spacemonitoring.autotransfer.foldernameoption",
                                    levels("system.log.spacemonitoring.autotransfer.foldername", A, A)}));
}

}  // namespace
