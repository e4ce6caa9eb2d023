// Fixture of the initialisation tests: the start-up fixture (recording
// "ConfigSrvc" thread, seam recorder, private socket directory, clean
// environment) with "SystemSrvc" closed again, so that syssrvMessageInit
// opens it itself, and the host's stand-in for the key-press device in
// place. Adds peers in other processes (test_init_peer.cpp), peers on this
// process's own endpoints, and a driver of the daemon's receive step.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/systemservice/test_init_timeline.h"
#include "tests/systemservice/test_startup_fixture.h"

// A process holding one endpoint; killed (SIGKILL) and reaped when it goes.
class PeerProcess {
 public:
  PeerProcess() = default;
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;
  ~PeerProcess() { kill(); }
  // Starts it and waits (10 s at most) until its endpoint is open.
  ::testing::AssertionResult start(const std::string& endpoint, const std::string& mode);
  void kill();
  bool running() const { return m_pid > 0; }

 private:
  pid_t m_pid = -1;
  int m_out = -1;
};

class InitTest : public StartupTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens an endpoint of this process as a peer; closed after the test.
  void openPeer(const std::string& name);
  void closePeer(const std::string& name);
  // Runs syssrvMessageLoop(100) until `done` holds; false when it still
  // does not after `limitMs` (generous: the machine may be loaded).
  bool loopUntil(const std::function<bool()>& done, int limitMs = 10000);
  // Runs the receive step until nothing has been dispatched for 300 ms.
  void loopUntilQuiet();
  // How often `entry` is in the call trace / the init timeline.
  static int traced(const std::string& entry);
  static int inTimeline(const std::string& line);

 private:
  std::vector<std::string> m_peers;
};
