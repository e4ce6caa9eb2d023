// Fixture of the callback and access-level tests.
//
// A private temporary root (RecorderSysIo) holds the log device and the
// message socket directory. "SystemSrvc" is opened and linked to a fake
// "ConfigSrvc" (fake_configsrvc.h). Callback requests reach "SystemSrvc" from a third
// endpoint, "CfgCaller", standing in for the configuration service's
// callback side, which also receives the answers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <google/protobuf/message.h>
#include <gtest/gtest.h>

#include "ConfigIF.pb.h"
#include "platform/msg/MSG.h"
#include "platform/sysio/sysio_recorder.h"
#include "tests/systemservice/fake_configsrvc.h"

// One line per request, in order:
//   read <name>#<instance>
//   write <name>#<instance>=<value> role=<role>
//   access <name>#<instance> read=<level|-> write=<level|-> role=<role>
// (levels absent from the request are "-"); other types by number.
std::vector<std::string> transcript(const std::vector<CfgRequest>& requests);
// The access lines of a transcript only.
std::vector<std::string> accessLines(const std::vector<CfgRequest>& requests);
// "access <name>#<instance> read=<r> write=<w> role=30" with 0 written "-".
std::string accessLine(const std::string& name, int instance, int read, int write);

class CallbacksTest : public ::testing::Test {
 protected:
  static constexpr const char* kLocal = "SystemSrvc";
  static constexpr const char* kCaller = "CfgCaller";

  void SetUp() override;
  void TearDown() override;

  // Sends `payload` as a `type` message with `sequence` from "CfgCaller" to
  // "SystemSrvc", takes it there and runs `handler` on it as the main loop
  // would, then releases it.
  void deliver(MSG_Type type, const std::string& payload, MSG_CallbackFunc handler, uint32_t sequence = 7);
  // The next `type` answer that reached "CfgCaller", parsed into `out`;
  // false when none came within `timeoutMs`. `sequence` receives its
  // sequence number.
  bool answer(MSG_Type type, google::protobuf::Message* out, int timeoutMs = 5000, uint32_t* sequence = nullptr);
  // True when any message reached "CfgCaller" within `timeoutMs`.
  bool anyAnswer(int timeoutMs);

  // Builds and delivers a validate / on-change request for one variable.
  ConfigIF::DynamicValidateRsp validate(const std::string& name, const std::string& value, int instance = 0);
  ConfigIF::OnChangeRsp onChange(const std::string& name, const std::string& value, int instance = 0);
  void submit(const std::string& name, ConfigIF::SubmitType type);

  // Complete log lines, without newlines, and those of one component.
  std::vector<std::string> logLines() const;
  std::vector<std::string> logLines(const std::string& component) const;
  static std::string line(int level, const std::string& component, const std::string& text);

  RecorderSysIo& rec() { return *m_rec; }
  FakeConfigSrvc& peer() { return m_peer; }

 private:
  std::unique_ptr<RecorderSysIo> m_rec;
  FakeConfigSrvc m_peer;
};

// A validate or on-change request as the configuration service sends it.
template <class Req>
Req callbackRequest(const std::string& name, const std::string& value, int instance,
                    const std::string& serverContext = "ctx-42") {
  Req req;
  ConfigIF::Node* node = req.mutable_instance_val()->mutable_instance()->add_node();
  node->set_name(name);
  node->set_instance(instance);
  req.mutable_instance_val()->add_value(value);
  req.set_server_context(serverContext);
  req.set_name("WebUI");
  return req;
}

// The answer part the handlers must send.
ConfigIF::ReturnMessage expectedRet(int error, bool reboot, const std::string& serverContext = "ctx-42");
