// Change dispatcher: the rows that read and write further variables —
// remote-log address completion, delegate restart, PAC expiry, out-of-box,
// discovery complete, provisioning deadline.
#include <string>
#include <vector>

#include "systemservice/syssrvMessage.h"
#include "tests/arch/exec_wrapper.h"
#include "tests/systemservice/test_notify_fixture.h"

namespace {

using std::string;
using Strings = std::vector<string>;

const char kAddr[] = "system.log.remotelog.serveraddress";
const char kProto[] = "system.log.remotelog.serverprotocol";

// ---- remote-log address completion (row 10) ----

class RemoteLogTest : public NotifyTest {
 protected:
  // Notifies the address change; returns the address logging restarted with.
  string change(const string& address, const string& protocol, const char* var = kAddr) {
    forget();
    cfg().set(kAddr, address);
    cfg().set(kProto, protocol);
    notify(var, var == string(kAddr) ? address : protocol);
    Strings t = trace();
    if (t.size() != 1) return "unexpected trace size " + std::to_string(t.size());
    const string head = "update_logging(" + string(var) + ",";
    if (t[0].rfind(head, 0) != 0 || t[0].back() != ')') return "unexpected trace " + t[0];
    return t[0].substr(head.size(), t[0].size() - head.size() - 1);
  }
};

TEST_F(RemoteLogTest, BareAddressGetsTheProtocolsDefaultPortWrittenBack) {
  EXPECT_EQ(change("192.168.1.50", "TCP"), "192.168.1.50:601");
  EXPECT_EQ(cfg().requests(), (Strings{readReq(kAddr), readReq(kProto), writeReq(kAddr, "192.168.1.50:601", kSystem)}));
  EXPECT_EQ(cfg().get(kAddr), "192.168.1.50:601");

  EXPECT_EQ(change("192.168.1.50", "UDP"), "192.168.1.50:514");
  EXPECT_EQ(cfg().get(kAddr), "192.168.1.50:514");
  EXPECT_EQ(change("syslog.example.com", "TLS"), "syslog.example.com:6514");
  EXPECT_EQ(cfg().get(kAddr), "syslog.example.com:6514");
  EXPECT_EQ(change("loghost", "UDP"), "loghost:514");
  // The protocol row completes the stored address as well.
  EXPECT_EQ(change("10.0.0.9", "TLS", kProto), "10.0.0.9:6514");
  EXPECT_EQ(cfg().requests(), (Strings{readReq(kAddr), readReq(kProto), writeReq(kAddr, "10.0.0.9:6514", kSystem)}));
}

TEST_F(RemoteLogTest, AddressesWithAPortAreLeftAlone) {
  for (const char* a : {"10.0.0.1:514",                  // IPv4 with port
                        "10.0.0.1:514:515",              // IPv4, port groups repeat
                        "300.1.2.999:1",                 // IPv4 shape only, 1-3 digits
                        "logs.example.com:10514",        // host with port
                        "my-host:1",                     // hyphen inside a label
                        "a.b-c.d:601:602",               // host, port groups repeat
                        "[2001:db8:0:0:0:0:0:1]:514",    // IPv6 in brackets with port
                        "2001:db8:0:0:0:0:0:1:65535",    // IPv6 without brackets
                        "fe80::1:2:3:4:5:6:514"}) {      // seven colon groups and a port
    EXPECT_EQ(change(a, "TCP"), a) << a;
    EXPECT_EQ(cfg().requests(), (Strings{readReq(kAddr)})) << a;
    EXPECT_EQ(cfg().get(kAddr), a) << a;
  }
}

TEST_F(RemoteLogTest, ShapesTheThreePatternsRejectAreCompleted) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"10.0.0.1:", "10.0.0.1::514"},                 // a colon without digits is no port
      {"10.0.0:514", "10.0.0:514:514"},               // three octets, last label not a name
      {"1234.0.0.1", "1234.0.0.1:514"},               // not an IPv4 shape, not a name
      {"-host:514", "-host:514:514"},                 // a label cannot start with a hyphen
      {"host-:514", "host-:514:514"},                 // nor end with one
      {"2001:db8::1", "2001:db8::1:514"},             // too few colons for the IPv6 pattern
      {"2001:db8:1:2:3:4:5:6", "2001:db8:1:2:3:4:5:6:514"},  // seven colons: no port yet
      {"[2001:db8::1]:123456", "[2001:db8::1]:123456:514"},  // six-digit port
      {"host:port", "host:port:514"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(change(c.in, "UDP"), c.out) << c.in;
    EXPECT_EQ(cfg().get(kAddr), c.out) << c.in;
  }
}

TEST_F(RemoteLogTest, CompletionStaysWithinOneHundredBytes) {
  // 98 characters is the longest address the 99-byte read keeps.
  const string longName = string(94, 'a') + ".com";
  ASSERT_EQ(longName.size(), 98u);
  const string got = change(longName, "TLS");
  EXPECT_EQ(got, longName + ":");  // only the colon still fits in 100 bytes
  EXPECT_EQ(cfg().get(kAddr), longName + ":");
}

TEST_F(RemoteLogTest, EmptyAddressOrUnknownProtocolIsNotWrittenBack) {
  // Writing these back would notify this row again with an address that
  // still matches no pattern, and so on for ever.
  EXPECT_EQ(change("", "UDP"), "");
  EXPECT_EQ(cfg().requests(), (Strings{readReq(kAddr)}));
  EXPECT_EQ(change("192.168.1.50", "RELP"), "192.168.1.50");
  EXPECT_EQ(cfg().requests(), (Strings{readReq(kAddr), readReq(kProto)}));
  EXPECT_EQ(cfg().get(kAddr), "192.168.1.50");
  EXPECT_EQ(change("192.168.1.50", "udp"), "192.168.1.50");
}

// ---- delegate restart after the FIPS mode changed (row 11) ----

const Strings kProxyReads = {readReq("system.proxy.webproxy.enabled"), readReq("system.proxy.manual.autoconf"),
                             readReq("system.proxy.pacfile.expirytime"), readReq("system.proxy.pacfile.status")};

TEST_F(NotifyTest, FipsChangeRestartsTheDelegateForAManualProxy) {
  const string fips = "comm.Callsetting.callFeatures.fips140enable";
  delegate_running = 1;
  cfg().set("system.proxy.webproxy.enabled", "TRUE");
  cfg().set("system.proxy.manual.autoconf", "False");
  notify(fips, "True");
  EXPECT_EQ(trace(), (Strings{"update_logging(" + fips + ",True)", "delegate_dns_set_post()", "stop_delegate()",
                              "delegate_dns_set_pre()", "start_delegate()"}));
  EXPECT_EQ(cfg().requests(), kProxyReads);
}

TEST_F(NotifyTest, FipsChangeStartsAnAutoconfDelegateOnlyWithAGoodPacFile) {
  const string fips = "comm.Callsetting.callFeatures.fips140enable";
  cfg().set("system.proxy.webproxy.enabled", "true");
  cfg().set("system.proxy.manual.autoconf", "TRUE");
  cfg().set("system.proxy.pacfile.status", "Success");
  notify(fips, "False");
  EXPECT_EQ(trace(),
            (Strings{"update_logging(" + fips + ",False)", "delegate_dns_set_pre()", "start_delegate()"}));

  forget();
  cfg().set("system.proxy.pacfile.status", "success");
  notify(fips, "False");
  EXPECT_EQ(trace(), (Strings{"update_logging(" + fips + ",False)"}));

  forget();
  cfg().set("system.proxy.webproxy.enabled", "False");
  cfg().set("system.proxy.manual.autoconf", "False");
  delegate_running = 1;
  notify(fips, "False");
  EXPECT_EQ(trace(), (Strings{"update_logging(" + fips + ",False)", "delegate_dns_set_post()", "stop_delegate()"}));
  EXPECT_EQ(cfg().requests(), kProxyReads);
}

// ---- PAC expiry (row 16) ----

TEST_F(NotifyTest, PacExpiryRereadsTheValueAndPicksItsBranch) {
  const char* var = "system.proxy.pacfile.expirytime";
  cfg().set(var, "NEWTIME_request");
  notify(var, "3600");  // the stored value decides, not the notified one
  EXPECT_TRUE(logged(3, "PAC file time is expired, triggering WPAD to fetch new PAC / PAC expiry", "SysrvWpad"));
  EXPECT_EQ(trace(), (Strings{"update_logspace_management(system.proxy.pacfile.expirytime,3600)", "StartWpad()"}));
  EXPECT_EQ(cfg().requests(), (Strings{readReq(var)}));

  forget();
  cfg().set(var, "");
  notify(var, "");
  EXPECT_TRUE(logged(
      3, "PAC time is alraedy expired in the server, displaying PAC is expired in the WEB-UI", "SysrvWpad"));
  EXPECT_EQ(trace(), (Strings{"update_logspace_management(system.proxy.pacfile.expirytime,)"}));

  forget();
  cfg().set(var, "curl_send_failed");
  notify(var, "x");
  EXPECT_TRUE(logged(3, "PAC file download failed, Timer will not start", "SysrvWpad"));
  EXPECT_EQ(trace(), (Strings{"update_logspace_management(system.proxy.pacfile.expirytime,x)"}));
  EXPECT_FALSE(IsTimerInitialised);
}

TEST_F(NotifyTest, PacExpiryArmsTheTimerOnceAndRearmsItAfterwards) {
  if (archUnderEmulation()) GTEST_SKIP() << "qemu-arm cannot deliver signal 64, the interval timer's";
  ASSERT_FALSE(IsTimerInitialised);
  const char* var = "system.proxy.pacfile.expirytime";
  cfg().set(var, "30");
  notify(var, "30");
  EXPECT_TRUE(IsTimerInitialised);
  EXPECT_TRUE(PacExpiryTimer.TimerRunning());
  EXPECT_TRUE(logged(6, "PAC expiry timer is initialized and the timer thread started", "SysrvWpad"));

  forget();
  PacExpiryTimer.TimerStop();
  cfg().set(var, "45");
  notify(var, "45");
  EXPECT_TRUE(PacExpiryTimer.TimerRunning());
  EXPECT_TRUE(logged(6, "PAC expiry timer thread started", "SysrvWpad"));
  EXPECT_FALSE(logged(6, "PAC expiry timer is initialized and the timer thread started", "SysrvWpad"));
  // Not left to fire into a later test.
  EXPECT_EQ(PacExpiryTimer.TimerStop(), 0);
  EXPECT_FALSE(PacExpiryTimer.TimerRunning());
}

// ---- out-of-box and discovery complete (rows 29, 30) ----

TEST_F(NotifyTest, OutOfBoxOnKeepsTheUnitAwake) {
  cfg().set("system.info.systemname", "Room-7");
  notify("system.info.outofbox", "True");
  EXPECT_TRUE(outOfBox);
  EXPECT_EQ(cfg().requests(), (Strings{readReq("system.info.systemname"),
                                       writeReq("comm.NICs.H323Nic.h323name", "Room-7", kSystem),
                                       writeReq("system.sleeptimeout", "0", kSystem)}));
  EXPECT_EQ(trace(), (Strings{"update_logspace_management(system.info.outofbox,True)", "set_country_params()"}));
}

TEST_F(NotifyTest, OutOfBoxOffRestoresSleepAndOffersTheCloud) {
  outOfBox = true;
  cfg().set("system.info.systemname", "");
  cfg().set("system.info.model", "CEDAR");
  cfg().set("system.modularroom.mode", "Primary");
  notify("system.info.outofbox", "true");  // only "True" counts
  EXPECT_FALSE(outOfBox);
  EXPECT_EQ(cfg().requests(),
            (Strings{readReq("system.info.systemname"), readReq("system.info.model"),
                     readReq("system.modularroom.mode"), writeReq("system.sleeptimeout", "3", kSystem),
                     optionsReq("management.provisioning.servertype", {"QORT", "DMS", "CLOUD"}, 0, kStartup)}));
  EXPECT_TRUE(logged(7, "config_change_notify: add CLOUD to provisioning server type options"));
}

TEST_F(NotifyTest, OutOfBoxOffLeavesSleepAloneOnLumenProAndSecondaryUnits) {
  cfg().set("system.info.systemname", "Room-7");
  cfg().set("system.info.model", "LUMENPRO");
  cfg().set("system.modularroom.mode", "Primary");
  notify("system.info.outofbox", "False");
  EXPECT_EQ(cfg().requests(),
            (Strings{readReq("system.info.systemname"), writeReq("comm.NICs.H323Nic.h323name", "Room-7", kSystem),
                     readReq("system.info.model"), readReq("system.modularroom.mode"),
                     optionsReq("management.provisioning.servertype", {"QORT", "DMS", "CLOUD"}, 0, kStartup)}));

  forget();
  cfg().set("system.info.model", "CEDAR");
  cfg().set("system.modularroom.mode", "Secondary");
  notify("system.info.outofbox", "False");
  for (const string& r : cfg().requests()) EXPECT_EQ(r.find("system.sleeptimeout"), string::npos) << r;
}

TEST_F(NotifyTest, DiscoveryCompleteDuringSetupWithdrawsTheCloud) {
  cfg().set("system.info.outofbox", "TRUE");
  notify("management.provisioning.discoverycomplete", "trueValue");
  EXPECT_TRUE(outOfBox);
  EXPECT_TRUE(logged(7, "config_change_notify: discoverycomplete changed to trueValue, outOfBox=1"));
  EXPECT_TRUE(logged(7, "config_change_notify: remove CLOUD from provisioning server type options"));
  EXPECT_EQ(cfg().requests(),
            (Strings{readReq("system.info.outofbox"),
                     optionsReq("management.provisioning.servertype", {"QORT", "DMS"}, 0, kStartup)}));
}

TEST_F(NotifyTest, DiscoveryCompleteOutsideSetupChangesNoOptions) {
  cfg().set("system.info.outofbox", "False");
  notify("management.provisioning.discoverycomplete", "True");
  EXPECT_FALSE(outOfBox);
  EXPECT_TRUE(logged(7, "config_change_notify: discoverycomplete changed to True, outOfBox=0"));
  EXPECT_EQ(cfg().requests(), (Strings{readReq("system.info.outofbox")}));

  forget();
  outOfBox = true;  // set-up still running: a "False" read does not end it
  notify("management.provisioning.discoverycomplete", "False");
  EXPECT_TRUE(outOfBox);
  EXPECT_EQ(cfg().requests(), (Strings{readReq("system.info.outofbox")}));
}

// ---- provisioning deadline (row 40) ----

TEST_F(NotifyTest, ProvisioningDeadlineSetByIncompleteClearedOtherwise) {
  // The fake monotonic clock starts at 1000 s.
  rec().advance_ms(2500);
  notify("management.provisioning.inserverdiscoverystatus", "INCOMPLETE");
  EXPECT_EQ(discoverProvisioningTimeout, 1002500u + 90000u);
  notify("management.provisioning.inserverdiscoverystatus", "FAILED");
  EXPECT_EQ(discoverProvisioningTimeout, 0u);
  notify("management.provisioning.inserverdiscoverystatus", "INCOMPLETE");
  notify("management.provisioning.inserverdiscoverystatus", "incomplete");
  EXPECT_EQ(discoverProvisioningTimeout, 0u);
  EXPECT_EQ(commands(), Strings{});
  EXPECT_EQ(cfg().requests(), Strings{});
}

}  // namespace
