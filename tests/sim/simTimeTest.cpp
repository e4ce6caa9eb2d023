// Setting the time and PTP control on the real processes. Natively only:
// under the ARM emulator the real ptp4l would be this machine's program,
// not the board's, and the emulator stands between the daemon and the
// kernel's refusal of the clock.
#include <ctime>

#include "tests/sim/simFixture.h"

TEST_F(SimTest, AdministratorSetsTheTimeInBerlinThenPtpStartsIsFoundAndStops) {
  if (std::getenv("SYSSRV_EXEC_WRAPPER") != nullptr) GTEST_SKIP() << "natively only";
  bringUp();
  ASSERT_EQ(std::system(("SYSSRV_ROOT=" + app->root() + " " + app->root() + "/system/bin/setprop persist.sys.timezone Europe/Berlin").c_str()), 0);
  subscribe(kMsgIdSystemIFTimeChangeNtfy);
  auto call = [&](const char* type, const char* fields) { return app->ctl({"call", type, fields, "--timeout", "10000"}).out; };
  EXPECT_EQ(call("SystemIF.SetSystemTimeReq", "time_value: 1710806399"), "error: -4\n");  // seeded mode "Auto"
  ASSERT_EQ(app->ctl({"config", "set", "time.timeserver.mode", "Off", "--role", "admin"}).status, 0);
  EXPECT_EQ(call("SystemIF.SetSystemTimeReq", "time_value: 1710806399"), "error: 0\n");
  EXPECT_EQ(next<SystemIF::TimeChangeNtfy>(kMsgIdSystemIFTimeChangeNtfy).secs(), 1710806399);
  EXPECT_EQ(app->file("/dev/rtc0"), "rtc set 2024-03-18 23:59:59 UTC\n");
  const int date = simFind(app->journal(), "SET_DATE --ei year 2024 --ei month 2 --ei day 19\\n");
  EXPECT_GT(simFind(app->journal(), "SET_TIME --ei hour 0 --ei minute 59\\n", date), date);
  EXPECT_GE(simFind(app->daemonLog(), "<4>syssrv: hd[0]: settimeofday returned = Operation not permitted"), 0);
  EXPECT_GT(std::time(nullptr), 1710806399 + 86400);  // still this machine's date

  // Live ptp4l processes in the seal, "<pid> <command line>" a line.
  auto ptp4l = [] { return simCommandOutput("pgrep -a -r R,S,D -x ptp4l || true"); };
  std::string first;
  EXPECT_EQ(call("SystemIF.PtpConfigureReq", "ptpdomain: 7"), "error: 0\n");
  ASSERT_TRUE(simWaitFor([&] { return !(first = ptp4l()).empty(); })) << app->file("/log/ptp4l.log");
  EXPECT_NE(first.find(" -i eth0 --domainNumber 7 "), std::string::npos) << first;
  EXPECT_EQ(call("SystemIF.PtpConfigureReq", "ptpdomain: 7"), "error: 0\n");
  EXPECT_GE(simFind(app->daemonLog(), "killing ptp4l = " + first.substr(0, first.find(' '))), 0);
  app->ctl({"send", "SystemIF.PtpResetCmd"});
  EXPECT_TRUE(simWaitFor([&] { return ptp4l().empty(); }));
}
