// Fixture of the daemon's entry, loop and message-layer tests: a recorder
// installed as the seam (files, commands, clocks under a temporary root), a
// private message-socket directory, the "SystemSrvc" endpoint open, and a
// configuration service stand-in (fake_configsrvc.h).
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
  void SetUp() override;
  void TearDown() override;

  RecorderSysIo& rec() { return *m_rec; }
  // Lines written to the log device since the start of the test.
  std::string log() const;
  // Starts the configuration stand-in and links the daemon's client to it.
  FakeConfigSrvc& startConfig();
  // Opens a peer endpoint, closed after the test.
  void openPeer(const std::string& name);
  // Sends a message of `type` carrying `payload` from `from` to "SystemSrvc".
  void sendToService(const std::string& from, MSG_Type type, const std::string& payload);

  std::unique_ptr<FakeConfigSrvc> m_cfg;

 private:
  std::unique_ptr<RecorderSysIo> m_rec;
  std::string m_sockDir;
  std::vector<std::string> m_peers;
};
