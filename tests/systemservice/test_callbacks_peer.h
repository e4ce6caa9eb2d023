// The one fixture of the daemon's tests: callbacks, access levels, start-up,
// the change dispatcher, entry and main loop, LAN.
//
// A private temporary root (RecorderSysIo: commands recorded, nothing runs,
// the log device is a file there) and message-socket directory; "SystemSrvc"
// linked to the fake "ConfigSrvc" (fake_configsrvc.h); "CfgCaller" stands in
// for the daemon's peers (the configuration service's callback side, a
// client) and receives the answers. None of the platform's environment
// variables is set; the module state is reset before and after each test.
//
// The fake's requests are compared one line each:
//   read <name>            write <name>=<value> as <role>
//   levels <name> read <level|-> write <level|-> as <role>
//   options <name> [<a>|<b>] default <index> as <role>
//   component <name> detach <0|1> as <role>
//   register <name> kind <kind>
// (an instance other than 0 written "#<n>" behind the name; any other
// request as the fake describes it).
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

constexpr int U = 10;  // kUser
constexpr int A = 20;  // kAdmin
constexpr int S = 30;  // kSystem

// "levels <name>[#<instance>] read <r> write <w> as 30", 0 written "-".
std::string levels(const std::string& name, int read, int write, int instance = 0);

class CfgTest : public ::testing::Test {
 protected:
  static constexpr const char* kLocal = "SystemSrvc";
  static constexpr const char* kCaller = "CfgCaller";

  void SetUp() override;
  void TearDown() override;

  // The fake's requests since the last forget(), and those beginning with `prefix`.
  std::vector<std::string> sent(const std::string& prefix = "") const;
  // Forgets requests, calls, commands and log lines recorded so far.
  void forget();

  // Sends `payload` as a `type` message from "CfgCaller" to "SystemSrvc".
  void send(MSG_Type type, const std::string& payload, uint32_t sequence = 4242);
  // The same, and runs `handler` on it there as the main loop would.
  void deliver(MSG_Type type, const std::string& payload, MSG_CallbackFunc handler, uint32_t sequence = 7);
  // The next `type` message that reached "CfgCaller", parsed into `out`.
  bool answer(MSG_Type type, google::protobuf::Message* out, int timeoutMs = 5000, uint32_t* sequence = nullptr);
  // The next message that reached "CfgCaller" within `ms` (released by the
  // caller), or null.
  MSG_Message* received(int ms = 2000) { return MSG_RecvAnyMsg(kCaller, ms); }

  ConfigIF::DynamicValidateRsp validate(const std::string& name, const std::string& value, int instance = 0);
  // Also checks the answer: error 0, no reboot, the context echoed.
  void onChange(const std::string& name, const std::string& value, int instance = 0);
  void submit(const std::string& name, ConfigIF::SubmitType type);

  // The log's bytes since the last forget(), and its complete lines.
  std::string logBytes() const;
  std::vector<std::string> logLines() const;
  // "<level>syssrv: hd[0]: [component: ]text".
  static std::string line(int level, const std::string& text, const char* component = "message");
  // How often the log holds "<level>syssrv: hd[0]: <text>" (a whole line
  // when `text` ends in a newline).
  int logged(int level, const std::string& text) const;
  // Whether it holds line(level, text, component) as a whole line.
  bool logged(int level, const std::string& text, const char* component) const;

  // What the DNS module did: "no DNS server" for an update that found
  // none, "dns to delegate" and
  // "dns published" for each publication (pointing at the delegate or not).
  std::vector<std::string> calls() const;

  RecorderSysIo& rec() { return *m_rec; }
  FakeConfigSrvc& peer() { return m_peer; }

 private:
  std::unique_ptr<RecorderSysIo> m_rec;
  FakeConfigSrvc m_peer;
  size_t m_logOffset = 0;
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
  return req;
}

// The answer bytes the handlers must send.
std::string retBytes(int error, bool reboot, const std::string& serverContext = "ctx-42");
using CallbacksTest = CfgTest;
