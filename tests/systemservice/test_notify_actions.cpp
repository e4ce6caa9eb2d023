// Change dispatcher: the rows that read and write further variables or
// keep state: pairing, 802.1X, remote-log address completion, delegate
// restart, PAC expiry, out-of-box, discovery complete, provisioning
// deadline, engine mode.
#include "tests/arch/exec_wrapper.h"
#include "tests/systemservice/test_notify_fixture.h"

namespace {

using std::string;

TEST_F(NotifyTest, PairingStateSetsTheLedAndLocksTimeOnlyWhileConnected) {
  const string var = "system.modularroom.secondary.pairing.state";
  const string blink = "/sys/devices/corvaleuc_leds/auto_blink";
  const struct { const char* value; string blink; const char* led; int level; bool stopsPtp; } cases[] = {
      {"UnPaired", "50 0 0 255 50 0 0 0", "Blinking Blue", A, true},
      {"Connected", "100 0 0 255 0 0 0 0", "Solid Blue", S, false},
      {"Paired", "100 0 0 255 0 0 0 0", "Solid Blue", A, true},
      {"connected", "", "no such line", A, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    forget();
    rec().put_file(blink, "");
    notifyNodes({{var, 2}}, {c.value});
    EXPECT_EQ(rec().file_bytes(blink), c.blink);
    EXPECT_EQ(sent("levels "), (Strings{levels("time.timeserver.mode", c.level, c.level), levels("time.timezone", c.level, c.level)}));
    EXPECT_EQ(logged(6, "modroom config_on_change var " + var + "[2] - " + c.led + "\n"), c.value[0] != 'c' ? 1 : 0);
    EXPECT_EQ(logged(3, "modroom config_on_change var " + var + "[2] - stop ptp4l\n"), c.stopsPtp ? 1 : 0);
    EXPECT_EQ(logged(7, "try killing ptp4l = 0\n"), c.stopsPtp ? 1 : 0);
  }
}

TEST_F(NotifyTest, TlsChangeRestartsTheLanOnlyWith8021X) {
  peer().set("system.network.wired.dot1x.enabled", "TRUE");
  notify("security.disabletlsversionone", "True");
  EXPECT_EQ(actions(), (Strings{"/system/bin/startnetwork --restart"}));
  EXPECT_TRUE(contains(trace(), "no DNS server"));
}

TEST_F(NotifyTest, RemoteLogAddressGetsTheDefaultPortOfItsProtocol) {
  const char* addr = "system.log.remotelog.serveraddress";
  const string name98 = string(94, 'a') + ".com";
  // Logging restarts with `result`; it is written back when it differs. A
  // change of protocol completes the stored address too.
  const char* protocol = "system.log.remotelog.serverprotocol";
  const struct { string address; const char* protocol; string result; bool protocolChanged = false; } cases[] = {
      {"192.168.1.50", "TCP", "192.168.1.50:601"}, {"syslog.example.com", "TLS", "syslog.example.com:6514"},
      {name98, "TLS", name98 + ":"},  // only the colon fits in 100 bytes
      {name98 + "m", "TLS", name98 + "m"},  // nothing fits: not written again
      {"10.0.0.1:514:515", "TCP", "10.0.0.1:514:515"}, {"[::0:0:0:0:0:0:1]:514", "TCP", "[::0:0:0:0:0:0:1]:514"},
      {"10.0.0.1:", "UDP", "10.0.0.1::514"}, {"[2001:db8::1]:123456", "UDP", "[2001:db8::1]:123456:514"},
      {"", "UDP", ""}, {"192.168.1.50", "udp", "192.168.1.50"}, {"10.0.0.9", "TLS", "10.0.0.9:6514", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address + " " + c.protocol);
    forget();
    peer().set(addr, c.address);
    peer().set(protocol, c.protocol);
    const string notified = c.protocolChanged ? protocol : addr;
    notify(notified, c.protocolChanged ? c.protocol : c.address);
    EXPECT_EQ(trace(), (Strings{"update_logging(" + notified + "," + c.result + ")"}));
    EXPECT_EQ(peer().get(addr), c.result);
    EXPECT_EQ(contains(sent(), "write " + string(addr) + "=" + c.result + " as 30"), c.result != c.address);
  }
}

TEST_F(NotifyTest, FipsChangeRestartsTheDelegateAsTheProxySettingsSay) {
  const string fips = "comm.Callsetting.callFeatures.fips140enable";
  // The delegate's start sends name lookups to it; its stop publishes the configured servers again.
  const Strings stop = {"dns published"}, start = {"dns to delegate"};
  const string script = "/opt/corvale/bin/start_delegate.sh ", go = script + " --start 'anonymous' maple      &";
  const struct { const char *enabled, *autoconf, *status; int running; Strings trace, commands; } cases[] = {
      {"TRUE", "False", "", 1, {stop[0], start[0]}, {script + " --stop", go}},
      {"true", "TRUE", "Success", 0, start, {go}},
      {"true", "TRUE", "success", 0, {}, {}},
      {"False", "False", "", 1, stop, {script + " --stop"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(string(c.enabled) + " " + c.autoconf + " " + c.status);
    forget();
    peer().set("system.proxy.webproxy.enabled", c.enabled);
    peer().set("system.proxy.manual.autoconf", c.autoconf);
    peer().set("system.proxy.pacfile.status", c.status);
    delegate_running = c.running;
    notify(fips, "True");
    Strings want = {"update_logging(" + fips + ",True)"};
    want.insert(want.end(), c.trace.begin(), c.trace.end());
    EXPECT_EQ(trace(), want);
    EXPECT_EQ(rec().commands(), c.commands);
    EXPECT_EQ(sent("read system.proxy."),
              (Strings{"read system.proxy.webproxy.enabled", "read system.proxy.manual.autoconf",
                       "read system.proxy.pacfile.expirytime", "read system.proxy.pacfile.status"}));
  }
}

TEST_F(NotifyTest, PacExpiryRereadsTheTimeAndArmsTheTimerWithinItsRange) {
  if (archUnderEmulation()) GTEST_SKIP() << "qemu-arm cannot deliver signal 64, the interval timer's";
  const char* var = "system.proxy.pacfile.expirytime";
  const string clamped = " s is beyond the timer's reach, armed for 2147483 s";
  const string notANumber = "\" is not a number of seconds, timer not started";
  const struct { const char* stored; bool initialised; bool running; int level; string log; } cases[] = {
      {"NEWTIME_request", false, false, 3, "PAC file time is expired, triggering WPAD to fetch new PAC / PAC expiry"},
      {"", false, false, 3, "PAC time is alraedy expired in the server, displaying PAC is expired in the WEB-UI"},
      {"curl_send_failed", false, false, 3, "PAC file download failed, Timer will not start"},
      {"30", true, true, 6, "PAC expiry timer is initialized and the timer thread started"},
      {"45", true, true, 6, "PAC expiry timer thread started"},
      {"2592000", true, true, 4, "PAC expiry of 2592000" + clamped},  // 30 days
      {"99999999999999999999", true, true, 4, "PAC expiry of 99999999999999999999" + clamped},
      {"-5", true, false, 3, "PAC expiry time \"-5" + notANumber},
      {"soon", true, false, 3, "PAC expiry time \"soon" + notANumber},
  };
  IsTimerInitialised = false;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    forget();
    PacExpiryTimer.TimerStop();
    peer().set(var, c.stored);
    notify(var, "3600");  // the stored value decides, not the notified one
    EXPECT_EQ(IsTimerInitialised, c.initialised);
    EXPECT_EQ(PacExpiryTimer.TimerRunning(), c.running);
    EXPECT_TRUE(logged(c.level, c.log, "SysrvWpad")) << logBytes();
    EXPECT_EQ(contains(rec().commands(), "./wpad"), c.stored[0] == 'N');  // StartWpad
  }
  EXPECT_EQ(PacExpiryTimer.TimerStop(), 0);  // not left to fire into a later test
}

TEST_F(NotifyTest, OutOfBoxChangeSetsSleepNameAndServerTypes) {
  const string cloud = "options management.provisioning.servertype [QORT|DMS|CLOUD] default 0 as 50";
  const string h323 = "write comm.NICs.H323Nic.h323name=R7 as 30", name = "read system.info.systemname";
  const string model = "read system.info.model", mode = "read system.modularroom.mode", country = "read location.country";
  const struct { const char* value; const char* systemName; const char* model; const char* mode; Strings requests; } cases[] = {
      {"True", "R7", "CEDAR", "Primary", {name, h323, "write system.sleeptimeout=0 as 30"}},
      {"true", "", "CEDAR", "Primary", {name, country, model, mode, "write system.sleeptimeout=3 as 30", cloud}},
      {"False", "R7", "LUMENPRO", "Primary", {name, h323, country, model, mode, cloud}},
      {"False", "", "CEDAR", "Secondary", {name, country, model, mode, cloud}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value + string(" ") + c.model + " " + c.mode);
    forget();
    peer().set("system.info.systemname", c.systemName);
    peer().set("system.info.model", c.model);
    peer().set("system.modularroom.mode", c.mode);
    notify("system.info.outofbox", c.value);
    EXPECT_EQ(outOfBox, string(c.value) == "True");
    EXPECT_EQ(sent(), c.requests);
    EXPECT_EQ(logged(7, "add CLOUD to provisioning server type options", "config_change_notify"), !outOfBox);
  }
}

TEST_F(NotifyTest, DiscoveryCompleteDuringSetUpWithdrawsTheCloud) {
  // A "False" read does not end set-up.
  const struct { const char* stored; bool before; const char* value; bool after; } cases[] = {
      {"TRUE", false, "trueValue", true}, {"False", false, "True", false}, {"False", true, "False", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    forget();
    peer().set("system.info.outofbox", c.stored);
    outOfBox = c.before;
    notify("management.provisioning.discoverycomplete", c.value);
    EXPECT_EQ(outOfBox, c.after);
    EXPECT_TRUE(logged(7, "discoverycomplete changed to " + string(c.value) + ", outOfBox=" + (c.after ? "1" : "0"),
                       "config_change_notify"));
    const bool withdraw = c.after && c.value[0] == 't';
    EXPECT_EQ(sent(), (withdraw ? Strings{"read system.info.outofbox",
                                          "options management.provisioning.servertype [QORT|DMS] default 0 as 50"}
                                : Strings{"read system.info.outofbox"}));
    EXPECT_EQ(logged(7, "remove CLOUD from provisioning server type options", "config_change_notify"), withdraw);
  }
  forget();
  notify("management.provisioning.discoverycomplete", "x\ny");  // the value's line break stays escaped
  EXPECT_NE(logBytes().find("config_change_notify: discoverycomplete changed to x\\ny, outOfBox="), string::npos);
}

TEST_F(NotifyTest, ProvisioningDeadlineAndEngineModeFollowExactValues) {
  rec().advance_ms(2500);  // the fake monotonic clock starts at 1000 s
  for (const auto& [status, deadline] : {std::pair<const char*, unsigned>{"INCOMPLETE", 1002500u + 90000u}, {"FAILED", 0u}, {"incomplete", 0u}}) {
    notify("management.provisioning.inserverdiscoverystatus", status);
    EXPECT_EQ(discoverProvisioningTimeout, deadline) << status;
  }
  forget();
  for (const char* v : {"True", "False", "true"}) notify("system.systemmode.enableitpenginemode", v);
  const string req = "component multicodecenginemode detach ";
  EXPECT_EQ(sent(), (Strings{req + "0 as 50", req + "1 as 50", req + "1 as 50"}));
}

}  // namespace
