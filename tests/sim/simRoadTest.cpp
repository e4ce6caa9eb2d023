// The road of one change through the real processes (an administrator's
// IPv4 mode submitted as a batch), the LAN status request, and the
// validator's answer reaching the writer.
#include <cstdlib>
#include <string>
#include <vector>

#include "ConfigIF.pb.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "tests/sim/simFixture.h"

namespace {

const char kSubmitStart[] = "config_submit_notify: cfgVarName=system.network.submit type=SubmitStart dirtyBit=";
const char kSubmitEnd[] = "config_submit_notify: cfgVarName=system.network.submit type=SubmitEnd dirtyBit=1,";
const char kModeDirty[] = "config_change_notify: set LAN dirty bit (\"system.network.wired.ipv4nic.mode\")";
const char kStartnetworkRestart[] = "/system/bin/startnetwork --restart";

const char* const kStaticVars[] = {"system.network.wired.ipv4nic.address", "system.network.wired.ipv4nic.subnetmask",
                                   "system.network.wired.ipv4nic.defaultgateway"};

std::string writeLevel(SimAppliance& app, const std::string& name) {
  SimRun r = app.ctl({"config", "levels", name, "--role", "startup"});
  if (r.status != 0) return "<error: " + r.err + ">";
  size_t w = r.out.find("write ");
  return w == std::string::npos ? r.out : r.out.substr(w, r.out.find('\n', w) - w);
}

SimRun submitStaticAddress(SimAppliance& app) {
  return app.ctl({"config", "set", "system.network.wired.ipv4nic.mode=Off",
                  "system.network.wired.ipv4nic.address=192.0.2.50",
                  "system.network.wired.ipv4nic.subnetmask=255.255.255.0",
                  "system.network.wired.ipv4nic.defaultgateway=192.0.2.1", "--role", "admin", "--submit",
                  "system.network.submit"});
}

// The daemon has acted on the batch end once the LAN restart's command
// shows after the batch end's line.
bool batchEndHandled(SimAppliance& app) {
  std::vector<std::string> log = app.daemonLog();
  int end = simFind(log, kSubmitEnd);
  return end >= 0 && simFind(app.journal(), kStartnetworkRestart) >= 0;
}

}  // namespace

TEST_F(SimTest, AdministratorsIpv4ModeBatchTravelsTheRoadAsFarAsTheModulesReach) {
  bringUp();
  subscribeLanStatus();
  // Before: the address fields belong to DHCP and only the system writes them.
  for (const char* v : kStaticVars) EXPECT_EQ(writeLevel(*app, v), "write system (30)") << v;
  SimRun set = submitStaticAddress(*app);
  ASSERT_EQ(set.status, 0) << set.err;

  // On-change: answered (the batch was accepted) after the access-level
  // rule opened the static fields to the administrator.
  for (const char* v : kStaticVars) EXPECT_EQ(writeLevel(*app, v), "write admin (20)") << v;
  EXPECT_EQ(app->configGet("system.network.wired.ipv4nic.mode"), "Off");
  EXPECT_EQ(app->configGet("system.network.wired.ipv4nic.address"), "192.0.2.50");

  // Batch start clears the dirty bits, the change sets the LAN bit, the
  // batch end finds it set and restarts the LAN.
  ASSERT_TRUE(simWaitFor([&] { return batchEndHandled(*app); })) << "no batch end handled";
  std::vector<std::string> log = app->daemonLog();
  int onChange = simFind(log, "message: config_on_change: varName:system.network.wired.ipv4nic.mode val:Off");
  int start = simFind(log, kSubmitStart);
  int dirty = simFind(log, kModeDirty, start);
  int end = simFind(log, kSubmitEnd, dirty);
  EXPECT_GE(onChange, 0);
  EXPECT_GE(start, 0);
  EXPECT_GT(dirty, start);
  EXPECT_GT(end, dirty);
  for (const char* v : kStaticVars) {
    EXPECT_GT(simFind(log, std::string("config_change_notify: set LAN dirty bit (\"") + v + "\")", start), start)
        << v;
  }
  // The configuration service saw the daemon's on-change answer before it
  // committed the batch.
  std::vector<std::string> cfg = app->configLog();
  int asked = simFind(cfg, "configsrvc: OnChangeReq system.network.wired.ipv4nic.mode[0] -> SystemSrvc");
  int committed = simFind(cfg, "configsrvc: committed system.network.wired.ipv4nic.mode[0] by simtest-ctl-");
  EXPECT_GE(asked, 0);
  EXPECT_GT(committed, asked);
  // The restart took eth0 down and up, the state is told, and the platform
  // script's stand-in applied the static settings to the kernel's eth0.
  expectLanStatusNtfy(true);
  EXPECT_EQ(simCommandOutput("ip -4 -o addr show dev eth0 | awk '{print $4}'"), "192.0.2.50/24\n");
  EXPECT_EQ(simCommandOutput("ip -4 route show default"), "default via 192.0.2.1 dev eth0 \n");
}

// The appliance's eth0 is a veth end in the seal; its peer "port0" in the
// namespace "switch" is the network. The daemon polls the kernel's carrier
// every pass and scans the kernel's IPv6 tables every eighth pass.
TEST_F(SimTest, KernelLinkAndIpv6ChangesReachTheLanStatusAndIpv6Variables) {
  bringUp();
  subscribeLanStatus();
  const char* local = app->endpoint();
  auto lanStatus = [&] {
    SystemIF::GetLanStatusRsp r;
    EXPECT_TRUE(app->sendRaw(kMsgIdSystemIFGetLanStatusReq, ""));
    MSG_Message* rsp = MSG_RecvMsg(local, kMsgIdSystemIFGetLanStatusRsp, 5000);
    EXPECT_NE(rsp, nullptr) << "GetLanStatusReq not answered";
    if (rsp == nullptr) return r;
    EXPECT_TRUE(r.ParseFromArray(MSG_GetPayload(rsp), static_cast<int>(MSG_GetPayloadBytes(rsp))));
    MSG_ReleaseMsg(rsp);
    return r;
  };
  auto net = [](const std::string& cmd) { ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd; };
  auto becomes = [&](const char* var, const std::string& want) {
    const std::string name = std::string("system.network.wired.ipv6nic.") + var;
    EXPECT_TRUE(simWaitFor([&] { return app->configGet(name) == want; })) << name << " = " << app->configGet(name);
  };
  const std::string kLinkLocal = "fe80::2e0:dbff:fe4a:21cd/64";  // from eth0's MAC

  // Speed and duplex as the kernel gives them for a veth.
  SystemIF::GetLanStatusRsp up = lanStatus();
  EXPECT_TRUE(up.lan_status_connected());
  EXPECT_EQ(up.lan_speed(), "10000");
  EXPECT_EQ(up.lan_duplex(), "full");
  becomes("linklocal", kLinkLocal);

  net("ip -n switch link set port0 down");
  expectLanStatusNtfy(false);
  becomes("linklocal", "::/128");
  EXPECT_GE(simFind(app->journal(), "/system/bin/startnetwork --linkdown"), 0);
  SystemIF::GetLanStatusRsp down = lanStatus();
  EXPECT_FALSE(down.lan_status_connected());
  EXPECT_FALSE(down.has_lan_speed() || down.has_lan_duplex());

  net("ip -n switch link set port0 up");
  expectLanStatusNtfy(true);
  becomes("linklocal", kLinkLocal);
  EXPECT_GE(simFind(app->journal(), "/system/bin/startnetwork --linkup"), 0);

  net("ip -6 addr add 2001:db8:42::150/64 dev eth0 nodad");
  net("ip -6 route add default via 2001:db8:42::1 dev eth0");
  becomes("globaladdress", "2001:db8:42::150/64");
  becomes("defaultgateway", "2001:db8:42::1");
  net("ip -6 route del default via 2001:db8:42::1 dev eth0");
  net("ip -6 addr del 2001:db8:42::150/64 dev eth0");
  becomes("globaladdress", "::/128");
  becomes("defaultgateway", "::");
}

TEST_F(SimTest, ValidatorRefusalReachesTheWriter) {
  bringUp();  // a CEDAR of hardware version 12: no modular room
  // The administrator may not even try: the start-up locked the setting.
  SimRun admin = app->ctl({"config", "set", "system.modularroom.mode", "Secondary", "--role", "admin"});
  EXPECT_EQ(admin.status, 1);
  EXPECT_NE(admin.err.find("config set system.modularroom.mode: kErrNotAuthorized (-8)"), std::string::npos)
      << admin.err;
  // The system may write it, and the daemon's validator refuses the value.
  SimRun sys = app->ctl({"config", "set", "system.modularroom.mode", "Secondary", "--role", "system"});
  EXPECT_EQ(sys.status, 1);
  EXPECT_NE(sys.err.find("config set system.modularroom.mode: kErrNotYetSupported (-6)"), std::string::npos)
      << sys.err;
  EXPECT_EQ(app->configGet("system.modularroom.mode"), "Disabled");
  std::vector<std::string> log = app->daemonLog();
  EXPECT_GE(simFind(log, "<7>syssrv: hd[0]: message: (config_dynamic_validate) var system.modularroom.mode, val "
                         "Secondary not allowed for Model, 4 eModel, HWVer=12"),
            0);
  EXPECT_GE(simFind(log, "<4>syssrv: hd[0]: message: (config_dynamic_validate) failed validation var "
                         "system.modularroom.mode, val Secondary, err "),
            0);
  EXPECT_GE(simFind(app->configLog(), "configsrvc: SystemSrvc refused system.modularroom.mode[0] with -6"), 0);
  // Refused means nothing of the secondary mode was applied.
  EXPECT_EQ(app->configGet("cal.enabled"), "True");
  EXPECT_EQ(app->configGet("softupdate.pollingenabled"), "True");
  EXPECT_EQ(app->configGet("system.ppcipenabled"), "True");
}

TEST_F(SimTest, ValidatorAcceptsModularRoomOnNewHardwareAndAppliesSecondaryMode) {
  bringUp("CEDAR", {{"HARDWARE_VERSION", "20"}});
  SimRun set = app->ctl({"config", "set", "system.modularroom.mode", "Secondary", "--role", "admin"});
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(app->configGet("system.modularroom.mode"), "Secondary");
  EXPECT_GE(simFind(app->daemonLog(), "message: (config_dynamic_validate)set reboot required flag "), 0);
  const std::vector<std::pair<const char*, const char*>> secondary = {
      {"security.remoteaccess.telnet.enabled", "false"},
      {"cal.enabled", "false"},
      {"dir.globalserver", "disabled"},
      {"uicontrol.apps.lumenboard.enabled", "false"},
      {"security.remoteaccess.permanentpairing.enabled", "false"},
      {"security.remoteaccess.ssh.enabled", "false"},
      {"security.remoteaccess.sshservice.enabled", "false"},
      {"management.snmp.enabled", "false"},
      {"system.sleeptimeout", "0"},
      {"softupdate.pollingenabled", "false"},
      {"system.ppcipenabled", "False"},
      {"system.ppcipenabled_BACKUP", "True"},
      {"uicontrol.apps.home.office365uienabled", "false"},
  };
  for (const auto& e : secondary) EXPECT_EQ(app->configGet(e.first), e.second) << e.first;
}
