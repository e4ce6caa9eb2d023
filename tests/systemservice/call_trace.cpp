#include "tests/systemservice/call_trace.h"

#include <mutex>

#include "systemservice/syssrvPending.h"

namespace {

// The daemon is single-threaded, but the PAC expiry callback runs on the
// timer thread and may reach a not-yet-built module: keep the pushes whole.
// Only tests add entries, never a static initialiser.
std::mutex gTraceMutex;
std::vector<std::string> gTrace;

// Any test that reads the trace links this file, and with it the observer.
const bool gObserving = [] {
  syssrvPendingObserve(syssrvCallTrace_add);
  return true;
}();

}  // namespace

void syssrvCallTrace_add(const std::string& entry) {
  std::lock_guard<std::mutex> lock(gTraceMutex);
  gTrace.push_back(entry);
}

const std::vector<std::string>& syssrvCallTrace() { return gTrace; }

void syssrvCallTrace_clear() {
  std::lock_guard<std::mutex> lock(gTraceMutex);
  gTrace.clear();
}
