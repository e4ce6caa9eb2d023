// Helpers of the interval-timer, task, event and tick-timer tests.
//
// The test main installs one recorder seam for the whole binary, with the
// log device "/dev/crvllog" as a plain file under its root, and starts the
// log facility as "psostest": everything the library logs can be read back
// byte for byte.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>

#include "platform/sysio/sysio_recorder.h"

RecorderSysIo& psosRec();

// Log text written from the moment of construction on.
class LogMark {
 public:
  LogMark();
  std::string text() const;
  bool has(const std::string& s) const { return text().find(s) != std::string::npos; }

 private:
  size_t m_at;
};

// Standard output (file descriptor 1) goes to a file until stop().
class StdoutCapture {
 public:
  StdoutCapture();
  ~StdoutCapture();
  std::string stop();

 private:
  int m_saved = -1;
  std::string m_file;
};

// Runs `fn` with standard output captured; returns its result and the
// text. Expectations belong outside: a failure printed while capturing
// would vanish into the capture.
template <typename F>
auto withStdout(F fn) {
  StdoutCapture cap;
  auto r = fn();
  return std::make_pair(r, cap.stop());
}

// Polls `pred` every 5 ms until it holds or `timeoutMs` passes.
bool waitFor(const std::function<bool()>& pred, int timeoutMs);

using SteadyClock = std::chrono::steady_clock;
double secondsSince(SteadyClock::time_point t0);
void sleepMs(int ms);

// Threads of this process (entries of /proc/self/task).
int threadCount();
// POSIX timers of this process, -1 when the kernel does not list them.
int posixTimerCount();
// Kernel id of the calling thread.
int callerTid();

// "%p" of a pointer value, as the library prints it.
std::string pointerText(const void* p);

