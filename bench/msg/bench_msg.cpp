// Round-trip latency of the message layer against a raw socket.
//
//   bench_msg [--rounds N] [--unpinned | --pinned]
//
// Two processes exchange request/reply pairs carrying a few-field message
// (SystemIF.GetLanStatusRsp: error, connected, speed, duplex), once through
// the MSG layer (a small message is one AF_UNIX datagram, framed, with the
// sender's credentials) and once over a raw AF_UNIX SOCK_SEQPACKET socket
// pair, in the same run. Both sides parse the request
// and serialise the reply as a handler would, so the two differ only by the
// transport. Printed: p50, p99, round trips per second, and the ratio of the
// MSG p50 to the raw p50 next to the target (within 1.2x of raw).
//
// By default it runs unpinned and then with both processes pinned to CPU 0
// (sched_setaffinity before starting the server, which inherits it); the
// pinned run alone is what `taskset -c 0 bench_msg --unpinned` measures.
// The socket directory is MSG_SOCKET_DIR when set, else a fresh one under /tmp.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <sched.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/msg/MSG.h"

#ifdef BENCH_MSG_PROTOBUF
#include "SystemIF.pb.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr MSG_Type kBenchReq = 0x1B0090;  // shaped like a status request of SystemIF
constexpr MSG_Type kBenchRsp = 0x1B0091;
constexpr MSG_Type kBenchQuit = 0x1B0FF2;
constexpr int kWarmup = 500;
const char kServerName[] = "BenchSrvc";
const char kClientName[] = "BenchClient";

// ---- the payload: one few-field message, serialised and parsed ----

#ifdef BENCH_MSG_PROTOBUF
const char kPayloadKind[] = "protobuf SystemIF.GetLanStatusRsp";

std::string makePayload(uint32_t i) {
  SystemIF::GetLanStatusRsp m;
  m.set_error(0);
  m.set_lan_status_connected(i % 2 == 0);
  m.set_lan_speed("1000Mb/s");
  m.set_lan_duplex("full");
  return m.SerializeAsString();
}

bool parsePayload(const void* p, uint32_t n) {
  SystemIF::GetLanStatusRsp m;
  return m.ParseFromArray(p, static_cast<int>(n)) && m.lan_speed() == "1000Mb/s";
}
#else
// Without the generated classes: the same four fields in the same wire
// encoding, written and checked by hand.
const char kPayloadKind[] = "hand-serialised 4-field record (protobuf wire bytes; protos target absent)";

std::string makePayload(uint32_t i) {
  std::string s = {'\x08', '\x00', '\x10', static_cast<char>(i % 2 == 0), '\x1a', '\x08'};
  s += "1000Mb/s";
  s += "\x22\x04";
  s += "full";
  return s;
}

bool parsePayload(const void* p, uint32_t n) {
  return n == 20 && memcmp(static_cast<const char*>(p) + 6, "1000Mb/s", 8) == 0;
}
#endif

// ---- servers, each in its own process started by exec ----

int serveMsg() {
  MSG_DebugSetName("bench_msg server");
  if (MSG_OpenLocal(kServerName) != 0) return 2;
  for (uint32_t i = 0;; ++i) {
    MSG_Message* req = MSG_RecvAnyMsg(kServerName, -1);
    if (req == nullptr) continue;
    if (MSG_GetType(req) == kBenchQuit) break;
    bool ok = parsePayload(MSG_GetPayload(req), MSG_GetPayloadBytes(req));
    std::string body = makePayload(i);
    MSG_Message* rsp = MSG_AllocMsgCopyHdr(req, ok ? kBenchRsp : kBenchQuit, static_cast<uint32_t>(body.size()));
    MSG_ReleaseMsg(req);
    if (rsp == nullptr) return 3;
    memcpy(MSG_GetPayloadMutable(rsp), body.data(), body.size());
    if (MSG_SendMsg(kServerName, 0, rsp) != 0) return 4;
  }
  MSG_CloseLocal(kServerName);
  return 0;
}

int serveRaw(int fd) {
  char buf[512];
  for (uint32_t i = 0;; ++i) {
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return 0;
    if (!parsePayload(buf, static_cast<uint32_t>(n))) return 3;
    std::string body = makePayload(i);
    if (send(fd, body.data(), body.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(body.size())) return 4;
  }
}

// ---- clients ----

struct Result {
  double p50Us = 0;
  double p99Us = 0;
  double perSecond = 0;
  bool ok = false;
};

Result summarise(std::vector<double>& us, double totalSeconds) {
  Result r;
  if (us.empty()) return r;
  std::sort(us.begin(), us.end());
  r.p50Us = us[us.size() / 2];
  r.p99Us = us[us.size() * 99 / 100];
  r.perSecond = static_cast<double>(us.size()) / totalSeconds;
  r.ok = true;
  return r;
}

pid_t startSelf(const std::vector<std::string>& args) {
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  static char self[] = "/proc/self/exe";
  argv.push_back(self);
  for (std::string& a : copy) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    execv(self, argv.data());
    _exit(127);
  }
  return pid;
}

Result runMsg(int rounds) {
  Result bad;
  pid_t pid = startSelf({"--serve-msg"});
  if (pid < 0) return bad;
  MSG_Endpoint srv = 0;
  if (MSG_OpenRemoteSync(kClientName, kServerName, 5000, &srv) != 0) {
    waitpid(pid, nullptr, 0);
    return bad;
  }
  std::vector<double> us;
  us.reserve(rounds);
  Clock::time_point start = Clock::now();
  for (int i = 0; i < kWarmup + rounds; ++i) {
    if (i == kWarmup) start = Clock::now();
    Clock::time_point t0 = Clock::now();
    std::string body = makePayload(static_cast<uint32_t>(i));
    MSG_Message* req = MSG_AllocMsg(kBenchReq, MSG_GetNextSequence(), static_cast<uint32_t>(body.size()));
    if (req == nullptr) break;
    memcpy(MSG_GetPayloadMutable(req), body.data(), body.size());
    if (MSG_SendMsg(kClientName, srv, req) != 0) break;
    MSG_Message* rsp = MSG_RecvMsg(kClientName, kBenchRsp, 5000);
    if (rsp == nullptr) break;
    bool ok = parsePayload(MSG_GetPayload(rsp), MSG_GetPayloadBytes(rsp));
    MSG_ReleaseMsg(rsp);
    if (!ok) break;
    if (i >= kWarmup) us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  double total = std::chrono::duration<double>(Clock::now() - start).count();
  MSG_SendMsg(kClientName, srv, MSG_AllocMsg(kBenchQuit, 0, 0));
  waitpid(pid, nullptr, 0);
  if (static_cast<int>(us.size()) != rounds) return bad;
  return summarise(us, total);
}

Result runRaw(int rounds) {
  Result bad;
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) != 0) return bad;
  int childFd = dup(sv[1]);  // without close-on-exec: the server's end
  pid_t pid = startSelf({"--serve-raw", std::to_string(childFd)});
  close(childFd);
  close(sv[1]);
  if (pid < 0) return bad;
  std::vector<double> us;
  us.reserve(rounds);
  char buf[512];
  Clock::time_point start = Clock::now();
  for (int i = 0; i < kWarmup + rounds; ++i) {
    if (i == kWarmup) start = Clock::now();
    Clock::time_point t0 = Clock::now();
    std::string body = makePayload(static_cast<uint32_t>(i));
    if (send(sv[0], body.data(), body.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(body.size())) break;
    ssize_t n = recv(sv[0], buf, sizeof buf, 0);
    if (n <= 0 || !parsePayload(buf, static_cast<uint32_t>(n))) break;
    if (i >= kWarmup) us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  double total = std::chrono::duration<double>(Clock::now() - start).count();
  close(sv[0]);
  waitpid(pid, nullptr, 0);
  if (static_cast<int>(us.size()) != rounds) return bad;
  return summarise(us, total);
}

void printRow(const char* mode, const char* transport, const Result& r) {
  if (!r.ok) {
    printf("%-12s %-26s FAILED\n", mode, transport);
    return;
  }
  printf("%-12s %-26s %9.1f %9.1f %14.0f\n", mode, transport, r.p50Us, r.p99Us, r.perSecond);
}

// Returns false when the MSG run failed.
bool runMode(const char* mode, int rounds) {
  Result msg = runMsg(rounds);
  Result raw = runRaw(rounds);
  printRow(mode, "MSG (AF_UNIX datagram)", msg);
  printRow(mode, "raw AF_UNIX SOCK_SEQPACKET", raw);
  if (msg.ok && raw.ok) {
    double ratio = msg.p50Us / raw.p50Us;
    printf("%-12s MSG p50 / raw p50 = %.2f   target: p50 within 1.2x of raw   %s\n", mode, ratio,
           ratio <= 1.2 ? "met" : "NOT met");
  }
  return msg.ok;
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--serve-msg") == 0) return serveMsg();
  if (argc == 3 && strcmp(argv[1], "--serve-raw") == 0) return serveRaw(atoi(argv[2]));
  int rounds = 20000;
  bool unpinned = true;
  bool pinned = true;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = atoi(argv[++i]);
    } else if (strcmp(argv[i], "--unpinned") == 0) {
      pinned = false;
    } else if (strcmp(argv[i], "--pinned") == 0) {
      unpinned = false;
    } else {
      fprintf(stderr, "usage: bench_msg [--rounds N] [--unpinned | --pinned]\n");
      return 64;
    }
  }
  if (rounds < 100) rounds = 100;

  std::string tmpRoot;
  if (getenv("MSG_SOCKET_DIR") == nullptr) {
    char tmpl[] = "/tmp/bm.XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
      perror("bench_msg: mkdtemp");
      return 1;
    }
    tmpRoot = tmpl;
    setenv("MSG_SOCKET_DIR", (tmpRoot + "/s").c_str(), 1);
  }
  MSG_DebugSetName("bench_msg");
  if (MSG_OpenLocal(kClientName) != 0) return 1;

  std::string sample = makePayload(0);
  printf("bench_msg: %d request/reply round trips per row (after %d warm-up), payload %zu bytes, %s\n", rounds,
         kWarmup, sample.size(), kPayloadKind);
  printf("%-12s %-26s %9s %9s %14s\n", "mode", "transport", "p50 us", "p99 us", "round trips/s");
  bool ok = true;
  if (unpinned) ok = runMode("unpinned", rounds) && ok;
  if (pinned) {
    cpu_set_t before;
    cpu_set_t one;
    sched_getaffinity(0, sizeof before, &before);
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    if (sched_setaffinity(0, sizeof one, &one) != 0) {
      perror("bench_msg: sched_setaffinity");
      ok = false;
    } else {
      ok = runMode("pinned cpu0", rounds) && ok;
      sched_setaffinity(0, sizeof before, &before);
    }
  }
  MSG_CloseLocal(kClientName);
  if (!tmpRoot.empty()) nftw(tmpRoot.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
  return ok ? 0 : 1;
}
