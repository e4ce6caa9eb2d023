// Incoming stream connections: frames too large for a datagram, and peers
// that speak streams only.
//
// A sender that also has our datagram address begins its connection with a
// hello carrying a token. Frames after the hello are numbered from 1 on both
// sides. A marker datagram (token, number) sent before a large frame is
// written makes the frames up to that number be taken in when the marker is,
// so they keep their place among the sender's datagrams.
//
// A sender whose datagram finds our queue full writes it on the stream
// instead, unannounced, and so do its later messages until a marker covering
// them gets into the queue. Such a free frame is taken in once the datagrams
// queued so far have been: whatever the sender sent before it is then in. A
// marker that comes after its frames were taken in this way finds nothing
// left to do. Frames of a connection without a hello are taken in as they
// arrive.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/msg/msgInternal.h"
#include "platform/msg/msgSocket.h"

namespace {

// One busy peer must not keep the reader from the others: this many reads of
// one connection per pass, then the others get their turn.
constexpr int kMsgReadsPerPass = 64;

// How long a marked frame may take to arrive whole: the sender gives up after
// the send time-out and closes the connection, which ends the wait sooner.
constexpr int kMsgMarkedWaitMs = kMsgSendTimeoutMs + 1000;

using ConnPtr = std::shared_ptr<MsgInConn>;

void dropConn(MsgEndpoint& ep, const ConnPtr& c) {
  for (auto it = ep.conns.begin(); it != ep.conns.end(); ++it) {
    if (*it == c) {
      ep.conns.erase(it);
      break;
    }
  }
  // Closing takes it out of the epoll set.
  if (c->fd >= 0) close(c->fd);
  c->fd = -1;
}

// Takes in the buffered frames of an unmarked connection, up to a hello.
// False when the connection was dropped.
bool popUnmarked(MsgEndpoint& ep, const ConnPtr& c) {
  while (!c->marked) {
    MsgFrame f;
    MsgPopResult r = c->reader.pop(&f);
    if (r == kMsgPopNone) break;
    if (r == kMsgPopBad) {
      msgLog("%s: malformed frame; dropping the connection", ep.name.c_str());
      dropConn(ep, c);
      return false;
    }
    if (f.kind == kMsgFrameHello) {
      c->marked = true;
      memcpy(&c->token, f.payload.data(), sizeof c->token);
      break;
    }
    msgDeliver(ep, f.kind, f.type, f.sequence, std::move(f.sender), f.payload.data(),
               static_cast<uint32_t>(f.payload.size()));
  }
  return true;
}

// The peer closed its end. Frames of a marked connection that are buffered
// whole still wait for their markers.
void ended(MsgEndpoint& ep, const ConnPtr& c) {
  close(c->fd);
  c->fd = -1;
  if (c->marked && c->reader.midFrame()) return;
  if (c->reader.midFrame()) msgLog("%s: connection closed in the middle of a frame", ep.name.c_str());
  dropConn(ep, c);
}

// One read into the connection's buffer. 1: bytes came (*full: as many as
// there was room for), 0: none for now, -1: the connection ended or failed.
int readOnce(MsgEndpoint& ep, const ConnPtr& c, bool* full) {
  size_t room = 0;
  uint8_t* at = c->reader.space(&room);
  if (at == nullptr) {
    msgLog("%s: out of memory for an incoming frame; dropping the connection", ep.name.c_str());
    dropConn(ep, c);
    return -1;
  }
  ssize_t n;
  do {
    n = read(c->fd, at, room);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
  if (n <= 0) {
    ended(ep, c);
    return -1;
  }
  c->reader.commit(static_cast<size_t>(n));
  *full = static_cast<size_t>(n) == room;
  return 1;
}

void readConn(MsgEndpoint& ep, const ConnPtr& c) {
  for (int i = 0; i < kMsgReadsPerPass && c->fd >= 0; ++i) {
    bool full = false;
    if (readOnce(ep, c, &full) <= 0) return;
    if (!popUnmarked(ep, c) || !full) return;
  }
}

ConnPtr findMarked(MsgEndpoint& ep, pid_t pid, uint32_t token) {
  for (const ConnPtr& c : ep.conns) {
    if (c->marked && c->pid == pid && c->token == token) return c;
  }
  return nullptr;
}

}  // namespace

void msgStreamAcceptAll(MsgEndpoint& ep) {
  for (;;) {
    int fd = accept4(ep.listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) msgLog("%s: accept: %s", ep.name.c_str(), strerror(errno));
      return;
    }
    pid_t pid = 0;
    if (!msgPeerAllowed(fd, &pid)) {
      close(fd);
      continue;
    }
    auto c = std::make_shared<MsgInConn>();
    c->fd = fd;
    c->pid = pid;
    c->id = ep.nextConnId++;
    if (!msgWatchFd(ep, fd, c->id)) {
      close(fd);
      continue;
    }
    ep.conns.push_back(c);
    // What it sent already (its hello, a frame) is taken in now.
    readConn(ep, c);
  }
}

void msgStreamReadable(MsgEndpoint& ep, uint64_t tag) {
  for (size_t k = 0; k < ep.conns.size(); ++k) {
    if (ep.conns[k]->id == tag) {
      ConnPtr c = ep.conns[k];  // readConn may drop it from the list
      readConn(ep, c);
      return;
    }
  }
}

namespace {

// Takes in one frame popped from marked connection `c`.
void takeMarkedFrame(MsgEndpoint& ep, MsgInConn& c, MsgFrame& f) {
  if (f.kind == kMsgFrameHello) return;
  ++c.taken;
  msgDeliver(ep, f.kind, f.type, f.sequence, std::move(f.sender), f.payload.data(),
             static_cast<uint32_t>(f.payload.size()));
}

}  // namespace

bool msgStreamHasFree(const MsgEndpoint& ep) {
  for (const ConnPtr& c : ep.conns) {
    if (c->marked && c->reader.frameReady()) return true;
  }
  return false;
}

void msgStreamTakeFree(MsgEndpoint& ep) {
  std::vector<ConnPtr> ready;
  for (const ConnPtr& c : ep.conns) {
    if (c->marked && c->reader.frameReady()) ready.push_back(c);
  }
  for (const ConnPtr& c : ready) {
    for (;;) {
      MsgFrame f;
      MsgPopResult r = c->reader.pop(&f);
      if (r == kMsgPopNone) break;
      if (r == kMsgPopBad) {
        msgLog("%s: malformed frame; dropping the connection", ep.name.c_str());
        dropConn(ep, c);
        break;
      }
      takeMarkedFrame(ep, *c, f);
    }
    if (c->fd < 0 && !c->reader.midFrame()) dropConn(ep, c);
  }
}

void msgStreamMarked(MsgEndpoint& ep, pid_t pid, uint32_t token, uint32_t count) {
  ConnPtr c = findMarked(ep, pid, token);
  if (!c) {
    // The hello was written before the marker was sent: it is waiting on a
    // connection not accepted or not read yet.
    msgStreamAcceptAll(ep);
    std::vector<ConnPtr> unmarked;
    for (const ConnPtr& u : ep.conns) {
      if (!u->marked && u->pid == pid && u->fd >= 0) unmarked.push_back(u);
    }
    for (const ConnPtr& u : unmarked) readConn(ep, u);
    c = findMarked(ep, pid, token);
  }
  if (!c) {
    msgLog("%s: no connection of pid %d for a marked frame; ignoring the marker", ep.name.c_str(),
           static_cast<int>(pid));
    return;
  }
  MsgClock::time_point deadline = MsgClock::now() + std::chrono::milliseconds(kMsgMarkedWaitMs);
  for (;;) {
    // Counts wrap together on both sides; this tells "not yet" from "done".
    if (static_cast<int32_t>(count - c->taken) <= 0) {
      if (c->fd < 0 && !c->reader.midFrame()) dropConn(ep, c);
      return;
    }
    MsgFrame f;
    MsgPopResult r = c->reader.pop(&f);
    if (r == kMsgPopFrame) {
      takeMarkedFrame(ep, *c, f);
      continue;
    }
    if (r == kMsgPopBad) {
      msgLog("%s: malformed frame; dropping the connection", ep.name.c_str());
      dropConn(ep, c);
      return;
    }
    if (c->fd < 0) {
      msgLog("%s: connection closed in the middle of a frame", ep.name.c_str());
      dropConn(ep, c);
      return;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - MsgClock::now()).count();
    if (left <= 0) {
      msgLog("%s: a frame of pid %d did not arrive within %d ms; dropping the connection", ep.name.c_str(),
             static_cast<int>(pid), kMsgMarkedWaitMs);
      dropConn(ep, c);
      return;
    }
    struct pollfd p = {c->fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    bool full = false;
    if (readOnce(ep, c, &full) < 0 && std::find(ep.conns.begin(), ep.conns.end(), c) == ep.conns.end()) {
      msgLog("%s: connection of pid %d ended before its marked frame", ep.name.c_str(), static_cast<int>(pid));
      return;
    }
  }
}
