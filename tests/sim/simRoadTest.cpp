// The road of one change through the real processes (an administrator's
// IPv4 mode submitted as a batch), the LAN status request, and the
// validator's answer reaching the writer.
#include <cstdlib>
#include <string>
#include <vector>

#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "tests/sim/simFixture.h"

TEST_F(SimTest, AdministratorsIpv4ModeBatchTravelsTheRoadAsFarAsTheModulesReach) {
  bringUp();
  subscribe();
  // Before: the address fields belong to DHCP and only the system writes them.
  SimRun levels = app->ctl({"config", "levels", "system.network.wired.ipv4nic.address", "--role", "startup"});
  EXPECT_NE(levels.out.find("write system (30)\n"), std::string::npos) << levels.out << levels.err;
  SimRun set = app->ctl({"config", "set", "system.network.wired.ipv4nic.mode=Off",
                         "system.network.wired.ipv4nic.address=192.0.2.50",
                         "system.network.wired.ipv4nic.subnetmask=255.255.255.0",
                         "system.network.wired.ipv4nic.defaultgateway=192.0.2.1", "--role", "admin",
                         "--submit", "system.network.submit"});
  ASSERT_EQ(set.status, 0) << set.err;

  // Accepted: the on-change answer opened the static fields to the
  // administrator before the batch's entries were checked. Batch start
  // clears the dirty bits, the change sets the LAN bit, the batch end finds
  // it set and restarts the LAN.
  ASSERT_TRUE(simWaitFor([&] { return simFind(app->journal(), "/system/bin/startnetwork --restart") >= 0; }));
  std::vector<std::string> log = app->daemonLog();
  const std::string submit = "config_submit_notify: cfgVarName=system.network.submit type=Submit";
  int start = simFind(log, submit + "Start dirtyBit=");
  int dirty = simFind(log, "set LAN dirty bit (\"system.network.wired.ipv4nic.mode\")", start);
  EXPECT_GE(start, 0);
  EXPECT_GT(dirty, start);
  EXPECT_GT(simFind(log, submit + "End dirtyBit=1,", dirty), dirty);
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
  subscribe();
  auto lanStatus = [&] {
    SystemIF::GetLanStatusRsp r;
    EXPECT_TRUE(app->sendRaw(kMsgIdSystemIFGetLanStatusReq, ""));
    EXPECT_TRUE(receive(kMsgIdSystemIFGetLanStatusRsp, &r)) << "GetLanStatusReq not answered";
    return r.ShortDebugString();
  };
  auto net = [](const std::string& cmd) { ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd; };
  auto becomes = [&](const char* var, const std::string& want) {
    const std::string name = std::string("system.network.wired.ipv6nic.") + var;
    EXPECT_TRUE(simWaitFor([&] { return app->configGet(name) == want; }))
        << name << " = " << app->configGet(name);
  };
  const std::string kLinkLocal = "fe80::2e0:dbff:fe4a:21cd/64";  // from eth0's MAC

  // Speed and duplex as the kernel gives them for a veth.
  EXPECT_EQ(lanStatus(), "error: 0 lan_status_connected: true lan_speed: \"10000\" lan_duplex: \"full\"");
  becomes("linklocal", kLinkLocal);

  net("ip -n switch link set port0 down");
  expectLanStatusNtfy(false);
  becomes("linklocal", "::/128");
  EXPECT_GE(simFind(app->journal(), "/system/bin/startnetwork --linkdown"), 0);
  EXPECT_EQ(lanStatus(), "error: 0 lan_status_connected: false");

  net("ip -n switch link set port0 up");
  expectLanStatusNtfy(true);
  becomes("linklocal", kLinkLocal);
  EXPECT_GE(simFind(app->journal(), "/system/bin/startnetwork --linkup"), 0);

  net("ip -6 addr add 2001:db8:42::150/64 dev eth0 nodad");
  net("ip -6 route add default via 2001:db8:42::1 dev eth0");
  becomes("globaladdress", "2001:db8:42::150/64");
  becomes("defaultgateway", "2001:db8:42::1");
}

// What the validator allows and what the secondary mode turns off are the
// daemon's unit tests; here its answers reach the writer through the real
// service.
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
  EXPECT_EQ(app->configGet("system.ppcipenabled"), "True");  // nothing of the secondary mode applied
}

TEST_F(SimTest, ValidatorAcceptsModularRoomOnNewHardwareAndAppliesSecondaryMode) {
  bringUp("CEDAR", {{"HARDWARE_VERSION", "20"}});
  SimRun set = app->ctl({"config", "set", "system.modularroom.mode", "Secondary", "--role", "admin"});
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(app->configGet("system.modularroom.mode"), "Secondary");
  EXPECT_EQ(app->configGet("cal.enabled"), "false");
  EXPECT_EQ(app->configGet("system.ppcipenabled_BACKUP"), "True");
}
