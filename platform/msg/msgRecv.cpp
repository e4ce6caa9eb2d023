// Reading the sockets of a local endpoint, and the two receive calls.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/timerfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/msg/msgInternal.h"
#include "platform/msg/msgSocket.h"

namespace {

// One busy peer must not keep the reader from the others: this many reads of
// one connection per pass, then the others get their turn.
constexpr int kMsgReadsPerPass = 64;

// A data frame goes to the first thread waiting for its type, else to the
// queue of held messages.
void deliver(MsgEndpoint& ep, MsgFrame& f) {
  if (f.kind == kMsgFrameSubscribe) {
    msgAddSubscriber(ep, f);
    return;
  }
  MSG_Message* m = new (std::nothrow) MSG_Message;
  if (m == nullptr) {
    msgLog("out of memory; a message of type 0x%x from %s is lost", f.type, f.sender.c_str());
    return;
  }
  m->arrival = ++ep.arrivals;
  m->type = f.type;
  m->sequence = f.sequence;
  m->senderName = std::move(f.sender);
  m->sender = msgIdOf(m->senderName);
  m->payload = std::move(f.payload);
  for (MsgWaiter* w : ep.waiters) {
    if (w->msg == nullptr && w->type == m->type) {
      w->msg = m;
      return;
    }
  }
  ep.held.push_back(m);
}

void dropConn(MsgEndpoint& ep, const std::shared_ptr<MsgInConn>& c) {
  for (auto it = ep.conns.begin(); it != ep.conns.end(); ++it) {
    if (*it == c) {
      ep.conns.erase(it);
      break;
    }
  }
  // Closing takes it out of the epoll set, also while a reader waits.
  close(c->fd);
  c->fd = -1;
}

void readConn(MsgEndpoint& ep, const std::shared_ptr<MsgInConn>& c) {
  for (int i = 0; i < kMsgReadsPerPass && c->fd >= 0; ++i) {
    size_t room = 0;
    uint8_t* at = c->reader.space(&room);
    if (at == nullptr) {
      msgLog("%s: out of memory for an incoming frame; dropping the connection", ep.name.c_str());
      dropConn(ep, c);
      return;
    }
    ssize_t n = read(c->fd, at, room);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) {
      if (c->reader.midFrame()) msgLog("%s: connection closed in the middle of a frame", ep.name.c_str());
      dropConn(ep, c);
      return;
    }
    c->reader.commit(static_cast<size_t>(n));
    MsgFrame f;
    MsgPopResult r;
    while ((r = c->reader.pop(&f)) == kMsgPopFrame) deliver(ep, f);
    if (r == kMsgPopBad) {
      msgLog("%s: malformed frame; dropping the connection", ep.name.c_str());
      dropConn(ep, c);
      return;
    }
    if (static_cast<size_t>(n) < room) return;  // drained for now
  }
}

void acceptAll(MsgEndpoint& ep) {
  for (;;) {
    int fd = accept4(ep.listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) msgLog("%s: accept: %s", ep.name.c_str(), strerror(errno));
      return;
    }
    if (!msgPeerAllowed(fd)) {
      close(fd);
      continue;
    }
    auto c = std::make_shared<MsgInConn>();
    c->fd = fd;
    c->id = ep.nextConnId++;
    if (!msgWatchFd(ep, fd, c->id)) {
      close(fd);
      continue;
    }
    ep.conns.push_back(c);
    // What it sent already (a subscription, say) is taken in now.
    readConn(ep, c);
  }
}

// Marks the watches of remotes that appeared and collects the subscriptions
// to send them again.
void readDirEvents(MsgEndpoint& ep, std::vector<MsgRange>* resubscribe) {
  alignas(struct inotify_event) char buf[4096];
  for (;;) {
    ssize_t n = read(ep.inotifyFd, buf, sizeof buf);
    if (n <= 0) return;
    for (char* p = buf; p < buf + n;) {
      const struct inotify_event* e = reinterpret_cast<const struct inotify_event*>(p);
      p += sizeof(struct inotify_event) + e->len;
      if (e->mask & IN_Q_OVERFLOW) {
        // Which remotes appeared is lost; sending every subscription again
        // is harmless, publishers keep each one once.
        msgLog("%s: directory events lost; renewing all subscriptions", ep.name.c_str());
        resubscribe->insert(resubscribe->end(), ep.subscriptions.begin(), ep.subscriptions.end());
        continue;
      }
      std::string name;
      if (e->len == 0 || !msgUnescapeName(e->name, &name)) continue;
      for (MsgAsyncWatch& w : ep.watches) {
        if (w.remote == name) w.pending = true;
      }
      msgSubscriptionsAt(ep, name, resubscribe);
    }
  }
}

using Lock = std::unique_lock<std::mutex>;

int msLeft(MsgClock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - MsgClock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

// One step of waiting for a message: become the reader, wait for the reader,
// or take a look without waiting when no time is left. `polled` records that
// the sockets were looked at since the call began.
void waitStep(Lock& lk, const MsgEndpointPtr& ep, bool forever, MsgClock::time_point deadline, bool* polled) {
  MsgState& s = msgState();
  int left = forever ? -1 : msLeft(deadline);
  if (left == 0) {
    msgPollAndRead(lk, ep, 0);
    *polled = true;
  } else if (ep->reading) {
    if (forever) {
      s.changed.wait(lk);
    } else {
      s.changed.wait_until(lk, deadline);
    }
  } else {
    msgPollAndRead(lk, ep, left);
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

// Until when the next held message must stay held for a thread that sent a
// request and is not yet waiting for its reply; now or earlier when it may go.
MsgClock::time_point heldBackUntil(MsgEndpoint& ep) {
  MsgClock::time_point now = MsgClock::now();
  MsgClock::time_point until = now;
  uint64_t next = ep.held.front()->arrival;
  for (auto it = ep.tickets.begin(); it != ep.tickets.end();) {
    if (it->second.until <= now) {
      it = ep.tickets.erase(it);
      continue;
    }
    if (next > it->second.after && it->second.until > until) until = it->second.until;
    ++it;
  }
  return until;
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

// Makes the endpoint's timer fire by `deadline`. Arming a kernel timer for
// every wait costs about a microsecond, a sixth of a local round trip; so
// the timer stays armed and is moved only when a wait must end before it
// fires. A wait that it ends early simply waits again.
void armTimer(MsgEndpoint& ep, MsgClock::time_point deadline) {
  MsgClock::time_point now = MsgClock::now();
  if (ep.timerArmed && ep.timerAt > now && ep.timerAt <= deadline) return;
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch()).count();
  struct itimerspec ts = {};
  ts.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
  ts.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
  if (ts.it_value.tv_sec == 0 && ts.it_value.tv_nsec == 0) ts.it_value.tv_nsec = 1;  // 0 would disarm
  // steady_clock is CLOCK_MONOTONIC, the timer's clock.
  if (timerfd_settime(ep.timerFd, TFD_TIMER_ABSTIME, &ts, nullptr) != 0) {
    msgLog("%s: timerfd_settime: %s", ep.name.c_str(), strerror(errno));
    return;
  }
  ep.timerArmed = true;
  ep.timerAt = deadline;
}

MsgClock::time_point deadlineOf(int timeoutMs) {
  return MsgClock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
}

}  // namespace

void msgPollAndRead(Lock& lk, const MsgEndpointPtr& ep, int timeoutMs) {
  MsgState& s = msgState();
  if (ep->closed) return;
  struct epoll_event evs[32];
  bool unlocked = timeoutMs != 0;
  if (timeoutMs > 0) armTimer(*ep, MsgClock::now() + std::chrono::milliseconds(timeoutMs));
  if (unlocked) {
    ep->reading = true;
    lk.unlock();
  }
  // A finite wait is ended by the timer, which costs nothing here.
  int n = epoll_wait(ep->epollFd, evs, 32, unlocked ? -1 : 0);
  if (unlocked) {
    lk.lock();
    ep->reading = false;
  }
  if (ep->closed) {
    msgReleaseEndpoint(*ep);
    s.changed.notify_all();
    return;
  }
  std::vector<MsgRange> resubscribe;
  for (int i = 0; i < n; ++i) {
    uint64_t tag = evs[i].data.u64;
    if (tag == kMsgTagListen) {
      acceptAll(*ep);
    } else if (tag == kMsgTagDir) {
      readDirEvents(*ep, &resubscribe);
    } else if (tag == kMsgTagWake || tag == kMsgTagTimer) {
      uint64_t v;
      ssize_t r = read(tag == kMsgTagWake ? ep->wakeFd : ep->timerFd, &v, sizeof v);
      (void)r;
      if (tag == kMsgTagTimer) ep->timerArmed = false;
    } else {
      for (size_t k = 0; k < ep->conns.size(); ++k) {
        if (ep->conns[k]->id == tag) {
          std::shared_ptr<MsgInConn> c = ep->conns[k];  // readConn may drop it from the list
          readConn(*ep, c);
          break;
        }
      }
    }
  }
  if (!resubscribe.empty()) {
    // Sending takes no lock of the library's state; the endpoint may be
    // looked at by other threads meanwhile, which is why nothing of it is
    // kept across.
    std::string local = ep->name;
    std::string dir = ep->dir;
    lk.unlock();
    for (const MsgRange& r : resubscribe) {
      MsgFrameHead head;
      uint8_t payload[kMsgSubscribePayloadBytes];
      msgSubscribeFrame(&head, payload, local, r.min, r.max);
      if (msgSendFrame(dir, r.name, head, payload, sizeof payload) != 0) {
        msgLog("%s: cannot renew the subscription at %s", local.c_str(), r.name.c_str());
      }
    }
    lk.lock();
  }
  s.changed.notify_all();
}

void msgExpectReply(MsgEndpoint& ep) {
  std::thread::id self = std::this_thread::get_id();
  if (ep.loopThreads.count(self) != 0) return;
  MsgReplyTicket t = {ep.arrivals, MsgClock::now() + std::chrono::milliseconds(kMsgReplyGraceMs)};
  for (auto& have : ep.tickets) {
    if (have.first == self) {
      have.second = t;
      return;
    }
  }
  ep.tickets.emplace_back(self, t);
}

MSG_Message* MSG_RecvMsg(const char* local, MSG_Type type, int timeoutMs) {
  MsgState& s = msgState();
  Lock lk(s.lock);
  MsgEndpointPtr ep = msgFindLocal(local);
  if (!ep) return nullptr;
  if (dropTicket(*ep)) s.changed.notify_all();
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
  while (w.msg == nullptr && !ep->closed) {
    if (polled && !forever && msLeft(deadline) == 0) break;
    waitStep(lk, ep, forever, deadline, &polled);
  }
  ep->waiters.erase(std::find(ep->waiters.begin(), ep->waiters.end(), &w));
  return w.msg;
}

MSG_Message* MSG_RecvAnyMsg(const char* local, int timeoutMs) {
  MsgState& s = msgState();
  Lock lk(s.lock);
  MsgEndpointPtr ep = msgFindLocal(local);
  if (!ep) return nullptr;
  ep->loopThreads.insert(std::this_thread::get_id());
  dropTicket(*ep);
  bool forever = timeoutMs < 0;
  MsgClock::time_point deadline = deadlineOf(timeoutMs);
  bool polled = false;
  for (;;) {
    runOpenCallbacks(lk, *ep);
    if (ep->closed) return nullptr;
    if (!ep->held.empty()) {
      MsgClock::time_point until = heldBackUntil(*ep);
      if (until <= MsgClock::now()) {
        MSG_Message* m = ep->held.front();
        ep->held.pop_front();
        return m;
      }
      // The thread the ticket belongs to reads the sockets itself when it
      // waits, and wakes us when it takes the ticket back.
      if (!forever && deadline < until) until = deadline;
      s.changed.wait_until(lk, until);
      if (!forever && msLeft(deadline) == 0) return nullptr;
      continue;
    }
    if (polled && !forever && msLeft(deadline) == 0) return nullptr;
    waitStep(lk, ep, forever, deadline, &polled);
  }
}
