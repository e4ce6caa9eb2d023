// configsrvc benchmark: the round trip of a configuration read through the
// message layer beside the raw AF_UNIX ping-pong measured in the same run,
// in alternating blocks (what the layer and the service add); the other
// requests of the daemon's start-up (levels set again, callbacks registered
// again, levels changed); and durable writes per second (each write synced
// to the disk before it is answered).
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
// A read is served from memory: beside a bare socket round trip it should
// cost little more than the message layer's framing.
constexpr double kReadRatioGoal = 1.5;
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
// local round trip. Kept for the whole run, so that its blocks alternate
// with the service's on a machine whose load changes.
class RawPeer {
 public:
  RawPeer() {
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, m_sv) != 0) exit(1);
    m_pid = fork();
    if (m_pid == 0) {
      close(m_sv[0]);
      char buf[kPingBytes];
      for (;;) {
        if (!readAll(m_sv[1], buf)) _exit(0);
        if (write(m_sv[1], buf, sizeof buf) != static_cast<ssize_t>(sizeof buf)) _exit(0);
      }
    }
    close(m_sv[1]);
  }
  ~RawPeer() {
    close(m_sv[0]);
    waitpid(m_pid, nullptr, 0);
  }
  // Appends the times of n round trips to *us.
  void time(int n, std::vector<double>* us) {
    char buf[kPingBytes] = {1};
    for (int i = 0; i < n; ++i) {
      auto t0 = Clock::now();
      if (write(m_sv[0], buf, sizeof buf) != static_cast<ssize_t>(sizeof buf) || !readAll(m_sv[0], buf)) exit(1);
      us->push_back(usSince(t0));
    }
  }

 private:
  static bool readAll(int fd, char (&buf)[kPingBytes]) {
    size_t got = 0;
    while (got < sizeof buf) {
      ssize_t r = read(fd, buf + got, sizeof buf - got);
      if (r <= 0) return false;
      got += static_cast<size_t>(r);
    }
    return true;
  }
  int m_sv[2] = {-1, -1};
  pid_t m_pid = -1;
};

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
    ConfigIF::ReadReq rq;
    rq.set_name(local);
    rq.set_role(CommonIF::kSystem);
    rq.mutable_instance()->add_node()->set_name("bench.value");
    ConfigIF::ReadRsp rr;
    // What the daemon sends at every start besides reads: the levels it
    // set the last time, and the callbacks the service kept for it.
    ConfigIF::SetAccessLevelsReq lq;
    lq.set_name(local);
    lq.set_role(CommonIF::kSystem);
    lq.add_instance()->add_node()->set_name("bench.value");
    lq.set_write_level(CommonIF::kSystem);
    ConfigIF::SetAccessLevelsRsp lr;
    ConfigIF::RegisterClientCallbackReq gq;
    gq.set_name(local);
    gq.set_role(CommonIF::kSystem);
    gq.set_node_name("bench.value");
    gq.set_type(ConfigIF::kChangeNotify);
    gq.set_user_context("");
    ConfigIF::RegisterClientCallbackRsp gr;
    for (int i = 0; i < 200; ++i) request(local, to, rq, &rr);  // warm-up
    bool ok = request(local, to, lq, &lr) && lr.error() == 0 && request(local, to, gq, &gr) && gr.error() == 0;

    // Blocks of each, in turn.
    RawPeer peer;
    std::vector<double> rawUs, us, levelUs, regUs;
    constexpr int kBlocks = 10;
    for (int b = 0; ok && b < kBlocks; ++b) {
      peer.time(reads / kBlocks, &rawUs);
      for (int i = 0; ok && i < reads / kBlocks; ++i) {
        auto t0 = Clock::now();
        ok = request(local, to, rq, &rr) && rr.error() == 0;
        us.push_back(usSince(t0));
        if (i % 4 != 0) continue;
        t0 = Clock::now();
        ok = ok && request(local, to, lq, &lr) && lr.error() == 0;
        levelUs.push_back(usSince(t0));
        t0 = Clock::now();
        ok = ok && request(local, to, gq, &gr) && gr.error() == 0;
        regUs.push_back(usSince(t0));
      }
    }
    // A change of levels: committed, not synced.
    std::vector<double> changeUs;
    for (int i = 0; ok && i < writes; ++i) {
      lq.set_read_level(i % 2 ? CommonIF::kUser : CommonIF::kAdmin);
      auto t0 = Clock::now();
      ok = request(local, to, lq, &lr) && lr.error() == 0;
      changeUs.push_back(usSince(t0));
    }

    ConfigIF::WriteReq wq;
    wq.set_name(local);
    wq.set_role(CommonIF::kSystem);
    wq.mutable_instance_val()->mutable_instance()->add_node()->set_name("bench.value");
    wq.mutable_instance_val()->add_value("");
    ConfigIF::WriteRsp wr;
    int written = 0;
    auto w0 = Clock::now();
    for (int i = 0; ok && i < writes; ++i) {
      wq.mutable_instance_val()->set_value(0, "value-" + std::to_string(i));
      if (!request(local, to, wq, &wr) || wr.error() != 0) break;
      ++written;
    }
    double perSec = written / (usSince(w0) / 1e6);

    if (ok && written == writes) {
      Stats raw = statsOf(rawUs), cfg = statsOf(us), lvl = statsOf(levelUs), reg = statsOf(regUs);
      Stats change = statsOf(changeUs);
      printf("raw AF_UNIX ping-pong (%zu B): mean %.1f us, p50 %.1f us, p99 %.1f us (%zu round trips)\n", kPingBytes,
             raw.mean, raw.p50, raw.p99, rawUs.size());
      printf("config read round trip:      mean %.1f us, p50 %.1f us, p99 %.1f us (%zu reads); limit %.0f us (mean): "
             "%s\n",
             cfg.mean, cfg.p50, cfg.p99, us.size(), kReadLimitUs, cfg.mean <= kReadLimitUs ? "ok" : "OVER");
      const double ratio = cfg.p50 / raw.p50;
      printf("config read / raw round trip: %.2fx (p50; mean %.2fx); goal %.1fx: %s\n", ratio, cfg.mean / raw.mean,
             kReadRatioGoal, ratio <= kReadRatioGoal ? "ok" : "OVER");
      printf("levels set again (unchanged): p50 %.1f us, %.2fx raw; callback registered again: p50 %.1f us, %.2fx raw\n",
             lvl.p50, lvl.p50 / raw.p50, reg.p50, reg.p50 / raw.p50);
      printf("levels changed (committed, not synced): p50 %.1f us, p99 %.1f us (%d changes)\n", change.p50, change.p99,
             writes);
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
