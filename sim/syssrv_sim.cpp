// The daemon of the host simulation: the production daemon on the sandbox
// seam, which maps the appliance's commands and files under the sandbox
// root named by SYSSRV_ROOT. Without a root it refuses to start rather than
// act on this machine.
#include <cstdio>
#include <cstdlib>

#include "platform/sysio/sysio.h"
#include "platform/sysio/sysio_sandbox.h"
#include "systemservice/syssrvMain.h"

int main(int argc, char** argv) {
  const char* root = std::getenv("SYSSRV_ROOT");
  if (root == nullptr || root[0] == '\0') {
    std::fputs("syssrv (simulation): SYSSRV_ROOT names no sandbox root\n", stderr);
    return 2;
  }
  static SandboxSysIo sandbox;
  sysio_install(&sandbox);
  return syssrv_main(argc, argv);
}
