#include "platform/msg/msgSocket.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include "platform/msg/msgDatagram.h"
#include "platform/msg/msgInternal.h"

namespace {

const char kMsgDeviceSocketDir[] = "/dev/socket/msglayer";
constexpr size_t kMsgMaxPath = sizeof(((struct sockaddr_un*)nullptr)->sun_path) - 1;

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int remainingMs(MsgClock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - MsgClock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

}  // namespace

std::string msgSocketDir() {
  const char* env = getenv("MSG_SOCKET_DIR");
  return (env != nullptr && env[0] != '\0') ? std::string(env) : std::string(kMsgDeviceSocketDir);
}

namespace {

int ensureOneDir(const std::string& dir) {
  if (mkdir(dir.c_str(), 0770) == 0) {
    // mkdir applies the umask; the group must keep its access.
    chmod(dir.c_str(), 0770);
    return 0;
  }
  struct stat st;
  if (errno == EEXIST && stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return 0;
  msgLog("cannot create socket directory %s: %s", dir.c_str(), strerror(errno));
  return -1;
}

}  // namespace

int msgEnsureDir(const std::string& dir) {
  if (ensureOneDir(dir) != 0 || ensureOneDir(msgDatagramDir(dir)) != 0) return -1;
  msgSweepDatagrams(dir);
  return 0;
}

std::string msgEscapeName(const std::string& name) {
  if (name.empty() || name.size() > kMsgMaxNameBytes) return std::string();
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (c == '%') {
      out += "%25";
    } else if (c == '/') {
      out += "%2F";
    } else if (c == '.' && i == 0) {
      out += "%2E";
    } else {
      out += c;
    }
  }
  return out;
}

bool msgUnescapeName(const std::string& file, std::string* name) {
  if (file.empty() || file[0] == '.') return false;
  std::string out;
  for (size_t i = 0; i < file.size(); ++i) {
    if (file[i] != '%') {
      out += file[i];
      continue;
    }
    if (i + 2 >= file.size()) return false;
    int hi = hexValue(file[i + 1]);
    int lo = hexValue(file[i + 2]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  // Only what msgEscapeName produces names an endpoint.
  if (msgEscapeName(out) != file) return false;
  *name = out;
  return true;
}

bool msgSocketPath(const std::string& dir, const std::string& name, std::string* path) {
  std::string file = msgEscapeName(name);
  if (file.empty()) {
    msgLog("invalid endpoint name \"%s\"", name.c_str());
    return false;
  }
  std::string p = dir + "/" + file;
  if (p.size() > kMsgMaxPath) {
    msgLog("socket path %s is %zu bytes, longer than the %zu a socket address holds", p.c_str(), p.size(),
           kMsgMaxPath);
    return false;
  }
  *path = p;
  return true;
}

namespace {

// A socket bound and listening under a hidden temporary name.
struct MsgTempSocket {
  int fd = -1;
  std::string path;
  void discard() {
    if (fd >= 0) close(fd);
    unlink(path.c_str());
    fd = -1;
  }
};

// An endpoint whose file was removed while it lived (its directory wiped,
// say) keeps its datagram name, and a new file may get the same inode
// number. A temporary socket whose name is taken is kept aside until the
// end, so that the next one gets another inode; this many tries.
constexpr int kMsgBindTries = 8;

bool tempSocket(const std::string& dir, MsgTempSocket* t, struct stat* st) {
  static std::atomic<unsigned> counter{0};
  t->path = dir + "/.t" + std::to_string(getpid()) + "." + std::to_string(counter++);
  struct sockaddr_un sa;
  if (!msgFillAddress(t->path, &sa)) {
    msgLog("socket path %s is longer than the %zu bytes a socket address holds", t->path.c_str(), kMsgMaxPath);
    return false;
  }
  t->fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (t->fd < 0) {
    msgLog("socket: %s", strerror(errno));
    return false;
  }
  unlink(t->path.c_str());
  if (bind(t->fd, reinterpret_cast<struct sockaddr*>(&sa), sizeof sa) != 0 || chmod(t->path.c_str(), 0660) != 0 ||
      listen(t->fd, SOMAXCONN) != 0 || stat(t->path.c_str(), st) != 0) {
    msgLog("cannot set up socket %s: %s", t->path.c_str(), strerror(errno));
    t->discard();
    return false;
  }
  return true;
}

}  // namespace

int msgListen(const std::string& dir, const std::string& path, int* dgramFd, dev_t* dev, ino_t* ino) {
  std::vector<MsgTempSocket> aside;
  MsgTempSocket t;
  struct stat st;
  int dg = -1;
  for (int i = 0; i < kMsgBindTries && dg < 0; ++i) {
    if (!tempSocket(dir, &t, &st)) break;
    // The file keeps its identity through the rename, so the datagram name
    // is known before anyone can find the endpoint.
    dg = msgBindDatagram(dir, st.st_ino);
    if (dg < 0) {
      int e = errno;
      aside.push_back(t);
      t = MsgTempSocket();
      if (e != EADDRINUSE) {
        msgLog("cannot set up the datagram socket of %s: %s", path.c_str(), strerror(e));
        break;
      }
    }
  }
  for (MsgTempSocket& a : aside) a.discard();
  if (dg < 0) {
    if (t.fd < 0 && aside.size() == static_cast<size_t>(kMsgBindTries)) {
      msgLog("cannot set up the datagram socket of %s: every name tried is taken", path.c_str());
    }
    return -1;
  }
  int probe = msgConnect(path);
  if (probe >= 0) {
    close(probe);
    msgLog("endpoint socket %s is in use by a running process", path.c_str());
  } else if (rename(t.path.c_str(), path.c_str()) != 0) {
    msgLog("cannot publish socket %s: %s", path.c_str(), strerror(errno));
  } else {
    *dgramFd = dg;
    *dev = st.st_dev;
    *ino = st.st_ino;
    return t.fd;
  }
  close(dg);
  unlink(msgDatagramPath(dir, st.st_ino).c_str());
  t.discard();
  return -1;
}

int msgConnect(const std::string& path) {
  struct sockaddr_un sa;
  if (!msgFillAddress(path, &sa)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  // A blocking connect waits only while the peer's backlog is full; the send
  // time-out bounds that wait.
  struct timeval tv = {kMsgSendTimeoutMs / 1000, 0};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  if (connect(fd, reinterpret_cast<struct sockaddr*>(&sa), sizeof sa) != 0) {
    int e = errno;
    close(fd);
    errno = e;
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  return fd;
}

bool msgPeerAllowed(int fd, pid_t* pid) {
  struct ucred cred;
  socklen_t len = sizeof cred;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) {
    msgLog("cannot read peer credentials: %s; dropping the connection", strerror(errno));
    return false;
  }
  *pid = cred.pid;
  if (msgCredsAllowed(cred)) return true;
  msgLog("refusing connection from pid %d uid %u gid %u", static_cast<int>(cred.pid), static_cast<unsigned>(cred.uid),
         static_cast<unsigned>(cred.gid));
  return false;
}

bool msgWriteAll(int fd, const struct iovec* iov, int iovcnt, MsgClock::time_point deadline, size_t* written) {
  struct iovec vec[4];
  if (iovcnt > 4) iovcnt = 4;
  memcpy(vec, iov, sizeof(struct iovec) * iovcnt);
  int first = 0;
  *written = 0;
  while (first < iovcnt) {
    if (vec[first].iov_len == 0) {
      ++first;
      continue;
    }
    struct msghdr mh;
    memset(&mh, 0, sizeof mh);
    mh.msg_iov = vec + first;
    mh.msg_iovlen = iovcnt - first;
    ssize_t n = sendmsg(fd, &mh, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
      struct pollfd p = {fd, POLLOUT, 0};
      int left = remainingMs(deadline);
      if (left == 0) {
        errno = ETIMEDOUT;
        return false;
      }
      if (poll(&p, 1, left) < 0 && errno != EINTR) return false;
      continue;
    }
    *written += static_cast<size_t>(n);
    size_t done = static_cast<size_t>(n);
    while (first < iovcnt && done >= vec[first].iov_len) {
      done -= vec[first].iov_len;
      ++first;
    }
    if (first < iovcnt) {
      vec[first].iov_base = static_cast<char*>(vec[first].iov_base) + done;
      vec[first].iov_len -= done;
    }
  }
  return true;
}

bool msgFillAddress(const std::string& path, struct sockaddr_un* sa) {
  if (path.size() > kMsgMaxPath) return false;
  memset(sa, 0, sizeof *sa);
  sa->sun_family = AF_UNIX;
  memcpy(sa->sun_path, path.c_str(), path.size());
  return true;
}
