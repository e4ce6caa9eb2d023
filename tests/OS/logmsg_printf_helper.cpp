// Test helper program: links the printf replacement and prints a few lines
// with printf; the test reads what reached the log device under the root
// given as the only argument. Exit codes: 0 ok, 2 usage, 3 a return value
// differed from the length of the logged line.
#include <cstdio>
#include <cstring>

#include "OS/logmsg.h"
#include "platform/sysio/sysio_recorder.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  RecorderSysIo rec(argv[1]);
  sysio_install(&rec);
  logmsg_init(0, "syssrv");
  int rc = 0;
  // Each of these would become puts() without -fno-builtin-printf.
  if (printf("plain text\n") != static_cast<int>(strlen("<7>syssrv: hd[0]: plain text\n"))) rc = 3;
  printf("%s\n", "string only");
  printf("%d items\n", 3);
  printf("first half, ");
  printf("second half\n");
  printf("\n");
  logmsg_init(0, "syssrv");
  sysio_install(nullptr);
  return rc;
}
