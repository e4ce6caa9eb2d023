// The simulation seam: journal lines verbatim, stand-ins run from under the
// root, clean children.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/sysio/sysio_sandbox.h"
#include "platform/sysio/sysio_secrets.h"
#include "platform/sysio/sysio_tempdir.h"

namespace {

class SandboxTest : public ::testing::Test {
 protected:
  SandboxTest() : io(tmp.path(), false) {}
  // A stand-in script under the root.
  void script(const std::string& abs, const std::string& body) {
    std::string real = io.path(abs);
    ASSERT_EQ(std::system(("mkdir -p '" + real.substr(0, real.rfind('/')) + "'").c_str()), 0);
    std::ofstream(real) << "#!/bin/sh\n" << body;
    ASSERT_EQ(::chmod(real.c_str(), 0755), 0);
  }
  std::string file(const std::string& abs) {
    std::ifstream f(io.path(abs), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  SysIoTempDir tmp{"sysio-sandbox"};
  SandboxSysIo io;
};

TEST_F(SandboxTest, CommandsRunFromTheRootAndKeepOneVerbatimJournalLineEach) {
  script("/system/bin/startnetwork", "echo \"$0 $*|$SYSSRV_PROP_DIR\" > \"$SYSSRV_ROOT/out\"\nexit 3\n");
  EXPECT_EQ(WEXITSTATUS(io.system("/system/bin/startnetwork --restart")), 3);
  EXPECT_EQ(file("/out"), io.path("/system/bin/startnetwork") + " --restart|" + tmp.path() + "/data/property\n");
  const std::string out = "\"$SYSSRV_ROOT/h\"";
  io.system("printf '%s\\n' 'it'\"'\"'s' `echo bq` \"a;b\" > " + out + "\nprintf 'second\\n' >> " + out);
  EXPECT_EQ(file("/h"), "it's\nbq\na;b\nsecond\n");
  EXPECT_EQ(WEXITSTATUS(io.system("am broadcast -a android.intent.action.TIME_SET\n")), 127);  // no stand-in
  // Newlines become the two characters "\n"; everything else stays.
  EXPECT_EQ(file("/var/journal/commands.log"),
            "/system/bin/startnetwork --restart\n"
            "printf '%s\\n' 'it'\"'\"'s' `echo bq` \"a;b\" > \"$SYSSRV_ROOT/h\"\\nprintf 'second\\n' >> "
            "\"$SYSSRV_ROOT/h\"\n"
            "am broadcast -a android.intent.action.TIME_SET\\n\n");
}

TEST_F(SandboxTest, ForkExecMapsTheProgramAndStartsACleanChild) {
  script("/opt/corvale/bin/amxbeacond",
         "fd=$1\n"
         "{ echo \"$0|$#|$2|$3\"\n"
         "  if [ -e /proc/$$/fd/$fd ]; then echo fd-open; else echo fd-closed; fi\n"
         // Builtins only: a forked grep would read the shell while it
         // blocks signals to wait for that very grep.
         "  while read l; do case $l in SigBlk*|SigIgn*) echo \"$l\";; esac; done < /proc/$$/status\n"
         "} > \"$SYSSRV_ROOT/child\"\n");
  // What a child must not inherit: a descriptor without close-on-exec, a
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
  pid_t pid = io.fork_exec({"/opt/corvale/bin/amxbeacond", std::to_string(leak), "Model X", ""});
  sigprocmask(SIG_SETMASK, &old, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  ::close(leak);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(io.kill(pid, 0), 0);
  int st = -1;
  ASSERT_EQ(io.waitpid(pid, &st, 0), pid);
  // Unsealed, a pid that is not an unreaped child is this machine's process,
  // and so are its process groups; sealed, only the namespace's processes
  // exist.
  EXPECT_EQ((std::vector<int>{io.kill(pid, 0), io.kill(getpid(), 0), io.kill(0, 0), io.kill(-1, 0)}),
            std::vector<int>(4, -1));
  EXPECT_EQ(SandboxSysIo(tmp.path(), true).kill(getpid(), 0), 0);
  EXPECT_EQ(file("/child"), io.path("/opt/corvale/bin/amxbeacond") +
                                "|3|Model X|\nfd-closed\nSigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n");
}

TEST(SandboxPaths, OnlyTheKernelsNetworkAndSealedProcessFilesAreReadWhereTheyAre) {
  SysIoTempDir tmp{"sysio-sandbox-paths"};
  SandboxSysIo io(tmp.path(), false), sealed(tmp.path(), true);
  const std::string r = tmp.path();
  const std::pair<const char*, std::string> rows[] = {
      {"/proc/1/../uptime", r + "/proc/uptime"}, {"/proc/12x/cmdline", r + "/proc/12x/cmdline"},
      {"/sys/class/net/eth0/carrier", "/sys/class/net/eth0/carrier"},
      {"//proc/./net/ipv6_route", "/proc/net/ipv6_route"}, {"/sys/class/network", r + "/sys/class/network"},
      {"/proc/net/../../etc/passwd", r + "/etc/passwd"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(io.path(row.first), row.second) << row.first;
    EXPECT_EQ(sealed.path(row.first), row.second) << row.first;
  }
  // Sealed, the PID namespace's own processes.
  for (const std::string abs : {"/proc", "/proc/1/cmdline"}) {
    EXPECT_EQ(io.path(abs), r + abs);
    EXPECT_EQ(sealed.path(abs), abs);
  }
  std::vector<std::string> procs;
  ASSERT_TRUE(sealed.list_dir("/proc", &procs));
  EXPECT_NE(std::find(procs.begin(), procs.end(), std::to_string(getpid())), procs.end());
}

TEST_F(SandboxTest, JournalHidesSecretWordsWhileTheCommandGetsThemWhole) {
  script("/opt/corvale/bin/start_delegate.sh", "printf '%s|' \"$@\" > \"$SYSSRV_ROOT/args\"\n");
  io.system("/opt/corvale/bin/start_delegate.sh  --start 'CORP\\\\bob' 'p w'\\''s;x' 192.0.2.53 ");
  io.waitpid(io.fork_exec({"/bin/true", "--serverurl", "u", "--webticket", "t k"}), nullptr, 0);
  EXPECT_EQ(file("/var/journal/commands.log"), "/opt/corvale/bin/start_delegate.sh  --start 'CORP\\\\bob' ******** 192.0.2.53 \n"
                                               "/bin/true --serverurl u --webticket ********\n");
  EXPECT_EQ(file("/args"), "--start|CORP\\\\bob|p w's;x|192.0.2.53|");
  const struct { std::string cmd, line; } rows[] = {
      {R"(generate_scep_csr.sh server "c" "nil" "nil" "nil" "nil" "DE" sha1 "s3\"cr et" "pki@x" )",
       R"(generate_scep_csr.sh server "c" "nil" "nil" "nil" "nil" "DE" sha1 ******** "pki@x" )"},
      {"true; PASSPHRASE='a b' x --password=y --Challenge z --user u passwd",
       "true; PASSPHRASE=******** x --password=******** --Challenge ******** --user u passwd"},
      {"passwd root && x --ticket '' ok", "passwd root && x --ticket '' ok"},  // nothing secret to hide
  };
  for (const auto& r : rows) EXPECT_EQ(sysio_mask_command(r.cmd), r.line);
}

}  // namespace
