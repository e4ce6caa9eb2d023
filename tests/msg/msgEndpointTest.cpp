// Endpoint names and sockets, request/reply, payload sizes, dead peers.
#include <algorithm>
#include <cstring>
#include <thread>
#include <dirent.h>
#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/msg/msgSocket.h"
#include "tests/msg/msgTestFixture.h"
#include "tests/msg/msgTestTypes.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> dirEntries(const std::string& dir) {
  std::vector<std::string> out;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return out;
  while (struct dirent* e = readdir(d)) {
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) out.push_back(e->d_name);
  }
  closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

TEST(MsgNames, EscapedIntoOneFileNameAndBack) {
  struct Case {
    const char* name;
    const char* file;
  } cases[] = {
      {"ToVelar1/ProcessMon", "ToVelar1%2FProcessMon"},
      {"CE:Modman", "CE:Modman"},
      {"SystemSrvc", "SystemSrvc"},
      {"50%/a/b", "50%25%2Fa%2Fb"},
      {".hidden", "%2Ehidden"},
      {"a.b", "a.b"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(msgEscapeName(c.name), c.file) << c.name;
    std::string back;
    ASSERT_TRUE(msgUnescapeName(c.file, &back)) << c.file;
    EXPECT_EQ(back, c.name);
  }
  EXPECT_EQ(msgEscapeName(""), "");
  EXPECT_EQ(msgEscapeName(std::string(256, 'x')), "");
}

TEST(MsgNames, FilesNoEndpointMakesAreNotNames) {
  std::string name = "unchanged";
  for (const char* file : {".t123.0", "%2", "a%", "%zz", "a%2fb", "a%41", ""}) {
    EXPECT_FALSE(msgUnescapeName(file, &name)) << file;
  }
  EXPECT_EQ(name, "unchanged");
}

TEST_F(MsgTest, SocketDirectoryIsGroupOnlyAndHoldsOneFilePerEndpoint) {
  openLocal("ToVelar1/ProcessMon");
  openLocal("CE:Modman");
  struct stat st;
  ASSERT_EQ(stat(m_dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0770u);
  // No temporary names are left behind.
  EXPECT_EQ(dirEntries(m_dir), (std::vector<std::string>{"CE:Modman", "ToVelar1%2FProcessMon"}));
  ASSERT_EQ(stat((m_dir + "/CE:Modman").c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0660u);
}

TEST_F(MsgTest, TooLongSocketPathFailsWithAClearLine) {
  std::string name(100, 'n');
  testing::internal::CaptureStderr();
  int rc = MSG_OpenLocal(name.c_str());
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(rc, 0);
  EXPECT_NE(err.find("msg_tests: socket path " + m_dir + "/" + name + " is "), std::string::npos) << err;
  EXPECT_NE(err.find("longer than the 107 a socket address holds"), std::string::npos) << err;
  EXPECT_EQ(MSG_CloseLocal(name.c_str()), -1);  // nothing was opened
}

TEST_F(MsgTest, BadArgumentsFailWithoutHarm) {
  openLocal("a");
  EXPECT_NE(MSG_OpenLocal(nullptr), 0);
  EXPECT_NE(MSG_OpenLocal(""), 0);
  EXPECT_NE(MSG_OpenLocal("a"), 0);  // already open here
  EXPECT_EQ(MSG_RecvAnyMsg("not-open", 0), nullptr);
  EXPECT_EQ(MSG_RecvMsg(nullptr, 1, 0), nullptr);
  EXPECT_NE(MSG_SendMsg("a", 1, nullptr), 0);
  EXPECT_NE(MSG_SendMsg("not-open", 1, MSG_AllocMsg(1, 0, 4)), 0);
  EXPECT_NE(MSG_SendNotification("not-open", MSG_AllocMsg(1, 0, 4)), 0);
  EXPECT_NE(MSG_RegisterCallback("a", nullptr), 0);
  MSG_Callback backwards = {[](void*, const MSG_Message*) {}, nullptr, 5, 4, 0};
  EXPECT_NE(MSG_RegisterCallback("a", &backwards), 0);
  EXPECT_NE(MSG_ProcessCallback("a", nullptr), 0);
  EXPECT_NE(MSG_OpenRemoteAsync("a", "b", nullptr, 0), 0);
  EXPECT_NE(MSG_RegisterNotificationRemote("a", 2, 1, 1), 0);
  EXPECT_EQ(MSG_GetRemoteId("a", nullptr), 0u);
  EXPECT_EQ(MSG_GetType(nullptr), 0u);
  EXPECT_EQ(MSG_GetPayload(nullptr), nullptr);
  EXPECT_EQ(MSG_CloneMsg(nullptr), nullptr);
  MSG_ReleaseMsg(nullptr);
}

TEST_F(MsgTest, RequestAndReplyBetweenProcessesWithSlashAndColonNames) {
  openLocal("CE:Modman");
  startPeer({"service", "ToVelar1/ProcessMon"});
  MSG_Endpoint svc = waitRemote("CE:Modman", "ToVelar1/ProcessMon");
  ASSERT_NE(svc, 0u);
  EXPECT_EQ(MSG_GetRemoteId("CE:Modman", "ToVelar1/ProcessMon"), svc);  // stable per name
  uint32_t seq = MSG_GetNextSequence();
  ASSERT_EQ(MSG_SendMsg("CE:Modman", svc, msgTestMessage(kTestEcho, seq, {7, 0xdeadbeef, 9})), 0);
  MSG_Message* rsp = MSG_RecvMsg("CE:Modman", kTestEchoRsp, 5000);
  ASSERT_NE(rsp, nullptr);
  EXPECT_EQ(MSG_GetType(rsp), kTestEchoRsp);
  EXPECT_EQ(MSG_GetSequence(rsp), seq);
  EXPECT_EQ(MSG_GetSender(rsp), svc);
  EXPECT_EQ(msgTestWords(rsp), (std::vector<uint32_t>{7, 0xdeadbeef, 9}));
  // A clone is a deep copy with the same header.
  MSG_Message* copy = MSG_CloneMsg(rsp);
  MSG_ReleaseMsg(rsp);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(MSG_GetSequence(copy), seq);
  EXPECT_EQ(MSG_GetSender(copy), svc);
  EXPECT_EQ(msgTestWords(copy), (std::vector<uint32_t>{7, 0xdeadbeef, 9}));
  MSG_ReleaseMsg(copy);
}

TEST_F(MsgTest, EmptyPayloadTravels) {
  openLocal("t");
  startPeer({"service", "svc"});
  MSG_Endpoint svc = waitRemote("t", "svc");
  ASSERT_NE(svc, 0u);
  MSG_Message* rsp = request("t", svc, kTestEcho, {}, kTestEchoRsp);
  ASSERT_NE(rsp, nullptr);
  EXPECT_EQ(MSG_GetPayloadBytes(rsp), 0u);
  EXPECT_NE(MSG_GetPayload(rsp), nullptr);
  MSG_ReleaseMsg(rsp);
}

TEST_F(MsgTest, LargePayloadsArriveIntact) {
  openLocal("t");
  startPeer({"service", "svc"});
  MSG_Endpoint svc = waitRemote("t", "svc");
  ASSERT_NE(svc, 0u);
  for (uint32_t bytes : {4u * 1024u * 1024u, MSG_MAX_PAYLOAD}) {
    MSG_Message* m = MSG_AllocMsg(kTestEcho, 42, bytes);
    ASSERT_NE(m, nullptr);
    uint8_t* p = static_cast<uint8_t*>(MSG_GetPayloadMutable(m));
    for (uint32_t i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(i * 7 + i / 4099);
    ASSERT_EQ(MSG_SendMsg("t", svc, m), 0) << bytes;
    MSG_Message* rsp = MSG_RecvMsg("t", kTestEchoRsp, 20000);
    ASSERT_NE(rsp, nullptr) << bytes;
    ASSERT_EQ(MSG_GetPayloadBytes(rsp), bytes);
    const uint8_t* q = static_cast<const uint8_t*>(MSG_GetPayload(rsp));
    uint32_t bad = 0;
    for (uint32_t i = 0; i < bytes; ++i) bad += q[i] != static_cast<uint8_t>(i * 7 + i / 4099);
    EXPECT_EQ(bad, 0u) << bytes;
    MSG_ReleaseMsg(rsp);
  }
}

TEST_F(MsgTest, PayloadAboveTheLimitIsRefused) {
  openLocal("t");
  testing::internal::CaptureStderr();
  MSG_Message* m = MSG_AllocMsg(kTestEcho, 1, MSG_MAX_PAYLOAD + 1);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(m, nullptr);
  EXPECT_NE(err.find("msg_tests: refusing a 8388609-byte payload, the limit is 8388608"), std::string::npos) << err;
  MSG_Message* req = MSG_AllocMsg(kTestEcho, 1, 0);
  ASSERT_NE(req, nullptr);
  EXPECT_EQ(MSG_AllocMsgCopyHdr(req, kTestEchoRsp, MSG_MAX_PAYLOAD + 1), nullptr);
  MSG_ReleaseMsg(req);
}

TEST_F(MsgTest, SendToAPeerThatNeverExistedFailsAtOnce) {
  openLocal("t");
  auto t0 = Clock::now();
  EXPECT_EQ(MSG_GetRemoteId("t", "nobody"), 0u);
  EXPECT_NE(MSG_SendMsg("t", 0, msgTestMessage(kTestEcho, 1, {1})), 0);         // no reply address
  EXPECT_NE(MSG_SendMsg("t", 0x7fffffff, msgTestMessage(kTestEcho, 1, {1})), 0);  // unknown id
  EXPECT_LT(msgMsSince(t0), 2000);
}

TEST_F(MsgTest, SendToAKilledPeerFailsAtOnceAndReachesItsSuccessor) {
  openLocal("t");
  pid_t pid = startPeer({"service", "svc"});
  MSG_Endpoint svc = waitRemote("t", "svc");
  ASSERT_NE(svc, 0u);
  MSG_Message* rsp = request("t", svc, kTestEcho, {1}, kTestEchoRsp);
  ASSERT_NE(rsp, nullptr);
  MSG_ReleaseMsg(rsp);

  killPeer(pid);
  struct stat st;
  EXPECT_EQ(stat((m_dir + "/svc").c_str(), &st), 0);  // a stale socket is left behind
  auto t0 = Clock::now();
  EXPECT_NE(MSG_SendMsg("t", svc, msgTestMessage(kTestEcho, 2, {2})), 0);
  EXPECT_NE(MSG_SendMsg("t", svc, msgTestMessage(kTestEcho, 3, {3})), 0);
  EXPECT_EQ(MSG_GetRemoteId("t", "svc"), 0u);
  EXPECT_LT(msgMsSince(t0), 2000);

  // The successor replaces the stale socket and is reached by the same id.
  startPeer({"service", "svc"});
  ASSERT_EQ(waitRemote("t", "svc"), svc);
  rsp = request("t", svc, kTestEcho, {4}, kTestEchoRsp);
  ASSERT_NE(rsp, nullptr);
  EXPECT_EQ(msgTestWords(rsp), std::vector<uint32_t>{4});
  MSG_ReleaseMsg(rsp);
}

TEST_F(MsgTest, SendToAPeerThatDoesNotReadGivesUpAfterTheSendTimeout) {
  openLocal("t");
  // A process that listens under an endpoint name but never reads.
  std::string path = m_dir + "/deaf";
  int sv[2];
  ASSERT_EQ(pipe(sv), 0);
  pid_t pid = fork();
  if (pid == 0) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    struct sockaddr_un sa;
    memset(&sa, 0, sizeof sa);
    sa.sun_family = AF_UNIX;
    strncpy(sa.sun_path, path.c_str(), sizeof sa.sun_path - 1);
    if (bind(fd, reinterpret_cast<struct sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, 4) != 0) _exit(2);
    char c = 'r';
    if (write(sv[1], &c, 1) != 1) _exit(3);
    pause();
    _exit(0);
  }
  ASSERT_GT(pid, 0);
  char c;
  ASSERT_EQ(read(sv[0], &c, 1), 1);
  close(sv[0]);
  close(sv[1]);
  MSG_Endpoint deaf = MSG_GetRemoteId("t", "deaf");
  ASSERT_NE(deaf, 0u);
  MSG_Message* big = MSG_AllocMsg(kTestEcho, 1, 4u * 1024u * 1024u);
  ASSERT_NE(big, nullptr);
  auto t0 = Clock::now();
  testing::internal::CaptureStderr();
  EXPECT_NE(MSG_SendMsg("t", deaf, big), 0);
  std::string err = testing::internal::GetCapturedStderr();
  long took = msgMsSince(t0);
  EXPECT_GE(took, 4500);
  EXPECT_LT(took, 15000);
  EXPECT_NE(err.find("msg_tests: deaf did not take a 4194304-byte message within 5000 ms"), std::string::npos) << err;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

TEST_F(MsgTest, ALiveEndpointNameCannotBeTakenOver) {
  openLocal("t");
  startPeer({"service", "svc"});
  ASSERT_NE(waitRemote("t", "svc"), 0u);
  testing::internal::CaptureStderr();
  int rc = MSG_OpenLocal("svc");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(rc, 0);
  EXPECT_NE(err.find("msg_tests: endpoint socket " + m_dir + "/svc is in use by a running process"),
            std::string::npos)
      << err;
  MSG_Message* rsp = request("t", MSG_GetRemoteId("t", "svc"), kTestEcho, {5}, kTestEchoRsp);
  ASSERT_NE(rsp, nullptr);  // the owner still serves
  MSG_ReleaseMsg(rsp);
}

TEST_F(MsgTest, ClosedEndpointDisappears) {
  openLocal("t");
  pid_t pid = startPeer({"service", "svc"});
  MSG_Endpoint svc = waitRemote("t", "svc");
  ASSERT_NE(svc, 0u);
  ASSERT_EQ(MSG_SendMsg("t", svc, msgTestMessage(kTestQuit, 0, {})), 0);
  EXPECT_EQ(waitPeer(pid, 5000), 0);
  EXPECT_EQ(dirEntries(m_dir), std::vector<std::string>{"t"});
  EXPECT_EQ(MSG_GetRemoteId("t", "svc"), 0u);
  EXPECT_NE(MSG_SendMsg("t", svc, msgTestMessage(kTestEcho, 1, {})), 0);
}

TEST(MsgSequence, ProcessWideUniqueAndNeverZero) {
  constexpr int kThreads = 4;
  constexpr int kEach = 20000;
  std::vector<std::vector<uint32_t>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&got, t] {
      for (int i = 0; i < kEach; ++i) got[t].push_back(MSG_GetNextSequence());
    });
  }
  for (auto& th : threads) th.join();
  std::vector<uint32_t> all;
  for (auto& g : got) all.insert(all.end(), g.begin(), g.end());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
  EXPECT_NE(all.front(), 0u);
  EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kEach));
}

}  // namespace
