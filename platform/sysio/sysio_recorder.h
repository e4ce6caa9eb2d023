// The seam for unit tests: runs nothing on this machine.
//
// Every command (system, popen, fork_exec) and every other effect worth
// checking (kill, waitpid, properties, clock setting, ioctl, sleeps, opens,
// renames, unlinks, mkdirs) is appended to records() in call order, the
// command text verbatim. Results are scripted per command line (exact text
// or prefix). Absolute paths map to <root><abs>, so files are real files
// under a temporary root; the properties are an in-memory map with the
// device's rules; the clocks are fake and move only when told to or when
// the code sleeps.
//
//   RecorderSysIo rec;                       // own temporary root
//   sysio_install(&rec);
//   rec.on("/system/bin/startnetwork --restart").exit_code(1);
//   rec.on_prefix("cat /proc/").output("42\n");
//   ... code under test ...
//   EXPECT_EQ(rec.commands(), (std::vector<std::string>{...}));
//   sysio_install(nullptr);
#pragma once

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sysio/sysio.h"
#include "platform/sysio/sysio_tempdir.h"

enum class SysIoCall {
  kSystem,        // text = command line
  kPopen,         // text = command line, mode = "r"/"w"; input = bytes written ("w", at pclose)
  kForkExec,      // text = argv joined with single blanks, argv = the vector, pid = result
  kWaitpid,       // pid = asked pid, options, result, status
  kKill,          // pid, sig, result
  kPropertyGet,   // name, value (what was returned)
  kPropertySet,   // name, value, result
  kClockSettime,  // clk, ts, result
  kIoctl,         // fd, path (appliance path when known), request, arg, bytes, result
  kSleep,         // us
  kOpen,          // path, flags, result (the fd or -1)
  kUnlink,        // path, result
  kRename,        // path = from, to, result
  kMkdir,         // path, result
};

// Name of the kind, "system", "popen", "fork_exec", ... (for messages).
const char* sysio_call_name(SysIoCall kind);

struct SysIoRecord {
  SysIoCall kind = SysIoCall::kSystem;
  std::string text;               // command text (commands), "name=value" (properties)
  std::vector<std::string> argv;  // kForkExec
  std::string mode;               // kPopen
  std::string input;              // kPopen "w": what was written to the pipe
  std::string path;               // files, ioctl
  std::string to;                 // kRename
  std::string name, value;        // properties
  pid_t pid = 0;                  // kForkExec result, kWaitpid / kKill target
  int sig = 0;
  int options = 0;                // kWaitpid
  int status = 0;                 // kWaitpid status stored
  int flags = 0;                  // kOpen
  int fd = -1;                    // kIoctl
  unsigned long request = 0;      // kIoctl
  uintptr_t arg = 0;              // kIoctl: the argument as a number
  std::string bytes;              // kIoctl: *arg, when a size is registered
  clockid_t clk = 0;              // kClockSettime
  struct timespec ts = {0, 0};    // kClockSettime
  uint64_t us = 0;                // kSleep
  long result = 0;                // what the call returned
};

// What a scripted command does. Builder style:
//   rec.on("x").exit_code(2);  rec.on("y").output("text");  rec.on("z").fail();
class SysIoCommandScript {
 public:
  // system()/pclose() return the wait status of exit(code) (default 0).
  SysIoCommandScript& exit_code(int code);
  // system()/pclose() return this raw wait status.
  SysIoCommandScript& status(int raw);
  // popen "r" serves this text as the command's standard output.
  SysIoCommandScript& output(const std::string& text);
  // system() returns -1, popen() null, fork_exec() -1 (errno = `err`).
  SysIoCommandScript& fail(int err = EAGAIN);
  // fork_exec: the pid to hand out (default: the next from 1000 up).
  SysIoCommandScript& pid(pid_t p);
  // fork_exec: the child ends with exit(code) after `polls` non-blocking
  // waitpid calls have found it still running (default: runs until killed).
  SysIoCommandScript& exits(int code, int polls = 0);
  // fork_exec: as exits() with a raw wait status (e.g. killed by a signal).
  SysIoCommandScript& ends(int raw_status, int polls = 0);
  // fork_exec: signals do not end the child (it must be ended by exits()/
  // ends() or child_end()).
  SysIoCommandScript& ignores_signals();

  int m_status = 0;
  std::string m_output;
  bool m_fail = false;
  int m_errno = 0;
  pid_t m_pid = 0;
  bool m_ends = false;
  int m_endStatus = 0;
  int m_polls = 0;
  bool m_ignoresSignals = false;
};

class RecorderSysIo : public SysIo {
 public:
  // Owns a fresh temporary root, removed with the recorder.
  RecorderSysIo();
  // Uses `root` (which must exist) and leaves it in place.
  explicit RecorderSysIo(const std::string& root);
  ~RecorderSysIo() override;

  // ---- scripting ----
  // Script for this exact command text (the joined argv for fork_exec).
  SysIoCommandScript& on(const std::string& cmd);
  // Script for commands starting with `prefix`; an exact script wins, then
  // the longest prefix.
  SysIoCommandScript& on_prefix(const std::string& prefix);
  // Ends a running fork_exec child: the next waitpid reaps it with `raw`.
  void child_end(pid_t pid, int raw_status);
  // kill() of this pid returns -1 with `err` (and does not end a child).
  void kill_fails(pid_t pid, int err = ESRCH);
  // ioctl: copy this many bytes of *arg into the record for `request`.
  void ioctl_arg_size(unsigned long request, size_t size);
  // ioctl: return `result` (and set errno to `err` when negative).
  void ioctl_result(unsigned long request, int result, int err = EIO);
  // ioctl: copy `bytes` into *arg before returning (a driver's answer).
  void ioctl_reply(unsigned long request, const std::string& bytes);
  // property_set of this name fails with -1 (without changing the value).
  void property_set_fails(const std::string& name);

  // ---- files under the root ----
  const std::string& root() const { return m_root; }
  // Writes a file at the appliance path, creating its parent directories.
  void put_file(const std::string& abs, const std::string& bytes);
  // Creates a directory and its parents at the appliance path.
  void make_dirs(const std::string& abs);
  // The bytes of the file at the appliance path; "" when missing (use
  // file_exists() to tell an empty file from a missing one).
  std::string file_bytes(const std::string& abs) const;
  bool file_exists(const std::string& abs) const;

  // ---- properties ----
  // Sets directly, bypassing the rules and the record (a test's given).
  void put_property(const std::string& name, const std::string& value);
  // The value, "" when unset.
  std::string property(const std::string& name) const;
  bool has_property(const std::string& name) const;

  // ---- clocks (start: monotonic 1000 s, realtime 1700000000 s) ----
  void advance_ms(uint64_t ms);  // moves both clocks
  void set_realtime(time_t sec, long nsec = 0);
  void set_monotonic(time_t sec, long nsec = 0);
  struct timespec realtime() const;
  struct timespec monotonic() const;

  // ---- what happened ----
  std::vector<SysIoRecord> records() const;
  std::vector<SysIoRecord> records(SysIoCall kind) const;
  // Texts of the system, popen and fork_exec records, in order.
  std::vector<std::string> commands() const;
  // Forgets the records (scripts, files, properties and clocks stay).
  void clear();

  // ---- SysIo ----
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
  struct Child {
    bool ended = false;
    int status = 0;
    int pollsLeft = 0;
    bool endsAfterPolls = false;
    int endStatus = 0;
    bool ignoresSignals = false;
  };
  struct Pipe {
    size_t record = 0;      // index into m_records
    bool write = false;
    std::vector<char> out;  // "r": the buffer fmemopen reads from
    char* wbuf = nullptr;   // "w": open_memstream buffer
    size_t wlen = 0;
    int status = 0;
  };
  struct IoctlScript {
    size_t argSize = 0;
    int result = 0;
    int err = 0;
    bool hasReply = false;
    std::string reply;
  };

  const SysIoCommandScript* find_script(const std::string& cmd) const;
  size_t add_record(SysIoRecord r);
  static void add_ns(struct timespec* t, uint64_t ns);

  std::unique_ptr<SysIoTempDir> m_ownedRoot;
  std::string m_root;
  mutable std::recursive_mutex m_mu;
  std::vector<SysIoRecord> m_records;
  std::map<std::string, SysIoCommandScript> m_exact;
  std::map<std::string, SysIoCommandScript> m_prefix;
  std::map<pid_t, Child> m_children;
  std::map<pid_t, int> m_killFails;
  pid_t m_nextPid = 1000;
  std::map<FILE*, std::unique_ptr<Pipe>> m_pipes;
  std::map<int, std::string> m_fdPaths;
  std::map<unsigned long, IoctlScript> m_ioctls;
  std::map<std::string, std::string> m_props;
  std::map<std::string, bool> m_propFails;
  struct timespec m_mono = {1000, 0};
  struct timespec m_real = {1700000000, 0};
};
