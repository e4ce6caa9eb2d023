// Fixture of the start-up configuration tests.
//
// Each test gets a RecorderSysIo with its own temporary root (commands are
// recorded, nothing runs, the clock is fake, the log device is a file
// there), a private message-socket directory, the daemon's endpoint
// "SystemSrvc" linked to the recording "ConfigSrvc" of fake_configsrvc.h,
// and none of the platform's environment variables set. Its requests are
// compared in a compact readable form:
//   read <name>
//   write <name> = <value> as <role>
//   levels <name> as <role> read <level> write <level>
//   options <name> as <role> [<a>|<b>] default <index>
//   component <name> detach <0|1> as <role>
//   register <name> kind <kind>
// (an instance other than 0 is written "#<n>" behind the name; any other
// request as "<Type> {<fields>}").
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/msg/MSG.h"
#include "platform/sysio/sysio_recorder.h"
#include "tests/systemservice/fake_configsrvc.h"

// The shared fake (fake_configsrvc.h), whose transcript these tests compare
// in the compact form above.
class StartupConfigSrvc : public FakeConfigSrvc {
 public:
  std::vector<std::string> requests() const;
  // Entries that begin with `prefix` ("write ", "register "...), in order.
  std::vector<std::string> requests(const std::string& prefix) const;
  // Full form "<Type> {<fields>}" of every request.
  std::vector<std::string> rawRequests() const;
};

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  StartupConfigSrvc& cfg() { return m_cfg; }
  RecorderSysIo& rec() { return *m_rec; }
  std::vector<std::string> trace() const;
  std::vector<std::string> commands() const { return m_rec->commands(); }
  // Complete log lines since the last forget(), without their newlines.
  std::vector<std::string> logLines() const;
  // The exact line "<level>syssrv: hd[0]: " [component ": "] text (text
  // without its newline) was logged.
  bool logged(int level, const std::string& text, const char* component = nullptr) const;
  // Forgets requests, calls, commands and log lines recorded so far.
  void forget();
  // Sets the environment variable for this test only.
  void env(const char* name, const char* value);
  // The multi-codec system id file holds this text; null removes it.
  void codecIdFile(const char* text);

 private:
  std::unique_ptr<RecorderSysIo> m_rec;
  StartupConfigSrvc m_cfg;
  size_t m_logOffset = 0;
};

// Where `entry` is in `list`, -1 when absent.
int indexOf(const std::vector<std::string>& list, const std::string& entry);
