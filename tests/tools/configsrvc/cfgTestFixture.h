// Fixture of the configuration-service tests: the real configsrvc program
// on a fresh database and a small seed in the test process's directory,
// local endpoints to talk to it, and requests written in text format. The
// test thread itself plays the client that is called back.
#pragma once

#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/tools/syssrvctl/ctlTestUtil.h"

inline const std::string kCfgWriteOk = "error: 0 reboot_required: false";

class CfgSrvTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // m_seed starts as a copy of cfgTestSeed.txt.
  // Starts configsrvc on m_db with `args` added and waits until it serves.
  void startService(const std::vector<std::string>& args = {});
  void killService(int sig = SIGKILL);
  void openLocal(const std::string& name);

  // The request class `type` ("ConfigIF.ReadReq") filled from `fields` in
  // text format, sent from `local`; the reply of the matching Rsp class in
  // one-line text format, or "<no answer>".
  std::string ask(const std::string& local, const std::string& type, const std::string& fields);
  // A one-value write from `local`, answered as ask() answers.
  std::string write(const std::string& local, const std::string& name, const std::string& value,
                    const std::string& role = "kAdmin", int instance = 0);
  // write() on a thread of its own, so that this one can answer the
  // callbacks the write causes.
  std::future<std::string> writeAsync(const std::string& local, const std::string& name, const std::string& value) {
    return std::async(std::launch::async, [=] { return write(local, name, value); });
  }
  // A callback registration from `local`, answered as ask() answers.
  std::string registerCb(const std::string& local, const std::string& name, const std::string& type,
                 const std::string& context = "");
  // The stored value as the startup role reads it; "<none>" without one.
  std::string valueOf(const std::string& local, const std::string& name, int instance = 0);
  // The next message the service sends to `local` in one line ("validate
  // NAME[INSTANCE]=V1,V2 by WRITER as ROLE ctx CONTEXT", "onchange ...",
  // "changed ...", "start POINT ctx CONTEXT", "end POINT ctx CONTEXT"), or "" when none comes within
  // `timeoutMs`. A callback is answered, after `during` ran, with the
  // ReturnMessage fields `ret` in text format.
  std::string next(const std::string& local, const std::string& ret = "error: 0",
                   const std::function<void()>& during = {}, int timeoutMs = 5000);
  // What the running service wrote to stderr so far.
  std::string serviceLog() const { return m_service ? m_service->err() : ""; }

  std::string m_db;
  std::string m_seed;
  std::unique_ptr<CtlChild> m_service;

 private:
  std::vector<std::string> m_locals;
};
