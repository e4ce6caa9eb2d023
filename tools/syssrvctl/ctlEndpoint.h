// The client's own endpoint and its stop signals.
#pragma once

#include <csignal>
#include <string>

// Local endpoint opened for the life of one command and closed on every
// return path, so no stale name is left behind for the next tester.
class CtlEndpoint {
 public:
  CtlEndpoint() = default;
  ~CtlEndpoint();
  CtlEndpoint(const CtlEndpoint&) = delete;
  CtlEndpoint& operator=(const CtlEndpoint&) = delete;

  // Opens `name`, or "syssrvctl-<pid>" when empty. False when the layer
  // refuses (name in use, directory not writable).
  bool open(const std::string& name);
  const char* name() const { return m_name.c_str(); }

 private:
  std::string m_name;
  bool m_open = false;
};

// Set by SIGINT/SIGTERM once ctlCatchStopSignals ran; long waits poll it so
// the endpoint is closed on Ctrl-C instead of the process dying inside a
// receive.
extern volatile std::sig_atomic_t gCtlStop;
void ctlCatchStopSignals();

// Receives on `local` for up to `ms` milliseconds and drops what comes; lets
// the layer run pending open callbacks and subscriptions.
void ctlServeFor(const char* local, long ms);
