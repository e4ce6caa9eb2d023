// The cost of one DNS update (updateDnsConfig with a DHCPv4 and a DHCPv6
// lease, nothing left to write back) against configsrvc on the repository
// seed, beside the same number of plain config_read round trips in the same
// run: the update is a string of reads, so the two should stay close.
//
// bench_dns [UPDATES]; prints both figures. Properties and resolv.conf go to
// the recorder seam under a private temporary root.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "OS/logmsg.h"
#include "platform/msg/MSG.h"
#include "platform/sysio/sysio_recorder.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvDhcp.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// Requests configsrvc logged so far (--verbose: one "configsrvc: ConfigIF.<Name>Req (<n> bytes)" line
// each). Waits until the count holds still, as the log is written beside the answers.
long loggedRequests(const std::string& log) {
  long last = -1;
  for (;;) {
    std::ifstream in(log);
    long n = 0;
    for (std::string l; std::getline(in, l);) {
      if (l.rfind("configsrvc: ConfigIF.", 0) == 0 && l.find("Req (") != std::string::npos) ++n;
    }
    if (n == last) return n;
    last = n;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

pid_t startConfigsrvc(const std::string& root) {
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open((root + "/configsrvc.log").c_str(), O_WRONLY | O_CREAT, 0644);
    dup2(fd, 2);
    execl(BENCH_DNS_CONFIGSRVC, BENCH_DNS_CONFIGSRVC, "--db", (root + "/dns.db").c_str(), "--seed", BENCH_DNS_SEED,
          "--verbose", static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

// A unit with a DHCPv4 lease of two servers and a DHCPv6 lease of one.
bool leases() {
  const char* v4 = "system.network.wired.ipv4nic.dhcp.";
  const char* v6 = "system.network.wired.ipv6nic.dhcp.";
  return config_write((std::string(v4) + "state").c_str(), "bound", kSystem) == 0 &&
         config_write((std::string(v4) + "domainname").c_str(), "corp.example", kSystem) == 0 &&
         config_write_instance((std::string(v4) + "dnsserver").c_str(), "10.0.0.1", kSystem, 0) == 0 &&
         config_write_instance((std::string(v4) + "dnsserver").c_str(), "10.0.0.2", kSystem, 1) == 0 &&
         config_write("system.network.wired.ipv6nic.enabled", "True", kSystem) == 0 &&
         config_write((std::string(v6) + "state").c_str(), "bound", kSystem) == 0 &&
         config_write_instance((std::string(v6) + "dnsserver").c_str(), "2001:db8::53", kSystem, 0) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  int updates = argc > 1 ? atoi(argv[1]) : 200;
  if (updates < 10) {
    fprintf(stderr, "usage: bench_dns [UPDATES>=10]\n");
    return 2;
  }
  RecorderSysIo rec;
  sysio_install(&rec);
  rec.put_file("/dev/crvllog", "");
  rec.make_dirs("/data/etc");
  logmsg_init(0, "syssrv");
  const std::string root = rec.root();
  setenv("MSG_SOCKET_DIR", (root + "/s").c_str(), 1);
  pid_t srv = startConfigsrvc(root);
  const std::string log = root + "/configsrvc.log";
  MSG_Endpoint to = 0;
  int status = 1;
  if (MSG_OpenLocal("SystemSrvc") == 0 && MSG_OpenRemoteSync("SystemSrvc", "ConfigSrvc", 10000, &to) == 0 &&
      syssrvCfgMsgInit("SystemSrvc") == 0 && leases()) {
    updateDnsConfig();  // writes the effective servers once; later updates only read
    long before = loggedRequests(log);
    auto t0 = Clock::now();
    for (int i = 0; i < updates; ++i) updateDnsConfig();
    double updateMs = msSince(t0);
    long requests = loggedRequests(log) - before;

    char value[32];
    int failed = 0;
    auto t1 = Clock::now();
    for (long i = 0; i < requests; ++i) {
      failed += config_read("system.network.wired.ipv4nic.dhcp.state", value, sizeof value, nullptr) != 0;
    }
    double readMs = msSince(t1);
    printf("updateDnsConfig:  %d updates in %.1f ms, mean %.1f us, %.1f config requests each\n", updates, updateMs,
           updateMs * 1000 / updates, static_cast<double>(requests) / updates);
    printf("config_read:      %ld reads in %.1f ms, mean %.1f us (%d failed); updates/reads %.2fx\n", requests, readMs,
           requests ? readMs * 1000 / requests : 0.0, failed, readMs > 0 ? updateMs / readMs : 0.0);
    printf("resolv.conf:\n%s", rec.file_bytes("/data/etc/resolv.conf").c_str());
    status = failed == 0 ? 0 : 3;
  } else {
    fprintf(stderr, "bench_dns: configsrvc did not come up or refused the leases (see %s)\n", log.c_str());
  }
  MSG_CloseLocal("SystemSrvc");
  kill(srv, SIGTERM);
  waitpid(srv, nullptr, 0);
  sysio_install(nullptr);
  return status;
}
