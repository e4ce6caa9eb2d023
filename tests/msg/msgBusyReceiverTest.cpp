// A receiver busy outside every call of the library: senders go on at once,
// nothing is lost, and each sender's messages arrive in the order sent,
// whether they went as datagrams, on the stream because the receiver's
// datagram queue was full, or as large frames.
#include <chrono>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/msg/msgDatagram.h"
#include "tests/msg/msgTestFixture.h"
#include "tests/msg/msgTestTypes.h"

namespace {

using Clock = std::chrono::steady_clock;

// Far more than the dozen datagrams the kernel queues for one receiver.
constexpr uint32_t kMsgBusyCount = 500;
// How long the receiver stays away from the library.
constexpr int kMsgBusyMs = 1000;
// A full datagram queue used to hold a sender 5 s per message; half of that
// for all of them together still shows that none was held.
constexpr long kMsgBusySendLimitMs = 2500;
constexpr uint32_t kMsgLarge = 100u * 1024u;

class MsgBusyReceiverTest : public MsgTest {
 protected:
  // Receives `list` from `from` on `local`, in that order, each one
  // msgTestSizedMessage(type, i, bytes).
  void expectSizedInOrder(const std::string& local, MSG_Endpoint from,
                          const std::vector<std::pair<MSG_Type, uint32_t>>& list, uint32_t first = 0) {
    for (uint32_t i = first; i < first + list.size(); ++i) {
      MSG_Message* m = MSG_RecvAnyMsg(local.c_str(), 5000);
      ASSERT_NE(m, nullptr) << "message " << i;
      EXPECT_EQ(MSG_GetSender(m), from) << "message " << i;
      EXPECT_EQ(MSG_GetType(m), list[i - first].first) << "message " << i;
      EXPECT_EQ(MSG_GetSequence(m), i) << "message " << i;
      EXPECT_EQ(MSG_GetPayloadBytes(m), list[i - first].second) << "message " << i;
      EXPECT_EQ(msgTestSizedErrors(m, i), 0u) << "message " << i;
      MSG_ReleaseMsg(m);
      if (::testing::Test::HasFailure()) return;
    }
  }

  // Sends `list` from `local` to `to`, numbering from `first`; every send
  // must return 0.
  void sendSized(const std::string& local, MSG_Endpoint to, const std::vector<std::pair<MSG_Type, uint32_t>>& list,
                 uint32_t first = 0) {
    for (uint32_t i = first; i < first + list.size(); ++i) {
      MSG_Message* m = msgTestSizedMessage(list[i - first].first, i, list[i - first].second);
      ASSERT_NE(m, nullptr);
      ASSERT_EQ(MSG_SendMsg(local.c_str(), to, m), 0) << "message " << i;
    }
  }

  void expectNothingMore(const std::string& local) {
    MSG_Message* extra = MSG_RecvAnyMsg(local.c_str(), 300);
    EXPECT_EQ(extra, nullptr) << "unexpected type 0x" << std::hex << (extra ? MSG_GetType(extra) : 0);
    if (extra != nullptr) MSG_ReleaseMsg(extra);
  }
};

std::vector<std::pair<MSG_Type, uint32_t>> smallList(uint32_t n, MSG_Type type) {
  std::vector<std::pair<MSG_Type, uint32_t>> list;
  for (uint32_t i = 0; i < n; ++i) list.push_back({type, 4 + i % 13});
  return list;
}

TEST_F(MsgBusyReceiverTest, SendsToAReceiverBusyElsewhereReturnAtOnceAndAllArriveInOrder) {
  openLocal("snd");
  openLocal("rcv");
  MSG_Endpoint rcv = waitRemote("snd", "rcv");
  ASSERT_NE(rcv, 0u);
  MSG_Endpoint snd = waitRemote("rcv", "snd");
  ASSERT_NE(snd, 0u);
  auto list = smallList(kMsgBusyCount, 0x700);
  // "rcv" is not read while this thread sends: it is as busy as can be.
  Clock::time_point t0 = Clock::now();
  sendSized("snd", rcv, list);
  long tookMs = msgMsSince(t0);
  EXPECT_LT(tookMs, kMsgBusySendLimitMs) << kMsgBusyCount << " sends took " << tookMs << " ms";
  std::this_thread::sleep_for(std::chrono::milliseconds(kMsgBusyMs));
  expectSizedInOrder("rcv", snd, list);
  expectNothingMore("rcv");
}

TEST_F(MsgBusyReceiverTest, DatagramStreamAndLargeMessagesFromOneSenderKeepTheirOrder) {
  openLocal("snd");
  openLocal("rcv");
  MSG_Endpoint rcv = waitRemote("snd", "rcv");
  ASSERT_NE(rcv, 0u);
  MSG_Endpoint snd = waitRemote("rcv", "snd");
  ASSERT_NE(snd, 0u);
  const uint32_t fits = static_cast<uint32_t>(kMsgMaxDatagram) - 64;
  // Datagrams, a large one announced by its marker, then far more than the
  // queue holds with large ones among them, sent while the queue is full.
  std::vector<std::pair<MSG_Type, uint32_t>> first = {{0x710, 8}, {0x711, kMsgLarge}, {0x712, 0}, {0x713, fits}};
  for (uint32_t i = 0; i < 40; ++i) first.push_back({0x720, i % 10 == 5 ? kMsgLarge + i : 4 + i});
  sendSized("snd", rcv, first);
  // Half of them taken, then more sent while the queue has room again: these
  // go as datagrams once more and must still come after the rest.
  uint32_t half = static_cast<uint32_t>(first.size() / 2);
  std::vector<std::pair<MSG_Type, uint32_t>> head(first.begin(), first.begin() + half);
  std::vector<std::pair<MSG_Type, uint32_t>> tail(first.begin() + half, first.end());
  expectSizedInOrder("rcv", snd, head);
  std::vector<std::pair<MSG_Type, uint32_t>> second = {{0x730, 12}, {0x731, kMsgLarge}, {0x732, 4}};
  sendSized("snd", rcv, second, static_cast<uint32_t>(first.size()));
  expectSizedInOrder("rcv", snd, tail, half);
  expectSizedInOrder("rcv", snd, second, static_cast<uint32_t>(first.size()));
  // And the fast path after all that: one at a time, each taken at once.
  for (uint32_t i = 0; i < 20; ++i) {
    uint32_t n = static_cast<uint32_t>(first.size() + second.size()) + i;
    std::vector<std::pair<MSG_Type, uint32_t>> one = {{0x740, 4 + i}};
    sendSized("snd", rcv, one, n);
    expectSizedInOrder("rcv", snd, one, n);
  }
  expectNothingMore("rcv");
}

TEST_F(MsgBusyReceiverTest, PeerBurstToABusyReceiverArrivesWholeAndInOrder) {
  openLocal("t");
  startPeer({"service", "svc"});
  MSG_Endpoint svc = waitRemote("t", "svc");
  ASSERT_NE(svc, 0u);
  std::vector<std::pair<MSG_Type, uint32_t>> list = smallList(kMsgBusyCount, 0x750);
  list[100].second = kMsgLarge;
  list[101].second = 0;
  list[300].second = static_cast<uint32_t>(kMsgMaxDatagram) + 1;
  std::vector<uint32_t> words;
  for (const auto& p : list) {
    words.push_back(p.first);
    words.push_back(p.second);
  }
  ASSERT_EQ(MSG_SendMsg("t", svc, msgTestMessage(kTestBurstSized, 0, words)), 0);
  // Not in any call of the library while the peer sends everything.
  std::this_thread::sleep_for(std::chrono::milliseconds(kMsgBusyMs));
  expectSizedInOrder("t", svc, list);
  expectNothingMore("t");
  // The peer was not held up either: it answers at once.
  MSG_Message* rsp = request("t", svc, kTestEcho, {11}, kTestEchoRsp, 1000);
  ASSERT_NE(rsp, nullptr);
  EXPECT_EQ(msgTestWords(rsp), std::vector<uint32_t>{11});
  MSG_ReleaseMsg(rsp);
}

TEST_F(MsgBusyReceiverTest, TwoPeersBurstingAtOnceEachArriveInTheirOrder) {
  openLocal("t");
  startPeer({"service", "svc1"});
  startPeer({"service", "svc2"});
  MSG_Endpoint svc1 = waitRemote("t", "svc1");
  MSG_Endpoint svc2 = waitRemote("t", "svc2");
  ASSERT_NE(svc1, 0u);
  ASSERT_NE(svc2, 0u);
  constexpr uint32_t kEach = 300;
  std::vector<uint32_t> words1;
  std::vector<uint32_t> words2;
  for (uint32_t i = 0; i < kEach; ++i) {
    words1.push_back(0x800);
    words1.push_back(i == 150 ? kMsgLarge : 4 + i % 7);
    words2.push_back(0x900);
    words2.push_back(i == 10 ? kMsgLarge : 8 + i % 5);
  }
  ASSERT_EQ(MSG_SendMsg("t", svc1, msgTestMessage(kTestBurstSized, 0, words1)), 0);
  ASSERT_EQ(MSG_SendMsg("t", svc2, msgTestMessage(kTestBurstSized, 0, words2)), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(kMsgBusyMs));
  uint32_t next1 = 0;
  uint32_t next2 = 0;
  while (next1 < kEach || next2 < kEach) {
    MSG_Message* m = MSG_RecvAnyMsg("t", 5000);
    ASSERT_NE(m, nullptr) << "svc1 at " << next1 << ", svc2 at " << next2;
    bool one = MSG_GetSender(m) == svc1;
    ASSERT_TRUE(one || MSG_GetSender(m) == svc2);
    uint32_t& next = one ? next1 : next2;
    const std::vector<uint32_t>& words = one ? words1 : words2;
    ASSERT_LT(next, kEach);
    EXPECT_EQ(MSG_GetType(m), words[2 * next]);
    EXPECT_EQ(MSG_GetSequence(m), next) << (one ? "svc1" : "svc2");
    EXPECT_EQ(MSG_GetPayloadBytes(m), words[2 * next + 1]);
    EXPECT_EQ(msgTestSizedErrors(m, next), 0u);
    MSG_ReleaseMsg(m);
    ++next;
    if (HasFailure()) return;
  }
  expectNothingMore("t");
}

}  // namespace
