// Resident memory of the daemon after its start-up in the host simulation:
// VmRSS (with its anonymous and file parts) and VmHWM of syssrv's
// background process (the child of its fork into the main loop), read from
// /proc after a few idle passes of the loop, beside the 6 MB goal.
//
// bench_footprint [--settle SECONDS] [--arm BUILD_ARMHF]
//
// Run sealed (sim/seal, which it enters itself). Each run lays out a fresh
// sandbox root, starts configsrvc on the repository seed, dnssrvc, then the
// simulation's daemon (the production daemon on the sandbox seam) for the
// default model.
//
// --arm runs the 32-bit ARM build of that daemon (<BUILD_ARMHF>/sim/syssrv)
// under qemu-arm user-mode emulation, with the build's sysroot, against the
// native peers. The figure is then the emulator's process: the guest's
// pages plus qemu's own code, heap and translated-code cache. It is an
// indication, not the board's figure, and is printed without a goal; the
// part resident in the guest's address space is printed beside it. Against
// the native peers the emulated start-up takes about a minute (the
// all-ARM simulation of scripts/test-armhf starts in seconds), close to
// the simulation's limit for it.
//
// The daemon is started through this program: the simulation execs it with
// BENCH_FOOTPRINT_EXEC in the daemon's environment, and it execs those words
// (the native daemon, or the emulator and the ARM daemon) in its place.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/daemon/benchSim.h"
#include "tests/sim/simAppliance.h"

namespace {

constexpr double kRssGoalMb = 6.0;
constexpr char kExecVar[] = "BENCH_FOOTPRINT_EXEC";

// "VmRSS:     4321 kB" and the like, in kB; -1 when missing.
long statusKb(pid_t pid, const char* field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  const size_t n = strlen(field);
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':') return atol(line.c_str() + n + 1);
  }
  return -1;
}

// Where the emulator puts the guest's 4 GiB address space (qemu-arm -B):
// what is resident there is the ARM daemon's own memory, the rest of the
// process is the emulator's.
constexpr unsigned long long kGuestBase = 0x100000000ULL;
constexpr unsigned long long kGuestSpan = 0x100000000ULL;

// Resident kB of the mappings of `pid` that start in [lo, lo + span).
long residentInKb(pid_t pid, unsigned long long lo, unsigned long long span) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/smaps");
  long kb = 0;
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    unsigned long long start = 0, end = 0;
    if (sscanf(line.c_str(), "%llx-%llx ", &start, &end) == 2 && line.find(':') > line.find(' ')) {
      inside = start >= lo && start < lo + span;
    } else if (inside && line.compare(0, 4, "Rss:") == 0) {
      kb += atol(line.c_str() + 4);
    }
  }
  return kb;
}

// Exec's the space-separated words of `line`, or fails with 127.
[[noreturn]] void execWords(const char* line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  unsetenv(kExecVar);
  if (!words.empty()) execv(argv[0], argv.data());
  perror("bench_footprint: exec");
  _exit(127);
}

bool isFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The emulator as the shell would find it on this process's PATH.
std::string findInPath(const std::string& name) {
  const char* path = getenv("PATH");
  std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
  }
  return "";
}

double mb(long kb) { return kb / 1024.0; }

}  // namespace

int main(int argc, char** argv) {
  // Started by the simulation in the daemon's place.
  if (const char* exec = getenv(kExecVar)) execWords(exec);
  if (benchEnsureSealed(argc, argv, "bench_footprint") != 0) return 1;
  int settle = 3;
  std::string arm;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--settle") == 0 && i + 1 < argc) {
      settle = atoi(argv[++i]);
    } else if (strcmp(argv[i], "--arm") == 0 && i + 1 < argc) {
      arm = argv[++i];
    } else {
      fprintf(stderr, "usage: bench_footprint [--settle SECONDS] [--arm BUILD_ARMHF]\n");
      return 2;
    }
  }
  std::string daemon = SIM_SYSSRV_REAL_BIN;
  if (!arm.empty()) {
    const std::string bin = arm + "/sim/syssrv", sysroot = arm + "/sysroot", qemu = findInPath("qemu-arm");
    if (!isFile(bin) || qemu.empty()) {
      fprintf(stderr,
              "bench_footprint: no %s or no qemu-arm; scripts/test-armhf makes both (or, in a configured\n"
              "  ARM build folder: cmake --build %s --target syssrv_sim)\n",
              bin.c_str(), arm.c_str());
      return 1;
    }
    char base[32];
    snprintf(base, sizeof base, "0x%llx", kGuestBase);
    daemon = qemu + " -B " + base + " -L " + sysroot + " " + bin;
  }

  SimAppliance app;
  std::string why;
  int status = -1;
  if (!app.setUp(&why) || !app.startConfigService(&why) || !app.startDnsService(&why)) {
    fprintf(stderr, "bench_footprint: %s\n", why.c_str());
    return 1;
  }
  app.setDaemonEnv(kExecVar, daemon);
  if (!app.startDaemon(&why, &status)) {
    fprintf(stderr, "bench_footprint: %s\n", why.c_str());
    if (!arm.empty() && status == -1) {
      fprintf(stderr, "bench_footprint: the emulated start-up against native peers takes about a minute and may "
              "outlast the simulation's %d s limit; try again on an idle machine\n", kSimHangMs / 1000);
    }
    return 1;
  }
  // Read after some passes, not at the fork: the child maps the file pages
  // it shares with its parent only as it touches them.
  const pid_t pid = app.daemonPid();
  sleep(static_cast<unsigned>(settle));
  const long rss = statusKb(pid, "VmRSS"), hwm = statusKb(pid, "VmHWM");
  const long anon = statusKb(pid, "RssAnon"), file = statusKb(pid, "RssFile");
  if (rss < 0 || hwm < 0 || app.daemonPid() != pid) {
    fprintf(stderr, "bench_footprint: the daemon's process %d ended or has no status\n", static_cast<int>(pid));
    return 1;
  }
  const char* what = arm.empty() ? "native syssrv (simulation build)" : "ARM syssrv under qemu-arm";
  printf("%s (start-up %.1f s), %d s after its fork into the main loop: VmRSS %.2f MB (anonymous %.2f, "
         "files %.2f), VmHWM %.2f MB",
         what, app.startupMicros() / 1e6, settle, mb(rss), mb(anon), mb(file), mb(hwm));
  if (!arm.empty()) {
    printf("\n  (%s/sim/syssrv; the figures include the emulator itself and are indicative only, no goal applies)\n",
           arm.c_str());
    printf("  of which resident in the guest's address space (the ARM program, its libraries, heap and stacks as "
           "the emulated daemon touched them): %.2f MB\n",
           mb(residentInKb(pid, kGuestBase, kGuestSpan)));
    return 0;
  }
  printf("; goal VmRSS <= %.0f MB: %s\n", kRssGoalMb, mb(rss) <= kRssGoalMb ? "ok" : "OVER");
  return mb(rss) <= kRssGoalMb ? 0 : 1;
}
