// Start-up of the daemon in the host simulation: from the exec of syssrv to
// the exit of its launching process (the fork into the main loop), beside
// the number of configuration requests it made on the way and what that
// many raw AF_UNIX SEQPACKET round trips cost in the same run.
//
// bench_startup [RUNS], run sealed (sim/seal, which it enters itself); each
// run lays out a fresh sandbox root (scripts/sim
// --setup-only), starts configsrvc on the repository seed, the DNS service
// stand-in dnssrvc and then syssrv for the default model; then ends syssrv
// and starts it again on the same database, as every start of a unit but
// its first out of the box. Prints one line per figure, with its limit.
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "bench/daemon/benchSim.h"
#include "tests/sim/simAppliance.h"

namespace {

using Clock = std::chrono::steady_clock;

// The platform starts the services one after another; one that keeps the
// boot waiting for seconds delays everything behind it.
constexpr double kStartupLimitMs = 3000.0;
// Start-up is mostly configuration exchanges; beside the same number of raw
// round trips it may cost this many times more (its scripts, the exec, the
// disk syncs of values the configuration service stores).
constexpr double kFloorRatioGoal = 10.0;
// A configuration request and its answer are about this size.
constexpr size_t kPingBytes = 64;

// Requests the configuration service logged (--verbose), from line `from`
// of its log: one line "configsrvc: ConfigIF.<Name>Req (<n> bytes)" each.
// Counted by name into *byName.
int countRequests(const std::vector<std::string>& log, size_t from, std::map<std::string, int>* byName) {
  static const std::regex req(R"(^configsrvc: ConfigIF\.([A-Za-z]+Req) \([0-9]+ bytes\)$)");
  int n = 0;
  std::smatch m;
  for (size_t i = from; i < log.size(); ++i) {
    if (!std::regex_match(log[i], m, req)) continue;
    ++n;
    ++(*byName)[m[1].str()];
  }
  return n;
}


double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Ends the daemon's process group (it and what it started) and waits until
// it is gone.
bool stopDaemon(const SimAppliance& app) {
  const pid_t daemon = app.daemonPid();
  const pid_t group = daemon > 0 ? getpgid(daemon) : -1;
  if (group <= 0 || kill(-group, SIGTERM) != 0) return false;
  for (int i = 0; i < 500 && kill(-group, 0) == 0; ++i) usleep(10000);
  if (kill(-group, 0) == 0) kill(-group, SIGKILL);
  return true;
}

// CPU time (user and system) of process `pid` so far, or of this process's
// reaped children when `pid` is 0. Milliseconds.
double cpuMs(pid_t pid) {
  if (pid == 0) {
    struct rusage ru;
    getrusage(RUSAGE_CHILDREN, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
  }
  FILE* f = fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
  if (f == nullptr) return 0;
  unsigned long ut = 0, st = 0;
  // Fields 14 and 15, after the command name in parentheses.
  int got = fscanf(f, "%*d (%*[^)]) %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &ut, &st);
  fclose(f);
  return got == 2 ? (ut + st) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK)) : 0;
}

// The starts of one kind over the runs.
struct Starts {
  const char* what = "";
  std::vector<double> ms, rawMs, daemonCpuMs, configCpuMs;
  std::vector<int> requests;
  std::map<std::string, int> byName;  // of the last run
};

// Starts the daemon and counts the requests it made; false with a message.
bool timeStart(SimAppliance& app, Starts* s) {
  const size_t from = app.configLog().size();
  const double daemon0 = cpuMs(0), config0 = cpuMs(app.configPid());
  std::string why;
  int status = -1;
  if (!app.startDaemon(&why, &status)) {
    fprintf(stderr, "bench_startup: %s: %s\n", s->what, why.c_str());
    return false;
  }
  s->ms.push_back(app.startupMicros() / 1000.0);
  s->daemonCpuMs.push_back(cpuMs(0) - daemon0);
  s->configCpuMs.push_back(cpuMs(app.configPid()) - config0);
  // Read at once: the loop's own requests begin after its first
  // one-second wait.
  s->byName.clear();
  const int n = countRequests(app.configLog(), from, &s->byName);
  s->requests.push_back(n);
  // The same number of raw round trips, while the appliance still runs.
  s->rawMs.push_back(benchRawRoundTrips(n, kPingBytes) * 1000.0);
  if (s->rawMs.back() < 0) {
    fprintf(stderr, "bench_startup: raw ping-pong failed\n");
    return false;
  }
  return true;
}

// The figures of one kind of start; true when within both limits.
bool report(Starts s) {
  const double start = median(s.ms), raw = median(s.rawMs);
  const int reqs = s.requests[s.requests.size() / 2];
  std::sort(s.ms.begin(), s.ms.end());
  printf("%s: syssrv start-up (exec to fork), %zu runs: median %.1f ms, min %.1f ms, max %.1f ms; limit %.0f ms: %s\n",
         s.what, s.ms.size(), start, s.ms.front(), s.ms.back(), kStartupLimitMs, start <= kStartupLimitMs ? "ok" : "OVER");
  printf("  configuration requests made during start-up: %d (per run:", reqs);
  for (int r : s.requests) printf(" %d", r);
  printf(")\n  by request (last run):");
  for (const auto& kv : s.byName) printf(" %s %d", kv.first.c_str(), kv.second);
  printf("\n");
  printf("  the same number of raw AF_UNIX SEQPACKET round trips (%zu B): median %.2f ms (%.1f us each), "
         "%.1f%% of the start-up\n",
         kPingBytes, raw, reqs > 0 ? raw * 1000.0 / reqs : 0.0, start > 0 ? raw * 100.0 / start : 0.0);
  printf("  CPU during start-up: syssrv and the commands it waited for %.1f ms, configsrvc %.1f ms (medians)\n",
         median(s.daemonCpuMs), median(s.configCpuMs));
  const double ratio = raw > 0 ? start / raw : 0.0;
  printf("  start-up per configuration request: %.1f us; start-up / exchange floor: %.1fx, goal %.0fx: %s\n",
         reqs > 0 ? start * 1000.0 / reqs : 0.0, ratio, kFloorRatioGoal, ratio <= kFloorRatioGoal ? "ok" : "OVER");
  return start <= kStartupLimitMs;
}

}  // namespace

int main(int argc, char** argv) {
  // The simulation's daemon runs only sealed.
  if (benchEnsureSealed(argc, argv, "bench_startup") != 0) return 1;
  int runs = argc > 1 ? atoi(argv[1]) : 5;
  if (runs < 1) {
    fprintf(stderr, "usage: bench_startup [RUNS>=1]\n");
    return 2;
  }
  Starts first, again;
  first.what = "first start, new database";
  again.what = "start again, same database";
  for (int i = 0; i < runs; ++i) {
    SimAppliance app;
    std::string why;
    if (!app.setUp(&why) || !app.startConfigService(&why) || !app.startDnsService(&why)) {
      fprintf(stderr, "bench_startup: run %d: %s\n", i + 1, why.c_str());
      return 1;
    }
    if (!timeStart(app, &first)) return 1;
    if (!stopDaemon(app)) {
      fprintf(stderr, "bench_startup: run %d: the daemon did not end\n", i + 1);
      return 1;
    }
    if (!timeStart(app, &again)) return 1;
  }
  const bool firstOk = report(first);
  return report(again) && firstOk ? 0 : 1;
}
