// Helpers shared by the tests of the OS support library, the interval timer
// and the unit identifiers.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/sysio/sysio_recorder.h"

// Redirects a standard stream (fd 1 or 2) into a temporary file until stop().
class StreamCapture {
 public:
  explicit StreamCapture(int fd = 1);
  ~StreamCapture();
  // Restores the stream and returns everything written meanwhile.
  std::string stop();

 private:
  int m_fd;
  int m_saved = -1;
  FILE* m_file = nullptr;
};

// Runs `fn` with standard output captured; returns its result and the text.
template <typename F>
auto withStdout(F fn) {
  StreamCapture cap;
  auto r = fn();
  return std::make_pair(r, cap.stop());
}

// A recorder installed as the process's seam, with the log facility, the
// unit index and the system id cache in their start-up state. The log
// device "/dev/crvllog" exists (empty) under the recorder's root.
class OsSeamFixtureBase {
 public:
  OsSeamFixtureBase();
  ~OsSeamFixtureBase();
  RecorderSysIo& rec() { return *m_rec; }
  // The bytes written to the log device so far.
  std::string device() const { return m_rec->file_bytes("/dev/crvllog"); }

 private:
  std::unique_ptr<RecorderSysIo> m_rec;
};

using SteadyClock = std::chrono::steady_clock;
// Polls `pred` every 5 ms until it holds or `timeoutMs` passes.
bool waitFor(const std::function<bool()>& pred, int timeoutMs);
double secondsSince(SteadyClock::time_point t0);
void sleepMs(int ms);
// Kernel id of the calling thread.
int callerTid();
// "%p" and "%08lx" of a value, as the library prints them.
std::string pointerText(const void* p);
std::string hexWord(unsigned long v);
