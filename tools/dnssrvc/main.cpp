// dnssrvc [--server ADDR] [--error] [--delay MS] [--silent]
//
// The DNS service of the host build: answers the daemon's DnsSrvReq on
// "DnsSrvc" with a real SRV lookup of "<service>.<protocol>.<domain>" through
// the C library's resolver, until SIGTERM or SIGINT. The target goes out as
// "host:port" (dnsSrvAnswer.h). For the daemon's failure paths: --error
// answers every request with an error, --delay answers each MS milliseconds
// late, --silent never answers. --server asks the name server at the IPv4
// address ADDR instead of those of /etc/resolv.conf (the sealed simulation's
// network has its own).
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "platform/msg/MSG.h"
#include "tools/dnssrvc/dnsSrvServe.h"
#include "tools/stopSignals.h"

namespace {

std::atomic<bool> gStop{false};

void onStop(int) { gStop = true; }

const char* const kUsage = "usage: dnssrvc [--server ADDR] [--error] [--delay MS] [--silent]";

// Longest delay accepted: past the daemon's 20 s wait, any later is the same.
constexpr long kMaxDelayMs = 600000;

bool parseMs(const char* s, int* out) {
  if (s == nullptr || *s == '\0' || strlen(s) > 6 || strspn(s, "0123456789") != strlen(s)) return false;
  const long v = strtol(s, nullptr, 10);
  if (v > kMaxDelayMs) return false;
  *out = static_cast<int>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  DnsSrvcOptions options;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--error") == 0) {
      options.error = true;
    } else if (strcmp(argv[i], "--silent") == 0) {
      options.silent = true;
    } else if (strcmp(argv[i], "--delay") == 0 && parseMs(i + 1 < argc ? argv[i + 1] : nullptr, &options.delayMs)) {
      ++i;
    } else if (strcmp(argv[i], "--server") == 0 && i + 1 < argc && dnsSrvUseServer(argv[i + 1])) {
      ++i;
    } else if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
      std::cout << kUsage << "\n";
      return 0;
    } else {
      std::cerr << "dnssrvc: bad argument '" << argv[i] << "' (" << kUsage << ")" << std::endl;
      return 2;
    }
  }
  catchStopSignals(onStop);
  MSG_DebugSetName("dnssrvc");
  return dnsSrvcServe(options, dnsSrvResolve, gStop, std::cout, std::cerr);
}
