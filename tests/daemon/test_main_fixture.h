// Fixture of the daemon's entry, loop and message-layer tests: a recorder
// installed as the seam (files, commands, clocks under a temporary root), a
// private message-socket directory, the "SystemSrvc" endpoint open, and a
// configuration service stand-in on its own thread that answers reads from
// a table and records writes.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/msg/MSG.h"
#include "platform/sysio/sysio_recorder.h"

// Answers ConfigIF reads, writes and callback registrations on
// "ConfigSrvc" from a thread of the test process.
class FakeConfigSrvc {
 public:
  FakeConfigSrvc();
  ~FakeConfigSrvc();
  void set(const std::string& name, const std::string& value);
  // Reads of this variable get no answer (the client times out).
  void silence(const std::string& name);
  // (name, value) of every write, in order.
  std::vector<std::pair<std::string, std::string>> writes() const;
  int reads(const std::string& name) const;

 private:
  void run();
  void answer(MSG_Message* msg);

  mutable std::mutex m_mu;
  std::map<std::string, std::string> m_values;
  std::map<std::string, bool> m_silent;
  std::map<std::string, int> m_reads;
  std::vector<std::pair<std::string, std::string>> m_writes;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

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
