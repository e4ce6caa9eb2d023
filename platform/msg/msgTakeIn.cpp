// Taking in what arrives at a local endpoint. The reader waits on the
// endpoint's epoll set alone, which holds every descriptor the endpoint owns
// (datagram socket, listen socket, connections, directory watcher): a wait
// ends as soon as anything arrives, and an idle wait lasts its whole
// time-out in one system call.
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

// A receive is cheapest when the datagram is already queued: one call takes
// it. A wait on the epoll set and then a receive is two. So the socket is
// tried before a wait while that pays: while the last receive filled its
// batch (a burst), and while tries keep finding datagrams (a peer may have
// answered before we got to wait). A try that finds nothing stops
// that; after this many waits it is tried again.
constexpr int kMsgTryEvery = 8;

// Datagrams taken by tries do not go through the epoll set, which must still
// be looked at for connections, stream frames and directory events.
//
// A sender that finds our datagram queue full writes on its stream and then
// tries a nudge datagram, which is lost when the queue is still full. While
// the queue holds more, it is looked at after this many datagrams: fewer
// than a full queue holds, so it looks after the nudge was lost. Not after
// every batch: a look costs a system call, a sizeable part of a round trip.
constexpr int kMsgLookEvery = 4;
// And at least this often while tries keep finding datagrams: a remote that
// appears, or a peer that speaks streams only, waits no longer.
constexpr int kMsgLookMs = 50;

// Descriptors served by one wait or look.
constexpr int kMsgEventsMax = 32;

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

int takeBatch(MsgEndpoint& ep);
void drain(MsgEndpoint& ep);

// Serves what the epoll set reported: datagrams first (when this thread may
// take them), then connections, stream frames and directory events.
void serve(Lock& lk, const MsgEndpointPtr& ep, const struct epoll_event* evs, int n) {
  ep->sinceLook = 0;
  ep->lookNow = false;
  ep->nextLook = msgCoarseNow() + std::chrono::milliseconds(kMsgLookMs);
  for (int i = 0; i < n; ++i) {
    if (evs[i].data.u64 == kMsgTagDatagram && !ep->reading) takeBatch(*ep);
  }
  std::vector<MsgRange> renew;
  for (int i = 0; i < n; ++i) {
    uint64_t tag = evs[i].data.u64;
    if (tag == kMsgTagListen) {
      msgStreamAcceptAll(*ep);
    } else if (tag == kMsgTagDir) {
      readDirEvents(*ep, &renew);
    } else if (tag >= kMsgFirstConnTag) {
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

// Everything that is ready now, without waiting.
void look(Lock& lk, const MsgEndpointPtr& ep) {
  struct epoll_event evs[kMsgEventsMax];
  int n = epoll_wait(ep->epollFd, evs, kMsgEventsMax, 0);
  serve(lk, ep, evs, n);
}

// One datagram of `bytes` bytes at `buf`, from `cred`.
void takeDatagram(MsgEndpoint& ep, const uint8_t* buf, size_t bytes, const struct ucred& cred) {
  if (!msgCredsAllowed(cred)) {
    msgLog("%s: refusing a datagram from pid %d uid %u gid %u", ep.name.c_str(), static_cast<int>(cred.pid),
           static_cast<unsigned>(cred.uid), static_cast<unsigned>(cred.gid));
    return;
  }
  MsgFrameView f;
  if (!msgFrameParse(buf, bytes, &f)) {
    msgLog("%s: malformed datagram of %zu bytes from pid %d; dropped", ep.name.c_str(), bytes,
           static_cast<int>(cred.pid));
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
    ep.lookNow = true;
  } else {
    msgDeliver(ep, f.kind, f.type, f.sequence, std::string(f.sender, f.senderBytes), f.payload, f.payloadBytes);
  }
}

// Takes in up to a batch of queued datagrams without waiting; the caller
// holds the lock and no other thread is the reader. How many came.
int takeBatch(MsgEndpoint& ep) {
  MsgDatagramIn in[kMsgDatagramBatch];
  int n;
  do {
    n = msgRecvDatagrams(ep.dgramFd, ep.datagram.get(), kMsgMaxDatagram, in);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) msgLog("%s: recvmmsg: %s", ep.name.c_str(), strerror(errno));
  ep.datagramsQueued = n == kMsgDatagramBatch;
  for (int i = 0; i < n; ++i) {
    takeDatagram(ep, ep.datagram.get() + static_cast<size_t>(i) * (kMsgMaxDatagram + 1), in[i].bytes, in[i].cred);
  }
  return n < 0 ? 0 : n;
}

// Takes in the datagrams queued now (a flood: at most kMsgDrainMax). A
// batch that came back short found the queue empty.
void drain(MsgEndpoint& ep) {
  for (int i = 0; i < kMsgDrainMax; i += kMsgDatagramBatch) {
    if (takeBatch(ep) < kMsgDatagramBatch) return;
  }
}

// Waits up to timeoutMs (-1: without limit) as the reader on every
// descriptor of the endpoint, and takes in what they hold.
void waitAll(Lock& lk, const MsgEndpointPtr& ep, int timeoutMs) {
  ep->reading = true;
  lk.unlock();
  struct epoll_event evs[kMsgEventsMax];
  int n = epoll_wait(ep->epollFd, evs, kMsgEventsMax, timeoutMs);
  int err = errno;
  lk.lock();
  ep->reading = false;
  if (ep->closed) {
    msgReleaseEndpoint(*ep);
    msgWakeAll();
    return;
  }
  if (n < 0 && err != EINTR) msgLog("%s: epoll_wait: %s", ep->name.c_str(), strerror(err));
  serve(lk, ep, evs, n);
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
  if (ep->tryFirst || ++ep->sinceTry >= kMsgTryEvery) {
    ep->sinceTry = 0;
    int got = takeBatch(*ep);
    ep->tryFirst = got > 0;
    if (got > 0) {
      ep->sinceLook += got;
      if (ep->lookNow || (ep->datagramsQueued && ep->sinceLook >= kMsgLookEvery) || msgCoarseNow() >= ep->nextLook) {
        look(lk, ep);
      }
      msgWakeAll();
      return;
    }
  }
  waitAll(lk, ep, timeoutMs);
  // A wait ended by a batch that filled: more are probably queued.
  if (ep->datagramsQueued) ep->tryFirst = true;
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
