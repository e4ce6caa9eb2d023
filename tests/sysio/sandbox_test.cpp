// The simulation seam: journal lines verbatim, stand-ins run from under the
// root, clean children, a wall clock that only moves inside the sandbox.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/sysio/sysio_sandbox.h"
#include "platform/sysio/sysio_tempdir.h"

namespace {

using Strings = std::vector<std::string>;

std::string slurp(const std::string& file) {
  std::ifstream f(file, std::ios::binary);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

Strings lines_of(const std::string& text) {
  Strings out;
  std::istringstream ss(text);
  std::string line;
  while (std::getline(ss, line)) out.push_back(line);
  return out;
}

class SandboxTest : public ::testing::Test {
 protected:
  SandboxTest() : io(tmp.path()) {}

  // A stand-in script under the root.
  void script(const std::string& abs, const std::string& body) {
    std::string real = io.path(abs);
    std::string dir = real.substr(0, real.rfind('/'));
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
    std::ofstream(real) << "#!/bin/sh\n" << body;
    ASSERT_EQ(::chmod(real.c_str(), 0755), 0);
  }
  Strings journal() { return lines_of(slurp(io.journal_path())); }
  std::string file(const std::string& abs) { return slurp(io.path(abs)); }
  pid_t reap(pid_t pid, int* st) {
    pid_t r;
    while ((r = io.waitpid(pid, st, 0)) < 0 && errno == EINTR) {
    }
    return r;
  }

  SysIoTempDir tmp{"sysio-sandbox"};
  SandboxSysIo io;
};

TEST_F(SandboxTest, RootComesFromTheArgumentOrTheEnvironment) {
  EXPECT_EQ(io.root(), tmp.path());
  EXPECT_EQ(io.path("/data/etc/resolv.conf"), tmp.path() + "/data/etc/resolv.conf");
  EXPECT_EQ(io.path("/../../etc/passwd"), tmp.path() + "/etc/passwd");
  ::setenv("SYSSRV_ROOT", "/some/where/", 1);
  EXPECT_EQ(SandboxSysIo().root(), "/some/where");
  ::unsetenv("SYSSRV_ROOT");
  EXPECT_THROW(SandboxSysIo(), std::invalid_argument);
}

TEST_F(SandboxTest, CommandsAreJournalledVerbatimAndRunFromTheRoot) {
  script("/system/bin/startnetwork", "echo \"$0 $*\" > \"$SYSSRV_ROOT/out\"\nexit 3\n");
  int st = io.system("/system/bin/startnetwork --restart");
  ASSERT_TRUE(WIFEXITED(st));
  EXPECT_EQ(WEXITSTATUS(st), 3);
  EXPECT_EQ(file("/out"), io.path("/system/bin/startnetwork") + " --restart\n");

  // Found through PATH too, and the environment points into the sandbox.
  script("/sim/bin/fw_printenv",
         "echo \"$SYSSRV_ROOT|$SYSSRV_PROP_DIR|$PATH\" > \"$SYSSRV_ROOT/env\"\n");
  EXPECT_EQ(io.system("fw_printenv -n serial"), 0);
  const std::string r = tmp.path();
  EXPECT_EQ(file("/env"), r + "|" + r + "/data/property|" + r + "/system/bin:" + r +
                              "/opt/corvale/bin:" + r + "/sim/bin:/usr/bin:/bin\n");

  // A missing stand-in is the shell's 127, still journalled.
  st = io.system("/opt/corvale/bin/none.sh arg");
  EXPECT_EQ(WEXITSTATUS(st), 127);

  EXPECT_EQ(journal(), (Strings{"/system/bin/startnetwork --restart", "fw_printenv -n serial",
                                "/opt/corvale/bin/none.sh arg"}));
}

TEST_F(SandboxTest, HostileCommandsKeepOneJournalLineEach) {
  const std::string out = "\"$SYSSRV_ROOT/h\"";
  const std::string cmd1 = "printf '%s\\n' 'it'\"'\"'s' `echo bq` \"a;b\" > " + out +
                           "\nprintf 'second\\n' >> " + out;
  // The background job is waited for by the same shell.
  const std::string cmd2 = "printf '%s\\n' 'DOMAIN\\\\user' >> " + out + " &\nwait";
  const std::string cmd3 = "am broadcast -a android.intent.action.TIME_SET\n";
  io.system(cmd1);
  io.system(cmd2);
  EXPECT_EQ(file("/h"), "it's\nbq\na;b\nsecond\nDOMAIN\\\\user\n");
  EXPECT_EQ(io.system(cmd3) >> 8, 127);  // no "am" stand-in here

  // Newlines become the two characters "\n"; backslashes, quotes,
  // semicolons and backquotes stay as they were.
  const std::string text = slurp(io.journal_path());
  EXPECT_EQ(text,
            "printf '%s\\n' 'it'\"'\"'s' `echo bq` \"a;b\" > \"$SYSSRV_ROOT/h\"\\nprintf "
            "'second\\n' >> \"$SYSSRV_ROOT/h\"\n"
            "printf '%s\\n' 'DOMAIN\\\\user' >> \"$SYSSRV_ROOT/h\" &\\nwait\n"
            "am broadcast -a android.intent.action.TIME_SET\\n\n");
  EXPECT_EQ(journal().size(), 3u);
  EXPECT_EQ(sysio_journal_line(cmd3), "am broadcast -a android.intent.action.TIME_SET\\n");
  EXPECT_EQ(journal()[2], sysio_journal_line(cmd3));
}

TEST_F(SandboxTest, ProcessesShareTheJournalLineByLine) {
  const int kProcs = 4, kEach = 40;
  std::vector<pid_t> kids;
  for (int p = 0; p < kProcs; ++p) {
    pid_t k = ::fork();
    ASSERT_GE(k, 0);
    if (k == 0) {
      for (int i = 0; i < kEach; ++i) io.system(": proc " + std::to_string(p) + " cmd " + std::to_string(i));
      _exit(0);
    }
    kids.push_back(k);
  }
  for (pid_t k : kids) {
    int st;
    ASSERT_EQ(::waitpid(k, &st, 0), k);
  }
  Strings lines = journal();
  ASSERT_EQ(lines.size(), static_cast<size_t>(kProcs * kEach));
  std::vector<int> next(kProcs, 0);
  for (const std::string& l : lines) {
    int p = -1, i = -1;
    ASSERT_EQ(std::sscanf(l.c_str(), ": proc %d cmd %d", &p, &i), 2) << l;
    ASSERT_TRUE(p >= 0 && p < kProcs);
    EXPECT_EQ(i, next[p]++) << "lines of one process stay in order";
    EXPECT_EQ(l, ": proc " + std::to_string(p) + " cmd " + std::to_string(i));
  }
}

TEST_F(SandboxTest, PopenReadsAndWritesThroughTheStandIns) {
  script("/opt/corvale/bin/certinfo", "echo \"subject=$1\"\nexit 2\n");
  FILE* f = io.popen("/opt/corvale/bin/certinfo 'C N'", "r");
  ASSERT_NE(f, nullptr);
  char buf[128] = {0};
  size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  EXPECT_EQ(std::string(buf, n), "subject=C N\n");
  int st = io.pclose(f);
  EXPECT_EQ(WEXITSTATUS(st), 2);

  f = io.popen("cat > \"$SYSSRV_ROOT/w\"", "w");
  ASSERT_NE(f, nullptr);
  std::fputs("line1\nline`2`;\n", f);
  EXPECT_EQ(io.pclose(f), 0);
  EXPECT_EQ(file("/w"), "line1\nline`2`;\n");

  EXPECT_EQ(io.popen("x", "q"), nullptr);
  EXPECT_EQ(io.pclose(stdin), -1);
  EXPECT_EQ(journal(), (Strings{"/opt/corvale/bin/certinfo 'C N'", "cat > \"$SYSSRV_ROOT/w\"", "x"}));
}

TEST_F(SandboxTest, ForkExecMapsTheProgramAndStartsACleanChild) {
  script("/opt/corvale/bin/amxbeacond",
         "fd=$1\n"
         "{ echo \"$0|$#|$2|$3|$4|$5\"\n"
         "  if [ -e /proc/$$/fd/$fd ]; then echo fd-open; else echo fd-closed; fi\n"
         // Builtins only: a forked grep would read the shell while it
         // blocks signals to wait for that very grep.
         "  while read l; do case $l in SigBlk*|SigIgn*) echo \"$l\";; esac; done "
         "< /proc/$$/status\n"
         "} > \"$SYSSRV_ROOT/child\"\n");
  // Things a child must not inherit: a descriptor without close-on-exec, a
  // blocked signal, an ignored signal.
  int leak = ::open((tmp.path() + "/leak").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GT(leak, 2);
  sigset_t usr1, old;
  sigemptyset(&usr1);
  sigaddset(&usr1, SIGUSR1);
  ASSERT_EQ(sigprocmask(SIG_BLOCK, &usr1, &old), 0);
  struct sigaction ign = {}, oldTerm;
  ign.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGTERM, &ign, &oldTerm), 0);

  pid_t pid = io.fork_exec({"/opt/corvale/bin/amxbeacond", std::to_string(leak), "Model X", "1.0",
                            "", "00:11"});
  sigprocmask(SIG_SETMASK, &old, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  ::close(leak);
  ASSERT_GT(pid, 0);
  int st = -1;
  ASSERT_EQ(reap(pid, &st), pid);
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
  EXPECT_EQ(file("/child"), io.path("/opt/corvale/bin/amxbeacond") +
                                "|5|Model X|1.0||00:11\nfd-closed\n"
                                "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n");
  EXPECT_EQ(journal(), (Strings{"/opt/corvale/bin/amxbeacond " + std::to_string(leak) +
                                " Model X 1.0  00:11"}));
}

TEST_F(SandboxTest, ForkExecFailuresAndSignals) {
  // A program that cannot be executed: the child exits with status 1.
  pid_t pid = io.fork_exec({"/opt/corvale/bin/missing", "a"});
  ASSERT_GT(pid, 0);
  int st = -1;
  ASSERT_EQ(reap(pid, &st), pid);
  EXPECT_TRUE(WIFEXITED(st));
  EXPECT_EQ(WEXITSTATUS(st), 1);
  EXPECT_EQ(io.fork_exec({}), -1);

  script("/opt/corvale/bin/sleeper", "exec sleep 30\n");
  pid = io.fork_exec({"/opt/corvale/bin/sleeper"});
  ASSERT_GT(pid, 0);
  EXPECT_EQ(io.waitpid(pid, &st, WNOHANG), 0);
  EXPECT_EQ(io.kill(pid, SIGTERM), 0);
  ASSERT_EQ(reap(pid, &st), pid);
  EXPECT_TRUE(WIFSIGNALED(st));
  EXPECT_EQ(WTERMSIG(st), SIGTERM);
  EXPECT_EQ(io.waitpid(pid, &st, WNOHANG), -1);
  // Process groups of this machine are out of reach.
  EXPECT_EQ(io.kill(0, 0), -1);
  EXPECT_EQ(io.kill(-1, 0), -1);
  EXPECT_EQ(journal(), (Strings{"/opt/corvale/bin/missing a", "", "/opt/corvale/bin/sleeper"}));
}

TEST_F(SandboxTest, WallClockMovesOnlyInsideTheSandbox) {
  const time_t realBefore = ::time(nullptr);
  EXPECT_LE(std::abs(io.time(nullptr) - realBefore), 2);  // no offset file yet

  struct timespec want = {86400, 250000000};
  ASSERT_EQ(io.clock_settime(CLOCK_REALTIME, &want), 0);
  // This machine's clock is where it was.
  EXPECT_GE(::time(nullptr), realBefore);
  EXPECT_LE(::time(nullptr) - realBefore, 60);

  // The offset file says how far the sandbox is from the real clock.
  long long sec = 0, nsec = -1;
  ASSERT_EQ(std::sscanf(file("/var/clock_offset").c_str(), "%lld %lld", &sec, &nsec), 2);
  EXPECT_NEAR(static_cast<double>(sec), 86400.0 - static_cast<double>(realBefore), 60.0);
  EXPECT_GE(nsec, 0);
  EXPECT_LT(nsec, 1000000000LL);
  EXPECT_EQ(file("/var/clock_offset").back(), '\n');

  struct timespec ts;
  ASSERT_EQ(io.clock_gettime(CLOCK_REALTIME, &ts), 0);
  EXPECT_GE(ts.tv_sec, 86400);
  EXPECT_LT(ts.tv_sec, 86400 + 60);
  time_t t = 0;
  EXPECT_EQ(io.time(&t), t);
  EXPECT_GE(t, 86400);
  EXPECT_LT(t, 86400 + 60);

  // Monotonic is untouched by the offset.
  struct timespec m1, m2;
  ASSERT_EQ(io.clock_gettime(CLOCK_MONOTONIC, &m1), 0);
  ASSERT_EQ(::clock_gettime(CLOCK_MONOTONIC, &m2), 0);
  EXPECT_LE(std::abs(static_cast<long long>(m2.tv_sec - m1.tv_sec)), 2);

  // A later time moves it forward.
  want = {static_cast<time_t>(realBefore + 3600), 0};
  ASSERT_EQ(io.clock_settime(CLOCK_REALTIME, &want), 0);
  ASSERT_EQ(std::sscanf(file("/var/clock_offset").c_str(), "%lld %lld", &sec, &nsec), 2);
  EXPECT_GE(sec, 3540);
  EXPECT_LE(sec, 3600);
  EXPECT_GE(io.time(nullptr) - ::time(nullptr), 3540);

  // Refusals leave the offset alone.
  const std::string before = file("/var/clock_offset");
  EXPECT_EQ(io.clock_settime(CLOCK_MONOTONIC, &want), -1);
  struct timespec bad = {5, -1};
  EXPECT_EQ(io.clock_settime(CLOCK_REALTIME, &bad), -1);
  EXPECT_EQ(file("/var/clock_offset"), before);
}

TEST_F(SandboxTest, IoctlOnADeviceStandInIsJournalled) {
  ASSERT_EQ(io.mkdir("/dev", 0755), 0);
  int fd = io.open("/dev/uinput", O_WRONLY | O_CREAT | O_NONBLOCK, 0644);
  ASSERT_GE(fd, 0);
  int one = 1;
  EXPECT_EQ(io.ioctl(fd, 0x40045564UL, &one), 0);
  EXPECT_EQ(io.ioctl(fd, 0x5501UL, nullptr), 0);
  ::close(fd);
  EXPECT_EQ(journal(), (Strings{"ioctl /dev/uinput 0x40045564", "ioctl /dev/uinput 0x5501"}));

  // A real descriptor of another kind goes to the kernel.
  int p[2];
  ASSERT_EQ(::pipe(p), 0);
  ASSERT_EQ(::write(p[1], "abc", 3), 3);
  int avail = -1;
  EXPECT_EQ(io.ioctl(p[0], FIONREAD, &avail), 0);
  EXPECT_EQ(avail, 3);
  ::close(p[0]);
  ::close(p[1]);
  EXPECT_EQ(io.ioctl(p[0], FIONREAD, &avail), -1);
  EXPECT_EQ(journal().size(), 2u);
}

TEST_F(SandboxTest, PropertiesAndFilesLiveUnderTheRoot) {
  char v[PROP_VALUE_MAX];
  EXPECT_EQ(io.property_set("net.hostname", "room-1"), 0);
  EXPECT_EQ(file("/data/property/net.hostname"), "room-1");
  EXPECT_EQ(io.property_get("net.hostname", v), 6);
  EXPECT_STREQ(v, "room-1");
  EXPECT_EQ(io.property_set("ro.x", "1"), 0);
  EXPECT_EQ(io.property_set("ro.x", "2"), -1);
  // A stand-in script sees the same store.
  script("/system/bin/show", "cat \"$SYSSRV_PROP_DIR/net.hostname\" > \"$SYSSRV_ROOT/seen\"\n");
  EXPECT_EQ(io.system("show"), 0);
  EXPECT_EQ(file("/seen"), "room-1");

  ASSERT_EQ(io.mkdir("/data/etc", 0755), 0);
  FILE* f = io.fopen("/data/etc/hosts", "w");
  ASSERT_NE(f, nullptr);
  std::fputs("127.0.0.1 localhost\n", f);
  std::fclose(f);
  struct stat st;
  EXPECT_EQ(io.stat("/data/etc/hosts", &st), 0);
  EXPECT_EQ(io.access("/data/etc/hosts", R_OK), 0);
  EXPECT_EQ(io.rename("/data/etc/hosts", "/data/etc/hosts2"), 0);
  Strings names;
  EXPECT_TRUE(io.list_dir("/data/etc", &names));
  EXPECT_EQ(names, (Strings{"hosts2"}));
  EXPECT_EQ(io.unlink("/data/etc/hosts2"), 0);
  EXPECT_EQ(::access((tmp.path() + "/data/etc/hosts2").c_str(), F_OK), -1);
}

}  // namespace

TEST(SandboxPaths, OnlyTheKernelsNetworkFilesAreReadWhereTheyAre) {
  SysIoTempDir tmp{"sysio-sandbox-paths"};
  SandboxSysIo io(tmp.path());
  const std::string r = tmp.path();
  const struct {
    const char* abs;
    std::string want;
  } rows[] = {
      {"/sys/class/net/eth0/carrier", "/sys/class/net/eth0/carrier"},
      {"/sys/class/net", "/sys/class/net"},
      {"/proc/net/if_inet6", "/proc/net/if_inet6"},
      {"//proc/./net/ipv6_route", "/proc/net/ipv6_route"},
      {"/proc/net/../../etc/passwd", r + "/etc/passwd"},
      {"/sys/class/net/../leds/a/brightness", r + "/sys/class/leds/a/brightness"},
      {"/sys/class/network", r + "/sys/class/network"},
      {"/proc/netstat", r + "/proc/netstat"},
      {"/proc/crvl_ir_fltr", r + "/proc/crvl_ir_fltr"},
      {"/sys/devices/corvaleuc_leds/auto_blink", r + "/sys/devices/corvaleuc_leds/auto_blink"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.abs);
    EXPECT_EQ(io.path(row.abs), row.want);
  }
  FILE* f = io.fopen("/proc/net/dev", "r");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
}
