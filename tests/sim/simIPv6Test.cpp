// IPv6 on the real road (native only, label sim): the switch's dnsmasq
// advertises 2001:db8:1::/64 with the managed/other flags a row asks for and
// serves DHCPv6; the platform's RA watcher and DHCPv6 client (sim/ra-watch,
// sim/dhcpv6-hook) write the flags and the lease into the configuration,
// and the daemon decides whether the administrator's static IPv6 name
// server may join the DHCPv4 ones.
#include "tests/sim/simFixture.h"

namespace {

using SimIPv6Test = SimTest;

TEST_F(SimIPv6Test, RouterFlagsDecideWhetherStaticIPv6ServersAreUsed) {
  if (const std::string t = missing({"dnsmasq", "busybox", "rdisc6", "dhclient"}); !t.empty()) GTEST_SKIP() << t;
  m_failureFiles = {"/var/dhcp/ra-watch.log", "/var/dhcp/dhcpv6-hook.log", "/var/dhcp/dhclient6.log",
                    "/var/dhcp/dnsmasq6.log"};
  bringUp();
  const std::string kStatic = "2001:db8:1::99";
  ASSERT_EQ(app->ctl({"config", "set", "system.network.wired.ipv6nic.enabled", "True", "--role", "admin"}).status, 0);
  ASSERT_EQ(app->ctl({"config", "set", "system.network.dnsserver", kStatic, "--role", "system"}).status, 0);
  ASSERT_EQ(dhcp("start"), 0);

  // Rows run in order: the watcher's first report after start is absorbed,
  // every later one restarts the IPv6 side; with a flag set the static
  // server gives way to the one DHCPv6 offers (a stateless client asks for
  // options only, so eth0 keeps no leased address). Back to no flags, the
  // server DHCPv6 gave, now in the configured list, counts as static.
  // hookEvent: the DHCPv6 hook's last run, "" for none (dhclient -S reports
  // RENEW6); third: the name server after the DHCPv4 ones; restarts:
  // "--restartv6only" runs so far.
  struct Row { const char *mode, *moflag, *hookEvent; std::string third; int restarts; bool leasedAddress; };
  const Row kRows[] = {{"slaac", "0", "", kStatic, 0, false},
                       {"managed", "192", "BOUND6", "2001:db8:1::53", 1, true},
                       {"stateless", "64", "RENEW6", "2001:db8:1::53", 2, false},
                       {"slaac", "0", "STOP6", "2001:db8:1::53", 3, false}};
  for (const Row& r : kRows) {
    SCOPED_TRACE(r.mode);
    ASSERT_EQ(dhcp("ra", std::string(" ") + r.mode), 0);
    EXPECT_TRUE(simWaitFor([&] {
      const auto watch = app->fileLines("/var/dhcp/ra-watch.log");
      return !watch.empty() && watch.back().find("flags " + std::string(r.moflag) + " ") != std::string::npos;
    })) << app->file("/var/dhcp/ra-watch.log");
    EXPECT_TRUE(simWaitFor([&] {
      const auto hook = app->fileLines("/var/dhcp/dhcpv6-hook.log");
      return (hook.empty() ? std::string() : hook.back()) ==
             (*r.hookEvent ? "dhcpv6-hook: " : "") + std::string(r.hookEvent);
    })) << app->file("/var/dhcp/dhcpv6-hook.log");
    const std::string want =
        "search room.example\nnameserver 192.0.2.53\nnameserver 192.0.2.54\nnameserver " + r.third + "\n";
    EXPECT_TRUE(simWaitFor([&] { return app->file("/data/etc/resolv.conf") == want; }))
        << app->file("/data/etc/resolv.conf");
    EXPECT_TRUE(simWaitFor([&] {
      int n = 0;
      for (const std::string& l : app->journal()) n += l.find("startnetwork --restartv6only") != std::string::npos;
      return n == r.restarts;
    }));
    EXPECT_EQ(app->configGet("system.network.wired.ipv6nic.moflag"), r.moflag);
    EXPECT_EQ(app->file("/data/property/net.dns3"), r.third);
    EXPECT_EQ(app->configGet("system.network.dnsserver:2"), r.third);
    EXPECT_EQ(simCommandOutput("ip -6 -o addr show dev eth0 | grep -c '2001:db8:1::1[0-9a-f][0-9a-f]/128'"),
              r.leasedAddress ? "1\n" : "0\n");
  }
  EXPECT_EQ(app->configGet("system.network.wired.ipv6nic.dhcp.dnsserver"), "2001:db8:1::53");
  EXPECT_EQ(app->configGet("system.network.wired.ipv6nic.dhcp.domainname"), "room.example");
}

}  // namespace
