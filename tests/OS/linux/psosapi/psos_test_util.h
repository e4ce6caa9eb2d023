// Helpers of the task, event and tick-timer tests.
//
// The test main installs one recorder seam for the whole binary, with the
// log device "/dev/crvllog" as a plain file under its root, and starts the
// log facility as "psostest": everything the library logs can be read back
// byte for byte. Library threads ("tmtk") outlive single tests.
#pragma once

#include <functional>
#include <string>

#include "OS/ostypes.h"
#include "platform/sysio/sysio_recorder.h"
#include "tests/OS/os_test_util.h"

RecorderSysIo& psosRec();

// Log text written from the moment of construction on.
struct LogMark {
  size_t at = psosRec().file_bytes("/dev/crvllog").size();
  std::string text() const { return psosRec().file_bytes("/dev/crvllog").substr(at); }
  bool has(const std::string& s) const { return text().find(s) != std::string::npos; }
};

// One complete line of the library at `level`.
inline std::string osLine(char level, const std::string& text) {
  return std::string("<") + level + ">psostest: hd[0]: os: " + text + "\n";
}

// t_create + t_start of a task running `body`; returns its id, or 0 when
// either call failed.
UInt32 spawnTask(const char* name, int priority, std::function<void()> body);

// Runs `body` on a new thread attached as task `name`, which deletes itself
// afterwards; returns the task id once the thread has ended.
UInt32 inTask(const char* name, std::function<void(UInt32 self)> body);

// A task body that runs until the task is deleted.
inline void idleUntilDeleted() { for (;;) sleepMs(1); }
