// Change dispatcher: decoding, the two predicates, and the rows that route
// a change to one module (checked through the call trace of the modules,
// the recorded commands and the configuration requests).
#include <string>
#include <vector>

#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvConfigNotify.h"
#include "systemservice/syssrvMessage.h"
#include "tests/systemservice/test_notify_fixture.h"

namespace {

using std::string;
using Strings = std::vector<string>;

string logspace(const string& name, const string& value) {
  return "update_logspace_management(" + name + "," + value + ")";
}

// ---- entry ----

TEST_F(NotifyTest, ParseFailureLogsAndChangesNothing) {
  outOfBox = true;
  notifyRaw(string("\x0a\xff\xff\xff\x0f", 5));
  EXPECT_TRUE(logged(3, "config_change_notify: parse error"));
  EXPECT_EQ(trace(), Strings{});
  EXPECT_EQ(commands(), Strings{});
  EXPECT_EQ(cfg().requests(), Strings{});
  EXPECT_EQ(m_LanDirtyBit, 0);
  EXPECT_EQ(m_IPv6DirtyBit, 0);
  EXPECT_TRUE(outOfBox);
  EXPECT_EQ(logLines().size(), 1u);
}

TEST_F(NotifyTest, DebugLineShowsNameAndValueButNeverAPassword) {
  notify("time.timeformat", "24H");
  EXPECT_TRUE(logged(7, "config_change_notify: varName:time.timeformat val:24H"));

  forget();
  notify("system.network.wired.dot1x.password", "s3cr3t;`id`");
  EXPECT_TRUE(logged(7, "config_change_notify: varName:system.network.wired.dot1x.password val:********"));
  EXPECT_EQ(logBytes().find("s3cr3t"), string::npos) << logBytes();
  // Still a LAN setting.
  EXPECT_EQ(m_LanDirtyBit, 1);

  forget();
  notify("security.authentication.accounts.adminaccount.localpassword", "hunter2");
  EXPECT_EQ(logBytes().find("hunter2"), string::npos) << logBytes();
  EXPECT_EQ(trace(), (Strings{logspace("security.authentication.accounts.adminaccount.localpassword", "hunter2")}));
}

TEST_F(NotifyTest, MultiValuesAreJoinedAndInnerInstancesNamed) {
  notifyNodes({{"system", 0}, {"network", 0}, {"dnsserver", 0}}, {"10.0.0.1", "10.0.0.2"});
  EXPECT_NE(logBytes().find("<7>syssrv: hd[0]: config_change_notify: varName:system.network.dnsserver "
                            "val:10.0.0.1\n10.0.0.2\n"),
            string::npos)
      << logBytes();
  EXPECT_EQ(m_LanDirtyBit, 1);
}

// ---- predicates ----

TEST_F(NotifyTest, LanPredicateNamesExactlyAndCaseSensitive) {
  const Strings lan = {
      "system.network.hostname", "system.network.domainname", "system.network.wired.devicename",
      "system.network.wired.ethernet.macaddress", "system.network.wired.ethernet.autoneg",
      "system.network.wired.ethernet.portspeed", "system.network.wired.ethernet.duplexmode",
      "system.network.wired.dot1x.enabled", "system.network.wired.dot1x.userid",
      "system.network.wired.dot1x.password", "system.network.wired.lldp.mednetworkpolicy.enabled",
      "system.network.wired.vlan.enabled", "system.network.wired.vlan.vlanid",
      "system.network.wired.vlan.videopriority", "system.network.wired.vlan.audiopriority",
      "system.network.wired.vlan.controlpriority", "system.network.wired.ipv4nic.mode",
      "system.network.wired.ipv4nic.address", "system.network.wired.ipv4nic.subnetmask",
      "system.network.wired.ipv4nic.defaultgateway", "system.network.dnsserver", "system.network.enableecho",
      "system.network.enableunreachabletx", "system.network.icmpoutpacketrate", "system.network.ignoreredirect"};
  for (const string& n : lan) {
    EXPECT_EQ(is_LAN_notify(n.c_str()), 1) << n;
    EXPECT_EQ(is_IPv6_notify(n.c_str()), 0) << n;
  }
  for (const char* n : {"System.network.hostname", "system.network.hostname ", "system.network", "",
                        "system.network.wired.ipv6nic.mode", "system.network.wired.ipv4nic.dhcp.state"}) {
    EXPECT_EQ(is_LAN_notify(n), 0) << n;
  }
  EXPECT_EQ(is_LAN_notify(nullptr), 0);
}

TEST_F(NotifyTest, IPv6PredicateNamesExactly) {
  for (const char* n : {"system.network.wired.ipv6nic.enabled", "system.network.wired.ipv6nic.mode",
                        "system.network.wired.ipv6nic.defaultgateway", "system.network.wired.ipv6nic.enableslaac",
                        "system.network.wired.ipv6nic.linklocal", "system.network.wired.ipv6nic.globaladdress",
                        "system.network.wired.ipv6nic.sitelocal"}) {
    EXPECT_EQ(is_IPv6_notify(n), 1) << n;
  }
  for (const char* n : {"system.network.wired.ipv6nic.moflag", "system.network.wired.ipv6nic.dhcp.state",
                        "system.network.wired.IPv6nic.mode", ""}) {
    EXPECT_EQ(is_IPv6_notify(n), 0) << n;
  }
  EXPECT_EQ(is_IPv6_notify(nullptr), 0);
}

TEST_F(NotifyTest, PredicatesLogTheirMatch) {
  is_LAN_notify("system.network.dnsserver");
  is_IPv6_notify("system.network.wired.ipv6nic.mode");
  is_LAN_notify("time.timezone");
  EXPECT_EQ(logLines(), (Strings{"<7>syssrv: hd[0]: is_LAN_notify: system.network.dnsserver is LAN setting",
                                 "<7>syssrv: hd[0]: config_change_notify: is_IPv6_notify="
                                 "system.network.wired.ipv6nic.mode  is IPv6 setting"}));
}

// ---- rows A and B: the search goes on ----

TEST_F(NotifyTest, RowAStopsARunningDelegateOnFailureAndSearchGoesOn) {
  for (const char* v : {"DownloadFailed", "WpadFailed", "Expired"}) {
    forget();
    delegate_running = 1;
    notify("system.proxy.pacfile.status", v);
    // The later log-space row still sees the name: the search went on.
    EXPECT_EQ(trace(), (Strings{"delegate_dns_set_post()", "stop_delegate()",
                                logspace("system.proxy.pacfile.status", v)}))
        << v;
    EXPECT_EQ(cfg().requests(), Strings{});
  }
}

TEST_F(NotifyTest, RowALeavesTheDelegateAloneOtherwise) {
  delegate_running = 0;
  notify("system.proxy.pacfile.status", "Expired");
  EXPECT_EQ(trace(), (Strings{logspace("system.proxy.pacfile.status", "Expired")}));
  forget();
  delegate_running = 1;
  notify("system.proxy.pacfile.status", "expired");
  EXPECT_EQ(trace(), (Strings{logspace("system.proxy.pacfile.status", "expired")}));
  forget();
  notify("system.proxy.pacfile.status", "Success");
  EXPECT_EQ(trace(), (Strings{logspace("system.proxy.pacfile.status", "Success")}));
}

TEST_F(NotifyTest, RowBStartsTheDelegateWithFreshCredentials) {
  notify("system.proxy.pacfile.lastupdatedtime", "2024-05-01 10:00");
  EXPECT_EQ(trace(), (Strings{"get_wpad_credentials()", "delegate_dns_set_pre()", "start_delegate()",
                              logspace("system.proxy.pacfile.lastupdatedtime", "2024-05-01 10:00")}));
}

// ---- time, pairing, locale ----

TEST_F(NotifyTest, Row1RestartsNtpdWithAPauseThenLogging) {
  for (const char* name : {"time.timeserver.mode", "time.timeserver.address"}) {
    forget();
    notify(name, "Manual");
    std::vector<SysIoRecord> r = rec().records();
    ASSERT_EQ(r.size(), 3u) << name;
    EXPECT_EQ(r[0].kind, SysIoCall::kSystem);
    EXPECT_EQ(r[0].text, "/system/bin/startntpd --stop");
    EXPECT_EQ(r[1].kind, SysIoCall::kSleep);
    EXPECT_EQ(r[1].us, 1000000u);
    EXPECT_EQ(r[2].kind, SysIoCall::kSystem);
    EXPECT_EQ(r[2].text, "/system/bin/startntpd --start");
    // Row 1 ends the search: no log-space question.
    EXPECT_EQ(trace(), Strings{"update_logging(null,null)"}) << name;
  }
}

TEST_F(NotifyTest, Row2PairingStateLedsAndTimeAccessLevels) {
  const string var = "system.modularroom.secondary.pairing.state";
  notifyNodes({{var, 2}}, {"UnPaired"});
  EXPECT_TRUE(logged(6, "modroom config_on_change var " + var + "[2] - Blinking Blue"));
  EXPECT_TRUE(logged(3, "modroom config_on_change var " + var + "[2] - stop ptp4l"));
  EXPECT_EQ(trace(), (Strings{"setLed(0,0,255,0,50,50)", "stop_ptp4l()"}));
  EXPECT_EQ(cfg().requests(), (Strings{accessReq("time.timeserver.mode", kSystem, kAdmin, kAdmin),
                                       accessReq("time.timezone", kSystem, kAdmin, kAdmin)}));

  forget();
  notify(var, "Connected");
  EXPECT_TRUE(logged(6, "modroom config_on_change var " + var + "[0] - Solid Blue"));
  EXPECT_EQ(trace(), (Strings{"setLed(0,0,255,0,100,0)"}));
  EXPECT_EQ(cfg().requests(), (Strings{accessReq("time.timeserver.mode", kSystem, kSystem, kSystem),
                                       accessReq("time.timezone", kSystem, kSystem, kSystem)}));

  forget();
  notify(var, "Paired");
  EXPECT_EQ(trace(), (Strings{"setLed(0,0,255,0,100,0)", "stop_ptp4l()"}));
  EXPECT_EQ(cfg().requests(), (Strings{accessReq("time.timeserver.mode", kSystem, kAdmin, kAdmin),
                                       accessReq("time.timezone", kSystem, kAdmin, kAdmin)}));

  forget();
  notify(var, "connected");
  EXPECT_EQ(trace(), (Strings{"stop_ptp4l()"}));
  EXPECT_EQ(logBytes().find("Blue"), string::npos) << logBytes();
}

TEST_F(NotifyTest, Row3TimezoneThenLogging) {
  notify("time.timezone", "Europe/Oslo");
  EXPECT_EQ(trace(), (Strings{"set_timezone(Europe/Oslo,0)", "update_logging(null,null)"}));
  EXPECT_EQ(commands(), Strings{});
}

TEST_F(NotifyTest, Rows4To9OneCallEach) {
  struct Case {
    const char* name;
    const char* value;
    Strings trace;
  };
  const Case cases[] = {
      {"location.country", "Norway", {"set_country_params()"}},
      {"location.language", "NORSK", {"set_locale(0)"}},
      {"security.remoteaccess.telnet.enabled", "True", {"telnetd_cfg_change(0)"}},
      {"security.remoteaccess.telnet.pddebugport", "True", {"telnetd_cfg_change(1)"}},
      {"system.network.embeddedswitch", "On", {"set_embedded_switch()"}},
      {"comm.Qos.tos.tosoam", "16", {}},
      {"system.remote.channelid", "42", {"update_remote_channel_id(42)"}},
      {"system.discovery.broadcastbeacon", "true", {"update_amx_beacon(true)"}},
      {"time.timeformat", "24H", {"send_timeformat_notify(24H)"}},
      {"system.maxventilation", "On", {"set_thermal_management()"}},
  };
  for (const Case& c : cases) {
    forget();
    notify(c.name, c.value);
    Strings expected;
    // Rows after 13 are reached only after the log-space question.
    if (string(c.name) == "comm.Qos.tos.tosoam" || string(c.name) == "system.remote.channelid" ||
        string(c.name) == "system.discovery.broadcastbeacon" || string(c.name) == "time.timeformat" ||
        string(c.name) == "system.maxventilation") {
      expected.push_back(logspace(c.name, c.value));
    }
    expected.insert(expected.end(), c.trace.begin(), c.trace.end());
    EXPECT_EQ(trace(), expected) << c.name;
    // The type of service is applied by the network script itself.
    Strings expectedCommands;
    if (string(c.name) == "comm.Qos.tos.tosoam") expectedCommands = {"/system/bin/startnetwork --settos"};
    EXPECT_EQ(commands(), expectedCommands) << c.name;
    EXPECT_EQ(cfg().requests(), Strings{}) << c.name;
  }
  forget();
  notify("security.remoteaccess.telnet.pddebugport", "False");
  EXPECT_TRUE(logged(7, "config_change_notify: PDDebugPort is changed (\"security.remoteaccess.telnet.pddebugport\")"));
  forget();
  notify("system.maxventilation", "Off");
  EXPECT_TRUE(logged(7, "config_change_notify: kCfgVarMaxVentilation changed to Off"));
}

TEST_F(NotifyTest, Row6HostNameOnlyOutOfBox) {
  outOfBox = false;
  notify("system.info.systemname", "Room-1");
  EXPECT_EQ(trace(), Strings{});
  outOfBox = true;
  notify("system.info.systemname", "Room-1");
  EXPECT_EQ(trace(), (Strings{"set_hostname(Room-1)"}));
}

// ---- logging and TLS ----

TEST_F(NotifyTest, Row11LoggingParamsRestartLoggingWithTheChange) {
  for (const char* name : {"system.log.filename", "system.log.maxfilesize", "system.log.maxfiles", "system.log.level",
                           "system.log.remotelog.enabled"}) {
    forget();
    notify(name, "7");
    EXPECT_EQ(trace(), (Strings{"update_logging(" + string(name) + ",7)"})) << name;
    EXPECT_EQ(cfg().requests(), Strings{}) << name;
  }
}

TEST_F(NotifyTest, Row12RedoesDot1xOnlyWhenEnabled) {
  cfg().set("system.network.wired.dot1x.enabled", "TRUE");
  notify("security.disabletlsversionone", "True");
  EXPECT_EQ(trace(), (Strings{"isIPv6Manual()", "updateDnsConfig()",
                              "update_logging(security.disabletlsversionone,True)"}));
  EXPECT_EQ(commands(), (Strings{"/system/bin/startnetwork --restart"}));
  // The LAN restart (no device configured: the link counts as down), then
  // the IPv6 variables cleared in automatic mode.
  EXPECT_EQ(cfg().requests(),
            (Strings{readReq("system.network.wired.dot1x.enabled"), readReq("system.network.wired.devicename"),
                     writeReq("management.provisioning.inserverdiscoverystatus", "FAILED", kSystem),
                     readReq("system.proxy.webproxy.enabled"),
                     writeReq("system.network.wired.ipv6nic.linklocal", "::/128", kSystem),
                     writeReq("system.network.wired.ipv6nic.sitelocal", "::/128", kSystem),
                     writeReq("system.network.wired.ipv6nic.globaladdress", "::/128", kSystem),
                     writeReq("system.network.wired.ipv6nic.defaultgateway", "::", kSystem)}));

  forget();
  cfg().set("system.network.wired.dot1x.enabled", "False");
  notify("security.disabletlsversionone", "False");
  EXPECT_EQ(trace(), (Strings{"update_logging(security.disabletlsversionone,False)"}));
}

// ---- LAN and IPv6 rows, tail T1 ----

TEST_F(NotifyTest, Row14DnsServerSetsTheLanDirtyBit) {
  notify("system.network.dnsserver", "9.9.9.9");
  EXPECT_EQ(m_LanDirtyBit, 1);
  EXPECT_EQ(m_IPv6DirtyBit, 0);
  EXPECT_TRUE(logged(7, "config_change_notify: set LAN dirty bit (\"system.network.dnsserver\")"));
  EXPECT_EQ(trace(), (Strings{logspace("system.network.dnsserver", "9.9.9.9")}));
  EXPECT_EQ(cfg().requests(), Strings{});
}

TEST_F(NotifyTest, Row14HostAndDomainRenameTheCertificateName) {
  for (const char* name : {"system.network.hostname", "system.network.domainname"}) {
    forget();
    notify(name, "room");
    EXPECT_TRUE(logged(7, "config_change_notify: set CommonName")) << name;
    EXPECT_EQ(trace(), (Strings{logspace(name, "room"), "set_commonname()"})) << name;
  }
}

TEST_F(NotifyTest, Row14AddressUpdatesFrontPanelOnBirchAndTailCopiesItToTheCsr) {
  cfg().set("system.network.wired.ipv4nic.address", "10.1.2.3");
  eModel = kBirch;
  notify("system.network.wired.ipv4nic.address", "10.1.2.3");
  EXPECT_EQ(trace(), (Strings{logspace("system.network.wired.ipv4nic.address", "10.1.2.3"), "set_frontpanel()"}));
  EXPECT_EQ(cfg().requests(), (Strings{readReq("system.network.wired.ipv4nic.address"),
                                       writeReq("system.pki.csr.sanipv4addr", "10.1.2.3", kSystem),
                                       writeReq("system.pki.csr.sanipv4dnsaddr", "10.1.2.3", kSystem)}));
  EXPECT_EQ(m_LanDirtyBit, 1);

  forget();
  eModel = kCedar;
  notify("system.network.wired.ipv4nic.address", "10.1.2.3");
  EXPECT_EQ(trace(), (Strings{logspace("system.network.wired.ipv4nic.address", "10.1.2.3")}));
  EXPECT_EQ(cfg().requests().size(), 3u);
}

TEST_F(NotifyTest, LanRowWinsOverTheNetworkScriptRowsFurtherDown) {
  // These four names are LAN settings as well; the LAN restart at the end
  // of the batch applies them, so their own script rows are never reached.
  for (const char* name : {"system.network.icmpoutpacketrate", "system.network.enableecho",
                           "system.network.enableunreachabletx", "system.network.ignoreredirect"}) {
    forget();
    m_LanDirtyBit = 0;
    notify(name, "1");
    EXPECT_EQ(m_LanDirtyBit, 1) << name;
    EXPECT_EQ(commands(), Strings{}) << name;
  }
  forget();
  m_LanDirtyBit = 0;
  notify("system.network.ipv6dadcount", "3");
  EXPECT_EQ(commands(), (Strings{"/system/bin/startnetwork --update_ipv6dadcount"}));
  EXPECT_EQ(m_LanDirtyBit, 0);
}

TEST_F(NotifyTest, Row15SetsTheIPv6BitAndCopiesAddressesToTheCsrWhenEnabled) {
  cfg().set("system.network.wired.ipv6nic.enabled", "True");
  cfg().set("system.network.wired.ipv6nic.globaladdress", "2001:db8::10");
  cfg().set("system.network.wired.ipv6nic.sitelocal", "fec0::10");
  cfg().set("system.network.wired.ipv6nic.linklocal", "fe80::10");
  eModel = kBirch;
  notify("system.network.wired.ipv6nic.globaladdress", "2001:db8::10");
  EXPECT_EQ(m_IPv6DirtyBit, 1);
  EXPECT_EQ(m_LanDirtyBit, 0);
  EXPECT_TRUE(logged(7, "config_change_notify: set IPv6 dirty bit (\"system.network.wired.ipv6nic.globaladdress\")"));
  EXPECT_EQ(trace(),
            (Strings{logspace("system.network.wired.ipv6nic.globaladdress", "2001:db8::10"), "set_frontpanel()"}));
  EXPECT_EQ(cfg().requests(),
            (Strings{readReq("system.network.wired.ipv6nic.enabled"),
                     readReq("system.network.wired.ipv6nic.globaladdress"),
                     writeReq("system.pki.csr.sanipv6globaladdr", "2001:db8::10", kSystem),
                     readReq("system.network.wired.ipv6nic.sitelocal"),
                     writeReq("system.pki.csr.sanipv6sitelocaladdr", "fec0::10", kSystem),
                     readReq("system.network.wired.ipv6nic.linklocal"),
                     writeReq("system.pki.csr.sanipv6linklocaladdr", "fe80::10", kSystem)}));

  forget();
  eModel = kCedar;
  cfg().set("system.network.wired.ipv6nic.enabled", "true");  // case matters here
  notify("system.network.wired.ipv6nic.mode", "Manual");
  EXPECT_EQ(trace(), (Strings{logspace("system.network.wired.ipv6nic.mode", "Manual")}));
  EXPECT_EQ(cfg().requests(), (Strings{readReq("system.network.wired.ipv6nic.enabled")}));
}

// ---- proxy and DHCP rows ----

TEST_F(NotifyTest, Row17BasicAuthStopsARunningDelegate) {
  delegate_running = 1;
  notify("system.proxy.webproxy.blockbasicauth", "True");
  EXPECT_EQ(trace(), (Strings{logspace("system.proxy.webproxy.blockbasicauth", "True"), "delegate_dns_set_post()",
                              "stop_delegate()"}));
  forget();
  delegate_running = 0;
  notify("system.proxy.webproxy.blockbasicauth", "False");
  EXPECT_EQ(trace(), (Strings{logspace("system.proxy.webproxy.blockbasicauth", "False")}));
}

TEST_F(NotifyTest, Row18BoundStartsProvisioningAndWpadWhenTheProxyIsOn) {
  const string var = "system.network.wired.ipv4nic.dhcp.state";
  cfg().set(var, "BOUND");
  cfg().set("system.proxy.webproxy.enabled", "TRUE");
  notify(var, "bound");
  EXPECT_EQ(trace(), (Strings{logspace(var, "bound"), "updateDnsConfig()", "discoverProvisioning()", "StartWpad()"}));
  EXPECT_EQ(cfg().requests(), (Strings{readReq(var), readReq("system.proxy.webproxy.enabled")}));
  // The value logged is the one read back, not the notified one.
  EXPECT_TRUE(logged(7, "config_change_notify: " + var + " change: BOUND"));
  EXPECT_TRUE(logged(7, "Calling StartWpad config_change_notify: " + var + " change: BOUND"));

  forget();
  cfg().set("system.proxy.webproxy.enabled", "False");
  notify(var, "bound");
  EXPECT_EQ(trace(), (Strings{logspace(var, "bound"), "updateDnsConfig()", "discoverProvisioning()"}));

  forget();
  cfg().set(var, "released");
  notify(var, "released");
  EXPECT_EQ(trace(), (Strings{logspace(var, "released"), "updateDnsConfig()"}));
  EXPECT_EQ(cfg().requests(), (Strings{readReq(var)}));
}

TEST_F(NotifyTest, Row19IPv6DhcpState) {
  const string var = "system.network.wired.ipv6nic.dhcp.state";
  cfg().set(var, "Bound");
  notify(var, "Bound");
  EXPECT_EQ(trace(), (Strings{logspace(var, "Bound"), "updateDnsConfig()", "discoverProvisioning()"}));
  EXPECT_TRUE(logged(7, "config_change_notify: " + var + " change: Bound"));

  forget();
  cfg().set(var, "UNBOUND");
  notify(var, "UNBOUND");
  // The placeholder of the DHCP module answers false: no IPv6 restart.
  EXPECT_EQ(trace(), (Strings{logspace(var, "UNBOUND"), "updateDnsConfig()", "isMONotSetOnBoot()"}));
}

TEST_F(NotifyTest, Rows20And21DnsServerAndMoFlag) {
  cfg().set("system.network.wired.ipv4nic.dhcp.dnsserver", "192.168.100.200");
  notify("system.network.wired.ipv4nic.dhcp.dnsserver", "x");
  EXPECT_EQ(trace(), (Strings{logspace("system.network.wired.ipv4nic.dhcp.dnsserver", "x"), "updateDnsConfig()"}));
  EXPECT_EQ(cfg().requests(), (Strings{readReq("system.network.wired.ipv4nic.dhcp.dnsserver")}));
  // Read with 16 bytes: a 15-character address fits whole.
  EXPECT_TRUE(logged(7, "config_change_notify: system.network.wired.ipv4nic.dhcp.dnsserver change: 192.168.100.200"));

  forget();
  cfg().set("system.network.wired.ipv6nic.moflag", "On");
  notify("system.network.wired.ipv6nic.moflag", "On");
  EXPECT_EQ(trace(), (Strings{logspace("system.network.wired.ipv6nic.moflag", "On"), "isDependMO()"}));
  EXPECT_TRUE(logged(7, "config_change_notify: system.network.wired.ipv6nic.moflag change: On"));
}

// ---- front panel, NIDS, profile, banner, boot environment ----

TEST_F(NotifyTest, Row32MonitorOneOnBirchOnly) {
  eModel = kBirch;
  notifyNodes({{"video", 0}, {"monitor", 1}, {"signalType", 0}}, {"HDMI"});
  EXPECT_EQ(trace(), (Strings{logspace("video.monitor[1].signalType", "HDMI"), "set_frontpanel()"}));
  forget();
  notifyNodes({{"video", 0}, {"monitor", 1}, {"Resolution", 0}}, {"1080p"});
  EXPECT_EQ(trace(), (Strings{logspace("video.monitor[1].Resolution", "1080p"), "set_frontpanel()"}));
  forget();
  notifyNodes({{"video", 0}, {"monitor", 2}, {"signalType", 0}}, {"HDMI"});
  EXPECT_EQ(trace(), (Strings{logspace("video.monitor[2].signalType", "HDMI")}));
  forget();
  eModel = kCedar;
  notifyNodes({{"video", 0}, {"monitor", 1}, {"signalType", 0}}, {"HDMI"});
  EXPECT_EQ(trace(), (Strings{logspace("video.monitor[1].signalType", "HDMI")}));
}

TEST_F(NotifyTest, Row33NidsStartsOnlyOnExactTrue) {
  notify("security.nids.enabled", "True");
  EXPECT_EQ(trace(), (Strings{logspace("security.nids.enabled", "True"), "start_NIDS()"}));
  forget();
  notify("security.nids.enabled", "true");
  EXPECT_EQ(trace(), (Strings{logspace("security.nids.enabled", "true"), "stop_NIDS()"}));
}

TEST_F(NotifyTest, Row34ProfileUpdatesFrontPanelThenTheVersionText) {
  cfg().set("system.info.buildtype", "Release");
  cfg().set("system.info.version", "4.1.0");
  cfg().set("system.info.build", "123");
  cfg().set("security.profile", "Maximum");
  notify("security.profile", "Maximum");
  EXPECT_EQ(trace(), (Strings{logspace("security.profile", "Maximum"), "set_frontpanel()"}));
  // The version text is rebuilt for the new profile (no build number under
  // the maximum profile).
  EXPECT_EQ(cfg().get("system.info.humanreadableversion"), "Release - 4.1.0");
}

TEST_F(NotifyTest, Rows35To38BannerMembersThenApply) {
  notify("security.banner.enabled", "True");
  notify("security.banner.bannertext", "DoD");
  notify("security.banner.localsecuritybanner", "Authorised use only; `x`");
  notify("security.banner.DoD", "You are accessing a system");
  notify("security.banner.enabled", "true");
  EXPECT_EQ(trace(),
            (Strings{logspace("security.banner.enabled", "True"), "ApplyChanges(1,0,,)",
                     logspace("security.banner.bannertext", "DoD"), "ApplyChanges(1,1,,)",
                     logspace("security.banner.localsecuritybanner", "Authorised use only; `x`"),
                     "ApplyChanges(1,1,Authorised use only; `x`,)",
                     logspace("security.banner.DoD", "You are accessing a system"),
                     "ApplyChanges(1,1,Authorised use only; `x`,You are accessing a system)",
                     logspace("security.banner.enabled", "true"),
                     "ApplyChanges(0,1,Authorised use only; `x`,You are accessing a system)"}));
  EXPECT_EQ(commands(), Strings{});
}

TEST_F(NotifyTest, Row39SkipVideoBootVariable) {
  notify("system.uboot.skipvideo", "True");
  notify("system.uboot.skipvideo", "False");
  notify("system.uboot.skipvideo", "TRUE");
  EXPECT_EQ(commands(), (Strings{"fw_setenv skipvideo true", "fw_setenv skipvideo false", "fw_setenv skipvideo false"}));
}

TEST_F(NotifyTest, Row42Office365PassesExactTrue) {
  notify("uicontrol.apps.home.office365uienabled", "True");
  const Strings on = cfg().requests();
  forget();
  notify("uicontrol.apps.home.office365uienabled", "False");
  const Strings off = cfg().requests();
  forget();
  notify("uicontrol.apps.home.office365uienabled", "true");
  const Strings lower = cfg().requests();
  ASSERT_FALSE(on.empty());
  for (const string& r : on) EXPECT_EQ(r.rfind("SetAccessLevelsReq {", 0), 0u) << r;
  EXPECT_NE(on, off);
  EXPECT_EQ(lower, off);
}

TEST_F(NotifyTest, Row44EngineModeAttachesOrDetachesTheComponent) {
  notify("system.systemmode.enableitpenginemode", "True");
  notify("system.systemmode.enableitpenginemode", "False");
  notify("system.systemmode.enableitpenginemode", "true");
  EXPECT_EQ(cfg().requests(), (Strings{componentReq("multicodecenginemode", false, kStartup),
                                       componentReq("multicodecenginemode", true, kStartup),
                                       componentReq("multicodecenginemode", true, kStartup)}));
}

TEST_F(NotifyTest, UnroutedNameOnlyAsksTheLogSpaceMonitor) {
  notify("audio.volume", "5");
  EXPECT_EQ(trace(), (Strings{logspace("audio.volume", "5")}));
  EXPECT_EQ(commands(), Strings{});
  EXPECT_EQ(cfg().requests(), Strings{});
}

TEST_F(NotifyTest, NotificationWithoutFieldsIsAnEmptyUnroutedName) {
  notifyRaw("");
  EXPECT_TRUE(logged(7, "config_change_notify: varName: val:"));
  EXPECT_EQ(trace(), (Strings{logspace("", "")}));
}

}  // namespace
