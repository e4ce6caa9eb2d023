// Fixture of the message-layer tests: a private socket directory per test,
// helper processes that are always reaped, local endpoints that are always
// closed.
#pragma once

#include <string>
#include <utility>
#include <vector>
#include <sys/types.h>

#include <gtest/gtest.h>

#include "platform/msg/MSG.h"

class MsgTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts "msg_peer <args...>"; it is killed and reaped after the test.
  pid_t startPeer(const std::vector<std::string>& args);
  // SIGKILL and reap.
  void killPeer(pid_t pid);
  // Exit status of the peer once it ended (a hang fails by the test's limit).
  int waitPeer(pid_t pid);
  // Opens a local endpoint that is closed after the test.
  void openLocal(const std::string& name);
  // Waits (5 s at most) until `remote` accepts connections; its id, or 0.
  MSG_Endpoint waitRemote(const std::string& local, const std::string& remote);

  std::string m_root;  // private temporary directory
  std::string m_dir;   // MSG_SOCKET_DIR, created by the library

 private:
  std::vector<std::string> m_locals;
  std::vector<pid_t> m_peers;
};

using MsgSized = std::vector<std::pair<MSG_Type, uint32_t>>;

// A local endpoint "t" and a peer process serving "svc" (m_svc).
struct MsgServiceTest : MsgTest {
  void SetUp() override {
    MsgTest::SetUp();
    openLocal("t");
    startPeer({"service", "svc"});
    m_svc = waitRemote("t", "svc");
    ASSERT_NE(m_svc, 0u);
  }
  // Asks the service for message i = msgTestSizedMessage(type, i, bytes) per row.
  void burst(const MsgSized& rows);

  MSG_Endpoint m_svc = 0;
};

// "type:word0" of `m` in hex:decimal ("none" for null); releases it.
std::string msgTag(MSG_Message* m);
// msgTag of the answer to a kTestEcho carrying `word` from `local` to `to`.
std::string msgEcho(const char* local, MSG_Endpoint to, uint32_t word);
// msgTag of every message that arrives on `local`, each within waitMs.
std::vector<std::string> msgDrain(const char* local, int waitMs = 0);
