#include "platform/msg/msgMonitor.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/msg/msgDatagram.h"
#include "platform/msg/msgInternal.h"
#include "platform/msg/msgSocket.h"

namespace {

constexpr uint32_t kRecordMagic = 0x4347534Du;  // "MSGC" read as a little-endian word
// Room for a burst while the monitor prints: a few hundred records.
constexpr int kLinkSendBuffer = 1024 * 1024;

// A monitor known to this process.
struct MonitorLink {
  std::string dir;
  std::string path;
  int fd = -1;           // connected lazily, at the first copy
  bool refused = false;  // runs as another user and group: never copied to
  uint32_t dropped = 0;
};

std::mutex gLinksLock;
std::vector<MonitorLink> gLinks;
// Links not refused; read without the lock on every send.
std::atomic<size_t> gLive{0};

void countLive() {
  size_t n = 0;
  for (const MonitorLink& l : gLinks) n += l.refused ? 0 : 1;
  gLive.store(n, std::memory_order_relaxed);
}

void addLink(const std::string& dir, const std::string& file) {
  std::string path = dir + "/" + file;
  std::lock_guard<std::mutex> g(gLinksLock);
  for (const MonitorLink& l : gLinks) {
    if (l.path == path) return;
  }
  MonitorLink l;
  l.dir = dir;
  l.path = path;
  gLinks.push_back(l);
  countLive();
}

bool isMonitorName(const char* name) { return strncmp(name, kMsgMonitorPrefix, sizeof kMsgMonitorPrefix - 1) == 0; }

enum ConnectResult { kConnected, kBusy, kGone };

// Connects `l` and checks who runs the monitor; gLinksLock held.
ConnectResult connectLink(MonitorLink& l) {
  struct sockaddr_un sa;
  if (!msgFillAddress(l.path, &sa)) return kGone;
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return kBusy;
  if (connect(fd, reinterpret_cast<struct sockaddr*>(&sa), sizeof sa) != 0) {
    int e = errno;
    close(fd);
    // A full backlog: the monitor is slow to accept, not gone.
    return e == EAGAIN ? kBusy : kGone;
  }
  struct ucred cred;
  socklen_t len = sizeof cred;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || !msgCredsAllowed(cred)) {
    msgLog("monitor %s runs as uid %u gid %u, neither our user nor our group: nothing is copied to it",
           l.path.c_str(), static_cast<unsigned>(cred.uid), static_cast<unsigned>(cred.gid));
    close(fd);
    l.refused = true;
    return kBusy;
  }
  int sndbuf = kLinkSendBuffer;
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
  l.fd = fd;
  return kConnected;
}

uint32_t word(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

bool msgMonitorParse(const uint8_t* p, size_t n, MsgMonitorRecord* out) {
  if (n < kMsgMonitorHeaderBytes || word(p) != kRecordMagic) return false;
  size_t senderLen = p[28];
  size_t receiverLen = p[29];
  if (senderLen == 0 || receiverLen == 0 || n < kMsgMonitorHeaderBytes + senderLen + receiverLen) return false;
  size_t copied = n - kMsgMonitorHeaderBytes - senderLen - receiverLen;
  out->type = word(p + 4);
  out->sequence = word(p + 8);
  out->bytes = word(p + 12);
  // More payload than the message has, or a cut one that is not at the cap,
  // is no record of ours.
  if (copied > out->bytes || (copied < out->bytes && copied != kMsgMonitorMaxCopy)) return false;
  memcpy(&out->timeNs, p + 16, sizeof out->timeNs);
  out->dropped = word(p + 24);
  const char* names = reinterpret_cast<const char*>(p + kMsgMonitorHeaderBytes);
  out->sender.assign(names, senderLen);
  out->receiver.assign(names + senderLen, receiverLen);
  const uint8_t* body = p + kMsgMonitorHeaderBytes + senderLen + receiverLen;
  out->payload.assign(body, body + copied);
  return true;
}

namespace {

// Removes the sockets of monitors that ended without removing them (killed):
// every endpoint opened later would try each one once.
void sweepDeadMonitors(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  while (const struct dirent* e = readdir(d)) {
    std::string path = dir + "/" + e->d_name;
    struct sockaddr_un sa;
    if (!isMonitorName(e->d_name) || !msgFillAddress(path, &sa)) continue;
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<struct sockaddr*>(&sa), sizeof sa) != 0 && errno == ECONNREFUSED) {
      unlink(path.c_str());
    }
    if (fd >= 0) close(fd);
  }
  closedir(d);
}

}  // namespace

int msgMonitorListen(const std::string& dir, std::string* path, std::string* error) {
  if (msgEnsureDir(dir) != 0) {
    *error = "cannot create the endpoint directory " + dir;
    return -1;
  }
  sweepDeadMonitors(dir);
  // Set up under a name the endpoints ignore, then renamed: nobody finds a
  // monitor that does not accept yet.
  std::string pid = std::to_string(getpid());
  std::string temp = dir + "/.m" + pid;
  *path = dir + "/" + kMsgMonitorPrefix + pid;
  struct sockaddr_un sa;
  if (!msgFillAddress(*path, &sa) || !msgFillAddress(temp, &sa)) {
    *error = "socket path " + *path + " is too long";
    return -1;
  }
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  unlink(temp.c_str());
  if (fd < 0 || bind(fd, reinterpret_cast<struct sockaddr*>(&sa), sizeof sa) != 0 ||
      chmod(temp.c_str(), 0660) != 0 || listen(fd, SOMAXCONN) != 0 || rename(temp.c_str(), path->c_str()) != 0) {
    *error = "cannot set up " + *path + ": " + strerror(errno);
    if (fd >= 0) close(fd);
    unlink(temp.c_str());
    return -1;
  }
  return fd;
}

void msgMonitorScan(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  while (const struct dirent* e = readdir(d)) {
    if (isMonitorName(e->d_name)) addLink(dir, e->d_name);
  }
  closedir(d);
}

bool msgMonitorAppeared(const std::string& dir, const char* name) {
  if (!isMonitorName(name)) return false;
  addLink(dir, name);
  return true;
}

void msgMonitorCopy(const std::string& dir, const std::string& receiver, const MsgFrameHead& head,
                    const void* payload, size_t bytes) {
  if (gLive.load(std::memory_order_relaxed) == 0) return;
  uint16_t kind;
  memcpy(&kind, head.bytes + 4, sizeof kind);
  if (kind != kMsgFrameData || head.size <= kMsgFrameHeaderBytes) return;
  uint8_t hdr[kMsgMonitorHeaderBytes] = {};
  uint32_t magic = kRecordMagic;
  uint32_t total = static_cast<uint32_t>(bytes);
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  uint64_t ns = static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
  memcpy(hdr, &magic, 4);
  memcpy(hdr + 4, head.bytes + 8, 8);  // type and sequence, as framed
  memcpy(hdr + 12, &total, 4);
  memcpy(hdr + 16, &ns, 8);
  size_t senderLen = head.size - kMsgFrameHeaderBytes;
  hdr[28] = static_cast<uint8_t>(senderLen);
  hdr[29] = static_cast<uint8_t>(receiver.size());
  size_t copied = bytes < kMsgMonitorMaxCopy ? bytes : kMsgMonitorMaxCopy;
  struct iovec iov[4] = {{hdr, sizeof hdr},
                         {const_cast<char*>(head.bytes + kMsgFrameHeaderBytes), senderLen},
                         {const_cast<char*>(receiver.data()), receiver.size()},
                         {const_cast<void*>(payload), copied}};
  struct msghdr mh;
  memset(&mh, 0, sizeof mh);
  mh.msg_iov = iov;
  mh.msg_iovlen = 4;
  std::lock_guard<std::mutex> g(gLinksLock);
  for (auto it = gLinks.begin(); it != gLinks.end();) {
    MonitorLink& l = *it;
    ConnectResult state = kConnected;
    if (l.dir != dir || l.refused) {
      ++it;
      continue;
    }
    if (l.fd < 0) state = connectLink(l);
    if (state == kConnected) {
      memcpy(hdr + 24, &l.dropped, 4);
      ssize_t n;
      do {
        n = sendmsg(l.fd, &mh, MSG_DONTWAIT | MSG_NOSIGNAL);
      } while (n < 0 && errno == EINTR);
      if (n >= 0) {
        // Counted from the last record that got through.
      } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) {
        ++l.dropped;
      } else {
        state = kGone;
      }
    } else if (state == kBusy && !l.refused) {
      ++l.dropped;
    }
    if (state == kGone) {
      if (l.fd >= 0) close(l.fd);
      it = gLinks.erase(it);
    } else {
      ++it;
    }
  }
  countLive();
}
