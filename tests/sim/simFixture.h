// The fixture of the integration tests: one appliance per test, brought up
// with the model and environment the test asks for.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "tests/sim/simAppliance.h"

class SimTest : public ::testing::Test {
 protected:
  // Lays out the root, starts configsrvc and syssrv; the test fails (and
  // returns) when any of it does not come up.
  void bringUp(const std::string& model = "CEDAR", const std::map<std::string, std::string>& env = {},
               const std::vector<std::string>& unset = {}) {
    app = std::make_unique<SimAppliance>(model);
    std::string why;
    ASSERT_TRUE(app->setUp(&why)) << why;
    for (const auto& kv : env) app->setDaemonEnv(kv.first, kv.second);
    for (const std::string& name : unset) app->unsetDaemonEnv(name);
    ASSERT_TRUE(app->startConfigService(&why)) << why;
    int status = -1;
    ASSERT_TRUE(app->startDaemon(&why, &status)) << why;
    ASSERT_EQ(status, 0);
    ASSERT_NE(app->daemonPid(), 0);
  }

  // Subscribes this test's endpoint to the daemon's LanStatusChangeNtfy.
  void subscribeLanStatus() {
    const char* local = app->endpoint();
    ASSERT_NE(local, nullptr);
    MSG_Endpoint sys = 0;
    ASSERT_EQ(MSG_OpenRemoteSync(local, "SystemSrvc", 10000, &sys), 0);
    ASSERT_EQ(MSG_RegisterNotificationRemote(local, kMsgIdSystemIFLanStatusChangeNtfy,
                                             kMsgIdSystemIFLanStatusChangeNtfy, sys),
              0);
  }
  // Waits for the next LanStatusChangeNtfy and checks its state.
  void expectLanStatusNtfy(bool connected) {
    MSG_Message* n = MSG_RecvMsg(app->endpoint(), kMsgIdSystemIFLanStatusChangeNtfy, kSimHangMs);
    ASSERT_NE(n, nullptr) << "no LanStatusChangeNtfy";
    SystemIF::LanStatusChangeNtfy ntfy;
    EXPECT_TRUE(ntfy.ParseFromArray(MSG_GetPayload(n), static_cast<int>(MSG_GetPayloadBytes(n))));
    MSG_ReleaseMsg(n);
    EXPECT_EQ(ntfy.lan_status_connected(), connected);
  }

  void TearDown() override {
    if (HasFailure() && app) {
      std::string tail;
      auto log = app->daemonLog();
      for (size_t i = log.size() > 40 ? log.size() - 40 : 0; i < log.size(); ++i) tail += "  " + log[i] + "\n";
      std::cerr << "last lines of the daemon's log (" << app->root() << "/dev/crvllog):\n" << tail;
    }
    app.reset();
  }

  std::unique_ptr<SimAppliance> app;
};
