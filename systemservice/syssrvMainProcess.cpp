// The two process-level calls of start-up that the seam does not offer
// yet. Kept in this one file so that moving them behind the seam later
// touches nothing else.
#include <sys/resource.h>
#include <unistd.h>

#include "systemservice/syssrvMain.h"

int syssrvSetCoreLimit(unsigned long long soft, unsigned long long hard) {
  struct rlimit lim;
  lim.rlim_cur = static_cast<rlim_t>(soft);
  lim.rlim_max = static_cast<rlim_t>(hard);
  return ::setrlimit(RLIMIT_CORE, &lim);
}

pid_t syssrvFork() { return ::fork(); }
