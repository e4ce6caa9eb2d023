// DNS and DHCP options against the fake "ConfigSrvc" and the recorder seam:
// which servers fill which slots, what is written back (instance, value,
// role), the properties and resolv.conf bytes published, the delegate
// diversion, and DHCP values that are not what they should be.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>

#include "OS/os_testing.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvMessage.h"
#include "tests/systemservice/daemon_test_env.h"
#include "tests/systemservice/fake_configsrvc.h"

namespace {

const char kResolv[] = "/data/etc/resolv.conf";
// Short names of the variables the rows set, under "system.network.".
const std::map<std::string, std::string> kVar = {
    {"v4state", "wired.ipv4nic.dhcp.state"}, {"v6state", "wired.ipv6nic.dhcp.state"}, {"v6on", "wired.ipv6nic.enabled"},
    {"v4dom", "wired.ipv4nic.dhcp.domainname"}, {"v6dom", "wired.ipv6nic.dhcp.domainname"}, {"dom", "domainname"},
    {"v4srv", "wired.ipv4nic.dhcp.dnsserver"}, {"v6srv", "wired.ipv6nic.dhcp.dnsserver"}, {"dns", "dnsserver"},
    {"v4mode", "wired.ipv4nic.mode"}, {"v6mode", "wired.ipv6nic.mode"}, {"slaac", "wired.ipv6nic.enableslaac"},
    {"moflag", "wired.ipv6nic.moflag"}};

class DhcpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(daemonTestEnv(&m_rec, "SystemSrvc"));
    m_cfg = std::make_unique<FakeConfigSrvc>();
    ASSERT_TRUE(m_cfg->start());
    ASSERT_EQ(syssrvCfgMsgInit("SystemSrvc"), 0);
    m_rec->put_file(kResolv, "stale\n");
  }
  void TearDown() override {
    m_cfg.reset();
    MSG_CloseLocal("SystemSrvc");
    delegate_running = 0;
    logmsg_testing_reset();
    sysio_install(nullptr);
  }
  // "alias[#instance]=value|..."
  void given(const std::string& entries) {
    for (size_t at = 0, end; at < entries.size(); at = end + 1) {
      end = std::min(entries.find('|', at), entries.size());
      size_t eq = entries.find('=', at), hash = std::min(entries.find('#', at), eq);
      int instance = hash < eq ? std::stoi(entries.substr(hash + 1)) : 0;
      const std::string& name = kVar.at(entries.substr(at, hash - at));
      m_cfg->set("system.network." + name, entries.substr(eq + 1, end - eq - 1), instance);
    }
  }
  // "dns#1=value|dom#0=value|..." of the writes under "system.network.", each made as kStartup.
  std::string writes() const {
    std::string out;
    for (const CfgRequest& r : m_cfg->requests()) {
      if (r.type != kMsgIdConfigIFWriteReq) continue;
      EXPECT_EQ(r.role, kStartup) << r.vars[0].name;
      out += "|" + r.vars[0].name.substr(15, 3) + "#" + std::to_string(r.vars[0].instance) + "=" + r.values[0];
    }
    return out.substr(out.empty() ? 0 : 1);
  }
  // search,dns1,..,dns4 as published; "-" for a property never set.
  std::string props() const {
    std::string out;
    for (const char* p : {"net.dns.search", "net.dns1", "net.dns2", "net.dns3", "net.dns4"})
      out += "," + (m_rec->has_property(p) ? m_rec->property(p) : "-");
    return out.substr(1);
  }
  bool logged(const std::string& line) const {
    return m_rec->file_bytes("/dev/crvllog").find(line + "\n") != std::string::npos;
  }
  std::unique_ptr<RecorderSysIo> m_rec;
  std::unique_ptr<FakeConfigSrvc> m_cfg;
};

// Each row: the variables set, then "<writes> / <properties> / <resolv.conf>"
// after one update (resolv.conf is "stale\n" until written), and a line it logs.
TEST_F(DhcpTest, SlotsWritesAndPublication) {
  const char* const rows[][3] = {
      // DHCPv4 lease: its domain and servers everywhere.
      {"v4state=Bound|v4dom=corp|v4srv#0=10.0.0.1|v4srv#1=10.0.0.2",
       "dom#0=corp|dns#0=10.0.0.1|dns#1=10.0.0.2 / corp,10.0.0.1,10.0.0.2,, / "
       "search corp\nnameserver 10.0.0.1\nnameserver 10.0.0.2\n",
       "<7>syssrv: hd[0]: Use Dhcpv4 DNS Server [1]: 10.0.0.2, numDnsServers 2"},
      // Four DHCPv4 servers: DHCPv6 and static servers are not consulted.
      {"v4state=bound|v4dom=a|v4srv#0=10.0.0.1|v4srv#1=10.0.0.2|v4srv#2=10.0.0.3|v4srv#3=10.0.0.4|v6on=True|"
       "v6state=bound|v6srv#0=2001:db8::53|v4mode=Off|dns#0=192.0.2.1|dom=a",
       "dns#0=10.0.0.1|dns#1=10.0.0.2|dns#2=10.0.0.3|dns#3=10.0.0.4 / a,10.0.0.1,10.0.0.2,10.0.0.3,10.0.0.4 / "
       "search a\nnameserver 10.0.0.1\nnameserver 10.0.0.2\nnameserver 10.0.0.3\nnameserver 10.0.0.4\n"},
      // Manual v4 and v6: static servers of each family, "::" is none; no domain, an empty file.
      {"v4mode=Off|v6on=true|v6mode=off|dns#0=192.0.2.1|dns#1=::|dns#2=2001:db8::1",
       "dns#1=2001:db8::1|dns#2= / ,192.0.2.1,2001:db8::1,, / "},
      // Automatic v6 with SLAAC: static v6 servers only without managed/other flags.
      {"v4mode=Off|v6on=True|slaac=True|moflag=64|dns#0=192.0.2.1|dns#1=2001:db8::1", "dns#1= / ,192.0.2.1,,, / "},
      {"v4mode=Off|v6on=True|slaac=True|moflag=0|dns#0=192.0.2.1|dns#1=2001:db8::1", " / ,192.0.2.1,2001:db8::1,, / "},
      // DHCPv6 alone: its domain; its servers fill the slots in instance order.
      {"v6on=True|v6state=bound|v6dom=six|v6srv#0=2001:db8::53|v6srv#1=::|v6srv#2=2001:db8::54|dom=six",
       "dns#0=2001:db8::53|dns#2=2001:db8::54 / six,2001:db8::53,,2001:db8::54, / "
       "search six\nnameserver 2001:db8::53\nnameserver 2001:db8::54\n",
       "<7>syssrv: hd[0]: Use Dhcpv6 DNS Server: [2], 2001:db8::54, numDnsServers 2"},
      // Both leases: the DHCPv4 domain wins, DHCPv6 servers follow the DHCPv4 ones.
      {"v4state=bound|v4dom=four|v4srv#0=10.0.0.1|v6on=True|v6state=bound|v6dom=six|v6srv#0=::1",
       "dom#0=four|dns#0=10.0.0.1|dns#1=::1 / four,10.0.0.1,::1,, / "
       "search four\nnameserver 10.0.0.1\nnameserver ::1\n"},
      // No server from any source (DHCPv6 counts only with IPv6 on): nothing changes.
      {"dom=old|dns#0=10.9.9.9|v4state=unbound|v6state=bound|v6srv#0=2001:db8::53", " / -,-,-,-,- / stale\n",
       "<7>syssrv: hd[0]: NO DNS server addresses"},
      // Hostile DHCP values reach the configuration and properties, never resolv.conf.
      {"v4state=bound|v4dom=e\nnameserver 6.6.6.6|v4srv#0=10.0.0.2",
       "dom#0=e\nnameserver 6.6.6.6|dns#0=10.0.0.2 / e\nnameserver 6.6.6.6,10.0.0.2,,, / ",
       "<4>syssrv: hd[0]: resolv.conf search domain: value refused, it holds a line break"},
      {"v4state=bound|v4dom=f|v4srv#0=0.0.0.0|v4srv#1=1.2.3.4;reboot|v4srv#2=10.0.0.3\nsearch x|v4srv#3=10.0.0.4|dom=f",
       "dns#1=1.2.3.4;reboot|dns#2=10.0.0.3\nsearch|dns#3=10.0.0.4 / f,,1.2.3.4;reboot,10.0.0.3\nsearch,10.0.0.4 / "
       "search f\nnameserver 10.0.0.4\n",
       "<4>syssrv: hd[0]: writeResolvConf: name server [2] (10.0.0.3\\nsearch) is not an address, not written"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row[0]);
    TearDown();
    SetUp();
    given(row[0]);
    updateDnsConfig();
    EXPECT_EQ(writes() + " / " + props() + " / " + m_rec->file_bytes(kResolv), row[1]);
    EXPECT_EQ(m_rec->property("net.dnschange"), props() == "-,-,-,-,-" ? "" : "1");
    EXPECT_TRUE(!row[2] || logged(row[2])) << row[2];
  }
}

// The change counter counts on from what the platform holds; a property
// that cannot be set is logged and the others are still set.
TEST_F(DhcpTest, DelegateDivertsToLocalhostAndRestoresTheSavedConfiguration) {
  given("dom=corp|dns#0=10.0.0.1|dns#1=10.0.0.2");
  m_rec->put_property("net.dnschange", "7");
  const std::string local = "nameserver 127.0.0.1\n", diverted = "corp,127.0.0.1,127.0.0.1,127.0.0.1,127.0.0.1 / "
                                                                  "search corp\n" + local + local + local + local;
  delegate_dns_set_pre();
  EXPECT_EQ(props() + " / " + m_rec->file_bytes(kResolv), diverted);
  delegate_running = 1;
  given("v4state=bound|v4dom=corp|v4srv#0=10.0.0.9");
  updateDnsConfig();  // the configuration follows DHCP, resolution stays with the delegate
  EXPECT_EQ(writes(), "dns#0=10.0.0.9|dns#1=");
  EXPECT_EQ(props() + " / " + m_rec->file_bytes(kResolv), diverted);
  EXPECT_TRUE(logged("<6>syssrv: hd[0]: Proxy enabled, skip DNS props update"));
  m_rec->property_set_fails("net.dns2");
  delegate_dns_set_post();
  EXPECT_EQ(props() + " / " + m_rec->file_bytes(kResolv),
            "corp,10.0.0.1,127.0.0.1,, / search corp\nnameserver 10.0.0.1\nnameserver 10.0.0.2\n");
  EXPECT_TRUE(logged("<4>syssrv: hd[0]: syssrvDhcp: Failed to set property (net.dns2) to (10.0.0.2), err -1"));
  EXPECT_EQ(m_rec->property("net.dnschange"), "9");
}

// No address stands for "none"; a resolv.conf that cannot be opened and a
// missing record are skipped.
TEST_F(DhcpTest, PublishingSkipsWhatItCannotDo) {
  ConfiguredOptions options = {"corp", {"10.0.0.1", "::", "0.0.0.0"}};
  std::filesystem::remove_all(m_rec->path("/data/etc"));
  setPropOptions(&options);
  writeResolvConf(&options);
  writeResolvConf(nullptr);
  setPropOptions(nullptr);
  EXPECT_EQ(props(), "corp,10.0.0.1,,,");
  EXPECT_FALSE(m_rec->file_exists(kResolv));
}

}  // namespace
