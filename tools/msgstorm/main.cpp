// msgstorm [--to NAME] [--messages N] [--senders S] [--window W]
//          [--deadline-s SECS] [--pid PID [--max-fd-growth N]
//          [--max-rss-growth-kb KB]]
//
// Floods a service (default "SystemSrvc") with N messages (default 100000)
// from S sender processes (default 4), each with an endpoint of its own,
// mixing requests it answers with input it must drop (stormMix.h). Every
// answer is matched to its request by sequence number. Prints one line:
//
//   msgstorm: senders 4 messages 100000 requests 50000 replies 50000
//   missing 0 duplicate 0 stray 0 send-failed 0 seconds 41.20 rate 2427/s
//
// (on one line), and with --pid the service's open descriptors and resident
// memory before and after: "msgstorm: pid 812 fds 14 14 vmrss-kb 5120 5124".
// Exit status 0 when every message went out, every request was answered
// exactly once and the service grew by no more descriptors and resident
// kilobytes than the limits given, 1 otherwise, 2 for bad arguments. Senders still running at
// the deadline (default 600 s) are killed by their process ids.
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/msg/MSG.h"
#include "tools/msgstorm/stormSender.h"

namespace {

const char kUsage[] =
    "usage: msgstorm [--to NAME] [--messages N] [--senders S] [--window W] [--deadline-s SECS] [--pid PID "
    "[--max-fd-growth N] [--max-rss-growth-kb KB]]";

struct Options {
  std::string to = "SystemSrvc";
  uint64_t messages = 100000;
  long senders = 4;
  long window = 64;
  long deadlineS = 600;
  long pid = 0;
  long maxFdGrowth = -1;  // -1: not checked
  long maxRssGrowthKb = -1;
};

// A decimal number in [min, max]; false for anything else.
bool number(const char* s, long min, long max, long* out) {
  if (s == nullptr || *s == '\0' || strspn(s, "0123456789") != strlen(s) || strlen(s) > 10) return false;
  const long long v = strtoll(s, nullptr, 10);
  if (v < min || v > max) return false;
  *out = static_cast<long>(v);
  return true;
}

bool parse(int argc, char** argv, Options* o) {
  // Every option takes a value: they come in pairs.
  for (int i = 1; i < argc; i += 2) {
    const std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    long n = 0;
    if (a == "--to" && v != nullptr && *v != '\0') {
      o->to = v;
    } else if (a == "--messages" && (number(v, 1, 100000000, &n))) {
      o->messages = static_cast<uint64_t>(n);
    } else if (a == "--senders" && (number(v, 1, 64, &n))) {
      o->senders = n;
    } else if (a == "--window" && (number(v, 1, 4096, &n))) {
      o->window = n;
    } else if (a == "--deadline-s" && (number(v, 1, 86400, &n))) {
      o->deadlineS = n;
    } else if (a == "--pid" && (number(v, 1, 1 << 22, &n))) {
      o->pid = n;
    } else if (a == "--max-fd-growth" && (number(v, 0, 1 << 20, &n))) {
      o->maxFdGrowth = n;
    } else if (a == "--max-rss-growth-kb" && (number(v, 0, 1 << 30, &n))) {
      o->maxRssGrowthKb = n;
    } else {
      return false;
    }
  }
  return o->pid != 0 || (o->maxFdGrowth < 0 && o->maxRssGrowthKb < 0);
}

// Open descriptors and resident kilobytes of process `pid`; -1 when unreadable.
struct ProcFigures {
  long fds = -1;
  long rssKb = -1;
};

ProcFigures sampleOnce(long pid) {
  ProcFigures f;
  const std::string dir = "/proc/" + std::to_string(pid);
  if (DIR* d = opendir((dir + "/fd").c_str())) {
    f.fds = 0;
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') ++f.fds;
    }
    closedir(d);
  }
  std::ifstream status(dir + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, 6, "VmRSS:") == 0) f.rssKb = strtol(line.c_str() + 6, nullptr, 10);
  }
  return f;
}

// A service opens files for a moment in the course of its work (a pass of
// its loop, a command it runs): the least of a few looks a little apart,
// once it has had a moment to finish with the last messages, is what it
// keeps open.
constexpr int kSettleMs = 1000;
constexpr int kLooks = 5;
constexpr int kLookApartMs = 200;

ProcFigures sample(long pid) {
  usleep(kSettleMs * 1000);
  ProcFigures least = sampleOnce(pid);
  for (int i = 1; i < kLooks; ++i) {
    usleep(kLookApartMs * 1000);
    const ProcFigures f = sampleOnce(pid);
    least.fds = std::min(least.fds, f.fds);
    least.rssKb = std::min(least.rssKb, f.rssKb);
  }
  return least;
}

// The senders, for the alarm to end them by process id.
pid_t gSenders[64];
volatile sig_atomic_t gSenderCount = 0;

void onAlarm(int) {
  for (sig_atomic_t k = 0; k < gSenderCount; ++k) kill(gSenders[k], SIGKILL);
}

// Runs sender `k` in a child process; its counts come back on `fd`.
pid_t startSender(const Options& o, long k, int fd) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  StormSenderOptions s;
  s.local = "Storm" + std::to_string(getpid()) + "-" + std::to_string(k);
  s.to = o.to;
  s.messages = o.messages / static_cast<uint64_t>(o.senders) +
               (static_cast<uint64_t>(k) < o.messages % static_cast<uint64_t>(o.senders) ? 1 : 0);
  s.first = static_cast<uint64_t>(k);
  s.window = static_cast<int>(o.window);
  s.deadlineMs = static_cast<int>(o.deadlineS * 1000);
  MSG_DebugSetName(s.local.c_str());
  const StormCounts c = stormSend(s);
  const ssize_t w = write(fd, &c, sizeof c);
  _exit(w == static_cast<ssize_t>(sizeof c) ? 0 : 1);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, &o)) {
    std::cerr << "msgstorm: bad arguments (" << kUsage << ")" << std::endl;
    return 2;
  }
  const ProcFigures before = o.pid != 0 ? sample(o.pid) : ProcFigures();
  const auto start = std::chrono::steady_clock::now();
  std::vector<pid_t> pids;
  std::vector<int> fds;
  for (long k = 0; k < o.senders; ++k) {
    int p[2];
    if (pipe(p) != 0) break;
    std::cout.flush();
    const pid_t pid = startSender(o, k, p[1]);
    close(p[1]);
    if (pid < 0) {
      close(p[0]);
      break;
    }
    pids.push_back(pid);
    fds.push_back(p[0]);
    gSenders[gSenderCount] = pid;
    gSenderCount = gSenderCount + 1;
  }
  // Each sender ends by its deadline (a blocked send or the first look for
  // the service may add seconds); one still running well after is killed,
  // and its counts do not come.
  signal(SIGALRM, onAlarm);
  alarm(static_cast<unsigned>(o.deadlineS + 30));
  StormCounts sum;
  bool complete = pids.size() == static_cast<size_t>(o.senders);
  for (size_t k = 0; k < pids.size(); ++k) {
    StormCounts c;
    ssize_t r;
    do {
      r = read(fds[k], &c, sizeof c);
    } while (r < 0 && errno == EINTR);
    const bool got = r == static_cast<ssize_t>(sizeof c);
    close(fds[k]);
    if (!got) kill(pids[k], SIGKILL);
    while (waitpid(pids[k], nullptr, 0) < 0 && errno == EINTR) {
    }
    complete = complete && got && c.failed == 0;
    if (!got) continue;
    sum.sent += c.sent, sum.sendFailed += c.sendFailed, sum.requests += c.requests, sum.replies += c.replies;
    sum.duplicate += c.duplicate, sum.stray += c.stray, sum.missing += c.missing;
  }
  alarm(0);
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  printf("msgstorm: senders %ld messages %llu requests %llu replies %llu missing %llu duplicate %llu stray %llu "
         "send-failed %llu seconds %.2f rate %.0f/s\n",
         o.senders, static_cast<unsigned long long>(sum.sent), static_cast<unsigned long long>(sum.requests),
         static_cast<unsigned long long>(sum.replies), static_cast<unsigned long long>(sum.missing),
         static_cast<unsigned long long>(sum.duplicate), static_cast<unsigned long long>(sum.stray),
         static_cast<unsigned long long>(sum.sendFailed), secs, secs > 0 ? static_cast<double>(sum.sent) / secs : 0);
  bool kept = true;
  if (o.pid != 0) {
    const ProcFigures after = sample(o.pid);
    printf("msgstorm: pid %ld fds %ld %ld vmrss-kb %ld %ld\n", o.pid, before.fds, after.fds, before.rssKb,
           after.rssKb);
    auto within = [](long was, long is, long limit) { return limit < 0 || (was >= 0 && is >= 0 && is - was <= limit); };
    kept = within(before.fds, after.fds, o.maxFdGrowth) && within(before.rssKb, after.rssKb, o.maxRssGrowthKb);
    if (!kept) printf("msgstorm: the service grew past the limits\n");
  }
  const bool exact = complete && sum.sent == o.messages && sum.replies == sum.requests && sum.missing == 0 &&
                     sum.duplicate == 0 && sum.stray == 0;
  return exact && kept ? 0 : 1;
}
