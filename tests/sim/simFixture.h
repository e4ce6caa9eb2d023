// The fixture of the integration tests: one appliance per test, brought up
// with the model and environment the test asks for.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "tests/arch/exec_wrapper.h"
#include "tests/sim/simAppliance.h"

class SimTest : public ::testing::Test {
 protected:
  // Lays out the root, starts configsrvc, dnssrvc and syssrv; the test fails (and
  // returns) when any of it does not come up.
  // `dnsArgs`: more dnssrvc options.
  void bringUp(const std::string& model = "CEDAR", const std::map<std::string, std::string>& env = {},
               const std::vector<std::string>& unset = {}, const std::vector<std::string>& dnsArgs = {}) {
    app = std::make_unique<SimAppliance>(model);
    std::string why;
    ASSERT_TRUE(app->setUp(&why)) << why;
    for (const auto& kv : env) app->setDaemonEnv(kv.first, kv.second);
    for (const std::string& name : unset) app->unsetDaemonEnv(name);
    ASSERT_TRUE(app->startConfigService(&why)) << why;
    ASSERT_TRUE(app->startDnsService(&why, dnsArgs)) << why;
    ASSERT_TRUE(startPeers()) << "the peers did not start";
    int status = -1;
    ASSERT_TRUE(app->startDaemon(&why, &status)) << why;
  }
  // Starts what must be there before the daemon, as on the device; false when it does not start.
  virtual bool startPeers() { return true; }
  // The first of `tools` this machine lacks (scripts/deps installs them),
  // "" when it has them all.
  static std::string missing(const std::vector<std::string>& tools) {
    for (const std::string& t : tools) {
      if (simCommandOutput("command -v " + t).empty()) return t;
    }
    return "";
  }
  // Runs the switch's network (sim/dhcp) as `verb` on this root, then
  // `more`; once started, it is stopped after the test.
  int dhcp(const std::string& verb, const std::string& more = "") {
    m_dhcpStarted = m_dhcpStarted || verb == "start";
    return std::system((std::string(SIM_DHCP) + " " + verb + " " + app->root() + more).c_str());
  }

  // Subscribes this test's endpoint to the daemon's notification `ntfy`.
  void subscribe(MSG_Type ntfy = kMsgIdSystemIFLanStatusChangeNtfy) {
    const char* local = app->endpoint();
    ASSERT_NE(local, nullptr);
    MSG_Endpoint sys = 0;
    ASSERT_EQ(MSG_OpenRemoteSync(local, "SystemSrvc", 10000, &sys), 0);
    ASSERT_EQ(MSG_RegisterNotificationRemote(local, ntfy, ntfy, sys), 0);
  }
  // The next message of `type` on this test's endpoint, parsed into *out.
  template <class M>
  bool receive(MSG_Type type, M* out) {
    MSG_Message* m = MSG_RecvMsg(app->endpoint(), type, kSimHangMs);
    if (m == nullptr) return false;
    const bool ok = out->ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m)));
    MSG_ReleaseMsg(m);
    return ok;
  }
  // The next message of `type`; a failure, and an empty one, when none comes.
  template <class M>
  M next(MSG_Type type) {
    M m;
    EXPECT_TRUE(receive(type, &m)) << "no message " << type;
    return m;
  }
  // Waits for the next LanStatusChangeNtfy and checks its state.
  void expectLanStatusNtfy(bool connected) {
    EXPECT_EQ(next<SystemIF::LanStatusChangeNtfy>(kMsgIdSystemIFLanStatusChangeNtfy).lan_status_connected(), connected);
  }

  void TearDown() override {
    // A sanitized build's services report into their logs, also when the
    // report came after the test's last check or from a child that died.
    for (const char* log : {"/log/syssrv.log", "/log/configsrvc.log", "/log/dnssrvc.log"}) {
      EXPECT_TRUE(!app || app->file(log).find("Sanitizer:") == std::string::npos) << log << ":\n" << app->file(log);
    }
    if (HasFailure() && app) {
      std::cerr << "the daemon's log:\n" << app->file("/dev/crvllog");
      for (const std::string& f : m_failureFiles) std::cerr << f << ":\n" << app->file(f);
    }
    if (app && m_dhcpStarted) {
      EXPECT_EQ(dhcp("stop"), 0);
    }
    app.reset();
  }

  std::unique_ptr<SimAppliance> app;
  // Appliance files shown when the test fails.
  std::vector<std::string> m_failureFiles;

 private:
  bool m_dhcpStarted = false;
};

// `syssrvctl monitor` attached before the daemon opens its endpoint, its
// lines in log/monitor.out; the seal ends it.
struct SimMonitoredTest : SimTest {
  bool startPeers() override {
    std::string cmd;
    for (const std::string& w : archExecArgv({SIM_SYSSRVCTL_BIN, "monitor", "--timeout", "300000"})) cmd += w + " ";
    return std::system((cmd + ">" + app->root() + "/log/monitor.out 2>&1 &").c_str()) == 0 &&
           simWaitFor([&] { return app->file("/log/monitor.out").find("syssrvctl: monitoring ") == 0; });
  }
};
