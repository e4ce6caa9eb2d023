// Setting the time and PTP control on the real processes. Natively only:
// under the ARM emulator the seal's clock refusal is the emulator's, and
// the real ptp4l is a program of this machine, not of the board.
#include <cstdlib>
#include <ctime>
#include <string>

#include "tests/sim/simFixture.h"

namespace {

bool emulated() { return std::getenv("SYSSRV_EXEC_WRAPPER") != nullptr; }
// Live ptp4l processes in the seal, "<pid> <command line>" a line.
std::string ptp4l() { return simCommandOutput("pgrep -a -r R,S,D -x ptp4l || true"); }

}  // namespace

TEST_F(SimTest, AdministratorSetsTheTimeHardwareClockTakesItThisMachinesClockRefusesIt) {
  if (emulated()) GTEST_SKIP() << "natively only";
  bringUp();
  const std::string setprop = "SYSSRV_ROOT=" + app->root() + " " + app->root() + "/system/bin/setprop";
  ASSERT_EQ(std::system((setprop + " persist.sys.timezone Europe/Berlin").c_str()), 0);
  MSG_Endpoint sys = 0;
  ASSERT_EQ(MSG_OpenRemoteSync(app->endpoint(), "SystemSrvc", 10000, &sys), 0);
  ASSERT_EQ(MSG_RegisterNotificationRemote(app->endpoint(), kMsgIdSystemIFTimeChangeNtfy, kMsgIdSystemIFTimeChangeNtfy, sys), 0);

  auto setTime = [&] { return app->ctl({"call", "SystemIF.SetSystemTimeReq", "time_value: 1710806399", "--timeout", "10000"}).out; };
  EXPECT_EQ(setTime(), "error: -4\n");  // the seeded time-server mode "Auto"
  ASSERT_EQ(app->ctl({"config", "set", "time.timeserver.mode", "Off", "--role", "admin"}).status, 0);
  EXPECT_EQ(setTime(), "error: 0\n");
  SystemIF::TimeChangeNtfy ntfy;
  ASSERT_TRUE(receive(kMsgIdSystemIFTimeChangeNtfy, &ntfy));
  EXPECT_EQ(ntfy.secs(), 1710806399);
  EXPECT_EQ(app->file("/dev/rtc0"), "rtc set 2024-03-18 23:59:59 UTC\n");
  const std::vector<std::string> journal = app->journal();
  const int date = simFind(journal, "am broadcast -a corvale.intent.action.setup.SET_DATE --ei year 2024 --ei month 2 --ei day 19\\n");
  EXPECT_GE(date, 0);
  EXPECT_GT(simFind(journal, "am broadcast -a corvale.intent.action.setup.SET_TIME --ei hour 0 --ei minute 59\\n", date), date);
  EXPECT_GE(simFind(app->daemonLog(), "settimeofday returned = Operation not permitted"), 0);
  EXPECT_GT(std::time(nullptr), 1710806399 + 86400);  // still this machine's date
}

TEST_F(SimTest, PtpConfigureStartsTheRealPtp4lASecondOneFindsItResetStopsIt) {
  if (emulated()) GTEST_SKIP() << "natively only";
  bringUp();
  auto configure = [&] { return app->ctl({"call", "SystemIF.PtpConfigureReq", "ptpdomain: 7", "--timeout", "10000"}).out; };
  EXPECT_EQ(configure(), "error: 0\n");
  std::string first;
  ASSERT_TRUE(simWaitFor([&] { return !(first = ptp4l()).empty(); })) << app->file("/log/ptp4l.log");
  EXPECT_NE(first.find(" -i eth0 --domainNumber 7 "), std::string::npos) << first;
  EXPECT_EQ(configure(), "error: 0\n");
  EXPECT_GE(simFind(app->daemonLog(), "killing ptp4l = " + first.substr(0, first.find(' '))), 0);
  app->ctl({"send", "SystemIF.PtpResetCmd"});
  EXPECT_TRUE(simWaitFor([&] { return ptp4l().empty(); }));
  EXPECT_GE(simFind(app->journal(), "/opt/corvale/bin/startptp4l  7\\n"), 0);
}
