#include <cstdlib>

#include "platform/sysio/sysio.h"
#include "platform/sysio/sysio_sandbox.h"
#include "systemservice/syssrvMain.h"

int main(int argc, char** argv) {
  // The host simulation names its sandbox root; the device never sets it.
  const char* root = std::getenv("SYSSRV_ROOT");
  if (root != nullptr && root[0] != '\0') {
    static SandboxSysIo sandbox;
    sysio_install(&sandbox);
  }
  return syssrv_main(argc, argv);
}
