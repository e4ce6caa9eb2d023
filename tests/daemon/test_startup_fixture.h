// Fixture of the start-up configuration tests.
//
// Each test gets a RecorderSysIo with its own temporary root (commands are
// recorded, nothing runs, the clock is fake, the log device is a file
// there), a private message-socket directory, the daemon's endpoint
// "SystemSrvc" linked to a recording "ConfigSrvc" that runs on its own
// thread on the real message layer, and none of the platform's environment
// variables set. The peer answers reads from a table (unknown variables with
// kErrItemNotFound, as the real service does), stores writes, answers every
// other request, and records each request in a compact readable form:
//   read <name>
//   write <name> = <value> as <role>
//   levels <name> as <role> read <level> write <level>
//   options <name> as <role> [<a>|<b>] default <index>
//   component <name> detach <0|1> as <role>
//   register <name> kind <kind>
// (an instance other than 0 is written "#<n>" behind the name; any other
// request as "<Type> {<fields>}").
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/msg/MSG.h"
#include "platform/sysio/sysio_recorder.h"

class StartupCfgPeer {
 public:
  ~StartupCfgPeer() { stop(); }
  void start();
  void stop();

  // Served for reads of `name`; `isDefault` is the flag the answer carries.
  void set(const std::string& name, const std::string& value, bool isDefault = false);
  std::string get(const std::string& name) const;
  // Reads of `name` are answered with a payload that does not parse, so
  // the client's read fails.
  void breakReads(const std::string& name);
  // Registrations of `name` are refused with this error.
  void refuseRegistration(const std::string& name, int error);

  std::vector<std::string> requests() const;
  // Entries that begin with `prefix` ("write ", "register "...), in order.
  std::vector<std::string> requests(const std::string& prefix) const;
  // Full form "<Type> {<fields>}" of every request.
  std::vector<std::string> rawRequests() const;
  void clear();

 private:
  void run();
  void answer(const MSG_Message* req);

  mutable std::mutex m_mu;
  std::map<std::string, std::string> m_values;
  std::set<std::string> m_defaults;
  std::set<std::string> m_broken;
  std::map<std::string, int> m_refused;
  std::vector<std::string> m_requests;
  std::vector<std::string> m_raw;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  StartupCfgPeer& cfg() { return m_cfg; }
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
  StartupCfgPeer m_cfg;
  size_t m_logOffset = 0;
};

// Where `entry` is in `list`, -1 when absent.
int indexOf(const std::vector<std::string>& list, const std::string& entry);
