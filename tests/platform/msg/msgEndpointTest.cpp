// Endpoints and remotes: names on disk, bad arguments, request and reply
// between processes, peers that die or come late.
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

#include "tests/platform/msg/msgTestFixture.h"
#include "tests/platform/msg/msgTestTypes.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> dirEntries(const std::string& dir) {
  std::vector<std::string> out;
  DIR* d = opendir(dir.c_str());
  while (struct dirent* e = d ? readdir(d) : nullptr) {
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) out.push_back(e->d_name);
  }
  if (d) closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

TEST_F(MsgTest, SocketDirectoryIsGroupOnlyAndHoldsOneSocketPerEndpoint) {
  openLocal("ToVelar1/ProcessMon");
  openLocal("CE:Modman");
  struct stat st;
  ASSERT_EQ(stat(m_dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0770u);
  EXPECT_EQ(dirEntries(m_dir), (std::vector<std::string>{"CE:Modman", "ToVelar1%2FProcessMon"}));
  ASSERT_EQ(stat((m_dir + "/CE:Modman").c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0660u);
}

TEST_F(MsgTest, BadArgumentsFailWithoutHarm) {
  openLocal("a");
  EXPECT_NE(MSG_OpenLocal(nullptr), 0);
  EXPECT_NE(MSG_OpenLocal(""), 0);
  EXPECT_NE(MSG_OpenLocal("a"), 0);  // already open here
  EXPECT_EQ(MSG_CloseLocal("not-open"), -1);
  EXPECT_NE(MSG_SendMsg("a", 1, nullptr), 0);
  EXPECT_NE(MSG_SendMsg("not-open", 1, MSG_AllocMsg(1, 0, 4)), 0);
  EXPECT_NE(MSG_SendMsg("a", 0, MSG_AllocMsg(1, 0, 4)), 0);           // no reply address
  EXPECT_NE(MSG_SendMsg("a", 0x7fffffff, MSG_AllocMsg(1, 0, 4)), 0);  // unknown id
  EXPECT_NE(MSG_SendNotification("a", nullptr), 0);
  EXPECT_EQ(MSG_SendNotification("a", MSG_AllocMsg(0x200, 0, 4)), 0);  // no subscriber is no error
  MSG_Callback backwards = {[](void*, const MSG_Message*) {}, nullptr, 5, 4, 0};
  EXPECT_NE(MSG_RegisterCallback("a", &backwards), 0);
  EXPECT_NE(MSG_ProcessCallback("a", nullptr), 0);
  EXPECT_NE(MSG_RegisterNotificationRemote("a", 2, 1, 1), 0);
  EXPECT_NE(MSG_RegisterNotificationRemote("a", 1, 2, 0x7ffffff0), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(MSG_AllocMsg(kTestEcho, 1, MSG_MAX_PAYLOAD + 1), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("refusing a 8388609-byte payload, the limit is 8388608"),
            std::string::npos);
}

// The daemon matches a reply to its request by the sequence: a reply built
// with MSG_AllocMsgCopyHdr must carry the request's through both processes.
TEST_F(MsgTest, PeerThatDiesOrClosesIsFailedAtOnceAndItsSuccessorReachedByTheSameId) {
  const char* const local = "CE:Modman";
  const char* const name = "ToVelar1/ProcessMon";
  openLocal(local);
  pid_t pid = startPeer({"service", name});
  MSG_Endpoint svc = waitRemote(local, name);
  ASSERT_NE(svc, 0u);
  killPeer(pid);
  auto t0 = Clock::now();
  EXPECT_NE(MSG_SendMsg(local, svc, msgTestMessage(kTestEcho, 2, {2})), 0);
  EXPECT_EQ(MSG_GetRemoteId(local, name), 0u);
  EXPECT_LT(msgMsSince(t0), 2000);
  // The successor replaces the stale socket.
  pid = startPeer({"service", name});
  ASSERT_EQ(waitRemote(local, name), svc);
  EXPECT_EQ(MSG_GetRemoteId(local, name), svc);
  for (uint32_t seq : {MSG_GetNextSequence(), 0xfffffffeu}) {
    ASSERT_EQ(MSG_SendMsg(local, svc, msgTestMessage(kTestEcho, seq, {7, 0xdeadbeef})), 0);
    MSG_Message* rsp = MSG_RecvMsg(local, kTestEchoRsp, 5000);
    ASSERT_NE(rsp, nullptr);
    MSG_Message* copy = MSG_CloneMsg(rsp);  // a deep copy with the same header
    MSG_ReleaseMsg(rsp);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(MSG_GetSequence(copy), seq);
    EXPECT_EQ(MSG_GetSender(copy), svc);
    EXPECT_EQ(msgTestWords(copy), (std::vector<uint32_t>{7, 0xdeadbeef}));
    MSG_ReleaseMsg(copy);
  }
  testing::internal::CaptureStderr();
  EXPECT_NE(MSG_OpenLocal(name), 0);  // a live endpoint's name cannot be taken over
  EXPECT_NE(testing::internal::GetCapturedStderr().find("/ToVelar1%2FProcessMon is in use by a running process"),
            std::string::npos);
  // A clean close takes the name away.
  ASSERT_EQ(MSG_SendMsg(local, svc, msgTestMessage(kTestQuit, 0, {})), 0);
  EXPECT_EQ(waitPeer(pid, 5000), 0);
  EXPECT_EQ(dirEntries(m_dir), std::vector<std::string>{local});
  EXPECT_NE(MSG_SendMsg(local, svc, msgTestMessage(kTestEcho, 1, {})), 0);
}

TEST_F(MsgTest, OpenRemoteSyncTimesOutOrWaitsWithoutLimitForALateRemote) {
  openLocal("t");
  MSG_Endpoint id = 77;
  auto t0 = Clock::now();
  EXPECT_NE(MSG_OpenRemoteSync("t", "nobody", 300, &id), 0);
  EXPECT_GE(msgMsSince(t0), 290);
  EXPECT_EQ(id, 77u);  // untouched on failure
  EXPECT_NE(MSG_OpenRemoteSync("not-open", "nobody", 0, &id), 0);
  startPeer({"service", "late", "300"});
  ASSERT_EQ(MSG_OpenRemoteSync("t", "late", -1, &id), 0);
  EXPECT_EQ(msgTag(request("t", id, kTestEcho, {3}, kTestEchoRsp)), "101:3");  // it accepts at once
}

}  // namespace
