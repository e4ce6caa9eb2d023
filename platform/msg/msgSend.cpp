// Outgoing connections and MSG_SendMsg.
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

#include "platform/msg/msgInternal.h"
#include "platform/msg/msgSocket.h"

namespace {

// Nobody writes to us on our outgoing connections, so a readable one has
// been closed by its peer.
bool stillOpen(int fd) {
  struct pollfd p = {fd, POLLIN, 0};
  return poll(&p, 1, 0) == 0;
}

using MsgOutKey = std::pair<std::string, std::string>;

void forget(const MsgOutKey& key, const std::shared_ptr<MsgOutConn>& conn) {
  MsgState& s = msgState();
  std::lock_guard<std::mutex> g(s.lock);
  auto it = s.out.find(key);
  if (it != s.out.end() && it->second == conn) s.out.erase(it);
}

// The cached connection to remote key.second in directory key.first, or a
// new one. *fresh tells which; errno tells why there is none.
std::shared_ptr<MsgOutConn> connection(const MsgOutKey& key, bool* fresh) {
  MsgState& s = msgState();
  {
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.out.find(key);
    if (it != s.out.end()) {
      *fresh = false;
      return it->second;
    }
  }
  *fresh = true;
  std::string path;
  if (!msgSocketPath(key.first, key.second, &path)) {
    errno = EINVAL;
    return nullptr;
  }
  int fd = msgConnect(path);
  if (fd < 0) return nullptr;
  auto conn = std::make_shared<MsgOutConn>();
  conn->fd = fd;
  std::lock_guard<std::mutex> g(s.lock);
  auto& slot = s.out[key];
  if (slot) return slot;  // another thread connected first; ours closes with `conn`
  slot = conn;
  return conn;
}

}  // namespace

MsgOutConn::~MsgOutConn() {
  if (fd >= 0) close(fd);
}

bool msgRemoteAlive(const std::string& dir, const std::string& remote) {
  MsgOutKey key(dir, remote);
  for (int attempt = 0; attempt < 2; ++attempt) {
    bool fresh = false;
    std::shared_ptr<MsgOutConn> conn = connection(key, &fresh);
    if (!conn) return false;
    if (fresh) return true;
    {
      std::lock_guard<std::mutex> g(conn->sendLock);
      if (!conn->broken && stillOpen(conn->fd)) return true;
      conn->broken = true;
    }
    forget(key, conn);
  }
  return false;
}

int msgSendFrame(const std::string& dir, const std::string& remote, const MsgFrameHead& head, const void* payload,
                 size_t bytes) {
  if (head.size == 0) return -1;
  MsgOutKey key(dir, remote);
  struct iovec iov[2] = {{const_cast<char*>(head.bytes), head.size}, {const_cast<void*>(payload), bytes}};
  MsgClock::time_point deadline = MsgClock::now() + std::chrono::milliseconds(kMsgSendTimeoutMs);
  int err = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    bool fresh = false;
    std::shared_ptr<MsgOutConn> conn = connection(key, &fresh);
    if (!conn) {
      msgLog("cannot connect to %s: %s", remote.c_str(), strerror(errno));
      return -1;
    }
    size_t written = 0;
    {
      std::lock_guard<std::mutex> g(conn->sendLock);
      if (conn->broken) {
        err = EPIPE;
      } else if (msgWriteAll(conn->fd, iov, 2, deadline, &written)) {
        return 0;
      } else {
        err = errno;
      }
      // Whatever part of the frame went out cannot be taken back; the peer
      // drops the truncated frame with the connection.
      conn->broken = true;
    }
    forget(key, conn);
    if (err == ETIMEDOUT) {
      msgLog("%s did not take a %zu-byte message within %d ms", remote.c_str(), bytes, kMsgSendTimeoutMs);
      return -1;
    }
    // A cached connection may belong to an earlier run of the peer.
    if (fresh) break;
  }
  msgLog("cannot send to %s: %s", remote.c_str(), strerror(err));
  return -1;
}

int MSG_SendMsg(const char* local, MSG_Endpoint remote, MSG_Message* msg) {
  std::unique_ptr<MSG_Message> owned(msg);
  if (!msg) return -1;
  MsgState& s = msgState();
  std::string dir;
  std::string to;
  MsgFrameHead head;
  {
    std::lock_guard<std::mutex> g(s.lock);
    MsgEndpointPtr ep = msgFindLocal(local);
    if (!ep) return -1;
    dir = ep->dir;
    to = remote != 0 ? msgNameOf(remote) : msg->replyTo;
    if (to.empty()) {
      msgLog("send of type 0x%x to unknown endpoint id %u refused", msg->type, remote);
      return -1;
    }
    if (msg->payload.size() > MSG_MAX_PAYLOAD) {
      msgLog("send of a %zu-byte payload refused, the limit is %u", msg->payload.size(), MSG_MAX_PAYLOAD);
      return -1;
    }
    msgFrameHeader(&head, kMsgFrameData, msg->type, msg->sequence, ep->name, static_cast<uint32_t>(msg->payload.size()));
    // Before the send: the reply may beat the return from it.
    msgExpectReply(*ep);
  }
  return msgSendFrame(dir, to, head, msg->payload.data(), msg->payload.size());
}
