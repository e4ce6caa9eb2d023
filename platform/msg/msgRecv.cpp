// Reading the sockets of a local endpoint, and the two receive calls.
#include <cerrno>
#include <cstring>
#include <new>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/msg/msgInternal.h"
#include "platform/msg/msgSocket.h"

namespace {

// One busy peer must not keep the reader from the others: this many reads of
// one connection per pass, then poll() again.
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
  msgCloseFd(ep, c->fd);
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

MsgClock::time_point deadlineOf(int timeoutMs) {
  return MsgClock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
}

}  // namespace

void msgPollAndRead(Lock& lk, const MsgEndpointPtr& ep, int timeoutMs) {
  MsgState& s = msgState();
  if (ep->closed) return;
  std::vector<std::shared_ptr<MsgInConn>> conns = ep->conns;
  std::vector<struct pollfd> fds;
  fds.reserve(3 + conns.size());
  fds.push_back({ep->listenFd, POLLIN, 0});
  fds.push_back({ep->inotifyFd, POLLIN, 0});
  fds.push_back({ep->wakeFd, POLLIN, 0});
  for (auto& c : conns) fds.push_back({c->fd, POLLIN, 0});
  bool unlocked = timeoutMs != 0;
  if (unlocked) {
    ep->reading = true;
    lk.unlock();
  }
  int n = poll(fds.data(), fds.size(), timeoutMs);
  if (unlocked) {
    lk.lock();
    ep->reading = false;
    for (int fd : ep->deferredClose) close(fd);
    ep->deferredClose.clear();
  }
  if (ep->closed) {
    msgReleaseEndpoint(*ep);
    s.changed.notify_all();
    return;
  }
  std::vector<MsgRange> resubscribe;
  if (n > 0) {
    for (size_t i = 0; i < conns.size(); ++i) {
      if (fds[3 + i].revents != 0 && conns[i]->fd >= 0) readConn(*ep, conns[i]);
    }
    if (fds[0].revents != 0) acceptAll(*ep);
    if (fds[1].revents != 0) readDirEvents(*ep, &resubscribe);
    if (fds[2].revents != 0) {
      uint64_t v;
      ssize_t r = read(ep->wakeFd, &v, sizeof v);
      (void)r;
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
      uint8_t payload[kMsgSubscribePayloadBytes];
      std::string header = msgSubscribeHeader(local, payload, r.min, r.max);
      if (msgSendFrame(dir, r.name, header, payload, sizeof payload) != 0) {
        msgLog("%s: cannot renew the subscription at %s", local.c_str(), r.name.c_str());
      }
    }
    lk.lock();
  }
  s.changed.notify_all();
}

MSG_Message* MSG_RecvMsg(const char* local, MSG_Type type, int timeoutMs) {
  MsgState& s = msgState();
  Lock lk(s.lock);
  MsgEndpointPtr ep = msgFindLocal(local);
  if (!ep) return nullptr;
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
  ep->waiters.remove(&w);
  return w.msg;
}

MSG_Message* MSG_RecvAnyMsg(const char* local, int timeoutMs) {
  MsgState& s = msgState();
  Lock lk(s.lock);
  MsgEndpointPtr ep = msgFindLocal(local);
  if (!ep) return nullptr;
  bool forever = timeoutMs < 0;
  MsgClock::time_point deadline = deadlineOf(timeoutMs);
  bool polled = false;
  for (;;) {
    runOpenCallbacks(lk, *ep);
    if (ep->closed) return nullptr;
    if (!ep->held.empty()) {
      MSG_Message* m = ep->held.front();
      ep->held.pop_front();
      return m;
    }
    if (polled && !forever && msLeft(deadline) == 0) return nullptr;
    waitStep(lk, ep, forever, deadline, &polled);
  }
}
