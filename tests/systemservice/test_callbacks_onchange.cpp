// On-change: which rule each name reaches and under which instance, what
// the rules with actions read, write and call, the password mask, and the
// proxy follow-up. Every answer is checked by onChange().
#include "systemservice/syssrvCallbacks.h"
#include "systemservice/syssrvMessage.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using std::string;
using std::vector;

class OnChangeTest : public CfgTest {
 protected:
  string unknown(const string& name, int instance) {
    return line(3, "config_on_change unknown var " + name + " " + std::to_string(instance));
  }
};

TEST_F(OnChangeTest, NamesReachTheirRuleOnlyForTheirInstances) {
  // firstRequest null: unknown, nothing sent.
  struct Row { const char* name; int instance; const char* value; const char* firstRequest; };
  const Row rows[] = {
      {"system.network.wired.ipv4nic.mode", 0, "Client", "levels system.network.wired.ipv4nic.address read - write 30 as 30"},
      {"system.network.wired.ipv4nic.mode", 1, "Client", nullptr},
      {"system.modularroom.mode", 0, "Secondary",
       "levels system.modularroom.secondary.connection.allowexpiredcertificates read 20 write 20 as 30"},
      {"system.modularroom.mode", 2, "Secondary", nullptr},
      {"system.network.wired.ipv6nic.mode", 0, "x", "read system.network.wired.ipv6nic.enabled"},
      {"system.network.wired.vlan.enabled", 0, "False", "levels system.network.wired.vlan.vlanid read 30 write 30 as 30"},
      {"time.timeserver.mode", 3, "Manual", "levels time.timeserver.address read 10 write 20 as 30"},
      {"system.log.spacemonitoring.threshold", 2, "Off",
       "write system.log.spacemonitoring.autotransfer.transferfrequency=Manual as 30"},
      {"system.ports.serial.mode", 5, "Off", "levels system.ports.serial.baud read 30 write 30 as 30"},
      {"system.network.hostname", 0, "room-1", nullptr},
      {"System.Network.Wired.Ipv4nic.Mode", 0, "Client", nullptr},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(string(r.name) + "#" + std::to_string(r.instance));
    forget();
    onChange(r.name, r.value, r.instance);
    const vector<string> t = sent();
    EXPECT_EQ(t.empty() ? "(none)" : t.front(), r.firstRequest ? r.firstRequest : "(none)");
    EXPECT_EQ(logBytes().find("unknown var") == string::npos, r.firstRequest != nullptr) << logBytes();
    EXPECT_TRUE(r.firstRequest || logLines().back() == unknown(r.name, r.instance)) << logBytes();
  }
}

TEST_F(OnChangeTest, PasswordValuesAreMaskedInTheLog) {
  onChange("comm.NICs.SipNic.sippassword", "s3cret");
  onChange("system.network.wired.dot1x.Password", "visible");
  validate("comm.NICs.SipNic.sippassword", "s3cret");
  vector<string> log = logLines();
  EXPECT_EQ(log[0], line(7, "config_on_change: varName:comm.NICs.SipNic.sippassword val:********"));
  EXPECT_TRUE(logged(7, "config_on_change: varName:system.network.wired.dot1x.Password val:visible", "message"));
  for (const string& l : log) EXPECT_EQ(l.find("s3cret"), string::npos);
}

// A received name or value cannot forge a log line of its own.
TEST_F(OnChangeTest, LineBreaksInNamesAndValuesStayOnTheirLogLine) {
  validate("a\nb", "c\nd");
  onChange("a\nb", "c\r\nd");
  submit("a\nb", ConfigIF::kSubmitEnd);
  for (const string& l : logLines()) EXPECT_EQ(l.rfind('<', 0), 0u) << l;
  EXPECT_TRUE(logged(7, "config_on_change: varName:a\\nb val:c\\r\\nd", "message"));
  EXPECT_TRUE(logged(3, "config_on_change unknown var a\\nb 0", "message"));
  EXPECT_TRUE(logged(7, "config_submit_notify: cfgVarName=a\\nb type=SubmitEnd dirtyBit=0,0,0", "message"));
}

TEST_F(OnChangeTest, FirewallPortsRestartIntrusionDetectionOnlyWhenEnabled) {
  for (const char* stored : {"True", "true", ""}) {
    peer().set("security.nids.enabled", stored);
    for (const char* name : {"comm.Firewall.fixedports", "comm.Firewall.fixedportstcplow", "comm.Firewall.fixedportsudplow"}) {
      SCOPED_TRACE(string(name) + "=" + stored);
      forget();
      onChange(name, "1", 2);
      EXPECT_EQ(sent(), (vector<string>{"read security.nids.enabled"}));
      const string printk = "[ -f /proc/sys/kernel/printk ] && echo ";
      const vector<string> restart = {"/system/bin/nids --stop", printk + "7 > /proc/sys/kernel/printk",
                                      "/system/bin/nids --start", printk + "4 > /proc/sys/kernel/printk"};
      EXPECT_EQ(rec().commands(), string(stored) == "True" ? restart : vector<string>{});
    }
  }
}

TEST_F(OnChangeTest, RemoteAccessFollowsTheStoredSwitches) {
  // sshService null: unreadable; sshd: the command run, null: none.
  struct Row { const char *telnet, *ssh, *sshService; bool timeoutsOff; const char* sshd; int portWrite; };
  const Row rows[] = {{"False", "FALSE", "True", true, "start sshd_nocbc", S},
                      {"True", "false", "falsetrue", false, "stop sshd_nocbc", U},
                      {"false", "false", "TRUEish", true, "start sshd_nocbc", S},
                      {"False", "True", nullptr, false, nullptr, U}};
  const vector<string> kTimeoutsOff = {"write security.remoteaccess.telnet.pddebugportidletimeoutenabled=false as 10",
                                       "write security.remoteaccess.telnet.apiportidletimeoutenabled=false as 10"};
  for (const Row& r : rows) {
    SCOPED_TRACE(string(r.telnet) + "/" + r.ssh);
    peer().set("security.remoteaccess.telnet.enabled", r.telnet);
    peer().set("security.remoteaccess.ssh.enabled", r.ssh);
    const char* service = "security.remoteaccess.sshservice.enabled";
    r.sshService ? peer().set(service, r.sshService) : peer().breakReads(service);
    forget();
    onChange("security.remoteaccess.ssh.enabled", "ignored");  // the stored values count
    EXPECT_EQ(sent("write "), r.timeoutsOff ? kTimeoutsOff : vector<string>{});
    EXPECT_EQ(rec().commands(), r.sshd ? vector<string>{r.sshd} : vector<string>{});
    EXPECT_EQ(sent("levels ").at(3), levels("security.remoteaccess.telnet.pddebugport", U, r.portWrite));
  }
}

TEST_F(OnChangeTest, ApiPortMovesTheDebugPortAwayFromIt) {
  const char api[] = "security.remoteaccess.telnet.apiport";
  // The stored port counts, not the notified value; stored null: unreadable.
  const struct { const char *stored, *notified, *debugPort; } rows[] = {
      {"2323", "ignored", "24"}, {"2", "ignored", "23"}, {nullptr, "23", nullptr}};
  for (const auto& r : rows) {
    r.stored ? peer().set(api, r.stored) : peer().breakReads(api);
    forget();
    onChange(api, r.notified);
    const string write = "write security.remoteaccess.telnet.pddebugport=" + string(r.debugPort ? r.debugPort : "");
    EXPECT_EQ(sent("write "), r.debugPort ? vector<string>{write + " as 30"} : vector<string>{}) << r.notified;
  }
}

TEST_F(OnChangeTest, CipherChangeRebootsBeforeAnswering) {
  onChange("security.enablecipheraescbc", "True");
  EXPECT_EQ(rec().commands(), (vector<string>{"/system/bin/reboot"}));
  EXPECT_TRUE(logged(7, "reboot the system as security.enablecipheraescbc has been changed by user.", "SysSrv"));
}

TEST_F(OnChangeTest, ProxyFollowUp) {
  onChange("system.proxy.pacfile.lastupdatedtime", "1700000000");
  EXPECT_EQ(logLines().at(1), line(7, "Launch Delegate service on PacFileUpdatedTime"));
  EXPECT_EQ(logLines().at(2), unknown("system.proxy.pacfile.lastupdatedtime", 0));

  // Rows in order: discovery stops (with the delegate, running at first),
  // or, once the proxy is on, starts again for the SIP account's credentials
  // (sfb null: the proxy and the credentials switch unset).
  delegate_running = 1;
  const struct { const char *name, *value, *sfb; vector<string> commands, calls; int stops; } rows[] = {
      {"system.proxy.wpadenabled", "False", nullptr, {"/opt/corvale/bin/start_delegate.sh  --stop"}, {"dns published"}, 1},
      {"system.proxy.pacfile.url", "http://pac;`x`\n", nullptr, {}, {}, 1},
      {"comm.NICs.SipNic.sipaccountname", "v", "true", {"./wpad"}, {}, 1},  // StartWpad: no manual proxy
      {"comm.NICs.SipNic.sipusername", "v", "Truex", {}, {}, 0}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    if (r.sfb) peer().set("system.proxy.webproxy.enabled", "TRUE");
    if (r.sfb) peer().set("system.proxy.usesfbcredentials", r.sfb);
    forget();
    onChange(r.name, r.value);
    EXPECT_EQ(rec().commands(), r.commands);
    EXPECT_EQ(calls(), r.calls);
    EXPECT_EQ(logged(7, "RemovePACFile: No PAC file to delete.\n"), r.stops);  // StopWpad
  }
}

}  // namespace
