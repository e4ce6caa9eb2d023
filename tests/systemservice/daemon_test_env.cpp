#include "tests/systemservice/daemon_test_env.h"

#include <cstdlib>

#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "platform/msg/MSG.h"
#include "platform/sysio/sysio.h"

bool daemonTestEnv(std::unique_ptr<RecorderSysIo>* rec, const char* local) {
  *rec = std::make_unique<RecorderSysIo>();
  sysio_install(rec->get());
  logmsg_testing_reset();
  (*rec)->put_file("/dev/crvllog", "");
  if (logmsg_init(0, "syssrv") != 0) return false;
  setenv("MSG_SOCKET_DIR", ((*rec)->root() + "/msg").c_str(), 1);
  return MSG_OpenLocal(local) == 0;
}
