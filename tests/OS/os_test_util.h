// Helpers shared by the tests of the OS support library, the interval timer
// and the unit identifiers.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/sysio/sysio_recorder.h"

// Runs `fn` with standard output captured; returns its result and the text.
template <typename F>
auto withStdout(F fn) {
  testing::internal::CaptureStdout();
  auto r = fn();
  return std::make_pair(r, testing::internal::GetCapturedStdout());
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

// Polls `pred` every 5 ms until it holds or `timeoutMs` passes.
bool waitFor(const std::function<bool()>& pred, int timeoutMs);
void sleepMs(int ms);
// Kernel id of the calling thread.
int callerTid();
// "%p" and "%08lx" of a value, as the library prints them.
std::string pointerText(const void* p);
std::string hexWord(unsigned long v);
