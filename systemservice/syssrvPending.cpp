// The observer of the placeholders (see syssrvPending.h).
#include "systemservice/syssrvPending.h"

#include <atomic>

namespace {

// The PAC expiry callback runs on the timer thread and may reach a
// placeholder while a test installs its observer.
std::atomic<syssrvPendingObserver> gObserver{nullptr};

}  // namespace

void syssrvPendingObserve(syssrvPendingObserver observer) { gObserver = observer; }

syssrvPendingObserver syssrvPendingObserverOf() { return gObserver; }
