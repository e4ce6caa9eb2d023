// Endpoints and remotes: names on disk, bad arguments, request and reply
// between processes, peers that die or come late.
#include <algorithm>
#include <filesystem>
#include <iterator>

#include "tests/platform/msg/msgTestFixture.h"
#include "tests/platform/msg/msgTestTypes.h"

namespace {

std::vector<std::string> dirEntries(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) out.push_back(e.path().filename());
  std::sort(out.begin(), out.end());
  return out;
}

TEST_F(MsgTest, SocketDirectoryIsGroupOnlyAndHoldsOneSocketPerEndpoint) {
  openLocal("ToVelar1/ProcessMon");
  openLocal("CE:Modman");
  EXPECT_EQ(static_cast<int>(std::filesystem::status(m_dir).permissions()), 0770);
  EXPECT_EQ(dirEntries(m_dir), (std::vector<std::string>{".d", "CE:Modman", "ToVelar1%2FProcessMon"}));
  EXPECT_EQ(static_cast<int>(std::filesystem::status(m_dir + "/CE:Modman").permissions()), 0660);
}

TEST_F(MsgTest, BadArgumentsFailWithoutHarm) {
  openLocal("a");
  MSG_Callback backwards = {[](void*, const MSG_Message*) {}, nullptr, 5, 4, 0};
  // "a" is already open here; 0 is no reply address, 0x7fffffff no known id.
  const int refused[] = {MSG_OpenLocal(nullptr), MSG_OpenLocal(""), MSG_OpenLocal("a"),
                         MSG_SendMsg("a", 1, nullptr), MSG_SendMsg("not-open", 1, MSG_AllocMsg(1, 0, 4)),
                         MSG_SendMsg("a", 0, MSG_AllocMsg(1, 0, 4)), MSG_SendMsg("a", 0x7fffffff, MSG_AllocMsg(1, 0, 4)),
                         MSG_SendNotification("a", nullptr), MSG_RegisterCallback("a", &backwards),
                         MSG_ProcessCallback("a", nullptr), MSG_RegisterNotificationRemote("a", 2, 1, 1),
                         MSG_RegisterNotificationRemote("a", 1, 2, 0x7ffffff0)};
  for (size_t i = 0; i < std::size(refused); ++i) EXPECT_NE(refused[i], 0) << i;
  EXPECT_EQ(MSG_CloseLocal("not-open"), -1);
  EXPECT_EQ(MSG_SendNotification("a", MSG_AllocMsg(0x200, 0, 4)), 0);  // no subscriber is no error
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
  EXPECT_NE(MSG_SendMsg(local, svc, msgTestMessage(kTestEcho, 2, {2})), 0);
  EXPECT_EQ(MSG_GetRemoteId(local, name), 0u);
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
  EXPECT_EQ(waitPeer(pid), 0);
  EXPECT_EQ(dirEntries(m_dir), (std::vector<std::string>{".d", local}));
  EXPECT_EQ(dirEntries(m_dir + "/.d").size(), 1u);  // none left by the killed peer or the refused open
  EXPECT_NE(MSG_SendMsg(local, svc, msgTestMessage(kTestEcho, 1, {})), 0);
}

TEST_F(MsgTest, OpenRemoteSyncTimesOutOrWaitsWithoutLimitForALateRemote) {
  openLocal("t");
  MSG_Endpoint id = 77;
  EXPECT_NE(MSG_OpenRemoteSync("t", "nobody", 300, &id), 0);
  EXPECT_EQ(id, 77u);  // untouched on failure
  EXPECT_NE(MSG_OpenRemoteSync("not-open", "nobody", 0, &id), 0);
  startPeer({"service", "late", "300"});
  ASSERT_EQ(MSG_OpenRemoteSync("t", "late", -1, &id), 0);
  EXPECT_EQ(msgEcho("t", id, 3), "101:3");  // it accepts at once
}

}  // namespace

// A service answers one short-lived client after another, each under a name
// of its own: what it opened to answer a client that has gone must not stay
// open, or a service running for months runs out of descriptors.
TEST_F(MsgTest, AnsweringClientsThatThenCloseLeavesNoDescriptorsOpen) {
  openLocal("svc");
  auto openFds = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
  long first = 0;
  for (int i = 0; i < 20; ++i) {
    const std::string client = "client" + std::to_string(i);
    ASSERT_EQ(MSG_OpenLocal(client.c_str()), 0);
    ASSERT_EQ(MSG_SendMsg(client.c_str(), waitRemote(client, "svc"), MSG_AllocMsg(0x100, 1, 4)), 0);
    MSG_Message* req = MSG_RecvAnyMsg("svc", 5000);
    ASSERT_EQ(MSG_SendMsg("svc", 0, MSG_AllocMsgCopyHdr(req, 0x101, 4)), 0);
    MSG_ReleaseMsg(req);
    MSG_CloseLocal(client.c_str());
    if (i == 1) first = openFds();  // the service's connections made, one client's kept
  }
  EXPECT_LE(openFds(), first + 2);
}
