// Receiving: held messages, time-outs, two threads on one endpoint, handlers.
#include <atomic>
#include <cstring>
#include <unistd.h>
#include <thread>

#include "tests/msg/msgTestFixture.h"
#include "tests/msg/msgTestTypes.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr MSG_Type kA = 0x301;
constexpr MSG_Type kB = 0x302;
constexpr MSG_Type kC = 0x303;
constexpr MSG_Type kD = 0x304;

class MsgRecvTest : public MsgTest {
 protected:
  void SetUp() override {
    MsgTest::SetUp();
    openLocal("t");
    startPeer({"service", "svc"});
    m_svc = waitRemote("t", "svc");
    ASSERT_NE(m_svc, 0u);
  }
  // Asks the service to send back one message per type, message i carrying i.
  void burst(const std::vector<uint32_t>& types) {
    ASSERT_EQ(MSG_SendMsg("t", m_svc, msgTestMessage(kTestBurst, 0, types)), 0);
  }
  MSG_Endpoint m_svc = 0;
};

// "type:index" of a message, or "none".
std::string tag(MSG_Message* m) {
  if (m == nullptr) return "none";
  char buf[32];
  std::vector<uint32_t> w = msgTestWords(m);
  snprintf(buf, sizeof buf, "%x:%u", MSG_GetType(m), w.empty() ? 99u : w[0]);
  MSG_ReleaseMsg(m);
  return buf;
}

TEST_F(MsgRecvTest, RecvMsgTakesItsTypeAndHoldsTheRestInArrivalOrder) {
  burst({kA, kB, kC, kB, kD});
  EXPECT_EQ(tag(MSG_RecvMsg("t", kC, 5000)), "303:2");
  // Held messages are searched first.
  EXPECT_EQ(tag(MSG_RecvMsg("t", kB, 5000)), "302:1");
  EXPECT_EQ(tag(MSG_RecvAnyMsg("t", 5000)), "301:0");
  EXPECT_EQ(tag(MSG_RecvAnyMsg("t", 5000)), "302:3");
  EXPECT_EQ(tag(MSG_RecvAnyMsg("t", 5000)), "304:4");
  EXPECT_EQ(tag(MSG_RecvAnyMsg("t", 0)), "none");
}

TEST_F(MsgRecvTest, RecvAnyMsgReturnsAHeldMessageAtOnce) {
  burst({kA, kB});
  EXPECT_EQ(tag(MSG_RecvMsg("t", kB, 5000)), "302:1");
  auto t0 = Clock::now();
  EXPECT_EQ(tag(MSG_RecvAnyMsg("t", -1)), "301:0");
  EXPECT_LT(msgMsSince(t0), 1000);
}

TEST_F(MsgRecvTest, RecvAnyMsgTimesOutWithNull) {
  auto t0 = Clock::now();
  EXPECT_EQ(MSG_RecvAnyMsg("t", 300), nullptr);
  long took = msgMsSince(t0);
  EXPECT_GE(took, 290);
  EXPECT_LT(took, 3000);
  t0 = Clock::now();
  EXPECT_EQ(MSG_RecvAnyMsg("t", 0), nullptr);
  EXPECT_LT(msgMsSince(t0), 1000);
}

TEST_F(MsgRecvTest, RecvMsgTimesOutAndKeepsWhatCameMeanwhile) {
  burst({kA, kB});
  auto t0 = Clock::now();
  EXPECT_EQ(MSG_RecvMsg("t", kD, 400), nullptr);
  long took = msgMsSince(t0);
  EXPECT_GE(took, 390);
  EXPECT_LT(took, 3000);
  EXPECT_EQ(tag(MSG_RecvAnyMsg("t", 0)), "301:0");
  EXPECT_EQ(tag(MSG_RecvAnyMsg("t", 0)), "302:1");
  EXPECT_EQ(tag(MSG_RecvAnyMsg("t", 0)), "none");
}

// The daemon's shape: the main thread sits in MSG_RecvAnyMsg while a timer
// thread sends requests on the same endpoint and waits for each reply in
// MSG_RecvMsg. Every reply must reach the timer thread, every other message
// the main thread.
TEST_F(MsgRecvTest, ReplyGoesToTheThreadWaitingForItsType) {
  constexpr int kRounds = 40;
  std::atomic<bool> done{false};
  std::atomic<int> replies{0};
  std::atomic<int> wrongSeq{0};
  std::thread timer([&] {
    for (int i = 0; i < kRounds; ++i) {
      uint32_t seq = MSG_GetNextSequence();
      if (MSG_SendMsg("t", m_svc, msgTestMessage(kTestEchoExtra, seq, {static_cast<uint32_t>(i)})) != 0) break;
      // As if preempted between the send and the receive: the reply is in
      // before this thread asks for it.
      if (i % 3 == 1) usleep(5000);
      MSG_Message* rsp = MSG_RecvMsg("t", kTestEchoRsp, 5000);
      if (rsp == nullptr) break;
      if (MSG_GetSequence(rsp) != seq || msgTestWords(rsp) != std::vector<uint32_t>{static_cast<uint32_t>(i)}) {
        ++wrongSeq;
      }
      ++replies;
      MSG_ReleaseMsg(rsp);
      if (i % 2 == 0) usleep(2000);  // let the main thread be the reader sometimes, and sometimes not
    }
    done = true;
  });
  int extras = 0;
  int others = 0;
  auto t0 = Clock::now();
  while ((!done || extras < replies) && msgMsSince(t0) < 20000) {
    MSG_Message* m = MSG_RecvAnyMsg("t", done ? 0 : 50);
    if (m == nullptr) {
      if (done) break;
      continue;
    }
    (MSG_GetType(m) == kTestExtra ? extras : others)++;
    MSG_ReleaseMsg(m);
  }
  timer.join();
  EXPECT_EQ(replies, kRounds);
  EXPECT_EQ(wrongSeq, 0);
  EXPECT_EQ(extras, kRounds);
  EXPECT_EQ(others, 0);
}

// ---- handlers ----

struct HandlerLog {
  std::vector<std::string> calls;
};

void handlerOne(void* ctx, const MSG_Message* m) {
  char buf[32];
  snprintf(buf, sizeof buf, "one:%x", MSG_GetType(m));
  static_cast<HandlerLog*>(ctx)->calls.push_back(buf);
}

void handlerTwo(void* ctx, const MSG_Message* m) {
  char buf[32];
  snprintf(buf, sizeof buf, "two:%x", MSG_GetType(m));
  static_cast<HandlerLog*>(ctx)->calls.push_back(buf);
}

TEST_F(MsgRecvTest, HandlersByRangeFirstRegistrationWinsUnhandledIsLeft) {
  HandlerLog log;
  MSG_Callback one = {handlerOne, &log, 0x400, 0x40F, 0};
  MSG_Callback two = {handlerTwo, &log, 0x405, 0x41F, 0};
  ASSERT_EQ(MSG_RegisterCallback("t", &one), 0);
  ASSERT_EQ(MSG_RegisterCallback("t", &two), 0);
  burst({0x3FF, 0x400, 0x405, 0x40F, 0x410, 0x41F, 0x420});
  std::vector<int> results;
  for (int i = 0; i < 7; ++i) {
    MSG_Message* m = MSG_RecvAnyMsg("t", 5000);
    ASSERT_NE(m, nullptr);
    results.push_back(MSG_ProcessCallback("t", m) == 0 ? 0 : 1);
    MSG_ReleaseMsg(m);  // the caller releases, handled or not
  }
  EXPECT_EQ(results, (std::vector<int>{1, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(log.calls, (std::vector<std::string>{"one:400", "one:405", "one:40f", "two:410", "two:41f"}));
}

TEST_F(MsgRecvTest, JustOnceHandlerRunsOnce) {
  HandlerLog log;
  MSG_Callback once = {handlerOne, &log, kA, kA, 1};
  ASSERT_EQ(MSG_RegisterCallback("t", &once), 0);
  burst({kA, kA});
  MSG_Message* m1 = MSG_RecvAnyMsg("t", 5000);
  MSG_Message* m2 = MSG_RecvAnyMsg("t", 5000);
  ASSERT_NE(m1, nullptr);
  ASSERT_NE(m2, nullptr);
  EXPECT_EQ(MSG_ProcessCallback("t", m1), 0);
  EXPECT_NE(MSG_ProcessCallback("t", m2), 0);
  EXPECT_EQ(log.calls, std::vector<std::string>{"one:301"});
  MSG_ReleaseMsg(m1);
  MSG_ReleaseMsg(m2);
}

TEST_F(MsgRecvTest, HandlerRepliesToTheSenderWithTheRequestSequence) {
  // The handler answers with MSG_AllocMsgCopyHdr and destination 0, as the
  // daemon's handlers do; the service peer does the same for kTestEcho.
  MSG_Callback cb = {[](void*, const MSG_Message* req) {
                       MSG_Message* rsp = MSG_AllocMsgCopyHdr(req, kTestEcho, 4);
                       uint32_t w = 0xabc;
                       memcpy(MSG_GetPayloadMutable(rsp), &w, 4);
                       MSG_SendMsg("t", 0, rsp);
                     },
                     nullptr, kA, kA, 0};
  ASSERT_EQ(MSG_RegisterCallback("t", &cb), 0);
  burst({kA});
  MSG_Message* m = MSG_RecvAnyMsg("t", 5000);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(MSG_GetSender(m), m_svc);
  EXPECT_EQ(MSG_ProcessCallback("t", m), 0);
  MSG_ReleaseMsg(m);
  // The service echoes our answer back: it reached the right process.
  MSG_Message* echo = MSG_RecvMsg("t", kTestEchoRsp, 5000);
  ASSERT_NE(echo, nullptr);
  EXPECT_EQ(MSG_GetSequence(echo), 0u);  // the burst message's own sequence
  EXPECT_EQ(msgTestWords(echo), std::vector<uint32_t>{0xabc});
  MSG_ReleaseMsg(echo);
}

}  // namespace
