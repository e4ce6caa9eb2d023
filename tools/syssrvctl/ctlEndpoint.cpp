#include "tools/syssrvctl/ctlEndpoint.h"

#include <unistd.h>

#include <chrono>

#include "platform/msg/MSG.h"
#include "tools/stopSignals.h"

volatile std::sig_atomic_t gCtlStop = 0;

namespace {

// Short enough that Ctrl-C feels immediate, long enough not to spin.
constexpr long kSliceMs = 100;

void onStopSignal(int) { gCtlStop = 1; }

}  // namespace

CtlEndpoint::~CtlEndpoint() {
  if (m_open) MSG_CloseLocal(m_name.c_str());
}

bool CtlEndpoint::open(const std::string& name) {
  m_name = name.empty() ? "syssrvctl-" + std::to_string(getpid()) : name;
  MSG_DebugSetName("syssrvctl");
  m_open = MSG_OpenLocal(m_name.c_str()) == 0;
  return m_open;
}

void ctlCatchStopSignals() {
  catchStopSignals(onStopSignal);
}

void ctlServeFor(const char* local, long ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!gCtlStop) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    MSG_Message* m = MSG_RecvAnyMsg(local, static_cast<int>(left < kSliceMs ? left : kSliceMs));
    if (m != nullptr) MSG_ReleaseMsg(m);
  }
}
