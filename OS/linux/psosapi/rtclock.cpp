// The hardware real-time clock of the boards that have one: its register
// block is mapped from physical memory and its counter loaded from a file.
// Kept for those boards; the daemon does not use it.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "OS/linux/psosapi/psos_internal.h"
#include "OS/linux/psosapi/ptimer.h"
#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"

volatile rtclk8349* gRtclk = nullptr;

namespace {

const char kMemDevice[] = "/dev/mem";
const char kClockValueFile[] = "/opt/corvale/dat/clocktestval.dat";
const unsigned long long kRtclkPhys = 0xE0000000ull;
const size_t kRtclkMapSize = 4096;

}  // namespace

extern "C" {

UInt32 GetInitialClockValue(void) {
  FILE* f = sysio().fopen(kClockValueFile, "re");
  if (!f) return 0;
  char line[64];
  UInt32 value = 0;
  if (fgets(line, sizeof line, f)) value = static_cast<UInt32>(strtoul(line, nullptr, 10));
  fclose(f);
  return value;
}

int init_rtcp(void) {
  int fd = sysio().open(kMemDevice, O_RDWR | O_SYNC | O_CLOEXEC);
  if (fd < 0) {
    logerr(kPsosComponent, "init_rtcp open /dev/mem failed\n");
    return -1;
  }
  // Only the memory device can back the registers: a plain file mapped at
  // that offset would fault on the first access instead of failing here.
  struct stat st;
  void* p = MAP_FAILED;
  if (fstat(fd, &st) == 0 && S_ISCHR(st.st_mode)) {
    // 64-bit offset: the address does not fit a 32-bit signed off_t.
    p = mmap64(nullptr, kRtclkMapSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, static_cast<off64_t>(kRtclkPhys));
  }
  close(fd);
  if (p == MAP_FAILED) {
    logerr(kPsosComponent, "init_rtcp mmap failed\n");
    return -1;
  }
  gRtclk = static_cast<volatile rtclk8349*>(p);
  gRtclk->ldr = GetInitialClockValue();
  return 0;
}

}  // extern "C"
