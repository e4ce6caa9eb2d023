#include "platform/sysio/sysio_recorder.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/props/props.h"
#include "platform/sysio/sysio_paths.h"
#include "platform/sysio/sysio_real.h"
#include "platform/sysio/sysio_zone.h"

namespace {

int sysio_exit_status(int code) { return (code & 0xff) << 8; }

std::string sysio_join(const std::vector<std::string>& argv) {
  std::string out;
  for (size_t i = 0; i < argv.size(); ++i) {
    if (i) out += ' ';
    out += argv[i];
  }
  return out;
}

bool sysio_monotonic_clock(clockid_t clk) {
  return clk == CLOCK_MONOTONIC || clk == CLOCK_MONOTONIC_RAW || clk == CLOCK_BOOTTIME ||
         clk == CLOCK_MONOTONIC_COARSE;
}

void sysio_make_dirs(const std::string& real) {
  for (size_t i = 1; i <= real.size(); ++i) {
    if (i == real.size() || real[i] == '/') ::mkdir(real.substr(0, i).c_str(), 0755);
  }
}

}  // namespace

const char* sysio_call_name(SysIoCall kind) {
  switch (kind) {
    case SysIoCall::kSystem: return "system";
    case SysIoCall::kPopen: return "popen";
    case SysIoCall::kForkExec: return "fork_exec";
    case SysIoCall::kWaitpid: return "waitpid";
    case SysIoCall::kKill: return "kill";
    case SysIoCall::kPropertyGet: return "property_get";
    case SysIoCall::kPropertySet: return "property_set";
    case SysIoCall::kClockSettime: return "clock_settime";
    case SysIoCall::kIoctl: return "ioctl";
    case SysIoCall::kSleep: return "sleep";
    case SysIoCall::kOpen: return "open";
    case SysIoCall::kUnlink: return "unlink";
    case SysIoCall::kRename: return "rename";
    case SysIoCall::kMkdir: return "mkdir";
  }
  return "?";
}

// ---- SysIoCommandScript ----

SysIoCommandScript& SysIoCommandScript::exit_code(int code) {
  m_status = sysio_exit_status(code);
  return *this;
}
SysIoCommandScript& SysIoCommandScript::status(int raw) {
  m_status = raw;
  return *this;
}
SysIoCommandScript& SysIoCommandScript::output(const std::string& text) {
  m_output = text;
  return *this;
}
SysIoCommandScript& SysIoCommandScript::fail(int err) {
  m_fail = true;
  m_errno = err;
  return *this;
}
SysIoCommandScript& SysIoCommandScript::pid(pid_t p) {
  m_pid = p;
  return *this;
}
SysIoCommandScript& SysIoCommandScript::exits(int code, int polls) {
  return ends(sysio_exit_status(code), polls);
}
SysIoCommandScript& SysIoCommandScript::ends(int raw_status, int polls) {
  m_ends = true;
  m_endStatus = raw_status;
  m_polls = polls;
  return *this;
}
SysIoCommandScript& SysIoCommandScript::ignores_signals() {
  m_ignoresSignals = true;
  return *this;
}

// ---- construction ----

RecorderSysIo::RecorderSysIo()
    : m_ownedRoot(new SysIoTempDir("sysio-rec")), m_root(m_ownedRoot->path()) {}

RecorderSysIo::RecorderSysIo(const std::string& root) : m_root(root) {}

RecorderSysIo::~RecorderSysIo() {
  // Pipes the code under test forgot to close: free them, record nothing.
  for (auto& kv : m_pipes) {
    std::fclose(kv.first);
    std::free(kv.second->wbuf);
  }
}

// ---- scripting ----

SysIoCommandScript& RecorderSysIo::on(const std::string& cmd) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  return m_exact[cmd];
}

SysIoCommandScript& RecorderSysIo::on_prefix(const std::string& prefix) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  return m_prefix[prefix];
}

void RecorderSysIo::child_end(pid_t pid, int raw_status) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  Child& c = m_children[pid];
  c.ended = true;
  c.status = raw_status;
}

void RecorderSysIo::kill_fails(pid_t pid, int err) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  m_killFails[pid] = err;
}

void RecorderSysIo::ioctl_arg_size(unsigned long request, size_t size) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  m_ioctls[request].argSize = size;
}

void RecorderSysIo::ioctl_result(unsigned long request, int result, int err) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  m_ioctls[request].result = result;
  m_ioctls[request].err = err;
}

void RecorderSysIo::ioctl_reply(unsigned long request, const std::string& bytes) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  m_ioctls[request].hasReply = true;
  m_ioctls[request].reply = bytes;
}

void RecorderSysIo::property_set_fails(const std::string& name) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  m_propFails[name] = true;
}

const SysIoCommandScript* RecorderSysIo::find_script(const std::string& cmd) const {
  auto e = m_exact.find(cmd);
  if (e != m_exact.end()) return &e->second;
  const SysIoCommandScript* best = nullptr;
  size_t bestLen = 0;
  for (const auto& kv : m_prefix) {
    if (cmd.compare(0, kv.first.size(), kv.first) == 0 && (!best || kv.first.size() >= bestLen)) {
      best = &kv.second;
      bestLen = kv.first.size();
    }
  }
  return best;
}

size_t RecorderSysIo::add_record(SysIoRecord r) {
  m_records.push_back(std::move(r));
  return m_records.size() - 1;
}

// ---- files under the root ----

void RecorderSysIo::put_file(const std::string& abs, const std::string& bytes) {
  std::string real = path(abs);
  size_t slash = real.rfind('/');
  if (slash != std::string::npos && slash > 0) sysio_make_dirs(real.substr(0, slash));
  std::ofstream f(real, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void RecorderSysIo::make_dirs(const std::string& abs) { sysio_make_dirs(path(abs)); }

std::string RecorderSysIo::file_bytes(const std::string& abs) const {
  std::ifstream f(path(abs), std::ios::binary);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

bool RecorderSysIo::file_exists(const std::string& abs) const {
  struct stat st;
  return ::lstat(path(abs).c_str(), &st) == 0;
}

// ---- properties ----

void RecorderSysIo::put_property(const std::string& name, const std::string& value) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  m_props[name] = value;
}

std::string RecorderSysIo::property(const std::string& name) const {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  auto it = m_props.find(name);
  return it == m_props.end() ? std::string() : it->second;
}

bool RecorderSysIo::has_property(const std::string& name) const {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  return m_props.count(name) != 0;
}

// ---- clocks ----

void RecorderSysIo::add_ns(struct timespec* t, uint64_t ns) {
  uint64_t total = static_cast<uint64_t>(t->tv_nsec) + ns;
  t->tv_sec += static_cast<time_t>(total / 1000000000u);
  t->tv_nsec = static_cast<long>(total % 1000000000u);
}

void RecorderSysIo::advance_ms(uint64_t ms) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  add_ns(&m_mono, ms * 1000000u);
  add_ns(&m_real, ms * 1000000u);
}

void RecorderSysIo::set_realtime(time_t sec, long nsec) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  m_real = {sec, nsec};
}

void RecorderSysIo::set_monotonic(time_t sec, long nsec) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  m_mono = {sec, nsec};
}

struct timespec RecorderSysIo::realtime() const {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  return m_real;
}

struct timespec RecorderSysIo::monotonic() const {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  return m_mono;
}

// ---- what happened ----

std::vector<SysIoRecord> RecorderSysIo::records() const {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  return m_records;
}

std::vector<SysIoRecord> RecorderSysIo::records(SysIoCall kind) const {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  std::vector<SysIoRecord> out;
  for (const SysIoRecord& r : m_records)
    if (r.kind == kind) out.push_back(r);
  return out;
}

std::vector<std::string> RecorderSysIo::commands() const {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  std::vector<std::string> out;
  for (const SysIoRecord& r : m_records) {
    if (r.kind == SysIoCall::kSystem || r.kind == SysIoCall::kPopen ||
        r.kind == SysIoCall::kForkExec)
      out.push_back(r.text);
  }
  return out;
}

void RecorderSysIo::clear() {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  m_records.clear();
  // Open pipes point at records by index; keep them pointing nowhere.
  for (auto& kv : m_pipes) kv.second->record = SIZE_MAX;
}

// ---- SysIo: commands ----

std::string RecorderSysIo::path(const std::string& abs) const {
  return sysio_map_under_root(m_root, abs);
}

int RecorderSysIo::system(const std::string& cmd) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  SysIoRecord r;
  r.kind = SysIoCall::kSystem;
  r.text = cmd;
  const SysIoCommandScript* s = find_script(cmd);
  int rc = 0;
  if (s && s->m_fail) {
    rc = -1;
    errno = s->m_errno;
  } else if (s) {
    rc = s->m_status;
  }
  r.result = rc;
  add_record(std::move(r));
  return rc;
}

FILE* RecorderSysIo::popen(const std::string& cmd, const char* mode) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  SysIoRecord r;
  r.kind = SysIoCall::kPopen;
  r.text = cmd;
  r.mode = mode ? mode : "";
  const SysIoCommandScript* s = find_script(cmd);
  const bool write = !r.mode.empty() && r.mode[0] == 'w';
  const bool read = !r.mode.empty() && r.mode[0] == 'r';
  if ((s && s->m_fail) || (!read && !write)) {
    int err = (s && s->m_fail) ? s->m_errno : EINVAL;
    r.result = 0;
    add_record(std::move(r));
    errno = err;
    return nullptr;
  }
  // On the heap from the start: the streams keep pointers into it.
  std::unique_ptr<Pipe> p(new Pipe);
  p->write = write;
  p->status = s ? s->m_status : 0;
  FILE* f = nullptr;
  if (write) {
    f = ::open_memstream(&p->wbuf, &p->wlen);
  } else {
    const std::string text = s ? s->m_output : std::string();
    // An empty output still needs one byte of buffer.
    p->out.assign(text.begin(), text.end());
    if (text.empty()) p->out.push_back('\0');
    f = ::fmemopen(p->out.data(), p->out.size(), "r");
    if (f && text.empty()) std::fseek(f, 0, SEEK_END);
  }
  if (!f) {
    int err = errno;
    r.result = 0;
    add_record(std::move(r));
    errno = err;
    return nullptr;
  }
  r.result = 1;
  p->record = add_record(std::move(r));
  m_pipes[f] = std::move(p);
  return f;
}

int RecorderSysIo::pclose(FILE* f) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  auto it = m_pipes.find(f);
  if (it == m_pipes.end()) {
    errno = ECHILD;
    return -1;
  }
  std::fclose(f);  // flushes an open_memstream into wbuf/wlen
  Pipe& p = *it->second;
  if (p.write && p.record < m_records.size()) m_records[p.record].input.assign(p.wbuf, p.wlen);
  std::free(p.wbuf);
  p.wbuf = nullptr;
  int status = p.status;
  m_pipes.erase(it);
  return status;
}

pid_t RecorderSysIo::fork_exec(const std::vector<std::string>& argv) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  SysIoRecord r;
  r.kind = SysIoCall::kForkExec;
  r.argv = argv;
  r.text = sysio_join(argv);
  const SysIoCommandScript* s = find_script(r.text);
  pid_t pid;
  if (argv.empty() || (s && s->m_fail)) {
    pid = -1;
    r.pid = -1;
    r.result = -1;
    add_record(std::move(r));
    errno = argv.empty() ? EINVAL : s->m_errno;
    return -1;
  }
  if (s && s->m_pid > 0) {
    pid = s->m_pid;
  } else {
    while (m_children.count(m_nextPid)) ++m_nextPid;
    pid = m_nextPid++;
  }
  Child c;
  if (s) {
    c.endsAfterPolls = s->m_ends;
    c.endStatus = s->m_endStatus;
    c.pollsLeft = s->m_polls;
    c.ignoresSignals = s->m_ignoresSignals;
    if (s->m_ends && s->m_polls == 0) {
      c.ended = true;
      c.status = s->m_endStatus;
    }
  }
  m_children[pid] = c;
  r.pid = pid;
  r.result = pid;
  add_record(std::move(r));
  return pid;
}

pid_t RecorderSysIo::waitpid(pid_t pid, int* status, int options) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  SysIoRecord r;
  r.kind = SysIoCall::kWaitpid;
  r.pid = pid;
  r.options = options;
  const bool nohang = (options & WNOHANG) != 0;

  // Which child is asked about: the pid, or any child for pid <= 0.
  auto pick = m_children.end();
  if (pid > 0) {
    pick = m_children.find(pid);
  } else {
    for (auto it = m_children.begin(); it != m_children.end(); ++it) {
      if (it->second.ended) {
        pick = it;
        break;
      }
    }
    if (pick == m_children.end()) pick = m_children.begin();
  }
  pid_t rc;
  int st = 0;
  if (pick == m_children.end()) {
    rc = -1;
    errno = ECHILD;
  } else {
    Child& c = pick->second;
    if (!c.ended && c.endsAfterPolls && nohang) {
      if (c.pollsLeft > 0) {
        --c.pollsLeft;
      } else {
        c.ended = true;
        c.status = c.endStatus;
      }
    }
    if (!c.ended && !nohang) {
      // A blocking wait cannot block here: the child ends now, with its
      // scripted status or exit 0.
      c.ended = true;
      c.status = c.endsAfterPolls ? c.endStatus : 0;
    }
    if (c.ended) {
      rc = pick->first;
      st = c.status;
      m_children.erase(pick);
    } else {
      rc = 0;
    }
  }
  if (status && rc > 0) *status = st;
  r.status = st;
  r.result = rc;
  add_record(std::move(r));
  return rc;
}

int RecorderSysIo::kill(pid_t pid, int sig) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  SysIoRecord r;
  r.kind = SysIoCall::kKill;
  r.pid = pid;
  r.sig = sig;
  int rc = 0;
  auto fail = m_killFails.find(pid);
  if (fail != m_killFails.end()) {
    rc = -1;
    errno = fail->second;
  } else {
    auto it = m_children.find(pid);
    // Signal 0 only probes; SIGCHLD, SIGCONT, SIGWINCH and SIGURG are
    // ignored by default and would not end a real child either.
    if (it != m_children.end() && !it->second.ended && !it->second.ignoresSignals && sig != 0 &&
        sig != SIGCHLD && sig != SIGCONT && sig != SIGWINCH && sig != SIGURG) {
      it->second.ended = true;
      it->second.status = sig & 0x7f;  // WIFSIGNALED with WTERMSIG == sig
    }
  }
  r.result = rc;
  add_record(std::move(r));
  return rc;
}

// ---- SysIo: files ----

int RecorderSysIo::open(const std::string& abs, int flags, mode_t mode) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  int fd = ::open(path(abs).c_str(), flags | O_CLOEXEC, mode);
  int err = errno;
  if (fd >= 0) m_fdPaths[fd] = abs;
  SysIoRecord r;
  r.kind = SysIoCall::kOpen;
  r.path = abs;
  r.flags = flags;
  r.fd = fd;
  r.result = fd;
  add_record(std::move(r));
  errno = err;
  return fd;
}

FILE* RecorderSysIo::fopen(const std::string& abs, const char* mode) {
  return ::fopen(path(abs).c_str(), sysio_cloexec_mode(mode).c_str());
}

int RecorderSysIo::ioctl(int fd, unsigned long request, void* arg) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  SysIoRecord r;
  r.kind = SysIoCall::kIoctl;
  r.fd = fd;
  auto p = m_fdPaths.find(fd);
  if (p != m_fdPaths.end()) r.path = p->second;
  r.request = request;
  r.arg = reinterpret_cast<uintptr_t>(arg);
  int rc = 0;
  int err = 0;
  auto s = m_ioctls.find(request);
  if (s != m_ioctls.end()) {
    if (s->second.argSize > 0 && arg)
      r.bytes.assign(static_cast<const char*>(arg), s->second.argSize);
    rc = s->second.result;
    err = s->second.err;
    if (rc >= 0 && s->second.hasReply && arg)
      std::memcpy(arg, s->second.reply.data(), s->second.reply.size());
  }
  r.result = rc;
  add_record(std::move(r));
  if (rc < 0) errno = err;
  return rc;
}

int RecorderSysIo::unlink(const std::string& abs) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  int rc = ::unlink(path(abs).c_str());
  int err = errno;
  SysIoRecord r;
  r.kind = SysIoCall::kUnlink;
  r.path = abs;
  r.result = rc;
  add_record(std::move(r));
  errno = err;
  return rc;
}

int RecorderSysIo::rename(const std::string& from, const std::string& to) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  int rc = ::rename(path(from).c_str(), path(to).c_str());
  int err = errno;
  SysIoRecord r;
  r.kind = SysIoCall::kRename;
  r.path = from;
  r.to = to;
  r.result = rc;
  add_record(std::move(r));
  errno = err;
  return rc;
}

int RecorderSysIo::mkdir(const std::string& abs, mode_t mode) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  int rc = ::mkdir(path(abs).c_str(), mode);
  int err = errno;
  SysIoRecord r;
  r.kind = SysIoCall::kMkdir;
  r.path = abs;
  r.result = rc;
  add_record(std::move(r));
  errno = err;
  return rc;
}

int RecorderSysIo::access(const std::string& abs, int how) {
  return ::access(path(abs).c_str(), how);
}

int RecorderSysIo::stat(const std::string& abs, struct stat* st) {
  return ::stat(path(abs).c_str(), st);
}

int RecorderSysIo::lstat(const std::string& abs, struct stat* st) {
  return ::lstat(path(abs).c_str(), st);
}

int RecorderSysIo::readlink(const std::string& abs, std::string* target) {
  return sysio_readlink_real(path(abs), target);
}

bool RecorderSysIo::list_dir(const std::string& abs, std::vector<std::string>* names) {
  return sysio_list_real_dir(path(abs), names);
}

// ---- SysIo: properties ----

int RecorderSysIo::property_get(const char* name, char* value) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  value[0] = '\0';
  auto it = m_props.find(name ? name : "");
  if (it != m_props.end()) {
    size_t n = std::min(it->second.size(), static_cast<size_t>(PROP_VALUE_MAX - 1));
    std::memcpy(value, it->second.data(), n);
    value[n] = '\0';
  }
  SysIoRecord r;
  r.kind = SysIoCall::kPropertyGet;
  r.name = name ? name : "";
  r.value = value;
  r.text = r.name;
  r.result = static_cast<long>(std::strlen(value));
  add_record(std::move(r));
  return static_cast<int>(std::strlen(value));
}

int RecorderSysIo::property_set(const char* name, const char* value) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  const std::string n = name ? name : "";
  const std::string v = value ? value : "";
  int rc = 0;
  // The device's rules, so a test sees the refusal the device would give.
  if (!props_name_ok(name) || !props_value_ok(value) || m_propFails.count(n) ||
      (n.compare(0, 3, "ro.") == 0 && m_props.count(n))) {
    rc = -1;
  } else {
    m_props[n] = v;
  }
  SysIoRecord r;
  r.kind = SysIoCall::kPropertySet;
  r.name = n;
  r.value = v;
  r.text = n + "=" + v;
  r.result = rc;
  add_record(std::move(r));
  return rc;
}

// ---- SysIo: clocks ----

int RecorderSysIo::clock_gettime(clockid_t clk, struct timespec* ts) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  if (clk == CLOCK_REALTIME || clk == CLOCK_REALTIME_COARSE) {
    *ts = m_real;
  } else if (sysio_monotonic_clock(clk)) {
    *ts = m_mono;
  } else {
    errno = EINVAL;
    return -1;
  }
  return 0;
}

int RecorderSysIo::clock_settime(clockid_t clk, const struct timespec* ts) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  SysIoRecord r;
  r.kind = SysIoCall::kClockSettime;
  r.clk = clk;
  r.ts = *ts;
  int rc = 0;
  // Only the wall clock can be set, and only to a valid time, as on Linux.
  if (clk != CLOCK_REALTIME || ts->tv_nsec < 0 || ts->tv_nsec >= 1000000000L || ts->tv_sec < 0) {
    rc = -1;
  } else {
    m_real = *ts;
  }
  r.result = rc;
  add_record(std::move(r));
  if (rc < 0) errno = EINVAL;
  return rc;
}

time_t RecorderSysIo::time(time_t* out) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  if (out) *out = m_real.tv_sec;
  return m_real.tv_sec;
}

void RecorderSysIo::sleep_us(uint64_t us) {
  std::lock_guard<std::recursive_mutex> lock(m_mu);
  SysIoRecord r;
  r.kind = SysIoCall::kSleep;
  r.us = us;
  add_record(std::move(r));
  add_ns(&m_mono, us * 1000u);
  add_ns(&m_real, us * 1000u);
}

int RecorderSysIo::local_time(time_t t, struct tm* out) {
  char zone[PROP_VALUE_MAX];
  property_get(kSysIoZoneProperty, zone);
  sysio_zone_local_time(kSysIoZoneDir, zone, t, out);
  return 0;
}
