// Fixture of the configuration-client tests that need a peer: a private
// temporary root (RecorderSysIo) holding the log device and the message
// socket directory, the local endpoint "SystemSrvc" opened and initialised
// with syssrvCfgMsgInit, and a "ConfigSrvc" peer process that is always
// killed and reaped.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>
#include <sys/types.h>

#include <google/protobuf/message.h>
#include <gtest/gtest.h>

#include "platform/msg/MSG.h"
#include "platform/sysio/sysio_recorder.h"

// One request as the fake peer received it.
struct PeerRecord {
  MSG_Type type = 0;
  std::string payload;
};

// What the fake peer does for one request.
class PeerStep {
 public:
  // Answers with `rsp`, typed as its class.
  PeerStep& reply(const google::protobuf::Message& rsp);
  // Answers with raw bytes of the given type (e.g. a payload that does not
  // parse).
  PeerStep& replyRaw(MSG_Type type, const std::string& payload);
  std::string line() const { return m_line.empty() ? "silent" : m_line; }

 private:
  std::string m_line;
};

// A step that answers nothing.
PeerStep silent();
// A step that answers with `rsp`.
PeerStep answer(const google::protobuf::Message& rsp);

class CfgClientTest : public ::testing::Test {
 protected:
  static constexpr const char* kLocal = "SystemSrvc";

  void SetUp() override;
  void TearDown() override;

  // Starts the scripted "ConfigSrvc" and runs syssrvCfgMsgInit against it.
  void startFakePeer(const std::vector<PeerStep>& steps);
  // Starts a program as "ConfigSrvc"'s process (the live service) and runs
  // syssrvCfgMsgInit once it is there.
  void startProcess(const std::vector<std::string>& argv);
  // The requests the fake peer has received, in order.
  std::vector<PeerRecord> records() const;
  // Complete lines written to the log device, without their newlines.
  std::vector<std::string> logLines() const;
  // True when `line` is "<level>syssrv: hd[0]: <func>:<digits>: <text>".
  static bool isLogLine(const std::string& line, int level, const std::string& func, const std::string& text);
  RecorderSysIo& rec() { return *m_rec; }
  const std::string& socketDir() const { return m_sockDir; }

 private:
  void waitForService();

  std::unique_ptr<RecorderSysIo> m_rec;
  std::string m_sockDir;
  std::string m_recordFile;
  pid_t m_peer = -1;
};

// Checks that a recorded request is exactly `expected`: same type, same
// fields present with the same values, nothing else (the serialised bytes
// are compared as well as the readable form).
::testing::AssertionResult sameRequest(const PeerRecord& got, const google::protobuf::Message& expected);

long msSince(std::chrono::steady_clock::time_point t0);
