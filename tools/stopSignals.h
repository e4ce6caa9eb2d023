// The stand-ins end their serve loop on SIGTERM or SIGINT: the handler only
// sets a flag the loop polls, so the loop shuts down cleanly.
#pragma once

#include <csignal>

inline void catchStopSignals(void (*handler)(int)) {
  struct sigaction sa = {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
}
