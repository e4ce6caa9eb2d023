// Change dispatcher: decoding, the two predicates, the routing table row by
// row, and the read lengths of the values it reads back.
#include "systemservice/syssrvHostname.h"
#include "tests/systemservice/test_notify_fixture.h"

namespace {

using std::string;

TEST_F(NotifyTest, ParseFailureLogsAndChangesNothing) {
  outOfBox = true;
  notifyRaw(string("\x0a\xff\xff\xff\x0f", 5));
  EXPECT_EQ(logBytes(), "<3>syssrv: hd[0]: config_change_notify: parse error\n");
  EXPECT_EQ(trace().size() + actions().size() + sent().size() + m_LanDirtyBit + !outOfBox, 0u);
}

TEST_F(NotifyTest, DecodingJoinsValuesNamesInnerInstancesAndHidesPasswords) {
  eModel = kBirch;
  notifyNodes({{"video", 0}, {"monitor", 1}, {"signalType", 0}}, {"HDMI", "DVI"});
  EXPECT_TRUE(logged(7, "varName:video.monitor[1].signalType val:HDMI\\nDVI", "config_change_notify"));
  EXPECT_EQ(logged(3, "set_frontpanel(): cannot open /sys/corvaleuc-bus/devices/corvaleuc_misc/update_mon1 fd:-1 errno: 2\n"), 1);
  notify("system.network.wired.dot1x.password", "s3cr3t;`id`");
  EXPECT_TRUE(logged(7, "varName:system.network.wired.dot1x.password val:********", "config_change_notify"));
  EXPECT_EQ(logBytes().find("s3cr3t"), string::npos) << logBytes();
  EXPECT_EQ(m_LanDirtyBit, 1);  // the 802.1X password is still a LAN setting
}

TEST_F(NotifyTest, PredicatesMatchExactNamesOnlyAndLogTheMatch) {
  int lan = 0, ipv6 = 0;
  for (const string& n : syssrvConfigNotifyRoutedNames()) {
    lan += is_LAN_notify(n.c_str());
    ipv6 += is_IPv6_notify(n.c_str());
  }
  EXPECT_EQ(lan, 25);
  EXPECT_EQ(ipv6, 7);
  for (const char* n : {"System.network.hostname", "system.network.hostname ", "system.network", "",
                        "system.network.wired.IPv6nic.mode", "system.network.wired.ipv6nic.moflag"}) {
    EXPECT_EQ(is_LAN_notify(n) + is_IPv6_notify(n), 0) << n;
  }
  EXPECT_EQ(is_LAN_notify(nullptr) + is_IPv6_notify(nullptr), 0);
  forget();
  is_LAN_notify("system.network.dnsserver");
  is_IPv6_notify("system.network.wired.ipv6nic.mode");
  EXPECT_EQ(logBytes(),
            "<7>syssrv: hd[0]: is_LAN_notify: system.network.dnsserver is LAN setting\n"
            "<7>syssrv: hd[0]: config_change_notify: is_IPv6_notify=system.network.wired.ipv6nic.mode  is IPv6 "
            "setting\n");
}

// The log-space question, which leaves these names alone (no effect).
const char LS[] = "<log space>";

// armed: the delegate running, a Birch unit, set-up under way; effects: the
// calls, "panel <secure mode>" for a front-panel refresh, then "LAN dirty" /
// "IPv6 dirty", the name writes, "ir <digit>";
// log: a debug line it writes, "%" standing for the name.
struct Row { const char *name, *value; bool armed; Strings effects, actions; const char* log = nullptr; };

// Logging is relaunched unless the start script still runs (the recorder's
// pidof finds it).
const char kSyslogCheck[] = "/system/xbin/pidof startsyslog >/dev/null 2>&1";
const Strings kNtp = {"/system/bin/startntpd --stop", "sleep 1000000", "/system/bin/startntpd --start", kSyslogCheck};
const Strings kDelegateStop = {LS, "dns published"};
const Strings kStopCmd = {"/opt/corvale/bin/start_delegate.sh  --stop"};
const Strings kDns = {LS, "no DNS server"}, kDnsFound = {LS, "no DNS server", "discovery FAILED as 50"};
const Strings kLan = {LS, "LAN dirty"};

const Row kRows[] = {
    {"system.proxy.pacfile.status", "DownloadFailed", true, kDelegateStop, kStopCmd},
    {"system.proxy.pacfile.status", "Expired", true, kDelegateStop, kStopCmd},
    {"system.proxy.pacfile.status", "Expired", false, {LS}, {}},
    {"system.proxy.pacfile.lastupdatedtime", "10:00", true,
     {LS, "dns to delegate"}, {"/opt/corvale/bin/start_delegate.sh  --restart 'anonymous' maple      &"}},
    {"time.timeserver.mode", "Manual", true, {"update_logging(null,null)"}, kNtp},
    {"time.timeserver.address", "ntp.example.com", true, {"update_logging(null,null)"}, kNtp},
    {"time.timezone", "Europe_Oslo", true, {"update_logging(null,null)"},
     {"setprop persist.sys.timezone Europe/Oslo\n", "am broadcast -a corvale.intent.action.setup.SET_TIMEZONE --es timezone Europe/Oslo\n",
      kSyslogCheck}},
    {"location.country", "Norway", false, {"write system.videostandard=PAL as 30"}, {}},
    {"location.language", "NORWEGIAN", true, {"write location.country=Norway as 30"},
     {"am broadcast -a corvale.intent.action.setup.SET_LOCALE --es locale no\n"}},
    {"system.info.systemname", "Room-1", true, {"write system.network.hostname=Room-1 as 30"}, {}},
    {"system.info.systemname", "Room-1", false, {}, {}},
    {"security.remoteaccess.telnet.enabled", "True", true, {}, {"/opt/corvale/bin/starttelnetd  & "}},
    // telnet stays enabled from the row above
    {"security.remoteaccess.telnet.pddebugport", "2323", true, {},
     {"kill `pidof telnetd`", "/opt/corvale/bin/starttelnetd 2323 & "}, "PDDebugPort is changed (\"%\")"},
    {"system.network.embeddedswitch", "On", true, {},
     {"[ -f /proc/davinci_emac_second_port ] && echo On > /proc/davinci_emac_second_port"}},
    {"system.network.embeddedswitch", "on'; reboot\n", true, {},  // stays one word
     {"[ -f /proc/davinci_emac_second_port ] && echo 'on'\\''; reboot\n' > /proc/davinci_emac_second_port"}},
    {"system.log.filename", "7", true, {"update_logging(system.log.filename,7)"}, {kSyslogCheck}},
    {"security.disabletlsversionone", "True", true, {"update_logging(security.disabletlsversionone,True)"}, {}},
    {"audio.volume", "5", true, {LS}, {}},
    {"system.network.dnsserver", "9.9.9.9", true, kLan, {}, "set LAN dirty bit (\"%\")"},
    {"system.network.hostname", "room", true, {LS, "LAN dirty", "write system.pki.csr.commonname=room. as 30"}, {},
     "set CommonName"},
    {"system.network.wired.ipv4nic.address", "10.1.2.3", true, {LS, "panel 0", "LAN dirty"}, {}},
    // LAN settings with a script row further down: the LAN restart at the
    // end of the batch applies them, the script row is never reached.
    {"system.network.icmpoutpacketrate", "10", true, kLan, {}},
    {"system.network.ignoreredirect", "1", true, kLan, {}},
    {"system.network.wired.ipv6nic.mode", "Manual", true, {LS, "IPv6 dirty"}, {}, "set IPv6 dirty bit (\"%\")"},
    {"system.network.wired.ipv6nic.globaladdress", "::1", true, {LS, "panel 0", "IPv6 dirty"}, {}},
    {"system.network.wired.ipv6nic.globaladdress", "::1", false, {LS, "IPv6 dirty"}, {}},
    {"system.proxy.webproxy.blockbasicauth", "True", true, {LS, "dns published"}, kStopCmd},
    {"system.proxy.webproxy.blockbasicauth", "True", false, {LS}, {}},
    {"system.network.wired.ipv4nic.dhcp.state", "BOUND", true, kDnsFound, {}},
    {"system.network.wired.ipv4nic.dhcp.state", "released", true, kDns, {}},
    {"system.network.wired.ipv6nic.dhcp.state", "Bound", true, kDnsFound, {}},
    {"system.network.wired.ipv4nic.dhcp.dnsserver", "10.0.0.1", true, kDns, {}},
    {"comm.Qos.tos.tosoam", "16", true, {LS}, {"/system/bin/startnetwork --settos"}},
    {"system.network.ipv6dadcount", "3", true, {LS}, {"/system/bin/startnetwork --update_ipv6dadcount"}},
    {"system.remote.channelid", "42", true, {LS, "ir 2"}, {}},
    {"system.discovery.broadcastbeacon", "true", true, {LS}, {"/opt/corvale/bin/amxbeacond      "}},
    {"security.nids.enabled", "True", true, {LS},
     {"/system/bin/nids --start", "[ -f /proc/sys/kernel/printk ] && echo 4 > /proc/sys/kernel/printk"}},
    {"security.nids.enabled", "true", true, {LS},
     {"/system/bin/nids --stop", "[ -f /proc/sys/kernel/printk ] && echo 7 > /proc/sys/kernel/printk"}},
    {"security.profile", "Maximum", false, {LS, "panel 1"}, {}},
    {"security.banner.enabled", "True", true, {LS, "ApplyChanges(1,0,,)"}, {}},
    {"security.banner.bannertext", "DoD", true, {LS, "ApplyChanges(0,1,,)"}, {}},
    {"security.banner.localsecuritybanner", "Only; `x`", true, {LS, "ApplyChanges(0,0,Only; `x`,)"}, {}},
    {"security.banner.DoD", "You are", true, {LS, "ApplyChanges(0,0,,You are)"}, {}},
    {"system.uboot.skipvideo", "True", true, {LS}, {"fw_setenv skipvideo true"}},
    {"system.uboot.skipvideo", "TRUE", true, {LS}, {"fw_setenv skipvideo false"}},
    {"time.timeformat", "24H", true, {LS}, {}},
    {"system.maxventilation", "On", true, {LS}, {"echo 1 > /sys/corvaleuc-bus/devices/corvaleuc_hwmon/enable_thermal_mang"},
     "kCfgVarMaxVentilation changed to On"},
    {"softupdate.dirtybit", "true", true, {LS}, {}},  // only "True" resets the language
};

TEST_F(NotifyTest, EachRowReachesItsEffect) {
  const Strings routed = syssrvConfigNotifyRoutedNames();
  const string kBanner = "/data/corvale/ssh/banner.txt";
  rec().make_dirs("/data/corvale/ssh");
  const string kPanel = "/sys/corvaleuc-bus/devices/corvaleuc_misc/update_secure_mode";
  peer().set("system.info.model", "BIRCH");  // the model whose thermal management is switched
  for (const Row& r : kRows) {
    SCOPED_TRACE(string(r.name) + "=" + r.value + (r.armed ? " armed" : ""));
    forget();
    gSshBanner.Init();
    delegate_running = r.armed ? 1 : 0;
    m_LanDirtyBit = m_IPv6DirtyBit = 0;
    eModel = r.armed ? kBirch : kCedar;
    outOfBox = r.armed;
    peer().set(r.name, r.value);  // for the rows that read their variable again
    rec().put_file(ir_filter_sys_file, "");
    rec().put_file(kPanel, "");
    notify(r.name, r.value);
    Strings want, got = trace();
    if (!rec().file_bytes(kPanel).empty()) got.push_back("panel " + rec().file_bytes(kPanel));
    for (const string& e : r.effects) if (e != LS) want.push_back(e);
    // Provisioning discovery ran: the status it wrote.
    for (const string& w : sent("write management.provisioning.inserverdiscoverystatus=")) got.push_back("discovery " + w.substr(54));
    if (m_LanDirtyBit) got.push_back("LAN dirty");
    if (m_IPv6DirtyBit) got.push_back("IPv6 dirty");
    for (const char* n : {"write system.network.hostname", "write system.pki.csr.commonname", "write system.videostandard",
                          "write location.country"}) {
      for (const string& w : sent(n)) got.push_back(w);
    }
    if (!rec().file_bytes(ir_filter_sys_file).empty()) got.push_back("ir " + rec().file_bytes(ir_filter_sys_file));
    // The banner file was written or removed: from these settings.
    for (const SysIoRecord& b : rec().records()) {
      if ((b.kind == SysIoCall::kRename ? b.to : b.kind == SysIoCall::kUnlink ? b.path : "") != kBanner) continue;
      const SshBanner& s = gSshBanner;
      got.push_back("ApplyChanges(" + std::to_string(s.mbEnable) + "," + std::to_string(s.mbDodMode) + "," +
                    s.mNormalText + "," + s.mDodText + ")");
    }
    EXPECT_EQ(got, want);
    EXPECT_EQ(actions(), r.actions);
    EXPECT_EQ(contains(routed, r.name), string(r.name) != "audio.volume");
    string log = r.log ? r.log : "";
    if (log.find('%') != string::npos) log.replace(log.find('%'), 1, r.name);
    EXPECT_TRUE(r.log == nullptr || logged(7, log, "config_change_notify")) << log;
  }
  char off[] = "false";
  update_amx_beacon(off);  // the beacon its row started is not left to a later test
}

// Every value read back keeps its longest allowed length: N characters for
// a read of N bytes.
TEST_F(NotifyTest, ValuesReadBackKeepTheirFullLength) {
  const string v15 = "192.168.100.200", v16 = "2001:db8::1:2:34", v52(52, 'f'), v63(63, 'x');
  const string host99 = string(88, 'a') + ".com:601514";
  const string dhcp = "config_change_notify: system.network.wired.";
  // stored: a further variable's name and value; effect: a request, a call or a debug line.
  const struct { const char* notified; string value; Strings stored; string effect; } cases[] = {
      {"system.network.wired.ipv4nic.address", v15, {}, "write system.pki.csr.sanipv4addr=" + v15 + " as 30"},
      {"system.network.wired.ipv6nic.globaladdress", v52, {"system.network.wired.ipv6nic.enabled", "True"},
       "write system.pki.csr.sanipv6globaladdr=" + v52 + " as 30"},
      {"system.network.wired.ipv4nic.dhcp.state", v63, {}, dhcp + "ipv4nic.dhcp.state change: " + v63},
      {"system.network.wired.ipv4nic.dhcp.dnsserver", v16, {}, dhcp + "ipv4nic.dhcp.dnsserver change: " + v16},
      {"system.log.remotelog.serveraddress", host99, {},
       "update_logging(system.log.remotelog.serveraddress," + host99 + ")"},
      {"system.info.outofbox", "True", {"system.info.systemname", v63}, "write comm.NICs.H323Nic.h323name=" + v63 + " as 30"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.notified);
    forget();
    peer().set(c.notified, c.value);
    if (!c.stored.empty()) peer().set(c.stored[0], c.stored[1]);
    notify(c.notified, "changed");
    EXPECT_TRUE(contains(sent(), c.effect) || contains(trace(), c.effect) || logged(7, c.effect + "\n")) << c.effect;
  }
}

}  // namespace
