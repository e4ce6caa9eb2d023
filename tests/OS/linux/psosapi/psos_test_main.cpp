// One recorder seam and one log facility for the whole test binary, and the
// task helpers (see psos_test_util.h).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "OS/linux/psosapi/pthreadapi.h"
#include "OS/logmsg.h"
#include "tests/OS/linux/psosapi/psos_test_util.h"

namespace {
RecorderSysIo* gRec = nullptr;
// One slot per spawned task, filled before its thread starts and emptied
// by it; never destroyed, as a task may still run while the process exits.
auto& gBodies = *new std::vector<std::function<void()>>(256);
std::atomic<UInt32> gNextBody{0};

void runBody(UInt32 slot, UInt32, UInt32, UInt32) { std::move(gBodies[slot])(); }
}  // namespace

RecorderSysIo& psosRec() { return *gRec; }

UInt32 spawnTask(const char* name, int priority, std::function<void()> body) {
  UInt32 tid = 0;
  if (t_create(name, priority, 0, 0, 0, &tid) != 0) return 0;
  UInt32 args[4] = {gNextBody++ % 256, 0, 0, 0};
  gBodies[args[0]] = std::move(body);
  return t_start(tid, 0, runBody, args) == 0 ? tid : 0;
}

UInt32 inTask(const char* name, std::function<void(UInt32 self)> body) {
  UInt32 tid = 0;
  std::thread([&] {
    t_attach(name, -1, &tid);
    body(tid);
    t_delete(0);  // leaves the task list; ends the thread
  }).join();
  return tid;
}

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  gRec = new RecorderSysIo();
  gRec->put_file("/dev/crvllog", "");
  sysio_install(gRec);
  logmsg_init(0, "psostest");
  int rc = RUN_ALL_TESTS();
  // Library threads outlive the tests; they must not find a deleted seam.
  sysio_install(nullptr);
  return rc;
}
