// configsrvc benchmark: the round trip of a configuration read through the
// message layer beside the raw AF_UNIX ping-pong measured in the same run
// (what the layer and the service add), and durable writes per second
// (each write committed with an fsync before it is answered).
//
// configsrvc_bench [READS] [WRITES]; prints one line per figure with its
// limit. Runs in a private temporary directory.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "ConfigIF.pb.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgUtil.h"

namespace {

using Clock = std::chrono::steady_clock;

// The daemon waits 1000 ms per configuration request and makes several
// hundred of them before its main loop; a read must cost a small fraction
// of a millisecond for start-up to stay well under a second.
constexpr double kReadLimitUs = 500.0;
// Start-up publishes a few dozen values and a submit writes a handful;
// below this a user would notice the save.
constexpr double kWriteLimitPerSec = 50.0;
// The payload of a config read request and its answer are about this size.
constexpr size_t kPingBytes = 64;

double usSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

struct Stats {
  double mean, p50, p99;
};

Stats statsOf(std::vector<double> us) {
  std::sort(us.begin(), us.end());
  double sum = 0;
  for (double v : us) sum += v;
  return {sum / us.size(), us[us.size() / 2], us[us.size() * 99 / 100]};
}

// Ping-pong over a socketpair with a child that echoes, the floor of any
// local round trip.
Stats rawPingPong(int n) {
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0) exit(1);
  pid_t pid = fork();
  if (pid == 0) {
    close(sv[0]);
    char buf[kPingBytes];
    for (;;) {
      size_t got = 0;
      while (got < sizeof buf) {
        ssize_t r = read(sv[1], buf + got, sizeof buf - got);
        if (r <= 0) _exit(0);
        got += static_cast<size_t>(r);
      }
      if (write(sv[1], buf, sizeof buf) != static_cast<ssize_t>(sizeof buf)) _exit(0);
    }
  }
  close(sv[1]);
  char buf[kPingBytes] = {1};
  std::vector<double> us;
  for (int i = 0; i < n; ++i) {
    auto t0 = Clock::now();
    if (write(sv[0], buf, sizeof buf) != static_cast<ssize_t>(sizeof buf)) break;
    size_t got = 0;
    while (got < sizeof buf) {
      ssize_t r = read(sv[0], buf + got, sizeof buf - got);
      if (r <= 0) exit(1);
      got += static_cast<size_t>(r);
    }
    us.push_back(usSince(t0));
  }
  close(sv[0]);
  waitpid(pid, nullptr, 0);
  return statsOf(us);
}

bool request(const char* local, MSG_Endpoint to, const google::protobuf::Message& req,
             google::protobuf::Message* rsp) {
  MSG_Message* m = msgUtil_buildMsg(req, MSG_GetNextSequence(), nullptr);
  if (m == nullptr || MSG_SendMsg(local, to, m) != 0) return false;
  MSG_Message* r = MSG_RecvMsg(local, msgUtil_getMsgId(*rsp), 5000);
  if (r == nullptr) return false;
  bool ok = rsp->ParseFromArray(MSG_GetPayload(r), static_cast<int>(MSG_GetPayloadBytes(r)));
  MSG_ReleaseMsg(r);
  return ok;
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

}  // namespace

int main(int argc, char** argv) {
  int reads = argc > 1 ? atoi(argv[1]) : 5000;
  int writes = argc > 2 ? atoi(argv[2]) : 300;
  if (reads < 100 || writes < 10) {
    fprintf(stderr, "usage: configsrvc_bench [READS>=100] [WRITES>=10]\n");
    return 2;
  }
  char tmpl[] = "/tmp/cfgb.XXXXXX";
  if (mkdtemp(tmpl) == nullptr) return 1;
  std::string root = tmpl;
  setenv("MSG_SOCKET_DIR", (root + "/s").c_str(), 1);
  std::ofstream(root + "/seed.txt") << "bench.value  user/admin  \"x\"\n";

  pid_t srv = fork();
  if (srv == 0) {
    int fd = open((root + "/configsrvc.log").c_str(), O_WRONLY | O_CREAT, 0644);
    dup2(fd, 2);
    execl(CFG_BENCH_CONFIGSRVC, CFG_BENCH_CONFIGSRVC, "--db", (root + "/bench.db").c_str(), "--seed",
          (root + "/seed.txt").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const char* local = "config_read";
  MSG_Endpoint to = 0;
  int status = 1;
  if (MSG_OpenLocal(local) == 0 && MSG_OpenRemoteSync(local, "ConfigSrvc", 10000, &to) == 0) {
    Stats raw = rawPingPong(reads * 4);

    ConfigIF::ReadReq rq;
    rq.set_name(local);
    rq.set_role(CommonIF::kSystem);
    rq.mutable_instance()->add_node()->set_name("bench.value");
    ConfigIF::ReadRsp rr;
    for (int i = 0; i < 200; ++i) request(local, to, rq, &rr);  // warm-up
    std::vector<double> us;
    for (int i = 0; i < reads; ++i) {
      auto t0 = Clock::now();
      if (!request(local, to, rq, &rr) || rr.error() != 0) break;
      us.push_back(usSince(t0));
    }

    ConfigIF::WriteReq wq;
    wq.set_name(local);
    wq.set_role(CommonIF::kSystem);
    wq.mutable_instance_val()->mutable_instance()->add_node()->set_name("bench.value");
    wq.mutable_instance_val()->add_value("");
    ConfigIF::WriteRsp wr;
    int written = 0;
    auto w0 = Clock::now();
    for (int i = 0; i < writes; ++i) {
      wq.mutable_instance_val()->set_value(0, "value-" + std::to_string(i));
      if (!request(local, to, wq, &wr) || wr.error() != 0) break;
      ++written;
    }
    double perSec = written / (usSince(w0) / 1e6);

    if (us.size() == static_cast<size_t>(reads) && written == writes) {
      Stats cfg = statsOf(us);
      printf("raw AF_UNIX ping-pong (%zu B): mean %.1f us, p50 %.1f us, p99 %.1f us (%d round trips)\n", kPingBytes,
             raw.mean, raw.p50, raw.p99, reads * 4);
      printf("config read round trip:      mean %.1f us, p50 %.1f us, p99 %.1f us (%d reads), %.1fx raw; "
             "limit %.0f us (mean): %s\n",
             cfg.mean, cfg.p50, cfg.p99, reads, cfg.mean / raw.mean, kReadLimitUs,
             cfg.mean <= kReadLimitUs ? "ok" : "OVER");
      printf("durable writes:              %.0f writes/s (%d writes, WAL + synchronous=FULL); limit %.0f/s: %s\n",
             perSec, writes, kWriteLimitPerSec, perSec >= kWriteLimitPerSec ? "ok" : "UNDER");
      status = (cfg.mean <= kReadLimitUs && perSec >= kWriteLimitPerSec) ? 0 : 3;
    } else {
      fprintf(stderr, "configsrvc_bench: requests failed after %zu reads, %d writes\n", us.size(), written);
    }
  } else {
    fprintf(stderr, "configsrvc_bench: configsrvc did not come up (see %s/configsrvc.log)\n", root.c_str());
  }
  MSG_CloseLocal(local);
  kill(srv, SIGTERM);
  waitpid(srv, nullptr, 0);
  nftw(root.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
  return status;
}
