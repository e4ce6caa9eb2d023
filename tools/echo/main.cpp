// msg_echo [--name NAME]: answers EchoReq on NAME (default "EchoSrvc") until
// SIGTERM or SIGINT.
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>

#include "tools/echo/echoServe.h"
#include "tools/stopSignals.h"

namespace {

void onStop(int) { gEchoStop = 1; }

}  // namespace

int main(int argc, char** argv) {
  std::string name = kEchoDefaultName;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--name") == 0 && i + 1 < argc && argv[i + 1][0] != '\0') {
      name = argv[++i];
    } else if (std::strncmp(argv[i], "--name=", 7) == 0 && argv[i][7] != '\0') {
      name = argv[i] + 7;
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::cout << "usage: msg_echo [--name NAME]   (default " << kEchoDefaultName << ")\n";
      return 0;
    } else {
      std::cerr << "msg_echo: bad argument '" << argv[i] << "' (usage: msg_echo [--name NAME])" << std::endl;
      return 2;
    }
  }
  catchStopSignals(onStop);
  return echoServe(name, std::cout, std::cerr);
}
