// configsrvc --db PATH [--seed PATH] [--name NAME] [--callback-timeout MS] [--verbose]
// configsrvc --db PATH --check
//
// Serves the configuration variables of the database PATH on the endpoint
// NAME (default "ConfigSrvc") until SIGTERM or SIGINT. A write waits up to
// MS (default 10000) for each validate or on-change answer of a client. A
// new database is created from the seed; an existing one keeps its values
// and gains the seed's variables it does not have yet.
//
// --check changes nothing and serves nothing: it prints the journal mode of
// the database and SQLite's integrity check, and exits 0 only when the check
// says "ok" (after a crash or a full disk, before serving the file again).
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>

#include "tools/configsrvc/cfgLog.h"
#include "tools/configsrvc/cfgService.h"
#include "tools/configsrvc/cfgStore.h"
#include "tools/stopSignals.h"

namespace {

volatile std::sig_atomic_t gStop = 0;

void onStop(int) { gStop = 1; }

const char* const kUsage =
    "usage: configsrvc --db PATH [--seed PATH] [--name NAME] [--callback-timeout MS] [--verbose]\n"
    "       configsrvc --db PATH --check";

// Longest callback time-out accepted: a typo of a few digits would
// otherwise hold writes for days.
constexpr long kMaxCallbackTimeoutMs = 600000;

// Milliseconds, 1 to kMaxCallbackTimeoutMs, digits only.
bool parseMs(const std::string& s, int* out) {
  if (s.empty() || s.size() > 6 || s.find_first_not_of("0123456789") != std::string::npos) return false;
  long v = std::stol(s);
  if (v < 1 || v > kMaxCallbackTimeoutMs) return false;
  *out = static_cast<int>(v);
  return true;
}

// "--opt VALUE" or "--opt=VALUE"; advances i over the value.
bool optValue(int argc, char** argv, int* i, const char* opt, std::string* out) {
  size_t n = std::strlen(opt);
  if (std::strcmp(argv[*i], opt) == 0 && *i + 1 < argc) {
    *out = argv[++*i];
    return true;
  }
  if (std::strncmp(argv[*i], opt, n) == 0 && argv[*i][n] == '=') {
    *out = argv[*i] + n + 1;
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  CfgServiceConfig config;
  config.name = kCfgDefaultName;
  bool checkOnly = false;
  for (int i = 1; i < argc; ++i) {
    if (optValue(argc, argv, &i, "--db", &config.dbPath) || optValue(argc, argv, &i, "--seed", &config.seedPath) ||
        optValue(argc, argv, &i, "--name", &config.name)) {
      continue;
    }
    std::string ms;
    if (optValue(argc, argv, &i, "--callback-timeout", &ms)) {
      if (parseMs(ms, &config.callbackTimeoutMs)) continue;
      std::cerr << "configsrvc: bad --callback-timeout '" << ms << "' (1 to " << kMaxCallbackTimeoutMs << " ms)"
                << std::endl;
      return 2;
    }
    if (std::strcmp(argv[i], "--verbose") == 0) {
      gCfgVerbose = true;
    } else if (std::strcmp(argv[i], "--check") == 0) {
      checkOnly = true;
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::cout << kUsage << "\n";
      return 0;
    } else {
      std::cerr << "configsrvc: bad argument '" << argv[i] << "' (" << kUsage << ")" << std::endl;
      return 2;
    }
  }
  if (config.dbPath.empty() || config.name.empty()) {
    std::cerr << "configsrvc: " << kUsage << std::endl;
    return 2;
  }
  if (checkOnly) {
    std::string report;
    const bool ok = CfgStore::check(config.dbPath, &report);
    std::cout << report << std::flush;
    return ok ? 0 : 1;
  }
  catchStopSignals(onStop);
  signal(SIGPIPE, SIG_IGN);

  CfgService service(config);
  std::string err;
  if (!service.open(&err)) {
    cfgLog("%s", err.c_str());
    return 1;
  }
  service.run(&gStop);
  return 0;
}
