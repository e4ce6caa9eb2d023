#include "tests/platform/msg/msgTestFixture.h"

#include <algorithm>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <ftw.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/arch/exec_wrapper.h"
#include "tests/platform/msg/msgTestTypes.h"

namespace {

int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

}  // namespace

long msgMsSince(std::chrono::steady_clock::time_point t0) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
}

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
  for (pid_t pid : m_peers) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  for (const std::string& name : m_locals) MSG_CloseLocal(name.c_str());
  nftw(m_root.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

pid_t MsgTest::startPeer(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::vector<std::string> copy = {MSG_PEER_PATH};
  copy.insert(copy.end(), args.begin(), args.end());
  copy = archExecArgv(copy);
  for (std::string& a : copy) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (pid > 0) m_peers.push_back(pid);
  return pid;
}

void MsgTest::killPeer(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  m_peers.erase(std::remove(m_peers.begin(), m_peers.end(), pid), m_peers.end());
}

int MsgTest::waitPeer(pid_t pid, int timeoutMs) {
  auto t0 = std::chrono::steady_clock::now();
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      m_peers.erase(std::remove(m_peers.begin(), m_peers.end(), pid), m_peers.end());
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (msgMsSince(t0) > timeoutMs) return -1;
    usleep(10000);
  }
}

void MsgTest::openLocal(const std::string& name) {
  ASSERT_EQ(MSG_OpenLocal(name.c_str()), 0) << name;
  m_locals.push_back(name);
}

MSG_Endpoint MsgTest::waitRemote(const std::string& local, const std::string& remote) {
  MSG_Endpoint id = 0;
  if (MSG_OpenRemoteSync(local.c_str(), remote.c_str(), 5000, &id) != 0) return 0;
  return id;
}

MSG_Message* MsgTest::request(const std::string& local, MSG_Endpoint to, MSG_Type type,
                              const std::vector<uint32_t>& words, MSG_Type rspType, int timeoutMs) {
  if (MSG_SendMsg(local.c_str(), to, msgTestMessage(type, MSG_GetNextSequence(), words)) != 0) return nullptr;
  return MSG_RecvMsg(local.c_str(), rspType, timeoutMs);
}

void MsgServiceTest::burst(const MsgSized& rows) {
  std::vector<uint32_t> words;
  for (const auto& r : rows) words.insert(words.end(), {r.first, r.second});
  ASSERT_EQ(MSG_SendMsg("t", m_svc, msgTestMessage(kTestBurst, 0, words)), 0);
}

void MsgServiceTest::burst(std::initializer_list<MSG_Type> types) {
  MsgSized rows;
  for (MSG_Type t : types) rows.push_back({t, 4});
  burst(rows);
}
