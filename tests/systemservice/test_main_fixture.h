// Fixture of the entry, loop, message-layer and LAN tests: a recorder as
// the seam (files, commands and clocks under a temporary root that also
// holds the message sockets), "SystemSrvc" open and linked to the shared
// fake configuration service, and a peer endpoint "TestPeer".
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/msg/MSG.h"
#include "platform/sysio/sysio_recorder.h"
#include "tests/systemservice/fake_configsrvc.h"

class DaemonTest : public ::testing::Test {
 protected:
  static constexpr const char* kPeer = "TestPeer";

  void SetUp() override;
  void TearDown() override;

  RecorderSysIo& rec() { return *m_rec; }
  FakeConfigSrvc& cfg() { return m_cfg; }
  // The configuration requests since the last forget(), in the shared
  // transcript form ("read <name>#0", "write <name>#0=<value> role=30").
  std::vector<std::string> requests() const;
  // How often the log holds "<level>syssrv: hd[0]: <text>" since forget().
  int logged(int level, const std::string& text) const;
  // Forgets requests, seam records, the call trace and the log so far.
  void forget();

  // Sends a `type` message carrying `payload` from "TestPeer" to "SystemSrvc".
  void sendToService(MSG_Type type, const std::string& payload, uint32_t sequence = 4242);
  // The next message that reached "TestPeer" within `ms` (released by the
  // caller), or null.
  MSG_Message* received(int ms = 2000);

 private:
  std::unique_ptr<RecorderSysIo> m_rec;
  FakeConfigSrvc m_cfg;
  size_t m_logMark = 0;
};
