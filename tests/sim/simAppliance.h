// A simulated appliance for the integration tests: the sandbox root laid
// out by `scripts/sim --setup-only`, the real configsrvc seeded from the
// repository, the DNS service stand-in dnssrvc, and the real syssrv started the way the platform starts it
// (own session, the model's start-up environment, the root as working
// directory), daemonising on its own.
//
// It runs sealed (sim/seal): when the test process ends, however it ends,
// the kernel ends every process left in the seal. The destructor stops
// everything in order and removes the root.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/msg/MSG.h"

// Upper limit for anything a process should finish; far above what a loaded
// 2-core machine (or the ARM emulator) needs, so it only trips on a hang.
constexpr int kSimHangMs = 60000;

struct SimRun {
  int status = -1;  // exit status, -1 when it did not exit normally in time
  std::string out;
  std::string err;
};

class SimAppliance {
 public:
  explicit SimAppliance(const std::string& model = "CEDAR");
  ~SimAppliance();
  SimAppliance(const SimAppliance&) = delete;
  SimAppliance& operator=(const SimAppliance&) = delete;

  // Lays out the root; false (and *why) on failure.
  bool setUp(std::string* why);
  // Replaces (or adds) one variable of the daemon's start-up environment.
  void setDaemonEnv(const std::string& name, const std::string& value) { m_env[name] = value; }
  void unsetDaemonEnv(const std::string& name) { m_env.erase(name); }

  // Starts configsrvc on the appliance's database; again after it ended.
  bool startConfigService(std::string* why);
  // The daemon's start-up waits for "DnsSrvc" without limit: start it first.
  // `extra`: more dnssrvc options (--silent, --delay MS, ...).
  bool startDnsService(std::string* why, const std::vector<std::string>& extra = {});
  // Starts syssrv and waits for its launching process to exit (the fork
  // into the background). *status is that exit status.
  bool startDaemon(std::string* why, int* status);
  // From the fork that execs syssrv to the exit of that process (its fork
  // into the background), in microseconds.
  double startupMicros() const { return m_startupUs; }
  // The daemon's background process, 0 when there is none (any more).
  pid_t daemonPid() const;
  // The configuration service's process, -1 before it started.
  pid_t configPid() const { return m_configPid; }

  const std::string& root() const { return m_root; }
  // Contents of an appliance file (<root><abs>), empty when unreadable.
  std::string file(const std::string& abs) const;
  // Its lines, without line ends (NUL bytes dropped).
  std::vector<std::string> fileLines(const std::string& abs) const;
  // The daemon's log lines and the command journal.
  std::vector<std::string> daemonLog() const { return fileLines("/dev/crvllog"); }
  std::vector<std::string> journal() const { return fileLines("/var/journal/commands.log"); }
  // configsrvc's own diagnostics (stderr, --verbose).
  std::vector<std::string> configLog() const { return fileLines("/log/configsrvc.log"); }
  // dnssrvc's lines: one per request it answered.
  std::vector<std::string> dnsLog() const { return fileLines("/log/dnssrvc.log"); }

  // Runs syssrvctl with `args` against this appliance.
  SimRun ctl(const std::vector<std::string>& args) const;
  // `syssrvctl config get NAME` as the startup role: the value, or
  // "<error: ...>" when the read failed.
  std::string configGet(const std::string& name) const;

  // This test's own endpoint on the appliance's message layer.
  const char* endpoint();
  // Sends `type` with these raw payload bytes to "SystemSrvc".
  bool sendRaw(MSG_Type type, const std::string& payload);

 private:
  void stopGroup(pid_t pgid);
  // Starts a peer service in a process group of its own, its output in
  // <root>/log/<name>.log, and waits for `ready` there.
  bool startService(const std::string& name, const std::vector<std::string>& argv, const std::string& ready,
                    pid_t* pid, std::string* why);

  std::string m_model;
  std::string m_root;
  std::map<std::string, std::string> m_env;
  std::vector<std::string> m_configArgs;
  pid_t m_configPid = -1;
  pid_t m_dnsPid = -1;
  pid_t m_launcher = -1;
  std::string m_endpoint;
  MSG_Endpoint m_systemSrvc = 0;
  mutable int m_runSeq = 0;
  double m_startupUs = 0;
};

// Waits (polling) until `pred` holds or `ms` pass; returns its last value.
template <class Pred>
bool simWaitFor(Pred pred, int ms = kSimHangMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (pred()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return pred();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// Standard output of a shell command run here, in the seal (ip, mostly).
std::string simCommandOutput(const std::string& cmd);

// Index of the first line at or after `from` that contains `text`, or -1.
int simFind(const std::vector<std::string>& lines, const std::string& text, int from = 0);
