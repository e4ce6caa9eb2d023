// Taking in what arrives at a local endpoint: datagrams (one blocking
// recvmsg() per wait), and, once a slice, everything else (connections,
// stream frames, directory events) through a look at the epoll set.
//
// Wake datagrams: a thread that must know that everything which reached the
// endpoint has been taken in (MSG_SendNotification: subscriptions that came
// before a notification must get it) while another thread is the reader sends
// a numbered wake datagram to the endpoint itself. Datagrams are taken in in
// the order they arrived, so once the reader has taken in the wake, it has
// taken in all that came before.
#include <cerrno>
#include <cstring>
#include <new>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/msg/msgDatagram.h"
#include "platform/msg/msgInternal.h"
#include "platform/msg/msgMonitor.h"
#include "platform/msg/msgSocket.h"

namespace {

using Lock = std::unique_lock<std::mutex>;

// A flood of datagrams must not keep a look that does not wait from
// returning: at most this many are taken in by one.
constexpr int kMsgDrainMax = 1024;

// A sender that finds our datagram queue full writes on its stream and then
// tries a nudge datagram, which is lost when the queue is still full. The
// reader then takes the queued datagrams one by one, and looks at the
// streams after this many of them: fewer than a full queue holds, so it looks
// after the nudge was lost. Not after every datagram: a look costs a system
// call, a sizeable part of a round trip.
constexpr int kMsgLookEvery = 4;

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
        msgMonitorScan(ep.dir);
        continue;
      }
      std::string name;
      if (e->len == 0 || msgMonitorAppeared(ep.dir, e->name) || !msgUnescapeName(e->name, &name)) continue;
      for (MsgAsyncWatch& w : ep.watches) {
        if (w.remote == name) w.pending = true;
      }
      msgSubscriptionsAt(ep, name, resubscribe);
    }
  }
}

// Sends subscriptions again, without the lock: the endpoint may be looked at
// by other threads meanwhile, which is why nothing of it is kept across.
void resubscribe(Lock& lk, const MsgEndpoint& ep, const std::vector<MsgRange>& ranges) {
  std::string local = ep.name;
  std::string dir = ep.dir;
  lk.unlock();
  for (const MsgRange& r : ranges) {
    MsgFrameHead head;
    uint8_t payload[kMsgSubscribePayloadBytes];
    msgSubscribeFrame(&head, payload, local, r.min, r.max);
    if (msgSendFrame(dir, r.name, head, payload, sizeof payload) != 0) {
      msgLog("%s: cannot renew the subscription at %s", local.c_str(), r.name.c_str());
    }
  }
  lk.lock();
}

void drain(MsgEndpoint& ep);

// Everything but datagrams: connections, stream frames, directory events.
void look(Lock& lk, const MsgEndpointPtr& ep) {
  ep->nextLook = msgCoarseNow() + std::chrono::milliseconds(kMsgSliceMs);
  ep->sinceLook = 0;
  struct epoll_event evs[32];
  int n = epoll_wait(ep->epollFd, evs, 32, 0);
  std::vector<MsgRange> renew;
  for (int i = 0; i < n; ++i) {
    uint64_t tag = evs[i].data.u64;
    if (tag == kMsgTagListen) {
      msgStreamAcceptAll(*ep);
    } else if (tag == kMsgTagDir) {
      readDirEvents(*ep, &renew);
    } else {
      msgStreamReadable(*ep, tag);
    }
  }
  // A frame a sender wrote because our queue was full follows whatever that
  // sender had queued before it; the reader alone may take datagrams.
  if (!ep->reading && msgStreamHasFree(*ep)) {
    drain(*ep);
    msgStreamTakeFree(*ep);
  }
  if (!renew.empty()) resubscribe(lk, *ep, renew);
}

// One datagram of n bytes in ep.datagram, from `cred`.
void takeDatagram(MsgEndpoint& ep, size_t n, const struct ucred& cred) {
  if (!msgCredsAllowed(cred)) {
    msgLog("%s: refusing a datagram from pid %d uid %u gid %u", ep.name.c_str(), static_cast<int>(cred.pid),
           static_cast<unsigned>(cred.uid), static_cast<unsigned>(cred.gid));
    return;
  }
  MsgFrameView f;
  if (!msgFrameParse(ep.datagram.data(), n, &f)) {
    msgLog("%s: malformed datagram of %zu bytes from pid %d; dropped", ep.name.c_str(), n, static_cast<int>(cred.pid));
    return;
  }
  if (f.kind == kMsgFrameMarker) {
    uint32_t token;
    uint32_t count;
    memcpy(&token, f.payload, sizeof token);
    memcpy(&count, f.payload + sizeof token, sizeof count);
    msgStreamMarked(ep, cred.pid, token, count);
  } else if (f.kind == kMsgFrameWake) {
    uint64_t number;
    memcpy(&number, f.payload, sizeof number);
    if (cred.pid == getpid() && number > ep.wakesSeen) ep.wakesSeen = number;
    // A nudge (or our own wake): streams are due to be looked at now.
    ep.nextLook = MsgClock::time_point();
  } else {
    msgDeliver(ep, f.kind, f.type, f.sequence, std::string(f.sender, f.senderBytes), f.payload, f.payloadBytes);
  }
}

// Takes in the datagrams queued now, without waiting; the caller holds the
// lock and no thread is the reader.
void drain(MsgEndpoint& ep) {
  for (int i = 0; i < kMsgDrainMax; ++i) {
    struct ucred cred;
    ssize_t n = msgRecvDatagram(ep.dgramFd, ep.datagram.data(), kMsgMaxDatagram, MSG_DONTWAIT, &cred);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    takeDatagram(ep, static_cast<size_t>(n), cred);
  }
}

// Waits up to waitMs (0: without limit) for one datagram as the reader, and
// takes it in. False when none came.
bool waitDatagram(Lock& lk, const MsgEndpointPtr& ep, int waitMs) {
  long us = static_cast<long>(waitMs) * 1000;
  // The reader alone sets the time-out: one system call saved per wait.
  if (us != ep->recvTimeoutUs) ep->recvTimeoutUs = msgSetRecvTimeout(ep->dgramFd, us) ? us : 0;
  ep->reading = true;
  lk.unlock();
  struct ucred cred;
  ssize_t n = msgRecvDatagram(ep->dgramFd, ep->datagram.data(), kMsgMaxDatagram, 0, &cred);
  int err = errno;
  lk.lock();
  ep->reading = false;
  if (ep->closed) {
    msgReleaseEndpoint(*ep);
    msgWakeAll();
    return false;
  }
  if (n > 0) {
    takeDatagram(*ep, static_cast<size_t>(n), cred);
    return true;
  }
  if (n < 0 && err != EAGAIN && err != EWOULDBLOCK && err != EINTR) {
    msgLog("%s: recvmsg: %s", ep->name.c_str(), strerror(err));
  }
  return false;
}

// Sends wake datagram `number` on fd, connected to the endpoint itself: 0,
// or an errno value.
int sendWake(int fd, const std::string& name, uint64_t number, int flags) {
  uint8_t payload[kMsgWakePayloadBytes];
  memcpy(payload, &number, sizeof number);
  MsgFrameHead head;
  msgFrameHeader(&head, kMsgFrameWake, 0, 0, name, kMsgWakePayloadBytes);
  struct iovec iov[2] = {{head.bytes, head.size}, {payload, sizeof payload}};
  struct msghdr mh;
  memset(&mh, 0, sizeof mh);
  mh.msg_iov = iov;
  mh.msg_iovlen = 2;
  return sendmsg(fd, &mh, MSG_NOSIGNAL | flags) >= 0 ? 0 : errno;
}

}  // namespace

void msgNudgeReader(MsgEndpoint& ep) {
  // Wake 0 is never waited for. A full queue wakes the reader anyway.
  if (ep.reading && ep.recvTimeoutUs == 0) sendWake(ep.selfFd, ep.name, 0, MSG_DONTWAIT);
}

void msgDeliver(MsgEndpoint& ep, uint16_t kind, MSG_Type type, uint32_t sequence, std::string sender,
                const uint8_t* payload, uint32_t bytes) {
  if (kind == kMsgFrameSubscribe) {
    msgAddSubscriber(ep, sender, payload);
    return;
  }
  if (kind != kMsgFrameData) return;
  MSG_Message* m = msgNewMessage();
  if (m != nullptr) {
    try {
      m->payload.assign(payload, payload + bytes);
    } catch (const std::bad_alloc&) {
      msgFreeMessage(m);
      m = nullptr;
    }
  }
  if (m == nullptr) {
    msgLog("out of memory; a message of type 0x%x from %s is lost", type, sender.c_str());
    return;
  }
  m->arrival = ++ep.arrivals;
  m->type = type;
  m->sequence = sequence;
  m->senderName = std::move(sender);
  if (ep.lastSenderId == 0 || ep.lastSender != m->senderName) {
    ep.lastSenderId = msgIdOf(m->senderName);
    ep.lastSender = m->senderName;
  }
  m->sender = ep.lastSenderId;
  for (MsgWaiter* w : ep.waiters) {
    if (w->msg == nullptr && w->type == m->type) {
      w->msg = m;
      return;
    }
  }
  ep.held.push_back(m);
}

void msgTakeIn(Lock& lk, const MsgEndpointPtr& ep, int timeoutMs) {
  if (ep->closed) return;
  if (timeoutMs == 0) {
    if (!ep->reading) drain(*ep);
    look(lk, ep);
    msgWakeAll();
    return;
  }
  // A wait that only a datagram can end needs no timer (it costs a tenth of a
  // microsecond per wait); directory events matter only to open watches and
  // subscriptions, which wake the reader when they are added.
  // A sender whose datagram and nudge both found the queue full (a large
  // datagram can fill the sender's own buffer after two or three) may have
  // frames on its stream that nothing else points to: a connection with a
  // hello bounds the wait too.
  int wait = 0;
  if (timeoutMs >= 0 || !ep->watches.empty() || !ep->subscriptions.empty() || !ep->conns.empty()) {
    wait = (timeoutMs < 0 || timeoutMs > kMsgSliceMs) ? kMsgSliceMs : timeoutMs;
  }
  bool got = waitDatagram(lk, ep, wait);
  if (ep->closed) return;
  // After a wait that found nothing, after a nudge, every kMsgLookEvery
  // datagrams, and at least once a slice while datagrams keep coming.
  if (!got || ++ep->sinceLook >= kMsgLookEvery || msgCoarseNow() >= ep->nextLook) look(lk, ep);
  msgWakeAll();
}

void msgTakeInArrived(Lock& lk, const MsgEndpointPtr& ep) {
  uint64_t number = ++ep->wakesSent;
  // Sent with the lock held, so that the endpoint cannot be released under
  // it; a full queue is being emptied by the reader, which wakes us.
  for (;;) {
    if (ep->closed) return;
    if (!ep->reading) {
      msgTakeIn(lk, ep, 0);
      return;
    }
    int err = sendWake(ep->selfFd, ep->name, number, MSG_DONTWAIT);
    if (err == 0) break;
    if (err != EAGAIN && err != EWOULDBLOCK) {
      msgLog("%s: cannot wake the reader: %s", ep->name.c_str(), strerror(err));
      return;
    }
    msgSleep(lk);
  }
  while (!ep->closed && ep->wakesSeen < number) {
    // The reader may have given its role up before it came to the wake.
    if (!ep->reading) {
      msgTakeIn(lk, ep, 0);
    } else {
      msgSleep(lk);
    }
  }
}
