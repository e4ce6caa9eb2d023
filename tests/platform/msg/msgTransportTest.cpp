// The transport: each sender's messages arrive whole and in the order sent,
// whether they went as datagrams, on the stream because the receiver's
// datagram queue was full, or as large frames; a receiver busy elsewhere
// holds no sender up; directory events are seen during floods.
#include <thread>
#include <unistd.h>

#include "platform/msg/msgDatagram.h"
#include "platform/msg/msgFrame.h"
#include "tests/platform/msg/msgTestFixture.h"
#include "tests/platform/msg/msgTestTypes.h"

namespace {


// Far more than the dozen datagrams the kernel queues for one receiver.
constexpr uint32_t kBusyCount = 500;
// How long a receiver stays away from the library.
constexpr int kBusyMs = 1000;
constexpr uint32_t kLarge = 100u * 1024u;

std::string sizedRow(MSG_Endpoint from, MSG_Type type, uint32_t seq, uint32_t bytes, bool intact) {
  char buf[80];
  snprintf(buf, sizeof buf, "from %u type %x #%u %uB%s", from, type, seq, bytes, intact ? "" : " damaged");
  return buf;
}

// sizedRow of sized message `m` ("none" for null); releases it.
std::string sizedTag(MSG_Message* m) {
  if (m == nullptr) return "none";
  std::string tag = sizedRow(MSG_GetSender(m), MSG_GetType(m), MSG_GetSequence(m), MSG_GetPayloadBytes(m),
                             msgTestSizedIntact(m, MSG_GetSequence(m)));
  MSG_ReleaseMsg(m);
  return tag;
}

struct MsgTransportTest : MsgServiceTest {
  // Sends `list` from `local` to `to`, numbering from `first`.
  void sendSized(const char* local, MSG_Endpoint to, const MsgSized& list, uint32_t first = 0) {
    for (uint32_t i = first; i < first + list.size(); ++i)
      ASSERT_EQ(MSG_SendMsg(local, to, msgTestSizedMessage(list[i - first].first, i, list[i - first].second)), 0) << i;
  }

  // Receives `list` from `from` on `local`, numbered from `first`, in that
  // order; when `last`, nothing more.
  void expectInOrder(const char* local, MSG_Endpoint from, const MsgSized& list, uint32_t first = 0, bool last = true) {
    std::vector<std::string> want, got;
    for (uint32_t i = first; i < first + list.size() && (got.empty() || got.back() != "none"); ++i) {
      want.push_back(sizedRow(from, list[i - first].first, i, list[i - first].second, true));
      got.push_back(sizedTag(MSG_RecvAnyMsg(local, 20000)));
    }
    EXPECT_EQ(got, want);
    EXPECT_EQ(last ? msgDrain(local, 300) : std::vector<std::string>{}, std::vector<std::string>{});
  }
};

TEST_F(MsgTransportTest, LargeAndSmallMessagesFromOneSenderArriveInSendOrder) {
  // Around the largest datagram of each side (the sender's name is in the
  // frame: "t" here, "svc" there), far above it, mixed with small ones.
  const uint32_t ours = static_cast<uint32_t>(kMsgMaxDatagram) - (kMsgFrameHeaderBytes + 1), theirs = ours - 2;
  MsgSized list, echoes, replies;
  for (uint32_t bytes : {300u * 1024u, 4u, theirs, theirs + 1, 0u, MSG_MAX_PAYLOAD, 8u, 70u * 1024u, 12u}) {
    list.push_back({0x500 + static_cast<MSG_Type>(list.size()), bytes});
  }
  burst(list);
  expectInOrder("t", m_svc, list);
  for (uint32_t bytes : {0u, ours - 1, ours, ours + 1, theirs, theirs + 1, kLarge}) {
    echoes.push_back({kTestEcho, bytes});
    replies.push_back({kTestEchoRsp, bytes});
  }
  sendSized("t", m_svc, echoes);
  expectInOrder("t", m_svc, replies);
}

// A full datagram queue used to hold a sender 5 s per message or lose it.
TEST_F(MsgTransportTest, SendsToAReceiverBusyElsewhereReturnAtOnceAndKeepTheirOrder) {
  openLocal("snd");
  MSG_Endpoint rcv = waitRemote("snd", "t");
  MSG_Endpoint snd = waitRemote("t", "snd");
  ASSERT_NE(rcv, 0u);
  ASSERT_NE(snd, 0u);
  MsgSized list;
  for (uint32_t i = 0; i < kBusyCount; ++i) list.push_back({0x700, 4 + i % 13});
  for (uint32_t i = 0; i < 40; i += 10) list[i + 5].second = kLarge + i;
  list[3].second = 0;
  // "t" is not read while this thread sends: it is as busy as can be.
  sendSized("snd", rcv, list);  // a sender held up per message would hang the test
  std::this_thread::sleep_for(std::chrono::milliseconds(kBusyMs));
  // Half taken, then more sent while the queue has room again: these go as
  // datagrams once more and must still come after the rest.
  const uint32_t half = kBusyCount / 2;
  expectInOrder("t", snd, MsgSized(list.begin(), list.begin() + half), 0, false);
  MsgSized more = {{0x730, 12}, {0x731, kLarge}, {0x732, 4}};
  sendSized("snd", rcv, more, kBusyCount);
  expectInOrder("t", snd, MsgSized(list.begin() + half, list.end()), half, false);
  expectInOrder("t", snd, more, kBusyCount);
}

TEST_F(MsgTransportTest, OpenCallbackRunsWhileMessagesKeepComing) {
  // A receive that never has to wait, its queue never empty, must still
  // look at directory events.
  int calls = 0;
  MSG_Callback cb = {[](void* ctx, const MSG_Message*) { ++*static_cast<int*>(ctx); }, &calls, 0, 0, 0};
  ASSERT_EQ(MSG_OpenRemoteAsync("t", "late", &cb, 0), 0);
  startPeer({"service", "late", "300"});
  int outstanding = 0;
  for (int n = 0; calls == 0 && n < 200000; ++n) {
    if (outstanding < 64) {
      burst(MsgSized(64, {0x301, 4}));
      outstanding += 64;
    }
    MSG_Message* m = MSG_RecvAnyMsg("t", 2000);
    ASSERT_NE(m, nullptr) << "the flood stopped";
    --outstanding;
    MSG_ReleaseMsg(m);
  }
  EXPECT_EQ(calls, 1);
}

}  // namespace
