// Fixture of the configuration-service tests: the real configsrvc program
// on a fresh database and a small seed in the test process's directory,
// local endpoints to talk to it, and requests written in text format.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <google/protobuf/message.h>
#include <gtest/gtest.h>

#include "ConfigIF.pb.h"
#include "platform/msg/MSG.h"
#include "tests/tools/syssrvctl/ctlTestUtil.h"

// A small seed whose variables exercise every rule of the service.
extern const char* const kCfgTestSeed;

class CfgSrvTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts configsrvc on m_db with `args` added and waits until it serves.
  void startService(const std::vector<std::string>& args = {}, const std::string& seedPath = "");
  void killService(int sig = SIGKILL);
  void openLocal(const std::string& name);

  // Sends `req` from `local` and waits for the `rsp` class's reply.
  bool call(const std::string& local, const google::protobuf::Message& req, google::protobuf::Message* rsp,
            int timeoutMs = 5000);
  // The request class `type` ("ConfigIF.ReadReq") filled from `fields` in
  // text format, sent from `local`; the reply of the matching Rsp class in
  // one-line text format, or "<no answer>".
  std::string ask(const std::string& local, const std::string& type, const std::string& fields);
  // Raw payload bytes as a message of `type`; the reply of `rspType` or null.
  MSG_Message* callRaw(const std::string& local, MSG_Type type, const std::string& payload, MSG_Type rspType,
                       int timeoutMs = 5000);

  // Shorthands from `local` (role kAdmin unless given).
  ConfigIF::ReadRsp read(const std::string& local, const std::string& name, int instance = 0, int role = 20);
  ConfigIF::WriteRsp write(const std::string& local, const std::string& name, const std::string& value,
                           int role = 20, int instance = 0);
  int registerCb(const std::string& local, const std::string& name, int type, const std::string& context = "");
  std::string valueOf(const std::string& local, const std::string& name, int instance = 0);
  // What the running service wrote to stderr so far.
  std::string serviceLog() const { return m_service ? m_service->err() : ""; }

  std::string m_db;
  std::string m_seed;
  std::unique_ptr<CtlChild> m_service;

 private:
  std::vector<std::string> m_locals;
};

ConfigIF::Inst cfgInst(const std::string& name, int instance = 0);
