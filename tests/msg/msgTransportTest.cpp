// The datagram transport: large messages keep their place among small ones,
// the boundary between datagram and stream, a receive queue that fills up,
// credentials and malformed datagrams, closing under a waiting reader, and
// directory events during long waits and floods.
#include <atomic>
#include <cstring>
#include <grp.h>
#include <mutex>
#include <thread>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/msg/msgDatagram.h"
#include "platform/msg/msgFrame.h"
#include "tests/msg/msgTestFixture.h"
#include "tests/msg/msgTestTypes.h"

namespace {

using Clock = std::chrono::steady_clock;

// Frame bytes ahead of the payload of a message from "svc" and from "t".
constexpr uint32_t kSvcFrameHead = kMsgFrameHeaderBytes + 3;
constexpr uint32_t kOurFrameHead = kMsgFrameHeaderBytes + 1;

std::string validFrame(MSG_Type type, const std::string& sender, const std::string& payload) {
  MsgFrameHead head;
  msgFrameHeader(&head, kMsgFrameData, type, 5, sender, static_cast<uint32_t>(payload.size()));
  return std::string(head.bytes, head.size) + payload;
}

std::string headerWith(uint32_t magic, uint16_t kind, uint16_t nameLen, uint32_t len) {
  std::string h(kMsgFrameHeaderBytes, '\0');
  memcpy(&h[0], &magic, 4);
  memcpy(&h[4], &kind, 2);
  memcpy(&h[6], &nameLen, 2);
  uint32_t type = 0x301;
  memcpy(&h[8], &type, 4);
  memcpy(&h[16], &len, 4);
  return h + std::string(nameLen, 'x');
}

// A datagram socket connected to the endpoint whose socket file is `path`,
// as a sender that knows the name has it; -1 on failure.
int connectTo(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return -1;
  return msgConnectDatagram(st.st_dev, st.st_ino);
}

class MsgTransportTest : public MsgTest {
 protected:
  void SetUp() override {
    MsgTest::SetUp();
    openLocal("t");
    startPeer({"service", "svc"});
    m_svc = waitRemote("t", "svc");
    ASSERT_NE(m_svc, 0u);
  }

  // Asks the service for one message per (type, bytes) pair.
  void burstSized(const std::vector<std::pair<MSG_Type, uint32_t>>& list) {
    std::vector<uint32_t> words;
    for (const auto& p : list) {
      words.push_back(p.first);
      words.push_back(p.second);
    }
    ASSERT_EQ(MSG_SendMsg("t", m_svc, msgTestMessage(kTestBurstSized, 0, words)), 0);
  }

  // Expects sized message i of `type` and `bytes` next from `m`, and releases it.
  void expectSized(MSG_Message* m, MSG_Type type, uint32_t i, uint32_t bytes) {
    ASSERT_NE(m, nullptr) << "message " << i;
    EXPECT_EQ(MSG_GetType(m), type) << "message " << i;
    EXPECT_EQ(MSG_GetSequence(m), i);
    EXPECT_EQ(MSG_GetSender(m), m_svc);
    EXPECT_EQ(MSG_GetPayloadBytes(m), bytes) << "message " << i;
    EXPECT_EQ(msgTestSizedErrors(m, i), 0u) << "message " << i;
    MSG_ReleaseMsg(m);
  }

  void expectStillServing() {
    MSG_Message* rsp = request("t", m_svc, kTestEcho, {11}, kTestEchoRsp);
    ASSERT_NE(rsp, nullptr);
    EXPECT_EQ(msgTestWords(rsp), std::vector<uint32_t>{11});
    MSG_ReleaseMsg(rsp);
  }

  MSG_Endpoint m_svc = 0;
};

TEST_F(MsgTransportTest, LargeAndSmallMessagesFromOneSenderArriveInSendOrder) {
  // Around the largest datagram, and far above it, mixed with small ones.
  const uint32_t fits = static_cast<uint32_t>(kMsgMaxDatagram) - kSvcFrameHead;
  const std::vector<uint32_t> sizes = {300u * 1024u, 4, fits, fits + 1, 0, MSG_MAX_PAYLOAD, 8, 70u * 1024u, 12};
  std::vector<std::pair<MSG_Type, uint32_t>> list;
  for (uint32_t i = 0; i < sizes.size(); ++i) list.push_back({0x500 + i, sizes[i]});
  burstSized(list);
  for (uint32_t i = 0; i < sizes.size(); ++i) expectSized(MSG_RecvAnyMsg("t", 20000), 0x500 + i, i, sizes[i]);
  EXPECT_EQ(MSG_RecvAnyMsg("t", 200), nullptr);
}

TEST_F(MsgTransportTest, RecvMsgKeepsTheLargeMessagesBeforeItsTypeInOrder) {
  burstSized({{0x601, 1024u * 1024u}, {0x602, 16}, {0x603, 2u * 1024u * 1024u}, {0x604, 16}});
  expectSized(MSG_RecvMsg("t", 0x604, 20000), 0x604, 3, 16);
  expectSized(MSG_RecvAnyMsg("t", 0), 0x601, 0, 1024u * 1024u);
  expectSized(MSG_RecvAnyMsg("t", 0), 0x602, 1, 16);
  expectSized(MSG_RecvAnyMsg("t", 0), 0x603, 2, 2u * 1024u * 1024u);
  EXPECT_EQ(MSG_RecvAnyMsg("t", 0), nullptr);
}

TEST_F(MsgTransportTest, EchoOnBothSidesOfTheDatagramLimitArrivesIntact) {
  const uint32_t ours = static_cast<uint32_t>(kMsgMaxDatagram) - kOurFrameHead;
  const uint32_t theirs = static_cast<uint32_t>(kMsgMaxDatagram) - kSvcFrameHead;
  for (uint32_t bytes : {ours - 1, ours, ours + 1, theirs, theirs + 1}) {
    ASSERT_EQ(MSG_SendMsg("t", m_svc, msgTestSizedMessage(kTestEcho, 7, bytes)), 0) << bytes;
    MSG_Message* rsp = MSG_RecvMsg("t", kTestEchoRsp, 10000);
    ASSERT_NE(rsp, nullptr) << bytes;
    EXPECT_EQ(MSG_GetPayloadBytes(rsp), bytes);
    EXPECT_EQ(msgTestSizedErrors(rsp, 7), 0u) << bytes;
    MSG_ReleaseMsg(rsp);
  }
}

TEST_F(MsgTransportTest, BurstLargerThanTheReceiveQueueWaitsForTheReceiverAndLosesNothing) {
  // Far more than the dozen datagrams a socket queues: the service is held
  // in its sends until we read, then goes on.
  constexpr uint32_t kCount = 300;
  std::vector<uint32_t> types(kCount, 0x301);
  ASSERT_EQ(MSG_SendMsg("t", m_svc, msgTestMessage(kTestBurst, 0, types)), 0);
  usleep(500000);
  for (uint32_t i = 0; i < kCount; ++i) {
    MSG_Message* m = MSG_RecvAnyMsg("t", 5000);
    ASSERT_NE(m, nullptr) << i;
    EXPECT_EQ(msgTestWords(m), std::vector<uint32_t>{i});
    MSG_ReleaseMsg(m);
  }
  EXPECT_EQ(MSG_RecvAnyMsg("t", 200), nullptr);
  expectStillServing();
}

TEST_F(MsgTransportTest, MalformedDatagramsAreDroppedAndTheEndpointServesOn) {
  struct Case {
    const char* what;
    std::string bytes;
    size_t reported;  // the size the log line gives
  };
  std::string good = validFrame(0x301, "raw", "abcd");
  std::string huge = headerWith(kMsgFrameMagic, kMsgFrameData, 3, static_cast<uint32_t>(kMsgMaxDatagram)) +
                     std::string(kMsgMaxDatagram, 'p');
  std::vector<Case> cases = {
      {"garbage", "GET / HTTP/1.0\r\n\r\n", 18},
      {"shorter than a header", good.substr(0, 10), 10},
      {"bad magic", headerWith(0x12345678, kMsgFrameData, 3, 4) + "abcd", 27},
      {"hello, which only a stream carries", headerWith(kMsgFrameMagic, kMsgFrameHello, 3, 4) + "abcd", 27},
      {"unknown kind", headerWith(kMsgFrameMagic, 9, 3, 4) + "abcd", 27},
      {"payload shorter than its length", good.substr(0, good.size() - 1), good.size() - 1},
      {"payload longer than its length", good + "x", good.size() + 1},
      {"larger than any datagram taken", huge, kMsgMaxDatagram + 1},
  };
  int fd = connectTo(m_dir + "/t");
  ASSERT_GE(fd, 0);
  for (const Case& c : cases) {
    testing::internal::CaptureStderr();
    ASSERT_EQ(send(fd, c.bytes.data(), c.bytes.size(), 0), static_cast<ssize_t>(c.bytes.size())) << c.what;
    MSG_Message* m = MSG_RecvAnyMsg("t", 300);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(m, nullptr) << c.what;
    MSG_ReleaseMsg(m);
    std::string line = "msg_tests: t: malformed datagram of " + std::to_string(c.reported) + " bytes from pid " +
                       std::to_string(getpid()) + "; dropped";
    EXPECT_NE(err.find(line), std::string::npos) << c.what << ": " << err;
  }
  // The same socket still gets a good frame through.
  ASSERT_EQ(send(fd, good.data(), good.size(), 0), static_cast<ssize_t>(good.size()));
  MSG_Message* m = MSG_RecvAnyMsg("t", 5000);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(MSG_GetType(m), 0x301u);
  EXPECT_EQ(MSG_GetSequence(m), 5u);
  EXPECT_EQ(MSG_GetPayloadBytes(m), 4u);
  MSG_ReleaseMsg(m);
  close(fd);
  expectStillServing();
}

TEST_F(MsgTransportTest, DatagramOfAnotherUserAndGroupIsRefused) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to become a stranger";
  std::string path = m_dir + "/t";
  std::string frame = validFrame(0x301, "raw", "abcd");
  for (bool stranger : {false, true}) {
    pid_t pid = fork();
    if (pid == 0) {
      // The worst case: a stranger that has learnt the datagram name.
      int fd = connectTo(path);
      if (fd < 0) _exit(2);
      if (stranger && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
      _exit(send(fd, frame.data(), frame.size(), 0) == static_cast<ssize_t>(frame.size()) ? 0 : 4);
    }
    ASSERT_GT(pid, 0);
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    testing::internal::CaptureStderr();
    MSG_Message* m = MSG_RecvAnyMsg("t", 500);
    std::string err = testing::internal::GetCapturedStderr();
    if (stranger) {
      EXPECT_EQ(m, nullptr);
      EXPECT_NE(err.find("msg_tests: t: refusing a datagram from pid " + std::to_string(pid) + " uid 65534 gid 65534"),
                std::string::npos)
          << err;
    } else {
      ASSERT_NE(m, nullptr);
      EXPECT_EQ(MSG_GetType(m), 0x301u);
    }
    MSG_ReleaseMsg(m);
  }
  expectStillServing();
}

TEST_F(MsgTransportTest, OpenCallbackRunsWhileMessagesKeepComing) {
  // A receive that never has to wait a whole slice must still look at
  // directory events.
  int calls = 0;
  MSG_Callback cb = {[](void* ctx, const MSG_Message*) { ++*static_cast<int*>(ctx); }, &calls, 0, 0, 0};
  ASSERT_EQ(MSG_OpenRemoteAsync("t", "late", &cb, 0), 0);
  startPeer({"service", "late", "300"});
  const std::vector<uint32_t> types(64, 0x301);
  int outstanding = 0;
  int received = 0;
  auto t0 = Clock::now();
  while (calls == 0 && msgMsSince(t0) < 10000) {
    if (outstanding < 64) {
      ASSERT_EQ(MSG_SendMsg("t", m_svc, msgTestMessage(kTestBurst, 0, types)), 0);
      outstanding += 64;
    }
    MSG_Message* m = MSG_RecvAnyMsg("t", 2000);
    ASSERT_NE(m, nullptr) << "the flood stopped";
    --outstanding;
    ++received;
    MSG_ReleaseMsg(m);
  }
  EXPECT_EQ(calls, 1);
  EXPECT_GT(received, 0);
}

TEST_F(MsgTest, ClosingAnEndpointEndsAWaitWithoutLimitOnIt) {
  ASSERT_EQ(MSG_OpenLocal("w"), 0);
  std::atomic<bool> returned{false};
  MSG_Message* got = reinterpret_cast<MSG_Message*>(1);
  std::thread reader([&] {
    got = MSG_RecvAnyMsg("w", -1);
    returned = true;
  });
  usleep(200000);
  EXPECT_FALSE(returned);
  auto t0 = Clock::now();
  EXPECT_EQ(MSG_CloseLocal("w"), 0);
  reader.join();
  EXPECT_LT(msgMsSince(t0), 3000);
  EXPECT_EQ(got, nullptr);
  // The name is free again.
  ASSERT_EQ(MSG_OpenLocal("w"), 0);
  EXPECT_EQ(MSG_CloseLocal("w"), 0);
}

TEST_F(MsgTest, SubscriptionIsRenewedWhileItsThreadWaitsWithoutLimit) {
  openLocal("sub");
  openLocal("ctl");
  pid_t pid = startPeer({"service", "pub"});
  MSG_Endpoint pub = waitRemote("ctl", "pub");
  ASSERT_NE(pub, 0u);
  std::mutex mu;
  std::vector<MSG_Type> seen;
  std::atomic<bool> stop{false};
  std::thread loop([&] {
    while (!stop) {
      MSG_Message* m = MSG_RecvAnyMsg("sub", -1);
      if (m == nullptr) continue;
      std::lock_guard<std::mutex> g(mu);
      seen.push_back(MSG_GetType(m));
      MSG_ReleaseMsg(m);
    }
  });
  // The loop waits, with nothing yet to look at, before the subscription exists.
  usleep(200000);
  ASSERT_EQ(MSG_RegisterNotificationRemote("sub", 0x200, 0x2FF, pub), 0);
  killPeer(pid);
  startPeer({"service", "pub"});
  ASSERT_EQ(waitRemote("ctl", "pub"), pub);
  // Only the renewal can bring a notification now; it comes within a slice
  // or so of the publisher's return.
  bool got = false;
  auto t0 = Clock::now();
  while (!got && msgMsSince(t0) < 5000) {
    ASSERT_EQ(MSG_SendMsg("ctl", pub, msgTestMessage(kTestPublish, 0, {0x250})), 0);
    MSG_Message* rsp = MSG_RecvMsg("ctl", kTestPublished, 5000);
    ASSERT_NE(rsp, nullptr);
    MSG_ReleaseMsg(rsp);
    usleep(100000);
    std::lock_guard<std::mutex> g(mu);
    got = !seen.empty();
  }
  EXPECT_TRUE(got);
  stop = true;
  ASSERT_EQ(MSG_SendMsg("ctl", MSG_GetRemoteId("ctl", "sub"), msgTestMessage(0x999, 0, {})), 0);
  loop.join();
  std::lock_guard<std::mutex> g(mu);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), 0x250u);
}

}  // namespace
