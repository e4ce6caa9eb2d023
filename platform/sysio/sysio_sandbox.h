// The seam for the host simulation: the appliance's file system lives under
// a sandbox root, its scripts and daemons are stand-ins under that root.
//
// - Root: the constructor argument, else the environment variable
//   SYSSRV_ROOT (construction fails with std::invalid_argument without one).
// - Paths: path(abs) = <root><abs> (lexically normalised, never outside),
//   except under /sys/class/net and /proc/net: those are the kernel's own
//   files (lexically normalised), so that in the sealed simulation the
//   daemon reads the carrier and IPv6 tables of its network namespace.
//   Sealed (SYSSRV_SEALED=1 at construction, or as the caller says), "/proc"
//   and "/proc/<digits>/..." are the kernel's too: the PID namespace's own
//   processes; the appliance's other /proc entries stay under the root.
// - Signals: kill refuses pid <= 0. Sealed it signals any other pid (only
//   the namespace's processes exist); unsealed only the children this seam
//   started and has not reaped, as every other pid is this machine's.
// - Commands: every command line (system, popen, and fork_exec's argv
//   joined with single blanks) is appended as one line to
//   "<root>/var/journal/commands.log" before it runs. The journal is opened
//   with O_APPEND and each line is one write, so the daemon, its children
//   and the tests can share it. A newline inside a command is written as
//   the two characters "\n" (backslash, n), so one line is always one
//   command; every other byte, backslashes included, is written as is,
//   except the words that carry a secret (sysio_secrets.h).
//   Commands run with /bin/sh -c in an environment where PATH is
//   "<root>/system/bin:<root>/opt/corvale/bin:<root>/sim/bin:/usr/bin:/bin"
//   and SYSSRV_ROOT and SYSSRV_PROP_DIR point into the sandbox; a command
//   whose first word is an absolute path runs that word mapped under the
//   root. fork_exec maps argv[0] the same way (argv[0] itself is passed as
//   the daemon wrote it).
// - Properties: the file store in "<root>/data/property".
// - Clocks: this machine's. clock_settime is the real call when sealed,
//   where the kernel refuses it (EPERM: the seal has no CAP_SYS_TIME over
//   this machine's clock); unsealed it is refused with EPERM without
//   trying. Local time is the zone of the property "persist.sys.timezone"
//   from this machine's zone files (sysio_zone.h).
// - ioctl on a regular file (the stand-in of a device node) is journalled as
//   "ioctl <appliance path> 0x<request in lower-case hex>" and returns 0;
//   on anything else it is passed to the device. RTC_SET_TIME on such a
//   file also appends "rtc set YYYY-MM-DD hh:mm:ss UTC\n" to it: the date
//   the hardware clock was given.
#pragma once

#include <string>
#include <vector>

#include "platform/sysio/sysio.h"

class SandboxSysIo : public SysIo {
 public:
  // Sealed as SYSSRV_SEALED says.
  explicit SandboxSysIo(const std::string& root = "");
  SandboxSysIo(const std::string& root, bool sealed);

  const std::string& root() const { return m_root; }
  // "<root>/var/journal/commands.log".
  std::string journal_path() const;

  std::string path(const std::string& abs) const override;
  int system(const std::string& cmd) override;
  FILE* popen(const std::string& cmd, const char* mode) override;
  int pclose(FILE* f) override;
  pid_t fork_exec(const std::vector<std::string>& argv) override;
  pid_t waitpid(pid_t pid, int* status, int options) override;
  int kill(pid_t pid, int sig) override;
  int open(const std::string& abs, int flags, mode_t mode = 0644) override;
  FILE* fopen(const std::string& abs, const char* mode) override;
  int ioctl(int fd, unsigned long request, void* arg) override;
  int unlink(const std::string& abs) override;
  int rename(const std::string& from, const std::string& to) override;
  int mkdir(const std::string& abs, mode_t mode) override;
  int access(const std::string& abs, int how) override;
  int stat(const std::string& abs, struct stat* st) override;
  int lstat(const std::string& abs, struct stat* st) override;
  int readlink(const std::string& abs, std::string* target) override;
  bool list_dir(const std::string& abs, std::vector<std::string>* names) override;
  int property_get(const char* name, char* value) override;
  int property_set(const char* name, const char* value) override;
  int clock_gettime(clockid_t clk, struct timespec* ts) override;
  int clock_settime(clockid_t clk, const struct timespec* ts) override;
  time_t time(time_t* out) override;
  void sleep_us(uint64_t us) override;
  int local_time(time_t t, struct tm* out) override;

 private:
  void journal(const std::string& line);
  std::string map_first_word(const std::string& cmd) const;

  std::string m_root;
  bool m_sealed;
  std::vector<std::string> m_env;
};

// True when SYSSRV_SEALED is "1": the simulation runs in its own namespaces.
bool sysio_sandbox_sealed();

// The journal line written for a command: `cmd` with each newline replaced
// by the two characters "\n".
std::string sysio_journal_line(const std::string& cmd);
