#include "tools/configsrvc/cfgLog.h"

#include <cstdarg>
#include <cstdio>
#include <string>

bool gCfgVerbose = false;

namespace {

void emit(const char* fmt, va_list ap) {
  char buf[1024];
  vsnprintf(buf, sizeof buf, fmt, ap);
  // One write per line, so lines of several processes sharing the terminal
  // do not interleave mid-line.
  std::string line = std::string("configsrvc: ") + buf + "\n";
  fputs(line.c_str(), stderr);
  fflush(stderr);
}

}  // namespace

void cfgLog(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  emit(fmt, ap);
  va_end(ap);
}

void cfgDebug(const char* fmt, ...) {
  if (!gCfgVerbose) return;
  va_list ap;
  va_start(ap, fmt);
  emit(fmt, ap);
  va_end(ap);
}
