#include "bench/daemon/benchSim.h"

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

double benchRawRoundTrips(int n, size_t bytes) {
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sv) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(sv[0]);
    std::vector<char> buf(bytes);
    for (;;) {
      ssize_t r = recv(sv[1], buf.data(), buf.size(), 0);
      if (r <= 0 || send(sv[1], buf.data(), static_cast<size_t>(r), 0) != r) _exit(0);
    }
  }
  close(sv[1]);
  std::vector<char> buf(bytes, 1);
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < n; ++i) {
    if (send(sv[0], buf.data(), buf.size(), 0) != static_cast<ssize_t>(buf.size()) ||
        recv(sv[0], buf.data(), buf.size(), 0) <= 0) {
      n = -1;
      break;
    }
  }
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  close(sv[0]);
  waitpid(pid, nullptr, 0);
  return n < 0 ? -1 : s;
}

int benchEnsureSealed(int argc, char** argv, const char* name) {
  const char* sealed = getenv("SYSSRV_SEALED");
  if (sealed != nullptr && std::string(sealed) == "1") return 0;
  std::vector<char*> again = {const_cast<char*>(SIM_SEAL)};
  for (int i = 0; i < argc; ++i) again.push_back(argv[i]);
  again.push_back(nullptr);
  execv(again[0], again.data());
  fprintf(stderr, "%s: %s: ", name, SIM_SEAL);
  perror(nullptr);
  return 1;
}
