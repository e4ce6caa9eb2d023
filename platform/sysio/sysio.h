// The one seam between the daemon and the operating system.
//
// Every effect on the outside world goes through a SysIo: shell command
// lines, pipes, fork/exec, reaping, files by absolute path, ioctls on device
// files, Android properties, and clocks. Three implementations:
//   - RealSysIo (sysio_real.h): the literal calls and paths, used on the device;
//   - RecorderSysIo (sysio_recorder.h): records every command verbatim, serves
//     scripted results, maps absolute paths under a temporary root, runs
//     nothing; used by the unit tests;
//   - SandboxSysIo (sysio_sandbox.h): maps absolute paths under a sandbox
//     root, journals every command line and runs it through the stand-in
//     scripts under that root; used by the host simulation.
//
// The daemon is procedural, so the active implementation is installed once
// per process (main or test fixture) with sysio_install() and reached with
// sysio(); nothing else holds a pointer to it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>
#include <sys/types.h>

struct dirent;

// Buffer sizes of the property calls below, as the device defines them (both
// count the terminator); off-device these definitions stand in.
#ifndef PROP_NAME_MAX
#define PROP_NAME_MAX 32
#endif
#ifndef PROP_VALUE_MAX
#define PROP_VALUE_MAX 92
#endif

class SysIo {
 public:
  virtual ~SysIo() = default;

  // Where an absolute path of the appliance lives on this machine.
  virtual std::string path(const std::string& abs) const = 0;

  // ---- commands ----
  // Runs a shell command line; returns what system(3) returns.
  virtual int system(const std::string& cmd) = 0;
  // popen(3)/pclose(3) of a shell command line ("r" or "w").
  virtual FILE* popen(const std::string& cmd, const char* mode) = 0;
  virtual int pclose(FILE* f) = 0;
  // Starts argv[0] with argv, without a shell. Returns the pid, -1 on failure.
  virtual pid_t fork_exec(const std::vector<std::string>& argv) = 0;
  virtual pid_t waitpid(pid_t pid, int* status, int options) = 0;
  virtual int kill(pid_t pid, int sig) = 0;

  // ---- files (paths are the appliance's absolute paths) ----
  // Every descriptor and stream these open is close-on-exec (O_CLOEXEC, "e"),
  // as is the pipe of popen: a command the daemon runs inherits none of them.
  virtual int open(const std::string& abs, int flags, mode_t mode = 0644) = 0;
  virtual FILE* fopen(const std::string& abs, const char* mode) = 0;
  virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
  virtual int unlink(const std::string& abs) = 0;
  virtual int rename(const std::string& from, const std::string& to) = 0;
  virtual int mkdir(const std::string& abs, mode_t mode) = 0;
  virtual int access(const std::string& abs, int how) = 0;
  virtual int stat(const std::string& abs, struct stat* st) = 0;
  // stat(2) of the path itself: a symbolic link is not followed.
  virtual int lstat(const std::string& abs, struct stat* st) = 0;
  // The whole target text of the symbolic link `abs` (never mapped: it is
  // what the link says). Returns its length, -1 with errno on failure.
  virtual int readlink(const std::string& abs, std::string* target) = 0;
  // Names of the entries of a directory (without "." and ".."); false when
  // the directory cannot be opened.
  virtual bool list_dir(const std::string& abs, std::vector<std::string>* names) = 0;

  // ---- Android properties ----
  // Copies the value (at most 91 characters, PROP_VALUE_MAX - 1) into
  // value[92]; returns its length, 0 when unset.
  virtual int property_get(const char* name, char* value) = 0;
  virtual int property_set(const char* name, const char* value) = 0;

  // ---- clocks ----
  virtual int clock_gettime(clockid_t clk, struct timespec* ts) = 0;
  // Sets the system (wall) clock.
  virtual int clock_settime(clockid_t clk, const struct timespec* ts) = 0;
  virtual time_t time(time_t* out) = 0;
  virtual void sleep_us(uint64_t us) = 0;
  // localtime_r(3) in the device's zone (the property
  // "persist.sys.timezone"; unset or unknown: UTC). 0, -1 on failure.
  virtual int local_time(time_t t, struct tm* out) = 0;
};

// The implementation this process uses; RealSysIo until one is installed.
SysIo& sysio();
// Installs `io` (not owned) for the whole process; null restores RealSysIo.
void sysio_install(SysIo* io);

// Convenience: whole-file read and atomic whole-file write through sysio().
bool sysio_read_file(const std::string& abs, std::string* out, size_t max = 1u << 20);
// Writes the bytes to a temporary file beside `abs` and renames it over
// `abs`, so readers never see half a file.
bool sysio_write_file_atomic(const std::string& abs, const std::string& bytes, mode_t mode = 0644);
// Writes a driver attribute (a sysfs or procfs file) as a shell's `echo >`
// would, minus the creation: the existing file, opened write-only, takes all
// the bytes in one write(). A driver acts on each write, so the value is never
// split, and a temporary and rename would never reach it. False (errno set)
// when the attribute is missing or the driver takes fewer bytes (EIO).
bool sysio_write_attr(const std::string& abs, const std::string& bytes);
