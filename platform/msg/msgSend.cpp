// Outgoing connections and MSG_SendMsg.
//
// To each remote endpoint the process keeps a stream connection and, unless
// the remote speaks streams only, a datagram socket connected to the
// remote's (msgDatagram.h). A frame of up to kMsgMaxDatagram bytes goes as
// one datagram. A larger one goes on the stream, announced by a marker
// datagram sent just before it: the receiver then reads the frame while it is
// being written, and takes it in at its place among the sender's datagrams.
//
// The kernel queues only about a dozen datagrams for a receiver, so one that
// is busy elsewhere for a while would soon hold its senders up. A datagram
// is therefore never waited for: when the queue is full, the frame goes on
// the stream, whose buffers hold far more, and so do the ones after it
// ("stream mode") until a marker covering all of them gets into the queue
// again; the receiver takes them in before anything sent after that marker
// (msgStream.cpp).
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/msg/msgDatagram.h"
#include "platform/msg/msgInternal.h"
#include "platform/msg/msgMonitor.h"
#include "platform/msg/msgSocket.h"

namespace {

using OutPtr = std::shared_ptr<MsgOutConn>;
using MsgOutKey = std::pair<std::string, std::string>;

// The sender name of a hello is not used; the frame format wants one.
const char kMsgHelloSender[] = "-";

std::atomic<uint32_t> gNextToken{0};

// Send buffer of a stream connection (the kernel doubles it for its own
// accounting): a few thousand small messages, or a few large ones.
constexpr int kMsgStreamSendBuffer = 1024 * 1024;

// Nobody writes to us on our outgoing connections, so a readable one has
// been closed by its peer.
bool stillOpen(int fd) {
  struct pollfd p = {fd, POLLIN, 0};
  return poll(&p, 1, 0) == 0;
}

MsgClock::time_point sendDeadline() { return MsgClock::now() + std::chrono::milliseconds(kMsgSendTimeoutMs); }

// Looks a connection up by references: no copy of either name.
using MsgOutRef = std::pair<const std::string&, const std::string&>;

void forget(const std::string& dir, const std::string& remote, const OutPtr& conn) {
  MsgState& s = msgState();
  std::lock_guard<std::mutex> g(s.lock);
  auto it = s.out.find(MsgOutRef(dir, remote));
  if (it != s.out.end() && it->second == conn) s.out.erase(it);
}

// Connects to the endpoint at `path`; null with errno set.
OutPtr open(const std::string& path) {
  auto conn = std::make_shared<MsgOutConn>();
  conn->fd = msgConnect(path);
  if (conn->fd < 0) return nullptr;
  // The kernel charges every small frame on a stream about 700 bytes of the
  // send buffer, so its default would hold only a few hundred messages for a
  // receiver that is busy elsewhere. The memory is used only while it holds
  // frames; where the system allows less, the kernel gives what it allows.
  int sndbuf = kMsgStreamSendBuffer;
  if (setsockopt(conn->fd, SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf) != 0) {
    msgLog("cannot enlarge the send buffer to %s: %s", path.c_str(), strerror(errno));
  }
  // A peer without a datagram socket is reached by stream alone.
  struct stat st;
  if (stat(path.c_str(), &st) == 0) conn->dgramFd = msgConnectDatagram(path.substr(0, path.rfind('/')), st.st_ino);
  if (conn->dgramFd < 0) return conn;
  conn->token = ++gNextToken;
  MsgFrameHead head;
  msgFrameHeader(&head, kMsgFrameHello, 0, 0, kMsgHelloSender, kMsgTokenPayloadBytes);
  struct iovec iov[2] = {{head.bytes, head.size}, {&conn->token, sizeof conn->token}};
  size_t written = 0;
  if (!msgWriteAll(conn->fd, iov, 2, sendDeadline(), &written)) return nullptr;
  return conn;
}

// Lets go of the cached connections whose peer has closed its end (an
// endpoint closed, a process ended), all but `keep`; lock held. A service
// answers many short-lived clients, each under a name of its own: without
// this, every client that ever got an answer would keep two descriptors of
// the service's open for good. Done when a connection is added, so the
// cache holds at most the peers alive then and those gone since.
void forgetClosed(MsgState& s, const OutPtr& keep) {
  std::vector<struct pollfd> fds;
  fds.reserve(s.out.size());
  for (const auto& entry : s.out) fds.push_back({entry.second->fd, POLLIN, 0});
  if (poll(fds.data(), fds.size(), 0) <= 0) return;
  size_t i = 0;
  for (auto it = s.out.begin(); it != s.out.end(); ++i) {
    // Connections in use elsewhere stay open until their users let go.
    if (fds[i].revents != 0 && it->second != keep) {
      it = s.out.erase(it);
    } else {
      ++it;
    }
  }
}

// The cached connection to `remote` in `dir`, or a new one. *fresh tells
// which; errno tells why there is none.
OutPtr connection(const std::string& dir, const std::string& remote, bool* fresh) {
  MsgState& s = msgState();
  {
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.out.find(MsgOutRef(dir, remote));
    if (it != s.out.end()) {
      *fresh = false;
      return it->second;
    }
  }
  *fresh = true;
  std::string path;
  if (!msgSocketPath(dir, remote, &path)) {
    errno = EINVAL;
    return nullptr;
  }
  OutPtr conn = open(path);
  if (!conn) return nullptr;
  std::lock_guard<std::mutex> g(s.lock);
  auto& slot = s.out[MsgOutKey(dir, remote)];
  if (slot) return slot;  // another thread connected first; ours closes with `conn`
  slot = conn;
  forgetClosed(s, conn);
  return conn;
}

// Frames up to this size are copied into one buffer and sent with send():
// cheaper for the kernel than gathering two pieces with sendmsg().
constexpr size_t kMsgCopyFrameBytes = 1024;

// 0, EAGAIN when the receiver's queue is full, or another errno value.
int sendDatagram(int fd, struct iovec* iov) {
  size_t total = iov[0].iov_len + iov[1].iov_len;
  char frame[kMsgCopyFrameBytes];
  bool copy = total <= kMsgCopyFrameBytes;
  if (copy) {
    memcpy(frame, iov[0].iov_base, iov[0].iov_len);
    if (iov[1].iov_len > 0) memcpy(frame + iov[0].iov_len, iov[1].iov_base, iov[1].iov_len);
  }
  struct msghdr mh;
  memset(&mh, 0, sizeof mh);
  mh.msg_iov = iov;
  mh.msg_iovlen = 2;
  for (;;) {
    ssize_t n = copy ? send(fd, frame, total, MSG_NOSIGNAL | MSG_DONTWAIT)
                     : sendmsg(fd, &mh, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) return 0;
    if (errno == EINTR) continue;
    return errno == EWOULDBLOCK ? EAGAIN : errno;
  }
}

// A marker for the frames of `conn` up to number `count`, from the sender
// named in `head`; streamLock held. 0, EAGAIN, or another errno value.
int sendMarker(MsgOutConn& conn, const MsgFrameHead& head, uint32_t count) {
  MsgFrameHead marker;
  std::string sender(head.bytes + kMsgFrameHeaderBytes, head.size - kMsgFrameHeaderBytes);
  msgFrameHeader(&marker, kMsgFrameMarker, 0, 0, sender, kMsgMarkerPayloadBytes);
  uint32_t words[2] = {conn.token, count};
  struct iovec mv[2] = {{marker.bytes, marker.size}, {words, sizeof words}};
  return sendDatagram(conn.dgramFd, mv);
}

// Wake 0, which asks the receiver only to look at its streams; never waited
// for, and lost when the queue is full.
void sendNudge(MsgOutConn& conn, const MsgFrameHead& head) {
  MsgFrameHead nudge;
  std::string sender(head.bytes + kMsgFrameHeaderBytes, head.size - kMsgFrameHeaderBytes);
  msgFrameHeader(&nudge, kMsgFrameWake, 0, 0, sender, kMsgWakePayloadBytes);
  uint64_t zero = 0;
  struct iovec nv[2] = {{nudge.bytes, nudge.size}, {&zero, sizeof zero}};
  sendDatagram(conn.dgramFd, nv);
}

// Writes the frame on the stream of `conn`; streamLock held. 0, or an errno
// value; a connection left with part of a frame on its stream is marked
// broken.
int writeFrame(MsgOutConn& conn, struct iovec* iov) {
  size_t written = 0;
  if (msgWriteAll(conn.fd, iov, 2, sendDeadline(), &written)) {
    ++conn.streamFrames;
    return 0;
  }
  int err = errno;
  // Whatever part of the frame went out cannot be taken back; the peer
  // drops the truncated frame with the connection.
  conn.broken = true;
  return err;
}

// Sends the frame on `conn`: 0, or an errno value.
int sendOn(MsgOutConn& conn, const MsgFrameHead& head, const void* payload, size_t bytes) {
  struct iovec iov[2] = {{const_cast<char*>(head.bytes), head.size}, {const_cast<void*>(payload), bytes}};
  if (conn.broken) return EPIPE;
  bool small = head.size + bytes <= kMsgMaxDatagram;
  if (conn.dgramFd >= 0 && small && !conn.streamMode.load(std::memory_order_acquire)) {
    int err = sendDatagram(conn.dgramFd, iov);
    if (err != EAGAIN) return err;
  }
  std::lock_guard<std::mutex> g(conn.streamLock);
  if (conn.broken) return EPIPE;
  if (conn.dgramFd < 0) return writeFrame(conn, iov);
  bool streamed = conn.streamMode.load(std::memory_order_relaxed);
  if (streamed) {
    // Back to datagrams only once the receiver is told where the frames
    // written meanwhile belong.
    int err = sendMarker(conn, head, conn.streamFrames);
    if (err != 0 && err != EAGAIN) return err;
    streamed = err == EAGAIN;
  }
  if (!streamed) {
    int err = small ? sendDatagram(conn.dgramFd, iov) : sendMarker(conn, head, conn.streamFrames + 1);
    if (err != 0 && err != EAGAIN) return err;
    streamed = err == EAGAIN;
    if (small && !streamed) {
      conn.streamMode.store(false, std::memory_order_release);
      return 0;
    }
  }
  conn.streamMode.store(streamed, std::memory_order_release);
  int err = writeFrame(conn, iov);
  // A reader emptying a full queue looks at its streams only now and then;
  // the nudge makes it look now. One lost to a full queue is not missed,
  // the reader looks while it empties the queue (msgTakeIn.cpp).
  if (err == 0 && streamed) sendNudge(conn, head);
  return err;
}

}  // namespace

MsgOutConn::~MsgOutConn() {
  if (fd >= 0) close(fd);
  if (dgramFd >= 0) close(dgramFd);
}

bool msgRemoteAlive(const std::string& dir, const std::string& remote) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    bool fresh = false;
    OutPtr conn = connection(dir, remote, &fresh);
    if (!conn) return false;
    if (fresh) return true;
    {
      std::lock_guard<std::mutex> g(conn->streamLock);
      if (!conn->broken && stillOpen(conn->fd)) return true;
      conn->broken = true;
    }
    forget(dir, remote, conn);
  }
  return false;
}

namespace {

// msgSendFrame, trying `cached` first when given.
int sendFrame(const std::string& dir, const std::string& remote, const MsgFrameHead& head, const void* payload,
              size_t bytes, OutPtr cached) {
  if (head.size == 0) return -1;
  int err = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    bool fresh = false;
    OutPtr conn = attempt == 0 && cached ? cached : connection(dir, remote, &fresh);
    if (!conn) {
      msgLog("cannot connect to %s: %s", remote.c_str(), strerror(errno));
      return -1;
    }
    err = sendOn(*conn, head, payload, bytes);
    if (err == 0) return 0;
    if (err == ETIMEDOUT) {
      if (conn->broken) forget(dir, remote, conn);
      msgLog("%s did not take a %zu-byte message within %d ms", remote.c_str(), bytes, kMsgSendTimeoutMs);
      return -1;
    }
    conn->broken = true;
    forget(dir, remote, conn);
    // A cached connection may belong to an earlier run of the peer.
    if (fresh) break;
  }
  msgLog("cannot send to %s: %s", remote.c_str(), strerror(err));
  return -1;
}

}  // namespace

int msgSendFrame(const std::string& dir, const std::string& remote, const MsgFrameHead& head, const void* payload,
                 size_t bytes) {
  return sendFrame(dir, remote, head, payload, bytes, nullptr);
}

int MSG_SendMsg(const char* local, MSG_Endpoint remote, MSG_Message* msg) {
  MsgMessagePtr owned(msg);
  if (!msg) return -1;
  MsgState& s = msgState();
  MsgEndpointPtr ep;  // keeps ep->dir alive
  const std::string* to = nullptr;  // a remote name never goes away, nor does msg->replyTo
  OutPtr cached;
  MsgFrameHead head;
  {
    std::lock_guard<std::mutex> g(s.lock);
    ep = msgFindLocal(local);
    if (!ep) return -1;
    to = remote != 0 ? msgNameOf(remote) : &msg->replyTo;
    if (to == nullptr || to->empty()) {
      msgLog("send of type 0x%x to unknown endpoint id %u refused", msg->type, remote);
      return -1;
    }
    if (msg->payload.size() > MSG_MAX_PAYLOAD) {
      msgLog("send of a %zu-byte payload refused, the limit is %u", msg->payload.size(), MSG_MAX_PAYLOAD);
      return -1;
    }
    auto it = s.out.find(MsgOutRef(ep->dir, *to));
    if (it != s.out.end()) cached = it->second;
    msgFrameHeader(&head, kMsgFrameData, msg->type, msg->sequence, ep->name, static_cast<uint32_t>(msg->payload.size()));
    // Before the send: the reply may beat the return from it.
    msgExpectReply(*ep);
  }
  int rc = sendFrame(ep->dir, *to, head, msg->payload.data(), msg->payload.size(), cached);
  if (rc == 0) msgMonitorCopy(ep->dir, *to, head, msg->payload.data(), msg->payload.size());
  return rc;
}
