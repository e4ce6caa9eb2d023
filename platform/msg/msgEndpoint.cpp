// Local endpoints, remote ids, and waiting for remotes to appear.
#include <cerrno>
#include <cstring>
#include <new>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/msg/msgDatagram.h"
#include "platform/msg/msgInternal.h"
#include "platform/msg/msgMonitor.h"
#include "platform/msg/msgSocket.h"

namespace {

// A remote appears by a rename into the directory (or, for other
// implementations, by binding under its final name).
constexpr uint32_t kMsgDirEvents = IN_CREATE | IN_MOVED_TO | IN_ONLYDIR;

// Waiting for a remote relies on directory events; this is the longest it
// waits between two connection attempts all the same, should an event be
// missed (an event queue overflow, a connect refused for a full backlog).
constexpr int kMsgRetryMs = 1000;

int openLocal(const std::string& name) {
  MsgState& s = msgState();
  std::string dir = msgSocketDir();
  std::string path;
  if (!msgSocketPath(dir, name, &path)) return -1;
  {
    std::lock_guard<std::mutex> g(s.lock);
    if (s.endpoints.count(name) != 0) {
      msgLog("endpoint %s is already open", name.c_str());
      return -1;
    }
  }
  if (msgEnsureDir(dir) != 0) return -1;
  auto ep = std::make_shared<MsgEndpoint>();
  ep->name = name;
  ep->dir = dir;
  ep->path = path;
  ep->datagram.reset(new (std::nothrow) uint8_t[kMsgDatagramBatch * (kMsgMaxDatagram + 1)]);
  if (!ep->datagram) {
    msgLog("out of memory opening endpoint %s", name.c_str());
    return -1;
  }
  ep->epollFd = epoll_create1(EPOLL_CLOEXEC);
  ep->inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (ep->epollFd < 0 || ep->inotifyFd < 0 || inotify_add_watch(ep->inotifyFd, dir.c_str(), kMsgDirEvents) < 0 ||
      !msgWatchFd(*ep, ep->inotifyFd, kMsgTagDir)) {
    msgLog("cannot watch socket directory %s: %s", dir.c_str(), strerror(errno));
    msgReleaseEndpoint(*ep);
    return -1;
  }
  // The directory is watched before the socket appears, so no remote that
  // appears after this call can be missed.
  ep->listenFd = msgListen(dir, path, &ep->dgramFd, &ep->dev, &ep->ino);
  if (ep->listenFd < 0) {
    msgReleaseEndpoint(*ep);
    return -1;
  }
  ep->selfFd = msgConnectDatagram(dir, ep->ino);
  if (ep->selfFd < 0 || !msgWatchFd(*ep, ep->listenFd, kMsgTagListen) ||
      !msgWatchFd(*ep, ep->dgramFd, kMsgTagDatagram)) {
    if (ep->selfFd < 0) msgLog("cannot connect to the datagram socket of %s: %s", name.c_str(), strerror(errno));
    unlink(path.c_str());
    unlink(msgDatagramPath(dir, ep->ino).c_str());
    msgReleaseEndpoint(*ep);
    return -1;
  }
  msgMonitorScan(dir);  // those that appear later are directory events
  std::lock_guard<std::mutex> g(s.lock);
  if (s.endpoints.count(name) != 0) {  // opened by another thread meanwhile
    msgLog("endpoint %s is already open", name.c_str());
    unlink(path.c_str());
    msgReleaseEndpoint(*ep);
    return -1;
  }
  s.endpoints[name] = ep;
  return 0;
}

}  // namespace

MsgEndpointPtr msgFindLocal(const char* local) {
  if (local == nullptr) return nullptr;
  MsgState& s = msgState();
  auto it = s.endpoints.find(std::string_view(local));
  if (it == s.endpoints.end()) {
    msgLog("endpoint %s is not open", local);
    return nullptr;
  }
  return it->second;
}

MSG_Endpoint msgIdOf(const std::string& name) {
  MsgState& s = msgState();
  auto it = s.ids.find(name);
  if (it != s.ids.end()) return it->second;
  s.names.push_back(name);
  MSG_Endpoint id = static_cast<MSG_Endpoint>(s.names.size());
  s.ids[name] = id;
  return id;
}

const std::string* msgNameOf(MSG_Endpoint id) {
  MsgState& s = msgState();
  if (id == 0 || id > s.names.size()) return nullptr;
  return &s.names[id - 1];
}

bool msgWatchFd(MsgEndpoint& ep, int fd, uint64_t tag) {
  struct epoll_event ev;
  ev.events = EPOLLIN;
  ev.data.u64 = tag;
  if (epoll_ctl(ep.epollFd, EPOLL_CTL_ADD, fd, &ev) == 0) return true;
  msgLog("%s: epoll_ctl: %s", ep.name.c_str(), strerror(errno));
  return false;
}

// Never while a reader waits: MSG_CloseLocal leaves it to the reader then.
void msgReleaseEndpoint(MsgEndpoint& ep) {
  for (int* fd : {&ep.epollFd, &ep.listenFd, &ep.inotifyFd, &ep.dgramFd, &ep.selfFd}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
  for (auto& c : ep.conns) {
    if (c->fd >= 0) close(c->fd);
    c->fd = -1;
  }
  ep.conns.clear();
  for (MSG_Message* m : ep.held) msgFreeMessage(m);
  ep.held.clear();
}

int MSG_OpenLocal(const char* local) {
  if (local == nullptr) return -1;
  return openLocal(local);
}

int MSG_CloseLocal(const char* local) {
  MsgState& s = msgState();
  std::lock_guard<std::mutex> g(s.lock);
  MsgEndpointPtr ep = msgFindLocal(local);
  if (!ep) return -1;
  s.endpoints.erase(ep->name);
  ep->closed = true;
  // Remove the name only while it is still ours: a successor may have
  // replaced the file already.
  struct stat st;
  if (stat(ep->path.c_str(), &st) == 0 && st.st_dev == ep->dev && st.st_ino == ep->ino) unlink(ep->path.c_str());
  // The datagram name is ours for as long as the socket is bound.
  unlink(msgDatagramPath(ep->dir, ep->ino).c_str());
  if (ep->reading) {
    // Ends the reader's wait (the datagram socket turns readable); it
    // releases the endpoint then.
    if (shutdown(ep->dgramFd, SHUT_RD) != 0) msgLog("cannot wake the reader of %s", ep->name.c_str());
  } else {
    msgReleaseEndpoint(*ep);
  }
  msgWakeAll();
  return 0;
}

MSG_Endpoint MSG_GetRemoteId(const char* local, const char* remote) {
  if (remote == nullptr) return 0;
  MsgState& s = msgState();
  std::string dir;
  {
    std::lock_guard<std::mutex> g(s.lock);
    MsgEndpointPtr ep = msgFindLocal(local);
    if (!ep) return 0;
    dir = ep->dir;
  }
  if (!msgRemoteAlive(dir, remote)) return 0;
  std::lock_guard<std::mutex> g(s.lock);
  return msgIdOf(remote);
}

int MSG_OpenRemoteSync(const char* local, const char* remote, int timeoutMs, MSG_Endpoint* remoteId) {
  if (remote == nullptr) return -1;
  MsgState& s = msgState();
  std::string dir;
  std::string path;
  {
    std::lock_guard<std::mutex> g(s.lock);
    MsgEndpointPtr ep = msgFindLocal(local);
    if (!ep) return -1;
    dir = ep->dir;
  }
  if (!msgSocketPath(dir, remote, &path)) return -1;
  int ino = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (ino < 0 || inotify_add_watch(ino, dir.c_str(), kMsgDirEvents) < 0) {
    msgLog("cannot watch socket directory %s: %s", dir.c_str(), strerror(errno));
    if (ino >= 0) close(ino);
    return -1;
  }
  MsgClock::time_point deadline = MsgClock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  int rc = -1;
  for (;;) {
    if (msgRemoteAlive(dir, remote)) {
      rc = 0;
      break;
    }
    int wait = kMsgRetryMs;
    if (timeoutMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - MsgClock::now()).count();
      if (left <= 0) {
        msgLog("endpoint %s did not appear within %d ms", remote, timeoutMs);
        break;
      }
      if (left < wait) wait = static_cast<int>(left);
    }
    struct pollfd p = {ino, POLLIN, 0};
    poll(&p, 1, wait);
    char buf[4096];
    while (read(ino, buf, sizeof buf) > 0) {
    }
  }
  close(ino);
  if (rc == 0 && remoteId != nullptr) {
    std::lock_guard<std::mutex> g(s.lock);
    *remoteId = msgIdOf(remote);
  }
  return rc;
}

int MSG_OpenRemoteAsync(const char* local, const char* remote, const MSG_Callback* cb, int flags) {
  (void)flags;
  if (remote == nullptr || cb == nullptr || cb->pFunc == nullptr) return -1;
  MsgState& s = msgState();
  std::string dir;
  std::string path;
  {
    std::unique_lock<std::mutex> lk(s.lock);
    MsgEndpointPtr ep = msgFindLocal(local);
    if (!ep) return -1;
    dir = ep->dir;
    if (!msgSocketPath(dir, remote, &path)) return -1;
    // Directory events that are already queued are taken first: one of them
    // may announce this very remote, and the check below covers that case.
    msgTakeIn(lk, ep, 0);
    if (ep->closed) return -1;
    ep->watches.push_back({remote, *cb, false});
  }
  // Connecting takes no lock; an event arriving meanwhile sets the same flag.
  if (!msgRemoteAlive(dir, remote)) return 0;
  std::lock_guard<std::mutex> g(s.lock);
  auto it = s.endpoints.find(local);
  if (it == s.endpoints.end()) return 0;
  for (MsgAsyncWatch& w : it->second->watches) {
    if (w.remote == remote && w.cb.pFunc == cb->pFunc && w.cb.pContext == cb->pContext) w.pending = true;
  }
  msgWakeAll();
  return 0;
}
