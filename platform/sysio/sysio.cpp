#include "platform/sysio/sysio.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/sysio/sysio_real.h"

namespace {

// Installed from main or a test fixture before any other thread starts; the
// atomic only keeps a late reader (the timer thread) from seeing a torn
// pointer.
std::atomic<SysIo*> gSysIo{nullptr};
std::atomic<unsigned> gSysIoTmpSeq{0};

RealSysIo& sysio_real_instance() {
  static RealSysIo real;
  return real;
}

}  // namespace

SysIo& sysio() {
  SysIo* io = gSysIo.load(std::memory_order_acquire);
  return io ? *io : sysio_real_instance();
}

void sysio_install(SysIo* io) { gSysIo.store(io, std::memory_order_release); }

bool sysio_read_file(const std::string& abs, std::string* out, size_t max) {
  out->clear();
  FILE* f = sysio().fopen(abs, "rb");
  if (!f) return false;
  char buf[4096];
  bool ok = true;
  while (out->size() < max) {
    size_t want = std::min(sizeof buf, max - out->size());
    size_t n = std::fread(buf, 1, want, f);
    out->append(buf, n);
    if (n < want) {
      ok = !std::ferror(f);
      break;
    }
  }
  std::fclose(f);
  return ok;
}

bool sysio_write_file_atomic(const std::string& abs, const std::string& bytes, mode_t mode) {
  SysIo& io = sysio();
  // Unique per process and call, so two writers of the same file never
  // share a temporary; a leftover from a crash is simply overwritten.
  const std::string tmp = abs + ".tmp." + std::to_string(::getpid()) + "." +
                          std::to_string(gSysIoTmpSeq.fetch_add(1));
  int fd = io.open(tmp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return false;
  // open() applies the umask; the file must carry the mode asked for.
  bool ok = ::fchmod(fd, mode) == 0;
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (ok && left > 0) {
    ssize_t w = ::write(fd, p, left);
    if (w < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += w;
    left -= static_cast<size_t>(w);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && io.rename(tmp, abs) == 0) return true;
  int saved = errno;
  io.unlink(tmp);
  errno = saved;
  return false;
}

bool sysio_write_attr(const std::string& abs, const std::string& bytes) {
  int fd = sysio().open(abs, O_WRONLY | O_TRUNC | O_CLOEXEC, 0);
  if (fd < 0) return false;
  ssize_t w;
  do {
    w = ::write(fd, bytes.data(), bytes.size());
  } while (w < 0 && errno == EINTR);
  int saved = w < 0 ? errno : EIO;
  bool ok = w >= 0 && static_cast<size_t>(w) == bytes.size();
  ::close(fd);
  if (!ok) errno = saved;
  return ok;
}
