// Provisioning discovery against real peers (native only, label sim): the
// switch's network (sim/dhcp) holds hosts that accept, refuse (RST) or
// swallow a connection, behind names of its DNS server, and the DNS
// service can be one that never answers.
#include "systemservice/syssrvProvisioning.h"
#include "tests/sim/simFixture.h"

namespace {

class SimReachTest : public SimTest {
 protected:
  // The appliance with its DNS service started with `dnsArgs`.
  void bringUpWith(const std::vector<std::string>& dnsArgs = {}) {
    if (const std::string t = missing({"dnsmasq", "busybox"}); !t.empty()) GTEST_SKIP() << t << " missing";
    m_failureFiles = {"/log/dnssrvc.log"};
    bringUp("CEDAR", {}, {}, dnsArgs);
  }
  // The switch's DHCP server leases eth0 an address; "bound" starts a discovery.
  void lease() {
    ASSERT_EQ(dhcp("start"), 0);
    ASSERT_TRUE(simWaitFor([&] { return app->configGet("system.network.wired.ipv4nic.dhcp.state") == "bound"; }));
  }
  void set(const std::string& name, const std::string& value, const char* role = "system") {
    ASSERT_EQ(app->ctl({"config", "set", name, value, "--role", role}).status, 0) << name;
  }
};

// Each row is one discovery run (a DHCPv6 "bound" starts one) on a unit
// still out of the box, with one kind of server at the row's address and
// the other kind at none. A peer that swallows SYNs costs the socket's
// 40-second time-out.
TEST_F(SimReachTest, CloudAndZtpServersAreProbedByConnecting) {
  bringUpWith();
  lease();
  // logText: in the daemon's log after the run.
  struct Row { const char *kind, *address, *accessible, *logText; };
  const std::string kOpenLog = "determineCloudServerAccessibility() reach-open.room.example port 443";
  const Row kRows[] = {
      {"cloud", "reach-open.room.example", "True", kOpenLog.c_str()},
      {"ztp", "https://reach-closed.room.example:443", "False", "connect failed with Connection refused"},
      {"ztp", "reach-open.room.example:0x1bb", "True", kOpenLog.c_str()},
      {"cloud", "nobody.room.example", "False", "gethostbyname(nobody.room.example) failed"},
      {"cloud", "reach-silent.room.example", "False", "connect failed with Operation now in progress"},
  };
  const char* const kSentinel = "(probing)";
  for (const Row& r : kRows) {
    SCOPED_TRACE(r.address);
    const std::string kind = r.kind, other = kind == "cloud" ? "ztp" : "cloud";
    set("system.info." + kind + "serveraddress", r.address, "admin");
    set("system.info." + other + "serveraddress", "", "admin");
    const std::string var = "system.info." + kind + "serveraccessible";
    set(var, kSentinel);
    const int mark = static_cast<int>(app->daemonLog().size());
    set("system.network.wired.ipv6nic.dhcp.state", "unbound");
    set("system.network.wired.ipv6nic.dhcp.state", "bound");
    EXPECT_TRUE(simWaitFor([&] { return app->configGet(var) != kSentinel; }));
    EXPECT_EQ(app->configGet(var), r.accessible);
    EXPECT_GE(simFind(app->daemonLog(), r.logText, mark), 0);
  }
}

// A DNS service that never answers: the lookup gives up after its time-out
// and the request queued behind it is answered then, by a daemon that
// carried on with the rest of the discovery (DMS from the lease's
// boot-server option, no lookup needed).
TEST_F(SimReachTest, SilentDnsServiceDelaysButDoesNotStopTheDaemon) {
  bringUpWith({"--silent"});
  set("system.network.wired.ipv4nic.dhcp.bootserver", "https://dms.room.example/");
  lease();
  ASSERT_TRUE(simWaitFor([&] { return simFind(app->dnsLog(), "_zunconfig._tcp.room.example -> (silent)") >= 0; }))
      << app->file("/log/dnssrvc.log");
  ASSERT_TRUE(app->sendRaw(kMsgIdSystemIFGetLanStatusReq, ""));
  SystemIF::GetLanStatusRsp rsp;
  static_assert(kDnsSrvTimeoutMs < kSimHangMs, "the reply must be able to come within the bound");
  ASSERT_TRUE(receive(kMsgIdSystemIFGetLanStatusRsp, &rsp)) << "no reply within " << kSimHangMs << " ms";
  EXPECT_TRUE(rsp.lan_status_connected());
  const auto log = app->daemonLog();
  EXPECT_GE(simFind(log, "discoverProvisioning() DNS SRV request for _zunconfig failed"), 0);
  EXPECT_LT(simFind(log, "DNS SRV request for _dmsconfig"), 0);
  EXPECT_EQ(app->configGet("management.provisioning.dms.server"), "dms.room.example");
  EXPECT_EQ(app->configGet("management.provisioning.zun.server"), "");
  EXPECT_EQ(app->configGet("management.provisioning.inserverdiscoverystatus"), "COMPLETE");
}

}  // namespace
