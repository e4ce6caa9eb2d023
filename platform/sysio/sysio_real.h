// The seam on the device: every call is the literal system call or library
// function on the literal path, except that every descriptor it opens
// (open, fopen, popen) is close-on-exec: the daemon runs many commands and
// none of them may hold its files, devices or pipes open.
//
// Properties: on Android the property area (__system_property_get/_set).
// Elsewhere those functions do not exist, and the file-backed store of
// platform/props stands in, in the directory named by the environment
// variable SYSSRV_PROP_DIR (default "/data/property"), read once at
// construction.
#pragma once

#include "platform/sysio/sysio.h"

class RealSysIo : public SysIo {
 public:
  RealSysIo();

  std::string path(const std::string& abs) const override { return abs; }

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

  // The property store directory in use off-device.
  const std::string& prop_dir() const { return m_propDir; }

 private:
  std::string m_propDir;
};

// Names of the entries of the real directory `dir` (shared with the
// sandbox); false when it cannot be opened.
bool sysio_list_real_dir(const std::string& dir, std::vector<std::string>* names);
// readlink(2) of the real path `real`, whatever the target's length.
int sysio_readlink_real(const std::string& real, std::string* target);
// nanosleep until `us` microseconds have passed, across signal interrupts.
void sysio_real_sleep_us(uint64_t us);
// `mode` of fopen/popen with "e" added: the stream's descriptor is closed
// on exec, so that no command the daemon runs inherits it.
std::string sysio_cloexec_mode(const char* mode);
