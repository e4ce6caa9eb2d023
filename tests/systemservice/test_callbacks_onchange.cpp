// On-change: every row of the rule table (its access-level requests, reads,
// writes and calls, in order), the instance conditions, unknown names, the
// password mask, the remote-access step and the proxy follow-up. Every
// answer is checked by onChange(): error 0, no reboot, context echoed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/systemservice/call_trace.h"
#include "systemservice/syssrvCallbacks.h"
#include "systemservice/syssrvLocale.h"
#include "systemservice/syssrvMessage.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using std::string;
using std::vector;

constexpr int U = 10;
constexpr int A = 20;
constexpr int S = 30;

class OnChangeTest : public CallbacksTest {
 protected:
  vector<string> all() { return transcript(peer().requests()); }
  string msgLine(int level, const string& text) { return line(level, "message", text); }
  string changeLine(const string& name, const string& value) {
    return msgLine(7, "config_on_change: varName:" + name + " val:" + value);
  }
  string unknownLine(const string& name, int instance) {
    return msgLine(3, "config_on_change unknown var " + name + " " + std::to_string(instance));
  }
};

// ---- rows that only call an access-level rule ----

struct AccessRowCase {
  const char* name;
  int instance;
  const char* value;
  vector<string> requests;
};

TEST_F(OnChangeTest, AccessLevelRowsSendTheirRulesRequests) {
  const vector<string> dns = {accessLine("system.network.domainname", 0, 0, A),
                              accessLine("system.network.dnsserver", 0, 0, S),
                              accessLine("system.network.dnsserver", 1, 0, S),
                              accessLine("system.network.dnsserver", 2, 0, S),
                              accessLine("system.network.dnsserver", 3, 0, S)};
  auto with = [](vector<string> a, const vector<string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const vector<AccessRowCase> cases = {
      {"system.network.wired.ipv4nic.mode", 0, "Client",
       with({accessLine("system.network.wired.ipv4nic.address", 0, 0, S),
             accessLine("system.network.wired.ipv4nic.subnetmask", 0, 0, S),
             accessLine("system.network.wired.ipv4nic.defaultgateway", 0, 0, S)},
            dns)},
      {"system.network.wired.ipv6nic.enabled", 0, "True",
       with({accessLine("system.network.wired.ipv6nic.linklocal", 0, 0, S),
             accessLine("system.network.wired.ipv6nic.sitelocal", 0, 0, S),
             accessLine("system.network.wired.ipv6nic.globaladdress", 0, 0, S),
             accessLine("system.network.wired.ipv6nic.defaultgateway", 0, 0, S)},
            dns)},
      {"system.network.wired.ipv6nic.mode", 0, "Manual",
       with({accessLine("system.network.wired.ipv6nic.linklocal", 0, 0, S),
             accessLine("system.network.wired.ipv6nic.sitelocal", 0, 0, S),
             accessLine("system.network.wired.ipv6nic.globaladdress", 0, 0, S),
             accessLine("system.network.wired.ipv6nic.defaultgateway", 0, 0, S)},
            dns)},
      {"system.network.wired.ethernet.autoneg", 0, "True",
       {accessLine("system.network.wired.ethernet.portspeed", 0, A, S),
        accessLine("system.network.wired.ethernet.duplexmode", 0, A, S)}},
      {"system.network.wired.dot1x.enabled", 0, "False",
       {accessLine("system.network.wired.dot1x.userid", 0, S, S),
        accessLine("system.network.wired.dot1x.password", 0, S, S)}},
      {"system.network.wired.vlan.enabled", 0, "True",
       {accessLine("system.network.wired.vlan.vlanid", 0, U, A),
        accessLine("system.network.wired.vlan.audiopriority", 0, U, A),
        accessLine("system.network.wired.vlan.videopriority", 0, U, A),
        accessLine("system.network.wired.vlan.controlpriority", 0, U, A)}},
      {"time.timeserver.mode", 3, "Manual",
       {accessLine("time.timeserver.address", 0, U, A), accessLine("time.timeserver.address", 1, U, A)}},
      {"system.log.spacemonitoring.enable", 1, "False",
       {accessLine("system.log.spacemonitoring.threshold", 0, A, A),
        "read system.log.spacemonitoring.autotransfer.transferfrequency#0",
        accessLine("system.log.spacemonitoring.autotransfer.foldernameoption", 0, A, A),
        "read system.log.spacemonitoring.autotransfer.foldernameoption#0",
        accessLine("system.log.spacemonitoring.autotransfer.foldername", 0, A, A)}},
      {"system.log.spacemonitoring.autotransfer.transferfrequency", 0, "AutoAtThreshold",
       {accessLine("system.log.spacemonitoring.autotransfer.foldernameoption", 0, U, A),
        "read system.log.spacemonitoring.autotransfer.foldernameoption#0",
        accessLine("system.log.spacemonitoring.autotransfer.foldername", 0, A, A)}},
      {"system.log.spacemonitoring.autotransfer.foldernameoption", 0, "Custom",
       {accessLine("system.log.spacemonitoring.autotransfer.foldername", 0, U, U)}},
      {"system.log.spacemonitoring.threshold", 2, "Off",
       {"write system.log.spacemonitoring.autotransfer.transferfrequency#0=Manual role=30",
        "write system.log.spacemonitoring.enable#0=False role=30",
        accessLine("system.log.spacemonitoring.autotransfer.transferfrequency", 0, A, S)}},
      {"system.log.remotelog.enabled", 0, "True",
       {accessLine("system.log.remotelog.serveraddress", 0, U, A),
        accessLine("system.log.remotelog.serverprotocol", 0, U, A)}},
      {"system.ports.serial.mode", 5, "Off",
       {accessLine("system.ports.serial.baud", 0, S, S), accessLine("system.ports.serial.parity", 0, S, S),
        accessLine("system.ports.serial.databits", 0, S, S), accessLine("system.ports.serial.stopbits", 0, S, S),
        accessLine("system.ports.serial.flowcontrol", 0, S, S), accessLine("system.ports.serial.camera", 0, S, S)}},
  };
  for (const AccessRowCase& c : cases) {
    peer().clearRequests();
    onChange(c.name, c.value, c.instance);
    EXPECT_EQ(all(), c.requests) << c.name;
  }
  for (const string& l : logLines("message")) EXPECT_EQ(l.find("unknown var"), string::npos) << l;
}

TEST_F(OnChangeTest, ModularRoomModeSendsTheFortyFourRequests) {
  onChange("system.modularroom.mode", "Secondary");
  vector<string> t = all();
  ASSERT_EQ(t.size(), 44u);
  EXPECT_EQ(t.front(), accessLine("system.modularroom.secondary.connection.allowexpiredcertificates", 0, A, A));
  EXPECT_EQ(t[2], accessLine("management.snmp.enabled", 0, S, S));
  EXPECT_EQ(t.back(), accessLine("security.remoteaccess.ssh.enabled", 0, S, S));
}

TEST_F(OnChangeTest, InstanceZeroRowsTreatOtherInstancesAsUnknown) {
  for (const char* name :
       {"system.network.wired.ipv4nic.mode", "system.modularroom.mode", "system.network.wired.ipv6nic.enabled",
        "system.network.wired.ipv6nic.mode", "system.network.wired.ethernet.autoneg",
        "system.network.wired.dot1x.enabled", "system.network.wired.vlan.enabled"}) {
    onChange(name, "True", 1);
  }
  EXPECT_TRUE(peer().requests().empty());
  vector<string> log = logLines("message");
  ASSERT_EQ(log.size(), 14u);
  EXPECT_EQ(log[0], changeLine("system.network.wired.ipv4nic.mode", "True"));
  EXPECT_EQ(log[1], unknownLine("system.network.wired.ipv4nic.mode", 1));
  EXPECT_EQ(log[13], unknownLine("system.network.wired.vlan.enabled", 1));
}

TEST_F(OnChangeTest, UnknownNamesAreLoggedAndStillAnswered) {
  onChange("system.network.hostname", "room-1");
  onChange("System.Network.Wired.Ipv4nic.Mode", "Client");
  EXPECT_TRUE(peer().requests().empty());
  EXPECT_EQ(logLines("message"),
            (vector<string>{changeLine("system.network.hostname", "room-1"), unknownLine("system.network.hostname", 0),
                            changeLine("System.Network.Wired.Ipv4nic.Mode", "Client"),
                            unknownLine("System.Network.Wired.Ipv4nic.Mode", 0)}));
}

TEST_F(OnChangeTest, PasswordValuesAreMaskedInTheLog) {
  onChange("comm.NICs.SipNic.sippassword", "s3cret");
  onChange("system.network.wired.dot1x.password", "hunter2");
  onChange("system.network.wired.dot1x.Password", "visible");
  vector<string> log = logLines("message");
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[0], changeLine("comm.NICs.SipNic.sippassword", "********"));
  EXPECT_EQ(log[2], changeLine("system.network.wired.dot1x.password", "********"));
  EXPECT_EQ(log[4], changeLine("system.network.wired.dot1x.Password", "visible"));
  for (const string& l : logLines()) {
    EXPECT_EQ(l.find("s3cret"), string::npos);
    EXPECT_EQ(l.find("hunter2"), string::npos);
  }
}

// ---- rows with actions ----

TEST_F(OnChangeTest, FirewallPortsRestartIntrusionDetectionOnlyWhenEnabled) {
  peer().set("security.nids.enabled", "True");
  for (const char* name : {"comm.Firewall.fixedports", "comm.Firewall.fixedportstcplow", "comm.Firewall.fixedportsudplow"}) {
    syssrvCallTrace_clear();
    peer().clearRequests();
    onChange(name, "True", 2);
    EXPECT_EQ(all(), (vector<string>{"read security.nids.enabled#0"})) << name;
    EXPECT_EQ(syssrvCallTrace(), (vector<string>{"stop_NIDS()", "start_NIDS()"})) << name;
  }
  for (const char* stored : {"true", "False", ""}) {
    peer().set("security.nids.enabled", stored);
    syssrvCallTrace_clear();
    onChange("comm.Firewall.fixedports", "True");
    EXPECT_TRUE(syssrvCallTrace().empty()) << stored;
  }
  peer().breakReads("security.nids.enabled");
  syssrvCallTrace_clear();
  onChange("comm.Firewall.fixedports", "True");
  EXPECT_TRUE(syssrvCallTrace().empty());
}

TEST_F(OnChangeTest, CountryLooksUpItsTimeZone) {
  onChange("location.country", "Norway");
  ASSERT_FALSE(syssrvCallTrace().empty());
  EXPECT_EQ(syssrvCallTrace().front(), "get_timezone_info(Norway)");
  const char* zone = get_timezone_info("Norway");
  if (zone == nullptr) {
    // No country table yet: nothing to write.
    EXPECT_TRUE(peer().requests().empty());
  } else {
    EXPECT_EQ(all(), (vector<string>{"write time.timezone#0=" + string(zone) + " role=30"}));
    EXPECT_EQ(logLines("message")[1], msgLine(7, "config_write : " + string(zone) + "  "));
  }
}

TEST_F(OnChangeTest, RemoteAccessWithBothShellsOffTurnsIdleTimeoutsOff) {
  peer().set("security.remoteaccess.telnet.enabled", "False");
  peer().set("security.remoteaccess.ssh.enabled", "FALSE");
  peer().set("security.remoteaccess.sshservice.enabled", "True");
  // The request's value does not matter: the stored values do.
  onChange("security.remoteaccess.ssh.enabled", "True");
  const vector<string> portOptions = {
      "security.remoteaccess.telnet.pddebugportidletimeoutenabled",
      "security.remoteaccess.telnet.apiportidletimeoutenabled", "security.remoteaccess.telnet.apiport",
      "security.remoteaccess.telnet.pddebugport"};
  vector<string> expected = {"read security.remoteaccess.telnet.enabled#0", "read security.remoteaccess.ssh.enabled#0",
                             "read security.remoteaccess.sshservice.enabled#0",
                             "write security.remoteaccess.telnet.pddebugportidletimeoutenabled#0=false role=10",
                             "write security.remoteaccess.telnet.apiportidletimeoutenabled#0=false role=10"};
  for (const string& v : portOptions) expected.push_back(accessLine(v, 0, U, S));
  EXPECT_EQ(all(), expected);
  EXPECT_EQ(syssrvCallTrace(), (vector<string>{"enable_sshd(1)"}));
}

TEST_F(OnChangeTest, RemoteAccessWithAShellOnKeepsTimeoutsAndOpensPortOptions) {
  peer().set("security.remoteaccess.telnet.enabled", "True");
  peer().set("security.remoteaccess.ssh.enabled", "false");
  peer().set("security.remoteaccess.sshservice.enabled", "falsetrue");
  onChange("security.remoteaccess.telnet.enabled", "True", 4);
  vector<string> t = all();
  ASSERT_EQ(t.size(), 7u);
  EXPECT_EQ(t[3], accessLine("security.remoteaccess.telnet.pddebugportidletimeoutenabled", 0, U, U));
  EXPECT_EQ(t[6], accessLine("security.remoteaccess.telnet.pddebugport", 0, U, U));
  EXPECT_EQ(syssrvCallTrace(), (vector<string>{"enable_sshd(0)"}));
  // "true..." of any case and length starts the service.
  peer().set("security.remoteaccess.sshservice.enabled", "TRUEish");
  syssrvCallTrace_clear();
  onChange("security.remoteaccess.sshservice.enabled", "x");
  EXPECT_EQ(syssrvCallTrace(), (vector<string>{"enable_sshd(1)"}));
}

TEST_F(OnChangeTest, RemoteAccessWithAFailedReadOnlySetsPortOptionsFromWhatWasRead) {
  peer().set("security.remoteaccess.telnet.enabled", "False");
  peer().set("security.remoteaccess.ssh.enabled", "True");
  peer().breakReads("security.remoteaccess.sshservice.enabled");
  onChange("security.remoteaccess.telnet.enabled", "False");
  vector<string> t = all();
  ASSERT_EQ(t.size(), 7u);
  EXPECT_EQ(t[3], accessLine("security.remoteaccess.telnet.pddebugportidletimeoutenabled", 0, U, U));
  EXPECT_TRUE(syssrvCallTrace().empty());

  // The unread value is passed on empty.
  peer().breakReads("security.remoteaccess.ssh.enabled");
  peer().clearRequests();
  onChange("security.remoteaccess.telnet.enabled", "False");
  t = all();
  ASSERT_EQ(t.size(), 7u);
  EXPECT_EQ(t[3], accessLine("security.remoteaccess.telnet.pddebugportidletimeoutenabled", 0, U, S));
  EXPECT_TRUE(syssrvCallTrace().empty());
}

TEST_F(OnChangeTest, ApiPortMovesTheDebugPortAwayFromIt) {
  struct Case {
    const char* stored;
    const char* debugPort;
  };
  for (const Case& c : {Case{"23", "24"}, Case{"2323", "24"}, Case{"80", "23"}, Case{"", "23"}, Case{"2", "23"}}) {
    peer().set("security.remoteaccess.telnet.apiport", c.stored);
    peer().clearRequests();
    onChange("security.remoteaccess.telnet.apiport", "ignored");
    EXPECT_EQ(all(), (vector<string>{"read security.remoteaccess.telnet.apiport#0",
                                     "write security.remoteaccess.telnet.pddebugport#0=" + string(c.debugPort) +
                                         " role=30"}))
        << c.stored;
  }
  peer().breakReads("security.remoteaccess.telnet.apiport");
  peer().clearRequests();
  onChange("security.remoteaccess.telnet.apiport", "23");
  EXPECT_EQ(all(), (vector<string>{"read security.remoteaccess.telnet.apiport#0"}));
}

TEST_F(OnChangeTest, CipherChangeRebootsBeforeAnswering) {
  onChange("security.enablecipheraescbc", "True");
  EXPECT_EQ(rec().commands(), (vector<string>{"/system/bin/reboot"}));
  EXPECT_EQ(logLines("SysSrv"),
            (vector<string>{line(7, "SysSrv",
                                 "reboot the system as security.enablecipheraescbc has been changed by user.")}));
  EXPECT_TRUE(peer().requests().empty());
}

TEST_F(OnChangeTest, PacFileUpdateIsAnnouncedThenUnknown) {
  onChange("system.proxy.pacfile.lastupdatedtime", "1700000000");
  EXPECT_EQ(logLines("message"),
            (vector<string>{changeLine("system.proxy.pacfile.lastupdatedtime", "1700000000"),
                            msgLine(7, "Launch Delegate service on PacFileUpdatedTime"),
                            unknownLine("system.proxy.pacfile.lastupdatedtime", 0)}));
  EXPECT_TRUE(syssrvCallTrace().empty());
}

// ---- proxy follow-up ----

TEST_F(OnChangeTest, DiscoverySettingsStopTheDelegateAndDiscovery) {
  delegate_running = 1;
  onChange("system.proxy.wpadenabled", "False");
  EXPECT_EQ(syssrvCallTrace(), (vector<string>{"delegate_dns_set_post()", "stop_delegate()", "StopWpad()"}));
  delegate_running = 0;
  syssrvCallTrace_clear();
  onChange("system.proxy.pacfile.url", "http://pac;`x`\n");
  EXPECT_EQ(syssrvCallTrace(), (vector<string>{"StopWpad()"}));
  EXPECT_TRUE(peer().requests().empty());
  EXPECT_TRUE(rec().commands().empty());
}

TEST_F(OnChangeTest, SipCredentialsStartDiscoveryWhenTheProxyUsesThem) {
  peer().set("system.proxy.webproxy.enabled", "TRUE");
  peer().set("system.proxy.usesfbcredentials", "true");
  for (const char* name :
       {"comm.NICs.SipNic.sipusername", "comm.NICs.SipNic.sippassword", "comm.NICs.SipNic.sipaccountname"}) {
    syssrvCallTrace_clear();
    peer().clearRequests();
    onChange(name, "v");
    EXPECT_EQ(all(), (vector<string>{"read system.proxy.webproxy.enabled#0", "read system.proxy.usesfbcredentials#0"}))
        << name;
    EXPECT_EQ(syssrvCallTrace(), (vector<string>{"StartWpad()"})) << name;
  }
  for (const char* sfb : {"False", "Truex", ""}) {
    peer().set("system.proxy.usesfbcredentials", sfb);
    syssrvCallTrace_clear();
    onChange("comm.NICs.SipNic.sipusername", "v");
    EXPECT_TRUE(syssrvCallTrace().empty()) << sfb;
  }
  peer().set("system.proxy.usesfbcredentials", "True");
  peer().set("system.proxy.webproxy.enabled", "False");
  syssrvCallTrace_clear();
  onChange("comm.NICs.SipNic.sipusername", "v");
  EXPECT_TRUE(syssrvCallTrace().empty());
}

// ---- the first step of the road of one change ----

TEST_F(OnChangeTest, Ipv4ModeByAdministratorIsAnsweredAfterItsAccessLevels) {
  onChange("system.network.wired.ipv4nic.mode", "Off");
  vector<string> t = all();
  ASSERT_EQ(t.size(), 8u);
  EXPECT_EQ(t[0], accessLine("system.network.wired.ipv4nic.address", 0, 0, A));
  EXPECT_EQ(t[2], accessLine("system.network.wired.ipv4nic.defaultgateway", 0, 0, A));
  EXPECT_EQ(logLines("message"), (vector<string>{changeLine("system.network.wired.ipv4nic.mode", "Off")}));
}

}  // namespace
