// The configuration service killed in the middle of a stream of writes, and
// a full disk under its database: what was acknowledged stays, a refused
// write says why, nothing hangs, and the daemon lives on and still hears of
// changes.
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <atomic>
#include <random>

#include "tests/sim/simFixture.h"

namespace {

// Written by administrators; the daemon registers for nothing on it, so a
// write is committed without any callback round trip.
const char kStream[] = "comm.NICs.H323Nic.h323name";
// The daemon asks to be told of every change of this one, and then reads it
// back and writes the certificate request's common name from it.
const char kWatched[] = "system.network.hostname";

class SimStorageTest : public SimTest {
 protected:
  // An administrator's write through syssrvctl; exit status 0 once the service acknowledged it.
  SimRun set(const std::string& value, const char* name = kStream) {
    return app->ctl({"config", "set", name, value, "--role", "admin"});
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
    const char* wrapper = std::getenv("SYSSRV_EXEC_WRAPPER");
    return simCommandOutput(std::string(wrapper ? wrapper : "") + " " + SIM_CONFIGSRVC_BIN + " --db " + app->root() +
                            "/data/configsrvc/config.db --check; echo $?");
  }
  // An administrator's change of the watched variable reaches the daemon,
  // whose reads and writes reach the service.
  void expectDaemonHears(const std::string& value) {
    ASSERT_EQ(set(value, kWatched).status, 0);
    EXPECT_TRUE(simWaitFor([&] { return app->configGet("system.pki.csr.commonname").rfind(value + ".", 0) == 0; }));
  }

  void TearDown() override {
    if (app) umount2((app->root() + "/data/configsrvc").c_str(), MNT_DETACH);
    SimTest::TearDown();
  }
};

TEST_F(SimStorageTest, AcknowledgedWritesOutliveAKillAndAFullDiskAndTheDaemonStillHearsOfChanges) {
  ASSERT_NO_FATAL_FAILURE(bringUp());
  const pid_t daemon = app->daemonPid(), config = app->configPid();
  std::random_device seed;
  const int killAfterMs = std::uniform_int_distribution<int>(0, 1000)(seed);
  std::atomic<int> acked{0};
  std::thread killer([&] {  // at a random point after the first acknowledged write
    simWaitFor([&] { return acked > 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(killAfterMs));
    kill(config, SIGKILL);
    waitpid(config, nullptr, 0);
  });
  while (set("v" + std::to_string(acked + 1)).status == 0) ++acked;
  killer.join();
  ASSERT_GT(acked, 0) << "the first write was not acknowledged";
  // Its reads fail at once while the service is gone, and it says so.
  EXPECT_TRUE(simWaitFor([&] { return simFind(app->daemonLog(), ": MSG_SendMsg failed, err=") >= 0; }));

  std::string why;
  ASSERT_TRUE(app->startConfigService(&why)) << why;
  const std::string now = app->configGet(kStream);
  EXPECT_TRUE(now == "v" + std::to_string(acked) || now == "v" + std::to_string(acked + 1))
      << now << " after " << acked << " acknowledged writes, killed after " << killAfterMs << " ms";
  // Its registrations are the service's to keep: no new ones were needed.
  expectDaemonHears("after-the-kill");

  // The database moves to a disk of its own with 256 KiB to spare, half of
  // them taken by a file that can go later.
  const std::string db = app->root() + "/data/configsrvc", filler = db + "/filler";
  restartConfig("cp -a " + db + " " + db + ".0 && mount -t tmpfs -o size=$(($(du -sk " + db + " | cut -f1) + 256))k db " +
                db + " && cp -a " + db + ".0/. " + db + " && head -c 131072 /dev/zero >" + filler);
  int fitted = 0;
  SimRun refused;
  while (fitted < 1000 && (refused = set("full-" + std::to_string(fitted + 1))).status == 0) ++fitted;
  // The writer and the service's log both learn why.
  EXPECT_EQ(refused.err, std::string("syssrvctl: database: database or disk is full\nsyssrvctl: config set ") + kStream +
                            ": kErrOutOfResources (-5)\n") << fitted << " fitted";
  EXPECT_GE(simFind(app->configLog(), ": database refused: database or disk is full"), 0);
  EXPECT_EQ(app->configGet(kStream), fitted > 0 ? "full-" + std::to_string(fitted) : "");

  // With room again, the same service takes writes and tells the daemon.
  ASSERT_EQ(unlink(filler.c_str()), 0);
  EXPECT_EQ(set("room-again").status, 0);
  expectDaemonHears("room-again");
  // Killed right after the daemon's own write, acknowledged as it heard of the change.
  restartConfig();
  EXPECT_EQ(check(), "journal_mode wal\nok\n0\n");
  EXPECT_EQ(app->configGet(kStream), "room-again");
  EXPECT_EQ(app->configGet("system.pki.csr.commonname").rfind("room-again.", 0), 0u);
  EXPECT_EQ(app->daemonPid(), daemon);
}

}  // namespace
