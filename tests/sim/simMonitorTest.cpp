// `syssrvctl monitor` beside the appliance: the road of one change.
#include "tests/sim/simFixture.h"

TEST_F(SimMonitoredTest, ShowsTheWriteTheChangeNotificationAndWhatTheDaemonSendsNext) {
  bringUp();
  subscribe(kMsgIdSystemIFTimeFormatNtfy);
  SimRun set = app->ctl({"config", "set", "time.timeformat", "24_Hour", "--role", "admin"});
  ASSERT_EQ(set.status, 0) << set.err;
  const std::string ntfy = " SystemSrvc -> " + std::string(app->endpoint()) + " SystemIF.TimeFormatNtfy time_format: k24Hour";
  std::vector<std::string> lines;
  EXPECT_TRUE(simWaitFor([&] { return simFind(lines = app->fileLines("/log/monitor.out"), ntfy) >= 0; }))
      << app->file("/log/monitor.out");
  // The client's write, the service's notification of the change, and the
  // daemon's own notification that follows from it.
  const std::string value = "instance_val { instance { node { name: \"time.timeformat\" instance: 0 } } value: \"24_Hour\" }";
  int write = simFind(lines, " simtest-ctl-1 -> ConfigSrvc ConfigIF.WriteReq name: \"simtest-ctl-1\" role: kAdmin " + value);
  int changed = simFind(lines, " ConfigSrvc -> SystemSrvc ConfigIF.ConfigChangedNtfy " + value, write);
  EXPECT_GE(write, 0) << app->file("/log/monitor.out");
  EXPECT_GT(changed, write);
  EXPECT_GT(simFind(lines, ntfy, changed), changed);
}
