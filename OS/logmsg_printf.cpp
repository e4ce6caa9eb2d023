// Replaces the process's printf, so that plain prints of shared code become
// debug lines of the log (level 7, no component). Linked only into the
// daemon: in any other program it would swallow that program's own output.
// Callers must be compiled with -fno-builtin-printf, or the compiler turns
// printf("text\n") into puts("text") and the line bypasses this function.
#include <cstdarg>
#include <cstdio>

#include "OS/logmsg.h"

extern "C" int printf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = va_logmsg(ap, LOG_LEVEL_DEBUG, nullptr, fmt);
  va_end(ap);
  return n;
}
