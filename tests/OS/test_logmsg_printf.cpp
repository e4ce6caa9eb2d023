// The printf replacement, checked in a program of its own: a test binary
// that linked it would log its own report.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/sysio/sysio_recorder.h"
#include "tests/arch/exec_wrapper.h"

TEST(LogmsgPrintfTest, PlainPrintsBecomeDebugLines) {
  RecorderSysIo rec;
  rec.put_file("/dev/crvllog", "");
  std::string cmd = archExecShellPrefix() + LOGMSG_PRINTF_HELPER + " '" + rec.root() + "'";
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(fgetc(p), EOF) << "nothing may reach standard output";
  EXPECT_EQ(::pclose(p), 0) << "exit code 3: a return value differed from the length of the logged line";
  EXPECT_EQ(rec.file_bytes("/dev/crvllog"),
            "<7>syssrv: hd[0]: plain text\n"
            "<7>syssrv: hd[0]: string only\n"
            "<7>syssrv: hd[0]: 3 items\n"
            "<7>syssrv: hd[0]: first half, second half\n");
}
