// Fixture of the configuration-service tests: a private directory per test
// holding the socket directory, the database and a seed; the real
// configsrvc program started on them; local endpoints to talk to it.
#pragma once

#include <chrono>
#include <string>
#include <vector>
#include <sys/types.h>

#include <google/protobuf/message.h>
#include <gtest/gtest.h>

#include "ConfigIF.pb.h"
#include "platform/msg/MSG.h"

// A small seed whose variables exercise every rule of the service.
extern const char* const kCfgTestSeed;

class CfgSrvTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts configsrvc on m_db with `seedPath` (the test seed when empty) and
  // waits until it serves. Fails the test when it does not come up.
  void startService(const std::string& seedPath = "");
  void killService(int sig = SIGKILL);
  // Opens a local endpoint, closed after the test.
  void openLocal(const std::string& name);

  // Sends `req` from `local` and waits for the `rsp` class's reply.
  bool call(const std::string& local, const google::protobuf::Message& req, google::protobuf::Message* rsp,
            int timeoutMs = 5000);
  // Sends raw payload bytes as a message of `type`; returns the reply of
  // `rspType` or null.
  MSG_Message* callRaw(const std::string& local, MSG_Type type, const std::string& payload, MSG_Type rspType,
                       int timeoutMs = 5000);

  // Shorthands from `local` (role kAdmin unless given).
  ConfigIF::ReadRsp read(const std::string& local, const std::string& name, int instance = 0, int role = 20);
  ConfigIF::WriteRsp write(const std::string& local, const std::string& name, const std::string& value,
                           int role = 20, int instance = 0);
  int registerCb(const std::string& local, const std::string& name, int type, int instance = 0,
                 const std::string& context = "");
  // Lines the service wrote to stderr so far.
  std::string serviceLog() const;

  std::string m_root;
  std::string m_dir;  // MSG_SOCKET_DIR
  std::string m_db;
  pid_t m_service = -1;

 private:
  std::vector<std::string> m_locals;
};

ConfigIF::Inst cfgInst(const std::string& name, int instance = 0);
long cfgMsSince(std::chrono::steady_clock::time_point t0);
