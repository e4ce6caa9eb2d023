// The transport: each sender's messages arrive whole and in the order sent,
// whether they went as datagrams, on the stream because the receiver's
// datagram queue was full, or as large frames; a receiver busy elsewhere
// holds no sender up; directory events are seen during floods.
#include <thread>
#include <unistd.h>
#include <utility>

#include "platform/msg/msgDatagram.h"
#include "platform/msg/msgFrame.h"
#include "tests/platform/msg/msgTestFixture.h"
#include "tests/platform/msg/msgTestTypes.h"

namespace {

using Clock = std::chrono::steady_clock;
using Sized = std::vector<std::pair<MSG_Type, uint32_t>>;

// Far more than the dozen datagrams the kernel queues for one receiver.
constexpr uint32_t kBusyCount = 500;
// How long a receiver stays away from the library.
constexpr int kBusyMs = 1000;
constexpr uint32_t kLarge = 100u * 1024u;

class MsgTransportTest : public MsgServiceTest {
 protected:
  // Asks `peer` for message i = msgTestSizedMessage(type, i, bytes) per row.
  void burstSized(MSG_Endpoint peer, const Sized& list) {
    std::vector<uint32_t> words;
    for (const auto& p : list) {
      words.push_back(p.first);
      words.push_back(p.second);
    }
    ASSERT_EQ(MSG_SendMsg("t", peer, msgTestMessage(kTestBurstSized, 0, words)), 0);
  }

  // Sends `list` from `local` to `to`, numbering from `first`.
  void sendSized(const char* local, MSG_Endpoint to, const Sized& list, uint32_t first = 0) {
    for (uint32_t i = first; i < first + list.size(); ++i) {
      ASSERT_EQ(MSG_SendMsg(local, to, msgTestSizedMessage(list[i - first].first, i, list[i - first].second)), 0) << i;
    }
  }

  // Expects `m` to be sized message i of `row` from `from`, and releases it.
  static void expectSized(MSG_Message* m, MSG_Endpoint from, const std::pair<MSG_Type, uint32_t>& row, uint32_t i) {
    SCOPED_TRACE(testing::Message() << "message " << i);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(MSG_GetSender(m), from);
    EXPECT_EQ(MSG_GetType(m), row.first);
    EXPECT_EQ(MSG_GetSequence(m), i);
    EXPECT_EQ(MSG_GetPayloadBytes(m), row.second);
    EXPECT_EQ(msgTestSizedErrors(m, i), 0u);
    MSG_ReleaseMsg(m);
  }

  // Receives `list` from `from` on `local`, in that order, then nothing more.
  void expectInOrder(const char* local, MSG_Endpoint from, const Sized& list, uint32_t first = 0, bool last = true) {
    for (uint32_t i = first; i < first + list.size() && !HasFailure(); ++i) {
      expectSized(MSG_RecvAnyMsg(local, 20000), from, list[i - first], i);
    }
    if (last) {
      EXPECT_EQ(msgDrain(local, 300), std::vector<std::string>{});
    }
  }

};

Sized smallList(uint32_t n, MSG_Type type) {
  Sized list;
  for (uint32_t i = 0; i < n; ++i) list.push_back({type, 4 + i % 13});
  return list;
}

TEST_F(MsgTransportTest, LargeAndSmallMessagesFromOneSenderArriveInSendOrder) {
  // Around the largest datagram, and far above it, mixed with small ones.
  const uint32_t fits = static_cast<uint32_t>(kMsgMaxDatagram) - (kMsgFrameHeaderBytes + 3);
  const uint32_t sizes[] = {300u * 1024u, 4, fits, fits + 1, 0, MSG_MAX_PAYLOAD, 8, 70u * 1024u, 12};
  Sized list;
  for (uint32_t i = 0; i < 9; ++i) list.push_back({0x500 + i, sizes[i]});
  burstSized(m_svc, list);
  expectInOrder("t", m_svc, list);
  // A receive of one type keeps the large ones before it in their order.
  Sized mixed = {{0x601, 1024u * 1024u}, {0x602, 16}, {0x603, 2u * 1024u * 1024u}, {0x604, 16}};
  burstSized(m_svc, mixed);
  expectSized(MSG_RecvMsg("t", 0x604, 20000), m_svc, mixed[3], 3);
  mixed.pop_back();
  expectInOrder("t", m_svc, mixed);
}

TEST_F(MsgTransportTest, EchoOnBothSidesOfTheDatagramLimitArrivesIntact) {
  const uint32_t ours = static_cast<uint32_t>(kMsgMaxDatagram) - (kMsgFrameHeaderBytes + 1);
  const uint32_t theirs = static_cast<uint32_t>(kMsgMaxDatagram) - (kMsgFrameHeaderBytes + 3);
  for (uint32_t bytes : {0u, ours - 1, ours, ours + 1, theirs, theirs + 1}) {
    SCOPED_TRACE(bytes);
    ASSERT_EQ(MSG_SendMsg("t", m_svc, msgTestSizedMessage(kTestEcho, 7, bytes)), 0);
    MSG_Message* rsp = MSG_RecvMsg("t", kTestEchoRsp, 10000);
    ASSERT_NE(rsp, nullptr);
    EXPECT_EQ(MSG_GetPayloadBytes(rsp), bytes);
    EXPECT_EQ(msgTestSizedErrors(rsp, 7), 0u);
    MSG_ReleaseMsg(rsp);
  }
}

// A full datagram queue used to hold a sender 5 s per message or lose it.
TEST_F(MsgTransportTest, SendsToAReceiverBusyElsewhereReturnAtOnceAndKeepTheirOrder) {
  openLocal("snd");
  MSG_Endpoint rcv = waitRemote("snd", "t");
  MSG_Endpoint snd = waitRemote("t", "snd");
  ASSERT_NE(rcv, 0u);
  ASSERT_NE(snd, 0u);
  Sized list = smallList(kBusyCount, 0x700);
  for (uint32_t i = 0; i < 40; i += 10) list[i + 5].second = kLarge + i;
  list[3].second = 0;
  // "t" is not read while this thread sends: it is as busy as can be.
  auto t0 = Clock::now();
  sendSized("snd", rcv, list);
  EXPECT_LT(msgMsSince(t0), 2500);
  std::this_thread::sleep_for(std::chrono::milliseconds(kBusyMs));
  // Half taken, then more sent while the queue has room again: these go as
  // datagrams once more and must still come after the rest.
  const uint32_t half = kBusyCount / 2;
  expectInOrder("t", snd, Sized(list.begin(), list.begin() + half), 0, false);
  Sized more = {{0x730, 12}, {0x731, kLarge}, {0x732, 4}};
  sendSized("snd", rcv, more, kBusyCount);
  expectInOrder("t", snd, Sized(list.begin() + half, list.end()), half, false);
  expectInOrder("t", snd, more, kBusyCount);
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
  auto t0 = Clock::now();
  while (calls == 0 && msgMsSince(t0) < 10000) {
    if (outstanding < 64) {
      ASSERT_EQ(MSG_SendMsg("t", m_svc, msgTestMessage(kTestBurst, 0, types)), 0);
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
