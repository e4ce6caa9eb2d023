#include "tests/platform/msg/msgTestFixture.h"

#include <algorithm>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/arch/exec_wrapper.h"
#include "tests/platform/msg/msgTestTypes.h"

std::string msgTag(MSG_Message* m) {
  if (m == nullptr) return "none";
  char buf[32];
  std::vector<uint32_t> w = msgTestWords(m);
  snprintf(buf, sizeof buf, "%x:%u", MSG_GetType(m), w.empty() ? 99u : w[0]);
  MSG_ReleaseMsg(m);
  return buf;
}

std::vector<std::string> msgDrain(const char* local, int waitMs) {
  std::vector<std::string> out;
  while (MSG_Message* m = MSG_RecvAnyMsg(local, waitMs)) out.push_back(msgTag(m));
  return out;
}

void MsgTest::SetUp() {
  // Short, because a socket path must fit 107 bytes.
  char tmpl[] = "/tmp/mt.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  m_root = tmpl;
  m_dir = m_root + "/s";
  setenv("MSG_SOCKET_DIR", m_dir.c_str(), 1);
  MSG_DebugSetName("msg_tests");
}

void MsgTest::TearDown() {
  for (pid_t pid : m_peers) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
  for (const std::string& name : m_locals) MSG_CloseLocal(name.c_str());
  std::error_code ignored;
  std::filesystem::remove_all(m_root, ignored);
}

pid_t MsgTest::startPeer(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::vector<std::string> copy = {MSG_PEER_PATH};
  copy.insert(copy.end(), args.begin(), args.end());
  copy = archExecArgv(copy);
  for (std::string& a : copy) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) execv(argv[0], argv.data()), _exit(127);
  if (pid > 0) m_peers.push_back(pid);
  return pid;
}

void MsgTest::killPeer(pid_t pid) { kill(pid, SIGKILL), waitPeer(pid); }

int MsgTest::waitPeer(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  m_peers.erase(std::remove(m_peers.begin(), m_peers.end(), pid), m_peers.end());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void MsgTest::openLocal(const std::string& name) {
  ASSERT_EQ(MSG_OpenLocal(name.c_str()), 0) << name;
  m_locals.push_back(name);
}

MSG_Endpoint MsgTest::waitRemote(const std::string& local, const std::string& remote) {
  MSG_Endpoint id = 0;
  return MSG_OpenRemoteSync(local.c_str(), remote.c_str(), 5000, &id) == 0 ? id : 0;
}

std::string msgEcho(const char* local, MSG_Endpoint to, uint32_t word) {
  if (MSG_SendMsg(local, to, msgTestMessage(kTestEcho, MSG_GetNextSequence(), {word})) != 0) return "unsent";
  return msgTag(MSG_RecvMsg(local, kTestEchoRsp, 5000));
}

void MsgServiceTest::burst(const MsgSized& rows) {
  std::vector<uint32_t> words;
  for (const auto& r : rows) words.insert(words.end(), {r.first, r.second});
  ASSERT_EQ(MSG_SendMsg("t", m_svc, msgTestMessage(kTestBurst, 0, words)), 0);
}
