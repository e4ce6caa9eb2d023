#include "tests/OS/os_test_util.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "OS/os_testing.h"
#include "multicodec_util/multicodec_sysids_testing.h"

static void resetOsState() {
  logmsg_testing_reset();
  velar_idx_testing_reset();
  multicodec_sysids_testing_reset();
}

OsSeamFixtureBase::OsSeamFixtureBase() : m_rec(new RecorderSysIo()) {
  sysio_install(m_rec.get());
  resetOsState();
  m_rec->put_file("/dev/crvllog", "");
}

OsSeamFixtureBase::~OsSeamFixtureBase() {
  resetOsState();
  sysio_install(nullptr);
}

bool waitFor(const std::function<bool()>& pred, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= end) return pred();
    sleepMs(5);
  }
  return true;
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int callerTid() { return static_cast<int>(syscall(SYS_gettid)); }

std::string pointerText(const void* p) {
  char buf[32];
  snprintf(buf, sizeof buf, "%p", p);
  return buf;
}

std::string hexWord(unsigned long v) {
  char buf[32];
  snprintf(buf, sizeof buf, "%08lx", v);
  return buf;
}
