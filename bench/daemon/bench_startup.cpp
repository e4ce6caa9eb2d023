// Start-up of the daemon in the host simulation: from the exec of syssrv to
// the exit of its launching process (the fork into the main loop), beside
// the number of configuration requests it made on the way and what that
// many raw AF_UNIX SEQPACKET round trips cost in the same run.
//
// bench_startup [RUNS], run sealed (sim/seal, which it enters itself); each
// run lays out a fresh sandbox root (scripts/sim
// --setup-only), starts configsrvc on the repository seed, the DNS service
// stand-in dnssrvc and then syssrv for the default model. Prints one line per figure, with its limit.
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

#include "tests/sim/simAppliance.h"

namespace {

using Clock = std::chrono::steady_clock;

// The platform starts the services one after another; one that keeps the
// boot waiting for seconds delays everything behind it.
constexpr double kStartupLimitMs = 3000.0;
// A configuration request and its answer are about this size.
constexpr size_t kPingBytes = 64;

// Requests the configuration service logged (--verbose), from the start of
// its log: one line "configsrvc: ConfigIF.<Name>Req (<n> bytes)" each.
// Counted by name into *byName.
int countRequests(const std::vector<std::string>& log, std::map<std::string, int>* byName) {
  static const std::regex req(R"(^configsrvc: ConfigIF\.([A-Za-z]+Req) \([0-9]+ bytes\)$)");
  int n = 0;
  std::smatch m;
  for (const std::string& l : log) {
    if (!std::regex_match(l, m, req)) continue;
    ++n;
    ++(*byName)[m[1].str()];
  }
  return n;
}

// `n` round trips of kPingBytes over a SEQPACKET socketpair with a child
// that echoes: the floor of any local request/answer. Milliseconds.
double rawRoundTripsMs(int n) {
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sv) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(sv[0]);
    char buf[kPingBytes];
    for (;;) {
      ssize_t r = recv(sv[1], buf, sizeof buf, 0);
      if (r <= 0 || send(sv[1], buf, static_cast<size_t>(r), 0) != r) _exit(0);
    }
  }
  close(sv[1]);
  char buf[kPingBytes] = {1};
  auto t0 = Clock::now();
  for (int i = 0; i < n; ++i) {
    if (send(sv[0], buf, sizeof buf, 0) != static_cast<ssize_t>(sizeof buf) || recv(sv[0], buf, sizeof buf, 0) <= 0) {
      n = -1;
      break;
    }
  }
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  close(sv[0]);
  waitpid(pid, nullptr, 0);
  return n < 0 ? -1 : ms;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  // The simulation's daemon runs only sealed: come back through the seal.
  const char* sealed = getenv("SYSSRV_SEALED");
  if (sealed == nullptr || std::string(sealed) != "1") {
    std::vector<char*> again = {const_cast<char*>(SIM_SEAL)};
    for (int i = 0; i < argc; ++i) again.push_back(argv[i]);
    again.push_back(nullptr);
    execv(again[0], again.data());
    perror("bench_startup: " SIM_SEAL);
    return 1;
  }
  int runs = argc > 1 ? atoi(argv[1]) : 5;
  if (runs < 1) {
    fprintf(stderr, "usage: bench_startup [RUNS>=1]\n");
    return 2;
  }
  std::vector<double> startMs, rawMs;
  std::vector<int> requests;
  std::map<std::string, int> byName;  // of the last run
  for (int i = 0; i < runs; ++i) {
    SimAppliance app;
    std::string why;
    int status = -1;
    if (!app.setUp(&why) || !app.startConfigService(&why) || !app.startDnsService(&why) ||
        !app.startDaemon(&why, &status)) {
      fprintf(stderr, "bench_startup: run %d: %s\n", i + 1, why.c_str());
      return 1;
    }
    startMs.push_back(app.startupMicros() / 1000.0);
    // Read at once: the loop's own requests begin after its first
    // one-second wait.
    byName.clear();
    int n = countRequests(app.configLog(), &byName);
    requests.push_back(n);
    // The same number of raw round trips, while the appliance still runs.
    rawMs.push_back(rawRoundTripsMs(n));
    if (rawMs.back() < 0) {
      fprintf(stderr, "bench_startup: raw ping-pong failed\n");
      return 1;
    }
  }
  double start = median(startMs);
  double raw = median(rawMs);
  int reqs = requests[requests.size() / 2];
  std::sort(startMs.begin(), startMs.end());
  printf("syssrv start-up (exec to fork), %d runs: median %.1f ms, min %.1f ms, max %.1f ms; limit %.0f ms: %s\n",
         runs, start, startMs.front(), startMs.back(), kStartupLimitMs, start <= kStartupLimitMs ? "ok" : "OVER");
  printf("configuration requests made during start-up: %d (per run:", reqs);
  for (int r : requests) printf(" %d", r);
  printf(")\n  by request (last run):");
  for (const auto& kv : byName) printf(" %s %d", kv.first.c_str(), kv.second);
  printf("\n");
  printf("the same number of raw AF_UNIX SEQPACKET round trips (%zu B): median %.2f ms (%.1f us each), "
         "%.1f%% of the start-up\n",
         kPingBytes, raw, reqs > 0 ? raw * 1000.0 / reqs : 0.0, start > 0 ? raw * 100.0 / start : 0.0);
  printf("start-up per configuration request: %.1f us (%.1fx the raw round trip)\n",
         reqs > 0 ? start * 1000.0 / reqs : 0.0, raw > 0 ? start / raw : 0.0);
  return start <= kStartupLimitMs ? 0 : 1;
}
