// forkExec, waitOnChild and findPid with real children and this machine's
// /proc, then with the recorder's scripted children and a fake /proc tree.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "platform/sysio/sysio_real.h"
#include "platform/sysio/sysio_recorder.h"
#include "platform/sysio/sysio_tempdir.h"
#include "systemservice/syssrvProcess.h"
#include "tests/OS/os_test_util.h"

using std::string;

// The log device is opened once, by logmsg_init, under the recorder's root:
// it stays there whichever seam a test installs afterwards.
struct ProcessTest : ::testing::Test, OsSeamFixtureBase {
  void SetUp() override { ASSERT_EQ(logmsg_init(0, "syssrv"), 0); }
  // The base's clean-up runs on the recorder, after m_real is gone.
  void TearDown() override { sysio_install(&rec()); }
  RealSysIo m_real;
};

// Polls (bounded) while `fn` gives `still`; nothing about time is asserted.
template <typename T, typename F>
T poll_while(T still, F fn) {
  T got = fn();
  for (int i = 0; i < 3000 && got == still; ++i, got = fn()) usleep(10000);
  return got;
}

TEST_F(ProcessTest, RealChildrenAndRealProc) {
  sysio_install(&m_real);
  SysIoTempDir dir("findpid");
  const string name = "probe" + std::to_string(getpid()), sleeper = dir.path() + "/" + name + "_nocbc";
  ASSERT_EQ(symlink("/bin/sleep", sleeper.c_str()), 0);
  struct Row { std::vector<const char*> argv; eErrorT rc; int status; };
  const Row rows[] = {{{"/bin/true", nullptr}, kNoError, 0}, {{"/bin/sh", "-c", "exit 3", nullptr}, kNoError, 3},
                      {{"/nonexistent/program", nullptr}, kNoError, 1},  // the exec failed in the child
                      {{sleeper.c_str(), "30", nullptr}, kRejected, SIGKILL}};
  for (const auto& r : rows) {
    pid_t pid = -1;
    int status = -1;
    ASSERT_EQ(forkExec(const_cast<const char**>(r.argv.data()), &pid), kNoError) << r.argv[0];
    if (r.rc == kRejected) {
      EXPECT_EQ(poll_while<pid_t>(0, [&] { return findPid(name.c_str()); }), pid) << "a prefix of its name";
      EXPECT_EQ(waitOnChild(pid, &status), kTimeOut);
      ASSERT_EQ(kill(pid, SIGKILL), 0);
    }
    EXPECT_EQ(poll_while(kTimeOut, [&] { return waitOnChild(pid, &status); }), r.rc) << r.argv[0];
    EXPECT_EQ(status, r.status) << r.argv[0];
    EXPECT_EQ(waitOnChild(pid, &status), kBadParameter) << "reaped: no such child any more";
  }
  EXPECT_EQ(findPid(name.c_str()), 0);
  EXPECT_EQ(device(), "");
}

// What a real child cannot be made to do on demand, and the refusals.
TEST_F(ProcessTest, ScriptedChildrenAndRefusals) {
  const char* argv[] = {"/opt/corvale/bin/amxbeacond", "Model_X", "1.0", "00:e0:db:01:02:03", "", "", "", nullptr};
  rec().on("/opt/corvale/bin/amxbeacond Model_X 1.0 00:e0:db:01:02:03   ").ends((SIGSTOP << 8) | 0x7f);
  rec().on_prefix("/bin/x").fail();
  pid_t pid = 0;
  ASSERT_EQ(forkExec(argv, &pid), kNoError);
  EXPECT_EQ(waitOnChild(pid, nullptr), kAlreadyInUse) << "stopped";
  EXPECT_EQ(rec().records(SysIoCall::kForkExec).at(0).argv, std::vector<string>(argv, argv + 7));
  EXPECT_EQ(rec().records(SysIoCall::kWaitpid).at(0).options, WNOHANG);
  EXPECT_EQ(forkExec(&argv[7], &pid), kBadParameter);
  argv[0] = "/bin/x";
  EXPECT_EQ(forkExec(argv, &pid), kSystemCallFailed);
  EXPECT_EQ(pid, 0);
  EXPECT_EQ((std::vector<eErrorT>{waitOnChild(0, nullptr), waitOnChild(-1, nullptr)}), std::vector<eErrorT>(2, kBadParameter));
  EXPECT_EQ(rec().records(SysIoCall::kWaitpid).size(), 1u) << "pid <= 0 would reap some other child";
  EXPECT_EQ(device(),
            "<3>syssrv: hd[0]: forkExec: no program to start\n<7>syssrv: hd[0]: Error forking child\n"
            "<3>syssrv: hd[0]: waitOnChild: refusing pid 0\n<3>syssrv: hd[0]: waitOnChild: refusing pid -1\n");
}

TEST_F(ProcessTest, FindPidInFakeProcAndTheSeamsLinkCalls) {
  rec().put_file("/proc/60/cmdline", string("/system/bin/sshd\0-D\0", 20));
  rec().put_file("/proc/57/cmdline", string("/system/bin/sshd_nocbc\0-D\0", 26));
  rec().put_file("/proc/70/cmdline", string(127, 'x') + "far\none\n");
  rec().put_file("/proc/self/cmdline", "selfish");
  const std::pair<const char*, pid_t> rows[] = {{"sshd", 57}, {"-D", 0},      {"xxx", 70},
                                                {"far", 0},   {"one", 0},     {"selfish", 0}, {"", 0}};
  for (const auto& r : rows) EXPECT_EQ(findPid(r.first), r.second) << r.first;
  ASSERT_TRUE(sysio_remove_tree(rec().path("/proc")));
  EXPECT_EQ(findPid("sshd"), 0);
  EXPECT_EQ(device(),
            "<3>syssrv: hd[0]: findPid: no process name given\n<3>syssrv: hd[0]: findPid: opendir /proc failed 2\n");
  const string target = "/devconvert/" + string(300, 'd');  // longer than the first read
  ASSERT_EQ(symlink(target.c_str(), rec().path("/init.rc").c_str()), 0);
  struct stat st;
  string got;
  EXPECT_TRUE(rec().lstat("/init.rc", &st) == 0 && S_ISLNK(st.st_mode));
  EXPECT_EQ(rec().readlink("/init.rc", &got), 312);
  EXPECT_EQ(got, target);
  EXPECT_EQ(rec().readlink("/dev/crvllog", &got), -1) << "not a link";
}
