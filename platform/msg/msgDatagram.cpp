#include "platform/msg/msgDatagram.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/un.h>
#include <unistd.h>

#include "platform/msg/msgInternal.h"

namespace {

// "\0msglayer:<dev>:<ino>" in hex: short whatever the endpoint's name.
socklen_t datagramAddress(dev_t dev, ino_t ino, struct sockaddr_un* sa) {
  memset(sa, 0, sizeof *sa);
  sa->sun_family = AF_UNIX;
  int n = snprintf(sa->sun_path + 1, sizeof sa->sun_path - 1, "msglayer:%llx:%llx", static_cast<unsigned long long>(dev),
                   static_cast<unsigned long long>(ino));
  return static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) + 1 + n);
}

}  // namespace

int msgBindDatagram(dev_t dev, ino_t ino) {
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  struct sockaddr_un sa;
  socklen_t len = datagramAddress(dev, ino, &sa);
  // Credentials are asked for before the name exists: no datagram can come
  // in without them.
  if (setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &one, sizeof one) != 0 ||
      bind(fd, reinterpret_cast<struct sockaddr*>(&sa), len) != 0) {
    int e = errno;
    close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

int msgConnectDatagram(dev_t dev, ino_t ino) {
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  // A receiver whose queue is full holds the sender at most this long.
  struct timeval tv = {kMsgSendTimeoutMs / 1000, (kMsgSendTimeoutMs % 1000) * 1000};
  struct sockaddr_un sa;
  socklen_t len = datagramAddress(dev, ino, &sa);
  if (setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) != 0 ||
      connect(fd, reinterpret_cast<struct sockaddr*>(&sa), len) != 0) {
    int e = errno;
    close(fd);
    errno = e;
    return -1;
  }
  return fd;
}

bool msgSetRecvTimeout(int fd, long us) {
  struct timeval tv = {static_cast<time_t>(us / 1000000), static_cast<suseconds_t>(us % 1000000)};
  return setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

ssize_t msgRecvDatagram(int fd, uint8_t* buf, size_t n, int flags, struct ucred* cred) {
  struct iovec iov = {buf, n};
  alignas(struct cmsghdr) char control[CMSG_SPACE(sizeof(struct ucred))];
  struct msghdr mh;
  memset(&mh, 0, sizeof mh);
  mh.msg_iov = &iov;
  mh.msg_iovlen = 1;
  mh.msg_control = control;
  mh.msg_controllen = sizeof control;
  ssize_t got = recvmsg(fd, &mh, flags | MSG_CMSG_CLOEXEC);
  cred->pid = 0;
  cred->uid = static_cast<uid_t>(-1);
  cred->gid = static_cast<gid_t>(-1);
  if (got < 0) return got;
  // A datagram cut short is not a frame; the parser refuses it by its size.
  if (mh.msg_flags & MSG_TRUNC) got = static_cast<ssize_t>(n) + 1;
  for (struct cmsghdr* c = CMSG_FIRSTHDR(&mh); c != nullptr; c = CMSG_NXTHDR(&mh, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_CREDENTIALS && c->cmsg_len == CMSG_LEN(sizeof *cred)) {
      memcpy(cred, CMSG_DATA(c), sizeof *cred);
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
