#include "platform/msg/msgDatagram.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/msg/msgInternal.h"

namespace {

// The datagram sockets live in this subdirectory of the socket directory.
const char kMsgDatagramDir[] = "/.d";

bool datagramAddress(const std::string& dir, ino_t ino, struct sockaddr_un* sa) {
  std::string path = msgDatagramPath(dir, ino);
  memset(sa, 0, sizeof *sa);
  sa->sun_family = AF_UNIX;
  if (path.size() >= sizeof sa->sun_path) {
    errno = ENAMETOOLONG;
    return false;
  }
  memcpy(sa->sun_path, path.c_str(), path.size());
  return true;
}

// Nobody is bound at `sa` any more: the file of a process that died.
bool datagramStale(const struct sockaddr_un& sa) {
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool stale = connect(fd, reinterpret_cast<const struct sockaddr*>(&sa), sizeof sa) != 0 && errno == ECONNREFUSED;
  close(fd);
  return stale;
}

}  // namespace

std::string msgDatagramDir(const std::string& dir) { return dir + kMsgDatagramDir; }

std::string msgDatagramPath(const std::string& dir, ino_t ino) {
  char name[24];
  snprintf(name, sizeof name, "/%llx", static_cast<unsigned long long>(ino));
  return msgDatagramDir(dir) + name;
}

int msgBindDatagram(const std::string& dir, ino_t ino) {
  struct sockaddr_un sa;
  if (!datagramAddress(dir, ino, &sa)) return -1;
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  // Credentials are asked for before the name exists: no datagram can come
  // in without them. The file is made for owner and group only.
  bool ok = setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &one, sizeof one) == 0 && fchmod(fd, 0660) == 0;
  if (ok && bind(fd, reinterpret_cast<struct sockaddr*>(&sa), sizeof sa) != 0) {
    // A process that died without closing its endpoint left its file;
    // nobody receives there, so the name is free again.
    if (errno != EADDRINUSE) {
      ok = false;
    } else if (!datagramStale(sa)) {
      ok = false;
      errno = EADDRINUSE;
    } else {
      ok = unlink(sa.sun_path) == 0 && bind(fd, reinterpret_cast<struct sockaddr*>(&sa), sizeof sa) == 0;
    }
  }
  // bind applies the umask; the group must keep its access.
  if (!ok || chmod(sa.sun_path, 0660) != 0) {
    int e = errno;
    close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

void msgSweepDatagrams(const std::string& dir) {
  const std::string where = msgDatagramDir(dir);
  DIR* d = opendir(where.c_str());
  if (d == nullptr) return;
  struct sockaddr_un sa;
  memset(&sa, 0, sizeof sa);
  sa.sun_family = AF_UNIX;
  for (struct dirent* e = readdir(d); e != nullptr; e = readdir(d)) {
    const std::string path = where + "/" + e->d_name;
    if (e->d_name[0] == '.' || path.size() >= sizeof sa.sun_path) continue;
    memcpy(sa.sun_path, path.c_str(), path.size() + 1);
    if (datagramStale(sa)) unlink(sa.sun_path);
  }
  closedir(d);
}

int msgConnectDatagram(const std::string& dir, ino_t ino) {
  struct sockaddr_un sa;
  if (!datagramAddress(dir, ino, &sa)) return -1;
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  // A receiver whose queue is full holds the sender at most this long.
  struct timeval tv = {kMsgSendTimeoutMs / 1000, (kMsgSendTimeoutMs % 1000) * 1000};
  if (setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) != 0 ||
      connect(fd, reinterpret_cast<struct sockaddr*>(&sa), sizeof sa) != 0) {
    int e = errno;
    close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

int msgRecvDatagrams(int fd, uint8_t* buf, size_t n, MsgDatagramIn out[kMsgDatagramBatch]) {
  struct iovec iov[kMsgDatagramBatch];
  alignas(struct cmsghdr) char control[kMsgDatagramBatch][CMSG_SPACE(sizeof(struct ucred))];
  struct mmsghdr mm[kMsgDatagramBatch];
  memset(mm, 0, sizeof mm);
  for (int i = 0; i < kMsgDatagramBatch; ++i) {
    iov[i] = {buf + static_cast<size_t>(i) * (n + 1), n};
    mm[i].msg_hdr.msg_iov = &iov[i];
    mm[i].msg_hdr.msg_iovlen = 1;
    mm[i].msg_hdr.msg_control = control[i];
    mm[i].msg_hdr.msg_controllen = sizeof control[i];
  }
  int got = recvmmsg(fd, mm, kMsgDatagramBatch, MSG_DONTWAIT | MSG_CMSG_CLOEXEC, nullptr);
  for (int i = 0; i < got; ++i) {
    struct msghdr& mh = mm[i].msg_hdr;
    MsgDatagramIn& d = out[i];
    d.bytes = mm[i].msg_len;
    // A datagram cut short is not a frame; the parser refuses it by its size.
    if (mh.msg_flags & MSG_TRUNC) d.bytes = n + 1;
    d.cred.pid = 0;
    d.cred.uid = static_cast<uid_t>(-1);
    d.cred.gid = static_cast<gid_t>(-1);
    for (struct cmsghdr* c = CMSG_FIRSTHDR(&mh); c != nullptr; c = CMSG_NXTHDR(&mh, c)) {
      if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_CREDENTIALS && c->cmsg_len == CMSG_LEN(sizeof d.cred)) {
        memcpy(&d.cred, CMSG_DATA(c), sizeof d.cred);
      }
    }
  }
  return got;
}

bool msgCredsAllowed(const struct ucred& cred) {
  // Read once: a system call per message would cost a tenth of a round trip.
  static const uid_t uid = getuid();
  static const gid_t gid = getgid();
  return cred.uid == uid || cred.gid == gid;
}
