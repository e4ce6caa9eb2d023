#include "systemservice/syssrvReplyWait.h"

#include "OS/linux/psosapi/ptimer.h"
#include "OS/logmsg.h"

MSG_Message* syssrvRecvReply(const char* local, MSG_Type type, uint32_t sequence, int timeoutMs,
                             const std::string& who) {
  // The clock is read only after a stale answer, so an exchange that gets
  // its answer first never depends on it.
  const uint32_t start = RealTimeMilliSeconds();
  int left = timeoutMs;
  for (;;) {
    MSG_Message* in = MSG_RecvMsg(local, type, left);
    if (in == nullptr) return nullptr;
    const uint32_t got = MSG_GetSequence(in);
    if (got == sequence) return in;
    logdebug(nullptr, "%s: dropped a late answer of type 0x%x, sequence %u (waiting for %u)\n", who.c_str(), type, got,
             sequence);
    MSG_ReleaseMsg(in);
    const uint32_t spent = RealTimeMilliSeconds() - start;
    left = spent >= static_cast<uint32_t>(timeoutMs) ? 0 : timeoutMs - static_cast<int>(spent);
  }
}
