// The daemon of the host simulation: the production daemon on the sandbox
// seam, which maps the appliance's commands and files under the sandbox
// root named by SYSSRV_ROOT. Without a root, or outside a user namespace
// of its own (sim/seal), it refuses to start rather than act on this
// machine: the seam leaves the network files, signals and the commands'
// effects to the kernel, and only the seal keeps those away from the host.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sysio/sysio.h"
#include "platform/sysio/sysio_sandbox.h"
#include "systemservice/syssrvMain.h"

int main(int argc, char** argv) {
  const char* root = std::getenv("SYSSRV_ROOT");
  if (root == nullptr || root[0] == '\0') {
    std::fputs("syssrv (simulation): SYSSRV_ROOT names no sandbox root\n", stderr);
    return 2;
  }
  // In this machine's own user namespace the map is the identity of every
  // id; in the seal's it maps one.
  char map[128] = "";
  FILE* f = std::fopen("/proc/self/uid_map", "r");
  const bool read = f != nullptr && std::fgets(map, sizeof map, f) != nullptr;
  if (f != nullptr) std::fclose(f);
  unsigned long inside = 0, outside = 0, count = 0;
  if (!read || std::sscanf(map, "%lu %lu %lu", &inside, &outside, &count) != 3 ||
      (inside == 0 && outside == 0 && count == 4294967295UL)) {
    std::fputs("syssrv (simulation): not sealed in a user namespace of its own; run it through sim/seal\n",
               stderr);
    return 2;
  }
  // Sealed, as just checked: its processes, signals and clocks are the
  // seal's own ("wpad", "ptp4l", ... found and signalled as on the device,
  // not the stand-in /proc under the root).
  static SandboxSysIo sandbox(root, true);
  sysio_install(&sandbox);
  return syssrv_main(argc, argv);
}
