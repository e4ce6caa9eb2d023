#include "tests/sim/simAppliance.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

#include "tests/arch/exec_wrapper.h"

namespace {

// Waits for `pid` up to `ms`; the exit status, or -1 (killed and reaped on
// time-out, or ended by a signal).
int waitExit(pid_t pid, int ms) {
  if (pid <= 0) return -1;
  // Polled every millisecond: the start-up benchmark times the daemon's
  // launching process by its exit.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  int st = 0;
  for (;;) {
    pid_t got = waitpid(pid, &st, WNOHANG);
    if (got == pid) return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    if (got < 0 && errno != EINTR) return -1;
    if (std::chrono::steady_clock::now() >= deadline) break;
    usleep(1000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, &st, 0);
  return -1;
}

std::vector<char*> cArgv(std::vector<std::string>& words) {
  std::vector<char*> out;
  for (std::string& w : words) out.push_back(&w[0]);
  out.push_back(nullptr);
  return out;
}

// Starts `argv` (with the environment `env` when given, this process's
// otherwise), its stdout to `out`, stderr to `err`, stdin from /dev/null;
// `inChild` runs in the child first. The child's pid, -1 when fork failed.
pid_t spawn(std::vector<std::string> argv, const std::string& out, const std::string& err,
            const std::function<void()>& inChild = {}, std::vector<std::string>* env = nullptr) {
  pid_t p = fork();
  if (p != 0) return p;
  if (inChild) inChild();
  int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int e = err == out ? o : open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (o < 0 || e < 0) _exit(126);
  dup2(o, 1);
  dup2(e, 2);
  int nul = open("/dev/null", O_RDONLY);
  if (nul >= 0) dup2(nul, 0);
  std::vector<char*> a = cArgv(argv);
  execve(a[0], a.data(), env != nullptr ? cArgv(*env).data() : environ);
  _exit(127);
}

// A /proc file of a process that ends while it is read fails the read
// (ESRCH); the stream's own copy turns that into a short text instead of
// the exception a buffer iterator lets escape.
std::string readAll(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

// The lines of `text`, NUL bytes dropped.
std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    out.push_back(line);
    out.back().erase(std::remove(out.back().begin(), out.back().end(), '\0'), out.back().end());
  }
  return out;
}

// Process ids whose process group is `pgid`.
std::vector<pid_t> groupMembers(pid_t pgid) {
  std::vector<pid_t> out;
  DIR* d = opendir("/proc");
  if (d == nullptr) return out;
  while (struct dirent* e = readdir(d)) {
    char* end = nullptr;
    long pid = strtol(e->d_name, &end, 10);
    if (end == e->d_name || *end != '\0') continue;
    std::string stat = readAll(std::string("/proc/") + e->d_name + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0, pgrp = 0;
    if (sscanf(stat.c_str() + close + 1, " %c %d %d", &state, &ppid, &pgrp) != 3) continue;
    if (pgrp == pgid && state != 'Z') out.push_back(static_cast<pid_t>(pid));
  }
  closedir(d);
  return out;
}

}  // namespace

std::string simCommandOutput(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return out;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

int simFind(const std::vector<std::string>& lines, const std::string& text, int from) {
  for (size_t i = from < 0 ? 0 : static_cast<size_t>(from); i < lines.size(); ++i) {
    if (lines[i].find(text) != std::string::npos) return static_cast<int>(i);
  }
  return -1;
}

SimAppliance::SimAppliance(const std::string& model) : m_model(model) {}

SimAppliance::~SimAppliance() {
  if (!m_endpoint.empty()) MSG_CloseLocal(m_endpoint.c_str());
  if (m_launcher > 0) stopGroup(m_launcher);
  if (m_dnsPid > 0) stopGroup(m_dnsPid);
  if (m_configPid > 0) stopGroup(m_configPid);
  if (!m_root.empty() && std::getenv("SIM_TEST_KEEP_ROOT") == nullptr) {
    std::error_code ec;
    std::filesystem::remove_all(m_root, ec);
  }
}

void SimAppliance::stopGroup(pid_t pgid) {
  if (kill(-pgid, SIGTERM) != 0) return;
  bool gone = simWaitFor([&] {
    waitpid(-pgid, nullptr, WNOHANG);
    return groupMembers(pgid).empty();
  }, 5000);
  if (!gone) kill(-pgid, SIGKILL);
  while (waitpid(-pgid, nullptr, WNOHANG) > 0) continue;
}

bool SimAppliance::setUp(std::string* why) {
  const char* tmp = std::getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/sim_test.XXXXXX";
  if (mkdtemp(&templ[0]) == nullptr) {
    *why = "mkdtemp failed: " + std::string(strerror(errno));
    return false;
  }
  m_root = templ;
  const std::string log = m_root + ".setup.log";
  pid_t p = spawn({"/bin/bash", SIM_SCRIPT, "--setup-only", m_root, "--model", m_model}, log, log,
                  [] { setenv("BUILD_DIR", SIM_BUILD_DIR, 1); });
  int st = waitExit(p, kSimHangMs);
  const std::string text = readAll(log);
  unlink(log.c_str());
  if (st != 0) {
    *why = "scripts/sim --setup-only failed (" + std::to_string(st) + "): " + text;
    return false;
  }
  for (const std::string& line : fileLines("/sim/syssrv.env")) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) m_env[line.substr(0, eq)] = line.substr(eq + 1);
  }
  m_configArgs = fileLines("/sim/configsrvc.args");
  if (m_env.count("MSG_SOCKET_DIR") == 0 || m_configArgs.empty()) {
    *why = "the set-up wrote no daemon environment or service arguments";
    return false;
  }
  // This process talks on the appliance's message layer too.
  setenv("MSG_SOCKET_DIR", m_env["MSG_SOCKET_DIR"].c_str(), 1);
  return true;
}

bool SimAppliance::startService(const std::string& name, const std::vector<std::string>& argv,
                                const std::string& ready, pid_t* pid, std::string* why) {
  const std::string log = m_root + "/log/" + name + ".log";
  // A restart must not take the ready line of the run before for its own.
  unlink(log.c_str());
  pid_t p = *pid = spawn(archExecArgv(argv), log, log, [] { setpgid(0, 0); });
  if (p < 0) {
    *why = "fork failed";
    return false;
  }
  setpgid(p, p);
  auto serving = [&] { return readAll(log).find(ready + "\n") != std::string::npos; };
  if (!simWaitFor([&] { return serving() || waitpid(p, nullptr, WNOHANG) == p; }) || !serving()) {
    *why = name + " did not come up: " + readAll(log);
    return false;
  }
  return true;
}

bool SimAppliance::startConfigService(std::string* why) {
  std::vector<std::string> argv = {SIM_CONFIGSRVC_BIN};
  argv.insert(argv.end(), m_configArgs.begin(), m_configArgs.end());
  return startService("configsrvc", argv, "configsrvc: serving ConfigSrvc", &m_configPid, why);
}

bool SimAppliance::startDnsService(std::string* why, const std::vector<std::string>& extra) {
  // The sealed network's name server (sim/dhcp), not this machine's.
  std::vector<std::string> argv = {SIM_DNSSRVC_BIN, "--server", "192.0.2.53"};
  argv.insert(argv.end(), extra.begin(), extra.end());
  return startService("dnssrvc", argv, "dnssrvc: serving DnsSrvc", &m_dnsPid, why);
}

bool SimAppliance::startDaemon(std::string* why, int* status) {
  std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + m_root, "LANG=C"};
  for (const auto& kv : m_env) env.push_back(kv.first + "=" + kv.second);
  const std::string log = m_root + "/log/syssrv.log";
  auto t0 = std::chrono::steady_clock::now();
  m_launcher = spawn(archExecArgv({SIM_SYSSRV_BIN}), log, log,
                     [&] {
                       setsid();
                       if (chdir(m_root.c_str()) != 0) _exit(126);
                     },
                     &env);
  if (m_launcher < 0) {
    *why = "fork failed";
    return false;
  }
  *status = waitExit(m_launcher, kSimHangMs);
  m_startupUs = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
  if (*status != 0) {
    *why = "syssrv start-up ended with " + std::to_string(*status) + ": " + readAll(log);
    return false;
  }
  if (!simWaitFor([&] { return daemonPid() != 0; }, 5000)) {
    *why = "no background process of syssrv after its start-up";
    return false;
  }
  return true;
}

pid_t SimAppliance::daemonPid() const {
  if (m_launcher <= 0) return 0;
  for (pid_t p : groupMembers(m_launcher)) {
    if (p == m_launcher) continue;
    // The stand-ins it runs share the group; the daemon is the one whose
    // program is syssrv (under the emulator, one of the emulator's words).
    // Each word of the command line ends in a NUL.
    const std::string cmdline = readAll("/proc/" + std::to_string(p) + "/cmdline");
    if (cmdline.find(std::string("/syssrv\0", 8)) != std::string::npos) return p;
  }
  return 0;
}

std::string SimAppliance::file(const std::string& abs) const { return readAll(m_root + abs); }

std::vector<std::string> SimAppliance::fileLines(const std::string& abs) const { return splitLines(file(abs)); }

SimRun SimAppliance::ctl(const std::vector<std::string>& args) const {
  const std::string seq = std::to_string(++m_runSeq);
  std::vector<std::string> argv = {SIM_SYSSRVCTL_BIN};
  argv.insert(argv.end(), args.begin(), args.end());
  // A name of its own for every run: the default one comes from the pid,
  // which a busy machine may hand out again while the sandbox lives.
  argv.insert(argv.end(), {"--as", "simtest-ctl-" + seq});
  const std::string base = m_root + "/log/ctl-" + seq;
  // Braced: evaluated in order, the run before its output is read.
  return {waitExit(spawn(archExecArgv(argv), base + ".out", base + ".err"), kSimHangMs), readAll(base + ".out"),
          readAll(base + ".err")};
}

std::string SimAppliance::configGet(const std::string& name) const {
  SimRun r = ctl({"config", "get", name, "--role", "startup"});
  if (r.status != 0) return "<error: " + r.err + ">";
  return r.out.substr(0, r.out.size() - (!r.out.empty() && r.out.back() == '\n'));
}

const char* SimAppliance::endpoint() {
  if (m_endpoint.empty()) {
    static int sSeq = 0;
    std::string name = "simtest-" + std::to_string(getpid()) + "-" + std::to_string(++sSeq);
    if (MSG_OpenLocal(name.c_str()) != 0) return nullptr;
    m_endpoint = name;
  }
  return m_endpoint.c_str();
}

bool SimAppliance::sendRaw(MSG_Type type, const std::string& payload) {
  const char* local = endpoint();
  if (local == nullptr) return false;
  if (m_systemSrvc == 0 && MSG_OpenRemoteSync(local, "SystemSrvc", 10000, &m_systemSrvc) != 0) return false;
  MSG_Message* m = MSG_AllocMsg(type, MSG_GetNextSequence(), static_cast<uint32_t>(payload.size()));
  if (m == nullptr) return false;
  if (!payload.empty()) memcpy(MSG_GetPayloadMutable(m), payload.data(), payload.size());
  return MSG_SendMsg(local, m_systemSrvc, m) == 0;
}
