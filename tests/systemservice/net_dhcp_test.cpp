// DNS and DHCP options against the fake "ConfigSrvc" and the recorder seam:
// which servers fill which slots, what is written back (instance, value,
// role), the properties and resolv.conf bytes published, the delegate
// diversion, and DHCP values that are not what they should be.
#include <array>
#include <sstream>

#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvMessage.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

const char kResolv[] = "/data/etc/resolv.conf";
// Short names of the variables the rows set, under "system.network.".
const std::map<std::string, std::string> kVar = {
    {"v4state", "wired.ipv4nic.dhcp.state"}, {"v6state", "wired.ipv6nic.dhcp.state"}, {"v6on", "wired.ipv6nic.enabled"},
    {"v4dom", "wired.ipv4nic.dhcp.domainname"}, {"v6dom", "wired.ipv6nic.dhcp.domainname"}, {"dom", "domainname"},
    {"v4srv", "wired.ipv4nic.dhcp.dnsserver"}, {"v6srv", "wired.ipv6nic.dhcp.dnsserver"}, {"dns", "dnsserver"},
    {"v4mode", "wired.ipv4nic.mode"}, {"v6mode", "wired.ipv6nic.mode"}, {"slaac", "wired.ipv6nic.enableslaac"},
    {"moflag", "wired.ipv6nic.moflag"}};

class DhcpTest : public CfgTest {
 protected:
  // "alias[#instance]=value|..."; "delegate=1" marks the delegate running.
  // resolv.conf holds "stale\n" until written.
  void given(const std::string& entries) {
    rec().put_file(kResolv, "stale\n");
    std::istringstream in(entries);
    for (std::string e; std::getline(in, e, '|');) {
      size_t eq = e.find('='), hash = std::min(e.find('#'), eq);
      int instance = hash < eq ? std::stoi(e.substr(hash + 1)) : 0;
      if (e == "delegate=1") delegate_running = 1;
      else peer().set("system.network." + kVar.at(e.substr(0, hash)), e.substr(eq + 1), instance);
    }
  }
  // "dom#0=..|dns#1=..| / search,dns1,..,dns4, / resolv.conf": the writes
  // (each made as kStartup), the properties ("-" when never set), the file.
  std::string outcome() {
    std::string out;
    for (const CfgRequest& r : peer().requests()) {
      if (r.type != kMsgIdConfigIFWriteReq) continue;
      EXPECT_EQ(r.role, kStartup) << r.vars[0].name;
      out += r.vars[0].name.substr(15, 3) + "#" + std::to_string(r.vars[0].instance) + "=" + r.values[0] + "|";
    }
    out += " / ";
    for (const char* p : {"net.dns.search", "net.dns1", "net.dns2", "net.dns3", "net.dns4"})
      out += (rec().has_property(p) ? rec().property(p) : "-") + ",";
    return out + " / " + rec().file_bytes(kResolv);
  }
  bool logged(const std::string& line) { return logBytes().find(line + "\n") != std::string::npos; }
};

// Each row: the variables set, the outcome of one update and a line it logs.
using Row = std::array<const char*, 3>;
class DhcpRows : public DhcpTest, public ::testing::WithParamInterface<Row> {};

const Row kRows[] = {
    // DHCPv4 lease: its domain and servers everywhere.
    {"v4state=Bound|v4dom=corp|v4srv#0=10.0.0.1|v4srv#1=10.0.0.2",
     "dom#0=corp|dns#0=10.0.0.1|dns#1=10.0.0.2| / corp,10.0.0.1,10.0.0.2,,, / "
     "search corp\nnameserver 10.0.0.1\nnameserver 10.0.0.2\n"},
    // Four DHCPv4 servers: DHCPv6 and static servers are not consulted.
    {"v4state=bound|v4dom=a|v4srv#0=1.0.0.1|v4srv#1=1.0.0.2|v4srv#2=1.0.0.3|v4srv#3=1.0.0.4|v6on=True|v6state=bound|"
     "v6srv#0=::6|v4mode=Off|dns#0=9.9.9.9|dom=a",
     "dns#0=1.0.0.1|dns#1=1.0.0.2|dns#2=1.0.0.3|dns#3=1.0.0.4| / a,1.0.0.1,1.0.0.2,1.0.0.3,1.0.0.4, / "
     "search a\nnameserver 1.0.0.1\nnameserver 1.0.0.2\nnameserver 1.0.0.3\nnameserver 1.0.0.4\n"},
    // Manual v4 and v6: static servers of each family, "::" is none; no domain, an empty file.
    {"v4mode=Off|v6on=true|v6mode=off|dns#0=192.0.2.1|dns#1=::|dns#2=2001:db8::1",
     "dns#1=2001:db8::1|dns#2=| / ,192.0.2.1,2001:db8::1,,, / "},
    // Automatic v6 with SLAAC: static v6 servers only without managed/other flags.
    {"v4mode=Off|v6on=True|slaac=True|moflag=64|dns#0=192.0.2.1|dns#1=2001:db8::1", "dns#1=| / ,192.0.2.1,,,, / "},
    {"v4mode=Off|v6on=True|slaac=True|moflag=0|dns#0=192.0.2.1|dns#1=2001:db8::1", " / ,192.0.2.1,2001:db8::1,,, / "},
    // DHCPv6 alone: its domain; its servers fill the slots in instance order.
    {"v6on=True|v6state=bound|v6dom=six|v6srv#0=::1|v6srv#1=::|v6srv#2=::2|dom=six",
     "dns#0=::1|dns#2=::2| / six,::1,,::2,, / search six\nnameserver ::1\nnameserver ::2\n"},
    // Both leases: the DHCPv4 domain wins, DHCPv6 servers follow the DHCPv4 ones.
    {"v4state=bound|v4dom=four|v4srv#0=1.0.0.1|v6on=True|v6state=bound|v6dom=six|v6srv#0=::1",
     "dom#0=four|dns#0=1.0.0.1|dns#1=::1| / four,1.0.0.1,::1,,, / search four\nnameserver 1.0.0.1\nnameserver ::1\n"},
    // No server from any source (DHCPv6 counts only with IPv6 on): nothing changes.
    {"dom=old|dns#0=10.9.9.9|v4state=unbound|v6state=bound|v6srv#0=::1", " / -,-,-,-,-, / stale\n",
     "<7>syssrv: hd[0]: NO DNS server addresses"},
    // The delegate running: the configuration follows DHCP, resolution stays with the delegate.
    {"delegate=1|v4state=bound|v4dom=d|v4srv#0=10.0.0.1", "dom#0=d|dns#0=10.0.0.1| / -,-,-,-,-, / stale\n",
     "<6>syssrv: hd[0]: Proxy enabled, skip DNS props update"},
    // Hostile DHCP values reach the configuration and properties, never resolv.conf.
    {"v4state=bound|v4dom=e\nnameserver 6.6.6.6|v4srv#0=10.0.0.2",
     "dom#0=e\nnameserver 6.6.6.6|dns#0=10.0.0.2| / e\nnameserver 6.6.6.6,10.0.0.2,,,, / "},
    {"v4state=bound|v4dom=f|v4srv#0=0.0.0.0|v4srv#1=1.2.3.4;reboot|v4srv#2=10.0.0.3\nsearch x|v4srv#3=10.0.0.4|dom=f",
     "dns#1=1.2.3.4;reboot|dns#2=10.0.0.3\nsearch|dns#3=10.0.0.4| / f,,1.2.3.4;reboot,10.0.0.3\nsearch,10.0.0.4, / "
     "search f\nnameserver 10.0.0.4\n"},
};
TEST_P(DhcpRows, SlotsWritesAndPublication) {
  const Row& row = GetParam();
  given(row[0]);
  updateDnsConfig();
  EXPECT_EQ(outcome(), row[1]);
  EXPECT_EQ(rec().property("net.dnschange"), rec().has_property("net.dns1") ? "1" : "");
  EXPECT_TRUE(!row[2] || logged(row[2])) << row[2];
}
INSTANTIATE_TEST_SUITE_P(Dns, DhcpRows, ::testing::ValuesIn(kRows));

// The change counter counts on from what the platform holds; a property
// that cannot be set is logged and the others are still set.
TEST_F(DhcpTest, DelegateDivertsToLocalhostAndBack) {
  given("dom=corp|dns#0=10.0.0.1|dns#1=10.0.0.2");
  rec().put_property("net.dnschange", "7");
  delegate_dns_set_pre();
  EXPECT_EQ(outcome(), " / corp,127.0.0.1,127.0.0.1,127.0.0.1,127.0.0.1, / search corp\nnameserver 127.0.0.1\n"
                       "nameserver 127.0.0.1\nnameserver 127.0.0.1\nnameserver 127.0.0.1\n");
  rec().property_set_fails("net.dns2");
  delegate_dns_set_post();
  EXPECT_EQ(outcome(), " / corp,10.0.0.1,127.0.0.1,,, / search corp\nnameserver 10.0.0.1\nnameserver 10.0.0.2\n");
  EXPECT_TRUE(logged("<4>syssrv: hd[0]: syssrvDhcp: Failed to set property (net.dns2) to (10.0.0.2), err -1"));
  EXPECT_EQ(rec().property("net.dnschange"), "9");
}

}  // namespace
