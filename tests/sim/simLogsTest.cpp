// Logging on real processes: busybox syslogd started by the daemon's
// startsyslog (sim/logs) with a remote server, the network's log server
// (sim/logserver), the log-space monitor measuring the real log directory
// (a small disk of its own, filled up),
// a transfer to a mounted USB stick (sim/usb) and an upload with curl.
// Natively only: syslogd, curl and the server are this machine's programs.
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "tests/sim/simFixture.h"

namespace {

const char kServer[] = "192.0.2.70";

class SimLogsTest : public SimTest {
 protected:
  void bringUpOnTheNetwork() {
    bringUp();
    if (HasFatalFailure()) return;
    simCommandOutput("ip addr add 192.0.2.50/24 dev eth0");
    ASSERT_EQ(std::system((std::string(SIM_LOGSERVER) + " start " + app->root()).c_str()), 0);
    m_failureFiles = {"/var/journal/standins.log", "/log/syslogd.log", "/var/logserver/server.log",
                      "/log/logUploader.log", "/log/logSpaceMonitor.log"};
  }
  // The log directory is a small disk of its own, which the threshold check fills.
  bool startPeers() override {
    return std::system(("mount -t tmpfs -o size=4m logs " + app->root() + "/data/corvale/log").c_str()) == 0;
  }
  void TearDown() override {
    if (app) umount2((app->root() + "/data/corvale/log").c_str(), MNT_DETACH);
    if (app) std::system((std::string(SIM_LOGSERVER) + " stop " + app->root()).c_str());
    if (app) std::system((std::string(SIM_USB) + " remove " + app->root()).c_str());
    SimTest::TearDown();
  }
  int set(const std::string& name, const std::string& value, const char* role = "admin") {
    return app->ctl({"config", "set", name, value, "--role", role}).status;
  }
};

TEST_F(SimLogsTest, RemoteLoggingCarriesALoggerLineThenFillingTheLogDirectoryCrossesTheThreshold) {
  if (std::getenv("SYSSRV_EXEC_WRAPPER") != nullptr) GTEST_SKIP() << "natively only";
  ASSERT_NO_FATAL_FAILURE(bringUpOnTheNetwork());
  // Writable by the system while remote logging is off; the daemon adds the port.
  ASSERT_EQ(set("system.log.remotelog.serveraddress", kServer, "system"), 0);
  // 1 x 5 files: 5 MiB of log space, derived when logging is next launched.
  ASSERT_EQ(set("system.log.maxfilesize", "1") + set("system.log.spacemonitoring.updatefreq", "1"), 0);
  ASSERT_TRUE(simWaitFor([&] { return app->configGet("system.log.remotelog.serveraddress") == "192.0.2.70:514"; }));
  // Logging is launched at most once a second, and a change that comes
  // sooner is dropped, not queued: enabled once nothing launched for 1.5 s.
  const std::string launches = "grep -c '^/system/bin/startsyslog ' " + app->root() + "/var/journal/commands.log";
  std::string last;
  for (int quiet = 0; quiet < 15; ++quiet) {  // 100 ms each
    const std::string now = simCommandOutput(launches);
    if (now != last) last = now, quiet = 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_EQ(set("system.log.remotelog.enabled", "True"), 0);
  auto syslogds = [] { return simCommandOutput("pgrep -a -f '^busybox syslogd' || true"); };
  const std::string want = "-l 7 -R 192.0.2.70:514 -L\n";  // the seeded level, Info
  ASSERT_TRUE(simWaitFor([&] { return syslogds().find(want) != std::string::npos; })) << syslogds();
  const std::string remote = "/var/logserver/syslog.log";
  EXPECT_TRUE(simWaitFor([&] {
    simCommandOutput("logger -u " + app->root() + "/dev/log -p user.info -t simtest 'to the remote end'");
    return app->file(remote).find("UDP <14>") != std::string::npos &&
           app->file(remote).find("simtest: to the remote end\n") != std::string::npos;
  })) << app->file(remote);

  // The launch rewrote the log-space settings, and with monitoring off the
  // used percent becomes 100 again: subscribed once that has come back.
  ASSERT_TRUE(simWaitFor([&] {
    const auto log = app->daemonLog();
    const auto max = std::find(log.begin(), log.end(),
                               "<7>syssrv: hd[0]: config_change_notify: varName:system.log.spacemonitoring.max val:5");
    return max != log.end() && simFind(log, "usedpercent val:100", static_cast<int>(max - log.begin())) > 0;
  }));
  subscribe(kMsgIdSystemIFLogSpaceThresholdNtfy);
  ASSERT_EQ(set("system.log.spacemonitoring.threshold", "50"), 0);  // which turns monitoring on
  using Ntfy = SystemIF::LogSpaceThresholdNtfy;
  EXPECT_FALSE(next<Ntfy>(kMsgIdSystemIFLogSpaceThresholdNtfy).threshold_exceeded());  // the flag, on enabling
  const std::string filler = app->root() + "/data/corvale/log/filler", syslogd = syslogds();
  const pid_t daemon = app->daemonPid();
  simCommandOutput("cat /dev/zero >'" + filler + "' 2>/dev/null");  // until the disk is full
  EXPECT_TRUE(next<Ntfy>(kMsgIdSystemIFLogSpaceThresholdNtfy).threshold_exceeded());
  simCommandOutput("logger -u " + app->root() + "/dev/log -t simtest 'into a full disk'");
  EXPECT_EQ(syslogds(), syslogd);
  EXPECT_EQ(app->daemonPid(), daemon);
  std::remove(filler.c_str());
  EXPECT_FALSE(next<Ntfy>(kMsgIdSystemIFLogSpaceThresholdNtfy).threshold_exceeded());
  ASSERT_EQ(set("system.log.spacemonitoring.threshold", "Off"), 0);  // which turns monitoring off
  EXPECT_TRUE(simWaitFor([] { return simCommandOutput("pgrep -x logSpaceMonitor || true").empty(); }));
}

TEST_F(SimLogsTest, UploadsThePackageByteForByteThenTransfersTheLogsToAUsbStick) {
  if (std::getenv("SYSSRV_EXEC_WRAPPER") != nullptr) GTEST_SKIP() << "natively only";
  ASSERT_NO_FATAL_FAILURE(bringUpOnTheNetwork());
  const std::string root = app->root(), logs = root + "/data/corvale/log/";
  std::ofstream(logs + "app.log") << "an application's log\n";
  std::ofstream(root + "/sim/logupload-maxtime") << "2";
  subscribe(kMsgIdSystemIFLogUploadStatusNtfy);
  const struct { const char* url; SystemIF::eLogUploadStatus status; } uploads[] = {
      {"http://192.0.2.70:8080/upload", SystemIF::eCompleted},
      {"http://192.0.2.70:8081/upload", SystemIF::eFailed},  // refused
      {"http://192.0.2.70:8080/silent", SystemIF::eFailed},  // never answers
  };
  for (const auto& u : uploads) {
    SCOPED_TRACE(u.url);
    const std::string fields = std::string("server_type: 'web' server_url: '") + u.url +
                               "' cert_path: '' web_ticket: 'tkt-s3cret'";
    EXPECT_EQ(app->ctl({"call", "SystemIF.LogUploadReq", fields, "--timeout", "10000"}).out, "error: 0\n");
    EXPECT_EQ(next<SystemIF::LogUploadStatusNtfy>(kMsgIdSystemIFLogUploadStatusNtfy).status(), u.status);
  }
  const std::string package = app->file("/data/local/upload/supportpackage.tgz");
  EXPECT_EQ(app->file("/var/logserver/uploads.log"), "1 /upload " + std::to_string(package.size()) + " ticket=yes\n");
  EXPECT_TRUE(!package.empty() && app->file("/var/logserver/uploads/1") == package);

  ASSERT_EQ(set("system.log.spacemonitoring.autotransfer.foldernameoption", "Custom") +
                set("system.log.spacemonitoring.autotransfer.foldername", "Room 1/logs"), 0);
  ASSERT_EQ(std::system((std::string(SIM_USB) + " insert " + root).c_str()), 0);
  subscribe(kMsgIdSystemIFLogTransferCompleteNtfy);
  EXPECT_EQ(app->ctl({"call", "SystemIF.LogTransferReq", "--timeout", "15000"}).out, "error: 0\n");
  EXPECT_EQ(next<SystemIF::LogTransferCompleteNtfy>(kMsgIdSystemIFLogTransferCompleteNtfy).error(), 0);
  EXPECT_EQ(app->file("/mnt/extdev/usb0/Room_1_logs/app.log"), "an application's log\n");
  EXPECT_NE(access((logs + "app.log").c_str(), F_OK), 0);  // moved, not copied
}

}  // namespace
