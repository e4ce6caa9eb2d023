// The once-at-start steps in order, model-specific settings, what an
// out-of-box unit and a secondary unit get, and the default-password rule.
#include <algorithm>
#include <cstring>

#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvStartup.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using std::string;
using std::vector;

using StartupStepsTest = CfgTest;

TEST_F(StartupStepsTest, ConfiguredUnitStepsRunInOrder) {
  setenv("CORVALE_BOARDID", "CEDAR", 1);
  for (const auto& [name, value] : vector<std::pair<string, string>>{
           {"security.banner.enabled", "True"}, {"security.banner.bannertext", "DoD"},
           {"security.banner.localsecuritybanner", "Authorised use only"}, {"system.info.outofbox", "False"},
           {"system.remote.channelid", "7"}, {"time.timezone", "Europe/Oslo"},
           {"system.discovery.broadcastbeacon", "On"}, {"system.pki.csr.commonname", "room12.example.com"},
           {"system.network.wired.ipv4nic.address", "192.0.2.10"},
           {"system.network.wired.ipv6nic.dhcp.state", "BOUND"}, {"system.log.spacemonitoring.enable", "False"}}) {
    peer().set(name, value);
  }
  rec().set_monotonic(5000, 250000000);
  rec().put_file("/proc/crvl_ir_fltr", "");
  rec().make_dirs("/data/corvale/ssh");
  syssrvStartupConfig();
  // The banner stops at the first setting that cannot be read.
  EXPECT_EQ(rec().file_bytes("/data/corvale/ssh/banner.txt"), "\n");  // the DoD text, unread
  EXPECT_EQ(calls(), (vector<string>{"no DNS server"}));
  EXPECT_EQ(sent("write system.log."), vector<string>{"write system.log.spacemonitoring.usedpercent=100 as 30"});
  // Provisioning discovery ran (DHCPv6 bound): no domain configured, so nothing found.
  EXPECT_EQ(sent("write management.provisioning."),
            vector<string>{"write management.provisioning.inserverdiscoverystatus=FAILED as 50"});
  EXPECT_EQ(rec().file_bytes("/proc/crvl_ir_fltr"), "7");  // the remote channel
  EXPECT_TRUE(rec().records(SysIoCall::kForkExec).empty());  // a beacon only for "true"
  EXPECT_EQ(rec().commands().back(), "./wpad");  // StartWpad, last
  // The zone as configured, without its broadcast at start.
  const vector<string> commands = rec().commands();
  EXPECT_EQ(commands.at(1), "setprop persist.sys.timezone Europe/Oslo\n");  // after the link-local query
  EXPECT_TRUE(std::none_of(commands.begin(), commands.end(), [](const string& c) { return c.rfind("am ", 0) == 0; }));
  EXPECT_EQ(sent("read location."), (vector<string>{"read location.language", "read location.country"}));
  vector<string> pki;
  for (const char* w : {"sanfqdn=room12.example.com", "sanaddtlname=", "sanipv4addr=192.0.2.10",
                        "sanipv4dnsaddr=192.0.2.10", "sanipv6globaladdr=", "sanipv6sitelocaladdr=",
                        "sanipv6linklocaladdr="})
    pki.push_back("write system.pki.csr." + string(w) + " as 30");
  EXPECT_EQ(sent("write system.pki."), pki);
  EXPECT_EQ(sent("register "), (vector<string>{"register system.network.wired.ipv4nic.dhcp.state kind 3",
                                               "register system.network.wired.ipv6nic.dhcp.state kind 3"}));
  EXPECT_EQ(discoverProvisioningTimeout, 5000250u + 90000u);
  EXPECT_TRUE(logged(7, "syssrvMessageInit: Webproxy is Enabled.\n"));
  EXPECT_EQ(sent("levels system.modularroom.secondary.connection.allowexpiredcertificates").size(), 1u);
}

// A non-zero M/O flag already seen at start makes the first change report
// count; "0" leaves it to be absorbed. Only an unbound DHCPv6 lease with no
// flag restarts the IPv6 side, and only once.
TEST_F(StartupStepsTest, DhcpInitTakesANonZeroFlagAtStartAsSeenAndRestartsAnUnboundIPv6Once) {
  peer().set("system.network.wired.ipv6nic.enabled", "true");
  peer().set("system.network.wired.ipv6nic.mode", "Auto");
  // The last row is a second start-up check in the same run.
  struct Row { const char *flag, *state; bool again, restart; } rows[] = {{"64", "bound", false, false},
      {"0", "bound", false, false}, {"64", "unbound", false, false}, {"0", "unbound", false, true}, {"0", "unbound", true, false}};
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.flag) + " " + r.state);
    bMOFlagInited = false;
    if (!r.again) bMOFlagSetOnBoot = false;
    peer().set("system.network.wired.ipv6nic.moflag", r.flag);
    peer().set("system.network.wired.ipv6nic.dhcp.state", r.state);
    rec().clear();
    syssrvDhcpInit();
    const auto cmds = rec().commands();
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "/system/bin/startnetwork --restartv6only"), r.restart ? 1 : 0);
    EXPECT_EQ(isDependMO(), strcmp(r.flag, "0") != 0);
  }
}

TEST_F(StartupStepsTest, OutOfBoxStaticSecondaryUnit) {
  peer().set("system.info.outofbox", "True");
  peer().set("system.info.systemname", "Room;`x`");
  peer().set("system.proxy.webproxy.enabled", "FALSE");
  peer().set("system.network.wired.ipv4nic.mode", "Off");
  peer().set("system.modularroom.mode", "secondary");
  peer().set("system.modularroom.secondary.pairing.state", "UnPaired");
  rec().put_file("/sys/devices/corvaleuc_leds/auto_blink", "");
  syssrvStartupConfig();
  EXPECT_TRUE(outOfBox);
  EXPECT_EQ(sent("write comm.NICs.H323Nic.h323name"), (vector<string>{"write comm.NICs.H323Nic.h323name=Room;`x` as 30"}));
  EXPECT_EQ(sent("write system.sleeptimeout"), (vector<string>{"write system.sleeptimeout=0 as 30"}));
  EXPECT_EQ(sent("write system.network.hostname=RoomLine-").size(), 1u);  // not a host name: drawn
  EXPECT_EQ(logged(7, "StartWpad: Webproxy is disabled.\n"), 1);
  EXPECT_EQ(rec().file_bytes("/sys/devices/corvaleuc_leds/auto_blink"), "50 0 0 255 50 0 0 0");
  EXPECT_TRUE(logged(7, "syssrvMessageInit: Webproxy is disabled.\n"));
  EXPECT_TRUE(logged(7, "Calling StartWpad During Startup for StaticIP. SYSSRVMESSAGE INIT\n"));
  EXPECT_TRUE(logged(6, "modroom status on startup var system.modularroom.secondary.pairing.state[UnPaired] - "
                        "Blinking Blue\n"));
}

TEST_F(StartupStepsTest, ModelSpecificSettings) {
  // hangup null: not set.
  struct Row { eModelT model; const char* hw; bool dev; const char* hangup; bool cecOff, switchLocked, modularOpen; };
  const Row rows[] = {{kHalden, "0", false, "[None|Sleep]", true, true, false},
                      {kHalden, "2", false, "[None|Power_Off|Sleep]", false, true, false},
                      {kBirch, "30", false, nullptr, false, false, false}, {kCedar, "20", false, nullptr, false, true, true},
                      {kCedar110, "19", false, nullptr, false, true, false},
                      {kCedar100, "1", true, nullptr, false, true, true}};
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.model) + "/" + r.hw);
    peer().set("system.info.hardwareversion", r.hw);
    m_bDevfeatures = r.dev;
    forget();
    initModelSpecific(r.model);
    const string hangup = "options system.remote.hangupkeylongpressfunc " + string(r.hangup ? r.hangup : "");
    EXPECT_EQ(sent("options "), r.hangup ? vector<string>{hangup + " default 1 as 50"} : vector<string>{});
    EXPECT_EQ(sent("write video.cec.cecenable").size(), r.cecOff ? 1u : 0u);
    EXPECT_EQ(sent("levels system.network.embeddedswitch").size(), r.switchLocked ? 1u : 0u);
    EXPECT_EQ(sent("levels system.modularroom.mode"),
              vector<string>{levels("system.modularroom.mode", r.modularOpen ? A : S, r.modularOpen ? A : S)});
    EXPECT_EQ(peer().get("system.info.eulafile"), "eula");
  }
  EXPECT_STREQ(ir_filter_sys_file, "/proc/crvl_fpga_ir_fltr");
}

TEST_F(StartupStepsTest, DefaultPasswordBecomesTheSerialNumber) {
  const char kRemote[] = "security.authentication.accounts.adminaccount.remotepassword";
  const char kLocalPw[] = "security.authentication.accounts.adminaccount.localpassword";
  struct Row { const char* model; const char* oob; bool remoteDefault; vector<string> writes; };
  const Row rows[] = {
      {"CEDAR", "TRUE", true, {"write " + string(kRemote) + "=FTX1 as 30", "write " + string(kLocalPw) + "=FTX1 as 30"}},
      {"lumenpro", "False", false, {"write " + string(kLocalPw) + "=FTX1 as 30"}},
      {"CEDAR", "fals", true, {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(string(r.model) + "/" + r.oob);
    peer().set("system.info.model", r.model);
    peer().set("system.info.outofbox", r.oob);
    r.remoteDefault ? peer().setDefault(kRemote, "") : peer().set(kRemote, "chosen");
    peer().setDefault(kLocalPw, "");
    peer().set("system.info.serialnumber", "FTX1");
    forget();
    checkDefaultPassword();
    EXPECT_EQ(sent("write "), r.writes);
  }
}

}  // namespace
