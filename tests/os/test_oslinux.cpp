// Process lookup, the interrupts-off emulation and the processor settings.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "OS/logmsg.h"
#include "OS/oslinux.h"
#include "tests/os/os_test_util.h"

namespace {

using std::string;

class OsLinuxTest : public ::testing::Test, public OsSeamFixtureBase {
 protected:
  void put_stat(const string& pid, const string& stat) { rec().put_file("/proc/" + pid + "/stat", stat); }
};

string hex_thread(pthread_t t) {
  char buf[32];
  snprintf(buf, sizeof buf, "%08lx", (unsigned long)t);
  return buf;
}

// ---- find_pid ----

TEST_F(OsLinuxTest, FindPidMatchesCommandNameExactly) {
  put_stat("1", "1 (init) S 0 1 1 0 -1 4194560");
  put_stat("42", "42 (ptp4l-extra) S 1 42 42 0");
  put_stat("57", "57 (ptp4l) S 1 57 57 0 -1");
  put_stat("60", "60 (ptp4) S 1 60 60 0");
  EXPECT_EQ(find_pid("ptp4l"), 57);
  EXPECT_EQ(find_pid("init"), 1);
  EXPECT_EQ(find_pid("ptp"), -1);
  EXPECT_EQ(find_pid("PTP4L"), -1);
  EXPECT_EQ(find_pid(""), -1);
}

TEST_F(OsLinuxTest, FindPidSkipsNonNumericEntriesAndBrokenStats) {
  put_stat("self", "99 (target) S");
  put_stat("net", "98 (target) S");
  put_stat("12", "12 no parentheses here");
  put_stat("13", "");
  rec().make_dirs("/proc/14");  // ended while we looked: no stat file
  put_stat("15", "15 target) S (");
  EXPECT_EQ(find_pid("target"), -1);
  put_stat("77", "77 (target) R 1");
  EXPECT_EQ(find_pid("target"), 77);
}

TEST_F(OsLinuxTest, FindPidNameMayHoldParenthesesAndBlanks) {
  put_stat("300", "300 (a) b) S 1 300");
  put_stat("301", "301 (two words) S 1 301");
  EXPECT_EQ(find_pid("a) b"), 300);
  EXPECT_EQ(find_pid("two words"), 301);
}

TEST_F(OsLinuxTest, FindPidReadsOnly127BytesOfStat) {
  // A name running past the first 127 bytes has no ')' within them.
  put_stat("500", "500 (" + string(130, 'n') + ") S");
  EXPECT_EQ(find_pid(string(130, 'n').c_str()), -1);
  put_stat("501", "501 (" + string(15, 'm') + ") S " + string(200, '1'));
  EXPECT_EQ(find_pid(string(15, 'm').c_str()), 501);
}

TEST_F(OsLinuxTest, FindPidWithoutProcSaysSo) {
  auto out = capture_stdout();
  int pid = find_pid("init");
  EXPECT_EQ(out->stop(), "could not open /proc\n");
  EXPECT_EQ(pid, -1);
}

TEST_F(OsLinuxTest, FindPidNullNameIsNotFound) {
  put_stat("1", "1 (init) S");
  EXPECT_EQ(find_pid(nullptr), -1);
}

string comm_of(int pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/comm");
  string comm;
  std::getline(f, comm);
  return comm;
}

// Against this machine's own /proc, through the real seam. The process
// looked for is a child under a name it set itself: under qemu-arm a
// process's own /proc/<pid>/stat shows the program's file name instead of
// that name, while the kernel's view of another process is what find_pid
// reads on the appliance.
TEST(FindPidRealProcTest, FindsProcessWithOwnCommandName) {
  sysio_install(nullptr);
  char unique[16];
  snprintf(unique, sizeof unique, "osfp%d", static_cast<int>(getpid()) % 100000000);
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ready[0]);
    close(done[1]);
    char c = prctl(PR_SET_NAME, unique, 0, 0, 0) == 0 ? 'y' : 'n';
    if (write(ready[1], &c, 1) != 1) _exit(2);
    ssize_t n = read(done[0], &c, 1);  // until the parent has looked
    _exit(n == 0 ? 0 : 3);
  }
  close(ready[1]);
  close(done[0]);
  char c = 0;
  EXPECT_EQ(read(ready[0], &c, 1), 1);
  EXPECT_EQ(c, 'y') << "prctl(PR_SET_NAME) failed in the child";
  EXPECT_EQ(comm_of(child), unique);
  EXPECT_EQ(find_pid(unique), static_cast<int>(child));
  EXPECT_EQ(find_pid("no-such-proc-q"), -1);
  close(done[1]);
  close(ready[0]);
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  // Gone and reaped: no longer found.
  EXPECT_EQ(find_pid(unique), -1);
}

// ---- interruptsOff / interruptsRestore ----

class InterruptsTest : public OsLinuxTest {
 protected:
  void SetUp() override { logmsg_init(0, "syssrv"); }
};

TEST_F(InterruptsTest, NestedPairsCountUpAndDownQuietly) {
  int a = interruptsOff();
  int b = interruptsOff();
  int c = interruptsOff();
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, 3);
  interruptsRestore(c);
  interruptsRestore(b);
  interruptsRestore(a);
  EXPECT_EQ(interruptsOff(), 1);
  interruptsRestore(1);
  EXPECT_EQ(device(), "");
}

TEST_F(InterruptsTest, RestoreWithoutOffWarns) {
  interruptsRestore(1);
  EXPECT_EQ(device(), "<4>syssrv: hd[0]: os: interruptsRestore called without interruptsOff curthread: " +
                          hex_thread(pthread_self()) + "\n");
  // Nothing was unbalanced by it.
  EXPECT_EQ(interruptsOff(), 1);
  interruptsRestore(1);
}

TEST_F(InterruptsTest, RestoreWithWrongCountWarnsAndStillRestores) {
  int a = interruptsOff();
  interruptsOff();
  interruptsRestore(a);  // should have been 2
  EXPECT_EQ(device(), "<4>syssrv: hd[0]: os: interruptsRestore call inconsistent intsoffcount: 2 oldie: 1\n");
  interruptsRestore(a);
  EXPECT_EQ(device(), "<4>syssrv: hd[0]: os: interruptsRestore call inconsistent intsoffcount: 2 oldie: 1\n");
  EXPECT_EQ(interruptsOff(), 1);
  interruptsRestore(1);
}

TEST_F(InterruptsTest, RestoreFromAnotherThreadWarnsAndChangesNothing) {
  int a = interruptsOff();
  pthread_t main_thread = pthread_self();
  pthread_t other_id{};
  std::thread other([&] {
    other_id = pthread_self();
    interruptsRestore(a);
  });
  other.join();
  EXPECT_EQ(device(), "<4>syssrv: hd[0]: os: interruptsRestore call re-entered intsoffthread: " +
                          hex_thread(main_thread) + " curthread: " + hex_thread(other_id) + "\n");
  EXPECT_EQ(interruptsOff(), 2) << "the other thread must not have changed the count";
  interruptsRestore(2);
  interruptsRestore(1);
}

TEST_F(InterruptsTest, OtherThreadWaitsUntilRestored) {
  int a = interruptsOff();
  std::atomic<bool> entered{false};
  std::thread other([&] {
    int n = interruptsOff();
    entered = true;
    interruptsRestore(n);
  });
  usleep(50 * 1000);
  EXPECT_FALSE(entered.load()) << "interruptsOff must exclude other threads";
  interruptsRestore(a);
  other.join();
  EXPECT_TRUE(entered.load());
  EXPECT_EQ(device(), "");
}

TEST_F(InterruptsTest, ExcludesConcurrentUpdates) {
  long counter = 0;  // deliberately not atomic: the lock must protect it
  const int kRounds = 50000;
  auto work = [&] {
    for (int i = 0; i < kRounds; ++i) {
      int n = interruptsOff();
      int m = interruptsOff();
      counter = counter + 1;
      interruptsRestore(m);
      interruptsRestore(n);
    }
  };
  std::thread t1(work), t2(work);
  t1.join();
  t2.join();
  EXPECT_EQ(counter, 2L * kRounds);
  EXPECT_EQ(device(), "");
}

TEST_F(InterruptsTest, InitIsHarmlessTwice) {
  oslinux_intsoff_init();
  oslinux_intsoff_init();
  EXPECT_EQ(interruptsOff(), 1);
  interruptsRestore(1);
  EXPECT_EQ(device(), "");
}

// ---- processor settings and stubs ----

TEST_F(OsLinuxTest, ProcessorSettings) {
  EXPECT_EQ(GetProcessorNum(), 0);
  EXPECT_EQ(GetNumProcessors(), 0);
  SetProcessorNum(3);
  SetNumProcessors(4);
  EXPECT_EQ(GetProcessorNum(), 3);
  EXPECT_EQ(GetNumProcessors(), 4);
  SetProcessorNum(0);
  SetNumProcessors(0);
  EXPECT_EQ(ExecutionLevel(), 0);
  EXPECT_EQ(GetCyclesPerTick(), 10000u);
}

TEST_F(OsLinuxTest, BackTraceStubsSaySo) {
  auto out = capture_stdout();
  sstackBackTrace(5);
  stackBackTrace(0);
  EXPECT_EQ(out->stop(),
            "sstackBackTrace(UInt32 taskID) not implemented.\n"
            "stackBackTrace(UInt32 taskID) not implemented.\n");
}

}  // namespace
