// Reads "/tmp/velar-idx.txt" once. The platform may write that file after we
// start; a unit that finds nothing behaves as unit 0 for the rest of its life
// rather than re-reading the file on every log line.
#include "OS/velar_idx.h"

#include <cstdio>

#include "OS/os_testing.h"
#include "platform/sysio/sysio.h"

namespace {
const char kVelarIdxPath[] = "/tmp/velar-idx.txt";
int gVelarIdx = -1;
}  // namespace

extern "C" int get_velar_idx() {
  if (gVelarIdx >= 0) return gVelarIdx;
  int idx = -1;
  FILE* f = sysio().fopen(kVelarIdxPath, "re");
  if (f != nullptr) {
    if (fscanf(f, "%d", &idx) != 1) idx = -1;
    fclose(f);
  }
  gVelarIdx = idx >= 0 ? idx : 0;
  return gVelarIdx;
}

void velar_idx_testing_reset() { gVelarIdx = -1; }
