// A DHCPv4 lease travels the real road: dnsmasq on the switch side of eth0,
// busybox udhcpc on eth0 with the platform's hook writing the lease into
// the configuration, the daemon's change dispatcher rebuilding DNS and
// finding the provisioning server by the network's SRV record.
#include <string>

#include "tests/sim/simFixture.h"

namespace {

using SimDhcpTest = SimTest;

TEST_F(SimDhcpTest, LeaseReachesResolvConfPropertiesAndDnsServers) {
  if (const std::string t = missing({"dnsmasq", "busybox"}); !t.empty()) GTEST_SKIP() << t << " is missing";
  m_failureFiles = {"/var/dhcp/udhcpc.log", "/var/dhcp/dnsmasq.log", "/log/dnssrvc.log"};
  bringUp();
  ASSERT_EQ(dhcp("start"), 0);

  const std::string want = "search room.example\nnameserver 192.0.2.53\nnameserver 192.0.2.54\n";
  EXPECT_TRUE(simWaitFor([&] { return app->file("/data/etc/resolv.conf") == want; }))
      << app->file("/data/etc/resolv.conf");
  EXPECT_EQ(app->configGet("system.network.wired.ipv4nic.dhcp.state"), "bound");
  const char* const kProps[][2] = {{"net.dns.search", "room.example"},
                                   {"net.dns1", "192.0.2.53"},
                                   {"net.dns2", "192.0.2.54"},
                                   {"net.dns3", ""},
                                   {"net.dns4", ""}};
  for (const auto& p : kProps) EXPECT_EQ(app->file(std::string("/data/property/") + p[0]), p[1]) << p[0];
  EXPECT_EQ(app->configGet("system.network.dnsserver"), "192.0.2.53");
  EXPECT_EQ(app->configGet("system.network.dnsserver:1"), "192.0.2.54");
  EXPECT_EQ(app->configGet("system.network.dnsserver:2"), "");
  EXPECT_EQ(app->configGet("system.network.domainname"), "room.example");
  // The hook put the address the server leased to eth0's MAC on eth0.
  const std::string addr = simCommandOutput("ip -4 -o addr show dev eth0 | awk '{print $4}'");
  const std::string ip = addr.substr(0, addr.find('/'));
  EXPECT_EQ(addr, ip + "/24\n");
  EXPECT_NE(app->file("/var/dhcp/dnsmasq.leases").find("00:e0:db:4a:21:cd " + ip + " "), std::string::npos)
      << addr << app->file("/var/dhcp/dnsmasq.leases");

  // On "bound" provisioning discovery asks dnssrvc, which asks the switch's
  // name server: its SRV record names the ZUN server; DMS has none.
  EXPECT_TRUE(simWaitFor([&] {
    return app->configGet("management.provisioning.inserverdiscoverystatus") == "COMPLETE";
  })) << app->configGet("management.provisioning.inserverdiscoverystatus");
  EXPECT_EQ(app->configGet("management.provisioning.zun.server"), "zun.room.example:443");
  EXPECT_EQ(app->configGet("management.provisioning.dms.server"), "");
  const auto dns = app->dnsLog();
  EXPECT_GE(simFind(dns, "dnssrvc: _zunconfig._tcp.room.example -> zun.room.example:443"), 0);
  EXPECT_GE(simFind(dns, "dnssrvc: _dmsconfig._tcp.room.example -> error "), 0);
}

}  // namespace
