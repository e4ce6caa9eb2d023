// One recorder seam and one log facility for the whole test binary (see
// psos_test_util.h).
#include <gtest/gtest.h>

#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"
#include "tests/psos/psos_test_util.h"

namespace {
RecorderSysIo* gRec = nullptr;
}

RecorderSysIo& psosRec() { return *gRec; }

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  gRec = new RecorderSysIo();
  gRec->put_file("/dev/crvllog", "");
  sysio_install(gRec);
  logmsg_init(0, "psostest");
  int rc = RUN_ALL_TESTS();
  // Library threads (the timer thread, "tmtk") outlive the tests; they must
  // not find a deleted seam.
  sysio_install(nullptr);
  delete gRec;
  return rc;
}
