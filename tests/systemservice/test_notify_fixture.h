// Fixture of the change-dispatcher tests.
//
// Each test gets a RecorderSysIo with its own temporary root (commands are
// recorded, nothing runs; the log device is a file there), a private
// message-socket directory, the daemon's endpoint "SystemSrvc" linked to a
// fake "ConfigSrvc" (fake_configsrvc.h).
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <google/protobuf/message.h>
#include <gtest/gtest.h>

#include "ConfigIF.pb.h"
#include "platform/msg/MSG.h"
#include "platform/sysio/sysio_recorder.h"
#include "systemservice/syssrvCfgMsg.h"
#include "tests/systemservice/fake_configsrvc.h"

// The shared fake, whose transcript these tests compare in the
// "<Type> {<fields>}" form (unparsable requests as "unparsable type <n>").
class NotifyConfigSrvc : public FakeConfigSrvc {
 public:
  std::vector<std::string> requests() const;
};

// Expected requests of the configuration client (role of reads is always
// kSystem; the whole dotted name is one node).
std::string readReq(const std::string& name);
std::string writeReq(const std::string& name, const std::string& value, CommonIF::eSecurityRole role);
std::string accessReq(const std::string& name, CommonIF::eSecurityRole role, CommonIF::eSecurityRole read,
                      CommonIF::eSecurityRole write);
std::string optionsReq(const std::string& name, const std::vector<std::string>& options, int defaultIndex,
                       CommonIF::eSecurityRole role);
std::string componentReq(const std::string& component, bool detach, CommonIF::eSecurityRole role);

class NotifyTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Delivers a ConfigChangedNtfy for `name` (one node, instance 0) with
  // one value, as the configuration service builds it.
  void notify(const std::string& name, const std::string& value);
  // The same with the variable's nodes given one by one.
  void notifyNodes(const std::vector<std::pair<std::string, int>>& nodes, const std::vector<std::string>& values);
  // Delivers raw payload bytes as a ConfigChangedNtfy.
  void notifyRaw(const std::string& payload);

  std::vector<std::string> trace() const;
  std::vector<std::string> commands() const { return m_rec->commands(); }
  // Complete lines of the log device, without their newlines.
  std::vector<std::string> logLines() const;
  // True when the log holds exactly this line ("<level>syssrv: hd[0]: "
  // [component ": "] text, text without its newline).
  bool logged(int level, const std::string& text, const char* component = nullptr) const;
  // Everything written to the log device since the last forget().
  std::string logBytes() const;
  // Forgets the records of commands, calls, requests and log lines.
  void forget();

  RecorderSysIo& rec() { return *m_rec; }
  NotifyConfigSrvc& cfg() { return m_cfg; }

 private:
  std::unique_ptr<RecorderSysIo> m_rec;
  NotifyConfigSrvc m_cfg;
  size_t m_logOffset = 0;
};
