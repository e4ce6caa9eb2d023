// The configuration service killed in the middle of a stream of writes, and
// full disks under its database and under the log directory: what was
// acknowledged stays, a refused write says why, nothing hangs, and the
// daemon lives on and still hears of changes.
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <atomic>
#include <random>

#include "ConfigIF.pb.h"
#include "platform/msgutil/msgUtil.h"
#include "tests/arch/exec_wrapper.h"
#include "tests/sim/simFixture.h"

namespace {

// Written by administrators; the daemon registers for nothing on it, so a
// write is committed without any callback round trip.
const char kStream[] = "comm.NICs.H323Nic.h323name";
// The daemon asks to be told of every change of this one, and then reads it
// back and writes the certificate request's common name from it.
const char kWatched[] = "system.network.hostname";
constexpr int kNoAnswer = 1;

class SimStorageTest : public SimTest {
 protected:
  // One write as an administrator, straight to the service: the WriteRsp
  // error, kNoAnswer when the send fails or no answer comes (at once once
  // `gone` says the service was reaped: nothing can still be on its way).
  int write(const std::string& value, const std::atomic<bool>* gone = nullptr, const char* name = kStream) {
    const char* local = app->endpoint();
    if (local == nullptr || (m_cfg == 0 && MSG_OpenRemoteSync(local, "ConfigSrvc", 10000, &m_cfg) != 0)) return kNoAnswer;
    ConfigIF::WriteReq req;
    req.set_name(local);
    req.set_role(CommonIF::kAdmin);
    req.mutable_instance_val()->mutable_instance()->add_node()->set_name(name);
    req.mutable_instance_val()->add_value(value);
    const uint32_t seq = MSG_GetNextSequence();
    MSG_Message* m = msgUtil_buildMsg(req, seq, nullptr);
    if (m == nullptr || MSG_SendMsg(local, m_cfg, m) != 0) return kNoAnswer;
    for (int slices = 0; slices < kSimHangMs / 200; ++slices) {
      const bool last = gone != nullptr && *gone;
      MSG_Message* in = MSG_RecvMsg(local, kMsgIdConfigIFWriteRsp, 200);
      if (in == nullptr && last) return kNoAnswer;
      ConfigIF::WriteRsp rsp;
      const bool mine = in != nullptr && MSG_GetSequence(in) == seq &&
                        rsp.ParseFromArray(MSG_GetPayload(in), static_cast<int>(MSG_GetPayloadBytes(in)));
      if (in != nullptr) MSG_ReleaseMsg(in);
      if (mine) return rsp.error();
    }
    return kNoAnswer;
  }
  // Kills the service, reaps it, runs the shell command `between`, and
  // starts the service again on the same database.
  void restartConfig(const std::string& between = "true") {
    const pid_t config = app->configPid();
    ASSERT_EQ(kill(config, SIGKILL), 0);
    ASSERT_EQ(waitpid(config, nullptr, 0), config);
    ASSERT_EQ(std::system(between.c_str()), 0) << between;
    std::string why;
    ASSERT_TRUE(app->startConfigService(&why)) << why;
  }
  // What `configsrvc --check` prints on the appliance's database, then its exit status.
  std::string check() {
    std::string cmd;
    for (const std::string& w : archExecArgv({SIM_CONFIGSRVC_BIN, "--db", app->root() + "/data/configsrvc/config.db"})) {
      cmd += w + " ";
    }
    return simCommandOutput(cmd + "--check; echo $?");
  }
  // An administrator's change of the watched variable reaches the daemon,
  // whose reads and writes reach the service.
  void expectDaemonHears(const std::string& value) {
    ASSERT_EQ(app->ctl({"config", "set", kWatched, value, "--role", "admin"}).status, 0);
    EXPECT_TRUE(simWaitFor([&] { return app->configGet("system.pki.csr.commonname").rfind(value + ".", 0) == 0; }));
  }

  // The shell command that mounts a file system of `size` on the appliance's
  // `abs`, with a copy of what was there; it is detached after the test.
  std::string mountSmall(const std::string& abs, const std::string& size) {
    m_mounts.push_back(app->root() + abs);
    const std::string dir = "'" + m_mounts.back() + "'", copy = "'" + app->root() + "/sim/copy'";
    return "cp -a " + dir + " " + copy + " && mount -t tmpfs -o size=" + size + " small " + dir + " && cp -a " +
           copy + "/. " + dir;
  }
  void TearDown() override {
    for (const std::string& dir : m_mounts) umount2(dir.c_str(), MNT_DETACH);
    SimTest::TearDown();
  }

  MSG_Endpoint m_cfg = 0;
  std::vector<std::string> m_mounts;
};

TEST_F(SimStorageTest, AcknowledgedWritesOutliveAKillAndTheRestartedServiceStillNotifiesTheDaemon) {
  ASSERT_NO_FATAL_FAILURE(bringUp());
  const pid_t daemon = app->daemonPid(), config = app->configPid();
  std::atomic<bool> gone{false};
  std::random_device seed;
  const int killAfterMs = std::uniform_int_distribution<int>(200, 1500)(seed);
  std::thread killer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(killAfterMs));
    kill(config, SIGKILL);
    waitpid(config, nullptr, 0);
    gone = true;
  });
  int acked = 0;
  while (write("v" + std::to_string(acked + 1), &gone) == 0) ++acked;
  killer.join();
  ASSERT_GT(acked, 0) << "killed after " << killAfterMs << " ms, before any write was answered";
  // Its reads fail at once while the service is gone, and it says so.
  EXPECT_TRUE(simWaitFor([&] { return simFind(app->daemonLog(), ": MSG_SendMsg failed, err=") >= 0; }));

  std::string why;
  ASSERT_TRUE(app->startConfigService(&why)) << why;
  const std::string now = app->configGet(kStream);
  EXPECT_TRUE(now == "v" + std::to_string(acked) || now == "v" + std::to_string(acked + 1))
      << now << " after " << acked << " acknowledged writes, killed after " << killAfterMs << " ms";
  EXPECT_EQ(app->daemonPid(), daemon);
  // Its registrations are the service's to keep: no new ones were needed.
  expectDaemonHears("after-the-kill");
  EXPECT_EQ(check(), "journal_mode wal\nok\n0\n");
}

TEST_F(SimStorageTest, AFullDiskRefusesAWriteWithItsCauseAndLosesNothingThatWasAcknowledged) {
  ASSERT_NO_FATAL_FAILURE(bringUp());
  const pid_t daemon = app->daemonPid();
  const std::string db = app->root() + "/data/configsrvc", filler = db + "/filler";
  // The database on a disk of its own with 256 KiB to spare, half of them
  // taken by a file that can go later.
  const std::string used = simCommandOutput("du -sk '" + db + "' | cut -f1");
  restartConfig(mountSmall("/data/configsrvc", std::to_string(std::stoi(used) + 256) + "k") +
                " && head -c 131072 /dev/zero >'" + filler + "'");
  int acked = 0, refused = 0;
  while (acked < 1000 && (refused = write("full-" + std::to_string(acked + 1))) == 0) ++acked;
  ASSERT_NE(refused, 0) << acked << " writes fitted";
  EXPECT_NE(refused, kNoAnswer);
  EXPECT_GE(simFind(app->configLog(), ": database refused: database or disk is full"), 0);
  EXPECT_EQ(waitpid(app->configPid(), nullptr, WNOHANG), 0) << "the service ended";
  const std::string last = acked > 0 ? "full-" + std::to_string(acked) : "";
  EXPECT_EQ(app->configGet(kStream), last);

  // With room again, the same service takes writes and tells the daemon.
  ASSERT_EQ(unlink(filler.c_str()), 0);
  EXPECT_EQ(write("room-again"), 0);
  expectDaemonHears("room-again");
  restartConfig();
  EXPECT_EQ(check(), "journal_mode wal\nok\n0\n");
  EXPECT_EQ(app->configGet(kStream), "room-again");
  EXPECT_EQ(app->daemonPid(), daemon);
}

// The log directory on a small disk of its own, from before the daemon starts.
class SimLogDiskTest : public SimStorageTest {
  bool startPeers() override { return std::system(mountSmall("/data/corvale/log", "40m").c_str()) == 0; }
};

TEST_F(SimLogDiskTest, AFullLogDiskCrossesTheThresholdWhileSyslogdAndTheDaemonCarryOn) {
  if (std::getenv("SYSSRV_EXEC_WRAPPER") != nullptr) GTEST_SKIP() << "natively only: syslogd is this machine's";
  ASSERT_NO_FATAL_FAILURE(bringUp());
  const pid_t daemon = app->daemonPid();
  auto syslogd = [] { return simCommandOutput("pgrep -f '^busybox syslogd' || true"); };
  ASSERT_TRUE(simWaitFor([&] { return !syslogd().empty(); }));
  const std::string pid = syslogd();
  ASSERT_EQ(app->ctl({"config", "set", "system.log.spacemonitoring.updatefreq", "1", "--role", "admin"}).status, 0);
  subscribe(kMsgIdSystemIFLogSpaceThresholdNtfy);
  ASSERT_EQ(app->ctl({"config", "set", "system.log.spacemonitoring.threshold", "50", "--role", "admin"}).status, 0);
  using Ntfy = SystemIF::LogSpaceThresholdNtfy;
  EXPECT_FALSE(next<Ntfy>(kMsgIdSystemIFLogSpaceThresholdNtfy).threshold_exceeded());
  simCommandOutput("cat /dev/zero >'" + app->root() + "/data/corvale/log/filler' 2>/dev/null");
  EXPECT_TRUE(next<Ntfy>(kMsgIdSystemIFLogSpaceThresholdNtfy).threshold_exceeded());
  simCommandOutput("logger -u '" + app->root() + "/dev/log' -t simtest 'into a full disk'");
  EXPECT_EQ(syslogd(), pid);
  EXPECT_EQ(app->daemonPid(), daemon);
  expectDaemonHears("log-disk-full");
}

}  // namespace
