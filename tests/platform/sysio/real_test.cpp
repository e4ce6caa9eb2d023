// The device seam on this machine: literal calls, only inside a temporary
// directory and with harmless commands; no descriptor leaks into a child.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/sysio/sysio_real.h"
#include "platform/sysio/sysio_tempdir.h"

namespace {

std::string readAll(FILE* f) {
  std::string out;
  char buf[512];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  return out;
}

// Every descriptor the seam opens must stay out of the commands it runs:
// a file by open or fopen, a device, the pipe of an open popen stream.
TEST(RealSysIoTest, ChildrenOfSystemAndPopenInheritNoDescriptorOfTheSeam) {
  SysIoTempDir tmp("sysio-cloexec");
  RealSysIo io;
  const std::string file = tmp.path() + "/held";
  int fd = io.open(file, O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  FILE* f = io.fopen(file, "r");
  ASSERT_NE(f, nullptr);
  FILE* pipe = io.popen("cat > /dev/null", "w");
  ASSERT_NE(pipe, nullptr);
  struct stat pst;
  ASSERT_EQ(fstat(fileno(pipe), &pst), 0);
  const std::string pipeName = "pipe:[" + std::to_string(pst.st_ino) + "]";
  const std::string list = "ls -l /proc/self/fd/";
  ASSERT_EQ(io.system(list + " > " + tmp.path() + "/by-system"), 0);
  FILE* out = io.popen(list, "r");
  ASSERT_NE(out, nullptr);
  std::string byPopen = readAll(out);
  EXPECT_EQ(io.pclose(out), 0);
  std::ifstream byFile(tmp.path() + "/by-system");
  const std::string bySystem((std::istreambuf_iterator<char>(byFile)), std::istreambuf_iterator<char>());
  for (const std::string& seen : {bySystem, byPopen}) {
    EXPECT_NE(seen.find("/proc/"), std::string::npos) << seen;  // the listing itself is there
    EXPECT_EQ(seen.find(file), std::string::npos) << seen;
    EXPECT_EQ(seen.find(pipeName), std::string::npos) << seen;
  }
  EXPECT_EQ(io.pclose(pipe), 0);
  std::fclose(f);
  ::close(fd);
  // The status as the C library gives it, not its exit code; children,
  // exec failures and signals are the process module's tests.
  EXPECT_EQ(io.system("exit 3"), 3 << 8);
  EXPECT_EQ(io.fork_exec({}), -1);
}

}  // namespace
