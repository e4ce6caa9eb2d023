// The two receive calls, and who gets which message.
#include <algorithm>
#include <cerrno>

#include "platform/msg/msgInternal.h"
#include "platform/msg/msgSocket.h"

namespace {

using Lock = std::unique_lock<std::mutex>;

int msLeft(MsgClock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - MsgClock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

constexpr int kMsgLeftUnknown = -2;

// One step of waiting for a message: become the reader, wait for the reader,
// or take a look without waiting when no time is left. `polled` records that
// the sockets were looked at since the call began. `left` is the time left
// when the caller knows it (saving a clock read).

void waitStep(Lock& lk, const MsgEndpointPtr& ep, bool forever, MsgClock::time_point deadline, bool* polled,
              int left = kMsgLeftUnknown) {
  if (forever) {
    left = -1;
  } else if (left == kMsgLeftUnknown) {
    left = msLeft(deadline);
  }
  if (left == 0) {
    msgTakeIn(lk, ep, 0);
    *polled = true;
  } else if (ep->reading) {
    if (forever) {
      msgSleep(lk);
    } else {
      msgSleepUntil(lk, deadline);
    }
  } else {
    msgTakeIn(lk, ep, left);
    *polled = true;
  }
}

// Runs the callbacks of remotes that appeared, one at a time, unlocked.
void runOpenCallbacks(Lock& lk, MsgEndpoint& ep) {
  for (size_t i = 0; i < ep.watches.size(); ++i) {
    if (!ep.watches[i].pending || ep.closed) continue;
    ep.watches[i].pending = false;
    MSG_Callback cb = ep.watches[i].cb;
    if (cb.bJustOnce) ep.watches.erase(ep.watches.begin() + static_cast<long>(i));
    lk.unlock();
    cb.pFunc(cb.pContext, nullptr);
    lk.lock();
    i = static_cast<size_t>(-1);  // the callback may have changed the list
  }
}

// Whether the next held message may go now, or must stay held for a thread
// that sent a request and is not yet waiting for its reply; *until tells
// till when.
bool heldMayGo(MsgEndpoint& ep, MsgClock::time_point* until) {
  if (ep.tickets.empty()) return true;
  MsgClock::time_point now = msgCoarseNow();
  *until = now;
  uint64_t next = ep.held.front()->arrival;
  for (auto it = ep.tickets.begin(); it != ep.tickets.end();) {
    if (it->second.until <= now) {
      it = ep.tickets.erase(it);
      continue;
    }
    if (next > it->second.after && it->second.until > *until) *until = it->second.until;
    ++it;
  }
  return *until <= now;
}

// Takes the calling thread's reply ticket back; true when it had one.
bool dropTicket(MsgEndpoint& ep) {
  std::thread::id self = std::this_thread::get_id();
  for (auto it = ep.tickets.begin(); it != ep.tickets.end(); ++it) {
    if (it->first == self) {
      ep.tickets.erase(it);
      return true;
    }
  }
  return false;
}

// Unused by a wait without limit, which saves it a clock read.
MsgClock::time_point deadlineOf(int timeoutMs) {
  if (timeoutMs < 0) return MsgClock::time_point::max();
  return MsgClock::now() + std::chrono::milliseconds(timeoutMs);
}

}  // namespace

void msgExpectReply(MsgEndpoint& ep) {
  std::thread::id self = std::this_thread::get_id();
  if (ep.loopThreads.count(self) != 0) return;
  MsgReplyTicket t = {ep.arrivals, msgCoarseNow() + std::chrono::milliseconds(kMsgReplyGraceMs)};
  for (auto& have : ep.tickets) {
    if (have.first == self) {
      have.second = t;
      return;
    }
  }
  ep.tickets.emplace_back(self, t);
}

namespace {

// The bodies of the two receive calls; *err is the errno of a null result,
// set by the callers once the lock and the endpoint are let go.
MSG_Message* recvMsg(const char* local, MSG_Type type, int timeoutMs, int* err) {
  MsgState& s = msgState();
  Lock lk(s.lock);
  MsgEndpointPtr ep = msgFindLocal(local);
  if (!ep) return nullptr;
  if (dropTicket(*ep)) msgWakeAll();
  for (auto it = ep->held.begin(); it != ep->held.end(); ++it) {
    if ((*it)->type == type) {
      MSG_Message* m = *it;
      ep->held.erase(it);
      return m;
    }
  }
  MsgWaiter w = {type, nullptr};
  ep->waiters.push_back(&w);
  bool forever = timeoutMs < 0;
  MsgClock::time_point deadline = deadlineOf(timeoutMs);
  bool polled = false;
  int left = timeoutMs;  // known for the first step
  while (w.msg == nullptr && !ep->closed) {
    if (polled && !forever && msLeft(deadline) == 0) break;
    waitStep(lk, ep, forever, deadline, &polled, left);
    left = kMsgLeftUnknown;
  }
  ep->waiters.erase(std::find(ep->waiters.begin(), ep->waiters.end(), &w));
  if (w.msg == nullptr && !ep->closed) *err = ETIMEDOUT;
  return w.msg;
}

MSG_Message* recvAnyMsg(const char* local, int timeoutMs, int* err) {
  MsgState& s = msgState();
  Lock lk(s.lock);
  MsgEndpointPtr ep = msgFindLocal(local);
  if (!ep) return nullptr;
  std::thread::id self = std::this_thread::get_id();
  if (ep->lastLoopThread != self) {
    ep->loopThreads.insert(self);
    ep->lastLoopThread = self;
  }
  dropTicket(*ep);
  bool forever = timeoutMs < 0;
  MsgClock::time_point deadline = deadlineOf(timeoutMs);
  bool polled = false;
  for (;;) {
    runOpenCallbacks(lk, *ep);
    if (ep->closed) return nullptr;
    if (!ep->held.empty()) {
      MsgClock::time_point until;
      if (heldMayGo(*ep, &until)) {
        MSG_Message* m = ep->held.front();
        ep->held.pop_front();
        return m;
      }
      // The thread the ticket belongs to reads the sockets itself when it
      // waits, and wakes us when it takes the ticket back.
      if (!forever && deadline < until) until = deadline;
      msgSleepUntil(lk, until);
      if (!forever && msLeft(deadline) == 0) break;
      continue;
    }
    if (polled && !forever && msLeft(deadline) == 0) break;
    waitStep(lk, ep, forever, deadline, &polled);
  }
  *err = ETIMEDOUT;
  return nullptr;
}

}  // namespace

MSG_Message* MSG_RecvMsg(const char* local, MSG_Type type, int timeoutMs) {
  int err = EBADF;
  MSG_Message* m = recvMsg(local, type, timeoutMs, &err);
  if (m == nullptr) errno = err;
  return m;
}

MSG_Message* MSG_RecvAnyMsg(const char* local, int timeoutMs) {
  int err = EBADF;
  MSG_Message* m = recvAnyMsg(local, timeoutMs, &err);
  if (m == nullptr) errno = err;
  return m;
}
