// The device seam on this machine: literal calls, only inside a temporary
// directory and with harmless commands.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/sysio/sysio.h"
#include "platform/sysio/sysio_real.h"
#include "platform/sysio/sysio_recorder.h"
#include "platform/sysio/sysio_tempdir.h"

namespace {

TEST(SysIoInstallTest, RealUntilInstalledAndAfterReset) {
  sysio_install(nullptr);
  EXPECT_NE(dynamic_cast<RealSysIo*>(&sysio()), nullptr);
  EXPECT_EQ(sysio().path("/data/etc/resolv.conf"), "/data/etc/resolv.conf");
  RecorderSysIo rec;
  sysio_install(&rec);
  EXPECT_EQ(&sysio(), &rec);
  EXPECT_EQ(sysio().path("/x"), rec.root() + "/x");
  sysio_install(nullptr);
  EXPECT_NE(dynamic_cast<RealSysIo*>(&sysio()), nullptr);
}

TEST(RealSysIoTest, CommandsRunForReal) {
  RealSysIo io;
  int st = io.system("exit 3");
  EXPECT_TRUE(WIFEXITED(st));
  EXPECT_EQ(WEXITSTATUS(st), 3);

  FILE* f = io.popen("printf 'a;b`c`\\n'", "r");
  ASSERT_NE(f, nullptr);
  char buf[32] = {0};
  size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  EXPECT_EQ(std::string(buf, n), "a;b`c`\n");
  EXPECT_EQ(io.pclose(f), 0);

  pid_t pid = io.fork_exec({"/bin/sh", "-c", "exit 4"});
  ASSERT_GT(pid, 0);
  ASSERT_EQ(io.waitpid(pid, &st, 0), pid);
  EXPECT_EQ(WEXITSTATUS(st), 4);

  // exec failure in the child: status 1, as the daemon's callers expect.
  pid = io.fork_exec({"/nonexistent/program"});
  ASSERT_GT(pid, 0);
  ASSERT_EQ(io.waitpid(pid, &st, 0), pid);
  EXPECT_TRUE(WIFEXITED(st));
  EXPECT_EQ(WEXITSTATUS(st), 1);
  EXPECT_EQ(io.fork_exec({}), -1);

  pid = io.fork_exec({"/bin/sleep", "30"});
  ASSERT_GT(pid, 0);
  EXPECT_EQ(io.waitpid(pid, &st, WNOHANG), 0);
  EXPECT_EQ(io.kill(pid, SIGTERM), 0);
  ASSERT_EQ(io.waitpid(pid, &st, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(st));
  EXPECT_EQ(WTERMSIG(st), SIGTERM);
}

TEST(RealSysIoTest, FilesAtTheirLiteralPaths) {
  SysIoTempDir tmp("sysio-real");
  RealSysIo io;
  const std::string d = tmp.path() + "/d";
  ASSERT_EQ(io.mkdir(d, 0755), 0);
  int fd = io.open(d + "/f", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "xyz", 3), 3);
  ::close(fd);
  struct stat st;
  ASSERT_EQ(io.stat(d + "/f", &st), 0);
  EXPECT_EQ(st.st_size, 3);
  EXPECT_EQ(io.access(d + "/f", R_OK), 0);
  EXPECT_EQ(io.rename(d + "/f", d + "/g"), 0);
  std::vector<std::string> names;
  ASSERT_TRUE(io.list_dir(d, &names));
  EXPECT_EQ(names, (std::vector<std::string>{"g"}));
  FILE* f = io.fopen(d + "/g", "r");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_EQ(io.unlink(d + "/g"), 0);
  EXPECT_FALSE(io.list_dir(d + "/none", &names));

  struct timespec a, b;
  ASSERT_EQ(io.clock_gettime(CLOCK_MONOTONIC, &a), 0);
  io.sleep_us(20000);
  ASSERT_EQ(io.clock_gettime(CLOCK_MONOTONIC, &b), 0);
  long long waited = (b.tv_sec - a.tv_sec) * 1000000000LL + (b.tv_nsec - a.tv_nsec);
  EXPECT_GE(waited, 20000000LL);  // at least the time asked; no upper bound
  EXPECT_GT(io.time(nullptr), 1600000000);
}

}  // namespace
