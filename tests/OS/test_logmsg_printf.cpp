// The printf replacement, checked in a program of its own: a test binary
// that linked it would log its own report.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "platform/sysio/sysio_recorder.h"
#include "tests/arch/exec_wrapper.h"

namespace {

TEST(LogmsgPrintfTest, PlainPrintsBecomeDebugLines) {
  RecorderSysIo rec;
  rec.put_file("/dev/crvllog", "");
  std::string cmd = archExecShellPrefix() + LOGMSG_PRINTF_HELPER + " '" + rec.root() + "'";
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[256];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int status = ::pclose(p);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(out, "") << "nothing may reach standard output";
  EXPECT_EQ(rec.file_bytes("/dev/crvllog"),
            "<7>syssrv: hd[0]: plain text\n"
            "<7>syssrv: hd[0]: string only\n"
            "<7>syssrv: hd[0]: 3 items\n"
            "<7>syssrv: hd[0]: first half, second half\n");
}

}  // namespace
