#include "platform/sysio/sysio_sandbox.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/rtc.h>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/props/props.h"
#include "platform/sysio/sysio_paths.h"
#include "platform/sysio/sysio_real.h"
#include "platform/sysio/sysio_secrets.h"
#include "platform/sysio/sysio_spawn.h"
#include "platform/sysio/sysio_zone.h"

extern char** environ;

namespace {

// popen streams handed out, with the child behind each; pclose reaps it.
std::mutex gSandboxPipesMu;
std::map<FILE*, pid_t> gSandboxPipes;

void sandbox_make_dirs(const std::string& real) {
  for (size_t i = 1; i <= real.size(); ++i) {
    if (i == real.size() || real[i] == '/') ::mkdir(real.substr(0, i).c_str(), 0755);
  }
}

bool sandbox_is_blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// What the kernel of the simulation's network namespace provides: the
// carrier, speed and duplex of its interfaces and its IPv6 tables. These
// paths are read where they are, never from pre-made files under the root.
const char* const kSandboxKernelPaths[] = {"/sys/class/net", "/proc/net"};

// Sealed, the simulation's PID namespace has its own /proc: the listing and
// "/proc/<pid>/..." show its processes. The appliance's other /proc entries
// ("/proc/stat", "/proc/crvl_ir_fltr", ...) stay stand-ins under the root.
bool sandbox_is_process_path(const std::string& plain) {
  if (plain == "/proc") return true;
  if (plain.compare(0, 6, "/proc/") != 0) return false;
  size_t i = 6;
  while (i < plain.size() && plain[i] >= '0' && plain[i] <= '9') ++i;
  return i > 6 && (i == plain.size() || plain[i] == '/');
}

// Children the unsealed seam started and has not reaped: the only pids it
// signals, since every other one is a process of this machine.
std::mutex gSandboxChildrenMu;
std::set<pid_t> gSandboxChildren;

void sandbox_child_started(pid_t pid) {
  if (pid <= 0) return;
  std::lock_guard<std::mutex> lock(gSandboxChildrenMu);
  gSandboxChildren.insert(pid);
}

void sandbox_child_reaped(pid_t pid) {
  std::lock_guard<std::mutex> lock(gSandboxChildrenMu);
  gSandboxChildren.erase(pid);
}

bool sandbox_is_child(pid_t pid) {
  std::lock_guard<std::mutex> lock(gSandboxChildrenMu);
  return gSandboxChildren.count(pid) != 0;
}

}  // namespace

bool sysio_sandbox_sealed() {
  const char* env = std::getenv("SYSSRV_SEALED");
  return env != nullptr && std::strcmp(env, "1") == 0;
}

std::string sysio_journal_line(const std::string& cmd) {
  std::string out;
  out.reserve(cmd.size() + 1);
  for (char c : cmd) {
    if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

SandboxSysIo::SandboxSysIo(const std::string& root) : SandboxSysIo(root, sysio_sandbox_sealed()) {}

SandboxSysIo::SandboxSysIo(const std::string& root, bool sealed) : m_root(root), m_sealed(sealed) {
  if (m_root.empty()) {
    const char* env = std::getenv("SYSSRV_ROOT");
    if (env) m_root = env;
  }
  if (m_root.empty()) throw std::invalid_argument("SandboxSysIo: no root (set SYSSRV_ROOT)");
  while (m_root.size() > 1 && m_root.back() == '/') m_root.pop_back();

  // The children's environment: ours, with the sandbox's search path and
  // locations replacing whatever the caller had.
  const std::string path = "PATH=" + m_root + "/system/bin:" + m_root + "/opt/corvale/bin:" +
                           m_root + "/sim/bin:/usr/bin:/bin";
  for (char** e = environ; e && *e; ++e) {
    if (std::strncmp(*e, "PATH=", 5) == 0 || std::strncmp(*e, "SYSSRV_ROOT=", 12) == 0 ||
        std::strncmp(*e, "SYSSRV_PROP_DIR=", 16) == 0)
      continue;
    m_env.push_back(*e);
  }
  m_env.push_back(path);
  m_env.push_back("SYSSRV_ROOT=" + m_root);
  m_env.push_back("SYSSRV_PROP_DIR=" + m_root + "/data/property");
}

std::string SandboxSysIo::journal_path() const { return m_root + "/var/journal/commands.log"; }

std::string SandboxSysIo::path(const std::string& abs) const {
  // Resolved first, so no ".." leads from a kernel path anywhere else.
  const std::string plain = sysio_map_under_root("", abs);
  for (const char* k : kSandboxKernelPaths) {
    const size_t n = std::strlen(k);
    if (plain.compare(0, n, k) == 0 && (plain.size() == n || plain[n] == '/')) return plain;
  }
  if (m_sealed && sandbox_is_process_path(plain)) return plain;
  return sysio_map_under_root(m_root, abs);
}

void SandboxSysIo::journal(const std::string& cmd) {
  const std::string line = sysio_journal_line(cmd) + "\n";
  const std::string file = journal_path();
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0 && errno == ENOENT) {
    sandbox_make_dirs(m_root + "/var/journal");
    fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  }
  if (fd < 0) return;
  // One write, so lines of concurrent writers never interleave.
  ssize_t w = ::write(fd, line.data(), line.size());
  (void)w;
  ::close(fd);
}

std::string SandboxSysIo::map_first_word(const std::string& cmd) const {
  size_t start = 0;
  while (start < cmd.size() && sandbox_is_blank(cmd[start])) ++start;
  if (start >= cmd.size() || cmd[start] != '/') return cmd;
  size_t end = start;
  while (end < cmd.size() && !sandbox_is_blank(cmd[end]) && cmd[end] != ';' && cmd[end] != '&' &&
         cmd[end] != '|' && cmd[end] != '>' && cmd[end] != '<')
    ++end;
  return cmd.substr(0, start) + path(cmd.substr(start, end - start)) + cmd.substr(end);
}

int SandboxSysIo::system(const std::string& cmd) {
  journal(sysio_mask_command(cmd));
  return sysio_system_wait(map_first_word(cmd), &m_env);
}

FILE* SandboxSysIo::popen(const std::string& cmd, const char* mode) {
  journal(sysio_mask_command(cmd));
  if (!mode || (mode[0] != 'r' && mode[0] != 'w')) {
    errno = EINVAL;
    return nullptr;
  }
  const bool read = mode[0] == 'r';
  int fd = -1;
  pid_t pid = sysio_spawn_shell(map_first_word(cmd), &m_env, &fd, read);
  if (pid < 0) return nullptr;
  FILE* f = ::fdopen(fd, read ? "r" : "w");
  if (!f) {
    ::close(fd);
    int st;
    while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    return nullptr;
  }
  sandbox_child_started(pid);
  std::lock_guard<std::mutex> lock(gSandboxPipesMu);
  gSandboxPipes[f] = pid;
  return f;
}

int SandboxSysIo::pclose(FILE* f) {
  pid_t pid;
  {
    std::lock_guard<std::mutex> lock(gSandboxPipesMu);
    auto it = gSandboxPipes.find(f);
    if (it == gSandboxPipes.end()) {
      errno = ECHILD;
      return -1;
    }
    pid = it->second;
    gSandboxPipes.erase(it);
  }
  std::fclose(f);
  int st = 0;
  while (::waitpid(pid, &st, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  sandbox_child_reaped(pid);
  return st;
}

pid_t SandboxSysIo::fork_exec(const std::vector<std::string>& argv) {
  journal(sysio_mask_argv(argv));
  if (argv.empty()) {
    errno = EINVAL;
    return -1;
  }
  const std::string prog = argv[0].empty() || argv[0][0] != '/' ? argv[0] : path(argv[0]);
  const pid_t pid = sysio_spawn(prog, argv, &m_env);
  sandbox_child_started(pid);
  return pid;
}

pid_t SandboxSysIo::waitpid(pid_t pid, int* status, int options) {
  int st = 0;
  const pid_t rc = ::waitpid(pid, &st, options);
  if (rc > 0 && (WIFEXITED(st) || WIFSIGNALED(st))) sandbox_child_reaped(rc);
  if (rc > 0 && status != nullptr) *status = st;
  return rc;
}

int SandboxSysIo::kill(pid_t pid, int sig) {
  // A pid the daemon computed wrongly must not reach this machine's
  // process groups.
  if (pid <= 0 || (!m_sealed && !sandbox_is_child(pid))) {
    errno = EPERM;
    return -1;
  }
  return ::kill(pid, sig);
}

int SandboxSysIo::open(const std::string& abs, int flags, mode_t mode) {
  return ::open(path(abs).c_str(), flags | O_CLOEXEC, mode);
}

FILE* SandboxSysIo::fopen(const std::string& abs, const char* mode) {
  return ::fopen(path(abs).c_str(), sysio_cloexec_mode(mode).c_str());
}

int SandboxSysIo::ioctl(int fd, unsigned long request, void* arg) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return -1;
  if (!S_ISREG(st.st_mode)) return ::ioctl(fd, request, arg);
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char buf[4096];
  ssize_t n = ::readlink(link, buf, sizeof buf - 1);
  std::string where = n > 0 ? std::string(buf, static_cast<size_t>(n)) : "?";
  if (where.compare(0, m_root.size() + 1, m_root + "/") == 0) where.erase(0, m_root.size());
  char req[32];
  std::snprintf(req, sizeof req, "0x%lx", request);
  journal("ioctl " + where + " " + req);
  // The stand-in of a hardware clock keeps every date it was given, decoded,
  // so that a transcript shows the date and not 36 bytes.
  if (request == RTC_SET_TIME && arg != nullptr && n > 0) {
    const rtc_time* tm = static_cast<const rtc_time*>(arg);
    char line[96];
    const int len = std::snprintf(line, sizeof line, "rtc set %04d-%02d-%02d %02d:%02d:%02d UTC\n",
                                  tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday, tm->tm_hour, tm->tm_min,
                                  tm->tm_sec);
    const int fd2 = ::open(std::string(buf, static_cast<size_t>(n)).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd2 >= 0) {
      ssize_t w = ::write(fd2, line, static_cast<size_t>(len));
      (void)w;
      ::close(fd2);
    }
  }
  return 0;
}

int SandboxSysIo::unlink(const std::string& abs) { return ::unlink(path(abs).c_str()); }

int SandboxSysIo::rename(const std::string& from, const std::string& to) {
  return ::rename(path(from).c_str(), path(to).c_str());
}

int SandboxSysIo::mkdir(const std::string& abs, mode_t mode) {
  return ::mkdir(path(abs).c_str(), mode);
}

int SandboxSysIo::access(const std::string& abs, int how) {
  return ::access(path(abs).c_str(), how);
}

int SandboxSysIo::stat(const std::string& abs, struct stat* st) {
  return ::stat(path(abs).c_str(), st);
}

int SandboxSysIo::lstat(const std::string& abs, struct stat* st) {
  return ::lstat(path(abs).c_str(), st);
}

int SandboxSysIo::readlink(const std::string& abs, std::string* target) {
  return sysio_readlink_real(path(abs), target);
}

bool SandboxSysIo::list_dir(const std::string& abs, std::vector<std::string>* names) {
  return sysio_list_real_dir(path(abs), names);
}

int SandboxSysIo::property_get(const char* name, char* value) {
  return props_get(m_root + "/data/property", name, value);
}

int SandboxSysIo::property_set(const char* name, const char* value) {
  return props_set(m_root + "/data/property", name, value);
}

int SandboxSysIo::clock_gettime(clockid_t clk, struct timespec* ts) { return ::clock_gettime(clk, ts); }

int SandboxSysIo::clock_settime(clockid_t clk, const struct timespec* ts) {
  // Sealed, the kernel itself refuses: setting a clock needs CAP_SYS_TIME in
  // this machine's first user namespace, which the seal never has. Unsealed
  // the call would reach this machine's clock (as root), so it is refused
  // here the same way.
  if (m_sealed) return ::clock_settime(clk, ts);
  errno = EPERM;
  return -1;
}

time_t SandboxSysIo::time(time_t* out) {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  if (out) *out = ts.tv_sec;
  return ts.tv_sec;
}

void SandboxSysIo::sleep_us(uint64_t us) { sysio_real_sleep_us(us); }

int SandboxSysIo::local_time(time_t t, struct tm* out) {
  char zone[PROP_VALUE_MAX];
  property_get(kSysIoZoneProperty, zone);
  sysio_zone_local_time(kSysIoZoneDir, zone, t, out);
  return 0;
}
