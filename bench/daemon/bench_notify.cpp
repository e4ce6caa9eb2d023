// Rate of configuration change notifications through the daemon's
// dispatcher, beside the raw AF_UNIX SEQPACKET round-trip rate of the same
// run.
//
//   bench_notify [--count N]          (default 100000)
//   bench_notify --daemon [--count N] (default 5000)
//
// What is measured: this process plays the daemon's message side. It opens
// "SystemSrvc" on the real message layer, registers config_change_notify
// for ConfigIF.ConfigChangedNtfy as the daemon's start-up does, and runs
// the main loop's receive-and-dispatch step, syssrvMessageLoop(1000), once
// per notification. A second process, in the configuration service's place,
// sends them from an endpoint of its own: "video.monitor[1].signalType" =
// "HDMI", three nodes and one value, a change the dispatcher routes to no
// action on this model (the front panel follows it only on another one).
// So what is timed is taking the message in, decoding it, the routing
// table, the common tail and the debug log line, which is written to a log
// device file under a temporary root (the daemon's seam).
//
// Not included: the main loop's periodic work between two receives
// (temperature, LAN carrier, a configuration read per pass): that costs a
// pass, not a notification.
//
// --daemon measures the whole daemon instead, sealed (sim/seal, which it
// enters itself): the simulation's daemon after its start-up, N
// notifications sent to its endpoint while its main loop runs. The loop
// takes one message per pass and does a pass's periodic work after each, so
// this is the rate of passes with a notification in them; the clock stops
// when the last one's debug line is in the daemon's log (polled every
// 50 ms). No goal applies to it.
//
// Two figures: the goal (at least 50,000 a second) applies to the
// dispatcher, timed while it drains bursts of kBurst notifications that the
// sender queued whole beforehand (as a submit of many variables does); the
// streamed figure, N sent while the loop dispatches, is paced by the slower
// side and printed with the sender's own rate. Raw: ping-pong of 64-byte
// packets with a child that echoes, one round trip being a request and its
// answer.
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ConfigIF.pb.h"
#include "bench/daemon/benchSim.h"
#include "OS/logmsg.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgIds.h"
#include "platform/sysio/sysio.h"
#include "platform/sysio/sysio_sandbox.h"
#include "systemservice/syssrvConfigNotify.h"
#include "systemservice/syssrvMessageTable.h"
#include "tests/sim/simAppliance.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kGoalPerSec = 50000.0;
constexpr size_t kPingBytes = 64;
// Notifications queued at once: what the sockets hold without the sender
// blocking (about 60 kB of frames).
constexpr int kBurst = 500;
const char kDaemon[] = "SystemSrvc";
const char kSender[] = "BenchConfigSrvc";

int gHandled = 0;

void countedNotify(void* ctx, const MSG_Message* msg) {
  config_change_notify(ctx, msg);
  ++gHandled;
}

std::string notification(const char* value = "HDMI") {
  ConfigIF::ConfigChangedNtfy n;
  ConfigIF::Inst* inst = n.mutable_instance_val()->mutable_instance();
  for (auto [name, instance] : {std::pair<const char*, int>{"video", 0}, {"monitor", 1}, {"signalType", 0}}) {
    ConfigIF::Node* node = inst->add_node();
    node->set_name(name);
    node->set_instance(instance);
  }
  n.mutable_instance_val()->add_value(value);
  n.set_name("WebSrvc");
  n.set_role(CommonIF::kAdmin);
  return n.SerializeAsString();
}

// The sender's process. For each command byte read from `cmd` it sends
// notifications to "SystemSrvc": 's' `count` of them, 'b' one burst of
// kBurst; then it writes its elapsed microseconds (a double) to `done`.
// It ends at the end of `cmd`.
[[noreturn]] void sender(int cmd, int done, int count) {
  if (MSG_OpenLocal(kSender) != 0) _exit(2);
  MSG_Endpoint to = 0;
  if (MSG_OpenRemoteSync(kSender, kDaemon, 10000, &to) != 0) _exit(3);
  const std::string payload = notification();
  for (char c; read(cmd, &c, 1) == 1;) {
    const int n = c == 's' ? count : kBurst;
    auto t0 = Clock::now();
    for (int i = 0; i < n; ++i) {
      MSG_Message* m = MSG_AllocMsg(kMsgIdConfigIFConfigChangedNtfy, MSG_GetNextSequence(),
                                    static_cast<uint32_t>(payload.size()));
      if (m == nullptr) _exit(5);
      memcpy(MSG_GetPayloadMutable(m), payload.data(), payload.size());
      if (MSG_SendMsg(kSender, to, m) != 0) _exit(6);  // which takes the message
    }
    double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
    if (write(done, &us, sizeof us) != sizeof us) _exit(7);
  }
  _exit(0);
}

// Runs the loop's receive-and-dispatch step until `target` notifications
// were handled in all; false after five idle seconds.
bool dispatchUntil(int target) {
  for (int idle = 0; gHandled < target && idle < 5;) {
    const int before = gHandled;
    syssrvMessageLoop(1000);
    idle = gHandled == before ? idle + 1 : 0;
  }
  return gHandled >= target;
}


// The whole daemon of the simulation (--daemon); the exit status.
int daemonRun(int count) {
  SimAppliance app;
  std::string why;
  int status = -1;
  if (!app.setUp(&why) || !app.startConfigService(&why) || !app.startDnsService(&why) ||
      !app.startDaemon(&why, &status)) {
    fprintf(stderr, "bench_notify: %s\n", why.c_str());
    return 1;
  }
  const std::string payload = notification(), last = notification("DVI");
  const double rawSecs = benchRawRoundTrips(count, kPingBytes);
  // The configuration service logs each request it answers.
  auto requests = [&] {
    int n = 0;
    for (const std::string& l : app.configLog()) {
      n += l.rfind("configsrvc: ConfigIF.", 0) == 0 && l.find("Req (") != std::string::npos;
    }
    return n;
  };
  const int requestsBefore = requests();
  auto t0 = Clock::now();
  for (int i = 0; i < count; ++i) {
    if (!app.sendRaw(kMsgIdConfigIFConfigChangedNtfy, i + 1 < count ? payload : last)) {
      fprintf(stderr, "bench_notify: sending notification %d to the daemon failed\n", i + 1);
      return 1;
    }
  }
  const std::string logged = "config_change_notify: varName:video.monitor[1].signalType val:";
  const bool seen = simWaitFor([&] { return simFind(app.daemonLog(), logged + "DVI") >= 0; });
  const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
  int handled = 0;
  for (const std::string& l : app.daemonLog()) handled += l.find(logged) != std::string::npos;
  if (!seen || handled != count || rawSecs < 0) {
    fprintf(stderr, "bench_notify: the daemon logged %d of %d notifications\n", handled, count);
    return 1;
  }
  printf("change notifications through the simulation's daemon (one per main-loop pass), %d: %.0f/s (%.1f us "
         "each); no goal applies\n",
         count, count / secs, secs * 1e6 / count);
  printf("  configuration requests the daemon made meanwhile: %.2f per notification\n",
         static_cast<double>(requests() - requestsBefore) / count);
  printf("raw AF_UNIX SEQPACKET round trips (%zu B, two processes): %.0f/s (%.2f us each)\n", kPingBytes,
         count / rawSecs, rawSecs * 1e6 / count);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool daemon = argc > 1 && strcmp(argv[1], "--daemon") == 0;
  int count = daemon ? 5000 : 100000;
  const int at = daemon ? 2 : 1;
  if (argc == at + 2 && strcmp(argv[at], "--count") == 0) {
    count = atoi(argv[at + 1]);
  } else if (argc != at) {
    fprintf(stderr, "usage: bench_notify [--daemon] [--count N]\n");
    return 2;
  }
  if (count < 1) {
    fprintf(stderr, "bench_notify: --count must be at least 1\n");
    return 2;
  }
  if (daemon) {
    if (benchEnsureSealed(argc, argv, "bench_notify") != 0) return 1;
    return daemonRun(count);
  }
  char tmpl[] = "/tmp/bench_notify.XXXXXX";
  if (mkdtemp(tmpl) == nullptr) {
    perror("bench_notify: mkdtemp");
    return 1;
  }
  const std::string root = tmpl;
  std::filesystem::create_directories(root + "/dev");
  std::filesystem::create_directories(root + "/msg");
  std::ofstream(root + "/dev/crvllog").flush();
  setenv("MSG_SOCKET_DIR", (root + "/msg").c_str(), 1);

  // The raw figure first, before the message layer's threads exist.
  const double rawSecs = benchRawRoundTrips(count, kPingBytes);

  // The sender forks before this process starts the message layer (and its
  // threads) and links to "SystemSrvc" once that exists.
  int go[2], done[2];
  if (pipe(go) != 0 || pipe(done) != 0) return 1;
  pid_t pid = fork();
  if (pid == 0) {
    close(go[1]);
    close(done[0]);
    sender(go[0], done[1], count);
  }
  close(go[0]);
  close(done[1]);
  static SandboxSysIo seam(root, false);
  sysio_install(&seam);
  if (logmsg_init(0, "syssrv") != 0 || MSG_OpenLocal(kDaemon) != 0) {
    fprintf(stderr, "bench_notify: log facility or endpoint set-up failed\n");
    kill(pid, SIGKILL);
    return 1;
  }
  MSG_Callback cb = {countedNotify, nullptr, kMsgIdConfigIFConfigChangedNtfy, kMsgIdConfigIFConfigChangedNtfy, 0};
  MSG_RegisterCallback(kDaemon, &cb);

  // Streamed: the sender sends while the loop dispatches.
  double senderUs = -1;
  auto t0 = Clock::now();
  bool ok = write(go[1], "s", 1) == 1 && dispatchUntil(count);
  const double streamSecs = std::chrono::duration<double>(Clock::now() - t0).count();
  ok = ok && read(done[0], &senderUs, sizeof senderUs) == sizeof senderUs;
  // Bursts: each one queued whole before the loop takes it in.
  const int bursts = (count + kBurst - 1) / kBurst;
  double burstSecs = 0, burstUs = 0;
  for (int b = 0; ok && b < bursts; ++b) {
    ok = write(go[1], "b", 1) == 1 && read(done[0], &burstUs, sizeof burstUs) == sizeof burstUs;
    t0 = Clock::now();
    ok = ok && dispatchUntil(count + (b + 1) * kBurst);
    burstSecs += std::chrono::duration<double>(Clock::now() - t0).count();
  }
  close(go[1]);
  int st = 0;
  waitpid(pid, &st, 0);
  const uintmax_t logBytes = std::filesystem::file_size(root + "/dev/crvllog");
  std::filesystem::remove_all(root);
  if (!ok || rawSecs < 0) {
    fprintf(stderr, "bench_notify: %d notifications dispatched, fewer than sent (sender status %d)\n", gHandled,
            st);
    return 1;
  }
  const double rate = bursts * kBurst / burstSecs;
  printf("change notifications through the dispatcher (syssrvMessageLoop, config_change_notify), from bursts of "
         "%d queued on the message layer: %.0f/s (%.2f us each); goal >= %.0f/s: %s\n",
         kBurst, rate, burstSecs * 1e6 / (bursts * kBurst), kGoalPerSec, rate >= kGoalPerSec ? "ok" : "UNDER");
  printf("  streamed from the sending process, %d: %.0f/s (the sender alone: %.0f/s); debug log: %.1f bytes each\n",
         count, count / streamSecs, senderUs > 0 ? count * 1e6 / senderUs : 0.0,
         static_cast<double>(logBytes) / gHandled);
  printf("raw AF_UNIX SEQPACKET round trips (%zu B, two processes): %.0f/s (%.2f us each)\n", kPingBytes,
         count / rawSecs, rawSecs * 1e6 / count);
  return rate >= kGoalPerSec ? 0 : 1;
}
