#include "platform/sysio/sysio_real.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/sysio/sysio_spawn.h"

#ifdef __ANDROID__
#include <sys/system_properties.h>
#else
#include "platform/props/props.h"
#endif

bool sysio_list_real_dir(const std::string& dir, std::vector<std::string>* names) {
  names->clear();
  DIR* d = ::opendir(dir.c_str());
  if (!d) return false;
  while (struct dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    names->push_back(e->d_name);
  }
  ::closedir(d);
  return true;
}

int sysio_readlink_real(const std::string& real, std::string* target) {
  std::vector<char> buf(256);
  for (;;) {
    const ssize_t n = ::readlink(real.c_str(), buf.data(), buf.size());
    if (n < 0) return -1;
    // readlink(2) cuts a long target silently: a full buffer may be cut.
    if (static_cast<size_t>(n) < buf.size()) {
      target->assign(buf.data(), static_cast<size_t>(n));
      return static_cast<int>(n);
    }
    buf.resize(buf.size() * 2);
  }
}

void sysio_real_sleep_us(uint64_t us) {
  struct timespec left;
  left.tv_sec = static_cast<time_t>(us / 1000000u);
  left.tv_nsec = static_cast<long>((us % 1000000u) * 1000u);
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

std::string sysio_cloexec_mode(const char* mode) {
  std::string m = mode ? mode : "";
  if (m.find('e') == std::string::npos) m += 'e';
  return m;
}

RealSysIo::RealSysIo() {
  const char* dir = std::getenv("SYSSRV_PROP_DIR");
  m_propDir = (dir && *dir) ? dir : "/data/property";
}

int RealSysIo::system(const std::string& cmd) { return ::system(cmd.c_str()); }

FILE* RealSysIo::popen(const std::string& cmd, const char* mode) {
  return ::popen(cmd.c_str(), sysio_cloexec_mode(mode).c_str());
}

int RealSysIo::pclose(FILE* f) { return ::pclose(f); }

pid_t RealSysIo::fork_exec(const std::vector<std::string>& argv) {
  if (argv.empty()) return -1;
  return sysio_spawn(argv[0], argv, nullptr);
}

pid_t RealSysIo::waitpid(pid_t pid, int* status, int options) {
  return ::waitpid(pid, status, options);
}

int RealSysIo::kill(pid_t pid, int sig) { return ::kill(pid, sig); }

int RealSysIo::open(const std::string& abs, int flags, mode_t mode) {
  return ::open(abs.c_str(), flags | O_CLOEXEC, mode);
}

FILE* RealSysIo::fopen(const std::string& abs, const char* mode) {
  return ::fopen(abs.c_str(), sysio_cloexec_mode(mode).c_str());
}

int RealSysIo::ioctl(int fd, unsigned long request, void* arg) {
  return ::ioctl(fd, request, arg);
}

int RealSysIo::unlink(const std::string& abs) { return ::unlink(abs.c_str()); }

int RealSysIo::rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str());
}

int RealSysIo::mkdir(const std::string& abs, mode_t mode) { return ::mkdir(abs.c_str(), mode); }

int RealSysIo::access(const std::string& abs, int how) { return ::access(abs.c_str(), how); }

int RealSysIo::stat(const std::string& abs, struct stat* st) { return ::stat(abs.c_str(), st); }

int RealSysIo::lstat(const std::string& abs, struct stat* st) { return ::lstat(abs.c_str(), st); }

int RealSysIo::readlink(const std::string& abs, std::string* target) {
  return sysio_readlink_real(abs, target);
}

bool RealSysIo::list_dir(const std::string& abs, std::vector<std::string>* names) {
  return sysio_list_real_dir(abs, names);
}

#ifdef __ANDROID__
int RealSysIo::property_get(const char* name, char* value) {
  return __system_property_get(name, value);
}
int RealSysIo::property_set(const char* name, const char* value) {
  return __system_property_set(name, value);
}
#else
int RealSysIo::property_get(const char* name, char* value) {
  return props_get(m_propDir, name, value);
}
int RealSysIo::property_set(const char* name, const char* value) {
  return props_set(m_propDir, name, value);
}
#endif

int RealSysIo::clock_gettime(clockid_t clk, struct timespec* ts) {
  return ::clock_gettime(clk, ts);
}

int RealSysIo::clock_settime(clockid_t clk, const struct timespec* ts) {
  return ::clock_settime(clk, ts);
}

time_t RealSysIo::time(time_t* out) { return ::time(out); }

void RealSysIo::sleep_us(uint64_t us) { sysio_real_sleep_us(us); }

// The C library takes the zone from the same property the simulation reads.
int RealSysIo::local_time(time_t t, struct tm* out) { return ::localtime_r(&t, out) ? 0 : -1; }
