// The entry, loop, message-layer and LAN tests' face of the daemon fixture:
// "CfgCaller" as the peer that sends to "SystemSrvc" and receives its
// answers and notifications; the configuration requests in the LAN form.
#pragma once

#include <string>
#include <vector>

#include "tests/systemservice/test_callbacks_peer.h"

class DaemonTest : public CfgTest {
 protected:
  static constexpr const char* kPeer = kCaller;

  FakeConfigSrvc& cfg() { return peer(); }
  // The configuration requests since the last forget() in the transcript
  // form ("read <name>#0", "write <name>#0=<value> role=30").
  std::vector<std::string> requests() const { return transcript(peer().requests()); }
  void sendToService(MSG_Type type, const std::string& payload, uint32_t sequence = 4242) {
    send(type, payload, sequence);
  }
};
