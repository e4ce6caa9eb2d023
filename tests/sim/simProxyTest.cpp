// The web proxy on the real road (label sim; native only, like every sim
// test): an administrator enables it on the submit point, the daemon writes
// the PAC file or starts the discovery program "wpad" (sim/wpad, which finds
// "wpad.room.example" at the switch's name server and fetches its PAC file
// from sim/wpad-server), the delegate starts (sim/delegate) with name
// resolution diverted to it, and disabling puts everything back. A variant
// of both programs ignores SIGTERM and must go anyway.
#include <cctype>
#include <filesystem>
#include <fstream>

#include "tests/sim/simFixture.h"

namespace {

using Words = std::vector<std::string>;
const std::string kResolv = "search room.example\nnameserver 192.0.2.53\nnameserver 192.0.2.54\n";
const char kPac[] = "/opt/corvale/misc/wpad.dat";
const char kPassword[] = "s3cret pw";

std::string diverted() {
  std::string s = "search room.example\n";
  for (int i = 0; i < 4; ++i) s += "nameserver 127.0.0.1\n";
  return s;
}

// The process whose program name (argv[0]) is `name`, as the daemon finds
// its daemons: its pid (0: none) and argument words.
pid_t running(const std::string& name, Words* words = nullptr) {
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string pid = e.path().filename();
    if (!std::isdigit(static_cast<unsigned char>(pid[0]))) continue;
    std::ifstream f(e.path() / "cmdline");
    Words w;
    for (std::string s; std::getline(f, s, '\0');) w.push_back(s);
    if (w.empty() || w[0] != name) continue;
    if (words) *words = w;
    return std::atoi(pid.c_str());
  }
  return 0;
}

// autoconf: discovery, else the manual proxy 192.0.2.8:3128; deaf: wpad
// and the delegate ignore SIGTERM.
struct Row { const char* name; bool autoconf, deaf; };
void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

class SimProxyTest : public SimTest, public ::testing::WithParamInterface<Row> {
 protected:
  void TearDown() override {
    if (app) {
      EXPECT_EQ(std::system((std::string(SIM_WPAD_SERVER) + " stop " + app->root()).c_str()), 0);
    }
    SimTest::TearDown();
  }
  // Sets the proxy variables as an administrator, on the web-proxy submit point.
  void submit(const Words& assignments) {
    Words args = {"config", "set"};
    args.insert(args.end(), assignments.begin(), assignments.end());
    args.insert(args.end(), {"--role", "admin", "--submit", "system.proxy.webproxysubmit"});
    const SimRun r = app->ctl(args);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
  }
  // The delegate runs with name resolution diverted to it; its pid.
  pid_t expectDelegate() {
    Words w;
    EXPECT_TRUE(simWaitFor([&] { return running("delegate", &w) != 0 && app->file("/data/etc/resolv.conf") == diverted(); }))
        << app->file("/data/etc/resolv.conf");
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(app->file("/data/property/net.dns" + std::to_string(i)), "127.0.0.1") << i;
    // The user name as the script takes a DOMAIN\user name, the password as
    // one word, then the name servers saved before the diversion.
    const Words args = {"--start", "CORP\\\\\\\\bob", kPassword, "192.0.2.53", "192.0.2.54"};
    EXPECT_EQ(w.size() > 2 ? Words(w.begin() + 2, w.end()) : w, args);
    return running("delegate");
  }
};

TEST_P(SimProxyTest, EnablingStartsTheDelegateWithDnsDivertedAndDisablingRestoresIt) {
  const Row& row = GetParam();
  if (const std::string t = missing({"dnsmasq", "busybox"}); !t.empty()) GTEST_SKIP() << t << " is missing";
  m_failureFiles = {"/var/wpad/wpad.log", "/var/delegate/delegate.log", "/var/wpad-server/httpd.log"};
  bringUp();
  if (row.deaf) std::ofstream(app->root() + "/sim/sigterm-ignored") << "wpad\ndelegate\n";
  ASSERT_EQ(dhcp("start"), 0);
  ASSERT_EQ(std::system((std::string(SIM_WPAD_SERVER) + " start " + app->root()).c_str()), 0);
  ASSERT_TRUE(simWaitFor([&] { return app->file("/data/etc/resolv.conf") == kResolv; }));
  ASSERT_EQ(app->ctl({"config", "set", "system.proxy.pacfile.status", "Expired", "--role", "system"}).status, 0);

  submit({"system.proxy.webproxy.enabled=True", std::string("system.proxy.manual.autoconf=") + (row.autoconf ? "True" : "False"),
          "system.proxy.manual.proxyaddress=192.0.2.8", "system.proxy.manual.proxyport=3128",
          "system.proxy.webproxy.username=CORP\\bob", std::string("system.proxy.webproxy.password=") + kPassword});
  pid_t delegate = expectDelegate();
  pid_t wpad = running("wpad");
  EXPECT_EQ(wpad != 0, row.autoconf);
  if (row.autoconf) {
    std::ifstream doc(SIM_WPAD_DOC);
    const std::string served((std::istreambuf_iterator<char>(doc)), std::istreambuf_iterator<char>());
    EXPECT_EQ(app->file(kPac), served);
    EXPECT_EQ(app->configGet("system.proxy.pacfile.status"), "Success");
    EXPECT_EQ(app->configGet("system.proxy.pacfile.expirytime"), "3600");

    // A re-fetch answers at once, then a fresh wpad fetches again and the
    // delegate starts again.
    ASSERT_TRUE(app->sendRaw(kMsgIdSystemIFGetPacFileReq, ""));
    SystemIF::GetPacFileRsp rsp;
    ASSERT_TRUE(receive(kMsgIdSystemIFGetPacFileRsp, &rsp));
    EXPECT_TRUE(rsp.has_error() && rsp.error() == 0) << rsp.ShortDebugString();
    EXPECT_TRUE(simWaitFor([&] { return running("wpad") != wpad && running("wpad") != 0; })) << wpad;
    EXPECT_TRUE(simWaitFor([&] { return running("delegate") != delegate; })) << delegate;
    delegate = expectDelegate();
  } else {
    EXPECT_EQ(app->file(kPac), "function FindProxyForURL(url, host)\n{\n\treturn \"PROXY 192.0.2.8:3128\";\n}\n");
    EXPECT_EQ(app->configGet("system.proxy.pacfile.status"), "Unknown");
  }

  submit({"system.proxy.webproxy.enabled=False"});
  EXPECT_TRUE(simWaitFor([&] {
    return running("delegate") == 0 && running("wpad") == 0 && !std::filesystem::exists(app->root() + kPac) &&
           app->file("/data/etc/resolv.conf") == kResolv;
  })) << app->file("/data/etc/resolv.conf");
  EXPECT_EQ(app->file("/data/property/net.dns1"), "192.0.2.53");
  // Deaf programs went by SIGKILL, after a bounded wait.
  EXPECT_EQ(app->file("/var/delegate/delegate.log").find(" killed ") != std::string::npos, row.deaf);
  EXPECT_EQ(simFind(app->daemonLog(), "ignored SIGTERM, sending SIGKILL") >= 0, row.deaf && row.autoconf);
}

INSTANTIATE_TEST_SUITE_P(Modes, SimProxyTest,
                         ::testing::Values(Row{"Manual", false, false}, Row{"Discovered", true, false},
                                           Row{"DiscoveredSigtermIgnored", true, true}),
                         [](const ::testing::TestParamInfo<Row>& i) { return std::string(i.param.name); });

}  // namespace
